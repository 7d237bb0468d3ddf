#pragma once

#include <optional>
#include <set>
#include <string>

namespace halvex {

// The product's application identifiers and what this process knows about itself.
namespace HalvexIdentity {

inline constexpr const char* app = "com.halvex.desktop";
inline constexpr const char* helper = "com.halvex.desktop.capture-helper";

std::set<std::string> all();
// `all`, the running process's own application id when it has one, and "com.github.Electron".
std::set<std::string> runtimeBundleIdentifiers();
// True when `bundleId` is present, not empty and one of runtimeBundleIdentifiers().
bool isOwnProcess(const std::optional<std::string>& bundleId);

// The sandbox's application id when the process runs inside one that publishes it (Flatpak), else "".
std::string ownBundleIdentifier();
// The resolved path of the running executable ("" when it cannot be read).
std::string executablePath();
// The directory holding the running executable: the nearest thing to a bundle on Linux.
std::string bundlePath();

}  // namespace HalvexIdentity
}  // namespace halvex
