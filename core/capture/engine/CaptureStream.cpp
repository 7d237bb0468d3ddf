#include "core/capture/engine/CaptureStream.h"

#include <algorithm>

namespace halvex {

std::int64_t CaptureStreamConfiguration::queueDepthFor(std::int64_t width, std::int64_t height) {
    constexpr std::int64_t budgetBytes = 167'772'160;
    const std::int64_t frameBytes = std::max<std::int64_t>(1, width) * std::max<std::int64_t>(1, height) * 4;
    return std::clamp<std::int64_t>(budgetBytes / frameBytes, 3, 6);
}

}  // namespace halvex
