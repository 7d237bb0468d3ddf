#include "core/capture/x11/X11CaptureStreamFactory.h"

#include "core/support/PlatformError.h"

namespace halvex::x11 {

std::shared_ptr<CaptureStream> X11CaptureStreamFactory::makeStream(const ResolvedCaptureSource& source,
                                                                   const CaptureStreamConfiguration& configuration,
                                                                   FrameHandler onFrame, StopHandler onStop,
                                                                   Submit submitToSampleQueue) {
    const auto& filter = source.filter;
    if (filter.kind == CaptureContentFilter::Kind::window && filter.windowId == 0) {
        throw PlatformError("X11", 0, "The capture source names no window.").withField("sourceId", source.source.id);
    }
    if (filter.kind == CaptureContentFilter::Kind::display && (filter.frame.width < 1 || filter.frame.height < 1)) {
        throw PlatformError("X11", 0, "The capture source names no display area.").withField("sourceId", source.source.id);
    }
    if (!onFrame || !submitToSampleQueue) {
        throw PlatformError("X11", 0, "A capture stream needs a frame handler and a sample queue.");
    }
    return std::make_shared<X11CaptureStream>(options_, source, configuration, std::move(onFrame), std::move(onStop),
                                              std::move(submitToSampleQueue));
}

}  // namespace halvex::x11
