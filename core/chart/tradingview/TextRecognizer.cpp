#include "core/chart/tradingview/TextRecognizer.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"

namespace halvex {

namespace {

constexpr std::array<std::pair<TextRecognitionLevel, const char*>, 2> kLevelNames{{
    {TextRecognitionLevel::accurate, "accurate"},
    {TextRecognitionLevel::fast, "fast"},
}};

}  // namespace

std::string rawValue(TextRecognitionLevel level) {
    for (const auto& [value, name] : kLevelNames) {
        if (value == level) return name;
    }
    return "accurate";
}

std::optional<TextRecognitionLevel> parseTextRecognitionLevel(const std::string& text) {
    for (const auto& [value, name] : kLevelNames) {
        if (text == name) return value;
    }
    return std::nullopt;
}

const std::vector<std::string>& chartLabelCustomWords() {
    static const std::vector<std::string> words{"USD", "EUR", "GBP", "ticks", "pips", "points"};
    return words;
}

TextRecognitionSettings TextRecognitionSettings::chartLabels(float minimumTextHeight) {
    TextRecognitionSettings settings;
    settings.customWords = chartLabelCustomWords();
    settings.minimumTextHeight = minimumTextHeight;
    return settings;
}

void FakeTextRecognizer::setDefaultLines(std::vector<RecognizedTextLine> lines) {
    std::lock_guard lock(mutex_);
    defaultLines_ = std::move(lines);
}

void FakeTextRecognizer::scriptLines(std::vector<RecognizedTextLine> lines) {
    std::lock_guard lock(mutex_);
    script_.push_back({std::move(lines), std::nullopt});
}

void FakeTextRecognizer::scriptFailure(std::string description) {
    std::lock_guard lock(mutex_);
    script_.push_back({{}, std::move(description)});
}

std::vector<RecognizedTextLine> FakeTextRecognizer::recognize(const TextImage& image,
                                                              const TextRecognitionSettings& settings) {
    if (!image.isUsable()) throw HalvexNativeError::invalidPayload("Text recognition needs a non-empty image.");
    Scripted next;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({image.width, image.height, image.format, settings});
        if (script_.empty()) {
            next.lines = defaultLines_;
        } else {
            next = std::move(script_.front());
            script_.pop_front();
        }
    }
    if (next.failure) throw PlatformError("FakeTextRecognizer", 1, *next.failure);
    // The fake keeps the interface's promises, so callers see what a real engine would hand them.
    std::erase_if(next.lines, [&](const RecognizedTextLine& line) {
        return line.text.empty() || line.height < static_cast<double>(settings.minimumTextHeight);
    });
    return next.lines;
}

void FakeTextRecognizer::prewarm() {
    std::lock_guard lock(mutex_);
    ++prewarmCount_;
}

std::vector<FakeTextRecognizer::Call> FakeTextRecognizer::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::int64_t FakeTextRecognizer::prewarmCount() const {
    std::lock_guard lock(mutex_);
    return prewarmCount_;
}

}  // namespace halvex
