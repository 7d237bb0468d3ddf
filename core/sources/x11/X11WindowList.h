#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/sources/ResolvedCaptureSource.h"
#include "core/sources/x11/X11Connection.h"

namespace halvex::x11 {

// The window layers the catalog tells apart; only `normal` is an ordinary application window.
namespace X11WindowLayer {
inline constexpr int desktop = -1000;
inline constexpr int normal = 0;
inline constexpr int floating = 3;       // toolbars, utility palettes, splash screens, torn-off menus
inline constexpr int dock = 20;          // panels and docks
inline constexpr int notification = 23;
inline constexpr int popup = 101;        // menus, combo lists, override-redirect windows
inline constexpr int tooltip = 102;
inline constexpr int dragAndDrop = 500;
}  // namespace X11WindowLayer

// One client window as the catalog needs it.
struct X11ClientWindow {
    xcb_window_t window = 0;
    SourceRect frame;  // the client area in root coordinates
    int layer = X11WindowLayer::normal;
    std::optional<std::string> title;  // UTF-8
    bool viewable = false;
    std::optional<std::int32_t> processId;  // only when the window says it runs on this machine
    std::string instanceName;               // WM_CLASS
    std::string className;

    bool operator==(const X11ClientWindow&) const = default;
};

// One monitor: RandR's monitors when the server has them, else the whole root window.
struct X11Monitor {
    std::uint32_t displayId = 0;
    SourceRect frame;
    std::optional<std::string> name;

    bool operator==(const X11Monitor&) const = default;
};

namespace X11WindowList {

// Client windows, front to back: the window manager's stacking list when an EWMH manager runs,
// else the root's mapped (or, with `includeUnmapped`, all) top-level windows, each resolved to the
// window carrying WM_STATE inside its frame. Windows that vanish while being read are skipped.
std::vector<X11ClientWindow> clients(X11Connection& connection, bool includeUnmapped);

// The client that owns the focused window (_NET_ACTIVE_WINDOW), when there is one.
std::optional<X11ClientWindow> activeClient(X11Connection& connection);

// Monitors in RandR's order; ids are a hash of the monitor's name, so they survive restarts.
std::vector<X11Monitor> monitors(X11Connection& connection);

// FNV-1a of `text`: the stable 32-bit id of a monitor name.
std::uint32_t stableIdentifier(const std::string& text);

}  // namespace X11WindowList
}  // namespace halvex::x11
