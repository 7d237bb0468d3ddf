#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// A take-profit or stop-loss read from the chart.
struct ChartProtectiveLevel {
    double value = 0;                // amount in `unit`
    std::string unit;                // as the reader reports it
    std::optional<std::string> text; // label text the level was read from
    std::optional<double> price;     // chart price at the level's line, when the axis was readable

    bool operator==(const ChartProtectiveLevel&) const = default;
};

nlohmann::json toJSON(const ChartProtectiveLevel& level);
// Throws nlohmann::json::exception on a missing required key or a wrong type.
ChartProtectiveLevel chartProtectiveLevelFromJSON(const nlohmann::json& json);

}  // namespace halvex
