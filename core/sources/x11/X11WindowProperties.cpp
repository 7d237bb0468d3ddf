#include "core/sources/x11/X11WindowProperties.h"

#include <cstdlib>
#include <cstring>

namespace halvex::x11 {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    auto* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

void setTextProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                     const std::string& text) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
}

void setWindowClass(xcb_connection_t* connection, xcb_window_t window, const std::string& instanceName,
                    const std::string& className) {
    std::string value = instanceName;
    value.push_back('\0');
    value += className;
    value.push_back('\0');
    setTextProperty(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, value);
}

void setWindowProcessId(xcb_connection_t* connection, xcb_window_t window, std::uint32_t processId) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, "_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &processId);
}

}  // namespace halvex::x11
