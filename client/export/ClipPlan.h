#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/capture/TradeManifest.h"

namespace halvex::client {

// Why a manifest cannot become a clip; `what()` is the text the user reads.
class ClipExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Which bytes make a trade's clip and which stretch of wall-clock time it shows. Built from the
// manifest alone, so it is tested without FFmpeg.
struct ClipPlan {
    // The segments whose time touches the window, by `startedAt`; each begins with a key frame.
    std::vector<SegmentRecord> segments;
    // The clip shows [presentationStart, presentationEnd) in epoch seconds: the trade's window
    // clipped to what was recorded. Frames of the first segment before presentationStart are
    // kept for decoding and hidden with an edit list.
    double presentationStart = 0;
    double presentationEnd = 0;
    // The trade had not reached its `retainThrough` on disk (status "active" or "post-roll"):
    // the clip stops at the last recorded segment.
    bool endsEarly = false;

    bool operator==(const ClipPlan&) const = default;

    double durationSeconds() const { return presentationEnd - presentationStart; }
    // The initialization segments the media segments need, in first-use order, each once.
    std::vector<std::string> initializationPaths() const;
    // The segments grouped by the initialization segment they need, keeping their order.
    std::vector<std::vector<SegmentRecord>> runsByInitialization() const;
};

// Selects the segments and the time range of `manifest`'s clip. Throws ClipExportError when the
// manifest lists no segment inside its window, or segments of different sizes (one H.264 track
// cannot change size without re-encoding).
ClipPlan planClip(const TradeManifest& manifest);

// The files of `plan` (media and initialization segments) for which `exists` says no, in plan
// order, each once.
std::vector<std::string> missingFiles(const ClipPlan& plan, const std::function<bool(const std::string&)>& exists);

// Reads and decodes a manifest file with the project's decoder. Throws ClipExportError saying
// whether the file is unreadable, not JSON, or JSON that is not a trade manifest.
TradeManifest readTradeManifest(const std::string& path);

}  // namespace halvex::client
