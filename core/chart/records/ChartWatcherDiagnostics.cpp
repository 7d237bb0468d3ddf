#include "core/chart/records/ChartWatcherDiagnostics.h"

#include "core/support/StrictJSONFields.h"

namespace halvex {

using namespace strictjson;

nlohmann::json toJSON(const ChartWatcherDiagnostics& d) {
    return {{"detectorVersion", d.detectorVersion},
            {"status", toJSON(d.status)},
            {"requirements", d.requirements},
            {"limitations", d.limitations}};
}

ChartWatcherDiagnostics chartWatcherDiagnosticsFromJSON(const nlohmann::json& json) {
    return {requiredString(json, "detectorVersion"), requiredRecord(json, "status", chartWatcherStatusFromJSON),
            requiredStrings(json, "requirements"), requiredStrings(json, "limitations")};
}

}  // namespace halvex
