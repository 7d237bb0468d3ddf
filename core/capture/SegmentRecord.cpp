#include "core/capture/SegmentRecord.h"

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
    SegmentRecord record;
    record.id = json.at("id").get<std::string>();
    record.path = json.at("path").get<std::string>();
    record.initializationPath = json.at("initializationPath").get<std::string>();
    record.startedAt = json.at("startedAt").get<double>();
    record.endedAt = json.at("endedAt").get<double>();
    record.durationSeconds = json.at("durationSeconds").get<double>();
    record.width = json.at("width").get<std::int64_t>();
    record.height = json.at("height").get<std::int64_t>();
    record.codec = json.at("codec").get<std::string>();
    record.byteCount = json.at("byteCount").get<std::int64_t>();
    return record;
}

}  // namespace halvex
