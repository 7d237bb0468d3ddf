#include "core/chart/tradingview/TradingViewSymbolReader.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "core/chart/tradingview/TextCharacters.h"
#include "core/chart/tradingview/TextPattern.h"
#include "core/chart/tradingview/TradingViewLabelGrammar.h"

namespace halvex::TradingViewChartDetector {

namespace {

constexpr double coordinateTolerance = 1e-6;
// The legend sits in the top-left corner of the pane (y grows upward).
constexpr double legendMinY = 0.85;
constexpr double legendMaxX = 0.4;

const TextPattern& symbolExpression() {
    static const TextPattern pattern(R"re(^[A-Z][A-Z0-9]{1,11}(?:!|[.\-][A-Z0-9]{1,6})?$)re");
    return pattern;
}

// A symbol, a comma and the interval, as the large chart watermark shows them.
const TextPattern& watermarkExpression() {
    static const TextPattern pattern(
        R"re(^([A-Z][A-Z0-9]{1,11}(?:!|[.\-][A-Z0-9]{1,6})?)\s*,\s*[0-9]{1,4}\s*[A-Za-z]{1,6}$)re");
    return pattern;
}

bool isTokenSeparator(char32_t c) {
    switch (c) {
        case U' ':
        case U'\t':
        case U'\u2022':
        case U'\u00B7':
        case U'|':
        case U'/':
        case U',':
        case U'(':
        case U')':
        case U'[':
        case U']': return true;
        default: return false;
    }
}

bool isTokenTrim(char32_t c) { return c == U'.' || c == U':' || c == U'-' || c == U'\u2022'; }

std::vector<std::string> legendTokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::u32string current;
    const auto flush = [&] {
        std::size_t begin = 0;
        std::size_t end = current.size();
        while (begin < end && isTokenTrim(current[begin])) ++begin;
        while (end > begin && isTokenTrim(current[end - 1])) --end;
        if (end > begin) tokens.push_back(TextCharacters::utf8(current.substr(begin, end - begin)));
        current.clear();
    };
    for (const char32_t c : TextCharacters::codePoints(text)) {
        if (isTokenSeparator(c)) {
            flush();
        } else {
            current.push_back(c);
        }
    }
    flush();
    return tokens;
}

// Left first; on the same column the upper one first.
bool leftThenUpper(const ChartOCRCandidate& a, const ChartOCRCandidate& b) {
    if (std::fabs(a.x - b.x) <= coordinateTolerance) return a.y > b.y;
    return a.x < b.x;
}

}  // namespace

const std::vector<std::string>& nonSymbolWords() {
    static const std::vector<std::string> words{
        "USD",    "US",      "EUR",   "GBP",    "JPY",    "CHF",     "AUD",   "CAD",    "DOM",        "ORDER",
        "ORDERS", "SYMBOL",  "LAST",  "CHG",    "VOL",    "VOLUME",  "BUY",   "SELL",   "BID",        "ASK",
        "MARKET", "LIMIT",   "STOP",  "UNITS",  "EXIT",   "EXITS",   "ALERT", "ALERTS", "REPLAY",     "PUBLISH",
        "TRADE",  "CRYPTO",  "INDICATORS", "OPEN", "HIGH", "LOW",    "CLOSE", "UTC",    "AM",         "PM",
        "NEW",    "ADD",     "ALL",   "MIN",    "MAX",    "AVG",     "PNL",   "TP",     "SL",         "WEALTHCHARTS"};
    return words;
}

bool looksLikeSymbol(const std::string& text) {
    const std::u32string points = TextCharacters::codePoints(text);
    if (points.size() < 3 || points.size() > 14) return false;
    const auto& words = nonSymbolWords();
    if (std::find(words.begin(), words.end(), text) != words.end()) return false;
    if (std::count_if(points.begin(), points.end(), TextCharacters::isLetter) < 2) return false;
    return symbolExpression().matchesAnywhere(text);
}

std::optional<std::string> readSymbol(const std::vector<ChartOCRCandidate>& candidates) {
    for (const ChartOCRCandidate& candidate : candidates) {
        const auto match = watermarkExpression().firstMatch(normalizedText(candidate.text));
        if (match && match->group(1) && looksLikeSymbol(*match->group(1))) return *match->group(1);
    }

    std::vector<const ChartOCRCandidate*> legend;
    for (const ChartOCRCandidate& candidate : candidates) {
        if (candidate.y >= legendMinY && candidate.x <= legendMaxX) legend.push_back(&candidate);
    }

    const ChartOCRCandidate* wholeText = nullptr;
    std::string wholeSymbol;
    for (const ChartOCRCandidate* candidate : legend) {
        std::string text = normalizedText(candidate->text);
        if (!looksLikeSymbol(text)) continue;
        if (wholeText == nullptr || leftThenUpper(*candidate, *wholeText)) {
            wholeText = candidate;
            wholeSymbol = std::move(text);
        }
    }
    if (wholeText != nullptr) return wholeSymbol;

    std::stable_sort(legend.begin(), legend.end(),
                     [](const ChartOCRCandidate* a, const ChartOCRCandidate* b) { return a->x < b->x; });
    struct Tally {
        int count = 0;
        double firstX = 0;
    };
    std::map<std::string, Tally> tallies;  // ordered, so equal counts and columns fall to the alphabet
    for (const ChartOCRCandidate* candidate : legend) {
        for (const std::string& token : legendTokens(normalizedText(candidate->text))) {
            if (!looksLikeSymbol(token)) continue;
            tallies.try_emplace(token, Tally{0, candidate->x}).first->second.count += 1;
        }
    }
    const std::string* best = nullptr;
    Tally bestTally;
    for (const auto& [token, tally] : tallies) {
        const bool better = best == nullptr || tally.count > bestTally.count ||
                            (tally.count == bestTally.count && tally.firstX < bestTally.firstX - coordinateTolerance);
        if (better) {
            best = &token;
            bestTally = tally;
        }
    }
    if (best == nullptr) return std::nullopt;
    return *best;
}

}  // namespace halvex::TradingViewChartDetector
