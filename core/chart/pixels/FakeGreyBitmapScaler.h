#pragma once

#include <cstdint>
#include <optional>

#include "core/chart/pixels/GreyBitmapScaler.h"

namespace halvex {

// A scaler for tests and demos: nearest-neighbour drawing (enough to check geometry), a switch that
// makes every call fail, and a record of what was asked.
class FakeGreyBitmapScaler final : public GreyBitmapScaler {
public:
    std::optional<GreyBitmap> scaled(const GreyBitmap& source, std::int64_t width, std::int64_t height) const override;

    void setFailing(bool failing) { failing_ = failing; }
    int calls() const { return calls_; }
    std::int64_t lastWidth() const { return lastWidth_; }
    std::int64_t lastHeight() const { return lastHeight_; }

private:
    bool failing_ = false;
    mutable int calls_ = 0;
    mutable std::int64_t lastWidth_ = 0;
    mutable std::int64_t lastHeight_ = 0;
};

}  // namespace halvex
