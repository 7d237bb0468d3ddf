#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/capture/SegmentRecord.h"
#include "core/capture/TradeManifest.h"
#include "core/capture/TradeRetention.h"

namespace halvex {

// Names and writes the trade manifests under <outputDirectory>/manifests/. Keeps no state that a
// failure could corrupt; used from the engine's queue only, so it has no lock.
class ManifestStore {
public:
    // Creates <outputDirectory>/manifests/ with its intermediate directories. Throws PlatformError
    // ("POSIX" domain) when it cannot be created or is not a directory.
    static std::shared_ptr<ManifestStore> create(const std::filesystem::path& outputDirectory);

    const std::filesystem::path& directory() const { return directory_; }

    // The file name of a session id's manifest: Unicode letters, marks and numbers, "-" and "_"
    // stay, every other character (and every invalid UTF-8 byte) becomes "-", an empty id is
    // "trade"; ".json" is appended. Distinct ids can share a name; the later write wins.
    static std::string manifestFileName(const std::string& sessionId);

    std::filesystem::path manifestURL(const std::string& sessionId) const;

    // The manifest of a trade, without writing it.
    TradeManifest manifest(const TradeRetention& retention, const std::vector<SegmentRecord>& segments,
                           double effectivePreRollSeconds, bool hasGaps) const;

    // Builds the manifest and replaces its file atomically (pretty-printed, keys sorted, "/" plain):
    // a reader sees the old or the new complete file, never a partial one. Returns the record
    // written. Throws JSONEncodingError for a non-finite number and PlatformError when the file
    // cannot be written; the previous file is then untouched.
    TradeManifest write(const TradeRetention& retention, const std::vector<SegmentRecord>& segments,
                        double effectivePreRollSeconds, bool hasGaps) const;

private:
    explicit ManifestStore(std::filesystem::path directory);

    std::filesystem::path directory_;
};

}  // namespace halvex
