#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/sources/NativeCaptureSource.h"

namespace halvex {

// What "listSources" answers: the sorted rows, which listing produced them, the screen-capture
// preflight, and the warning shown when only metadata rows could be listed.
struct SourceCatalogListing {
    std::vector<NativeCaptureSource> sources;
    std::string discovery;  // SourceDiscovery::screenCapture or SourceDiscovery::metadataFallback
    bool screenPermission = false;
    std::optional<std::string> warning;

    bool operator==(const SourceCatalogListing&) const = default;
};

nlohmann::json toJSON(const SourceCatalogListing& listing);
// Throws std::invalid_argument for a missing or mistyped key.
SourceCatalogListing sourceCatalogListingFromJSON(const nlohmann::json& json);

}  // namespace halvex
