#pragma once

#include <nlohmann/json.hpp>

#include "helper/commands/HelperEnvironment.h"
#include "helper/protocol/Payload.h"

namespace halvex::SourceCommands {

// "listSources": no payload; the catalog's listing.
nlohmann::json listSources(const HelperEnvironment& environment);

// "sourceThumbnail": `sourceType` and `sourceId` (required texts, passed on as sent) and
// `maxWidth` (number, default 480, rounded half away from zero, 64...1920), checked in that order.
// Answers a ThumbnailResult whose `sourceId` is sourceType + ":" + sourceId.
nlohmann::json sourceThumbnail(const HelperEnvironment& environment, const Payload& payload);

}  // namespace halvex::SourceCommands
