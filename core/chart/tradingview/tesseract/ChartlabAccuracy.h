#pragma once

// Scoring of recognised lines against the chartlab pictures' truth files, shared by the accuracy
// test and the benchmark (header only: nothing here is part of the library).

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/chart/tradingview/TextRecognizer.h"

namespace halvex::tesseract::chartlab {

// The committed fixtures, found from this file's place in the source tree.
inline std::filesystem::path fixturesDirectory() {
    if (const char* overridden = std::getenv("HALVEX_CHARTLAB_FIXTURES_DIR")) return overridden;
    return std::filesystem::path(__FILE__).parent_path() / "../../../../../shared/chartlab/fixtures";
}

struct Fixture {
    std::string name;
    std::filesystem::path image;
    nlohmann::json truth;
    nlohmann::json scene;
};

inline nlohmann::json readJSON(const std::filesystem::path& path) {
    std::ifstream stream(path);
    return nlohmann::json::parse(stream);
}

inline std::vector<Fixture> loadFixtures() {
    std::vector<Fixture> fixtures;
    const std::filesystem::path directory = fixturesDirectory();
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) return fixtures;
    std::vector<std::filesystem::path> truths;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 11 && file.ends_with(".truth.json")) truths.push_back(entry.path());
    }
    std::sort(truths.begin(), truths.end());
    for (const auto& truthPath : truths) {
        const std::string file = truthPath.filename().string();
        const std::string name = file.substr(0, file.size() - 11);
        fixtures.push_back({name, directory / (name + ".png"), readJSON(truthPath),
                            readJSON(directory / (name + ".scene.json"))});
    }
    return fixtures;
}

// The text with spaces, separators and outline glyphs dropped and the typographic minus made
// ASCII, so "| 0.25 | +$10.00 X" compares with the truth's quantity and amount.
inline std::string compactText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x88 &&
            static_cast<unsigned char>(text[i + 2]) == 0x92) {
            out += '-';  // U+2212 minus sign
            i += 2;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0x93 || static_cast<unsigned char>(text[i + 2]) == 0x94)) {
            out += '-';  // en and em dashes read for a minus
            i += 2;
        } else if (c == 0xE2 && i + 2 < text.size()) {
            out.append(text, i, 3);  // € and other three-byte symbols stay
            i += 2;
        } else if (c == 0xC2 && i + 1 < text.size()) {
            out.append(text, i, 2);  // £
            i += 1;
        } else if (std::isalnum(c) || c == '.' || c == ',' || c == '+' || c == '-' || c == '$' || c == '%' || c == ':' ||
                   c == '!' || c == '@' || c == '/') {
            out += static_cast<char>(c);
        }
    }
    return out;
}

struct Tally {
    int total = 0;
    int hits = 0;
    std::vector<std::string> misses;

    void add(bool hit, const std::string& what) {
        ++total;
        if (hit) {
            ++hits;
        } else {
            misses.push_back(what);
        }
    }
    double rate() const { return total == 0 ? 1.0 : static_cast<double>(hits) / total; }
};

struct Score {
    Tally positionLabels;
    Tally axisPrices;         // labels no axis tag is drawn over
    Tally coveredAxisPrices;  // labels an axis tag hides in part or whole
    Tally protectiveLabels;
    Tally symbols;
};

// A line's box in pixels (rows from the top).
struct LineBox {
    double minX, minY, maxX, maxY;
};

inline LineBox pixelBox(const RecognizedTextLine& line, double width, double height) {
    return {line.x * width, (1.0 - line.y - line.height) * height, (line.x + line.width) * width, (1.0 - line.y) * height};
}

inline bool anyLineContains(const std::vector<RecognizedTextLine>& lines, const std::string& wanted) {
    const std::string needle = compactText(wanted);
    for (const auto& line : lines) {
        if (compactText(line.text).find(needle) != std::string::npos) return true;
    }
    return false;
}

inline std::string formatPrice(double price, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, price);
    return buffer;
}

// The price labels chartlab draws on the position chart's axis: multiples of the tick spacing
// inside the plot, 6 CSS pixels clear of its edges, with the series' decimals. Returns
// (text, row).
inline std::vector<std::pair<std::string, double>> axisLabels(const Fixture& fixture) {
    std::vector<std::pair<std::string, double>> labels;
    const nlohmann::json& truth = fixture.truth;
    if (!truth.contains("priceAxis") || truth["priceAxis"].is_null()) return labels;
    const nlohmann::json& axis = truth["priceAxis"];
    const int chartIndex = truth["charts"].value("index", 0);
    const nlohmann::json& series = fixture.scene["charts"][static_cast<std::size_t>(chartIndex)]["series"];
    const int decimals = series.contains("decimals") && !series["decimals"].is_null() ? series["decimals"].get<int>() : 2;
    const double step = axis["tickSpacing"].get<double>();
    const double perRow = axis["pricePerRow"].get<double>();
    const double atZero = axis["priceAtRowZero"].get<double>();
    const double clearance = 6.0 * truth.value("deviceScaleFactor", 1.0) * truth.value("zoom", 1.0);
    const double low = truth["visiblePriceLow"].get<double>();
    const double high = truth["visiblePriceHigh"].get<double>();
    for (double p = std::ceil(low / step - 1e-9) * step; p <= high + 1e-9; p += step) {
        const double price = std::round(p / step) * step;
        const double row = (price - atZero) / perRow;
        if (row < axis["plotTop"].get<double>() + clearance || row > axis["plotBottom"].get<double>() - clearance) continue;
        labels.emplace_back(formatPrice(price, decimals), row);
    }
    return labels;
}

