#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/sources/NativeCaptureSource.h"
#include "core/sources/ResolvedCaptureSource.h"
#include "core/sources/SourceCatalogListing.h"
#include "core/sources/SourcePlatform.h"

namespace halvex {

// Lists what can be recorded, previews one source and resolves a client's choice for capture. It
// keeps no state beyond the display server it asks; every operation runs on the caller's thread.
// The product's own windows and the system's chrome are never listed nor resolved.
class SourceCatalog {
public:
    using Listing = SourceCatalogListing;

    explicit SourceCatalog(std::shared_ptr<SourcePlatform> platform) : platform_(std::move(platform)) {}

    // Every capturable display and window, sorted; metadata-only rows with a warning when pixels
    // cannot be read. Throws HalvexNativeError::sourceNotFound when nothing can be listed.
    Listing listSources() const;

    // A JPEG still of the source, at most `maxWidth` wide. Throws what resolve throws, the
    // platform's error when the still cannot be taken, or invalidPayload when encoding fails.
    std::vector<std::uint8_t> thumbnail(const std::string& sourceType, const std::string& sourceID,
                                        std::int64_t maxWidth) const;

    // The source for the capture stream. Throws sourceNotFound for an unreadable id or a source
    // that is gone, invalidPayload for an unknown type or the product's own window.
    ResolvedCaptureSource resolve(const std::string& sourceType, const std::string& sourceID) const;

    SourcePlatform& platform() const { return *platform_; }

    // "{bundle identifier} ({bundle path})" of this process, "no-bundle-id" without an identifier.
    static std::string processIdentityDescription();

    // The capture size for a pixel size: longer side at most 3840, area at most 3072 x 3072, even
    // sides of at least 2, aspect ratio kept up to the rounding.
    static std::pair<std::int64_t, std::int64_t> fittedDimensions(std::int64_t width, std::int64_t height);

    // The preview size for a capture size and a requested width (both sides even, at least 64).
    static std::pair<std::int64_t, std::int64_t> thumbnailDimensions(std::int64_t outputWidth,
                                                                      std::int64_t outputHeight,
                                                                      std::int64_t maxWidth);

    // Screens first, then TradingView desktop windows, then by name ignoring case; stable.
    static std::vector<NativeCaptureSource> sortedSources(std::vector<NativeCaptureSource> sources);

    // The display holding the frame's centre, else the one overlapping it most (first on ties).
    static std::optional<std::uint32_t> displayIDContaining(const SourceRect& frame,
                                                            const std::vector<ShareableDisplay>& displays);

    // The monitor's own name, else "Screen {fallbackIndex}".
    static std::string displayName(const std::optional<std::string>& name, std::size_t fallbackIndex);

    // The rows of a capture-capable listing, unsorted: displays, then accepted windows.
    static std::vector<NativeCaptureSource> screenCaptureSources(const ShareableContent& content,
                                                                 std::optional<std::int32_t> frontmostProcessId);

    // The metadata-only rows, unsorted; none when the platform cannot count its displays.
    std::vector<NativeCaptureSource> metadataFallbackSources() const;

    // The numeric part of a source id: after the last ":", ignoring empty parts; decimal, 32-bit.
    static std::optional<std::uint32_t> numericSourceID(const std::string& sourceID);

private:
    std::shared_ptr<SourcePlatform> platform_;
};

}  // namespace halvex
