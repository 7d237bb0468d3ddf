#include "core/chart/records/ChartImageAnalysisResult.h"

#include "core/support/StrictJSONFields.h"

namespace halvex {

using namespace strictjson;

nlohmann::json toJSON(const ChartImageAnalysisResult& r) {
    return {{"detectorVersion", r.detectorVersion},
            {"observation", toJSON(r.observation)},
            {"candidates", arrayJSON(r.candidates)},
            {"requirements", r.requirements}};
}

ChartImageAnalysisResult chartImageAnalysisResultFromJSON(const nlohmann::json& json) {
    return {requiredString(json, "detectorVersion"),
            requiredRecord(json, "observation", chartTradeObservationFromJSON),
            requiredArray(json, "candidates", chartOCRCandidateFromJSON), requiredStrings(json, "requirements")};
}

}  // namespace halvex
