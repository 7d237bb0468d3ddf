#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace halvex {

// One label text read by the TradingView grammar: a compact position label (quantity, signed P&L,
// unit) or a protective take-profit / stop-loss label (amount and unit, no quantity).
struct ChartLabelReading {
    double quantityMagnitude = 0;                     // 0 for a protective label
    std::optional<std::int64_t> explicitQuantitySign; // -1 / +1 when the quantity was printed with a sign
    bool quantityIsFractional = false;
    double pnl = 0;                                   // signed amount
    std::string currency;                             // one of the ChartLabelUnit values
    std::string snippet;                              // at most 160 characters
    double shapeConfidence = 0;

    bool operator==(const ChartLabelReading&) const = default;
};

// The normalised units a label can carry.
namespace ChartLabelUnit {
inline constexpr const char* usd = "USD";
inline constexpr const char* eur = "EUR";
inline constexpr const char* gbp = "GBP";
inline constexpr const char* ticks = "TICKS";
inline constexpr const char* pips = "PIPS";
inline constexpr const char* points = "POINTS";
inline constexpr const char* percent = "PERCENT";
}  // namespace ChartLabelUnit

// The lexical layer of the TradingView label reader; the WealthCharts reader and the badge digit
// reader share the text normalisation and the amount parser. Every function is pure and may be
// called from any thread.
namespace TradingViewChartDetector {

// The label patterns, in ICU syntax, exactly as the grammar stores them. Public so the other
// chart readers build on the same pieces.
namespace patterns {
// A signed amount (a currency symbol may follow the sign), a currency-prefixed amount, or a bare
// zero such as 0.00.
const std::string& amount();
const std::string& unit();
// Group 1 quantity, group 2 amount, group 3 optional unit.
const std::string& compactLabel();
// Group 1 amount, group 2 optional unit.
const std::string& pnl();
// Anchored at the start: decoration, an optional unsigned number, a signed amount (group 1) and a
// unit (group 2).
const std::string& protectiveLabel();
// A "+" directly before a number that is not part of a larger number.
const std::string& plusSignedNumber();
}  // namespace patterns

// Label snippets are cut to this many characters.
inline constexpr std::size_t snippetLimit = 160;

// Dashes and the full-width plus become ASCII, the various spaces one plain space, runs of white
// space one space; trimmed at both ends.
std::string normalizedText(const std::string& text);

// An amount in either decimal convention: «1,234» and «1.234» read 1234, «1.234,56» and
// «1,234.56» read 1234.56, «12,5» reads 12.5 (three digits after the last separator make it a
// thousands separator). Currency symbols and spaces are ignored; absent when anything else is
// present or the number is not finite.
std::optional<double> parseAmount(const std::string& text);

// Whether the number is written with a decimal part (the tail after the last separator is numeric
// and not a three-digit thousands group).
bool hasDecimalFraction(const std::string& text);

// "PERCENT", "TICKS", "PIPS", "POINTS", "EUR", "GBP" or "USD" from the unit text, or from a
// currency symbol in the P&L text; absent for anything else.
std::optional<std::string> normalizedCurrency(const std::optional<std::string>& unitText, const std::string& pnlText);

// An unsigned number without a currency symbol is a price, unless it is exactly zero with a unit.
bool readsAsPnL(const std::string& pnlText, double value, const std::optional<std::string>& unitText);

// The first compact position label («2 +125.50 USD», «3 | -$40.00») in the text.
std::optional<ChartLabelReading> readCompactLabel(const std::string& text);

// The first signed or currency-marked amount with a usable unit: (amount, currency).
std::optional<std::pair<double, std::string>> readPnL(const std::string& text);

// A take-profit / stop-loss label at the start of the text («× +250.00 USD»).
std::optional<ChartLabelReading> readProtectiveLabel(const std::string& text);

// Whether the first number of the text is written with a "+", as in a price-change column; a
// position quantity never is.
bool explicitlyPlusSignedQuantity(const std::string& text);

}  // namespace TradingViewChartDetector

}  // namespace halvex