// Row spans of the tags chartlab draws over the position chart's price axis, after its labels:
// last price, indicators and crosshair (rectangles in the truth), and a tag at the price of the
// position, of each visible protective level or bracket and of each order.
inline std::vector<std::pair<double, double>> axisTagRows(const Fixture& fixture) {
    std::vector<std::pair<double, double>> rows;
    const nlohmann::json& truth = fixture.truth;
    const int chartIndex = truth["charts"].value("index", 0);
    for (const auto& distractor : truth["distractors"]) {
        const std::string kind = distractor.value("kind", "");
        if (!kind.starts_with("axis-") || distractor.value("chart", -1) != chartIndex) continue;
        rows.emplace_back(distractor["rect"]["minY"].get<double>(), distractor["rect"]["maxY"].get<double>());
    }
    const nlohmann::json& chart = fixture.scene["charts"][static_cast<std::size_t>(chartIndex)];
    if (chart.contains("axisTags") && chart["axisTags"] == false) return rows;
    std::vector<double> prices;
    if (truth["entryPrice"].is_number()) prices.push_back(truth["entryPrice"].get<double>());
    for (const char* key : {"takeProfit", "stopLoss"}) {
        if (truth.contains(key) && truth[key].is_object() && truth[key].value("visible", false)) {
            prices.push_back(truth[key]["price"].get<double>());
        }
    }
    if (truth.contains("brackets")) {
        for (const auto& bracket : truth["brackets"]) {
            if (bracket.value("visible", false)) prices.push_back(bracket["price"].get<double>());
        }
    }
    for (const auto& order : truth["orders"]) {
        if (order.value("chart", -1) == chartIndex && order["price"].is_number()) prices.push_back(order["price"].get<double>());
    }
    const double unit = truth.value("deviceScaleFactor", 1.0) * truth.value("zoom", 1.0);
    const double fontSize = chart.contains("axisFontSize") ? chart["axisFontSize"].get<double>() : truth.value("fontSize", 12.0);
    const double tagHeight = std::round(fontSize * 1.55 * unit);
    const nlohmann::json& axis = truth["priceAxis"];
    for (double price : prices) {
        const double top = std::round((price - axis["priceAtRowZero"].get<double>()) / axis["pricePerRow"].get<double>()) -
                           std::floor(tagHeight / 2);
        rows.emplace_back(top, top + tagHeight);
    }
    return rows;
}

inline void scoreFixture(const Fixture& fixture, const std::vector<RecognizedTextLine>& lines, Score& score) {
    const nlohmann::json& truth = fixture.truth;
    const double width = truth["width"].get<double>();
    const double height = truth["height"].get<double>();
    const bool tradingView = truth["platform"] == "tradingview";
    if (truth.value("detected", false) && truth["quantityText"].is_string() && truth["pnlText"].is_string()) {
        const std::string label = truth["quantityText"].get<std::string>() + truth["pnlText"].get<std::string>();
        score.positionLabels.add(anyLineContains(lines, label), fixture.name + " \"" + label + "\"");
    }
    const double fontPixels = truth.value("fontSize", 12.0) * truth.value("deviceScaleFactor", 1.0);
    const double plotRight = truth["charts"]["list"][static_cast<std::size_t>(truth["charts"].value("index", 0))]["plot"]["maxX"].get<double>();
    const auto tagRows = axisTagRows(fixture);
    for (const auto& [text, row] : axisLabels(fixture)) {
        const bool covered = std::any_of(tagRows.begin(), tagRows.end(), [&](const auto& tag) {
            return tag.first < row + fontPixels * 0.4 && tag.second > row - fontPixels * 0.4;
        });
        bool hit = false;
        const std::string needle = compactText(text);
        for (const auto& line : lines) {
            const LineBox box = pixelBox(line, width, height);
            const double centre = (box.minY + box.maxY) / 2;
            if (box.maxX < plotRight || std::abs(centre - row) > fontPixels * 0.6) continue;
            if (compactText(line.text).find(needle) != std::string::npos) hit = true;
        }
        (covered ? score.coveredAxisPrices : score.axisPrices).add(hit, fixture.name + " " + text);
    }
    for (const char* key : {"takeProfit", "stopLoss"}) {
        if (!truth.contains(key) || !truth[key].is_object() || !truth[key].value("visible", false)) continue;
        const std::string text = truth[key]["text"].get<std::string>();
        score.protectiveLabels.add(anyLineContains(lines, text), fixture.name + " " + key + " \"" + text + "\"");
    }
    if (truth["symbolShownIn"].is_array() && !truth["symbolShownIn"].empty()) {
        const std::string symbol = truth["symbol"].get<std::string>();
        score.symbols.add(anyLineContains(lines, symbol), fixture.name + " " + symbol);
    }
    (void)tradingView;
}

}  // namespace halvex::tesseract::chartlab
