#include <gtest/gtest.h>

#include "core/sources/x11/X11Connection.h"
#include "core/sources/x11/X11ImageReader.h"
#include "core/sources/x11/X11PaintedWindow.h"
#include "core/support/PlatformError.h"
#include "tests/support/XvfbServer.h"

namespace halvex::x11 {
namespace {

// The B, G, R bytes of a view and of an image agree everywhere.
::testing::AssertionResult samePixels(const X11PixelView& view, const PixelBuffer& image) {
    if (view.width != image.width() || view.height != image.height()) {
        return ::testing::AssertionFailure() << "view " << view.width << "x" << view.height << ", image "
                                             << image.width() << "x" << image.height();
    }
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (view.pixels[y * view.bytesPerRow + x * 4 + c] != image.row(y)[x * 4 + c]) {
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(X11ImageReaderRetained, ReadsWhatOneOffReadsSeeThroughSharedMemoryAndGetImage) {
    testing::XvfbServer xvfb{640, 480, 24};
    ASSERT_TRUE(xvfb.running());
    auto connection = X11Connection::open(xvfb.display());
    auto painted = X11PaintedWindow::create(
        xvfb.display(), {.x = 20, .y = 30, .width = 300, .height = 200, .colours = {0xFF0000, 0x00FF00, 0x0000FF}});
    ASSERT_TRUE(painted);
    X11ImageReader reference;
    const auto small = reference.read(*connection, connection->root(), 100, 100, 120, 40);
    const auto screen = reference.readScreenArea(*connection, {0, 0, 640, 480});
    const auto window = reference.readWindow(*connection, painted->id());
    for (const bool shared : {true, false}) {
        X11ImageReader reader;
        if (!shared) reader.disableSharedMemory();
        const char* mode = shared ? "MIT-SHM" : "GetImage";
        // Small first, then larger areas, so a retained segment has to grow.
        EXPECT_TRUE(samePixels(reader.readRetained(*connection, connection->root(), 100, 100, 120, 40), *small)) << mode;
        EXPECT_TRUE(samePixels(reader.readScreenAreaRetained(*connection, {-10, -10, 700, 500}), *screen)) << mode;
        EXPECT_TRUE(samePixels(reader.readWindowRetained(*connection, painted->id()), *window)) << mode;
        EXPECT_THROW(reader.readRetained(*connection, connection->root(), 600, 0, 100, 10), PlatformError) << mode;
        EXPECT_THROW(reader.readWindowRetained(*connection, painted->id() + 99), PlatformError) << mode;
        // The test's own server shares this process's memory: MIT-SHM must really have been used.
        if (shared && connection->hasShm()) {
            EXPECT_TRUE(reader.sharedMemoryUsable());
        }
        reader.releaseRetained(*connection);
        EXPECT_TRUE(samePixels(reader.readRetained(*connection, connection->root(), 100, 100, 120, 40), *small)) << mode;
        reader.releaseRetained(*connection);
    }
}

}  // namespace
}  // namespace halvex::x11
