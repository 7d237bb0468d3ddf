#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/PixelBuffer.h"
#include "core/sources/ResolvedCaptureSource.h"

namespace halvex {

// The application that owns a window, as the display server and the process table know it.
struct ShareableApplication {
    std::string bundleIdentifier;  // reverse-DNS application id, "" when unknown
    std::string applicationName;
    std::optional<std::int32_t> processId;

    bool operator==(const ShareableApplication&) const = default;
};

struct ShareableDisplay {
    std::uint32_t displayId = 0;
    SourceRect frame;
    std::int64_t width = 0;   // points
    std::int64_t height = 0;  // points
    std::optional<std::string> name;  // the monitor's own name, when it has one

    bool operator==(const ShareableDisplay&) const = default;
};

struct ShareableWindow {
    std::uint32_t windowId = 0;
    SourceRect frame;
    // 0 for ordinary application windows; anything else is chrome, a panel, a menu or a popup.
    int layer = 0;
    std::optional<std::string> title;
    bool isOnScreen = false;
    std::optional<ShareableApplication> owner;

    bool operator==(const ShareableWindow&) const = default;
};

// Everything the capture-capable listing sees: displays in the platform's order, windows front to back.
struct ShareableContent {
    std::vector<ShareableDisplay> displays;
    std::vector<ShareableWindow> windows;
    std::vector<ShareableApplication> applications;

    bool operator==(const ShareableContent&) const = default;
};

// The metadata-only listing used when pixels cannot be read.
struct MetadataDisplay {
    std::uint32_t displayId = 0;
    SourceRect bounds;
    std::int64_t pixelsWide = 0;
    std::int64_t pixelsHigh = 0;
    std::optional<std::string> name;

    bool operator==(const MetadataDisplay&) const = default;
};

struct MetadataWindow {
    std::optional<int> layer;
    std::optional<std::uint32_t> number;
    std::optional<std::string> ownerName;
    std::optional<SourceRect> bounds;
    std::optional<std::int32_t> ownerProcessId;
    std::optional<std::string> name;

    bool operator==(const MetadataWindow&) const = default;
};

struct WindowMetadata {
    // Absent when the display ids could not be fetched (the windows still count).
    std::optional<std::vector<MetadataDisplay>> displays;
    std::vector<MetadataWindow> windows;  // on-screen windows, front to back, desktop elements left out

    bool operator==(const WindowMetadata&) const = default;
};

// The display server behind the source catalog. Implementations are thread-safe; every call may
// block on the server for a short while.
class SourcePlatform {
public:
    virtual ~SourcePlatform() = default;

    // Displays, windows and their applications. `excludeDesktopWindows` leaves out desktop
    // backgrounds and icons; `onScreenWindowsOnly` leaves out unmapped windows. Throws PlatformError
    // when the server cannot be reached or its pixels cannot be read.
    virtual ShareableContent shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly) = 0;

    // On-screen window metadata without pixel access; nothing when the displays cannot even be
    // counted. Never throws.
    virtual std::optional<WindowMetadata> windowMetadata() = 0;

    // The application running as `processId`, when it is known. Never throws.
    virtual std::optional<ShareableApplication> runningApplication(std::int32_t processId) = 0;

    // The process id of the application owning the focused window, when one is known. Never throws.
    virtual std::optional<std::int32_t> frontmostProcessId() = 0;

    // Whether screen pixels can be read now, tested without prompting anyone. Never throws.
    virtual bool screenCapturePreflight() = 0;

    // Pixels per point of what `filter` records (1 where the server works in pixels).
    virtual double pixelScale(const CaptureContentFilter& filter) = 0;

    // One still of `filter`'s content, scaled to fit `width` x `height` with its aspect ratio kept
    // (the rest black), cursor left out, in BGRA. Throws PlatformError when the window vanished,
    // is not viewable or the server fails.
    virtual std::shared_ptr<PixelBuffer> captureImage(const CaptureContentFilter& filter, int width, int height) = 0;

    // JPEG bytes of `image` at `quality` (0...1); empty when the encoder produced nothing.
    virtual std::vector<std::uint8_t> encodeJPEG(const PixelBuffer& image, double quality) = 0;
};

// Scripted answers and call counters for unit tests and demos.
class FakeSourcePlatform : public SourcePlatform {
public:
    // The content answered by shareableContent (by its onScreenWindowsOnly flag), or the error thrown.
    ShareableContent onScreenContent;
    std::optional<ShareableContent> allContent;  // for onScreenWindowsOnly == false; onScreenContent when unset
    std::exception_ptr contentError;
    std::optional<WindowMetadata> metadata;
    std::map<std::int32_t, ShareableApplication> applications;
    std::optional<std::int32_t> frontmost;
    bool preflight = true;
    double scale = 1;
    std::exception_ptr captureError;
    std::vector<std::uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xD9};

    // What the catalog asked for.
    int contentCalls = 0;
    std::optional<bool> lastOnScreenWindowsOnly;
    std::optional<bool> lastExcludeDesktopWindows;
    std::optional<CaptureContentFilter> lastCaptureFilter;
    int lastCaptureWidth = 0;
    int lastCaptureHeight = 0;
    std::optional<double> lastQuality;

    ShareableContent shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly) override;
    std::optional<WindowMetadata> windowMetadata() override { return metadata; }
    std::optional<ShareableApplication> runningApplication(std::int32_t processId) override;
    std::optional<std::int32_t> frontmostProcessId() override { return frontmost; }
    bool screenCapturePreflight() override { return preflight; }
    double pixelScale(const CaptureContentFilter&) override { return scale; }
    std::shared_ptr<PixelBuffer> captureImage(const CaptureContentFilter& filter, int width, int height) override;
    std::vector<std::uint8_t> encodeJPEG(const PixelBuffer& image, double quality) override;
};

}  // namespace halvex
