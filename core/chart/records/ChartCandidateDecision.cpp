#include "core/chart/records/ChartCandidateDecision.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;

ChartCandidateDecision ChartCandidateDecision::selected(std::string text, std::optional<std::string> visualRole,
                                                        std::optional<ChartPane> pane) {
    return {std::move(text), true, std::nullopt, std::nullopt, std::move(visualRole), pane};
}

ChartCandidateDecision ChartCandidateDecision::rejected(std::string text, ChartRejectionRule rule,
                                                        std::optional<std::string> detail,
                                                        std::optional<std::string> visualRole,
                                                        std::optional<ChartPane> pane) {
    return {std::move(text), false, rawValue(rule), detail ? std::move(detail) : explanation(rule),
            std::move(visualRole), pane};
}

std::string ChartCandidateDecision::logLine() const {
    std::string line = accepted ? "selected" : "rejected(" + rejectionReason.value_or("unknown") + ")";
    if (visualRole) line += " [" + *visualRole + "]";
    if (pane) line += " {" + pane->label() + "}";
    line += ": " + text;
    return line;
}

nlohmann::json toJSON(const ChartCandidateDecision& d) {
    nlohmann::json json = {{"text", d.text}, {"accepted", d.accepted}};
    halvexSetOptional(json, "rejectionReason", d.rejectionReason);
    halvexSetOptional(json, "detail", d.detail);
    halvexSetOptional(json, "visualRole", d.visualRole);
    setOptionalRecord(json, "pane", d.pane);
    return json;
}

ChartCandidateDecision chartCandidateDecisionFromJSON(const nlohmann::json& json) {
    return {requiredString(json, "text"),          requiredBool(json, "accepted"),
            optionalString(json, "rejectionReason"), optionalString(json, "detail"),
            optionalString(json, "visualRole"),    optionalRecord(json, "pane", chartPaneFromJSON)};
}

}  // namespace halvex
