#include "core/capture/x11/X11CursorOverlay.h"

#include <algorithm>
#include <cstdlib>

namespace halvex::x11 {

void blendPremultipliedARGB(const std::uint32_t* image, int width, int height, int left, int top, X11PixelView& view) {
    if (!image || !view) return;
    const int firstX = std::max(0, -left);
    const int firstY = std::max(0, -top);
    const int lastX = std::min(width, view.width - left);
    const int lastY = std::min(height, view.height - top);
    for (int y = firstY; y < lastY; ++y) {
        const std::uint32_t* in = image + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::uint8_t* out = view.pixels + static_cast<std::size_t>(top + y) * view.bytesPerRow;
        for (int x = firstX; x < lastX; ++x) {
            const std::uint32_t pixel = in[x];
            const std::uint32_t alpha = pixel >> 24;
            if (alpha == 0) continue;
            std::uint8_t* target = out + static_cast<std::size_t>(left + x) * 4;
            const std::uint32_t keep = 255 - alpha;
            // Premultiplied: result = source + destination * (1 - alpha), rounded.
            const auto blend = [keep](std::uint32_t source, std::uint8_t destination) {
                return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, source + (destination * keep + 127) / 255));
            };
            target[0] = blend(pixel & 0xFF, target[0]);
            target[1] = blend((pixel >> 8) & 0xFF, target[1]);
            target[2] = blend((pixel >> 16) & 0xFF, target[2]);
        }
    }
}

std::unique_ptr<X11CursorOverlay> X11CursorOverlay::create(X11Connection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!extension || !extension->present) return nullptr;
    // XFixes requests are refused until the client has announced its version.
    auto* version = xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr);
    const bool usable = version && version->major_version >= 1;
    std::free(version);
    if (!usable) return nullptr;
    return std::unique_ptr<X11CursorOverlay>(new X11CursorOverlay(c));
}

X11CursorOverlay::~X11CursorOverlay() { discardPending(); }

void X11CursorOverlay::discardPending() {
    if (pending_) xcb_discard_reply(connection_, cookie_.sequence);
    pending_ = false;
}

void X11CursorOverlay::request() {
    discardPending();
    cookie_ = xcb_xfixes_get_cursor_image(connection_);
    pending_ = true;
}

void X11CursorOverlay::drawOnto(X11PixelView& view, int originX, int originY) {
    if (!pending_) return;
    pending_ = false;
    auto* reply = xcb_xfixes_get_cursor_image_reply(connection_, cookie_, nullptr);
    if (!reply) return;
    const int width = reply->width;
    const int height = reply->height;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(reply) >= width * height) {
        blendPremultipliedARGB(xcb_xfixes_get_cursor_image_cursor_image(reply), width, height,
                               reply->x - reply->xhot - originX, reply->y - reply->yhot - originY, view);
    }
    std::free(reply);
}

}  // namespace halvex::x11
