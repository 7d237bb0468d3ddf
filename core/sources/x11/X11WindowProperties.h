#pragma once

#include <cstdint>
#include <string>

#include <xcb/xcb.h>

namespace halvex::x11 {

// Writing the properties a window manager and the source catalog read, for the windows this
// project creates itself (test windows, the demo chart).

// The atom for `name`; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

// An 8-bit text property (WM_NAME as STRING, _NET_WM_NAME as UTF8_STRING).
void setTextProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                     const std::string& text);

// WM_CLASS: the instance and class names, each ended by a NUL.
void setWindowClass(xcb_connection_t* connection, xcb_window_t window, const std::string& instanceName,
                    const std::string& className);

// _NET_WM_PID.
void setWindowProcessId(xcb_connection_t* connection, xcb_window_t window, std::uint32_t processId);

}  // namespace halvex::x11
