#include "core/imaging/JPEGCodec.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>

namespace halvex::JPEGCodec {
namespace {

// One TurboJPEG handle per use: handles are not shareable between threads, and creating one is cheap.
struct Handle {
    explicit Handle(tjhandle value) : handle(value) {}
    ~Handle() {
        if (handle) tjDestroy(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    tjhandle handle;
};

}  // namespace

std::vector<std::uint8_t> encode(const PixelBuffer& image, double quality) {
    if (image.pixelFormat() != PixelFormat::bgra || image.width() <= 0 || image.height() <= 0) return {};
    const Handle compressor(tjInitCompress());
    if (!compressor.handle) return {};
    const double clamped = std::isfinite(quality) ? std::clamp(quality, 0.0, 1.0) : 0.7;
    const int libjpegQuality = std::clamp(static_cast<int>(std::lround(clamped * 100)), 1, 100);
    unsigned char* output = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(compressor.handle, image.data(), image.width(), static_cast<int>(image.bytesPerRow()),
                                   image.height(), TJPF_BGRA, &output, &size, TJSAMP_420, libjpegQuality,
                                   TJFLAG_FASTDCT);
    std::vector<std::uint8_t> bytes;
    if (status == 0 && output && size > 0) bytes.assign(output, output + size);
    tjFree(output);
    return bytes;
}

std::shared_ptr<PixelBuffer> decode(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return nullptr;
    const Handle decompressor(tjInitDecompress());
    if (!decompressor.handle) return nullptr;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decompressor.handle, bytes.data(), bytes.size(), &width, &height, &subsampling,
                            &colourspace) != 0 ||
        width <= 0 || height <= 0) {
        return nullptr;
    }
    auto image = PixelBuffer::create(width, height);
    if (tjDecompress2(decompressor.handle, bytes.data(), bytes.size(), image->data(), width,
                      static_cast<int>(image->bytesPerRow()), height, TJPF_BGRA, 0) != 0) {
        return nullptr;
    }
    return image;
}

}  // namespace halvex::JPEGCodec
