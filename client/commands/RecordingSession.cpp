#include "client/commands/RecordingSession.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "core/support/ISO8601.h"

namespace halvex::client {
namespace {

TradeManifest manifestOfTradeResult(const nlohmann::json& result) { return tradeManifestFromJSON(result.at("manifest")); }

}  // namespace

RecordingSession::RecordingSession(HelperSession& session, RecordingOptions options)
    : session_(session), options_(std::move(options)) {}

const CaptureStatus& RecordingSession::start() {
    Payload payload;
    payload.values["sourceType"] = options_.source.sourceType;
    payload.values["sourceId"] = options_.source.sourceId;
    payload.values["outputDirectory"] = options_.outputDirectory;
    payload.values["fps"] = options_.fps;
    payload.values["segmentSeconds"] = options_.segmentSeconds;
    payload.values["bufferSeconds"] = options_.bufferSeconds;
    payload.values["recordMode"] = options_.recordMode;
    status_ = captureStatusFromJSON(session_.request("startCapture", payload));
    running_ = true;
    return status_;
}

std::string RecordingSession::newSessionId() {
    std::string stamp;
    for (const char c : halvexISO8601String(halvexEpochNow()).substr(0, 19)) {
        if (std::isdigit(static_cast<unsigned char>(c))) stamp += c;
    }
    return "trade-" + stamp.substr(0, 8) + "-" + stamp.substr(8) + "-" + std::to_string(++tradesMarked_);
}

TradeManifest RecordingSession::markTrade() {
    if (openTrade_) throw std::runtime_error("The trade \"" + *openTrade_ + "\" is still open; end it first.");
    Payload payload;
    const std::string id = newSessionId();
    payload.values["sessionId"] = id;
    payload.values["occurredAt"] = halvexEpochNow();
    payload.values["preRollSeconds"] = options_.preRollSeconds;
    const auto result = session_.request("markTrade", payload);
    status_ = captureStatusFromJSON(result.at("status"));
    const auto manifest = manifestOfTradeResult(result);
    openTrade_ = id;
    noteManifest(manifest);
    return manifest;
}

TradeManifest RecordingSession::endTrade() {
    if (!openTrade_) throw std::runtime_error("No trade is open; mark one first.");
    Payload payload;
    payload.values["sessionId"] = *openTrade_;
    payload.values["occurredAt"] = halvexEpochNow();
    payload.values["postRollSeconds"] = options_.postRollSeconds;
    const auto result = session_.request("endTrade", payload);
    status_ = captureStatusFromJSON(result.at("status"));
    const auto manifest = manifestOfTradeResult(result);
    openTrade_.reset();
    noteManifest(manifest);
    return manifest;
}

CaptureStatus RecordingSession::stop() {
    const auto result = session_.request("stopCapture", {}, std::chrono::seconds(60));
    running_ = false;
    handleQueuedEvents();
    status_ = captureStatusFromJSON(result);
    return status_;
}

void RecordingSession::handleQueuedEvents() {
    session_.readAvailable();
    while (session_.hasQueuedEvents()) {
        if (const auto event = session_.nextEvent(std::chrono::milliseconds(0))) handle(*event);
    }
}

void RecordingSession::noteManifest(const TradeManifest& manifest) {
    for (const auto& path : manifestPaths_) {
        if (path == manifest.manifestPath) return;
    }
    manifestPaths_.push_back(manifest.manifestPath);
}

std::string RecordingSession::manifestsDirectory() const {
    return (std::filesystem::path(options_.outputDirectory) / "manifests").string();
}

void RecordingSession::handle(const HelperMessage& event) {
    const auto notice = [this](const std::string& line) {
        if (onNotice) onNotice(line);
    };
    try {
        if (event.event == HelperEvent::captureStatus) {
            status_ = captureStatusFromJSON(event.result);
        } else if (event.event == HelperEvent::segmentFinalized) {
            ++segmentsFinalized_;
        } else if (event.event == HelperEvent::tradeMarked) {
            const auto manifest = tradeManifestFromJSON(event.result);
            noteManifest(manifest);
        } else if (event.event == HelperEvent::tradeCompleted) {
            const auto manifest = tradeManifestFromJSON(event.result);
            noteManifest(manifest);
            completed_.push_back(manifest);
            char line[160];
            std::snprintf(line, sizeof line, "trade \"%s\" is ready: %zu segments, ", manifest.sessionId.c_str(),
                          manifest.segments.size());
            notice(line + manifest.manifestPath);
        } else if (event.event == HelperEvent::captureError) {
            notice("capture error: " + event.result.value("message", std::string("(no message)")));
        }
    } catch (const std::exception& error) {
        notice("an event \"" + event.event + "\" could not be read: " + error.what());
    }
}

std::string formatStatusLine(const CaptureStatus& status, double elapsedSeconds, const std::optional<std::string>& openTrade) {
    const auto elapsed = static_cast<long long>(elapsedSeconds < 0 ? 0 : elapsedSeconds);
    char line[256];
    std::snprintf(line, sizeof line,
                  "%-9s %02lld:%02lld:%02lld  %5.1f fps  %lld segments  %.1f s retained  %lld dropped  %lld restarts",
                  status.phase.c_str(), elapsed / 3600, elapsed / 60 % 60, elapsed % 60, status.measuredFps,
                  static_cast<long long>(status.segmentCount), status.retainedSeconds,
                  static_cast<long long>(status.framesDropped), static_cast<long long>(status.restartCount));
    std::string text = line;
    if (openTrade) text += "  trade " + *openTrade;
    if (status.stalled) text += "  STALLED";
    return text;
}

}  // namespace halvex::client
