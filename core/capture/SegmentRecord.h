#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace halvex {

// The only codec the writer produces.
inline constexpr const char* segmentCodecH264 = "h264";

// One finished media segment on disk, as the index keeps it and the manifests list it.
struct SegmentRecord {
    std::string id;                  // "%03d-%06d" of writer epoch and sequence
    std::string path;                // absolute path of the .m4s file
    std::string initializationPath;  // absolute path of the init segment it needs
    double startedAt = 0;            // epoch seconds of its first frame
    double endedAt = 0;              // epoch seconds of its end
    double durationSeconds = 0;      // endedAt - startedAt
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::string codec = segmentCodecH264;
    std::int64_t byteCount = 0;

    bool operator==(const SegmentRecord&) const = default;

    // Whether the segment touches the window [start, end]; both bounds inclusive, an absent end
    // leaves the window open towards the future.
    bool overlaps(double start, std::optional<double> end) const {
        return start <= endedAt && (!end || *end >= startedAt);
    }
};

nlohmann::json toJSON(const SegmentRecord& record);
// Throws nlohmann::json::exception when a key is missing or a value has the wrong JSON type.
SegmentRecord segmentRecordFromJSON(const nlohmann::json& json);

}  // namespace halvex
