#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/chart/pixels/PixelFrame.h"
#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartOCRCandidate.h"
#include "core/chart/records/ChartRejectionRule.h"

namespace halvex {

// The visual roles the OCR pipeline gives candidates (`ChartOCRCandidate::visualRole`). The four
// "active" roles sit on a filled long or short position badge; the "-unlined" ones had too little
// position line beside the badge.
namespace TradingViewVisualRole {
inline constexpr std::string_view activeLong = PixelFrame::BadgeProbe::activeLong;
inline constexpr std::string_view activeShort = PixelFrame::BadgeProbe::activeShort;
inline constexpr std::string_view unlinedSuffix = "-unlined";
inline constexpr std::string_view activeLongUnlined = "active-long-unlined";
inline constexpr std::string_view activeShortUnlined = "active-short-unlined";
inline constexpr std::string_view unfilledOrder = PixelFrame::BadgeProbe::unfilledOrder;
inline constexpr std::string_view ambiguousColoredLabel = PixelFrame::BadgeProbe::ambiguousColoredLabel;

bool isActive(const std::optional<std::string>& role);
// An active role whose position line was found.
bool isLined(const std::optional<std::string>& role);
}  // namespace TradingViewVisualRole

namespace TradingViewChartDetector {

// Recognised fragments that stand on one text line next to each other, such as the quantity badge
// and the P&L of one position label. Never empty when built by makeRows.
struct TextRow {
    std::vector<ChartOCRCandidate> fragments;

    bool operator==(const TextRow&) const = default;

    // The fragments' texts, left to right, joined with one space.
    std::string text() const;
    double centerY() const;  // mean of the fragments' centres
    double centerX() const;  // middle of the row's horizontal extent
    double confidence() const;  // mean of the fragments' confidences
    // The first active role among the fragments, in fragment order.
    std::optional<std::string> activeRole() const;
    // The first fragment on a filled position badge.
    const ChartOCRCandidate* badgeFragment() const;
    // The first role any fragment carries.
    std::optional<std::string> firstRole() const;
    bool hasRole(std::string_view role) const;
    // The badge fragment's rectangle, else the bounding rectangle of all fragments.
    ChartNormalizedRect labelRect() const;
    // The first badge rectangle a fragment carries.
    std::optional<ChartNormalizedRect> badgeRect() const;
};

// A row accepted as the open position's label.
struct ParsedPositionLabel {
    double position = 0;  // quantity magnitude × badge side
    double pnl = 0;
    std::string currency;
    double confidence = 0;  // always 0 here; the frame classifier scores the row itself
    std::vector<std::string> evidence;
    std::string snippet;
    double shapeConfidence = 0;

    bool operator==(const ParsedPositionLabel&) const = default;
};

struct RowRejection {
    ChartRejectionRule rule;
    std::optional<std::string> detail;

    bool operator==(const RowRejection&) const = default;
};

// The verdict on one row: accepted with the parsed label, or rejected with a rule.
using RowVerdict = std::variant<ParsedPositionLabel, RowRejection>;

// Groups candidates into text lines (top first) and cuts each line into rows at wide horizontal
// gaps; rows line by line, left to right.
std::vector<TextRow> makeRows(const std::vector<ChartOCRCandidate>& candidates);

// Whether the row is an open position label, with which signed quantity, P&L and currency, or why
// not.
RowVerdict evaluate(const TextRow& row);

// +1 for the long badge roles, -1 for the short ones, absent otherwise.
std::optional<std::int64_t> badgeSide(const std::optional<std::string>& role);

// Why a quantity cannot be a position size (not finite, zero, price-like), or absent.
std::optional<ChartRejectionRule> quantityRejection(double magnitude, bool isFractional);

// The evidence tag that names the kind of P&L unit.
const std::string& unitEvidence(const std::string& currency);

// A whole number as an integer («2», «-3»), anything else with "%g".
std::string formatQuantity(double value);

}  // namespace TradingViewChartDetector

}  // namespace halvex
