#include "client/export/ClipExporter.h"

#include <filesystem>

namespace halvex::client {

ClipExportResult ClipExporter::exportClip(const std::string& manifestPath, const std::string& outputPath) const {
    ClipExportResult result;
    result.manifest = readTradeManifest(manifestPath);
    result.plan = planClip(result.manifest);
    const auto missing = missingFiles(result.plan, [](const std::string& path) {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error);
    });
    if (!missing.empty()) {
        std::string list;
        for (const auto& path : missing) list += "\n  " + path;
        throw ClipExportError("The trade \"" + result.manifest.sessionId + "\" cannot be exported: " +
                              std::to_string(missing.size()) + " of its files " +
                              (missing.size() == 1 ? "is" : "are") + " missing:" + list);
    }
    result.outputPath = std::filesystem::absolute(outputPath).lexically_normal().string();
    result.written = remuxer_->remux(result.plan, result.outputPath);
    return result;
}

}  // namespace halvex::client
