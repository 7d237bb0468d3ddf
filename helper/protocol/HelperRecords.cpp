#include "helper/protocol/HelperRecords.h"

namespace halvex {

nlohmann::json toJSON(const HelperHello& hello) {
    nlohmann::json json{{"protocolVersion", hello.protocolVersion},
                        {"version", hello.version},
                        {"token", hello.token},
                        {"processId", hello.processId},
                        {"bundleId", hello.bundleId},
                        {"bundlePath", hello.bundlePath},
                        {"screenPermission", hello.screenPermission},
                        {"launchMode", hello.launchMode}};
    ResponsibleProcess::addResponsibleFields(json, hello.responsible);
    return json;
}

nlohmann::json toJSON(const PingResult& result) {
    return {{"version", result.version}, {"protocolVersion", result.protocolVersion}};
}

nlohmann::json toJSON(const ThumbnailResult& result) {
    return {{"sourceId", result.sourceId}, {"jpegBase64", result.jpegBase64}};
}

nlohmann::json toJSON(const HelperIdentityResult& result) {
    nlohmann::json json{{"version", result.version},
                        {"protocolVersion", result.protocolVersion},
                        {"bundleId", result.bundleId},
                        {"bundlePath", result.bundlePath},
                        {"executablePath", result.executablePath},
                        {"processId", result.processId},
                        {"screenPermission", result.screenPermission},
                        {"accessibilityPermission", result.accessibilityPermission}};
    ResponsibleProcess::addResponsibleFields(json, result.responsible);
    return json;
}

}  // namespace halvex
