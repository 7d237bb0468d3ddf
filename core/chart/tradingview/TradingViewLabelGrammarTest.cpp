#include "core/chart/tradingview/TradingViewLabelGrammar.h"

#include "core/chart/tradingview/TextPattern.h"

#include <cmath>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace halvex::TradingViewChartDetector {
namespace {

// A pattern that fails to compile would silently read nothing, so each stored one must compile.
TEST(LabelPatterns, EveryStoredPatternCompiles) {
    for (const std::string* pattern : {&patterns::amount(), &patterns::unit(), &patterns::compactLabel(),
                                       &patterns::pnl(), &patterns::protectiveLabel(), &patterns::plusSignedNumber()}) {
        EXPECT_TRUE(TextPattern(*pattern, TextPattern::Case::insensitive).isUsable()) << *pattern;
    }
}

TEST(NormalizedText, UnifiesDashesPlusesAndSpaces) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {" 1 \u2212 5\u00A0USD ", "1 - 5 USD"},
        {"2\n\t+125.50   USD", "2 +125.50 USD"},
        {"\u2013" "3 \u2014 4", "-3 - 4"},
        {"\uFF0B" "12\u2009EUR\u202F", "+12 EUR"},
        {"\u2028 ESZ4 \u000B", "ESZ4"},
        {"   ", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(normalizedText(c.input), c.expected) << c.input;
}

TEST(ParseAmount, ReadsBothDecimalConventionsAndCurrencySymbols) {
    struct Case {
        std::string input;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"+$1,234.50", 1234.5},
        {"\u2212" "12.5", -12.5},
        {"12,50 €", 12.5},
        {"1 234", 1234},
        {"1,234", 1234},
        {"1.234", 1234},
        {"1.234,56", 1234.56},
        {"1,234.56", 1234.56},
        {"12,5", 12.5},
        {"0.125", 125},  // three digits after the last separator are a thousands group
        {"US$ -7.25", -7.25},
        {"£-3", -3},
        {"-0.00", 0},
        {"12.5k", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {".", std::nullopt},
        {"--5", std::nullopt},
        {"1e5", std::nullopt},
        {"USD 12", std::nullopt},
        {"\u0661\u0662", std::nullopt},  // numeric, but not decimal digits a number can be parsed from
        {"1" + std::string(400, '0'), std::nullopt},  // would overflow: never an infinite amount
    };
    for (const Case& c : cases) {
        const auto value = parseAmount(c.input);
        ASSERT_EQ(value.has_value(), c.expected.has_value()) << c.input;
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *c.expected) << c.input;
        }
    }
}

