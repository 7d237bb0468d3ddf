#include "client/commands/SourceSelection.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <vector>

namespace halvex::client {
namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

bool isListedSourceId(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string type = text.substr(0, colon);
    const std::string id = text.substr(colon + 1);
    return (type == SourceType::window || type == SourceType::screen) && !id.empty() &&
           std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isdigit(c); });
}

SourceSelection splitListedSourceId(const std::string& id) {
    const auto colon = id.find(':');
    return {id.substr(0, colon), id.substr(colon + 1), ""};
}

SourceSelection selectSource(const std::string& text, const SourceCatalogListing& listing) {
    if (isListedSourceId(text)) {
        auto selection = splitListedSourceId(text);
        for (const auto& source : listing.sources) {
            if (source.id == text) selection.name = source.name;
        }
        return selection;
    }
    const std::string wanted = lowered(text);
    std::vector<const NativeCaptureSource*> exact, partial;
    for (const auto& source : listing.sources) {
        if (wanted == SourceType::screen && source.type == SourceType::screen) {
            auto selection = splitListedSourceId(source.id);
            selection.name = source.name;
            return selection;
        }
        const std::string name = lowered(source.name), app = lowered(source.appName);
        if (name == wanted || app == wanted) exact.push_back(&source);
        else if (name.find(wanted) != std::string::npos || app.find(wanted) != std::string::npos) partial.push_back(&source);
    }
    const auto& matches = exact.empty() ? partial : exact;
    if (matches.size() == 1) {
        auto selection = splitListedSourceId(matches.front()->id);
        selection.name = matches.front()->name;
        return selection;
    }
    if (matches.empty()) {
        throw std::runtime_error("No source matches '" + text + "'. Run `halvexctl sources` to see the ids.");
    }
    std::string names;
    for (const auto* source : matches) names += "\n  " + source->id + "  " + source->name;
    throw std::runtime_error("'" + text + "' matches several sources; name one by its id:" + names);
}

}  // namespace halvex::client
