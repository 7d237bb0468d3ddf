#include "core/chart/pixels/PixelPainter.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

using Color = PixelPainter::Color;
using Order = PixelFrame::ChannelOrder;

TEST(PixelPainterTest, DrawsInTheFramesChannelOrderAndClipsToIt) {
    for (const Order order : {Order::rgba, Order::bgra}) {
        PixelFrame frame = PixelPainter::blankFrame(20, 10, Color::hex(0x102030), order);
        PixelPainter painter(frame);
        painter.fillRect({-5, -5, 3, 3}, Color::hex(0xff8000));
        painter.setPixel(20, 0, Color::hex(0xffffff));  // outside: ignored
        EXPECT_EQ(frame.color(2, 2), (PixelFrame::RGB{1.0, 128 / 255.0, 0.0}));
        EXPECT_EQ(frame.color(3, 3), (PixelFrame::RGB{0x10 / 255.0, 0x20 / 255.0, 0x30 / 255.0}));
        EXPECT_EQ(frame.rgba.size(), 20u * 10u * 4u);
    }
}

TEST(PixelPainterTest, LinesBoxesAndNoise) {
    PixelFrame frame = PixelPainter::blankFrame(40, 20, Color::hex(0xffffff));
    PixelPainter painter(frame);
    const Color ink = Color::hex(0x000000);
    painter.horizontalLine(1, 0, 40, ink, 1, PixelPainter::LineStyle::dotted);
    painter.horizontalLine(3, 0, 40, ink, 2, PixelPainter::LineStyle::dashed, 6, 4);
    EXPECT_EQ(frame.color(0, 1)->red, 0.0);
    EXPECT_EQ(frame.color(1, 1)->red, 1.0);
    EXPECT_EQ(frame.color(5, 4)->red, 0.0);
    EXPECT_EQ(frame.color(6, 4)->red, 1.0);
    EXPECT_EQ(frame.color(10, 3)->red, 0.0);

    painter.strokeRect({10, 8, 20, 18}, ink, 2);
    EXPECT_EQ(frame.color(11, 9)->red, 0.0);
    EXPECT_EQ(frame.color(15, 13)->red, 1.0);  // hollow inside

    PixelFrame first = PixelPainter::blankFrame(40, 20, Color::hex(0xffffff));
    PixelFrame second = first;
    PixelPainter(first).textNoise({22, 4, 38, 16}, ink, 9);
    PixelPainter(second).textNoise({22, 4, 38, 16}, ink, 9);
    EXPECT_EQ(first, second);
    int inked = 0;
    for (std::int64_t y = 0; y < 20; ++y) {
        for (std::int64_t x = 0; x < 40; ++x) {
            if (first.color(x, y)->red != 0.0) continue;
            ++inked;
            EXPECT_TRUE(x >= 22 && x < 38 && y >= 4 && y < 16) << x << "," << y;
        }
    }
    EXPECT_GT(inked, 10);
}

}  // namespace
}  // namespace halvex
