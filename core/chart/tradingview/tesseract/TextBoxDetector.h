#pragma once

#include <vector>

#include "core/chart/tradingview/tesseract/GreyImage.h"

namespace halvex::tesseract {

// Finds the framed or filled rectangles of one text line's height that screen labels, tags and
// buttons are drawn in. Candles, the series line and drawings often touch a label's outline; read
// inside its rectangle, the label's text is no longer glued to them.
namespace TextBoxDetector {

// Outer bounds of each box: a top and a bottom edge of one grey with the same ends, sides of that
// grey, and rows just inside the edges that are plain fill (so the space between two grid lines,
// crossed by candles, does not count). Boxes are 12 to 56 rows high (times the screen density),
// at least twice as wide as high and at most 20 times. Boxes inside another box are left out.
std::vector<PixelBox> boxes(const GreyImage& grey, double density);

}  // namespace TextBoxDetector

}  // namespace halvex::tesseract
