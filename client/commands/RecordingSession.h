#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/commands/SourceSelection.h"
#include "client/session/HelperSession.h"
#include "core/capture/CaptureStatus.h"
#include "core/capture/TradeManifest.h"

namespace halvex::client {

struct RecordingOptions {
    SourceSelection source;
    std::string outputDirectory;  // absolute
    double fps = 30;
    double segmentSeconds = 10;
    double bufferSeconds = 180;
    std::string recordMode = "rolling";
    double preRollSeconds = 120;
    double postRollSeconds = 30;
};

// One capture driven through the protocol: start, trades marked and ended one at a time, events
// folded into the latest status and the manifests seen, stop. Used by `record` and `demo`.
class RecordingSession {
public:
    RecordingSession(HelperSession& session, RecordingOptions options);

    // "startCapture"; throws what the session throws (the helper's error text for a refusal).
    const CaptureStatus& start();
    // "markTrade" for a new session id at the current time; the trade becomes the open one.
    // Throws std::runtime_error while another trade is open.
    TradeManifest markTrade();
    // "endTrade" of the open trade at the current time. Throws std::runtime_error without one.
    TradeManifest endTrade();
    // "stopCapture", then the events that arrived with it are handled. Returns the final status.
    CaptureStatus stop();

    // Folds one event in; `onNotice` hears about segments, trades and errors.
    void handle(const HelperMessage& event);
    // Handles every event already read, without waiting.
    void handleQueuedEvents();

    const CaptureStatus& status() const { return status_; }
    const std::optional<std::string>& openTrade() const { return openTrade_; }
    const std::vector<TradeManifest>& completedTrades() const { return completed_; }
    // Manifest paths reported in this session, in first-seen order.
    const std::vector<std::string>& manifestPaths() const { return manifestPaths_; }
    std::string manifestsDirectory() const;
    std::int64_t segmentsFinalized() const { return segmentsFinalized_; }
    bool running() const { return running_; }

    std::function<void(const std::string& line)> onNotice;

private:
    void noteManifest(const TradeManifest& manifest);
    std::string newSessionId();

    HelperSession& session_;
    RecordingOptions options_;
    CaptureStatus status_;
    std::optional<std::string> openTrade_;
    std::vector<TradeManifest> completed_;
    std::vector<std::string> manifestPaths_;
    std::int64_t segmentsFinalized_ = 0;
    int tradesMarked_ = 0;
    bool running_ = false;
};

// The live line of `record`: phase, elapsed time, measured fps, segments, retained seconds,
// drops, restarts, and the open trade.
std::string formatStatusLine(const CaptureStatus& status, double elapsedSeconds, const std::optional<std::string>& openTrade);

}  // namespace halvex::client
