#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <thread>

#include "core/chart/tradingview/tesseract/TesseractEngine.h"
#include "core/chart/tradingview/tesseract/TextLineCrop.h"
#include "core/chart/tradingview/tesseract/TextLineDetector.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/NativeLog.h"

namespace halvex::tesseract {

namespace {

constexpr const char* kPrewarmCompleted = "Vision OCR prewarm completed in %.0f ms.";
constexpr const char* kPrewarmFailed = "Vision OCR prewarm failed: ";

std::uint64_t settingsKeyOf(const TesseractEngineConfiguration& configuration, TextRecognitionLevel level) {
    std::string key = configuration.language + (configuration.usesLanguageCorrection ? "|lc|" : "|--|") + rawValue(level);
    for (const std::string& word : configuration.customWords) key += "|" + word;
    return std::hash<std::string>{}(key);
}

RecognizedTextLine normalizedLine(const TextRegionCache::Line& line, const PixelBox& region, std::int64_t width,
                                  std::int64_t height) {
    const double w = static_cast<double>(width);
    const double h = static_cast<double>(height);
    const auto minX = static_cast<double>(region.minX + line.box.minX);
    const auto maxX = static_cast<double>(region.minX + line.box.maxX);
    const auto minY = static_cast<double>(region.minY + line.box.minY);
    const auto maxY = static_cast<double>(region.minY + line.box.maxY);
    return {line.text, line.confidence, minX / w, 1.0 - maxY / h, (maxX - minX) / w, (maxY - minY) / h};
}

// Joins lines that continue each other on one row (a label's badge quantity and its amount are
// often separate regions, split by the badge edge), as a line recogniser reports them.
std::vector<RecognizedTextLine> joinedAlongRows(std::vector<RecognizedTextLine> lines, double aspect) {
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    std::vector<RecognizedTextLine> joined;
    std::vector<bool> used(lines.size(), false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (used[i]) continue;
        RecognizedTextLine line = lines[i];
        double weight = static_cast<double>(line.text.size());
        double confidenceSum = line.confidence * weight;
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            if (used[j]) continue;
            const RecognizedTextLine& next = lines[j];
            const double overlap = std::min(line.y + line.height, next.y + next.height) - std::max(line.y, next.y);
            const double lower = std::min(line.height, next.height);
            const double higher = std::max(line.height, next.height);
            // Heights are fractions of the image height, widths of its width.
            const double gap = (next.x - (line.x + line.width)) * aspect;
            if (gap > 2.0 * higher) continue;
            if (gap < -0.5 * higher || overlap < 0.6 * lower || higher > 1.8 * lower) continue;
            const double right = std::max(line.x + line.width, next.x + next.width);
            const double top = std::max(line.y + line.height, next.y + next.height);
            line.text += " " + next.text;
            line.y = std::min(line.y, next.y);
            line.width = right - line.x;
            line.height = top - line.y;
            const auto nextWeight = static_cast<double>(next.text.size());
            confidenceSum += next.confidence * nextWeight;
            weight += nextWeight;
            used[j] = true;
        }
        line.confidence = weight > 0 ? confidenceSum / weight : line.confidence;
        joined.push_back(std::move(line));
    }
    std::sort(joined.begin(), joined.end(), [](const auto& a, const auto& b) {
        const double aTop = a.y + a.height;
        const double bTop = b.y + b.height;
        if (aTop != bTop) return aTop > bTop;
        return a.x < b.x;
    });
    return joined;
}

}  // namespace

std::shared_ptr<TesseractTextRecognizer> TesseractTextRecognizer::create() {
    return std::shared_ptr<TesseractTextRecognizer>(new TesseractTextRecognizer());
}

std::vector<RecognizedTextLine> TesseractTextRecognizer::recognize(const TextImage& image,
                                                                   const TextRecognitionSettings& settings) {
    if (!image.isUsable()) {
        throw HalvexNativeError::invalidPayload("Text recognition received an unusable image (" + std::to_string(image.width) +
                                                "x" + std::to_string(image.height) + ", " +
                                                std::to_string(image.bytesPerRow) + " bytes per row).");
    }
    const GreyImage grey = GreyImage::fromTextImage(image);
    const std::vector<PixelBox> regions = TextLineDetector::isSmallImage(grey.width, grey.height)
                                              ? TextLineDetector::bandRegions(grey)
                                              : TextLineDetector::frameRegions(grey);
    const TesseractEngineConfiguration configuration = TesseractEngineConfiguration::forSettings(settings);
    const std::uint64_t settingsKey = settingsKeyOf(configuration, settings.level);
    const double minimumHeight = static_cast<double>(settings.minimumTextHeight);

    std::optional<TesseractEnginePool::Lease> engine;
    std::vector<RecognizedTextLine> result;
    for (const PixelBox& region : regions) {
        const std::uint64_t key = TextRegionCache::keyOf(grey, region, settingsKey);
        std::optional<std::vector<TextRegionCache::Line>> lines = cache_.find(key);
        if (!lines) {
            lines.emplace();
            for (TextLineCrop& crop : TextLineCrop::linesOf(grey, region)) {
                if (!engine) engine.emplace(TesseractEnginePool::shared().take(configuration));
                TesseractEngine::LineText read = (*engine)->recognizeLine(crop.image);
                if (read.text.empty()) continue;
                const PixelBox relative{crop.box.minX - region.minX, crop.box.minY - region.minY,
                                        crop.box.maxX - region.minX, crop.box.maxY - region.minY};
                lines->push_back({relative, std::move(read.text), read.confidence});
            }
            cache_.store(key, *lines);
        }
        for (const TextRegionCache::Line& line : *lines) {
            RecognizedTextLine recognized = normalizedLine(line, region, grey.width, grey.height);
            if (recognized.height < minimumHeight) continue;
            result.push_back(std::move(recognized));
        }
    }
    return joinedAlongRows(std::move(result), static_cast<double>(grey.width) / static_cast<double>(grey.height));
}

void TesseractTextRecognizer::prewarm() {
    static std::atomic<bool> scheduled{false};
    if (scheduled.exchange(true)) return;
    std::thread([] {
        const auto started = std::chrono::steady_clock::now();
        try {
            const TesseractEngineConfiguration configuration =
                TesseractEngineConfiguration::forSettings(TextRecognitionSettings::chartLabels(0.007f));
            TesseractEnginePool::Lease engine = TesseractEnginePool::shared().take(configuration);
            GreyImage blank;
            blank.width = 64;
            blank.height = 32;
            blank.pixels.assign(64 * 32, 255);
            engine->recognizeLine(blank);
            const double milliseconds =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            char message[96];
            std::snprintf(message, sizeof message, kPrewarmCompleted, milliseconds);
            halvexNativeLog(message);
        } catch (const std::exception& error) {
            halvexNativeLog(std::string(kPrewarmFailed) + error.what());
        }
    }).detach();
}

}  // namespace halvex::tesseract
