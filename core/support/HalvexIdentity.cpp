#include "core/support/HalvexIdentity.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace halvex::HalvexIdentity {

std::set<std::string> all() { return {app, helper}; }

std::set<std::string> runtimeBundleIdentifiers() {
    auto identifiers = all();
    if (const auto own = ownBundleIdentifier(); !own.empty()) identifiers.insert(own);
    identifiers.insert("com.github.Electron");
    return identifiers;
}

bool isOwnProcess(const std::optional<std::string>& bundleId) {
    if (!bundleId || bundleId->empty()) return false;
    return runtimeBundleIdentifiers().count(*bundleId) > 0;
}

std::string ownBundleIdentifier() {
    // Flatpak publishes the application id in the environment and marks the sandbox with this file.
    std::error_code error;
    if (!std::filesystem::exists("/.flatpak-info", error)) return {};
    const char* id = std::getenv("FLATPAK_ID");
    return id ? std::string(id) : std::string();
}

std::string executablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string bundlePath() {
    const auto executable = executablePath();
    if (executable.empty()) return {};
    return std::filesystem::path(executable).parent_path().string();
}

}  // namespace halvex::HalvexIdentity
