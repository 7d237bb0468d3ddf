#pragma once

#include <mutex>
#include <vector>

#include "core/capture/engine/CaptureStream.h"

namespace halvex {

// A scripted stream for engine tests: the test delivers samples and failures by hand.
class FakeCaptureStream : public CaptureStream {
public:
    FakeCaptureStream(CaptureStreamConfiguration streamConfiguration, CaptureStreamFactory::FrameHandler onFrame,
                      CaptureStreamFactory::StopHandler onStop, CaptureStreamFactory::Submit submit)
        : configuration(streamConfiguration), onFrame_(std::move(onFrame)), onStop_(std::move(onStop)), submit_(std::move(submit)) {}

    void start(Completion completion) override;
    void stop(Completion completion) override;
    void detach() override;

    // Hands a sample to the engine through its sample queue, as a real stream would (ignored after
    // detach or while not running).
    void deliver(SampleBuffer sample);
    // A complete BGRA frame of the configured size at `seconds` on a 600 timescale.
    void deliverFrame(double seconds, bool complete = true);
    // Reports that the stream stopped by itself.
    void failWith(std::exception_ptr error);

    const CaptureStreamConfiguration configuration;
    std::exception_ptr startError;  // start() fails with it when set
    std::exception_ptr stopError;   // stop() reports it when set
    int starts = 0;
    int stops = 0;
    bool running = false;
    bool detached = false;

private:
    std::mutex lock_;
    CaptureStreamFactory::FrameHandler onFrame_;
    CaptureStreamFactory::StopHandler onStop_;
    CaptureStreamFactory::Submit submit_;
};

// Makes FakeCaptureStreams and remembers them; can be told to fail.
class FakeCaptureStreamFactory : public CaptureStreamFactory {
public:
    std::shared_ptr<CaptureStream> makeStream(const ResolvedCaptureSource& source,
                                              const CaptureStreamConfiguration& configuration, FrameHandler onFrame,
                                              StopHandler onStop, Submit submitToSampleQueue) override;

    // The newest stream made, or null.
    std::shared_ptr<FakeCaptureStream> latest();
    std::size_t made();

    std::exception_ptr makeError;            // makeStream throws it when set
    std::exception_ptr nextStreamStartError;  // given to the next stream made

private:
    std::mutex lock_;
    std::vector<std::shared_ptr<FakeCaptureStream>> streams_;
};

}  // namespace halvex
