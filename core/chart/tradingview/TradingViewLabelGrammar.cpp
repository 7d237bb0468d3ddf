#include "core/chart/tradingview/TradingViewLabelGrammar.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "core/chart/tradingview/TextCharacters.h"
#include "core/chart/tradingview/TextPattern.h"

namespace halvex::TradingViewChartDetector {

namespace patterns {

// Function-local so callers running during static initialisation still find the texts.
const std::string& amount() {
    static const std::string text =
        R"re((?:[+\-]\s*(?:US\$|[$€£])?\s*[0-9]+(?:[.,][0-9]+)*|(?:US\$|[$€£])\s*[+\-]?\s*[0-9]+(?:[.,][0-9]+)*|(?<![0-9.,])0+(?:[.,]0+)*(?![0-9])))re";
    return text;
}

const std::string& unit() {
    static const std::string text = R"re((?:USD|US\$|EUR|GBP|TICKS?|PIPS?|PTS?|POINTS?|%|[$€£]))re";
    return text;
}

const std::string& compactLabel() {
    static const std::string text = R"re((?<![0-9.,])([+\-]?\s*[0-9]+(?:[.,][0-9]+)*)[\s|¦!]*()re" + amount() +
                                    R"re()(?:\s*()re" + unit() + R"re())?)re";
    return text;
}

const std::string& pnl() {
    static const std::string text = "(" + amount() + R"re()(?:\s*()re" + unit() + R"re())?)re";
    return text;
}

const std::string& protectiveLabel() {
    static const std::string text =
        R"re(^[\s|¦!\[\]()xX×]*(?:[0-9]+(?:[.,][0-9]+)*[\s|¦!\[\]()xX×]*)?([+\-]\s*(?:US\$|[$€£])?\s*[0-9]+(?:[.,][0-9]+)*)\s*((?:USD|US\$|EUR|GBP|TICKS?|PIPS?|PTS?|POINTS?|%|[$€£]))\b)re";
    return text;
}

const std::string& plusSignedNumber() {
    static const std::string text = R"re((?<![0-9.,])\+\s*[0-9])re";
    return text;
}

}  // namespace patterns

namespace {

using TextCharacters::codePoints;
using TextCharacters::isNumeric;

bool isSeparator(char32_t c) { return c == U'.' || c == U','; }

void removeAll(std::u32string& text, std::u32string_view piece) {
    for (std::size_t at = text.find(piece); at != std::u32string::npos; at = text.find(piece, at)) {
        text.erase(at, piece.size());
    }
}

// The number part of an amount: normalised, currency symbols and spaces removed, the sign taken off.
struct UnsignedNumber {
    std::u32string digits;
    double sign = 1;
};

UnsignedNumber unsignedNumber(const std::string& text) {
    UnsignedNumber number;
    std::u32string& body = number.digits;
    body = codePoints(normalizedText(text));
    removeAll(body, U"US$");
    std::erase_if(body, [](char32_t c) { return c == U'$' || c == U'€' || c == U'£' || c == U' '; });
    for (char32_t& c : body) {
        if (c == U'\u2212') c = U'-';
    }
    if (!body.empty() && body.front() == U'-') {
        number.sign = -1;
        body.erase(0, 1);
    } else if (!body.empty() && body.front() == U'+') {
        body.erase(0, 1);
    }
    return number;
}

std::size_t lastSeparator(const std::u32string& text) {
    for (std::size_t index = text.size(); index > 0; --index) {
        if (isSeparator(text[index - 1])) return index - 1;
    }
    return std::u32string::npos;
}

bool allNumeric(std::u32string_view text) {
    for (const char32_t c : text) {
        if (!isNumeric(c)) return false;
    }
    return true;
}

// A decimal number made of ASCII digits and at most one "."; absent for anything else, an
// overflow included.
std::optional<double> parsedDecimal(const std::u32string& text) {
    std::string ascii;
    ascii.reserve(text.size());
    for (const char32_t c : text) {
        if (c >= 0x80) return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    double value = 0;
    const char* end = ascii.data() + ascii.size();
    const auto [stop, error] = std::from_chars(ascii.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool contains(const std::string& text, std::string_view piece) { return text.find(piece) != std::string::npos; }

const TextPattern& compactExpression() {
    static const TextPattern pattern(patterns::compactLabel(), TextPattern::Case::insensitive);
    return pattern;
}

const TextPattern& pnlExpression() {
    static const TextPattern pattern(patterns::pnl(), TextPattern::Case::insensitive);
    return pattern;
}

const TextPattern& protectiveExpression() {
    static const TextPattern pattern(patterns::protectiveLabel(), TextPattern::Case::insensitive);
    return pattern;
}

const TextPattern& plusSignedExpression() {
    static const TextPattern pattern(patterns::plusSignedNumber());
    return pattern;
}

const TextPattern& whiteSpaceRun() {
    static const TextPattern pattern(R"re(\s+)re");
    return pattern;
}

}  // namespace

std::string normalizedText(const std::string& text) {
    std::u32string points = codePoints(text);
    for (char32_t& c : points) {
        if (c == U'\u2212' || c == U'\u2013' || c == U'\u2014') {
            c = U'-';
        } else if (c == U'\uFF0B') {
            c = U'+';
        } else if (c == U'\u00A0' || c == U'\u2009' || c == U'\u202F') {
            c = U' ';
        }
    }
    return TextCharacters::trimmed(whiteSpaceRun().replacingMatches(TextCharacters::utf8(points), " "));
}

std::optional<double> parseAmount(const std::string& text) {
    const UnsignedNumber number = unsignedNumber(text);
    const std::u32string& body = number.digits;
    if (body.empty()) return std::nullopt;
    for (const char32_t c : body) {
        if (!isNumeric(c) && !isSeparator(c)) return std::nullopt;
    }
    const std::size_t separator = lastSeparator(body);
    std::u32string plain;
    if (separator == std::u32string::npos) {
        plain = body;
    } else {
        const std::u32string_view tail = std::u32string_view(body).substr(separator + 1);
        std::u32string head = body.substr(0, separator);
        std::erase_if(head, isSeparator);
        if (tail.size() == 3 && allNumeric(tail)) {
            plain = head + std::u32string(tail);
        } else {
            plain = head + U"." + std::u32string(tail);
        }
    }
    const auto value = parsedDecimal(plain);
    if (!value) return std::nullopt;
    return number.sign * *value;
}

bool hasDecimalFraction(const std::string& text) {
    const UnsignedNumber number = unsignedNumber(text);
    const std::size_t separator = lastSeparator(number.digits);
    if (separator == std::u32string::npos) return false;
    const std::u32string_view tail = std::u32string_view(number.digits).substr(separator + 1);
    if (tail.empty() || !allNumeric(tail)) return false;
    return tail.size() != 3;
}

std::optional<std::string> normalizedCurrency(const std::optional<std::string>& unitText, const std::string& pnlText) {
    const std::string u = unitText ? TextCharacters::trimmed(TextCharacters::upperCased(*unitText)) : std::string();
    if (u == "%") return ChartLabelUnit::percent;
    if (u.starts_with("TICK")) return ChartLabelUnit::ticks;
    if (u.starts_with("PIP")) return ChartLabelUnit::pips;
    if (u.starts_with("PT") || u.starts_with("POINT")) return ChartLabelUnit::points;
    if (u == "EUR" || u == "€" || contains(pnlText, "€")) return ChartLabelUnit::eur;
    if (u == "GBP" || u == "£" || contains(pnlText, "£")) return ChartLabelUnit::gbp;
    if (u == "USD" || u == "US$" || u == "$" || contains(pnlText, "$")) return ChartLabelUnit::usd;
    return std::nullopt;
}

bool readsAsPnL(const std::string& pnlText, double value, const std::optional<std::string>& unitText) {
    for (const std::string_view marker : {"+", "-", "$", "€", "£"}) {
        if (contains(pnlText, marker)) return true;
    }
    return value == 0 && unitText.has_value();
}

std::optional<ChartLabelReading> readCompactLabel(const std::string& text) {
    std::optional<ChartLabelReading> reading;
    compactExpression().findMatch(normalizedText(text), [&](const TextMatch& match) {
        const auto& quantityText = match.group(1);
        const auto& amountText = match.group(2);
        const auto& unitText = match.group(3);
        if (!quantityText || !amountText) return false;
        const auto currency = normalizedCurrency(unitText, *amountText);
        if (!currency) return false;
        const auto quantity = parseAmount(*quantityText);
        const auto amount = parseAmount(*amountText);
        if (!quantity || !amount) return false;
        if (!readsAsPnL(*amountText, *amount, unitText)) return false;

        ChartLabelReading found;
        found.quantityMagnitude = std::fabs(*quantity);
        const std::string signText = TextCharacters::trimmed(*quantityText);
        if (signText.starts_with("-")) {
            found.explicitQuantitySign = -1;
        } else if (signText.starts_with("+")) {
            found.explicitQuantitySign = 1;
        }
        found.quantityIsFractional =
            std::floor(found.quantityMagnitude) != found.quantityMagnitude || hasDecimalFraction(*quantityText);
        found.pnl = *amount;
        found.currency = *currency;
        found.snippet = TextCharacters::prefix(match.whole(), snippetLimit);
        found.shapeConfidence = *currency == ChartLabelUnit::usd ? 0.98 : 0.94;
        reading = std::move(found);
        return true;
    });
    return reading;
}

std::optional<std::pair<double, std::string>> readPnL(const std::string& text) {
    std::optional<std::pair<double, std::string>> reading;
    pnlExpression().findMatch(normalizedText(text), [&](const TextMatch& match) {
        const auto& amountText = match.group(1);
        const auto& unitText = match.group(2);
        if (!amountText) return false;
        const auto currency = normalizedCurrency(unitText, *amountText);
        if (!currency) return false;
        const auto amount = parseAmount(*amountText);
        if (!amount || !readsAsPnL(*amountText, *amount, unitText)) return false;
        reading = std::make_pair(*amount, *currency);
        return true;
    });
    return reading;
}

std::optional<ChartLabelReading> readProtectiveLabel(const std::string& text) {
    const std::string normalized = normalizedText(text);
    const auto match = protectiveExpression().firstMatch(normalized);
    if (!match || !match->group(1)) return std::nullopt;
    const auto currency = normalizedCurrency(match->group(2), *match->group(1));
    const auto amount = parseAmount(*match->group(1));
    if (!currency || !amount) return std::nullopt;
    ChartLabelReading reading;
    reading.pnl = *amount;
    reading.currency = *currency;
    reading.snippet = TextCharacters::prefix(normalized, snippetLimit);
    reading.shapeConfidence = *currency == ChartLabelUnit::usd ? 0.9 : 0.86;
    return reading;
}

bool explicitlyPlusSignedQuantity(const std::string& text) {
    const auto match = plusSignedExpression().firstMatch(text);
    if (!match) return false;
    for (const char32_t c : codePoints(text.substr(0, match->start))) {
        if (isNumeric(c)) return false;
    }
    return true;
}

}  // namespace halvex::TradingViewChartDetector
