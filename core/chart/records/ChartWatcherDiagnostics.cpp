#include "core/chart/records/ChartWatcherDiagnostics.h"

#include "core/chart/records/ChartJSONFields.h"

namespace halvex {

using namespace chartjson;

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
