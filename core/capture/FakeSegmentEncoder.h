#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/SegmentEncoder.h"

namespace halvex {

// A SegmentEncoder that encodes nothing: the test decides when segment blocks come out and what
// they report, whether the input is ready, and how starting, appending and finishing end. Outputs
// and the finish completion run synchronously on the thread that calls `emit…` / `completeFinish`,
// standing in for the encoder's thread. For single-threaded tests and demos.
class FakeSegmentEncoder : public SegmentEncoder {
public:
    explicit FakeSegmentEncoder(SegmentEncoderSettings settings) : settings_(settings) {}

    // A factory that hands out `encoder` (once per call) and records the settings it was asked for.
    static SegmentEncoderFactory factoryReturning(std::shared_ptr<FakeSegmentEncoder> encoder);

    // --- scripting ---------------------------------------------------------------------------
    void setReady(bool ready) { ready_ = ready; }
    void failNextStart(std::exception_ptr error) { startFailure_ = std::move(error); }
    // Refuses every later append with `error` (null: accept again).
    void rejectAppends(std::exception_ptr error) { appendFailure_ = std::move(error); }
    // Puts the encoder into the failed state, as an encoding fault on its thread would.
    void fail(std::exception_ptr error);

    void emitInitialization(std::string bytes);
    // A media segment whose first track report has this duration and earliest presentation time
    // (both in seconds, at timescale 600).
    void emitMedia(std::string bytes, double durationSeconds, double earliestPresentationSeconds);
    // A media segment with an arbitrary report, or none.
    void emitMediaWithReport(std::string bytes, std::optional<SegmentReport> report);
    // Ends a pending finish: the status becomes `completed` or `failed` (with `error`), then the
    // stored completion runs. No-op when no finish is pending.
    void completeFinish(std::exception_ptr error = nullptr);

    // --- observations ------------------------------------------------------------------------
    const SegmentEncoderSettings& settings() const { return settings_; }
    int startCount() const { return startCount_; }
    const std::optional<MediaTime>& sessionStart() const { return sessionStart_; }
    const std::vector<SampleBuffer>& appendedSamples() const { return appended_; }
    int finishCount() const { return finishCount_; }
    int cancelCount() const { return cancelCount_; }
    bool finishPending() const { return static_cast<bool>(pendingCompletion_); }

    // --- SegmentEncoder ----------------------------------------------------------------------
    void setOutputHandler(OutputHandler handler) override { handler_ = std::move(handler); }
    bool startWriting(MediaTime sessionStart) override;
    SegmentEncoderStatus status() const override { return status_; }
    std::exception_ptr error() const override { return error_; }
    SegmentAppendResult tryAppend(const SampleBuffer& sample) override;
    void finishWriting(std::function<void()> completion) override;
    void cancelWriting() override;

private:
    void deliver(std::string bytes, SegmentType type, std::optional<SegmentReport> report);

    SegmentEncoderSettings settings_;
    OutputHandler handler_;
    SegmentEncoderStatus status_ = SegmentEncoderStatus::unknown;
    std::exception_ptr error_;
    std::exception_ptr startFailure_;
    std::exception_ptr appendFailure_;
    bool ready_ = true;
    int startCount_ = 0;
    int finishCount_ = 0;
    int cancelCount_ = 0;
    std::optional<MediaTime> sessionStart_;
    std::vector<SampleBuffer> appended_;
    std::function<void()> pendingCompletion_;
};

}  // namespace halvex
