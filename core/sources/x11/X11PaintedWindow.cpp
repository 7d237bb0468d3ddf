#include "core/sources/x11/X11PaintedWindow.h"

#include <cstdlib>

#include "core/sources/x11/X11WindowProperties.h"

namespace halvex::x11 {

std::unique_ptr<X11PaintedWindow> X11PaintedWindow::create(const std::string& display, const Options& options) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    std::unique_ptr<X11PaintedWindow> result(new X11PaintedWindow(connection, options));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    result->window_ = xcb_generate_id(connection);
    const std::uint32_t values[] = {screen->black_pixel, options.overrideRedirect ? 1u : 0u,
                                    XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, result->window_, screen->root, static_cast<std::int16_t>(options.x),
                      static_cast<std::int16_t>(options.y), static_cast<std::uint16_t>(options.width),
                      static_cast<std::uint16_t>(options.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
    if (options.title) {
        setTextProperty(connection, result->window_, internAtom(connection, "_NET_WM_NAME"), utf8, *options.title);
    }
    if (options.legacyTitle) {
        setTextProperty(connection, result->window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, *options.legacyTitle);
    }
    if (!options.instanceName.empty() || !options.className.empty()) {
        setWindowClass(connection, result->window_, options.instanceName, options.className);
    }
    if (options.processId) setWindowProcessId(connection, result->window_, *options.processId);
    if (options.windowType) {
        const xcb_atom_t type = internAtom(connection, options.windowType->c_str());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, result->window_, internAtom(connection, "_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &type);
    }
    if (options.mapped) xcb_map_window(connection, result->window_);
    result->sync();
    result->paint();
    return result;
}

X11PaintedWindow::~X11PaintedWindow() {
    xcb_destroy_window(connection_, window_);
    // Wait for the server to act on it: other connections asking next must not still see the window.
    sync();
    xcb_disconnect(connection_);
}

void X11PaintedWindow::paint() {
    if (options_.colours.empty()) return;
    const int bands = static_cast<int>(options_.colours.size());
    for (int band = 0; band < bands; ++band) {
        const xcb_gcontext_t context = xcb_generate_id(connection_);
        const std::uint32_t colour = options_.colours[static_cast<std::size_t>(band)];
        xcb_create_gc(connection_, context, window_, XCB_GC_FOREGROUND, &colour);
        const int left = options_.width * band / bands;
        const int right = options_.width * (band + 1) / bands;
        const xcb_rectangle_t area{static_cast<std::int16_t>(left), 0, static_cast<std::uint16_t>(right - left),
                                   static_cast<std::uint16_t>(options_.height)};
        xcb_poly_fill_rectangle(connection_, window_, context, 1, &area);
        xcb_free_gc(connection_, context);
    }
    sync();
}

void X11PaintedWindow::raise() {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    sync();
}

void X11PaintedWindow::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace halvex::x11
