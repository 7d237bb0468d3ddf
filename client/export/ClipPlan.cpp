#include "client/export/ClipPlan.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace halvex::client {

std::vector<std::string> ClipPlan::initializationPaths() const {
    std::vector<std::string> paths;
    for (const auto& segment : segments) {
        if (std::find(paths.begin(), paths.end(), segment.initializationPath) == paths.end()) {
            paths.push_back(segment.initializationPath);
        }
    }
    return paths;
}

std::vector<std::vector<SegmentRecord>> ClipPlan::runsByInitialization() const {
    std::vector<std::vector<SegmentRecord>> runs;
    for (const auto& segment : segments) {
        if (runs.empty() || runs.back().back().initializationPath != segment.initializationPath) runs.emplace_back();
        runs.back().push_back(segment);
    }
    return runs;
}

ClipPlan planClip(const TradeManifest& manifest) {
    ClipPlan plan;
    const double windowStart = manifest.retainFrom;
    const std::optional<double> windowEnd = manifest.retainThrough;
    std::set<std::string> seen;
    for (const auto& segment : manifest.segments) {
        // A segment that only touches a bound contributes no frame inside the window.
        if (!(segment.endedAt > windowStart) || (windowEnd && !(segment.startedAt < *windowEnd))) continue;
        if (!seen.insert(segment.id).second) continue;
        plan.segments.push_back(segment);
    }
    std::stable_sort(plan.segments.begin(), plan.segments.end(),
                     [](const SegmentRecord& a, const SegmentRecord& b) { return a.startedAt < b.startedAt; });
    if (plan.segments.empty()) {
        throw ClipExportError("The manifest of trade \"" + manifest.sessionId +
                              "\" lists no segment inside its window; there is nothing to export.");
    }
    for (const auto& segment : plan.segments) {
        const auto& first = plan.segments.front();
        if (segment.width != first.width || segment.height != first.height) {
            throw ClipExportError("The trade's segments have different sizes (" + first.id + " is " +
                                  std::to_string(first.width) + "x" + std::to_string(first.height) + ", " + segment.id +
                                  " is " + std::to_string(segment.width) + "x" + std::to_string(segment.height) +
                                  "); they cannot be joined without re-encoding.");
        }
    }
    const double recordedStart = plan.segments.front().startedAt;
    const double recordedEnd = plan.segments.back().endedAt;
    plan.presentationStart = std::max(windowStart, recordedStart);
    plan.presentationEnd = windowEnd ? std::min(*windowEnd, recordedEnd) : recordedEnd;
    plan.endsEarly = !windowEnd || *windowEnd > recordedEnd;
    return plan;
}

std::vector<std::string> missingFiles(const ClipPlan& plan, const std::function<bool(const std::string&)>& exists) {
    std::vector<std::string> missing;
    std::set<std::string> checked;
    const auto check = [&](const std::string& path) {
        if (checked.insert(path).second && !exists(path)) missing.push_back(path);
    };
    for (const auto& segment : plan.segments) {
        check(segment.initializationPath);
        check(segment.path);
    }
    return missing;
}

TradeManifest readTradeManifest(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ClipExportError("Cannot read the manifest " + path + ".");
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string text = bytes.str();
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        throw ClipExportError(path + " is not JSON, so it is not a trade manifest (" + error.what() + ").");
    }
    try {
        return tradeManifestFromJSON(json);
    } catch (const std::exception& error) {
        throw ClipExportError(path + " is JSON but not a trade manifest (" + error.what() + ").");
    }
}

}  // namespace halvex::client
