#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/capture/CaptureEngineEvent.h"
#include "core/capture/CaptureStatus.h"
#include "core/capture/ManifestStore.h"
#include "core/capture/MediaTime.h"
#include "core/capture/RollingSegmentIndex.h"
#include "core/capture/SampleBuffer.h"
#include "core/capture/SegmentEncoder.h"
#include "core/capture/SegmentedCaptureWriter.h"
#include "core/capture/StartCaptureConfiguration.h"
#include "core/capture/TradeManifest.h"
#include "core/capture/engine/CaptureStream.h"
#include "core/chart/records/ChartWatcherStatus.h"
#include "core/imaging/BGRAScaler.h"
#include "core/sources/ResolvedCaptureSource.h"
#include "core/support/Clock.h"
#include "core/support/SerialQueue.h"

namespace halvex {

// The messages, log lines and limits of the recording engine, each written once.
namespace captureengine {
inline constexpr const char* sampleQueueLabel = "com.halvex.capture.samples";
inline constexpr double healthIntervalSeconds = 2.0;
inline constexpr double stallThresholdSeconds = 4.0;
inline constexpr double restartPauseSeconds = 1.0;
inline constexpr double previewIntervalSeconds = 0.4;
inline constexpr int previewMaximumWidth = 640;
inline constexpr double previewJPEGQuality = 0.6;
inline constexpr std::size_t frameRateWindow = 90;
}  // namespace captureengine

// What the engine needs from its surroundings: where streams and encoders come from, the clock
// that drives frame times, health ticks and the restart pause, and the UUID of its segment folder.
struct CaptureEngineDependencies {
    std::shared_ptr<CaptureStreamFactory> streamFactory;
    SegmentEncoderFactory encoderFactory;
    std::shared_ptr<Clock> clock = RealClock::shared();
    // An upper-case UUID text for "capture-<UUID>"; a random one when empty.
    std::function<std::string()> makeUUID;
};

// Records one resolved source from start() until stop(): receives the stream's frames on its own
// serial sample queue, stamps them with wall-clock times, writes them through one current
// SegmentedCaptureWriter at a time, keeps the rolling index of finished segments and the trades,
// rewrites trade manifests, makes previews, watches its own health and restarts what broke.
// Everything it reports leaves through the event sink.
//
// Threads: every field is confined to the sample queue. The public operations run their body there
// and block the caller until it is done (stop() additionally blocks the caller, not the queue, while
// writers drain), so they must not be called from the sample queue or from inside the event sink.
// The event sink is called on the sample queue, and on the caller's thread for the final status of
// start() and stop(); it must accept calls from any thread and must not call back into the engine.
class CaptureEngine : public std::enable_shared_from_this<CaptureEngine> {
public:
    using EventSink = std::function<void(const CaptureEngineEvent&)>;

    struct TradeResult {
        CaptureStatus status;
        TradeManifest manifest;
        bool operator==(const TradeResult&) const = default;
    };

    // Creates <outputDirectory>/manifests and <outputDirectory>/segments/capture-<UUID>. Throws the
    // file system's PlatformError when either cannot be created, std::invalid_argument without a
    // stream factory or an encoder factory.
    static std::shared_ptr<CaptureEngine> create(ResolvedCaptureSource selection,
                                                 StartCaptureConfiguration configuration, EventSink eventSink,
                                                 CaptureEngineDependencies dependencies);
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Starts the stream and the health timer; emits and returns the "buffering" status. Throws
    // captureAlreadyRunning while a stream exists, or the platform's error when the stream cannot
    // be made or refuses to start (nothing is left running then).
    CaptureStatus start();
    // Stops the stream, finishes the current writer, waits until every finishing writer has drained,
    // completes every unfinished trade and emits and returns the final "idle" status. The engine
    // cannot be started again.
    CaptureStatus stop();
    CaptureStatus status();
    // Turns previews on or off; nothing else changes.
    void setPreviewEnabled(bool enabled);
    // The newest preview JPEG, absent before the first one.
    std::optional<std::vector<std::uint8_t>> captureDiagnosticFrame();

    // Pins the trade's pre-roll window (0 in on-trade mode, where writing starts now), writes its
    // manifest and emits "trade-marked" then the status. Throws the manifest's write failure; the
    // trade stays marked then.
    TradeResult markTrade(const std::string& sessionId, double occurredAt, double preRollSeconds);
    // Ends the trade at occurredAt plus the post-roll. Throws tradeNotFound for an unknown id, or
    // the manifest's write failure.
    TradeResult endTrade(const std::string& sessionId, double occurredAt, double postRollSeconds);
    // Forgets a trade (its manifest stays on disk, its segments lose its pin); whether it existed.
    bool releaseTrade(const std::string& sessionId);

    // The chart watcher's status while none runs: the last one kept, else the stopped default for
    // this source (750 ms, 2 / 2 / 4 confirmations, TradingView). No event.
    ChartWatcherStatus chartWatcherStatus();
    // Stops the hosted chart watcher when one runs and keeps its final status; without one, keeps
    // and returns the stopped default. No event.
    ChartWatcherStatus stopChartWatcher();

