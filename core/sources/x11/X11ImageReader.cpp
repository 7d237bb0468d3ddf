#include "core/sources/x11/X11ImageReader.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/composite.h>
#include <xcb/shm.h>

#include <algorithm>
#include <array>
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

bool serverIsLSBFirst(xcb_connection_t* c) { return xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST; }

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

// Turns an MSB-first server's X, R, G, B pixels into B, G, R, X where they lie.
void swapToLSBFirst(X11PixelView& view) {
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.pixels + static_cast<std::size_t>(y) * view.bytesPerRow;
        for (int x = 0; x < view.width; ++x) {
            std::swap(row[x * 4 + 0], row[x * 4 + 3]);
            std::swap(row[x * 4 + 1], row[x * 4 + 2]);
        }
    }
}

// The window's own pixels, however they are held: `readDrawable(drawable, x, y, width, height)`
// reads a rectangle of a drawable, `readArea(frame)` the screen inside a root rectangle. Both
// return something that tests true when it holds pixels, and throw PlatformError.
template <typename ReadDrawable, typename ReadArea>
auto readWindowPixels(X11Connection& connection, xcb_window_t window, ReadDrawable readDrawable, ReadArea readArea)
    -> decltype(readArea(SourceRect{})) {
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
            decltype(readArea(SourceRect{})) image{};
            try {
                image = readDrawable(pixmap, offsetX, offsetY, static_cast<int>(size.width), static_cast<int>(size.height));
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
    return readArea(frame);
}

// The part of `frame` on the screen, as (left, top, width, height); throws when nothing is left.
std::array<int, 4> clippedToScreen(X11Connection& connection, const SourceRect& frame) {
    const auto& screen = connection.screen();
    const int left = std::max(0, static_cast<int>(frame.x));
    const int top = std::max(0, static_cast<int>(frame.y));
    const int right = std::min<int>(screen.width_in_pixels, static_cast<int>(frame.x + frame.width));
    const int bottom = std::min<int>(screen.height_in_pixels, static_cast<int>(frame.y + frame.height));
    if (right <= left || bottom <= top) {
        throw PlatformError("X11", 0, "The source lies outside the screen.");
    }
    return {left, top, right - left, bottom - top};
}

}  // namespace

X11ImageReader::~X11ImageReader() {
    if (retainedSegment_) ::shmdt(retainedSegment_->address);
}

void X11ImageReader::requireReadable(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width,
                                     int height) {
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
}

std::shared_ptr<PixelBuffer> X11ImageReader::read(X11Connection& connection, xcb_drawable_t drawable, int x, int y,
                                                  int width, int height) {
    requireReadable(connection, drawable, x, y, width, height);
    xcb_connection_t* c = connection.get();
    if (connection.hasShm() && sharedMemoryUsable_) {
        if (auto image = readShared(connection, drawable, x, y, width, height)) return image;
    }
    xcb_generic_error_t* error = nullptr;
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
    copyOpaque(xcb_get_image_data(reply), rowBytes, *image, serverIsLSBFirst(c));
    std::free(reply);
    return image;
}

std::unique_ptr<X11ImageReader::SharedSegment> X11ImageReader::attachSegment(X11Connection& connection,
                                                                             std::size_t size) {
    xcb_connection_t* c = connection.get();
    auto segment = std::make_unique<SharedSegment>();
    segment->id = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (segment->id < 0) return nullptr;
    segment->address = ::shmat(segment->id, nullptr, 0);
    if (segment->address == reinterpret_cast<void*>(-1)) {
        ::shmctl(segment->id, IPC_RMID, nullptr);
        return nullptr;
    }
    segment->size = size;
    segment->connection = c;
    segment->segment = xcb_generate_id(c);
    // Writable: the server puts the pixels of ShmGetImage there (a read-only attachment makes every
    // read fail with BadAccess).
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_shm_attach_checked(c, segment->segment, static_cast<std::uint32_t>(segment->id), 0));
    // Marked for removal now: it disappears once both sides have detached, even if we crash.
    ::shmctl(segment->id, IPC_RMID, nullptr);
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
        ::shmdt(segment->address);
        return nullptr;
    }
    return segment;
}

void X11ImageReader::detachSegment(SharedSegment& segment) {
    xcb_connection_t* c = segment.connection;
    xcb_shm_detach(c, segment.segment);
    // The detach must reach the server before the memory goes.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    ::shmdt(segment.address);
}

