#pragma once

#include <memory>

#include "core/capture/engine/CaptureStream.h"
#include "core/capture/x11/X11CaptureStream.h"

namespace halvex::x11 {

// Makes X11CaptureStreams: the engine's capture seam on X11. Each stream opens its own connection
// when it starts.
class X11CaptureStreamFactory : public CaptureStreamFactory {
public:
    explicit X11CaptureStreamFactory(X11CaptureStreamOptions options = {}) : options_(std::move(options)) {}

    // A stream for `source`, not yet started. Throws PlatformError ("X11") when the source names no
    // window or no display area; whether the window or display is really there is checked by
    // start().
    std::shared_ptr<CaptureStream> makeStream(const ResolvedCaptureSource& source,
                                              const CaptureStreamConfiguration& configuration, FrameHandler onFrame,
                                              StopHandler onStop, Submit submitToSampleQueue) override;

    const X11CaptureStreamOptions& options() const { return options_; }

private:
    X11CaptureStreamOptions options_;
};

}  // namespace halvex::x11
