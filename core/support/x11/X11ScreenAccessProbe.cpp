#include "core/support/x11/X11ScreenAccessProbe.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace halvex::x11 {

DisplayAccess X11ScreenAccessProbe::probe() {
    DisplayAccess access;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return access;
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) xcb_disconnect(connection);
        return access;
    }
    access.displayReachable = true;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem > 0) {
        const xcb_get_image_cookie_t cookie =
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screens.data->root, 0, 0, 1, 1, ~0u);
        xcb_generic_error_t* error = nullptr;
        xcb_get_image_reply_t* reply = xcb_get_image_reply(connection, cookie, &error);
        access.screenReadable = reply != nullptr;
        std::free(reply);
        std::free(error);
    }
    xcb_disconnect(connection);
    return access;
}

}  // namespace halvex::x11
