#include "core/support/NativePermissions.h"

namespace halvex {

nlohmann::json toJSON(const NativePermissionSnapshot& snapshot) {
    return {{"screen", snapshot.screen}, {"accessibility", snapshot.accessibility}};
}

nlohmann::json toJSON(const ScreenPermissionRequestResult& result) {
    return {{"screen", result.screen}, {"requiresRestart", result.requiresRestart}};
}

NativePermissionSnapshot NativePermissions::snapshot() const {
    const auto access = probe_->probe();
    return {access.displayReachable && access.screenReadable, access.displayReachable};
}

ScreenPermissionRequestResult NativePermissions::requestScreenCapture() const {
    return {snapshot().screen, false};
}

}  // namespace halvex
