#include "core/sources/x11/X11WindowList.h"

#include <unistd.h>
#include <xcb/randr.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "core/sources/x11/XcbReply.h"
#include "core/support/UTF8.h"

namespace halvex::x11::X11WindowList {
namespace {

template <typename Reply, typename Cookie, typename Function>
Reply* replyOrNull(xcb_connection_t* connection, Cookie cookie, Function function) {
    xcb_generic_error_t* error = nullptr;
    Reply* reply = function(connection, cookie, &error);
    std::free(error);
    return reply;
}

std::string latin1ToUTF8(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

// Property text up to its first NUL, as UTF-8.
std::string propertyText(X11Connection& connection, const X11Property& property) {
    std::vector<std::uint8_t> bytes = property.bytes;
    if (const auto nul = std::find(bytes.begin(), bytes.end(), 0); nul != bytes.end()) bytes.erase(nul, bytes.end());
    if (property.type == connection.atom("UTF8_STRING")) {
        return halvexRepairedUTF8(std::string(bytes.begin(), bytes.end()));
    }
    // STRING is Latin-1; COMPOUND_TEXT is read the same way, which is right for its ASCII part.
    return latin1ToUTF8(bytes);
}

std::vector<std::string> nulSeparated(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> parts;
    std::string current;
    for (const std::uint8_t byte : bytes) {
        if (byte == 0) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(byte));
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

int layerForTypes(X11Connection& connection, const std::vector<std::uint32_t>& types) {
    const std::pair<const char*, int> known[] = {
        {"_NET_WM_WINDOW_TYPE_NORMAL", X11WindowLayer::normal},
        {"_NET_WM_WINDOW_TYPE_DIALOG", X11WindowLayer::normal},
        {"_NET_WM_WINDOW_TYPE_DESKTOP", X11WindowLayer::desktop},
        {"_NET_WM_WINDOW_TYPE_DOCK", X11WindowLayer::dock},
        {"_NET_WM_WINDOW_TYPE_TOOLBAR", X11WindowLayer::floating},
        {"_NET_WM_WINDOW_TYPE_MENU", X11WindowLayer::floating},
        {"_NET_WM_WINDOW_TYPE_UTILITY", X11WindowLayer::floating},
        {"_NET_WM_WINDOW_TYPE_SPLASH", X11WindowLayer::floating},
        {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", X11WindowLayer::popup},
        {"_NET_WM_WINDOW_TYPE_POPUP_MENU", X11WindowLayer::popup},
        {"_NET_WM_WINDOW_TYPE_COMBO", X11WindowLayer::popup},
        {"_NET_WM_WINDOW_TYPE_TOOLTIP", X11WindowLayer::tooltip},
        {"_NET_WM_WINDOW_TYPE_NOTIFICATION", X11WindowLayer::notification},
        {"_NET_WM_WINDOW_TYPE_DND", X11WindowLayer::dragAndDrop},
    };
    // The first type the catalog knows wins, as window managers read the list; none known is normal.
    for (const std::uint32_t type : types) {
        for (const auto& [name, layer] : known) {
            if (connection.atom(name) == type) return layer;
        }
    }
    return X11WindowLayer::normal;
}

// The window inside `topLevel` that carries WM_STATE (the client a window manager framed), or
// `topLevel` itself when none does.
xcb_window_t clientInside(X11Connection& connection, xcb_window_t topLevel) {
    const xcb_atom_t wmState = connection.atom("WM_STATE");
    std::vector<xcb_window_t> level{topLevel};
    for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
        std::vector<xcb_window_t> next;
        for (const xcb_window_t window : level) {
            if (connection.property(window, wmState, 64)) return window;
            XcbReply<xcb_query_tree_reply_t> tree(replyOrNull<xcb_query_tree_reply_t>(
                connection.get(), xcb_query_tree(connection.get(), window), xcb_query_tree_reply));
            if (!tree) continue;
            const auto* children = xcb_query_tree_children(tree.value);
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree.value));
        }
        level = std::move(next);
    }
    return topLevel;
}

std::optional<X11ClientWindow> describe(X11Connection& connection, xcb_window_t window, bool frameOverridesRedirect,
                                        const std::string& localHost) {
    xcb_connection_t* c = connection.get();
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto positionCookie = xcb_translate_coordinates(c, window, connection.root(), 0, 0);
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    XcbReply<xcb_get_geometry_reply_t> geometry(replyOrNull<xcb_get_geometry_reply_t>(c, geometryCookie, xcb_get_geometry_reply));
    XcbReply<xcb_translate_coordinates_reply_t> position(
        replyOrNull<xcb_translate_coordinates_reply_t>(c, positionCookie, xcb_translate_coordinates_reply));
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        replyOrNull<xcb_get_window_attributes_reply_t>(c, attributesCookie, xcb_get_window_attributes_reply));
    if (!geometry || !position || !attributes) return std::nullopt;  // gone while we looked

