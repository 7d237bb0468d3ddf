#include "core/chart/tradingview/TextRow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/chart/tradingview/TextCharacters.h"
#include "core/chart/tradingview/TradingViewLabelGrammar.h"
#include "core/chart/tradingview/TradingViewTextRules.h"

namespace halvex {

namespace TradingViewVisualRole {

bool isActive(const std::optional<std::string>& role) {
    return role && (*role == activeLong || *role == activeShort || *role == activeLongUnlined ||
                    *role == activeShortUnlined);
}

bool isLined(const std::optional<std::string>& role) { return isActive(role) && !role->ends_with(unlinedSuffix); }

}  // namespace TradingViewVisualRole

namespace TradingViewChartDetector {

namespace {

namespace evidence {
const std::string positionQuantity = "position-quantity";
const std::string signedPnL = "signed-pnl";
const std::string compactPositionLabel = "compact-position-label";
const std::string badgeQuantityHint = "badge-quantity-hint";
const std::string filledPositionBadge = "filled-position-badge";
const std::string positionLine = "position-line";
const std::string positionLineUnverified = "position-line-unverified";
const std::string moneyPnL = "money-pnl";
const std::string currencyPnL = "currency-pnl";
const std::string priceUnitPnL = "price-unit-pnl";
const std::string percentPnL = "percent-pnl";
const std::string unitPnL = "unit-pnl";
}  // namespace evidence

const std::string badgeQuantityUnreadableDetail = "badge-quantity-unreadable";

// Candidates whose centres differ by no more than this share one text line in the sort.
constexpr double sameCentreTolerance = 1e-4;
constexpr double lineHeightShare = 0.6;
constexpr double minimumLineTolerance = 0.006;
constexpr double gapHeightShare = 2.5;
constexpr double minimumGap = 0.012;
constexpr double largestQuantity = 1'000'000;
constexpr double largestFractionalQuantity = 100;
constexpr double badgeQuantityShapeConfidence = 0.88;
constexpr double compactShapeConfidenceCeiling = 0.999;

double centreY(const ChartOCRCandidate& candidate) { return candidate.y + candidate.height * 0.5; }

// Total order on x with NaN last, so sorting never meets an inconsistent comparison.
bool leftOf(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); }

bool topFirst(const ChartOCRCandidate& a, const ChartOCRCandidate& b) {
    const double ca = centreY(a);
    const double cb = centreY(b);
    if (std::fabs(ca - cb) <= sameCentreTolerance) return leftOf(a.x, b.x);
    return ca > cb;
}

// A stable insertion sort: the tolerance makes `topFirst` intransitive, which the standard sorts
// do not allow; this one only ever compares neighbours and cannot run out of bounds. It moves
// pointers, not candidates.
std::vector<const ChartOCRCandidate*> sortedTopFirst(const std::vector<ChartOCRCandidate>& candidates) {
    std::vector<const ChartOCRCandidate*> sorted;
    sorted.reserve(candidates.size());
    for (const ChartOCRCandidate& candidate : candidates) {
        auto at = sorted.end();
        while (at != sorted.begin() && topFirst(candidate, **(at - 1))) --at;
        sorted.insert(at, &candidate);
    }
    return sorted;
}

std::string joinedText(std::vector<const ChartOCRCandidate*> fragments) {
    std::stable_sort(fragments.begin(), fragments.end(),
                     [](const ChartOCRCandidate* a, const ChartOCRCandidate* b) { return leftOf(a->x, b->x); });
    std::string text;
    for (std::size_t index = 0; index < fragments.size(); ++index) {
        if (index > 0) text += ' ';
        text += fragments[index]->text;
    }
    return text;
}

std::string formatted(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

RowRejection rejection(ChartRejectionRule rule, std::optional<std::string> detail = std::nullopt) {
    return {rule, std::move(detail)};
}

bool isAffordanceRule(ChartRejectionRule rule) {
    return rule == ChartRejectionRule::stopOrder || rule == ChartRejectionRule::targetOrder;
}

// The texts a row on an active badge may be read from: the row itself, or, when the buttons beside
// the label make it read as a stop or target order, the part from the badge onward and the badge
// text alone. Holds the rejection when no text is left to read.
std::variant<std::vector<std::string>, RowRejection> candidateTexts(const TextRow& row, const std::string& text) {
    const auto rule = textRejection(text);
    if (!rule) return std::vector<std::string>{text};
    const ChartOCRCandidate* badge = row.badgeFragment();
    if (!isAffordanceRule(*rule) || badge == nullptr) return rejection(*rule);

    std::vector<const ChartOCRCandidate*> fromBadge;
    for (const ChartOCRCandidate& fragment : row.fragments) {
        if (fragment.x >= badge->x) fromBadge.push_back(&fragment);
    }
    const std::string fromBadgeText = normalizedText(joinedText(fromBadge));
    const std::string badgeText = normalizedText(badge->text);
    std::vector<std::string> texts;
    if (!fromBadgeText.empty() && !textRejection(fromBadgeText)) texts.push_back(fromBadgeText);
    if (!badgeText.empty() && !textRejection(badgeText) && badgeText != fromBadgeText) texts.push_back(badgeText);
    if (texts.empty()) return rejection(*rule);
    return texts;
}

std::vector<std::string> sideEvidence(bool lined) {
    return {evidence::filledPositionBadge, lined ? evidence::positionLine : evidence::positionLineUnverified};
}

std::string priceLikeDetail(double magnitude) { return formatted("quantity %.4f", magnitude); }

RowVerdict compactVerdict(const ChartLabelReading& reading, const std::string& text, std::int64_t side, bool lined) {
    if (reading.explicitQuantitySign && *reading.explicitQuantitySign != side) {
        return rejection(ChartRejectionRule::quantityContradictsBadge,
                         std::string("OCR printed sign ") + (*reading.explicitQuantitySign < 1 ? "-" : "+") +
                             " but the badge is " + (side < 1 ? "short" : "long") + ".");
    }
    if (explicitlyPlusSignedQuantity(text)) return rejection(ChartRejectionRule::changeColumnPair);
    if (!lined) return rejection(ChartRejectionRule::noPositionLine);
    if (const auto rule = quantityRejection(reading.quantityMagnitude, reading.quantityIsFractional)) {
        return rejection(*rule, priceLikeDetail(reading.quantityMagnitude));
    }
    ParsedPositionLabel label;
    label.position = reading.quantityMagnitude * static_cast<double>(side);
    label.pnl = reading.pnl;
    label.currency = reading.currency;
    label.snippet = reading.snippet;
    label.shapeConfidence = std::min(reading.shapeConfidence, compactShapeConfidenceCeiling);
    label.evidence = {evidence::positionQuantity, evidence::signedPnL, evidence::compactPositionLabel,
                      unitEvidence(reading.currency)};
    for (std::string& tag : sideEvidence(lined)) label.evidence.push_back(std::move(tag));
    return label;
}

RowVerdict badgeQuantityVerdict(const TextRow& row, const std::vector<std::string>& texts, std::int64_t side,
                                bool lined) {
    const ChartOCRCandidate* badge = row.badgeFragment();
    if (badge == nullptr) return rejection(ChartRejectionRule::noFilledPositionBadge);
    auto pnl = readPnL(normalizedText(badge->text));
    for (auto text = texts.begin(); !pnl && text != texts.end(); ++text) pnl = readPnL(*text);
    if (!pnl) return rejection(ChartRejectionRule::missingPnLUnit);

    const auto& hint = badge->quantityHint;
    if (!hint || *hint == 0 || !std::isfinite(*hint)) {
        return rejection(ChartRejectionRule::quantityUnreadable, badgeQuantityUnreadableDetail);
    }
    if (!lined) return rejection(ChartRejectionRule::noPositionLine);
    const double magnitude = std::fabs(*hint);
    if (magnitude > largestQuantity || (magnitude >= largestFractionalQuantity && std::floor(magnitude) != magnitude)) {
        return rejection(ChartRejectionRule::priceLikeQuantity, priceLikeDetail(magnitude));
    }
    ParsedPositionLabel label;
    label.position = magnitude * static_cast<double>(side);
    label.pnl = pnl->first;
    label.currency = pnl->second;
    label.snippet = TextCharacters::prefix(formatQuantity(label.position) + " " + badge->text, snippetLimit);
    label.shapeConfidence = badgeQuantityShapeConfidence;
    label.evidence = {evidence::badgeQuantityHint, evidence::signedPnL, unitEvidence(label.currency)};
    for (std::string& tag : sideEvidence(lined)) label.evidence.push_back(std::move(tag));
    return label;
}

}  // namespace

std::string TextRow::text() const {
    std::vector<const ChartOCRCandidate*> all;
    all.reserve(fragments.size());
    for (const ChartOCRCandidate& fragment : fragments) all.push_back(&fragment);
    return joinedText(std::move(all));
}

double TextRow::centerY() const {
    if (fragments.empty()) return 0;
    double sum = 0;
    for (const ChartOCRCandidate& fragment : fragments) sum += centreY(fragment);
    return sum / static_cast<double>(fragments.size());
}

double TextRow::centerX() const {
    if (fragments.empty()) return 0;
    double minX = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    for (const ChartOCRCandidate& fragment : fragments) {
        minX = std::min(minX, fragment.x);
        maxX = std::max(maxX, fragment.x + fragment.width);
    }
    return (minX + maxX) * 0.5;
}

double TextRow::confidence() const {
    if (fragments.empty()) return 0;
    double sum = 0;
    for (const ChartOCRCandidate& fragment : fragments) sum += fragment.confidence;
    return sum / static_cast<double>(fragments.size());
}

std::optional<std::string> TextRow::activeRole() const {
    const ChartOCRCandidate* badge = badgeFragment();
    if (badge == nullptr) return std::nullopt;
    return badge->visualRole;
}

const ChartOCRCandidate* TextRow::badgeFragment() const {
    for (const ChartOCRCandidate& fragment : fragments) {
        if (TradingViewVisualRole::isActive(fragment.visualRole)) return &fragment;
    }
    return nullptr;
}

std::optional<std::string> TextRow::firstRole() const {
    for (const ChartOCRCandidate& fragment : fragments) {
        if (fragment.visualRole) return fragment.visualRole;
    }
    return std::nullopt;
}

bool TextRow::hasRole(std::string_view role) const {
    return std::any_of(fragments.begin(), fragments.end(),
                       [&](const ChartOCRCandidate& fragment) { return fragment.visualRole == role; });
}

ChartNormalizedRect TextRow::labelRect() const {
    if (const ChartOCRCandidate* badge = badgeFragment()) return badge->rect();
    if (fragments.empty()) return {};
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();
    for (const ChartOCRCandidate& fragment : fragments) {
        minX = std::min(minX, fragment.x);
        minY = std::min(minY, fragment.y);
        maxX = std::max(maxX, fragment.x + fragment.width);
        maxY = std::max(maxY, fragment.y + fragment.height);
    }
    return {minX, minY, std::max(0.0, maxX - minX), std::max(0.0, maxY - minY)};
}

std::optional<ChartNormalizedRect> TextRow::badgeRect() const {
    for (const ChartOCRCandidate& fragment : fragments) {
        if (fragment.badgeRect) return fragment.badgeRect;
    }
    return std::nullopt;
}

std::vector<TextRow> makeRows(const std::vector<ChartOCRCandidate>& candidates) {
    struct Line {
        std::vector<const ChartOCRCandidate*> members;
        double centreSum = 0;
        double heightSum = 0;

        double centre() const { return centreSum / static_cast<double>(members.size()); }
        double meanHeight() const { return heightSum / static_cast<double>(members.size()); }
    };
    std::vector<Line> lines;
    for (const ChartOCRCandidate* candidate : sortedTopFirst(candidates)) {
        const double centre = centreY(*candidate);
        auto line = std::find_if(lines.begin(), lines.end(), [&](const Line& existing) {
            const double tolerance =
                std::max(lineHeightShare * std::max(candidate->height, existing.meanHeight()), minimumLineTolerance);
            return std::fabs(existing.centre() - centre) <= tolerance;
        });
        if (line == lines.end()) line = lines.insert(lines.end(), Line{});
        line->centreSum += centre;
        line->heightSum += candidate->height;
        line->members.push_back(candidate);
    }

    std::vector<TextRow> rows;
    for (Line& line : lines) {
        std::stable_sort(line.members.begin(), line.members.end(),
                         [](const ChartOCRCandidate* a, const ChartOCRCandidate* b) { return leftOf(a->x, b->x); });
        TextRow current;
        for (const ChartOCRCandidate* member : line.members) {
            if (!current.fragments.empty()) {
                const ChartOCRCandidate& previous = current.fragments.back();
                const double gap = member->x - (previous.x + previous.width);
                const double allowed = std::max(gapHeightShare * std::max(previous.height, member->height), minimumGap);
                if (!(gap <= allowed)) rows.push_back(std::exchange(current, TextRow{}));
            }
            current.fragments.push_back(*member);
        }
        if (!current.fragments.empty()) rows.push_back(std::move(current));
    }
    return rows;
}

RowVerdict evaluate(const TextRow& row) {
    const std::string text = normalizedText(row.text());
    const auto side = badgeSide(row.activeRole());

    if (!side) {
        if (const auto rule = textRejection(text)) return rejection(*rule);
        if (row.hasRole(TradingViewVisualRole::unfilledOrder)) return rejection(ChartRejectionRule::unfilledOrderBadge);
        if (row.hasRole(TradingViewVisualRole::ambiguousColoredLabel)) {
            return rejection(ChartRejectionRule::ambiguousBadge);
        }
        return rejection(ChartRejectionRule::noFilledPositionBadge);
    }

    auto texts = candidateTexts(row, text);
    if (const auto* refused = std::get_if<RowRejection>(&texts)) return *refused;
    const auto& readable = std::get<std::vector<std::string>>(texts);
    const bool lined = TradingViewVisualRole::isLined(row.activeRole());

    for (const std::string& candidate : readable) {
        if (const auto reading = readCompactLabel(candidate)) return compactVerdict(*reading, candidate, *side, lined);
    }
    return badgeQuantityVerdict(row, readable, *side, lined);
}

std::optional<std::int64_t> badgeSide(const std::optional<std::string>& role) {
    if (!role) return std::nullopt;
    if (*role == TradingViewVisualRole::activeLong || *role == TradingViewVisualRole::activeLongUnlined) return 1;
    if (*role == TradingViewVisualRole::activeShort || *role == TradingViewVisualRole::activeShortUnlined) return -1;
    return std::nullopt;
}

std::optional<ChartRejectionRule> quantityRejection(double magnitude, bool isFractional) {
    if (!std::isfinite(magnitude)) return ChartRejectionRule::quantityUnreadable;
    if (magnitude == 0) return ChartRejectionRule::zeroQuantity;
    if ((isFractional && magnitude >= largestFractionalQuantity) || magnitude > largestQuantity) {
        return ChartRejectionRule::priceLikeQuantity;
    }
    return std::nullopt;
}

const std::string& unitEvidence(const std::string& currency) {
    if (currency == ChartLabelUnit::usd) return evidence::moneyPnL;
    if (currency == ChartLabelUnit::eur || currency == ChartLabelUnit::gbp) return evidence::currencyPnL;
    if (currency == ChartLabelUnit::ticks || currency == ChartLabelUnit::pips || currency == ChartLabelUnit::points) {
        return evidence::priceUnitPnL;
    }
    if (currency == ChartLabelUnit::percent) return evidence::percentPnL;
    return evidence::unitPnL;
}

std::string formatQuantity(double value) {
    if (value == 0) return "0";
    // Beyond 1e15 "%.0f" would print digits the double does not hold.
    if (std::fabs(value) < 1e15 && std::floor(value) == value) return formatted("%.0f", value);
    return formatted("%g", value);
}

}  // namespace TradingViewChartDetector

}  // namespace halvex
