#include "core/chart/records/ChartWatcherStatus.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;


ChartWatcherStatus ChartWatcherStatus::stopped(std::optional<std::string> sourceId,
                                               std::optional<std::string> sourceAppName, bool sourceEligible,
                                               const ChartWatcherConfiguration& configuration,
                                               std::optional<std::string> message) {
    ChartWatcherStatus status;
    status.phase = phaseStopped;
    status.supported = true;
    status.sourceEligible = sourceEligible;
    status.sourceId = std::move(sourceId);
    status.sourceAppName = std::move(sourceAppName);
    status.scanIntervalMilliseconds = configuration.scanIntervalMilliseconds;
    status.openConfirmations = configuration.openConfirmations;
    status.changeConfirmations = configuration.changeConfirmations;
    status.closeConfirmations = configuration.closeConfirmations;
    status.message = std::move(message);
    status.platform = configuration.platform;
    status.resolvedPlatform = fixedPlatform(configuration.platform);
    return status;
}

nlohmann::json toJSON(const ChartWatcherStatus& s) {
    nlohmann::json json = nlohmann::json::object();
    json["phase"] = s.phase;
    json["supported"] = s.supported;
    json["sourceEligible"] = s.sourceEligible;
    halvexSetOptional(json, "sourceId", s.sourceId);
    halvexSetOptional(json, "sourceAppName", s.sourceAppName);
    json["scanIntervalMilliseconds"] = s.scanIntervalMilliseconds;
    json["openConfirmations"] = s.openConfirmations;
    json["changeConfirmations"] = s.changeConfirmations;
    json["closeConfirmations"] = s.closeConfirmations;
    json["scansCompleted"] = s.scansCompleted;
    json["positiveScans"] = s.positiveScans;
    json["ocrErrors"] = s.ocrErrors;
    json["consecutivePresent"] = s.consecutivePresent;
    json["consecutiveAbsent"] = s.consecutiveAbsent;
    json["heldAbsentScans"] = s.heldAbsentScans;
    json["positionLineHeld"] = s.positionLineHeld;
    json["viewportMoving"] = s.viewportMoving;
    halvexSetOptional(json, "viewportShift", s.viewportShift);
    json["positionOpen"] = s.positionOpen;
    halvexSetOptional(json, "currentPosition", s.currentPosition);
    halvexSetOptional(json, "lastScanAt", s.lastScanAt);
    halvexSetOptional(json, "lastMatchAt", s.lastMatchAt);
    halvexSetOptional(json, "lastScanDurationMilliseconds", s.lastScanDurationMilliseconds);
    setOptionalRecord(json, "lastObservation", s.lastObservation);
    halvexSetOptional(json, "message", s.message);
    json["platform"] = rawValue(s.platform);
    if (s.resolvedPlatform) json["resolvedPlatform"] = rawValue(*s.resolvedPlatform);
    return json;
}

ChartWatcherStatus chartWatcherStatusFromJSON(const nlohmann::json& json) {
    ChartWatcherStatus s;
    s.phase = requiredString(json, "phase");
    s.supported = requiredBool(json, "supported");
    s.sourceEligible = requiredBool(json, "sourceEligible");
    s.sourceId = optionalString(json, "sourceId");
    s.sourceAppName = optionalString(json, "sourceAppName");
    s.scanIntervalMilliseconds = requiredInteger(json, "scanIntervalMilliseconds");
    s.openConfirmations = requiredInteger(json, "openConfirmations");
    s.changeConfirmations = requiredInteger(json, "changeConfirmations");
    s.closeConfirmations = requiredInteger(json, "closeConfirmations");
    s.scansCompleted = requiredInteger(json, "scansCompleted");
    s.positiveScans = requiredInteger(json, "positiveScans");
    s.ocrErrors = requiredInteger(json, "ocrErrors");
    s.consecutivePresent = requiredInteger(json, "consecutivePresent");
    s.consecutiveAbsent = requiredInteger(json, "consecutiveAbsent");
    s.heldAbsentScans = requiredInteger(json, "heldAbsentScans");
    s.positionLineHeld = requiredBool(json, "positionLineHeld");
    s.viewportMoving = requiredBool(json, "viewportMoving");
    s.viewportShift = optionalDouble(json, "viewportShift");
    s.positionOpen = requiredBool(json, "positionOpen");
    s.currentPosition = optionalDouble(json, "currentPosition");
    s.lastScanAt = optionalDouble(json, "lastScanAt");
    s.lastMatchAt = optionalDouble(json, "lastMatchAt");
    s.lastScanDurationMilliseconds = optionalDouble(json, "lastScanDurationMilliseconds");
    s.lastObservation = optionalRecord(json, "lastObservation", chartTradeObservationFromJSON);
    s.message = optionalString(json, "message");
    s.platform = requiredEnum(json, "platform", parseChartPlatformSetting);
    s.resolvedPlatform = optionalEnum(json, "resolvedPlatform", parseChartPlatform);
    return s;
}

}  // namespace halvex
