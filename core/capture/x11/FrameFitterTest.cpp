#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/capture/x11/FrameFitter.h"
#include "core/capture/x11/X11CursorOverlay.h"

namespace halvex::x11 {
namespace {

using Pixel = std::array<int, 4>;

// Captured pixels as the server leaves them: B, G, R and a fourth byte that is not opaque.
struct CapturedPixels {
    CapturedPixels(int width, int height, Pixel left, Pixel right) : rowBytes(static_cast<std::size_t>(width) * 4 + 8) {
        bytes.assign(rowBytes * static_cast<std::size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Pixel& colour = x < width / 2 ? left : right;
                for (int c = 0; c < 4; ++c) bytes[static_cast<std::size_t>(y) * rowBytes + x * 4 + c] = static_cast<std::uint8_t>(colour[c]);
            }
        }
        view = {bytes.data(), width, height, rowBytes};
    }
    std::size_t rowBytes;
    std::vector<std::uint8_t> bytes;
    X11PixelView view;
};

Pixel at(const std::uint8_t* pixel) { return {pixel[0], pixel[1], pixel[2], pixel[3]}; }
Pixel at(const PixelBuffer& image, int x, int y) { return at(image.row(y) + x * 4); }
Pixel at(const X11PixelView& view, int x, int y) { return at(view.pixels + y * view.bytesPerRow + x * 4); }

const Pixel red{0, 0, 255, 0};
const Pixel blue{255, 0, 0, 7};
const Pixel opaqueRed{0, 0, 255, 255};
const Pixel opaqueBlue{255, 0, 0, 255};
const Pixel black{0, 0, 0, 255};

TEST(FrameFitter, CopiesFramesOfTheOutputSizeOpaque) {
    for (const int width : {64, 63}) {  // an odd width has a last pixel of its own
        CapturedPixels source(width, 10, red, blue);
        auto output = PixelBuffer::create(width, 10);
        FrameFitter fitter;
        ASSERT_TRUE(fitter.fit(source.view, *output));
        EXPECT_EQ(at(*output, 0, 0), opaqueRed);
        EXPECT_EQ(at(*output, width - 1, 9), opaqueBlue);
        EXPECT_EQ(at(*output, width / 2 + 1, 5), opaqueBlue);
    }
}

TEST(FrameFitter, CropsTheOddPixelThatEvenOutputSizesLeaveOver) {
    // Every column its own blue level: any resampling would mix neighbours.
    CapturedPixels source(65, 11, red, red);
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 65; ++x) source.bytes[static_cast<std::size_t>(y) * source.rowBytes + x * 4] = static_cast<std::uint8_t>(x * 3);
    }
    auto output = PixelBuffer::create(64, 10);
    FrameFitter fitter;
    ASSERT_TRUE(fitter.fit(source.view, *output));
    for (int x = 0; x < 64; ++x) EXPECT_EQ(at(*output, x, 9), (Pixel{x * 3, 0, 255, 255})) << x;
}

TEST(FrameFitter, LetterboxesOtherSizesOnBlackAndRepaintsReusedBuffers) {
    FrameFitter fitter;
    auto output = PixelBuffer::create(80, 60);
    // A full-size frame first, so the buffer holds colour where the border will be.
    CapturedPixels full(80, 60, red, red);
    ASSERT_TRUE(fitter.fit(full.view, *output));

    CapturedPixels wide(160, 60, red, blue);  // fits as 80 x 30, centred: rows 15 to 44
    ASSERT_TRUE(fitter.fit(wide.view, *output));
    EXPECT_EQ(at(*output, 10, 2), black);
    EXPECT_EQ(at(*output, 70, 57), black);
    EXPECT_EQ(at(*output, 10, 30), opaqueRed);
    EXPECT_EQ(at(*output, 70, 30), opaqueBlue);

    CapturedPixels tall(20, 60, blue, blue);  // fits as 20 x 60 at x 30
    ASSERT_TRUE(fitter.fit(tall.view, *output));
    EXPECT_EQ(at(*output, 5, 30), black);
    EXPECT_EQ(at(*output, 75, 30), black);
    EXPECT_EQ(at(*output, 40, 2), opaqueBlue);

    CapturedPixels small(8, 6, blue, red);  // enlarged to 80 x 60: alpha set on the source side
    ASSERT_TRUE(fitter.fit(small.view, *output));
    EXPECT_EQ(at(*output, 5, 30), opaqueBlue);
    EXPECT_EQ(at(*output, 75, 30), opaqueRed);

    CapturedPixels large(320, 120, blue, red);  // shrunk to 80 x 30: alpha set on the output side
    ASSERT_TRUE(fitter.fit(large.view, *output));
    EXPECT_EQ(at(*output, 5, 2), black);
    EXPECT_EQ(at(*output, 5, 30), opaqueBlue);
    EXPECT_EQ(at(*output, 75, 30), opaqueRed);

    // Back to full size: the border goes again.
    ASSERT_TRUE(fitter.fit(full.view, *output));
    EXPECT_EQ(at(*output, 5, 30), opaqueRed);

    X11PixelView empty;
    EXPECT_FALSE(fitter.fit(empty, *output));
}

TEST(CursorBlending, BlendsPremultipliedPixelsAndClipsToTheFrame) {
    // A 2 x 2 cursor: opaque white, half-transparent black, transparent, premultiplied half red.
    const std::uint32_t cursor[] = {0xFFFFFFFF, 0x80000000, 0x00000000, 0x80800000};
    struct Case {
        int left;
        int top;
        std::vector<std::pair<std::array<int, 2>, Pixel>> expected;  // view pixel and its value
    };
    const Pixel grey{100, 100, 100, 0};
    const Case cases[] = {
        {1, 1, {{{1, 1}, {255, 255, 255, 0}}, {{2, 1}, {50, 50, 50, 0}}, {{1, 2}, grey}, {{2, 2}, {50, 50, 178, 0}}, {{0, 0}, grey}}},
        {-1, -1, {{{0, 0}, {50, 50, 178, 0}}, {{1, 1}, grey}}},  // only the cursor's last pixel is inside
        {3, 3, {{{3, 3}, {255, 255, 255, 0}}, {{2, 2}, grey}}},   // clipped at the right and bottom
        {4, 0, {{{3, 0}, grey}, {{3, 1}, grey}}},                // wholly outside
    };
    for (const auto& item : cases) {
        CapturedPixels frame(4, 4, grey, grey);
        blendPremultipliedARGB(cursor, 2, 2, item.left, item.top, frame.view);
        for (const auto& [position, value] : item.expected) {
            EXPECT_EQ(at(frame.view, position[0], position[1]), value)
                << "cursor at " << item.left << "," << item.top << ", pixel " << position[0] << "," << position[1];
        }
    }
}

}  // namespace
}  // namespace halvex::x11
