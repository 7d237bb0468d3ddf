#include "core/support/HalvexNativeError.h"

#include <utility>

namespace halvex {
namespace {

std::string describe(HalvexNativeError::Kind kind, const std::string& payload) {
    switch (kind) {
    case HalvexNativeError::Kind::invalidPayload:
        return "Invalid payload: " + payload;
    case HalvexNativeError::Kind::sourceNotFound:
        return "Capture source " + payload + " is no longer available. Refresh the source list and try again.";
    case HalvexNativeError::Kind::tradeNotFound:
        return "Trade session " + payload + " has not been marked.";
    case HalvexNativeError::Kind::writerFailed:
        return "The video writer failed: " + payload;
    case HalvexNativeError::Kind::captureAlreadyRunning:
        return "A capture session is already running.";
    case HalvexNativeError::Kind::captureNotRunning:
        return "No capture session is running.";
    }
    return {};
}

}  // namespace

HalvexNativeError::HalvexNativeError(Kind kind, std::string payload)
    : kind_(kind), payload_(std::move(payload)), description_(describe(kind_, payload_)) {}

HalvexNativeError HalvexNativeError::invalidPayload(std::string message) {
    return {Kind::invalidPayload, std::move(message)};
}
HalvexNativeError HalvexNativeError::sourceNotFound(std::string sourceId) {
    return {Kind::sourceNotFound, std::move(sourceId)};
}
HalvexNativeError HalvexNativeError::tradeNotFound(std::string sessionId) {
    return {Kind::tradeNotFound, std::move(sessionId)};
}
HalvexNativeError HalvexNativeError::writerFailed(std::string message) {
    return {Kind::writerFailed, std::move(message)};
}
HalvexNativeError HalvexNativeError::captureAlreadyRunning() { return {Kind::captureAlreadyRunning, {}}; }
HalvexNativeError HalvexNativeError::captureNotRunning() { return {Kind::captureNotRunning, {}}; }

}  // namespace halvex
