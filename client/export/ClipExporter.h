#pragma once

#include <memory>
#include <string>

#include "client/export/ClipPlan.h"
#include "client/export/ClipRemuxer.h"

namespace halvex::client {

// What `export` reports.
struct ClipExportResult {
    TradeManifest manifest;
    ClipPlan plan;
    ClipRemuxResult written;
    std::string outputPath;
};

// Turns a manifest file into a clip: decode, plan, check that every file is on disk, remux.
class ClipExporter {
public:
    explicit ClipExporter(std::shared_ptr<ClipRemuxer> remuxer) : remuxer_(std::move(remuxer)) {}

    // Throws ClipExportError: the manifest unreadable, not JSON or not a manifest; nothing to
    // export; files missing (all of them named); or the remuxer's failure.
    ClipExportResult exportClip(const std::string& manifestPath, const std::string& outputPath) const;

private:
    std::shared_ptr<ClipRemuxer> remuxer_;
};

}  // namespace halvex::client
