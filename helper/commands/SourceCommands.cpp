#include "helper/commands/SourceCommands.h"

#include "core/sources/SourceCatalog.h"
#include "core/support/Base64.h"
#include "core/support/HalvexNativeError.h"
#include "helper/protocol/HelperRecords.h"

namespace halvex::SourceCommands {
namespace {

constexpr double defaultMaxWidth = 480;
constexpr std::int64_t minimumMaxWidth = 64;
constexpr std::int64_t maximumMaxWidth = 1920;
constexpr const char* maxWidthRangeMessage = "maxWidth must be between 64 and 1920.";
constexpr const char* noCatalogMessage = "Source listing is not available in this build.";

const SourceCatalog& catalogOf(const HelperEnvironment& environment) {
    if (!environment.sources) throw HalvexNativeError::invalidPayload(noCatalogMessage);
    return *environment.sources;
}

}  // namespace

nlohmann::json listSources(const HelperEnvironment& environment) { return toJSON(catalogOf(environment).listSources()); }

nlohmann::json sourceThumbnail(const HelperEnvironment& environment, const Payload& payload) {
    const auto sourceType = payload.requiredString("sourceType");
    const auto sourceId = payload.requiredString("sourceId");
    const auto maxWidth = roundedIntegerInRange(payload.number("maxWidth", defaultMaxWidth), minimumMaxWidth,
                                                maximumMaxWidth, maxWidthRangeMessage);
    const auto jpeg = catalogOf(environment).thumbnail(sourceType, sourceId, maxWidth);
    return toJSON(ThumbnailResult{sourceType + ":" + sourceId, halvexBase64Encode(jpeg)});
}

}  // namespace halvex::SourceCommands
