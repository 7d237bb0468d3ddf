#pragma once

#include <cstdint>
#include <string>

#include "core/chart/records/ChartPlatform.h"

namespace halvex {

// How a chart watcher scans and confirms. Built and range-checked by the dispatcher from the
// request payload; never written as JSON.
struct ChartWatcherConfiguration {
    static constexpr std::int64_t defaultScanIntervalMilliseconds = 750;
    static constexpr std::int64_t defaultOpenConfirmations = 2;
    static constexpr std::int64_t defaultChangeConfirmations = 2;
    static constexpr std::int64_t defaultCloseConfirmations = 4;

    std::int64_t scanIntervalMilliseconds = defaultScanIntervalMilliseconds;  // 250…5000
    std::int64_t openConfirmations = defaultOpenConfirmations;                // 1…10
    std::int64_t changeConfirmations = defaultChangeConfirmations;            // 1…10
    std::int64_t closeConfirmations = defaultCloseConfirmations;              // 1…20
    std::string symbol = placeholderSymbol(ChartPlatform::tradingview);        // trimmed, upper-cased
    ChartPlatformSetting platform = ChartPlatformSetting::tradingview;

    bool operator==(const ChartWatcherConfiguration&) const = default;
};

}  // namespace halvex