std::shared_ptr<PixelBuffer> X11ImageReader::readShared(X11Connection& connection, xcb_drawable_t drawable, int x,
                                                        int y, int width, int height) {
    xcb_connection_t* c = connection.get();
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    const auto segment = attachSegment(connection, size);
    if (!segment) return nullptr;
    xcb_generic_error_t* error = nullptr;
    auto* reply = xcb_shm_get_image_reply(
        c, xcb_shm_get_image(c, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                             static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, segment->segment, 0),
        &error);
    std::shared_ptr<PixelBuffer> image;
    if (reply) {
        image = PixelBuffer::create(width, height);
        copyOpaque(static_cast<const std::uint8_t*>(segment->address), static_cast<std::size_t>(width) * 4, *image,
                   serverIsLSBFirst(c));
    }
    std::free(reply);
    std::free(error);
    detachSegment(*segment);
    return image;
}

std::shared_ptr<PixelBuffer> X11ImageReader::readScreenArea(X11Connection& connection, const SourceRect& frame) {
    const auto [left, top, width, height] = clippedToScreen(connection, frame);
    return read(connection, connection.root(), left, top, width, height);
}

std::shared_ptr<PixelBuffer> X11ImageReader::readWindow(X11Connection& connection, xcb_window_t window) {
    return readWindowPixels(
        connection, window,
        [&](xcb_drawable_t drawable, int x, int y, int width, int height) {
            return read(connection, drawable, x, y, width, height);
        },
        [&](const SourceRect& frame) { return readScreenArea(connection, frame); });
}

X11PixelView X11ImageReader::readSharedRetained(X11Connection& connection, xcb_drawable_t drawable, int x, int y,
                                                int width, int height) {
    xcb_connection_t* c = connection.get();
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (retainedSegment_ && (retainedSegment_->connection != c || retainedSegment_->size < size)) {
        releaseRetainedSegment(connection);
    }
    if (!retainedSegment_) {
        retainedSegment_ = attachSegment(connection, size);
        if (!retainedSegment_) return {};
    }
    xcb_generic_error_t* error = nullptr;
    auto* reply = xcb_shm_get_image_reply(
        c, xcb_shm_get_image(c, drawable, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                             static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, retainedSegment_->segment, 0),
        &error);
    std::free(error);
    if (!reply) return {};
    std::free(reply);
    return {static_cast<std::uint8_t*>(retainedSegment_->address), width, height, static_cast<std::size_t>(width) * 4};
}

X11PixelView X11ImageReader::readRetained(X11Connection& connection, xcb_drawable_t drawable, int x, int y, int width,
                                          int height) {
    requireReadable(connection, drawable, x, y, width, height);
    xcb_connection_t* c = connection.get();
    X11PixelView view;
    const bool triedShared = connection.hasShm() && sharedMemoryUsable_;
    if (triedShared) view = readSharedRetained(connection, drawable, x, y, width, height);
    if (!view) {
        xcb_generic_error_t* error = nullptr;
        retainedReply_.reset(xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height), ~0u),
            &error));
        if (!retainedReply_) {
            connection.requireHealthy();
            throw serverError(error, "The X server refused to read the pixels of " + hexWindow(drawable) + ".");
        }
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        if (static_cast<std::size_t>(xcb_get_image_data_length(retainedReply_.get())) <
            rowBytes * static_cast<std::size_t>(height)) {
            retainedReply_.reset();
            throw PlatformError("X11", 0, "The X server returned a short image.");
        }
        view = {xcb_get_image_data(retainedReply_.get()), width, height, rowBytes};
        if (triedShared) {
            // GetImage read what ShmGetImage would not: do not pay for both on every frame.
            halvexNativeLog("X11: MIT-SHM reads fail where GetImage works; reading pixels with GetImage from now on.");
            sharedMemoryUsable_ = false;
            releaseRetainedSegment(connection);
        }
    }
    if (!serverIsLSBFirst(c)) swapToLSBFirst(view);
    return view;
}

X11PixelView X11ImageReader::readScreenAreaRetained(X11Connection& connection, const SourceRect& frame) {
    const auto [left, top, width, height] = clippedToScreen(connection, frame);
    return readRetained(connection, connection.root(), left, top, width, height);
}

X11PixelView X11ImageReader::readWindowRetained(X11Connection& connection, xcb_window_t window) {
    return readWindowPixels(
        connection, window,
        [&](xcb_drawable_t drawable, int x, int y, int width, int height) {
            return readRetained(connection, drawable, x, y, width, height);
        },
        [&](const SourceRect& frame) { return readScreenAreaRetained(connection, frame); });
}

void X11ImageReader::releaseRetained(X11Connection& connection) {
    retainedReply_.reset();
    releaseRetainedSegment(connection);
}

void X11ImageReader::releaseRetainedSegment(X11Connection& connection) {
    if (!retainedSegment_) return;
    if (retainedSegment_->connection == connection.get() && connection.healthy()) {
        detachSegment(*retainedSegment_);
    } else {
        // Another or a broken connection: its server drops the attachment when it closes.
        ::shmdt(retainedSegment_->address);
    }
    retainedSegment_.reset();
}

}  // namespace halvex::x11
