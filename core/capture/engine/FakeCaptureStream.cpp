#include "core/capture/engine/FakeCaptureStream.h"

namespace halvex {

void FakeCaptureStream::start(Completion completion) {
    std::exception_ptr error;
    {
        std::lock_guard guard(lock_);
        ++starts;
        error = startError;
        running = !error;
    }
    completion(error);
}

void FakeCaptureStream::stop(Completion completion) {
    std::exception_ptr error;
    {
        std::lock_guard guard(lock_);
        ++stops;
        running = false;
        error = stopError;
    }
    completion(error);
}

void FakeCaptureStream::detach() {
    std::lock_guard guard(lock_);
    detached = true;
}

void FakeCaptureStream::deliver(SampleBuffer sample) {
    CaptureStreamFactory::FrameHandler handler;
    {
        std::lock_guard guard(lock_);
        if (detached || !running) return;
        handler = onFrame_;
    }
    submit_([handler, sample = std::move(sample)] { handler(sample); });
}

void FakeCaptureStream::deliverFrame(double seconds, bool complete) {
    SampleBuffer sample;
    sample.pixelBuffer = PixelBuffer::create(static_cast<int>(configuration.width), static_cast<int>(configuration.height));
    sample.presentationTime = MediaTime::fromSeconds(seconds, 600);
    sample.isComplete = complete;
    deliver(std::move(sample));
}

void FakeCaptureStream::failWith(std::exception_ptr error) {
    CaptureStreamFactory::StopHandler handler;
    {
        std::lock_guard guard(lock_);
        if (detached) return;
        running = false;
        handler = onStop_;
    }
    handler(error);
}

std::shared_ptr<CaptureStream> FakeCaptureStreamFactory::makeStream(const ResolvedCaptureSource&,
                                                                    const CaptureStreamConfiguration& configuration,
                                                                    FrameHandler onFrame, StopHandler onStop,
                                                                    Submit submitToSampleQueue) {
    std::lock_guard guard(lock_);
    if (makeError) std::rethrow_exception(makeError);
    auto stream = std::make_shared<FakeCaptureStream>(configuration, std::move(onFrame), std::move(onStop),
                                                      std::move(submitToSampleQueue));
    stream->startError = nextStreamStartError;
    nextStreamStartError = nullptr;
    streams_.push_back(stream);
    return stream;
}

std::shared_ptr<FakeCaptureStream> FakeCaptureStreamFactory::latest() {
    std::lock_guard guard(lock_);
    return streams_.empty() ? nullptr : streams_.back();
}

std::size_t FakeCaptureStreamFactory::made() {
    std::lock_guard guard(lock_);
    return streams_.size();
}

}  // namespace halvex
