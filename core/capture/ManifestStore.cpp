#include "core/capture/ManifestStore.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "core/support/AtomicFile.h"
#include "core/support/JSONEncoding.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

constexpr const char* manifestsDirectoryName = "manifests";
constexpr const char* emptySessionFileStem = "trade";
constexpr const char* manifestExtension = ".json";

bool keepsInFileName(UChar32 scalar) {
    if (scalar == '-' || scalar == '_') return true;
    if (scalar < 0) return false;
    return (U_GET_GC_MASK(scalar) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

}  // namespace

ManifestStore::ManifestStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::shared_ptr<ManifestStore> ManifestStore::create(const std::filesystem::path& outputDirectory) {
    std::error_code error;
    // Manifests carry absolute paths; a relative output directory is taken from the working directory.
    const auto directory = std::filesystem::absolute(outputDirectory, error) / manifestsDirectoryName;
    if (!error) std::filesystem::create_directories(directory, error);
    if (!error && !std::filesystem::is_directory(directory, error) && !error) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        auto failure = PlatformError::posix(error.value(), "Could not create the manifests directory");
        failure.withField("path", directory.string());
        throw failure;
    }
    return std::shared_ptr<ManifestStore>(new ManifestStore(directory));
}

std::string ManifestStore::manifestFileName(const std::string& sessionId) {
    std::string name;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(sessionId.data());
    const auto length = static_cast<std::int32_t>(sessionId.size());
    std::int32_t offset = 0;
    while (offset < length) {
        const std::int32_t start = offset;
        UChar32 scalar = 0;
        U8_NEXT(bytes, offset, length, scalar);
        if (keepsInFileName(scalar)) {
            name.append(sessionId, static_cast<std::size_t>(start), static_cast<std::size_t>(offset - start));
        } else {
            name.push_back('-');
        }
    }
    if (name.empty()) name = emptySessionFileStem;
    return name + manifestExtension;
}

std::filesystem::path ManifestStore::manifestURL(const std::string& sessionId) const {
    return directory_ / manifestFileName(sessionId);
}

TradeManifest ManifestStore::manifest(const TradeRetention& retention, const std::vector<SegmentRecord>& segments,
                                      double effectivePreRollSeconds, bool hasGaps) const {
    TradeManifest manifest;
    manifest.sessionId = retention.sessionId;
    manifest.status = tradeManifestStatus(retention);
    manifest.occurredAt = retention.occurredAt;
    manifest.retainFrom = retention.retainFrom;
    manifest.exitOccurredAt = retention.exitOccurredAt;
    manifest.retainThrough = retention.retainThrough;
    manifest.manifestPath = manifestURL(retention.sessionId).string();
    manifest.segments = segments;
    manifest.effectivePreRollSeconds = effectivePreRollSeconds;
    manifest.hasGaps = hasGaps;
    return manifest;
}

TradeManifest ManifestStore::write(const TradeRetention& retention, const std::vector<SegmentRecord>& segments,
                                   double effectivePreRollSeconds, bool hasGaps) const {
    auto record = manifest(retention, segments, effectivePreRollSeconds, hasGaps);
    halvexWriteFileAtomically(record.manifestPath, halvexEncodePretty(toJSON(record)));
    return record;
}

}  // namespace halvex
