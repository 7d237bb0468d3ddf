// Runs the chart text recogniser on one image file and prints each recognised line: by default
// text, confidence and pixel box (columns from the left, rows from the top); with --json one object
// per line with the normalised box the recogniser returns (origin at the bottom left).
#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/chart/tradingview/TextRecognizer.h"
#include "core/chart/tradingview/tesseract/SingleThreadedOpenMP.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"
#include "core/support/DetailedError.h"
#include "core/support/JSONEncoding.h"

namespace {

constexpr const char* kUsage = "usage: halvex-ocr IMAGE [--json]\n";

}  // namespace

int main(int argc, char** argv) {
    halvex::halvexEnsureSingleThreadedOpenMP(argc, argv);
    std::string path;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--json") {
            json = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (path.empty()) {
            path = argument;
        } else {
            std::fputs(kUsage, stderr);
            return 64;
        }
    }
    if (path.empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    try {
        const halvex::tesseract::TextImageFile file = halvex::tesseract::TextImageFile::read(path);
        auto recognizer = halvex::tesseract::TesseractTextRecognizer::create();
        const auto lines = recognizer->recognize(file.view(), halvex::TextRecognitionSettings::chartLabels(0.007f));
        const auto width = static_cast<double>(file.width);
        const auto height = static_cast<double>(file.height);
        for (const halvex::RecognizedTextLine& line : lines) {
            if (json) {
                const nlohmann::json object{{"text", line.text}, {"confidence", line.confidence}, {"x", line.x},
                                            {"y", line.y},       {"width", line.width},           {"height", line.height}};
                std::printf("%s\n", halvex::halvexEncodeCompact(object).c_str());
                continue;
            }
            const long minX = std::lround(line.x * width);
            const long minY = std::lround((1.0 - line.y - line.height) * height);
            const long boxWidth = std::lround(line.width * width);
            const long boxHeight = std::lround(line.height * height);
            std::printf("%.2f  %ld,%ld %ldx%ld  %s\n", line.confidence, minX, minY, boxWidth, boxHeight, line.text.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "halvex-ocr: %s\n", halvex::halvexDetailedError(error).c_str());
        return 1;
    }
    return 0;
}
