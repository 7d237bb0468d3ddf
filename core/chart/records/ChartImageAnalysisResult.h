#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartOCRCandidate.h"
#include "core/chart/records/ChartTradeObservation.h"

namespace halvex {

// The reading of one image file, for the one-off image analysis.
struct ChartImageAnalysisResult {
    std::string detectorVersion;
    ChartTradeObservation observation;
    std::vector<ChartOCRCandidate> candidates;
    std::vector<std::string> requirements;

    bool operator==(const ChartImageAnalysisResult&) const = default;
};

nlohmann::json toJSON(const ChartImageAnalysisResult& result);
// Throws nlohmann::json::exception on a missing key, a wrong type or an unknown raw value.
ChartImageAnalysisResult chartImageAnalysisResultFromJSON(const nlohmann::json& json);

}  // namespace halvex
