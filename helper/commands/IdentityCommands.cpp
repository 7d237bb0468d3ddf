#include "helper/commands/IdentityCommands.h"

#include <unistd.h>

#include "core/support/HalvexIdentity.h"
#include "core/support/ResponsibleProcess.h"

namespace halvex::IdentityCommands {

nlohmann::json ping() { return toJSON(PingResult{}); }

nlohmann::json permissions(const HelperEnvironment& environment) {
    return toJSON(environment.permissions->snapshot());
}

nlohmann::json requestScreenPermission(const HelperEnvironment& environment) {
    return toJSON(environment.permissions->requestScreenCapture());
}

nlohmann::json identity(const HelperEnvironment& environment) { return toJSON(gatherIdentity(environment)); }

HelperIdentityResult gatherIdentity(const HelperEnvironment& environment) {
    const auto snapshot = environment.permissions->snapshot();
    HelperIdentityResult result;
    result.bundleId = HalvexIdentity::ownBundleIdentifier();
    result.bundlePath = HalvexIdentity::bundlePath();
    result.executablePath = HalvexIdentity::executablePath();
    if (result.executablePath.empty()) result.executablePath = environment.firstArgument;
    result.processId = static_cast<std::int32_t>(::getpid());
    result.screenPermission = snapshot.screen;
    result.accessibilityPermission = snapshot.accessibility;
    result.responsible = ResponsibleProcess::current();
    return result;
}

HelperHello gatherHello(const HelperEnvironment& environment, const std::string& token) {
    HelperHello hello;
    hello.token = token;
    hello.processId = static_cast<std::int32_t>(::getpid());
    hello.bundleId = HalvexIdentity::ownBundleIdentifier();
    hello.bundlePath = HalvexIdentity::bundlePath();
    hello.screenPermission = environment.permissions->screenCapturePreflight();
    hello.responsible = ResponsibleProcess::current();
    return hello;
}

}  // namespace halvex::IdentityCommands
