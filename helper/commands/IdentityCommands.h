#pragma once

#include <nlohmann/json.hpp>

#include "helper/commands/HelperEnvironment.h"
#include "helper/protocol/HelperRecords.h"

namespace halvex::IdentityCommands {

// "ping", "permissions", "requestScreenPermission" and "identity": none reads a payload.
nlohmann::json ping();
nlohmann::json permissions(const HelperEnvironment& environment);
nlohmann::json requestScreenPermission(const HelperEnvironment& environment);
nlohmann::json identity(const HelperEnvironment& environment);

// The records the hello and "identity" are built from.
HelperIdentityResult gatherIdentity(const HelperEnvironment& environment);
HelperHello gatherHello(const HelperEnvironment& environment, const std::string& token);

}  // namespace halvex::IdentityCommands
