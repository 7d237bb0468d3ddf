#include "core/chart/tradingview/tesseract/TextImageFile.h"

#include <leptonica/allheaders.h>

#include <filesystem>
#include <memory>

#include "core/support/PlatformError.h"

namespace halvex::tesseract {

namespace {

struct PixRelease {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<PIX, PixRelease>;

}  // namespace

TextImageFile TextImageFile::read(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw PlatformError("Leptonica", 1, "Image path does not exist.").withField("path", path);
    }
    PixPointer decoded(pixRead(path.c_str()));
    if (!decoded) throw PlatformError("Leptonica", 2, "Image could not be decoded.").withField("path", path);
    PixPointer colour(pixConvertTo32(decoded.get()));
    if (!colour) throw PlatformError("Leptonica", 3, "Image could not be decoded.").withField("path", path);
    TextImageFile file;
    file.width = pixGetWidth(colour.get());
    file.height = pixGetHeight(colour.get());
    file.rgbx.resize(static_cast<std::size_t>(file.width * file.height * 4));
    const l_uint32* data = pixGetData(colour.get());
    const std::int64_t wordsPerLine = pixGetWpl(colour.get());
    std::uint8_t* target = file.rgbx.data();
    for (std::int64_t y = 0; y < file.height; ++y) {
        const l_uint32* line = data + y * wordsPerLine;
        for (std::int64_t x = 0; x < file.width; ++x) {
            const l_uint32 word = line[x];
            *target++ = static_cast<std::uint8_t>(word >> L_RED_SHIFT);
            *target++ = static_cast<std::uint8_t>(word >> L_GREEN_SHIFT);
            *target++ = static_cast<std::uint8_t>(word >> L_BLUE_SHIFT);
            *target++ = 255;
        }
    }
    return file;
}

}  // namespace halvex::tesseract
