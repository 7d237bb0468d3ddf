#include "core/sources/x11/X11Connection.h"

#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/shm.h>

#include <cstdlib>
#include <cstring>

#include "core/sources/x11/XcbReply.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex::x11 {
namespace {

std::string connectionErrorText(int code) {
    switch (code) {
    case XCB_CONN_ERROR: return "The X server connection failed or was closed.";
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED: return "The X server lacks a required extension.";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return "Out of memory talking to the X server.";
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED: return "A request exceeded the X server's maximum length.";
    case XCB_CONN_CLOSED_PARSE_ERR: return "The X display name could not be parsed.";
    case XCB_CONN_CLOSED_INVALID_SCREEN: return "The X display has no such screen.";
    default: return "The X server connection failed.";
    }
}

}  // namespace

std::vector<std::uint32_t> X11Property::items() const {
    if (format != 32) return {};
    std::vector<std::uint32_t> values(bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

std::unique_ptr<X11Connection> X11Connection::open(const std::string& displayName) {
    const char* named = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
    if (!named || !*named) {
        throw PlatformError("X11", XCB_CONN_CLOSED_PARSE_ERR, "No X display is set.")
            .withRecovery("Set DISPLAY to the X display to capture.");
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(named, &screenNumber);
    if (const int code = xcb_connection_has_error(connection); code != 0) {
        xcb_disconnect(connection);
        throw PlatformError("X11", code, connectionErrorText(code)).withField("display", named);
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screenNumber && screens.rem > 0; ++index) xcb_screen_next(&screens);
    if (screens.rem <= 0) {
        xcb_disconnect(connection);
        throw PlatformError("X11", XCB_CONN_CLOSED_INVALID_SCREEN, connectionErrorText(XCB_CONN_CLOSED_INVALID_SCREEN))
            .withField("display", named);
    }
    std::unique_ptr<X11Connection> result(new X11Connection(connection, screens.data));
    result->queryExtensions();
    return result;
}

X11Connection::~X11Connection() { xcb_disconnect(connection_); }

void X11Connection::requireHealthy() const {
    if (const int code = xcb_connection_has_error(connection_); code != 0) {
        throw PlatformError("X11", code, connectionErrorText(code));
    }
}

void X11Connection::discardEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
}

void X11Connection::queryExtensions() {
    const auto composite = xcb_composite_query_version(connection_, 0, 4);
    const auto shm = xcb_shm_query_version(connection_);
    const auto randr = xcb_randr_query_version(connection_, 1, 5);
    XcbReply compositeReply(xcb_composite_query_version_reply(connection_, composite, nullptr));
    XcbReply shmReply(xcb_shm_query_version_reply(connection_, shm, nullptr));
    XcbReply randrReply(xcb_randr_query_version_reply(connection_, randr, nullptr));
    // NameWindowPixmap needs Composite 0.2.
    hasComposite_ = compositeReply && (compositeReply->major_version > 0 || compositeReply->minor_version >= 2);
    hasShm_ = static_cast<bool>(shmReply);
    hasRandRMonitors_ = randrReply && (randrReply->major_version > 1 ||
                                       (randrReply->major_version == 1 && randrReply->minor_version >= 5));
    if (hasComposite_) {
        const auto cookie = xcb_composite_redirect_subwindows_checked(connection_, root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            halvexNativeLog("X11: automatic Composite redirection was refused (error " +
                            std::to_string(error->error_code) + "); covered windows are read as shown on screen.");
            std::free(error);
            hasComposite_ = false;
        }
    }
}

int X11Connection::bitsPerPixel(std::uint8_t depth) const {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == depth) return formats.data->bits_per_pixel;
    }
    return 0;
}

xcb_atom_t X11Connection::atom(const std::string& name) {
    if (const auto found = atoms_.find(name); found != atoms_.end()) return found->second;
    const auto cookie = xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    XcbReply reply(xcb_intern_atom_reply(connection_, cookie, nullptr));
    if (!reply) return XCB_ATOM_NONE;
    atoms_[name] = reply->atom;
    return reply->atom;
}

std::optional<X11Property> X11Connection::property(xcb_window_t window, xcb_atom_t name, std::uint32_t maxBytes) {
    if (name == XCB_ATOM_NONE) return std::nullopt;
    const auto cookie = xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, maxBytes / 4);
    xcb_generic_error_t* error = nullptr;
    XcbReply reply(xcb_get_property_reply(connection_, cookie, &error));
    std::free(error);
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    X11Property value;
    value.type = reply->type;
    value.format = reply->format;
    const int length = xcb_get_property_value_length(reply.value);
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.value));
    if (length > 0 && data) value.bytes.assign(data, data + length);
    return value;
}

std::string X11Connection::atomName(xcb_atom_t value) {
    if (value == XCB_ATOM_NONE) return {};
    XcbReply reply(xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, value), nullptr));
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.value),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.value)));
}

}  // namespace halvex::x11
