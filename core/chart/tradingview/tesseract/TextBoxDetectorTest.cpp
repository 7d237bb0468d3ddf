#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/chart/tradingview/tesseract/TextBoxDetector.h"

namespace halvex::tesseract {
namespace {

constexpr std::uint8_t kBackground = 235;
constexpr std::uint8_t kOutline = 70;

class Canvas {
public:
    Canvas(std::int64_t width, std::int64_t height) {
        image_.width = width;
        image_.height = height;
        image_.pixels.assign(static_cast<std::size_t>(width * height), kBackground);
    }

    Canvas& fill(const PixelBox& box, std::uint8_t grey) {
        for (std::int64_t y = box.minY; y < box.maxY; ++y) {
            for (std::int64_t x = box.minX; x < box.maxX; ++x) image_.pixels[static_cast<std::size_t>(y * image_.width + x)] = grey;
        }
        return *this;
    }

    // A one-pixel outline of `grey` around `box` with the inside left as it is.
    Canvas& frame(const PixelBox& box, std::uint8_t grey) {
        fill({box.minX, box.minY, box.maxX, box.minY + 1}, grey);
        fill({box.minX, box.maxY - 1, box.maxX, box.maxY}, grey);
        fill({box.minX, box.minY, box.minX + 1, box.maxY}, grey);
        return fill({box.maxX - 1, box.minY, box.maxX, box.maxY}, grey);
    }

    // Blocks of glyph height standing in for a word's letters.
    Canvas& word(std::int64_t x, std::int64_t top, int letters, std::uint8_t grey) {
        for (int i = 0; i < letters; ++i) fill({x + i * 9, top, x + i * 9 + 6, top + 12}, grey);
        return *this;
    }

    const GreyImage& image() const { return image_; }

private:
    GreyImage image_;
};

TEST(TextBoxDetector, findsAFramedLabelThatCandlesAndItsLineTouch) {
    Canvas canvas(400, 200);
    const PixelBox label{100, 80, 260, 104};
    canvas.fill({0, 91, 400, 93}, kOutline)  // the position line runs through the label
        .fill(label, kBackground)
        .frame(label, kOutline)
        .word(110, 86, 12, 20)
        .fill({150, 40, 160, 80}, 120)    // a candle body standing on the label's top edge
        .fill({200, 104, 212, 150}, 60);  // and one hanging from its bottom edge
    EXPECT_EQ(TextBoxDetector::boxes(canvas.image(), 1.0), std::vector<PixelBox>{label});
}

TEST(TextBoxDetector, findsTheWholeLabelAroundAFilledBadgeAndItsFramedCells) {
    Canvas canvas(400, 200);
    const PixelBox badge{60, 50, 90, 76};
    const PixelBox amount{89, 50, 200, 76};
    const PixelBox close{199, 50, 225, 76};
    canvas.fill(badge, kOutline).word(66, 57, 2, 250).frame(amount, kOutline).word(96, 57, 10, 20).frame(close, kOutline);
    EXPECT_EQ(TextBoxDetector::boxes(canvas.image(), 1.0), (std::vector<PixelBox>{{60, 50, 225, 76}}));
}

TEST(TextBoxDetector, leavesOutGridCellsCrossedByCandlesAndBoxesOfTheWrongSize) {
    struct Case {
        std::string what;
        PixelBox box;
        bool crossedByCandles;
    };
    const Case cases[] = {
        {"grid cell with candles", {20, 40, 380, 80}, true},
        {"lower than a line of text", {50, 50, 200, 60}, false},
        {"higher than a line of text", {50, 40, 250, 110}, false},
        {"narrower than twice its height", {50, 50, 80, 70}, false},
        {"wider than twenty heights", {5, 50, 395, 64}, false},
    };
    for (const Case& c : cases) {
        Canvas canvas(400, 200);
        canvas.frame(c.box, kOutline);
        if (c.crossedByCandles) {
            for (std::int64_t x = c.box.minX + 12; x + 8 < c.box.maxX; x += 30) {
                canvas.fill({x, c.box.minY + 2 + (x % 7), x + 2, c.box.maxY - 2}, 120);  // wick
                canvas.fill({x - 3, c.box.minY + 9, x + 5, c.box.maxY - 9}, 120);        // body
            }
        } else {
            canvas.word(c.box.minX + 4, c.box.minY + 2, 2, 20);
        }
        EXPECT_TRUE(TextBoxDetector::boxes(canvas.image(), 1.0).empty()) << c.what;
    }
}

TEST(TextBoxDetector, keepsTallerLabelsOnDenserScreensAndIgnoresTinyImages) {
    Canvas canvas(800, 300);
    const PixelBox label{100, 100, 400, 170};  // 70 rows: a label at twice the pixel density
    canvas.frame(label, kOutline).word(120, 125, 20, 20);
    EXPECT_TRUE(TextBoxDetector::boxes(canvas.image(), 1.0).empty());
    EXPECT_EQ(TextBoxDetector::boxes(canvas.image(), 2.0), std::vector<PixelBox>{label});
    EXPECT_TRUE(TextBoxDetector::boxes(Canvas(10, 10).image(), 1.0).empty());
}

}  // namespace
}  // namespace halvex::tesseract
