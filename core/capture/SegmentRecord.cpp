#include "core/capture/SegmentRecord.h"

#include "core/support/StrictJSONFields.h"

namespace halvex {

nlohmann::json toJSON(const SegmentRecord& record) {
    return {{"id", record.id},
            {"path", record.path},
            {"initializationPath", record.initializationPath},
            {"startedAt", record.startedAt},
            {"endedAt", record.endedAt},
            {"durationSeconds", record.durationSeconds},
            {"width", record.width},
            {"height", record.height},
            {"codec", record.codec},
            {"byteCount", record.byteCount}};
}

SegmentRecord segmentRecordFromJSON(const nlohmann::json& json) {
    using namespace strictjson;
    SegmentRecord record;
    record.id = requiredString(json, "id");
    record.path = requiredString(json, "path");
    record.initializationPath = requiredString(json, "initializationPath");
    record.startedAt = requiredDouble(json, "startedAt");
    record.endedAt = requiredDouble(json, "endedAt");
    record.durationSeconds = requiredDouble(json, "durationSeconds");
    record.width = requiredInteger(json, "width");
    record.height = requiredInteger(json, "height");
    record.codec = requiredString(json, "codec");
    record.byteCount = requiredInteger(json, "byteCount");
    return record;
}

}  // namespace halvex
