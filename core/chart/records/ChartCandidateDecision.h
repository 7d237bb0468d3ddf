#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/chart/records/ChartGeometry.h"
#include "core/chart/records/ChartRejectionRule.h"

namespace halvex {

// A reader's verdict on one text or joined row: selected as the position label, or rejected.
struct ChartCandidateDecision {
    std::string text;
    bool accepted = false;
    std::optional<std::string> rejectionReason;  // rule raw value; absent when selected or outranked
    std::optional<std::string> detail;           // measured value, or the rule's explanation
    std::optional<std::string> visualRole;
    std::optional<ChartPane> pane;               // only in multi-pane layouts

    bool operator==(const ChartCandidateDecision&) const = default;

    static ChartCandidateDecision selected(std::string text, std::optional<std::string> visualRole,
                                           std::optional<ChartPane> pane);
    // A rejection by `rule`; without a specific detail the rule's explanation is kept as the detail.
    static ChartCandidateDecision rejected(std::string text, ChartRejectionRule rule,
                                           std::optional<std::string> detail, std::optional<std::string> visualRole,
                                           std::optional<ChartPane> pane);

    // «selected [role] {pane 1/2}: text» or «rejected(reason) [role]: text»; the detail is left out.
    std::string logLine() const;
};

nlohmann::json toJSON(const ChartCandidateDecision& decision);
// Throws nlohmann::json::exception on a missing required key or a wrong type.
ChartCandidateDecision chartCandidateDecisionFromJSON(const nlohmann::json& json);

}  // namespace halvex
