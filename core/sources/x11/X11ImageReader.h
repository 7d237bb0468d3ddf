#pragma once

#include <memory>

#include "core/capture/PixelBuffer.h"
#include "core/sources/ResolvedCaptureSource.h"
#include "core/sources/x11/X11Connection.h"

namespace halvex::x11 {

// Reads pixels from the X server into BGRA buffers: through MIT-SHM when the server can attach
// this process's shared memory, else with plain GetImage. A server in another IPC namespace (as in
// some containers) refuses the attachment with BadAccess; that is detected once, logged, and every
// later read goes straight to GetImage. Used by one thread at a time.
class X11ImageReader {
public:
    // The `width` x `height` rectangle at (x, y) of `drawable` (a window or pixmap of depth 24 or
    // 32 with 32 bits per pixel), alpha forced opaque. Throws PlatformError when the drawable is
    // gone, the rectangle leaves it, or its pixel format is not one the reader knows.
    std::shared_ptr<PixelBuffer> read(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width,
                                      int height);

    // The window's own pixels: its Composite pixmap when the server keeps one (so covering windows
    // do not show), else what the screen shows where the window is. Throws PlatformError when the
    // window no longer exists or is not viewable.
    std::shared_ptr<PixelBuffer> readWindow(X11Connection& connection, xcb_window_t window);

    // The screen contents inside `frame` (root coordinates), clipped to the root window.
    std::shared_ptr<PixelBuffer> readScreenArea(X11Connection& connection, const SourceRect& frame);

    // Whether the shared-memory path is still tried.
    bool sharedMemoryUsable() const { return sharedMemoryUsable_; }

private:
    std::shared_ptr<PixelBuffer> readShared(X11Connection& connection, xcb_drawable_t drawable, int x, int y,
                                            int width, int height);

    bool sharedMemoryUsable_ = true;
};

}  // namespace halvex::x11