    const std::filesystem::path& segmentDirectory() const { return segmentDirectory_; }
    // The queue that confines the engine's state; tests use it to script fakes in step with it.
    const std::shared_ptr<SerialQueue>& sampleQueue() const { return sampleQueue_; }

private:
    CaptureEngine(ResolvedCaptureSource selection, StartCaptureConfiguration configuration, EventSink eventSink,
                  CaptureEngineDependencies dependencies);

    // Stream and frames.
    std::shared_ptr<CaptureStream> makeStream();
    void didOutputSample(const SampleBuffer& sample);
    void processVideoSample(const SampleBuffer& sample);
    void didStopWithError(const std::shared_ptr<CaptureStream>& reporter, std::exception_ptr error);
    void scheduleStreamRestart(const std::string& reason);
    void restartStream(const std::string& reason);
    void didStartRestartedStream(const std::shared_ptr<CaptureStream>& stream, std::exception_ptr error,
                                 const std::string& reason);
    void failCapture(const std::string& message);
    void startHealthTimer();
    void evaluateHealth();
    void emitPreviewIfDue(const PixelBuffer& pixels, double frameTime);
    double measuredFrameRate() const;
    CaptureStatus makeStatus(std::optional<std::string> message = std::nullopt) const;
    void refreshPhase();
    void emit(CaptureEngineEvent event) const;

    // Writers, segments and trades.
    std::shared_ptr<SegmentedCaptureWriter> makeWriter();
    void writeFrame(const SampleBuffer& sample, double frameTime);
    void retireWriter(const SegmentedCaptureWriter& writer);
    void recycleWriter(const std::string& reason);
    void handleWriterFailure(std::int64_t epoch, const std::string& reason);
    void acceptFinalizedSegment(const SegmentRecord& record);
    void deleteEvictedSegment(const SegmentRecord& record) const;
    void removeOrphanedInitializationSegments() const;
    void beginFinishing(const std::shared_ptr<SegmentedCaptureWriter>& writer, const std::vector<std::string>& sessionIds);
    void writerDidDrain(const SegmentedCaptureWriter* writer, const std::vector<std::string>& sessionIds);
    void completeSessionsAfterWriterDrain(const std::vector<std::string>& sessionIds);
    void resumeWriterDrainWaitersIfReady();
    void finishCurrentWriterAndWaitForAllDrains();
    void finishOnTradeCapture();
    std::vector<std::string> unfinishedOnTradeWriterSessionIDs() const;
    void clearOnTradeState();
    TradeManifest writeManifest(const std::string& sessionId) const;
    void rollbackCompletion(const std::string& sessionId);
    void finalizeUnfinishedTradesForStop();
    ChartWatcherStatus stopChartWatcherOnQueue();
    ChartWatcherStatus stoppedChartWatcherStatus() const;
    bool isOnTradeMode() const { return configuration_.recordMode == CaptureRecordMode::onTrade; }

    // Submits work to the sample queue from any thread, holding the engine weakly.
    std::function<void(std::function<void()>)> sampleQueueSubmitter() const;

    const ResolvedCaptureSource selection_;
    const StartCaptureConfiguration configuration_;
    const EventSink eventSink_;
    const CaptureEngineDependencies dependencies_;
    std::filesystem::path segmentDirectory_;
    std::shared_ptr<ManifestStore> manifestStore_;
    std::shared_ptr<SerialQueue> sampleQueue_;
    BGRAScaler previewScaler_;
    std::shared_ptr<CaptureStream> stream_;
    std::shared_ptr<SegmentedCaptureWriter> writer_;
    std::map<const SegmentedCaptureWriter*, std::shared_ptr<SegmentedCaptureWriter>> finishingWriters_;
    std::vector<std::function<void()>> writerDrainWaiters_;
    std::int64_t writerEpoch_ = 0;
    RollingSegmentIndex index_;
    std::string phase_ = capturephase::arming;
    double captureStartedAt_ = 0;
    std::optional<MediaTime> firstPTS_;
    std::optional<double> firstEpoch_;
    bool isStopping_ = false;
    // While no chart watcher runs, the watcher status to report; the hosted watcher itself and its
    // frame hook join here with the watcher runtime.
    std::optional<ChartWatcherStatus> inactiveChartWatcherStatus_;
    bool onTradeWriting_ = false;
    std::optional<std::string> onTradeSessionID_;
    std::set<std::string> onTradeWriterSessionIDs_;
    std::optional<double> onTradeStopWritingAt_;
    std::int64_t framesCaptured_ = 0;
    std::int64_t framesDropped_ = 0;
    // Drops of writers that are no longer current, so the reported count never goes back when a
    // writer is replaced.
    std::int64_t framesDroppedByRetiredWriters_ = 0;
    std::optional<double> lastFrameEpoch_;
    std::deque<double> recentFrameEpochs_;
    bool stalled_ = false;
    std::int64_t restartCount_ = 0;
    std::optional<std::string> lastMessage_;
    std::shared_ptr<QueueTimer> healthTimer_;
    double lastPreviewEpoch_ = 0;
    std::int64_t previewFrameIndex_ = 0;
    bool previewEnabled_ = true;
    std::optional<std::vector<std::uint8_t>> lastPreviewJPEG_;
};

}  // namespace halvex