    X11ClientWindow client;
    client.window = window;
    client.frame = {static_cast<double>(position->dst_x), static_cast<double>(position->dst_y),
                    static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
    client.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    if (attributes->override_redirect || frameOverridesRedirect) {
        client.layer = X11WindowLayer::popup;
    } else if (const auto types = connection.property(window, connection.atom("_NET_WM_WINDOW_TYPE"))) {
        client.layer = layerForTypes(connection, types->items());
    }
    if (const auto name = connection.property(window, connection.atom("_NET_WM_NAME"))) {
        client.title = propertyText(connection, *name);
    } else if (const auto legacy = connection.property(window, XCB_ATOM_WM_NAME)) {
        client.title = propertyText(connection, *legacy);
    }
    if (const auto wmClass = connection.property(window, XCB_ATOM_WM_CLASS, 4096)) {
        const auto parts = nulSeparated(wmClass->bytes);
        if (!parts.empty()) client.instanceName = halvexRepairedUTF8(latin1ToUTF8({parts[0].begin(), parts[0].end()}));
        if (parts.size() > 1) client.className = halvexRepairedUTF8(latin1ToUTF8({parts[1].begin(), parts[1].end()}));
    }
    // A process id means something only on the machine the client runs on.
    const auto machine = connection.property(window, XCB_ATOM_WM_CLIENT_MACHINE, 1024);
    const bool local = !machine || localHost.empty() || propertyText(connection, *machine) == localHost;
    if (const auto pid = connection.property(window, connection.atom("_NET_WM_PID"), 4); pid && local) {
        const auto items = pid->items();
        if (!items.empty() && items[0] > 0 && items[0] <= static_cast<std::uint32_t>(INT32_MAX)) {
            client.processId = static_cast<std::int32_t>(items[0]);
        }
    }
    return client;
}

// The window manager's stacking list (bottom to top) when a live EWMH manager publishes one.
std::optional<std::vector<xcb_window_t>> managedWindows(X11Connection& connection) {
    const xcb_atom_t check = connection.atom("_NET_SUPPORTING_WM_CHECK");
    const auto rootCheck = connection.property(connection.root(), check, 4);
    if (!rootCheck || rootCheck->items().empty()) return std::nullopt;
    const xcb_window_t manager = rootCheck->items()[0];
    const auto managerCheck = connection.property(manager, check, 4);
    if (!managerCheck || managerCheck->items().empty() || managerCheck->items()[0] != manager) return std::nullopt;
    auto list = connection.property(connection.root(), connection.atom("_NET_CLIENT_LIST_STACKING"));
    if (!list) list = connection.property(connection.root(), connection.atom("_NET_CLIENT_LIST"));
    if (!list) return std::nullopt;
    const auto items = list->items();
    return std::vector<xcb_window_t>(items.begin(), items.end());
}

}  // namespace

std::vector<X11ClientWindow> clients(X11Connection& connection, bool includeUnmapped) {
    connection.requireHealthy();
    const auto localHost = hostName();
    std::vector<X11ClientWindow> result;
    std::set<xcb_window_t> seen;
    if (const auto managed = managedWindows(connection)) {
        for (auto window = managed->rbegin(); window != managed->rend(); ++window) {
            if (!seen.insert(*window).second) continue;
            auto client = describe(connection, *window, false, localHost);
            if (client && (includeUnmapped || client->viewable)) result.push_back(std::move(*client));
        }
        connection.requireHealthy();
        return result;
    }
    xcb_connection_t* c = connection.get();
    XcbReply<xcb_query_tree_reply_t> tree(
        replyOrNull<xcb_query_tree_reply_t>(c, xcb_query_tree(c, connection.root()), xcb_query_tree_reply));
    connection.requireHealthy();
    if (!tree) return result;
    const auto* children = xcb_query_tree_children(tree.value);
    const int count = xcb_query_tree_children_length(tree.value);
    for (int index = count - 1; index >= 0; --index) {
        const xcb_window_t topLevel = children[index];
        XcbReply<xcb_get_window_attributes_reply_t> attributes(replyOrNull<xcb_get_window_attributes_reply_t>(
            c, xcb_get_window_attributes(c, topLevel), xcb_get_window_attributes_reply));
        if (!attributes || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) continue;
        if (!includeUnmapped && attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        const xcb_window_t window = clientInside(connection, topLevel);
        if (!seen.insert(window).second) continue;
        auto client = describe(connection, window, attributes->override_redirect != 0, localHost);
        if (!client) continue;
        // A framed client is shown when its frame is.
        if (window != topLevel) client->viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        if (includeUnmapped || client->viewable) result.push_back(std::move(*client));
    }
    connection.requireHealthy();
    return result;
}

std::optional<X11ClientWindow> activeClient(X11Connection& connection) {
    const auto active = connection.property(connection.root(), connection.atom("_NET_ACTIVE_WINDOW"), 4);
    if (!active || active->items().empty() || active->items()[0] == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_window_t window = clientInside(connection, active->items()[0]);
    return describe(connection, window, false, hostName());
}

std::uint32_t stableIdentifier(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (const unsigned char byte : text) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash;
}

std::vector<X11Monitor> monitors(X11Connection& connection) {
    connection.requireHealthy();
    std::vector<X11Monitor> result;
    std::set<std::uint32_t> used;
    const auto add = [&](X11Monitor monitor, const std::string& key) {
        monitor.displayId = stableIdentifier(key);
        while (monitor.displayId == 0 || !used.insert(monitor.displayId).second) ++monitor.displayId;
        result.push_back(std::move(monitor));
    };
    if (connection.hasRandRMonitors()) {
        xcb_connection_t* c = connection.get();
        XcbReply<xcb_randr_get_monitors_reply_t> reply(replyOrNull<xcb_randr_get_monitors_reply_t>(
            c, xcb_randr_get_monitors(c, connection.root(), 1), xcb_randr_get_monitors_reply));
        if (reply) {
            for (auto monitors = xcb_randr_get_monitors_monitors_iterator(reply.value); monitors.rem > 0;
                 xcb_randr_monitor_info_next(&monitors)) {
                const auto* info = monitors.data;
                if (info->width == 0 || info->height == 0) continue;
                X11Monitor monitor;
                monitor.frame = {static_cast<double>(info->x), static_cast<double>(info->y),
                                 static_cast<double>(info->width), static_cast<double>(info->height)};
                auto name = connection.atomName(info->name);
                if (!name.empty()) monitor.name = name;
                add(std::move(monitor), name.empty() ? "monitor@" + std::to_string(info->x) + "," +
                                                           std::to_string(info->y)
                                                     : name);
            }
        }
    }
    if (result.empty()) {
        const auto& screen = connection.screen();
        X11Monitor whole;
        whole.frame = {0, 0, static_cast<double>(screen.width_in_pixels), static_cast<double>(screen.height_in_pixels)};
        add(std::move(whole), "root");
    }
    connection.requireHealthy();
    return result;
}

}  // namespace halvex::x11::X11WindowList
