#include "core/chart/tradingview/TextRow.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/chart/tradingview/OCRCandidateTestSamples.h"

namespace halvex::TradingViewChartDetector {
namespace {

ChartOCRCandidate fragment(const std::string& text, double x, double y, double width = 0.05, double height = 0.02,
                           std::optional<std::string> role = std::nullopt) {
    return testing::ocrCandidate(text, x, y, width, height, 0.9, std::move(role));
}

std::vector<std::string> rowTexts(const std::vector<TextRow>& rows) {
    std::vector<std::string> texts;
    for (const TextRow& row : rows) texts.push_back(row.text());
    return texts;
}

// A badge fragment holding the quantity, then the P&L text right beside it.
TextRow label(const std::string& quantity, const std::string& pnl, const std::string& role) {
    TextRow row;
    row.fragments.push_back(fragment(quantity, 0.60, 0.50, 0.012, 0.022, role));
    row.fragments.back().badgeRect = ChartNormalizedRect{0.598, 0.497, 0.016, 0.028};
    row.fragments.push_back(fragment(pnl, 0.614, 0.50, 0.07, 0.022));
    return row;
}

TextRow single(const std::string& text, std::optional<std::string> role, std::optional<double> hint = std::nullopt) {
    TextRow row;
    row.fragments.push_back(fragment(text, 0.60, 0.50, 0.08, 0.022, std::move(role)));
    row.fragments.back().quantityHint = hint;
    return row;
}

ParsedPositionLabel accepted(const RowVerdict& verdict) {
    const auto* label = std::get_if<ParsedPositionLabel>(&verdict);
    EXPECT_NE(label, nullptr) << "expected an accepted row";
    return label != nullptr ? *label : ParsedPositionLabel{};
}

RowRejection rejected(const RowVerdict& verdict) {
    const auto* rejection = std::get_if<RowRejection>(&verdict);
    EXPECT_NE(rejection, nullptr) << "expected a rejected row";
    return rejection != nullptr ? *rejection : RowRejection{ChartRejectionRule::emptyText, "not rejected"};
}

TEST(MakeRows, JoinsNeighboursAndCutsAtWideGaps) {
    // «2» ends at 0.51; the P&L starts 0.005 later.
    EXPECT_EQ(rowTexts(makeRows({fragment("+125.50 USD", 0.515, 0.5, 0.08), fragment("2", 0.50, 0.5, 0.01)})),
              (std::vector<std::string>{"2 +125.50 USD"}));
    EXPECT_EQ(rowTexts(makeRows({fragment("2", 0.50, 0.5, 0.01), fragment("+125.50 USD", 0.57, 0.5, 0.08)})),
              (std::vector<std::string>{"2", "+125.50 USD"}));
}

TEST(MakeRows, LineToleranceFollowsFragmentHeight) {
    EXPECT_EQ(makeRows({fragment("a", 0.1, 0.500), fragment("b", 0.16, 0.511)}).size(), 1u);
    EXPECT_EQ(makeRows({fragment("a", 0.1, 0.500), fragment("b", 0.16, 0.513)}).size(), 2u);
    // Tiny fragments still share a line within 0.006.
    EXPECT_EQ(makeRows({fragment("a", 0.1, 0.500, 0.01, 0.005), fragment("b", 0.111, 0.5055, 0.01, 0.005)}).size(), 1u);
}

TEST(MakeRows, TopLineFirstThenLeftToRight) {
    const auto rows = makeRows({
        fragment("low", 0.1, 0.20),
        fragment("right", 0.8, 0.60),
        fragment("left", 0.1, 0.60),
        fragment("top", 0.5, 0.90),
    });
    EXPECT_EQ(rowTexts(rows), (std::vector<std::string>{"top", "left", "right", "low"}));
}

TEST(MakeRows, SurvivesNonFiniteCoordinates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto rows = makeRows({fragment("a", nan, 0.5), fragment("b", 0.1, nan), fragment("c", 0.2, 0.5)});
    std::size_t fragments = 0;
    for (const TextRow& row : rows) fragments += row.fragments.size();
    EXPECT_EQ(fragments, 3u);
}

TEST(TextRow, DerivedValues) {
    TextRow row = label("2", "+125.50 USD", "active-long");
    row.fragments[1].confidence = 0.5;
    EXPECT_EQ(row.text(), "2 +125.50 USD");
    EXPECT_NEAR(row.centerY(), 0.511, 1e-12);
    EXPECT_NEAR(row.centerX(), (0.60 + 0.684) * 0.5, 1e-12);
    EXPECT_NEAR(row.confidence(), 0.7, 1e-12);
    EXPECT_EQ(row.activeRole(), "active-long");
    EXPECT_EQ(row.badgeFragment(), &row.fragments[0]);
    EXPECT_EQ(row.labelRect(), (ChartNormalizedRect{0.60, 0.50, 0.012, 0.022}));
    EXPECT_EQ(row.badgeRect(), (ChartNormalizedRect{0.598, 0.497, 0.016, 0.028}));

    TextRow plain;
    plain.fragments = {fragment("a", 0.2, 0.30, 0.1, 0.02), fragment("b", 0.35, 0.31, 0.05, 0.03)};
    EXPECT_EQ(plain.activeRole(), std::nullopt);
    const ChartNormalizedRect rect = plain.labelRect();
    EXPECT_NEAR(rect.x, 0.2, 1e-12);
    EXPECT_NEAR(rect.y, 0.30, 1e-12);
    EXPECT_NEAR(rect.width, 0.2, 1e-12);
    EXPECT_NEAR(rect.height, 0.04, 1e-12);
    EXPECT_EQ(plain.badgeRect(), std::nullopt);
}

TEST(Evaluate, AcceptsCompactLabelOnALinedBadge) {
    const auto shortLabel = accepted(evaluate(label("2", "+125.50 USD", "active-short")));
    EXPECT_EQ(shortLabel.position, -2);
    EXPECT_EQ(shortLabel.pnl, 125.5);
    EXPECT_EQ(shortLabel.currency, "USD");
    EXPECT_EQ(shortLabel.confidence, 0);
    EXPECT_EQ(shortLabel.snippet, "2 +125.50 USD");
    EXPECT_DOUBLE_EQ(shortLabel.shapeConfidence, 0.98);
    EXPECT_EQ(shortLabel.evidence,
              (std::vector<std::string>{"position-quantity", "signed-pnl", "compact-position-label", "money-pnl",
                                        "filled-position-badge", "position-line"}));

    // A short quantity printed with its minus agrees with a short badge.
    EXPECT_EQ(accepted(evaluate(label("-2", "+125.50 USD", "active-short"))).position, -2);
    EXPECT_EQ(accepted(evaluate(label("3", "-12 ticks", "active-long"))).evidence[3], "price-unit-pnl");
}

TEST(Evaluate, RejectsCompactLabelsThatCannotBePositions) {
    struct Case {
        TextRow row;
        ChartRejectionRule rule;
        std::optional<std::string> detail;
    };
    using R = ChartRejectionRule;
    const Case cases[] = {
        {label("2", "+125.50 USD", "active-short-unlined"), R::noPositionLine, std::nullopt},
        {label("-2", "+125.50 USD", "active-long"), R::quantityContradictsBadge,
         "OCR printed sign - but the badge is long."},
        {label("+2", "+125.50 USD", "active-short"), R::quantityContradictsBadge,
         "OCR printed sign + but the badge is short."},
        {label("+2", "+125.50 USD", "active-long"), R::changeColumnPair, std::nullopt},
        {label("4500.25", "+12.00 USD", "active-long"), R::priceLikeQuantity, "quantity 4500.2500"},
        {label("0", "+12.00 USD", "active-long"), R::zeroQuantity, "quantity 0.0000"},
        {label("2000000", "+12.00 USD", "active-long"), R::priceLikeQuantity, "quantity 2000000.0000"},
    };
    for (const Case& c : cases) {
        const RowRejection rejection = rejected(evaluate(c.row));
        EXPECT_EQ(rejection.rule, c.rule) << c.row.text();
        EXPECT_EQ(rejection.detail, c.detail) << c.row.text();
    }
}

TEST(Evaluate, FallsBackToTheBadgeQuantityHint) {
    const auto hinted = accepted(evaluate(single("+12.50 USD", "active-long", 3)));
    EXPECT_EQ(hinted.position, 3);
    EXPECT_EQ(hinted.pnl, 12.5);
    EXPECT_DOUBLE_EQ(hinted.shapeConfidence, 0.88);
    EXPECT_EQ(hinted.snippet, "3 +12.50 USD");
    EXPECT_EQ(hinted.evidence, (std::vector<std::string>{"badge-quantity-hint", "signed-pnl", "money-pnl",
                                                         "filled-position-badge", "position-line"}));
    EXPECT_EQ(accepted(evaluate(single("-4.00 EUR", "active-short", 1.5))).snippet, "-1.5 -4.00 EUR");

    struct Case {
        TextRow row;
        ChartRejectionRule rule;
        std::optional<std::string> detail;
    };
    using R = ChartRejectionRule;
    const Case cases[] = {
        {single("+12.50 USD", "active-long"), R::quantityUnreadable, "badge-quantity-unreadable"},
        {single("+12.50 USD", "active-long", 0), R::quantityUnreadable, "badge-quantity-unreadable"},
        {single("+12.50 USD", "active-long", std::numeric_limits<double>::infinity()), R::quantityUnreadable,
         "badge-quantity-unreadable"},
        {single("+12.50 USD", "active-long-unlined", 3), R::noPositionLine, std::nullopt},
        {single("+12.50 USD", "active-long", 150.5), R::priceLikeQuantity, "quantity 150.5000"},
        {single("+12.50 USD", "active-long", 2e6), R::priceLikeQuantity, "quantity 2000000.0000"},
        {single("+12.50 USO", "active-long", 3), R::missingPnLUnit, std::nullopt},
        // Garbled labels never yield a quantity read from the text.
        {single("3 l +125.50 USD", "active-long"), R::quantityUnreadable, "badge-quantity-unreadable"},
        {single("2 t125.50 USD", "active-long", 2), R::missingPnLUnit, std::nullopt},
    };
    for (const Case& c : cases) {
        const RowRejection rejection = rejected(evaluate(c.row));
        EXPECT_EQ(rejection.rule, c.rule) << c.row.text();
        EXPECT_EQ(rejection.detail, c.detail) << c.row.text();
    }
}

TEST(Evaluate, DropsPositionLineButtonsLeftOfTheBadge) {
    TextRow row;
    row.fragments = {fragment("SL", 0.55, 0.50, 0.02, 0.022), fragment("2", 0.575, 0.50, 0.012, 0.022, "active-long"),
                     fragment("+125.50 USD", 0.589, 0.50, 0.07, 0.022)};
    const auto label = accepted(evaluate(row));
    EXPECT_EQ(label.position, 2);
    EXPECT_EQ(label.snippet, "2 +125.50 USD");

    // Nothing left once the affordance is dropped: the affordance rule stands.
    EXPECT_EQ(rejected(evaluate(single("TP +250.00 USD", "active-long", 1))).rule, ChartRejectionRule::targetOrder);
    // Rules other than the affordances are final even on a badge.
    EXPECT_EQ(rejected(evaluate(single("Buy Limit 1", "active-long", 1))).rule, ChartRejectionRule::limitOrder);
}

TEST(Evaluate, WithoutActiveBadgeExplainsWhy) {
    using R = ChartRejectionRule;
    EXPECT_EQ(rejected(evaluate(single("Buy Limit 1", std::nullopt))).rule, R::limitOrder);
    EXPECT_EQ(rejected(evaluate(single("Buy Limit 1", "unfilled-order"))).rule, R::limitOrder);
    EXPECT_EQ(rejected(evaluate(single("2 +125.50 USD", "unfilled-order"))).rule, R::unfilledOrderBadge);
    EXPECT_EQ(rejected(evaluate(single("2 +125.50 USD", "ambiguous-colored-label"))).rule, R::ambiguousBadge);
    EXPECT_EQ(rejected(evaluate(single("2 +125.50 USD", "no-badge"))).rule, R::noFilledPositionBadge);
    EXPECT_EQ(rejected(evaluate(single("2 +125.50 USD", std::nullopt))).detail, std::nullopt);
}

TEST(RowHelpers, SidesQuantitiesUnitsAndFormatting) {
    EXPECT_EQ(badgeSide(std::string("active-long-unlined")), 1);
    EXPECT_EQ(badgeSide(std::string("active-short")), -1);
    EXPECT_EQ(badgeSide(std::string("unfilled-order")), std::nullopt);
    EXPECT_EQ(badgeSide(std::nullopt), std::nullopt);

    using R = ChartRejectionRule;
    EXPECT_EQ(quantityRejection(std::numeric_limits<double>::quiet_NaN(), false), R::quantityUnreadable);
    EXPECT_EQ(quantityRejection(0, false), R::zeroQuantity);
    EXPECT_EQ(quantityRejection(100.5, true), R::priceLikeQuantity);
    EXPECT_EQ(quantityRejection(99.5, true), std::nullopt);
    EXPECT_EQ(quantityRejection(1'000'000, false), std::nullopt);
    EXPECT_EQ(quantityRejection(1'000'001, false), R::priceLikeQuantity);

    EXPECT_EQ(unitEvidence("USD"), "money-pnl");
    EXPECT_EQ(unitEvidence("GBP"), "currency-pnl");
    EXPECT_EQ(unitEvidence("PIPS"), "price-unit-pnl");
    EXPECT_EQ(unitEvidence("PERCENT"), "percent-pnl");
    EXPECT_EQ(unitEvidence("CAD"), "unit-pnl");

    EXPECT_EQ(formatQuantity(2), "2");
    EXPECT_EQ(formatQuantity(-3), "-3");
    EXPECT_EQ(formatQuantity(-0.0), "0");
    EXPECT_EQ(formatQuantity(2.5), "2.5");
    EXPECT_EQ(formatQuantity(0.1234567), "0.123457");
}

}  // namespace
}  // namespace halvex::TradingViewChartDetector
