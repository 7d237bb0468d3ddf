#pragma once

#include <nlohmann/json.hpp>

namespace halvex {

// Placeholder until the chart watcher records are written: the name and the toJSON function are
// what the capture records rely on; the fields come with the watcher.
struct ChartWatcherStatus {
    bool operator==(const ChartWatcherStatus&) const = default;
};

inline nlohmann::json toJSON(const ChartWatcherStatus&) { return nlohmann::json::object(); }

}  // namespace halvex
