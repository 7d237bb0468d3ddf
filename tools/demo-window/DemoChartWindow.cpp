// halvex-demo-window: an X11 window that animates a scrolling candlestick chart, so recording can be
// shown and tested on a machine with no applications (a bare Xvfb). It draws with core X requests
// only (filled rectangles and lines), which costs the X server little at 30 frames per second.
//
//   halvex-demo-window [--title TEXT] [--class NAME] [--width N] [--height N] [--fps N] [--seconds N]
//
// Prints the window id in decimal on standard output once the window is mapped, then animates until
// --seconds have passed (0: until killed) or the X connection breaks.
#include <xcb/xcb.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/sources/x11/X11WindowProperties.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

struct Options {
    std::string title = "Halvex demo chart";
    std::string windowClass = "halvex-demo-window";
    int width = 1280;
    int height = 720;
    int fps = 30;
    double seconds = 0;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--title") options.title = value;
        else if (option == "--class") options.windowClass = value;
        else if (option == "--width") options.width = std::max(64, std::atoi(value.c_str()));
        else if (option == "--height") options.height = std::max(64, std::atoi(value.c_str()));
        else if (option == "--fps") options.fps = std::max(1, std::min(120, std::atoi(value.c_str())));
        else if (option == "--seconds") options.seconds = std::atof(value.c_str());
    }
    return options;
}

// A deterministic random walk of candle closes.
std::vector<double> makePrices(std::size_t count) {
    std::vector<double> prices(count);
    double price = 5000;
    std::uint32_t state = 12345;
    for (auto& value : prices) {
        state = state * 1664525u + 1013904223u;
        price += (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 6.0;
        value = price;
    }
    return prices;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::signal(SIGINT, [](int) { stopRequested = 1; });

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "halvex-demo-window: cannot open the X display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    xcb_screen_t* screen = screens.data;

    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t values[] = {0x131722, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0,
                      static_cast<std::uint16_t>(options.width), static_cast<std::uint16_t>(options.height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    using namespace halvex::x11;
    setTextProperty(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, options.title);
    setTextProperty(connection, window, internAtom(connection, "_NET_WM_NAME"), internAtom(connection, "UTF8_STRING"),
                    options.title);
    setWindowClass(connection, window, options.windowClass, options.windowClass);
    setWindowProcessId(connection, window, static_cast<std::uint32_t>(::getpid()));
    xcb_map_window(connection, window);

    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, window, 0, nullptr);
    xcb_flush(connection);
    std::printf("%u\n", window);
    std::fflush(stdout);

    const auto prices = makePrices(4096);
    const int candleWidth = 9;
    const int candles = options.width / candleWidth + 2;
    const auto setColor = [&](std::uint32_t rgb) {
        xcb_change_gc(connection, gc, XCB_GC_FOREGROUND, &rgb);
    };
    const auto started = std::chrono::steady_clock::now();
    const auto frameInterval = std::chrono::duration<double>(1.0 / options.fps);
    for (std::int64_t frame = 0; !stopRequested; ++frame) {
        const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(frameInterval * frame);
        std::this_thread::sleep_until(deadline);
        if (options.seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >= options.seconds) {
            break;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) std::free(event);
        if (xcb_connection_has_error(connection)) return 1;

        // Scroll one candle every 8 frames; the last candle's close moves every frame.
        const std::size_t first = static_cast<std::size_t>(frame / 8) % (prices.size() - candles - 1);
        double low = 1e9, high = -1e9;
        for (int i = 0; i < candles; ++i) {
            low = std::min(low, prices[first + i] - 4);
            high = std::max(high, prices[first + i] + 4);
        }
        const double span = std::max(1.0, high - low);
        const auto yOf = [&](double price) {
            return static_cast<std::int16_t>((high - price) / span * (options.height - 40) + 20);
        };
        setColor(0x131722);
        const xcb_rectangle_t background{0, 0, static_cast<std::uint16_t>(options.width),
                                         static_cast<std::uint16_t>(options.height)};
        xcb_poly_fill_rectangle(connection, window, gc, 1, &background);
        setColor(0x2a2e39);
        std::vector<xcb_segment_t> grid;
        for (int x = 0; x < options.width; x += 120) {
            grid.push_back({static_cast<std::int16_t>(x), 0, static_cast<std::int16_t>(x),
                            static_cast<std::int16_t>(options.height)});
        }
        for (int y = 0; y < options.height; y += 80) {
            grid.push_back({0, static_cast<std::int16_t>(y), static_cast<std::int16_t>(options.width),
                            static_cast<std::int16_t>(y)});
        }
        xcb_poly_segment(connection, window, gc, static_cast<std::uint32_t>(grid.size()), grid.data());
        std::vector<xcb_rectangle_t> up, down;
        for (int i = 1; i < candles; ++i) {
            const double open = prices[first + i - 1];
            double close = prices[first + i];
            if (i == candles - 1) close += std::sin(frame * 0.3) * 2.0;
            const std::int16_t top = std::min(yOf(open), yOf(close));
            const std::int16_t bottom = std::max(yOf(open), yOf(close));
            const xcb_rectangle_t body{static_cast<std::int16_t>(i * candleWidth), top, candleWidth - 2,
                                       static_cast<std::uint16_t>(std::max(1, bottom - top))};
            (close >= open ? up : down).push_back(body);
        }
        setColor(0x26a69a);
        xcb_poly_fill_rectangle(connection, window, gc, static_cast<std::uint32_t>(up.size()), up.data());
        setColor(0xef5350);
        xcb_poly_fill_rectangle(connection, window, gc, static_cast<std::uint32_t>(down.size()), down.data());
        // A position line with its entry badge at a fixed price level of the visible range.
        const std::int16_t entryY = yOf(low + span * 0.4);
        setColor(0x2962ff);
        const xcb_segment_t positionLine{0, entryY, static_cast<std::int16_t>(options.width), entryY};
        xcb_poly_segment(connection, window, gc, 1, &positionLine);
        const xcb_rectangle_t badge{20, static_cast<std::int16_t>(entryY - 9), 60, 18};
        xcb_poly_fill_rectangle(connection, window, gc, 1, &badge);
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return 0;
}
