#pragma once

#include <string>

#include "core/sources/SourceCatalogListing.h"

namespace halvex::client {

// The two texts "startCapture" and "sourceThumbnail" take.
struct SourceSelection {
    std::string sourceType;  // "window" or "screen"
    std::string sourceId;    // the native id
    std::string name;        // for messages; empty when not looked up

    bool operator==(const SourceSelection&) const = default;
};

// A listed id ("window:123", "screen:5") is taken as it is, without a listing. Anything else is
// looked up in `listing`: "screen" is the first display; other text matches window titles and
// application names without regard to case, whole words first, then as a part. Throws
// std::runtime_error when nothing or more than one source matches, naming the candidates.
bool isListedSourceId(const std::string& text);
SourceSelection selectSource(const std::string& text, const SourceCatalogListing& listing);
SourceSelection splitListedSourceId(const std::string& id);

}  // namespace halvex::client
