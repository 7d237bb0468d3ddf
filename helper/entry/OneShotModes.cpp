#include "helper/entry/OneShotModes.h"

#include <unistd.h>

#include <filesystem>

#include "core/support/AtomicFile.h"
#include "core/support/DetailedError.h"
#include "core/support/HalvexIdentity.h"
#include "core/support/JSONEncoding.h"
#include "core/support/NativeLog.h"
#include "core/support/ResponsibleProcess.h"
#include "helper/entry/ArgumentValue.h"

namespace halvex {

void writeIdentityProbe(const std::string& path, const HelperEnvironment& environment) {
    if (path.empty() || path.front() != '/') return;
    nlohmann::json probe{{"bundleId", HalvexIdentity::ownBundleIdentifier()},
                         {"bundlePath", HalvexIdentity::bundlePath()},
                         {"processId", static_cast<std::int32_t>(::getpid())},
                         {"screenPermission", environment.permissions->screenCapturePreflight()}};
    ResponsibleProcess::addResponsibleFields(probe, ResponsibleProcess::current());
    try {
        halvexWriteFileAtomically(path, halvexEncodeCompact(probe));
    } catch (const std::exception&) {
    }
}

void runScreenPermissionRequestMode(const std::vector<std::string>& arguments, const HelperEnvironment& environment) {
    const auto result = environment.permissions->requestScreenCapture();
    if (!result.screen) {
        halvexNativeLog(
            "Screen capture is not possible: check that DISPLAY names a running X server this user may connect to "
            "(a Wayland session needs XWayland).");
    }
    const auto resultFile = argumentValue("--result-file", arguments);
    if (!resultFile) {
        halvexNativeLog(std::string("Screen permission request finished (granted=") + (result.screen ? "true" : "false") +
                        "); no --result-file was supplied.");
        return;
    }
    if (resultFile->empty() || resultFile->front() != '/') {
        halvexNativeLog("--result-file must be an absolute path.");
        return;
    }
    const std::string path = std::filesystem::path(*resultFile).lexically_normal().string();
    try {
        halvexWriteFileAtomically(path, halvexEncodeCompact(toJSON(result)));
    } catch (const std::exception& error) {
        halvexNativeLog("Could not write screen permission result to " + path + ": " + error.what());
    }
}

}  // namespace halvex
