#include "core/capture/CaptureRecordMode.h"

#include "core/support/HalvexNativeError.h"

namespace halvex {
namespace {

const std::string& rollingName() {
    static const std::string name = "rolling";
    return name;
}
const std::string& onTradeName() {
    static const std::string name = "on-trade";
    return name;
}

}  // namespace

const std::string& rawValue(CaptureRecordMode mode) {
    return mode == CaptureRecordMode::onTrade ? onTradeName() : rollingName();
}

std::optional<CaptureRecordMode> parseCaptureRecordMode(const std::string& text) {
    if (text == rollingName()) return CaptureRecordMode::rolling;
    if (text == onTradeName()) return CaptureRecordMode::onTrade;
    return std::nullopt;
}

CaptureRecordMode parseCaptureRecordModeStrict(const std::string& text) {
    if (const auto mode = parseCaptureRecordMode(text)) return *mode;
    throw HalvexNativeError::invalidPayload("recordMode must be \"rolling\" or \"on-trade\", not \"" + text + "\".");
}

}  // namespace halvex
