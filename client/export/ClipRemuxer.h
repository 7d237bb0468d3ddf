#pragma once

#include <cstdint>
#include <string>

#include "client/export/ClipPlan.h"

namespace halvex::client {

// What a remux wrote.
struct ClipRemuxResult {
    double durationSeconds = 0;  // shown duration of the clip
    std::int64_t frameCount = 0;  // video samples written, hidden leading ones included
    std::int64_t byteCount = 0;   // size of the file

    bool operator==(const ClipRemuxResult&) const = default;
};

// The platform seam of the exporter: joins a plan's segments into one ordinary MP4 without
// re-encoding.
class ClipRemuxer {
public:
    virtual ~ClipRemuxer() = default;

    // Writes `outputPath` (replacing it only once complete) from the files of `plan`, whose files
    // all exist. Returns what it wrote; throws ClipExportError when the segments cannot be read or
    // joined, or the file cannot be written; a failed remux leaves no output file behind.
    virtual ClipRemuxResult remux(const ClipPlan& plan, const std::string& outputPath) = 0;
};

// Records the plans it is given and answers a scripted result, for tests of the exporter.
class FakeClipRemuxer : public ClipRemuxer {
public:
    ClipRemuxResult remux(const ClipPlan& plan, const std::string& outputPath) override;

    ClipRemuxResult scriptedResult;
    std::vector<ClipPlan> plans;
    std::vector<std::string> outputPaths;
};

}  // namespace halvex::client
