#include "core/sources/x11/X11ImageReader.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/composite.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex::x11 {
namespace {

constexpr int badAccess = 10;

std::string hexWindow(std::uint32_t window) {
    std::ostringstream text;
    text << "0x" << std::hex << window;
    return text.str();
}

PlatformError serverError(xcb_generic_error_t* error, const std::string& description) {
    const int code = error ? error->error_code : 0;
    std::free(error);
    return PlatformError("X11", code, description);
}

// Copies Z-format 32-bit pixels (B, G, R, X in the server's LSB-first order) and makes them opaque.
void copyOpaque(const std::uint8_t* source, std::size_t sourceRowBytes, PixelBuffer& image, bool lsbFirst) {
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* in = source + static_cast<std::size_t>(y) * sourceRowBytes;
        std::uint8_t* out = image.row(y);
        if (lsbFirst) {
            std::memcpy(out, in, static_cast<std::size_t>(image.width()) * 4);
            for (int x = 0; x < image.width(); ++x) out[x * 4 + 3] = 0xFF;
        } else {
            for (int x = 0; x < image.width(); ++x) {
                out[x * 4 + 0] = in[x * 4 + 3];
                out[x * 4 + 1] = in[x * 4 + 2];
                out[x * 4 + 2] = in[x * 4 + 1];
                out[x * 4 + 3] = 0xFF;
            }
        }
    }
}

}  // namespace

std::shared_ptr<PixelBuffer> X11ImageReader::read(X11Connection& connection, xcb_drawable_t drawable, int x, int y,
                                                  int width, int height) {
    connection.requireHealthy();
    xcb_connection_t* c = connection.get();
    xcb_generic_error_t* error = nullptr;
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, drawable), &error);
    if (!geometry) {
        connection.requireHealthy();
        throw serverError(error, "The window " + hexWindow(drawable) + " no longer exists.");
    }
    const int depth = geometry->depth;
    const int drawableWidth = geometry->width;
    const int drawableHeight = geometry->height;
    std::free(geometry);
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > drawableWidth || y + height > drawableHeight) {
        throw PlatformError("X11", 0, "The area to read lies outside the window " + hexWindow(drawable) + ".")
            .withField("area", std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" +
                                   std::to_string(y));
    }
    if ((depth != 24 && depth != 32) || connection.bitsPerPixel(static_cast<std::uint8_t>(depth)) != 32) {
        throw PlatformError("X11", 0, "The X server's pixel format is not supported.")
            .withField("depth", std::to_string(depth))
            .withRecovery("Run the X server at depth 24 or 32.");
    }
    if (connection.hasShm() && sharedMemoryUsable_) {
        if (auto image = readShared(connection, drawable, x, y, width, height)) return image;
    }
    auto* reply = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                         static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u),
        &error);
    if (!reply) {
        connection.requireHealthy();
        throw serverError(error, "The X server refused to read the pixels of " + hexWindow(drawable) + ".");
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (static_cast<std::size_t>(xcb_get_image_data_length(reply)) < rowBytes * static_cast<std::size_t>(height)) {
        std::free(reply);
        throw PlatformError("X11", 0, "The X server returned a short image.");
    }
    auto image = PixelBuffer::create(width, height);
    copyOpaque(xcb_get_image_data(reply), rowBytes, *image, xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST);
    std::free(reply);
    return image;
}

