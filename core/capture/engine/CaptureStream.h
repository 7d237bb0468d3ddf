#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "core/capture/PixelBuffer.h"
#include "core/capture/SampleBuffer.h"
#include "core/sources/ResolvedCaptureSource.h"

namespace halvex {

// How a capture stream is set up for one source.
struct CaptureStreamConfiguration {
    std::int64_t width = 0;   // output size in pixels; frames of another source size are scaled to fit
    std::int64_t height = 0;
    std::int64_t fps = 30;    // minimum frame interval is 1/fps seconds
    std::int64_t queueDepth = 3;  // frames that may be in flight (pixel buffers in the pool)
    std::uint32_t pixelFormat = PixelFormat::bgra;
    bool showsCursor = true;

    bool operator==(const CaptureStreamConfiguration&) const = default;

    // A 160 MiB budget for queued BGRA frames, clamped to 3…6 frames.
    static std::int64_t queueDepthFor(std::int64_t width, std::int64_t height);
};

// One platform capture stream. Frames and the stop-with-error report go to the handlers given to
// the factory, until detach().
class CaptureStream {
public:
    using Completion = std::function<void(std::exception_ptr error)>;

    virtual ~CaptureStream() = default;

    // Begins capturing; `completion` runs once, on any thread, with null on success or the reason
    // the stream could not start.
    virtual void start(Completion completion) = 0;
    // Stops capturing; `completion` runs once, on any thread, with null or the stop failure. No
    // frame is delivered after the completion.
    virtual void stop(Completion completion) = 0;
    // Stops delivering to the handlers (frames and the stop report); safe to call more than once.
    virtual void detach() = 0;
};

// Makes streams; the engine's seam to the platform.
class CaptureStreamFactory {
public:
    // Called for each complete or incomplete sample, always through `submitToSampleQueue`.
    using FrameHandler = std::function<void(const SampleBuffer& sample)>;
    // Called once, on any thread, when the stream stops by itself (window destroyed, connection
    // broken); not called for a stop the owner asked for.
    using StopHandler = std::function<void(std::exception_ptr error)>;
    using Submit = std::function<void(std::function<void()>)>;

    virtual ~CaptureStreamFactory() = default;

    // A stream for `source`, not yet started. Throws the platform's error when it cannot be made.
    virtual std::shared_ptr<CaptureStream> makeStream(const ResolvedCaptureSource& source,
                                                      const CaptureStreamConfiguration& configuration,
                                                      FrameHandler onFrame, StopHandler onStop,
                                                      Submit submitToSampleQueue) = 0;
};

}  // namespace halvex
