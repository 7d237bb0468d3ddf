#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/support/ResponsibleProcess.h"
#include "helper/protocol/ProtocolConstants.h"

namespace halvex {

// The first message on a socket connection, sent as the "hello" event.
struct HelperHello {
    std::int64_t protocolVersion = protocol::protocolVersion;
    std::string version = protocol::helperVersion;
    std::string token;
    std::int32_t processId = 0;
    std::string bundleId;
    std::string bundlePath;
    bool screenPermission = false;
    std::optional<ResponsibleProcess::Info> responsible;
    std::string launchMode = protocol::launchMode;

    bool operator==(const HelperHello&) const = default;
};

struct PingResult {
    std::string version = protocol::helperVersion;
    std::int64_t protocolVersion = protocol::protocolVersion;

    bool operator==(const PingResult&) const = default;
};

struct ThumbnailResult {
    std::string sourceId;
    std::string jpegBase64;

    bool operator==(const ThumbnailResult&) const = default;
};

struct HelperIdentityResult {
    std::string version = protocol::helperVersion;
    std::int64_t protocolVersion = protocol::protocolVersion;
    std::string bundleId;
    std::string bundlePath;
    std::string executablePath;
    std::int32_t processId = 0;
    bool screenPermission = false;
    bool accessibilityPermission = false;
    std::optional<ResponsibleProcess::Info> responsible;

    bool operator==(const HelperIdentityResult&) const = default;
};

nlohmann::json toJSON(const HelperHello& hello);
nlohmann::json toJSON(const PingResult& result);
nlohmann::json toJSON(const ThumbnailResult& result);
nlohmann::json toJSON(const HelperIdentityResult& result);

}  // namespace halvex
