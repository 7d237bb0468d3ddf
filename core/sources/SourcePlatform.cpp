#include "core/sources/SourcePlatform.h"

namespace halvex {

ShareableContent FakeSourcePlatform::shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly) {
    ++contentCalls;
    lastExcludeDesktopWindows = excludeDesktopWindows;
    lastOnScreenWindowsOnly = onScreenWindowsOnly;
    if (contentError) std::rethrow_exception(contentError);
    if (!onScreenWindowsOnly && allContent) return *allContent;
    return onScreenContent;
}

std::optional<ShareableApplication> FakeSourcePlatform::runningApplication(std::int32_t processId) {
    const auto found = applications.find(processId);
    if (found == applications.end()) return std::nullopt;
    return found->second;
}

std::shared_ptr<PixelBuffer> FakeSourcePlatform::captureImage(const CaptureContentFilter& filter, int width,
                                                             int height) {
    lastCaptureFilter = filter;
    lastCaptureWidth = width;
    lastCaptureHeight = height;
    if (captureError) std::rethrow_exception(captureError);
    return PixelBuffer::create(width, height);
}

std::vector<std::uint8_t> FakeSourcePlatform::encodeJPEG(const PixelBuffer&, double quality) {
    lastQuality = quality;
    return jpeg;
}

}  // namespace halvex
