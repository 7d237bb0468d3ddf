#pragma once

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdint>
#include <memory>

#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11ImageReader.h"

namespace halvex::x11 {

// Blends premultiplied ARGB pixels (as XFixes hands out cursor images: one 32-bit value a pixel,
// alpha in the top byte) over B, G, R, X pixels, the image's top left at (left, top) of `view`.
// Only the overlapping part is touched; an image wholly outside changes nothing.
void blendPremultipliedARGB(const std::uint32_t* image, int width, int height, int left, int top, X11PixelView& view);

// Draws the pointer into captured frames, with the cursor image XFixes reports. The stream asks
// for the image before it reads the pixels and draws it after, so the round trip overlaps the read.
// Used by one thread at a time, on the connection it was made for.
class X11CursorOverlay {
public:
    // An overlay for `connection`, or null when the server has no XFixes (frames then
    // go without a cursor).
    static std::unique_ptr<X11CursorOverlay> create(X11Connection& connection);
    ~X11CursorOverlay();
    X11CursorOverlay(const X11CursorOverlay&) = delete;
    X11CursorOverlay& operator=(const X11CursorOverlay&) = delete;

    // Sends the request for the current cursor image and position (an earlier unanswered one is
    // dropped).
    void request();
    // Waits for the requested image and draws it over `view`, whose top-left pixel lies at
    // (originX, originY) in root coordinates. Does nothing without a request, when the server
    // did not answer, or when the cursor lies outside the view.
    void drawOnto(X11PixelView& view, int originX, int originY);

private:
    explicit X11CursorOverlay(xcb_connection_t* connection) : connection_(connection) {}
    void discardPending();

    xcb_connection_t* connection_;
    bool pending_ = false;
    xcb_xfixes_get_cursor_image_cookie_t cookie_{};
};

}  // namespace halvex::x11
