#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/chart/records/ChartTradeObservation.h"

namespace halvex {

// What a confirmed change of the open position was.
enum class ChartPositionTransitionKind { entry, add, partialExit, reversal, close };

inline constexpr std::array<ChartPositionTransitionKind, 5> allChartPositionTransitionKinds{
    ChartPositionTransitionKind::entry, ChartPositionTransitionKind::add, ChartPositionTransitionKind::partialExit,
    ChartPositionTransitionKind::reversal, ChartPositionTransitionKind::close};

const std::string& rawValue(ChartPositionTransitionKind kind);
std::optional<ChartPositionTransitionKind> parseChartPositionTransitionKind(const std::string& text);

// A position change the debouncer has confirmed.
struct ChartPositionTransition {
    double previousPosition = 0;  // 0 when none was open
    double position = 0;          // 0 for a close
    ChartPositionTransitionKind kind = ChartPositionTransitionKind::entry;
    ChartTradeObservation observation;  // the confirming reading; for a close, the synthesised one

    bool operator==(const ChartPositionTransition&) const = default;
};

}  // namespace halvex