std::shared_ptr<PixelBuffer> X11ImageReader::readShared(X11Connection& connection, xcb_drawable_t drawable, int x,
                                                        int y, int width, int height) {
    xcb_connection_t* c = connection.get();
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    const int segmentID = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (segmentID < 0) return nullptr;
    void* address = ::shmat(segmentID, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        ::shmctl(segmentID, IPC_RMID, nullptr);
        return nullptr;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(c, xcb_shm_attach_checked(c, segment, static_cast<std::uint32_t>(segmentID), 1));
    // Marked for removal now: it disappears once both sides have detached, even if we crash.
    ::shmctl(segmentID, IPC_RMID, nullptr);
    if (error) {
        if (error->error_code == badAccess) {
            halvexNativeLog("X11: the X server cannot attach this process's shared memory (BadAccess, another IPC "
                            "namespace?); reading pixels with GetImage from now on.");
        } else {
            halvexNativeLog("X11: MIT-SHM attachment failed (error " + std::to_string(error->error_code) +
                            "); reading pixels with GetImage from now on.");
        }
        sharedMemoryUsable_ = false;
        std::free(error);
        ::shmdt(address);
        return nullptr;
    }
    auto* reply = xcb_shm_get_image_reply(
        c, xcb_shm_get_image(c, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                             static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
        &error);
    std::shared_ptr<PixelBuffer> image;
    if (reply) {
        image = PixelBuffer::create(width, height);
        copyOpaque(static_cast<const std::uint8_t*>(address), static_cast<std::size_t>(width) * 4, *image,
                   xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST);
    }
    std::free(reply);
    std::free(error);
    xcb_shm_detach(c, segment);
    // The detach must reach the server before the memory goes.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    ::shmdt(address);
    return image;
}

std::shared_ptr<PixelBuffer> X11ImageReader::readScreenArea(X11Connection& connection, const SourceRect& frame) {
    const auto& screen = connection.screen();
    const int left = std::max(0, static_cast<int>(frame.x));
    const int top = std::max(0, static_cast<int>(frame.y));
    const int right = std::min<int>(screen.width_in_pixels, static_cast<int>(frame.x + frame.width));
    const int bottom = std::min<int>(screen.height_in_pixels, static_cast<int>(frame.y + frame.height));
    if (right <= left || bottom <= top) {
        throw PlatformError("X11", 0, "The source lies outside the screen.");
    }
    return read(connection, connection.root(), left, top, right - left, bottom - top);
}

std::shared_ptr<PixelBuffer> X11ImageReader::readWindow(X11Connection& connection, xcb_window_t window) {
    connection.requireHealthy();
    xcb_connection_t* c = connection.get();
    xcb_generic_error_t* error = nullptr;
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error);
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!attributes || !geometry) {
        std::free(attributes);
        std::free(geometry);
        connection.requireHealthy();
        throw serverError(error, "The window " + hexWindow(window) + " no longer exists.");
    }
    const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    const SourceRect size{0, 0, static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
    std::free(attributes);
    std::free(geometry);
    if (!viewable) throw PlatformError("X11", 0, "The window " + hexWindow(window) + " is not shown.");

    // Find the root's child holding the window: under a window manager that is its frame.
    xcb_window_t topLevel = window;
    for (int depth = 0; depth < 16; ++depth) {
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, topLevel), nullptr);
        if (!tree) throw PlatformError("X11", 3, "The window " + hexWindow(window) + " no longer exists.");
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == connection.root() || parent == XCB_WINDOW_NONE) break;
        topLevel = parent;
    }
    if (connection.hasComposite()) {
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_generic_error_t* nameError =
            xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, topLevel, pixmap));
        if (!nameError) {
            // The pixmap includes the top-level's border; the window sits inside it at its offset.
            int offsetX = 0;
            int offsetY = 0;
            if (auto* frame = xcb_get_geometry_reply(c, xcb_get_geometry(c, topLevel), nullptr)) {
                offsetX = frame->border_width;
                offsetY = frame->border_width;
                std::free(frame);
            }
            if (topLevel != window) {
                if (auto* offset = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, topLevel, 0, 0),
                                                                   nullptr)) {
                    offsetX += offset->dst_x;
                    offsetY += offset->dst_y;
                    std::free(offset);
                }
            }
            std::shared_ptr<PixelBuffer> image;
            try {
                image = read(connection, pixmap, offsetX, offsetY, static_cast<int>(size.width), static_cast<int>(size.height));
            } catch (const std::exception&) {
                // Read from the screen below instead.
            }
            xcb_free_pixmap(c, pixmap);
            xcb_flush(c);
            if (image) return image;
            halvexNativeLog("X11: reading the Composite pixmap of " + hexWindow(window) +
                            " failed; reading the screen instead.");
        } else {
            std::free(nameError);
        }
    }
    auto* position = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, connection.root(), 0, 0), nullptr);
    if (!position) throw PlatformError("X11", 3, "The window " + hexWindow(window) + " no longer exists.");
    const SourceRect frame{static_cast<double>(position->dst_x), static_cast<double>(position->dst_y), size.width,
                           size.height};
    std::free(position);
    return readScreenArea(connection, frame);
}

}  // namespace halvex::x11
