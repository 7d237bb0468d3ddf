#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/imaging/BGRAScaler.h"
#include "core/sources/SourcePlatform.h"
#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11ImageReader.h"

namespace halvex::x11 {

// The source catalog's display server on X11: RandR monitors as displays, the window manager's
// clients as windows, MIT-SHM or GetImage for pixels, Composite for covered windows. One X
// connection is kept open (so Composite redirection lasts) and opened again when it breaks; calls
// are serialised by a lock.
class X11SourcePlatform : public SourcePlatform {
public:
    // `displayName` empty: DISPLAY, read when the first call connects.
    static std::shared_ptr<X11SourcePlatform> create(std::string displayName = {});

    ShareableContent shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly) override;
    std::optional<WindowMetadata> windowMetadata() override;
    std::optional<ShareableApplication> runningApplication(std::int32_t processId) override;
    std::optional<std::int32_t> frontmostProcessId() override;
    bool screenCapturePreflight() override;
    // Always 1: X11 coordinates are pixels.
    double pixelScale(const CaptureContentFilter& filter) override;
    std::shared_ptr<PixelBuffer> captureImage(const CaptureContentFilter& filter, int width, int height) override;
    std::vector<std::uint8_t> encodeJPEG(const PixelBuffer& image, double quality) override;

    // Whether the server keeps covered windows' own pixels (Composite present and redirected).
    // Connects when needed; false without a display.
    bool readsCoveredWindows();

private:
    explicit X11SourcePlatform(std::string displayName) : displayName_(std::move(displayName)) {}
    // The live connection, opened again after a failure. Throws PlatformError. Call with lock_ held.
    X11Connection& connection();
    bool preflightLocked();

    std::string displayName_;
    std::mutex lock_;
    std::unique_ptr<X11Connection> connection_;
    X11ImageReader reader_;
    BGRAScaler scaler_;
    // Owners seen in the last listing, for runningApplication.
    std::map<std::int32_t, ShareableApplication> applications_;
};

}  // namespace halvex::x11
