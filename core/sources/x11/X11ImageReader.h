#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/capture/PixelBuffer.h"
#include "core/sources/ResolvedCaptureSource.h"
#include "core/sources/x11/X11Connection.h"

namespace halvex::x11 {

// Pixels a retained read left in the reader's own memory: `height` rows `bytesPerRow` apart, four
// bytes a pixel in B, G, R order, the fourth byte undefined (not forced opaque). Writable, so the
// caller may draw over them (a cursor) before copying them out; valid until the reader's next read,
// releaseRetained() or destruction.
struct X11PixelView {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t bytesPerRow = 0;

    explicit operator bool() const { return pixels != nullptr; }
};

// Reads pixels from the X server into BGRA buffers: through MIT-SHM when the server can attach
// this process's shared memory, else with plain GetImage. A server in another IPC namespace (as in
// some containers) refuses the attachment with BadAccess; that is detected once, logged, and every
// later read goes straight to GetImage (as it does after a retained shared read failed where
// GetImage worked). Used by one thread at a time.
class X11ImageReader {
public:
    X11ImageReader() = default;
    // Unmaps a retained shared segment locally; the server lets go of it when its connection closes.
    ~X11ImageReader();
    X11ImageReader(const X11ImageReader&) = delete;
    X11ImageReader& operator=(const X11ImageReader&) = delete;

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

    // Retained reads, for a capture loop that copies or scales every frame at once: like read(),
    // readWindow() and readScreenArea(), with the same checks and errors, but into memory the
    // reader keeps: one shared segment attached once and reused (grown when a larger area is
    // read), or the last GetImage reply. Nothing is allocated per call once the segment is big
    // enough. A reader makes retained reads on one connection at a time; call releaseRetained()
    // before that connection closes or another one is used.
    X11PixelView readRetained(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width, int height);
    X11PixelView readWindowRetained(X11Connection& connection, xcb_window_t window);
    X11PixelView readScreenAreaRetained(X11Connection& connection, const SourceRect& frame);
    // Detaches and frees the retained memory; earlier views become invalid.
    void releaseRetained(X11Connection& connection);

    // Whether the shared-memory path is still tried.
    bool sharedMemoryUsable() const { return sharedMemoryUsable_; }
    // Reads with GetImage from now on, as after a refused attachment.
    void disableSharedMemory() { sharedMemoryUsable_ = false; }

private:
    // A System V segment attached to the server of `connection`.
    struct SharedSegment {
        int id = -1;
        void* address = nullptr;
        std::size_t size = 0;
        std::uint32_t segment = 0;
        xcb_connection_t* connection = nullptr;
    };
    struct FreeDeleter {
        void operator()(void* pointer) const { std::free(pointer); }
    };

    // Geometry and pixel-format checks shared by every read; throws PlatformError.
    void requireReadable(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width, int height);
    std::shared_ptr<PixelBuffer> readShared(X11Connection& connection, xcb_drawable_t drawable, int x, int y,
                                            int width, int height);
    X11PixelView readSharedRetained(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width,
                                    int height);
    // A new segment of `size` bytes attached to the server; nothing when the server refuses it
    // (then shared memory is not tried again).
    std::unique_ptr<SharedSegment> attachSegment(X11Connection& connection, std::size_t size);
    void detachSegment(SharedSegment& segment);
    void releaseRetainedSegment(X11Connection& connection);

    bool sharedMemoryUsable_ = true;
    std::unique_ptr<SharedSegment> retainedSegment_;
    std::unique_ptr<xcb_get_image_reply_t, FreeDeleter> retainedReply_;
};

}  // namespace halvex::x11
