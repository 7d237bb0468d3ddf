#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartWatcherStatus.h"

namespace halvex {

// The answer to a diagnostics request: the status plus what the detector is and needs. The texts
// come from the platform selection, which knows the detector in use.
struct ChartWatcherDiagnostics {
    std::string detectorVersion;
    ChartWatcherStatus status;
    std::vector<std::string> requirements;
    std::vector<std::string> limitations;

    bool operator==(const ChartWatcherDiagnostics&) const = default;
};

nlohmann::json toJSON(const ChartWatcherDiagnostics& diagnostics);
// Throws nlohmann::json::exception on a missing key, a wrong type or an unknown raw value.
ChartWatcherDiagnostics chartWatcherDiagnosticsFromJSON(const nlohmann::json& json);

}  // namespace halvex
