#pragma once

#include <cstdint>
#include <vector>

#include "core/sources/NativeCaptureSource.h"

namespace halvex {

// A rectangle in global display points (origin top left on X11, y growing downward).
struct SourceRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const SourceRect&) const = default;
};

// What a capture stream records: one window on its own, or one display without the product's own
// windows. The display server decides how each is read; the record only names it.
struct CaptureContentFilter {
    enum class Kind { window, display };
    Kind kind = Kind::window;
    std::uint32_t windowId = 0;   // kind == window
    std::uint32_t displayId = 0;  // kind == display
    SourceRect frame;             // the window's or display's frame when it was resolved
    // For a display: windows of the product's own applications that must not appear in it.
    std::vector<std::uint32_t> excludedWindowIds;

    bool operator==(const CaptureContentFilter&) const = default;
};

// A source ready to record: the listed record, its filter and the even pixel size to capture at.
struct ResolvedCaptureSource {
    NativeCaptureSource source;
    CaptureContentFilter filter;
    std::int64_t outputWidth = 2;
    std::int64_t outputHeight = 2;

    bool operator==(const ResolvedCaptureSource&) const = default;
};

}  // namespace halvex
