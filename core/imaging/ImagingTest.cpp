#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/imaging/BGRAScaler.h"
#include "core/imaging/JPEGCodec.h"

namespace halvex {
namespace {

// Left half pure red, right half pure blue, in BGRA.
std::shared_ptr<PixelBuffer> twoColourImage(int width, int height) {
    auto image = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = image->row(y) + x * 4;
            const bool left = x < width / 2;
            pixel[0] = left ? 0 : 255;
            pixel[1] = 0;
            pixel[2] = left ? 255 : 0;
            pixel[3] = 255;
        }
    }
    return image;
}

void expectColour(const PixelBuffer& image, int x, int y, int blue, int green, int red, int tolerance = 12) {
    const std::uint8_t* pixel = image.row(y) + x * 4;
    EXPECT_NEAR(pixel[0], blue, tolerance) << x << "," << y;
    EXPECT_NEAR(pixel[1], green, tolerance) << x << "," << y;
    EXPECT_NEAR(pixel[2], red, tolerance) << x << "," << y;
    EXPECT_EQ(pixel[3], 255) << x << "," << y;
}

TEST(JPEGCodec, RoundTripsSizeAndColours) {
    const auto image = twoColourImage(130, 66);
    const auto jpeg = JPEGCodec::encode(*image, 0.7);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    const auto decoded = JPEGCodec::decode(jpeg);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width(), 130);
    EXPECT_EQ(decoded->height(), 66);
    expectColour(*decoded, 20, 30, 0, 0, 255);
    expectColour(*decoded, 110, 30, 255, 0, 0);
    // Lower quality gives fewer bytes; out-of-range qualities are clamped rather than refused.
    EXPECT_LT(JPEGCodec::encode(*twoColourImage(256, 256), 0.1).size(), JPEGCodec::encode(*twoColourImage(256, 256), 1.0).size());
    EXPECT_FALSE(JPEGCodec::encode(*image, -3).empty());
    EXPECT_FALSE(JPEGCodec::encode(*image, std::nan("")).empty());
}

TEST(JPEGCodec, RefusesWhatItCannotHandle) {
    EXPECT_FALSE(JPEGCodec::decode({}));
    EXPECT_FALSE(JPEGCodec::decode({0xFF, 0xD8, 0xFF, 0xD9}));
    EXPECT_FALSE(JPEGCodec::decode(std::vector<std::uint8_t>(1000, 0x42)));
    EXPECT_TRUE(JPEGCodec::encode(*PixelBuffer::create(4, 4, 0x34323076), 0.7).empty());
}

TEST(BGRAScaler, FitsKeepingTheAspectRatioOnBlack) {
    BGRAScaler scaler;
    const auto source = twoColourImage(400, 100);
    const auto fitted = scaler.fitted(*source, 64, 64);
    ASSERT_TRUE(fitted);
    EXPECT_EQ(BGRAScaler::placement(400, 100, 64, 64), (FittedPlacement{0, 24, 64, 16}));
    expectColour(*fitted, 10, 2, 0, 0, 0, 0);    // bar above
    expectColour(*fitted, 10, 61, 0, 0, 0, 0);   // bar below
    expectColour(*fitted, 10, 32, 0, 0, 255, 2);
    expectColour(*fitted, 54, 32, 255, 0, 0, 2);
    const auto stretched = scaler.scaled(*source, 800, 50);
    ASSERT_TRUE(stretched);
    expectColour(*stretched, 100, 25, 0, 0, 255, 2);
    expectColour(*stretched, 700, 25, 255, 0, 0, 2);
    const auto same = scaler.scaled(*source, 400, 100);
    ASSERT_TRUE(same);
    EXPECT_EQ(std::memcmp(same->row(50), source->row(50), 400 * 4), 0);
}

TEST(BGRAScaler, RefusesBadRectanglesInsteadOfWritingOutside) {
    BGRAScaler scaler;
    const auto source = twoColourImage(10, 10);
    auto destination = PixelBuffer::create(20, 20);
    EXPECT_FALSE(scaler.scale(source->data(), 10, 10, source->bytesPerRow(), *destination, {15, 0, 10, 10}));
    EXPECT_FALSE(scaler.scale(source->data(), 10, 10, source->bytesPerRow(), *destination, {-1, 0, 10, 10}));
    EXPECT_FALSE(scaler.scale(source->data(), 0, 10, source->bytesPerRow(), *destination, {0, 0, 10, 10}));
    EXPECT_FALSE(scaler.scale(nullptr, 10, 10, source->bytesPerRow(), *destination, {0, 0, 10, 10}));
    EXPECT_FALSE(scaler.fitted(*source, 0, 10));
    EXPECT_TRUE(scaler.scale(source->data(), 10, 10, source->bytesPerRow(), *destination, {10, 10, 10, 10}));
}

}  // namespace
}  // namespace halvex
