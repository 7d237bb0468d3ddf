#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <xcb/xcb.h>

namespace halvex::x11 {

// A plain top-level X window on its own connection, painted in solid vertical colour bands and
// carrying the properties a window manager reads (titles, WM_CLASS, _NET_WM_PID, window type).
// For tests and demos: the window disappears with the object.
class X11PaintedWindow {
public:
    struct Options {
        int x = 0;
        int y = 0;
        int width = 200;
        int height = 200;
        std::optional<std::string> title;        // _NET_WM_NAME (UTF-8)
        std::optional<std::string> legacyTitle;  // WM_NAME (Latin-1)
        std::string instanceName;                // WM_CLASS; both empty: no WM_CLASS
        std::string className;
        std::optional<std::uint32_t> processId;          // _NET_WM_PID
        std::optional<std::string> windowType;           // e.g. "_NET_WM_WINDOW_TYPE_DOCK"
        bool overrideRedirect = false;
        std::vector<std::uint32_t> colours{0xFF0000};    // 0xRRGGBB, bands left to right
        bool mapped = true;
    };

    // Creates, maps and paints the window, and waits until the server has done it. Null when the
    // display cannot be opened.
    static std::unique_ptr<X11PaintedWindow> create(const std::string& display, const Options& options);
    ~X11PaintedWindow();
    X11PaintedWindow(const X11PaintedWindow&) = delete;
    X11PaintedWindow& operator=(const X11PaintedWindow&) = delete;

    xcb_window_t id() const { return window_; }
    // Paints the bands again (after something covered the window without Composite).
    void paint();
    // Raises the window above its siblings.
    void raise();
    // Waits until the server has handled everything sent so far.
    void sync();

private:
    X11PaintedWindow(xcb_connection_t* connection, Options options) : connection_(connection), options_(std::move(options)) {}

    xcb_connection_t* connection_;
    Options options_;
    xcb_window_t window_ = 0;
};

}  // namespace halvex::x11
