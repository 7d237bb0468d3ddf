#include <cmath>
#include <iostream>

#include <nlohmann/json.hpp>

#include "client/commands/Subcommands.h"
#include "core/chart/tradingview/TextRecognizer.h"
#include "core/chart/tradingview/tesseract/TesseractTextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextImageFile.h"
#include "core/support/DetailedError.h"
#include "core/support/JSONEncoding.h"

namespace halvex::client {

// Runs the chart text recogniser on an image file in this process (no helper), for debugging and
// support: what the helper would read off that picture.
int runOcrCommand(ClientContext&, const std::vector<std::string>& arguments) {
    const std::vector<OptionSpec> options{{"json", false, "", "one JSON object per line, box normalised, origin bottom left"}};
    const CommandLine commandLine(arguments, options, 1, 1);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl ocr IMAGE [--json]\n\nPrints each line the recogniser reads in IMAGE (PNG, JPEG, "
                     "...): confidence, pixel box (column,row from the top left, width x height) and text.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    const bool json = commandLine.flag("json");
    tesseract::TextImageFile file;
    try {
        file = tesseract::TextImageFile::read(commandLine.positionals().front());
    } catch (const std::exception& error) {
        throw std::runtime_error(halvexDetailedError(error));
    }
    auto recognizer = tesseract::TesseractTextRecognizer::create();
    const auto lines = recognizer->recognize(file.view(), TextRecognitionSettings::chartLabels(0.007f));
    const auto width = static_cast<double>(file.width);
    const auto height = static_cast<double>(file.height);
    for (const RecognizedTextLine& line : lines) {
        if (json) {
            const nlohmann::json object{{"text", line.text}, {"confidence", line.confidence}, {"x", line.x},
                                        {"y", line.y},       {"width", line.width},           {"height", line.height}};
            std::cout << halvexEncodeCompact(object) << "\n";
            continue;
        }
        char prefix[96];
        std::snprintf(prefix, sizeof prefix, "%.2f  %ld,%ld %ldx%ld  ", line.confidence, std::lround(line.x * width),
                      std::lround((1.0 - line.y - line.height) * height), std::lround(line.width * width),
                      std::lround(line.height * height));
        std::cout << prefix << line.text << "\n";
    }
    return 0;
}

}  // namespace halvex::client
