#pragma once

#include <cstdint>
#include <vector>

#include "core/chart/tradingview/tesseract/GreyImage.h"

namespace halvex::tesseract {

// Finds the regions of a screen image that hold text, before any recognition runs. Chart pictures
// are mostly lines, candles and grid, which a recogniser run over the whole frame confuses with
// small text; these operations keep only compact, textured blobs of text height, in either
// polarity (dark on light or light on a coloured badge).
namespace TextLineDetector {

// Contrast at which a pixel counts as part of a stroke (frame pass) or an edge (band pass).
inline constexpr int kEdgeThreshold = 40;

// Text regions of a whole frame: thin strokes in both polarities (grey top-hat and black-hat, so
// filled candle bodies, badges and buttons drop out), with long thin rows (position, order and grid
// lines) and long vertical runs (wicks, dividers, outlines) removed, closed horizontally into
// words, grouped into connected components, split at sparse rows and merged along rows with
// neighbours of similar height. Each box has a margin above and below for the background estimate
// and may hold stacked lines. Labels drawn in a framed or filled box (see TextBoxDetector) are one
// region each, the box itself, kept apart from whatever touches its outline. Boxes are in reading
// order. Work buffers are reused per thread.
std::vector<PixelBox> frameRegions(const GreyImage& grey);

// Text regions of a small image (a magnified crop holding a few lines): the row bands that hold
// edges, each trimmed to the columns that hold edges. No line or candle suppression.
std::vector<PixelBox> bandRegions(const GreyImage& grey);

// Whether an image is small enough to be read band by band without the frame pass.
bool isSmallImage(std::int64_t width, std::int64_t height);

}  // namespace TextLineDetector

}  // namespace halvex::tesseract
