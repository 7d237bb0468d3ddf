#include "core/chart/records/ChartOCRCandidate.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;

nlohmann::json toJSON(const ChartOCRCandidate& candidate) {
    nlohmann::json json = {{"text", candidate.text},   {"confidence", candidate.confidence},
                           {"x", candidate.x},         {"y", candidate.y},
                           {"width", candidate.width}, {"height", candidate.height}};
    halvexSetOptional(json, "visualRole", candidate.visualRole);
    halvexSetOptional(json, "quantityHint", candidate.quantityHint);
    halvexSetOptional(json, "rejectionReason", candidate.rejectionReason);
    setOptionalRecord(json, "badgeRect", candidate.badgeRect);
    return json;
}

ChartOCRCandidate chartOCRCandidateFromJSON(const nlohmann::json& json) {
    ChartOCRCandidate candidate;
    candidate.text = requiredString(json, "text");
    candidate.confidence = requiredDouble(json, "confidence");
    candidate.x = requiredDouble(json, "x");
    candidate.y = requiredDouble(json, "y");
    candidate.width = requiredDouble(json, "width");
    candidate.height = requiredDouble(json, "height");
    candidate.visualRole = optionalString(json, "visualRole");
    candidate.quantityHint = optionalDouble(json, "quantityHint");
    candidate.rejectionReason = optionalString(json, "rejectionReason");
    candidate.badgeRect = optionalRecord(json, "badgeRect", chartNormalizedRectFromJSON);
    return candidate;
}

}  // namespace halvex
