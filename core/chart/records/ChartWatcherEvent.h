#pragma once

#include <string>
#include <variant>

#include "core/chart/records/ChartPositionEvent.h"
#include "core/chart/records/ChartWatcherStatus.h"

namespace halvex {

// The detailed description of a scan that failed.
struct ChartWatcherScanFailure {
    std::string description;

    bool operator==(const ChartWatcherScanFailure&) const = default;
};

// What a watcher hands to its single event sink: a status, a confirmed position, or a failure.
// The alternatives are in this order: status, position, failure.
using ChartWatcherEvent = std::variant<ChartWatcherStatus, ChartPositionEvent, ChartWatcherScanFailure>;

}  // namespace halvex
