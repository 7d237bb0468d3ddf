#include "core/capture/FakeSegmentEncoder.h"

#include <utility>

namespace halvex {

SegmentEncoderFactory FakeSegmentEncoder::factoryReturning(std::shared_ptr<FakeSegmentEncoder> encoder) {
    return [encoder](const SegmentEncoderSettings& settings) -> std::shared_ptr<SegmentEncoder> {
        encoder->settings_ = settings;
        return encoder;
    };
}

void FakeSegmentEncoder::fail(std::exception_ptr error) {
    status_ = SegmentEncoderStatus::failed;
    error_ = std::move(error);
}

void FakeSegmentEncoder::emitInitialization(std::string bytes) {
    deliver(std::move(bytes), SegmentType::initialization, std::nullopt);
}

void FakeSegmentEncoder::emitMedia(std::string bytes, double durationSeconds, double earliestPresentationSeconds) {
    SegmentReport report;
    report.trackReports.push_back({MediaTime::fromSeconds(durationSeconds, 600),
                                   MediaTime::fromSeconds(earliestPresentationSeconds, 600)});
    deliver(std::move(bytes), SegmentType::separable, std::move(report));
}

void FakeSegmentEncoder::emitMediaWithReport(std::string bytes, std::optional<SegmentReport> report) {
    deliver(std::move(bytes), SegmentType::separable, std::move(report));
}

void FakeSegmentEncoder::completeFinish(std::exception_ptr error) {
    if (!pendingCompletion_) return;
    status_ = error ? SegmentEncoderStatus::failed : SegmentEncoderStatus::completed;
    if (error) error_ = std::move(error);
    auto completion = std::exchange(pendingCompletion_, nullptr);
    completion();
}

bool FakeSegmentEncoder::startWriting(MediaTime sessionStart) {
    ++startCount_;
    if (startFailure_) {
        fail(std::exchange(startFailure_, nullptr));
        return false;
    }
    sessionStart_ = sessionStart;
    status_ = SegmentEncoderStatus::writing;
    return true;
}

SegmentAppendResult FakeSegmentEncoder::tryAppend(const SampleBuffer& sample) {
    if (appendFailure_) {
        error_ = appendFailure_;
        return SegmentAppendResult::rejected;
    }
    if (!ready_) return SegmentAppendResult::notReady;
    appended_.push_back(sample);
    return SegmentAppendResult::accepted;
}

void FakeSegmentEncoder::finishWriting(std::function<void()> completion) {
    ++finishCount_;
    pendingCompletion_ = std::move(completion);
}

void FakeSegmentEncoder::cancelWriting() {
    ++cancelCount_;
    status_ = SegmentEncoderStatus::cancelled;
    pendingCompletion_ = nullptr;
}

void FakeSegmentEncoder::deliver(std::string bytes, SegmentType type, std::optional<SegmentReport> report) {
    // A cancelled encoder delivers nothing, as the real one guarantees.
    if (status_ == SegmentEncoderStatus::cancelled || !handler_) return;
    handler_(std::move(bytes), type, std::move(report));
}

}  // namespace halvex