TEST(HasDecimalFraction, TellsDecimalPartsFromThousandsGroups) {
    const std::pair<std::string, bool> cases[] = {
        {"2.5", true},  {"0.25", true},  {"1.2345", true}, {"+1,5 €", true}, {"1,000", false},
        {"1.234", false}, {"3", false}, {"12", false},    {"1.", false},    {"1.5k", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(hasDecimalFraction(text), expected) << text;
}

TEST(NormalizedCurrency, FirstMatchingRuleDecides) {
    struct Case {
        std::optional<std::string> unit;
        std::string pnl;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"ticks", "+3", "TICKS"},   {"pts", "+3", "POINTS"},    {"Points", "-1", "POINTS"}, {"pips", "+2", "PIPS"},
        {"%", "+0.8", "PERCENT"},   {std::nullopt, "+$12", "USD"}, {"usd", "+1", "USD"},   {"US$", "+1", "USD"},
        {" eur ", "+1", "EUR"},     {"€", "+5", "EUR"},          {std::nullopt, "-£4", "GBP"},
        {"CAD", "+12", std::nullopt}, {std::nullopt, "+12", std::nullopt},
        {"TICKS", "+$3", "TICKS"},  // the unit wins over a symbol in the amount
    };
    for (const Case& c : cases) EXPECT_EQ(normalizedCurrency(c.unit, c.pnl), c.expected) << c.unit.value_or("-");
}

TEST(ReadsAsPnL, UnsignedNonZeroNumbersArePrices) {
    EXPECT_TRUE(readsAsPnL("+12", 12, std::nullopt));
    EXPECT_TRUE(readsAsPnL("$12", 12, std::nullopt));
    EXPECT_TRUE(readsAsPnL("0.00", 0, std::string("USD")));
    EXPECT_FALSE(readsAsPnL("0.00", 0, std::nullopt));
    EXPECT_FALSE(readsAsPnL("12", 12, std::string("USD")));
}

struct CompactCase {
    std::string text;
    double magnitude;
    std::optional<std::int64_t> sign;
    bool fractional;
    double pnl;
    std::string currency;
    double shape;
};

TEST(ReadCompactLabel, ReadsQuantitySignedPnLAndUnit) {
    const CompactCase cases[] = {
        {"3 | +125.50 USD", 3, std::nullopt, false, 125.5, "USD", 0.98},
        {"-2  -$40.00", 2, -1, false, -40, "USD", 0.98},
        {"1 0.00 USD", 1, std::nullopt, false, 0, "USD", 0.98},
        {"1.5 +12 EUR", 1.5, std::nullopt, true, 12, "EUR", 0.94},
        {"5 +12.00 ticks", 5, std::nullopt, false, 12, "TICKS", 0.94},
        {"2 $+12.00", 2, std::nullopt, false, 12, "USD", 0.98},
        {"2 +125.50 usd", 2, std::nullopt, false, 125.5, "USD", 0.98},
        {"+1.25 +0.8%", 1.25, 1, true, 0.8, "PERCENT", 0.94},
        {"3 ¦ +125.50 USD", 3, std::nullopt, false, 125.5, "USD", 0.98},
        {"3 ! -7,5 €", 3, std::nullopt, false, -7.5, "EUR", 0.94},
        // The recogniser lost the space between quantity and amount: still quantity 2.
        {"2+125.50 USD", 2, std::nullopt, false, 125.5, "USD", 0.98},
        // The first match fails (unsigned amount), the second one passes.
        {"1 25.00 USD 2 +10.00 USD", 2, std::nullopt, false, 10, "USD", 0.98},
    };
    for (const CompactCase& c : cases) {
        const auto reading = readCompactLabel(c.text);
        ASSERT_TRUE(reading.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(reading->quantityMagnitude, c.magnitude) << c.text;
        EXPECT_EQ(reading->explicitQuantitySign, c.sign) << c.text;
        EXPECT_EQ(reading->quantityIsFractional, c.fractional) << c.text;
        EXPECT_DOUBLE_EQ(reading->pnl, c.pnl) << c.text;
        EXPECT_EQ(reading->currency, c.currency) << c.text;
        EXPECT_DOUBLE_EQ(reading->shapeConfidence, c.shape) << c.text;
    }
}

TEST(ReadCompactLabel, GarbledLabelsGiveNoReadingRatherThanAnotherQuantity) {
    const std::string texts[] = {
        "1 25.00 USD",      // unsigned non-zero amount is a price
        "3 l +125.50 USD",  // divider read as "l"
        "3 I +125.50 USD",  // divider read as "I"
        "2 t125.50 USD",    // "+" read as "t"
        "3 +125.50 USO",    // "USD" read as "USO"
        "10.00 USD",        // «1 0.00 USD» with the space lost
        "4500.25",
        "",
    };
    for (const std::string& text : texts) EXPECT_FALSE(readCompactLabel(text).has_value()) << text;
}

TEST(ReadCompactLabel, SnippetIsTheMatchCutTo160Characters) {
    // The quantity group may take the white space in front of an unsigned quantity.
    EXPECT_EQ(readCompactLabel("P&L  3 | +125.50 USD  today")->snippet, " 3 | +125.50 USD");
    EXPECT_EQ(readCompactLabel("P&L -3 | +125.50 USD")->explicitQuantitySign, -1);
    const std::string longQuantity = std::string(200, '7');
    const auto reading = readCompactLabel(longQuantity + " +1.00 USD");
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ(reading->snippet, std::string(160, '7'));
}

TEST(ReadPnL, FindsTheFirstUsableAmount) {
    EXPECT_EQ(readPnL("+12.50 USD"), std::make_pair(12.5, std::string("USD")));
    EXPECT_EQ(readPnL("4500.25 -3 ticks"), std::make_pair(-3.0, std::string("TICKS")));
    EXPECT_EQ(readPnL("3 l +125.50 USD"), std::make_pair(125.5, std::string("USD")));
    EXPECT_EQ(readPnL("0.00 EUR"), std::make_pair(0.0, std::string("EUR")));
    EXPECT_FALSE(readPnL("+125.50 USO").has_value());
    EXPECT_FALSE(readPnL("t125.50 USD").has_value());
    EXPECT_FALSE(readPnL("25.00 USD").has_value());
}

TEST(ReadProtectiveLabel, ReadsSignedAmountAfterDecoration) {
    struct Case {
        std::string text;
        double pnl;
        std::string currency;
        double shape;
    };
    const Case cases[] = {
        {"× +250.00 USD", 250, "USD", 0.9},
        {"x -100.00 USD", -100, "USD", 0.9},
        {"[2] +50.00 EUR", 50, "EUR", 0.86},
        {"| 1 | -12 ticks", -12, "TICKS", 0.86},
    };
    for (const Case& c : cases) {
        const auto reading = readProtectiveLabel(c.text);
        ASSERT_TRUE(reading.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(reading->pnl, c.pnl) << c.text;
        EXPECT_EQ(reading->currency, c.currency) << c.text;
        EXPECT_DOUBLE_EQ(reading->shapeConfidence, c.shape) << c.text;
        EXPECT_EQ(reading->quantityMagnitude, 0) << c.text;
        EXPECT_FALSE(reading->explicitQuantitySign.has_value()) << c.text;
        EXPECT_EQ(reading->snippet, normalizedText(c.text)) << c.text;
    }
    for (const std::string text : {"250.00 USD", "Close × +250.00 USD", "× +250.00 USO", "× t250.00 USD"}) {
        EXPECT_FALSE(readProtectiveLabel(text).has_value()) << text;
    }
}

TEST(ExplicitlyPlusSignedQuantity, OnlyWhenTheFirstNumberCarriesAPlus) {
    EXPECT_TRUE(explicitlyPlusSignedQuantity("+3 +12.00 USD"));
    EXPECT_TRUE(explicitlyPlusSignedQuantity("+1.25 +0.8%"));
    EXPECT_TRUE(explicitlyPlusSignedQuantity("USD + 5"));
    EXPECT_FALSE(explicitlyPlusSignedQuantity("3 +12.00 USD"));
    EXPECT_FALSE(explicitlyPlusSignedQuantity("1+2"));
    EXPECT_FALSE(explicitlyPlusSignedQuantity("no numbers"));
}

}  // namespace
}  // namespace halvex::TradingViewChartDetector
