#pragma once

#include <nlohmann/json.hpp>

namespace halvex {

// Placeholder until the chart watcher records are written: the name and the toJSON function are
// what the capture records rely on; the fields come with the watcher.
struct ChartPositionEvent {
    bool operator==(const ChartPositionEvent&) const = default;
};

inline nlohmann::json toJSON(const ChartPositionEvent&) { return nlohmann::json::object(); }

}  // namespace halvex
