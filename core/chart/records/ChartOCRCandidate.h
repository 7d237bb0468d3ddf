#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartGeometry.h"

namespace halvex {

// One piece of recognised text, as the OCR pipeline produced it and the classifiers annotated it.
struct ChartOCRCandidate {
    std::string text;
    double confidence = 0;  // 0…1
    double x = 0;           // normalised box, as in ChartNormalizedRect
    double y = 0;
    double width = 0;
    double height = 0;
    std::optional<std::string> visualRole;
    std::optional<double> quantityHint;         // quantity read from the badge pixels
    std::optional<std::string> rejectionReason; // raw value of the rejecting ChartRejectionRule
    std::optional<ChartNormalizedRect> badgeRect;

    bool operator==(const ChartOCRCandidate&) const = default;

    ChartNormalizedRect rect() const { return {x, y, width, height}; }
};

nlohmann::json toJSON(const ChartOCRCandidate& candidate);
// Throws nlohmann::json::exception on a missing required key or a wrong type.
ChartOCRCandidate chartOCRCandidateFromJSON(const nlohmann::json& json);

}  // namespace halvex
