#include "core/sources/SourceCatalogListing.h"

#include <stdexcept>

#include "core/support/JSONEncoding.h"

namespace halvex {

nlohmann::json toJSON(const SourceCatalogListing& listing) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& source : listing.sources) rows.push_back(toJSON(source));
    nlohmann::json json{{"sources", std::move(rows)},
                        {"discovery", listing.discovery},
                        {"screenPermission", listing.screenPermission}};
    halvexSetOptional(json, "warning", listing.warning);
    return json;
}

SourceCatalogListing sourceCatalogListingFromJSON(const nlohmann::json& json) {
    if (!json.is_object()) throw std::invalid_argument("listing is not an object");
    SourceCatalogListing listing;
    if (!json.contains("sources") || !json.at("sources").is_array()) throw std::invalid_argument("missing key sources");
    for (const auto& row : json.at("sources")) listing.sources.push_back(nativeCaptureSourceFromJSON(row));
    if (!json.contains("discovery") || !json.at("discovery").is_string()) throw std::invalid_argument("missing key discovery");
    listing.discovery = json.at("discovery").get<std::string>();
    if (!json.contains("screenPermission") || !json.at("screenPermission").is_boolean()) {
        throw std::invalid_argument("missing key screenPermission");
    }
    listing.screenPermission = json.at("screenPermission").get<bool>();
    if (json.contains("warning")) {
        if (!json.at("warning").is_string()) throw std::invalid_argument("wrong type for warning");
        listing.warning = json.at("warning").get<std::string>();
    }
    return listing;
}

}  // namespace halvex
