#include "tests/support/pixels/PngFixture.h"

#include <png.h>

#include <cstring>

namespace halvex::testing {

std::optional<DecodedPng> decodePngFile(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    DecodedPng decoded;
    decoded.width = image.width;
    decoded.height = image.height;
    decoded.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return decoded;
}

std::string chartlabFixturesDirectory() { return HALVEX_CHARTLAB_FIXTURES_DIR; }

}  // namespace halvex::testing
