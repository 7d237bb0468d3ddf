#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/capture/MediaTime.h"
#include "core/capture/SampleBuffer.h"
#include "core/capture/SegmentEncoder.h"
#include "core/capture/SegmentRecord.h"

namespace halvex {

// Turns a stream of BGRA frames into one initialization segment ("init-%03d.mp4") and a run of
// media segments ("%03d-%06d.m4s") in one directory, reporting each media segment as a
// SegmentRecord whose wall-clock times are laid end to end from the first frame's epoch time.
//
// Threads: `append`, `finish` and `cancel` are called on the owner's serial queue, which is also
// the callback queue; the writer has no lock. Encoder outputs and the finish completion hop onto
// the callback queue before touching the writer, so `onSegment`, `onFailure` and the finish
// completion always run there (except the immediate completion of a writer that never started,
// which runs on the caller's thread).
class SegmentedCaptureWriter : public std::enable_shared_from_this<SegmentedCaptureWriter> {
public:
    struct Configuration {
        std::string directory;       // the engine's segment directory
        std::int64_t width = 0;      // encoded size in pixels
        std::int64_t height = 0;
        std::int64_t fps = 0;        // the capture frame rate
        double segmentSeconds = 0;   // target segment length
        std::int64_t epoch = 0;      // the writer's number, unique within an engine

        bool operator==(const Configuration&) const = default;
    };

    // Runs a task later, in submission order, on one serial queue; the engine passes a function
    // that submits to its sample queue. Must be callable from any thread.
    using CallbackQueue = std::function<void(std::function<void()>)>;
    using SegmentHandler = std::function<void(const SegmentRecord&)>;
    using FailureHandler = std::function<void(const std::string&)>;

    // Sets everything up without writing a file: makes the encoder through `encoderFactory` (its
    // HalvexNativeError::writerFailed passes through) and creates `directory` with its parents
    // (a PlatformError in the "POSIX" domain when that fails).
    static std::shared_ptr<SegmentedCaptureWriter> create(Configuration configuration, CallbackQueue callbackQueue,
                                                          SegmentHandler onSegment, FailureHandler onFailure,
                                                          const SegmentEncoderFactory& encoderFactory);

    ~SegmentedCaptureWriter();
    SegmentedCaptureWriter(const SegmentedCaptureWriter&) = delete;
    SegmentedCaptureWriter& operator=(const SegmentedCaptureWriter&) = delete;

    static std::string initializationFileName(std::int64_t epoch);
    // The media segment's `id`: its file name without ".m4s".
    static std::string mediaSegmentID(std::int64_t epoch, std::int64_t sequence);
    static std::string mediaSegmentFileName(std::int64_t epoch, std::int64_t sequence);
    // 4 bits per pixel per second, at least 2 Mbit/s and at most 12 Mbit/s.
    static std::int64_t averageBitRate(std::int64_t width, std::int64_t height);
    static SegmentEncoderSettings encoderSettings(const Configuration& configuration);

    // Offers one frame with its epoch time. True when the encoder took it; false after the writer
    // finished, for a presentation time that is not a number, and when the encoder's input is full
    // (counted in `droppedFrameCount`; nothing waits). Throws HalvexNativeError::writerFailed when
    // the encoder cannot start, is no longer writing, or refuses the frame.
    bool append(const SampleBuffer& sample, double epochNow);

    // Finishes the output; every remaining segment is delivered before `completion`, which is
    // called exactly once (after "Finalizing the capture stream failed: …" when finishing failed).
    void finish(std::function<void()> completion);

    // Abandons the output: the segment being filled is lost, and no completion or segment follows.
    void cancel();

    const Configuration& configuration() const { return configuration_; }
    std::int64_t epoch() const { return configuration_.epoch; }
    const std::string& initializationPath() const { return initializationPath_; }
    bool initializationWritten() const { return initializationWritten_; }
    std::int64_t appendedFrameCount() const { return appendedFrameCount_; }
    std::int64_t droppedFrameCount() const { return droppedFrameCount_; }
    std::optional<double> lastFrameEpoch() const { return lastFrameEpoch_; }
    std::optional<MediaTime> lastFramePTS() const { return lastFramePTS_; }
    bool isFinished() const { return finished_; }

private:
    SegmentedCaptureWriter(Configuration configuration, CallbackQueue callbackQueue, SegmentHandler onSegment,
                           FailureHandler onFailure);

    void handleSegment(std::string bytes, SegmentType type, const std::optional<SegmentReport>& report);
    void reportFailure(const std::string& message) const;

    Configuration configuration_;
    std::shared_ptr<SegmentEncoder> encoder_;
    SegmentHandler onSegment_;
    FailureHandler onFailure_;
    CallbackQueue callbackQueue_;
    std::string initializationPath_;
    bool initializationWritten_ = false;
    std::int64_t sequence_ = 0;
    double accumulatedSeconds_ = 0;
    std::optional<double> firstReportedStart_;
    bool started_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    std::optional<MediaTime> firstPTS_;
    std::optional<double> firstEpoch_;
    std::int64_t appendedFrameCount_ = 0;
    std::int64_t droppedFrameCount_ = 0;
    std::optional<double> lastFrameEpoch_;
    std::optional<MediaTime> lastFramePTS_;
};

}  // namespace halvex
