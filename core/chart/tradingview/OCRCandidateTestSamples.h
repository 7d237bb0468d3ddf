#pragma once

// Recognised texts at chosen places, for the text layer's tests (header only: not in the library).

#include <optional>
#include <string>
#include <utility>

#include "core/chart/records/ChartOCRCandidate.h"

namespace halvex::testing {

// A candidate with its box normalised to the frame, origin at the bottom left.
inline ChartOCRCandidate ocrCandidate(const std::string& text, double x, double y, double width, double height,
                                      double confidence, std::optional<std::string> visualRole = std::nullopt) {
    ChartOCRCandidate candidate;
    candidate.text = text;
    candidate.confidence = confidence;
    candidate.x = x;
    candidate.y = y;
    candidate.width = width;
    candidate.height = height;
    candidate.visualRole = std::move(visualRole);
    return candidate;
}

}  // namespace halvex::testing
