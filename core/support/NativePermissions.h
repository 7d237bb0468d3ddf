#pragma once

#include <memory>

#include <nlohmann/json.hpp>

#include "core/support/ScreenAccessProbe.h"

namespace halvex {

struct NativePermissionSnapshot {
    bool screen = false;
    bool accessibility = false;

    bool operator==(const NativePermissionSnapshot&) const = default;
};

struct ScreenPermissionRequestResult {
    bool screen = false;
    bool requiresRestart = false;

    bool operator==(const ScreenPermissionRequestResult&) const = default;
};

nlohmann::json toJSON(const NativePermissionSnapshot& snapshot);
nlohmann::json toJSON(const ScreenPermissionRequestResult& result);

// Permission queries. X11 grants nothing per application: `screen` means the display named by
// DISPLAY opens and its root window can be read; `accessibility` means the display opens, since any
// X client may then inspect other windows and send them input. Nothing ever prompts.
class NativePermissions {
public:
    explicit NativePermissions(std::shared_ptr<ScreenAccessProbe> probe) : probe_(std::move(probe)) {}

    NativePermissionSnapshot snapshot() const;
    // No prompt exists on X11: the answer is the same test, and a restart is never needed.
    ScreenPermissionRequestResult requestScreenCapture() const;
    bool screenCapturePreflight() const { return snapshot().screen; }

private:
    std::shared_ptr<ScreenAccessProbe> probe_;
};

}  // namespace halvex
