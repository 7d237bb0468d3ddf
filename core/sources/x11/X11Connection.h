#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvex::x11 {

// One property value as the server stores it.
struct X11Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;  // 8, 16 or 32
    std::vector<std::uint8_t> bytes;

    // The value as 32-bit items (format 32 only; empty otherwise).
    std::vector<std::uint32_t> items() const;
};

// A connection to one X display with the extensions the source catalog uses, interned atoms and
// property reads. Not thread-safe: its owner serialises calls.
//
// When the server has Composite, the connection redirects the root's children automatically for
// its whole life, so every top-level window keeps its own pixels even while something covers it.
// Automatic redirection changes nothing on screen; the server drops it when the connection closes.
class X11Connection {
public:
    // Connects to `displayName` (DISPLAY when empty). Throws PlatformError ("X11" domain) when no
    // display is named or the server refuses the connection.
    static std::unique_ptr<X11Connection> open(const std::string& displayName);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return screen_->root; }
    const xcb_screen_t& screen() const { return *screen_; }
    // False once the server went away or the stream broke; the connection is then useless.
    bool healthy() const { return xcb_connection_has_error(connection_) == 0; }
    // Throws PlatformError when the connection is broken.
    void requireHealthy() const;
    // Drops queued events and errors of unchecked requests, which nobody reads, so the queue
    // cannot grow over a long run.
    void discardEvents();

    bool hasComposite() const { return hasComposite_; }
    bool hasShm() const { return hasShm_; }
    bool hasRandRMonitors() const { return hasRandRMonitors_; }
    // Bits per pixel of Z-format images of `depth`, 0 when the server has no such format.
    int bitsPerPixel(std::uint8_t depth) const;

    // The atom for `name`, interned once; XCB_ATOM_NONE when the server does not answer.
    xcb_atom_t atom(const std::string& name);
    // A property of `window` of any type; nothing when absent or the window is gone.
    std::optional<X11Property> property(xcb_window_t window, xcb_atom_t property, std::uint32_t maxBytes = 1 << 20);
    // The name of an atom; "" when it has none.
    std::string atomName(xcb_atom_t atom);

private:
    X11Connection(xcb_connection_t* connection, xcb_screen_t* screen) : connection_(connection), screen_(screen) {}
    void queryExtensions();

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
    bool hasComposite_ = false;
    bool hasShm_ = false;
    bool hasRandRMonitors_ = false;
    std::map<std::string, xcb_atom_t> atoms_;
};

}  // namespace halvex::x11
