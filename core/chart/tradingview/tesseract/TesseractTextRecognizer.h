#pragma once

#include <cstdint>
#include <memory>

#include "core/chart/tradingview/TextRecognizer.h"
#include "core/chart/tradingview/tesseract/TextRegionCache.h"

namespace halvex::tesseract {

// The Linux text recogniser: finds text lines in the image (or, for a small image such as a
// magnified label crop, its row bands), normalises each to dark text on light at an x-height near
// 20 pixels and reads it as one line with a pooled Tesseract engine. Regions whose pixels did not
// change since an earlier call are answered from the cache. Safe to call from several threads.
class TesseractTextRecognizer : public TextRecognizer {
public:
    static std::shared_ptr<TesseractTextRecognizer> create();

    std::vector<RecognizedTextLine> recognize(const TextImage& image, const TextRecognitionSettings& settings) override;

    // Initialises one engine for the chart reading settings on a background thread, runs it once
    // on a blank image and logs the time; the engine then serves the first scan. Once per process.
    void prewarm() override;

    const TextRegionCache& cache() const { return cache_; }

private:
    TesseractTextRecognizer() = default;

    TextRegionCache cache_;
};

}  // namespace halvex::tesseract
