#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/MediaTime.h"
#include "core/capture/SampleBuffer.h"

namespace halvex {

// What the writer asks of an encoder: H.264 of this size at this average bit rate, cut into
// fragmented-MP4 media segments of about `segmentSeconds`, each starting with a key frame.
struct SegmentEncoderSettings {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t averageBitRate = 0;  // bits per second
    std::int64_t fps = 0;             // the capture's nominal rate; a hint for rate control only
    double segmentSeconds = 0;        // target segment length and maximum key-frame interval

    bool operator==(const SegmentEncoderSettings&) const = default;
};

// A block of container bytes handed out by the encoder.
enum class SegmentType {
    initialization,  // ftyp + moov: needed once before any media segment
    separable,       // moof + mdat: one media segment, starting with a key frame
};

// Timing of one track within a media segment, on the encoder's media timeline (which starts at the
// session start given to `startWriting`).
struct SegmentTrackReport {
    MediaTime duration;
    MediaTime earliestPresentationTimeStamp;

    bool operator==(const SegmentTrackReport&) const = default;
};

struct SegmentReport {
    std::vector<SegmentTrackReport> trackReports;  // the video track first

    bool operator==(const SegmentReport&) const = default;
};

// Encoder states; the numbers are the ones failure texts show ("writer status {n}: …").
enum class SegmentEncoderStatus : int { unknown = 0, writing = 1, completed = 2, failed = 3, cancelled = 4 };

enum class SegmentAppendResult {
    accepted,  // taken; it will be encoded
    notReady,  // the input is full right now; the sample was not taken (the caller counts a drop)
    rejected,  // the sample can never be encoded (see `error()`); the encoder keeps running
};

// The failure texts an encoder throws from its factory, as HalvexNativeError::writerFailed.
namespace SegmentEncoderMessage {
inline constexpr const char* contentTypeUnavailable = "The MPEG-4 content type is unavailable.";
inline constexpr const char* videoInputRejected = "AVAssetWriter rejected its H.264 video input.";
}  // namespace SegmentEncoderMessage

// The platform seam of SegmentedCaptureWriter: turns samples into an initialization segment and a
// stream of media segments. All methods are called from one thread at a time (the writer's queue);
// outputs and the finish completion arrive on the encoder's own thread.
class SegmentEncoder {
public:
    // Receives one block of bytes with its type and, for media segments, its timing report. Called
    // on the encoder's thread, in output order, never after `cancel()` returns. It must not block
    // or call back into the encoder.
    using OutputHandler =
        std::function<void(std::string bytes, SegmentType type, std::optional<SegmentReport> report)>;

    virtual ~SegmentEncoder() = default;

    // Where outputs go; set once, before `startWriting`.
    virtual void setOutputHandler(OutputHandler handler) = 0;

    // Starts the output with its media timeline at `sessionStart` (the first sample's time).
    // False on failure, with `error()` set and the status `failed`.
    virtual bool startWriting(MediaTime sessionStart) = 0;

    // `writing` between a successful start and the end; `failed` (with `error()`) as soon as an
    // encoding or muxing step fails on the encoder's thread.
    virtual SegmentEncoderStatus status() const = 0;

    // Why the last operation or the encoder's thread failed; null when nothing failed.
    virtual std::exception_ptr error() const = 0;

    // Offers one sample without waiting: the encoder keeps a reference to its pixels until it has
    // converted them. Only while `writing`.
    virtual SegmentAppendResult tryAppend(const SampleBuffer& sample) = 0;

    // Encodes what was taken, delivers the remaining segments through the output handler, then
    // calls `completion` once on the encoder's thread with the status settled (`completed` or
    // `failed`). Later appends are refused.
    virtual void finishWriting(std::function<void()> completion) = 0;

    // Abandons the output: returns once no output will be delivered any more; the status becomes
    // `cancelled` and a pending finish completion is never called.
    virtual void cancelWriting() = 0;
};

// Makes an encoder for one writer. Throws HalvexNativeError::writerFailed with a
// SegmentEncoderMessage when the container or the codec is unusable.
using SegmentEncoderFactory = std::function<std::shared_ptr<SegmentEncoder>(const SegmentEncoderSettings&)>;

}  // namespace halvex
