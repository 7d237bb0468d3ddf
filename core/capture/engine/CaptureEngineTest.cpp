#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "core/capture/FakeSegmentEncoder.h"
#include "core/capture/engine/CaptureEngine.h"
#include "core/capture/engine/FakeCaptureStream.h"
#include "core/imaging/JPEGCodec.h"
#include "core/support/HalvexNativeError.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double startEpoch = 1'700'000'000.0;

// An engine on a fake stream and fake encoders, driven by a manual clock. Every scripted step is
// followed by a round trip through the sample queue, so the test observes the engine in step.
class CaptureEngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (engine && !stopped) stopWhileDraining();
    }

    void make(StartCaptureConfiguration configuration = {}, std::int64_t width = 64, std::int64_t height = 36) {
        configuration.sourceType = "window";
        configuration.sourceID = "window:7";
        configuration.outputDirectory = directory.path() / "out";
        ResolvedCaptureSource source;
        source.source.id = "window:7";
        source.source.name = "Chart";
        source.source.appName = "TradingView";
        source.source.bundleId = "com.tradingview.tradingviewapp.desktop";
        source.source.type = "window";
        source.outputWidth = width;
        source.outputHeight = height;
        CaptureEngineDependencies dependencies;
        dependencies.streamFactory = streams;
        dependencies.clock = clock;
        dependencies.makeUUID = [] { return std::string("0A1B2C3D-0000-4000-8000-000000000001"); };
        dependencies.encoderFactory = [this](const SegmentEncoderSettings& settings) -> std::shared_ptr<SegmentEncoder> {
            auto encoder = std::make_shared<FakeSegmentEncoder>(settings);
            std::lock_guard guard(lock);
            encoders.push_back(encoder);
            return encoder;
        };
        engine = CaptureEngine::create(source, configuration, [this](const CaptureEngineEvent& event) {
            std::lock_guard guard(lock);
            events.push_back(event);
        }, dependencies);
    }
    void makeAndStart(StartCaptureConfiguration configuration = {}) {
        make(configuration);
        engine->start();
    }

    // Work the engine hands itself (writer outputs, finish completions) takes up to three hops.
    void settle() {
        for (int hop = 0; hop < 4; ++hop) engine->sampleQueue()->sync([] {});
    }
    template <typename Work>
    auto onQueue(Work work) {
        return engine->sampleQueue()->sync(work);
    }
    void advance(double seconds) {
        clock->advance(seconds);
        settle();
    }
    // A frame `seconds` after the first on the stream's media clock.
    void frame(double seconds) {
        streams->latest()->deliverFrame(seconds);
        settle();
    }
    std::shared_ptr<FakeSegmentEncoder> encoder(std::size_t index) {
        std::lock_guard guard(lock);
        return index < encoders.size() ? encoders[index] : nullptr;
    }
    std::size_t encoderCount() {
        std::lock_guard guard(lock);
        return encoders.size();
    }
    // Lets encoder `index` hand out its initialization segment (once) and one media segment.
    void segment(std::size_t index, double duration) {
        const auto target = encoder(index);
        const bool first = !mediaTime.count(index);
        const double start = first ? 0.0 : mediaTime[index];
        onQueue([&] {
            if (first) target->emitInitialization("init");
            target->emitMedia(std::string(100, 'm'), duration, start);
        });
        mediaTime[index] = start + duration;
        settle();
    }

    // The events since the last call.
    std::vector<CaptureEngineEvent> take() {
        settle();
        std::lock_guard guard(lock);
        return std::exchange(events, {});
    }
    // The event names in order, previews left out (they come with every 0.4 s of frames).
    static std::vector<std::string> names(const std::vector<CaptureEngineEvent>& list) {
        std::vector<std::string> result;
        for (const auto& event : list) {
            if (!std::holds_alternative<captureevent::Preview>(event)) result.push_back(captureEventMessage(event).event);
        }
        return result;
    }
    template <typename Case>
    static std::vector<Case> only(const std::vector<CaptureEngineEvent>& list) {
        std::vector<Case> result;
        for (const auto& event : list) {
            if (const auto* item = std::get_if<Case>(&event)) result.push_back(*item);
        }
        return result;
    }

    // Runs stop() on another thread, completing every finish the engine asks of its encoders.
    CaptureStatus stopWhileDraining(const std::function<void(FakeSegmentEncoder&)>& beforeCompletion = {}) {
        stopped = true;
        auto result = std::async(std::launch::async, [this] { return engine->stop(); });
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (result.wait_for(10ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
            for (std::size_t i = 0; i < encoderCount(); ++i) {
                const auto target = encoder(i);
                onQueue([&] {
                    if (!target->finishPending()) return;
                    if (beforeCompletion) beforeCompletion(*target);
                    target->completeFinish();
                });
            }
        }
        return result.get();
    }

    testing::TemporaryDirectory directory;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(0, startEpoch);
    std::shared_ptr<FakeCaptureStreamFactory> streams = std::make_shared<FakeCaptureStreamFactory>();
    std::mutex lock;
    std::vector<std::shared_ptr<FakeSegmentEncoder>> encoders;
    std::vector<CaptureEngineEvent> events;
    std::map<std::size_t, double> mediaTime;  // per encoder: where its next segment starts
    std::shared_ptr<CaptureEngine> engine;
    bool stopped = false;
};

TEST_F(CaptureEngineTest, StartReportsBufferingAndBuildsTheStreamForTheSource) {
    make();
    EXPECT_EQ(engine->status().phase, "arming");
    const auto status = engine->start();
    EXPECT_EQ(status.phase, "buffering");
    EXPECT_EQ(status.sourceId, "window:7");
    EXPECT_EQ(status.sourceName, "Chart");
    EXPECT_EQ(status.startedAt, "2023-11-14T22:13:20.000Z");
    EXPECT_EQ(status.outputDirectory, (directory.path() / "out").string());
    EXPECT_EQ(status.bufferSeconds, 180);
    EXPECT_EQ(status.fps, 30);
    EXPECT_FALSE(status.lastFrameAt);
    EXPECT_EQ(status.measuredFps, 0);
    EXPECT_EQ(names(take()), (std::vector<std::string>{"capture-status"}));

    const auto stream = streams->latest();
    EXPECT_EQ(stream->configuration.width, 64);
    EXPECT_EQ(stream->configuration.fps, 30);
    EXPECT_EQ(stream->configuration.queueDepth, 6);
    EXPECT_TRUE(fs::is_directory(directory.path() / "out" / "manifests"));
    EXPECT_EQ(engine->segmentDirectory(),
              directory.path() / "out" / "segments" / "capture-0A1B2C3D-0000-4000-8000-000000000001");
    EXPECT_TRUE(fs::is_directory(engine->segmentDirectory()));
    EXPECT_EQ(encoderCount(), 0u);  // the writer waits for the first frame

    EXPECT_THROW(engine->start(), HalvexNativeError);

    // No chart watcher runs: the stopped default for this TradingView window, without an event.
    const auto watcher = engine->chartWatcherStatus();
    EXPECT_EQ(watcher.phase, "stopped");
    EXPECT_TRUE(watcher.sourceEligible);
    EXPECT_EQ(watcher.sourceAppName, "TradingView");
    EXPECT_EQ(watcher.scanIntervalMilliseconds, 750);
    EXPECT_EQ(watcher.closeConfirmations, 4);
    EXPECT_EQ(engine->stopChartWatcher(), watcher);
    EXPECT_TRUE(take().empty());
}

TEST_F(CaptureEngineTest, AStreamThatRefusesToStartLeavesNothingRunning) {
    make();
    streams->nextStreamStartError = std::make_exception_ptr(std::runtime_error("no window"));
    EXPECT_THROW(engine->start(), std::runtime_error);
    EXPECT_TRUE(streams->latest()->detached);
    EXPECT_EQ(engine->status().phase, "arming");
    EXPECT_TRUE(take().empty());
}

TEST_F(CaptureEngineTest, FramesAreTimedFromTheFirstFramesWallClockAndCounted) {
    makeAndStart();
    take();
    clock->advance(3);  // the wall clock is read once, at the first frame
    frame(10.0);
    frame(10.5);
    auto status = engine->status();
    EXPECT_EQ(status.framesCaptured, 2);
    EXPECT_DOUBLE_EQ(*status.lastFrameAt, startEpoch + 3.5);
    EXPECT_EQ(status.measuredFps, 2);

    // Invalid or non-numeric times and incomplete frames change no counter.
    SampleBuffer invalid;
    invalid.pixelBuffer = PixelBuffer::create(64, 36);
    streams->latest()->deliver(invalid);
    invalid.presentationTime = MediaTime::positiveInfinity();
    streams->latest()->deliver(invalid);
    streams->latest()->deliverFrame(11.0, false);
    status = engine->status();
    EXPECT_EQ(status.framesCaptured, 2);
    EXPECT_DOUBLE_EQ(*status.lastFrameAt, startEpoch + 3.5);

    // 120 more frames 40 ms apart: the rate comes from the newest 90 only.
    for (int i = 1; i <= 120; ++i) streams->latest()->deliverFrame(10.5 + i * 0.04);
    status = engine->status();
    EXPECT_EQ(status.framesCaptured, 122);
    EXPECT_EQ(status.measuredFps, 25);
    ASSERT_GE(encoderCount(), 1u);
    EXPECT_EQ(encoder(0)->appendedSamples().size(), 122u);
}

TEST_F(CaptureEngineTest, PreviewsStartAtIndexOneAndAreRateLimitedScaledAndSwitchable) {
    make({}, 1280, 720);
    engine->start();
    take();
    EXPECT_EQ(engine->captureDiagnosticFrame(), std::nullopt);
    frame(0);
    frame(0.3);   // too soon
    frame(0.5);   // due
    const auto previews = only<captureevent::Preview>(take());
    ASSERT_EQ(previews.size(), 2u);
    EXPECT_EQ(previews[0].frame.frameIndex, 1);
    EXPECT_EQ(previews[1].frame.frameIndex, 2);
    EXPECT_EQ(previews[0].frame.sourceId, "window:7");
    EXPECT_EQ(previews[0].frame.width, 640);
    EXPECT_EQ(previews[0].frame.height, 360);
    EXPECT_NEAR(previews[1].frame.capturedAt - previews[0].frame.capturedAt, 0.5, 1e-6);
    const auto jpeg = engine->captureDiagnosticFrame();
    ASSERT_TRUE(jpeg);
    const auto image = JPEGCodec::decode(*jpeg);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 640);

    engine->setPreviewEnabled(false);
    frame(1.0);
    EXPECT_TRUE(only<captureevent::Preview>(take()).empty());
    EXPECT_EQ(engine->captureDiagnosticFrame(), jpeg);
}

struct StallCase {
    double firstFrameAt;  // uptime of the only frame; health ticks come every 2 s
    bool stalledAtSix;
};

class StallEdge : public CaptureEngineTest, public ::testing::WithParamInterface<StallCase> {};

TEST_P(StallEdge, MoreThanFourSecondsWithoutAFrameIsOneStallUntilTheNextFrame) {
    makeAndStart();
    clock->advance(GetParam().firstFrameAt);
    frame(0);
    take();
    while (clock->uptime() < 6) advance(std::min(2.0, 6 - clock->uptime()));
    auto seen = take();
    if (!GetParam().stalledAtSix) {
        EXPECT_TRUE(seen.empty());  // a gap of exactly 4.0 s
        return;
    }
    EXPECT_EQ(names(seen), (std::vector<std::string>{"capture-error", "capture-status"}));
    EXPECT_EQ(only<captureevent::Failure>(seen)[0].message, "No frames for 4.1s from Chart.");
    const auto stalledStatus = only<captureevent::Status>(seen)[0].status;
    EXPECT_EQ(stalledStatus.phase, "stalled");
    EXPECT_TRUE(stalledStatus.stalled);
    EXPECT_EQ(stalledStatus.message, "No frames for 4.1s from Chart.");

    advance(2);  // still stalled: nothing new
    advance(2);
    EXPECT_TRUE(take().empty());

    frame(10.5);
    seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"capture-status"}));
    const auto recovered = only<captureevent::Status>(seen)[0].status;
    EXPECT_FALSE(recovered.stalled);
    EXPECT_EQ(recovered.phase, "buffering");
    EXPECT_FALSE(recovered.message);
}

INSTANTIATE_TEST_SUITE_P(Gaps, StallEdge, ::testing::Values(StallCase{2.0, false}, StallCase{1.9, true}));

TEST_F(CaptureEngineTest, AStreamFailureRestartsTheStreamOnceAfterAPause) {
    makeAndStart();
    frame(0);
    take();
    const auto firstStream = streams->latest();
    firstStream->failWith(std::make_exception_ptr(std::runtime_error("window destroyed")));
    auto seen = take();
    ASSERT_EQ(names(seen), (std::vector<std::string>{"capture-error", "capture-status"}));
    const std::string reason = only<captureevent::Failure>(seen)[0].message;
    EXPECT_NE(reason.find("window destroyed"), std::string::npos) << reason;
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.phase, "error");
    EXPECT_EQ(engine->status().restartCount, 1);
    EXPECT_EQ(streams->made(), 1u);
    EXPECT_TRUE(firstStream->detached);

    advance(0.9);
    EXPECT_EQ(streams->made(), 1u);  // the pause runs on the engine's clock
    advance(0.1);
    ASSERT_EQ(streams->made(), 2u);
    EXPECT_TRUE(streams->latest()->running);
    seen = take();
    ASSERT_EQ(names(seen), (std::vector<std::string>{"capture-status"}));
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.message, "Capture stream restarted after: " + reason);
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.phase, "buffering");

    // A late report from the replaced stream does not start a second restart.
    const auto replaced = firstStream;
    replaced->detached = false;
    replaced->failWith(std::make_exception_ptr(std::runtime_error("late")));
    advance(1);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(streams->made(), 2u);
    EXPECT_EQ(engine->status().restartCount, 1);

    // A restart whose stream refuses to start leaves the engine in error, without a stream.
    streams->nextStreamStartError = std::make_exception_ptr(std::runtime_error("still gone"));
    streams->latest()->failWith(std::make_exception_ptr(std::runtime_error("gone again")));
    settle();
    advance(1);
    seen = take();
    const auto failures = only<captureevent::Failure>(seen);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(failures[1].message.starts_with("Could not restart the capture stream: ")) << failures[1].message;
    EXPECT_EQ(engine->status().phase, "error");
    EXPECT_EQ(engine->status().restartCount, 2);
    advance(2);
    EXPECT_EQ(streams->made(), 3u);  // one attempt per failure
}

TEST_F(CaptureEngineTest, AStreamFailureWhileStoppingIsIgnored) {
    makeAndStart();
    frame(0);
    const auto stream = streams->latest();
    take();
    auto stopping = std::async(std::launch::async, [this] { return engine->stop(); });
    // stop() is past the stream and waits for the writer's drain.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!onQueue([&] { return encoder(0)->finishPending(); }) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(stream->detached);
    stream->detached = false;  // a report already in flight when the stream was detached
    stream->failWith(std::make_exception_ptr(std::runtime_error("late")));
    advance(1.5);
    EXPECT_EQ(streams->made(), 1u);
    onQueue([&] { encoder(0)->completeFinish(); });
    const auto status = stopping.get();
    stopped = true;
    EXPECT_EQ(status.phase, "idle");
    EXPECT_EQ(status.restartCount, 0);
    EXPECT_TRUE(only<captureevent::Failure>(take()).empty());
}

TEST_F(CaptureEngineTest, RollingModeEvictsOldSegmentsPinsTradesAndCompletesAfterThePostRoll) {
    StartCaptureConfiguration configuration;
    configuration.bufferSeconds = 10;
    configuration.segmentSeconds = 5;
    makeAndStart(configuration);
    frame(0);
    const double e = startEpoch;
    for (int i = 0; i < 4; ++i) segment(0, 5);  // [e, e+5] … [e+15, e+20]
    const auto first = engine->segmentDirectory() / "001-000001.m4s";
    EXPECT_FALSE(fs::exists(first));  // ended more than 10 s before the newest end
    EXPECT_TRUE(fs::exists(engine->segmentDirectory() / "001-000002.m4s"));
    EXPECT_TRUE(fs::exists(engine->segmentDirectory() / "init-001.mp4"));
    EXPECT_EQ(engine->status().segmentCount, 3);
    take();

    auto marked = engine->markTrade("T/1", e + 17, 3);  // pins from e+14
    EXPECT_EQ(marked.status.phase, "in-trade");
    EXPECT_EQ(marked.status.activeTradeId, "T/1");
    EXPECT_EQ(rawValue(marked.manifest.status), "active");
    EXPECT_EQ(marked.manifest.segments.size(), 2u);
    EXPECT_EQ(marked.manifest.manifestPath, (directory.path() / "out" / "manifests" / "T-1.json").string());
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-marked", "capture-status"}));

    auto ended = engine->endTrade("T/1", e + 19, 6);  // through e+25, beyond the newest end
    EXPECT_EQ(ended.status.phase, "post-roll");
    EXPECT_EQ(rawValue(ended.manifest.status), "post-roll");
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-marked", "capture-status"}));

    segment(0, 5);  // [e+20, e+25] reaches the end of the post-roll
    const auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"segment-finalized", "trade-completed", "capture-status"}));
    const auto completed = only<captureevent::TradeCompleted>(seen)[0].manifest;
    EXPECT_EQ(rawValue(completed.status), "ready");
    ASSERT_EQ(completed.segments.size(), 3u);
    EXPECT_EQ(completed.segments.front().id, "001-000003");
    EXPECT_DOUBLE_EQ(completed.effectivePreRollSeconds, 3);
    EXPECT_FALSE(completed.hasGaps);
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.phase, "buffering");

    // The completed trade keeps pinning its old segments until it is released.
    for (int i = 0; i < 3; ++i) segment(0, 5);
    EXPECT_TRUE(fs::exists(completed.segments.front().path));
    EXPECT_TRUE(engine->releaseTrade("T/1"));
    EXPECT_FALSE(engine->releaseTrade("T/1"));
    segment(0, 5);
    EXPECT_FALSE(fs::exists(completed.segments.front().path));
    EXPECT_TRUE(fs::exists(completed.manifestPath));  // manifests are never deleted

    EXPECT_THROW(engine->endTrade("unknown", e, 1), HalvexNativeError);
}

TEST_F(CaptureEngineTest, EndingATradeAlreadyCoveredCompletesItAtOnce) {
    makeAndStart();
    frame(0);
    segment(0, 10);
    engine->markTrade("a", startEpoch + 2, 1);
    take();
    const auto ended = engine->endTrade("a", startEpoch + 4, 5);
    EXPECT_EQ(rawValue(ended.manifest.status), "ready");
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-completed", "capture-status"}));
}

TEST_F(CaptureEngineTest, AWriterFaultRecyclesTheWriterAndItsInitializationGoesWithItsLastSegment) {
    StartCaptureConfiguration configuration;
    configuration.bufferSeconds = 4;
    configuration.segmentSeconds = 2;
    makeAndStart(configuration);
    frame(0);
    segment(0, 2);
    onQueue([&] { encoder(0)->setReady(false); });
    frame(0.1);
    EXPECT_EQ(engine->status().framesDropped, 1);
    take();

    onQueue([&] { encoder(0)->rejectAppends(std::make_exception_ptr(std::runtime_error("bad frame"))); });
    frame(0.2);
    auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"capture-error", "capture-status"}));
    const auto failure = only<captureevent::Failure>(seen)[0].message;
    EXPECT_TRUE(failure.starts_with("Encoder restarted after a fault: ")) << failure;
    EXPECT_NE(failure.find("append rejected"), std::string::npos) << failure;
    const auto status = only<captureevent::Status>(seen)[0].status;
    EXPECT_EQ(status.restartCount, 1);
    EXPECT_EQ(status.framesDropped, 1);  // the replaced writer's drops still count
    EXPECT_EQ(encoder(0)->cancelCount(), 1);
    ASSERT_EQ(encoderCount(), 2u);

    frame(0.3);
    EXPECT_EQ(encoder(1)->appendedSamples().size(), 1u);
    segment(1, 2);
    // Writer 1's segment is still indexed, so its initialization segment stays.
    EXPECT_TRUE(fs::exists(engine->segmentDirectory() / "init-001.mp4"));
    segment(1, 2);
    segment(1, 2);
    segment(1, 2);
    EXPECT_FALSE(fs::exists(engine->segmentDirectory() / "001-000001.m4s"));
    EXPECT_FALSE(fs::exists(engine->segmentDirectory() / "init-001.mp4"));
    EXPECT_TRUE(fs::exists(engine->segmentDirectory() / "init-002.mp4"));

    take();

    // A media segment the current writer cannot write recycles that writer too.
    fs::create_directory(engine->segmentDirectory() / "002-000005.m4s");
    onQueue([&] { encoder(1)->emitMedia("y", 2, 0); });
    seen = take();
    ASSERT_EQ(only<captureevent::Failure>(seen).size(), 1u);
    EXPECT_TRUE(only<captureevent::Failure>(seen)[0].message.starts_with(
        "Encoder restarted after a fault: Could not write capture segment 002-000005: "))
        << only<captureevent::Failure>(seen)[0].message;
    EXPECT_EQ(engine->status().restartCount, 2);
    EXPECT_EQ(encoderCount(), 3u);
}

TEST_F(CaptureEngineTest, AManifestThatCannotBeWrittenRollsTheCompletionBack) {
    makeAndStart();
    frame(0);
    segment(0, 10);
    engine->markTrade("t", startEpoch + 5, 1);
    engine->endTrade("t", startEpoch + 12, 2);
    take();

    // The manifests folder turns into a file: every manifest write fails.
    const auto manifests = directory.path() / "out" / "manifests";
    fs::rename(manifests, directory.path() / "saved");
    testing::writeWholeFile(manifests.string(), "not a folder");
    segment(0, 10);
    auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"segment-finalized", "capture-error", "capture-status"}));
    EXPECT_TRUE(only<captureevent::Failure>(seen)[0].message.starts_with("Could not write the trade manifest: "));
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.phase, "post-roll");
    EXPECT_THROW(engine->markTrade("u", startEpoch + 20, 0), std::exception);
    EXPECT_EQ(engine->status().activeTradeId, "u");  // the index keeps a trade whose manifest failed
    EXPECT_TRUE(engine->releaseTrade("u"));

    fs::remove(manifests);
    fs::rename(directory.path() / "saved", manifests);
    segment(0, 10);
    seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"segment-finalized", "trade-completed", "capture-status"}));
    EXPECT_EQ(rawValue(only<captureevent::TradeCompleted>(seen)[0].manifest.status), "ready");
}

TEST_F(CaptureEngineTest, StopFinishesTheWriterAndClosesAnOpenTradeAtTheEndOfTheMedia) {
    makeAndStart();
    frame(0);
    segment(0, 5);
    engine->markTrade("open", startEpoch + 2, 1);
    take();
    // The writer hands out its last segment while it finishes.
    const auto status = stopWhileDraining([](FakeSegmentEncoder& encoder) { encoder.emitMedia("last", 3, 5); });
    EXPECT_EQ(status.phase, "idle");
    EXPECT_EQ(status.segmentCount, 2);
    const auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"segment-finalized", "capture-status", "capture-status",
                                                     "trade-completed", "capture-status"}));
    const auto manifest = only<captureevent::TradeCompleted>(seen)[0].manifest;
    EXPECT_EQ(rawValue(manifest.status), "ready");
    EXPECT_DOUBLE_EQ(*manifest.exitOccurredAt, startEpoch + 8);
    EXPECT_DOUBLE_EQ(*manifest.retainThrough, startEpoch + 8);
    EXPECT_EQ(manifest.segments.size(), 2u);
    EXPECT_EQ(only<captureevent::Status>(seen).back().status, status);
    EXPECT_FALSE(streams->latest()->running);
    EXPECT_TRUE(streams->latest()->detached);
    // Frames after stop are ignored.
    streams->latest()->running = true;
    streams->latest()->detached = false;
    frame(9);
    EXPECT_EQ(engine->status().framesCaptured, 1);
}

TEST_F(CaptureEngineTest, OnTradeModeWritesOnlyFromTheMarkUntilThePostRollHasPassed) {
    StartCaptureConfiguration configuration;
    configuration.recordMode = CaptureRecordMode::onTrade;
    makeAndStart(configuration);
    frame(0);
    frame(0.5);
    EXPECT_EQ(encoderCount(), 0u);  // nothing is written before a trade
    take();

    const auto marked = engine->markTrade("a", startEpoch + 0.5, 30);
    EXPECT_DOUBLE_EQ(marked.manifest.retainFrom, startEpoch + 0.5);  // no pre-roll without recording
    frame(1.0);
    ASSERT_EQ(encoderCount(), 1u);
    segment(0, 1);
    frame(1.5);
    take();

    // An end whose post-roll is already behind the newest frame finishes the recording at once.
    const auto ended = engine->endTrade("a", startEpoch + 1.2, 0);
    EXPECT_EQ(rawValue(ended.manifest.status), "post-roll");
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-marked", "capture-status"}));
    EXPECT_TRUE(onQueue([&] { return encoder(0)->finishPending(); }));
    frame(2.0);
    EXPECT_EQ(encoder(0)->appendedSamples().size(), 2u);
    onQueue([&] { encoder(0)->completeFinish(); });
    auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"trade-completed", "capture-status"}));
    EXPECT_EQ(rawValue(only<captureevent::TradeCompleted>(seen)[0].manifest.status), "ready");
    EXPECT_EQ(only<captureevent::Status>(seen)[0].status.phase, "buffering");

    // A second trade ends in the future; the health tick stops the writing although no frame comes.
    engine->markTrade("b", startEpoch + 2.0, 0);
    frame(2.1);
    ASSERT_EQ(encoderCount(), 2u);
    engine->endTrade("b", startEpoch + 2.2, 1);
    take();
    advance(2);  // health tick at uptime 2: epoch +2.0 < 3.2
    EXPECT_FALSE(onQueue([&] { return encoder(1)->finishPending(); }));
    advance(2);  // uptime 4
    EXPECT_TRUE(onQueue([&] { return encoder(1)->finishPending(); }));
    onQueue([&] { encoder(1)->completeFinish(); });
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-completed", "capture-status"}));

    // With no frame since the mark there is no writer: the trade completes inside endTrade.
    engine->markTrade("c", startEpoch + 2.0, 0);
    take();
    engine->endTrade("c", startEpoch + 2.0, 0);
    EXPECT_EQ(names(take()), (std::vector<std::string>{"trade-completed", "capture-status"}));
    EXPECT_EQ(encoderCount(), 2u);
}

TEST_F(CaptureEngineTest, AFinishingWritersFailureIsReportedAndItsTradesStillComplete) {
    StartCaptureConfiguration configuration;
    configuration.recordMode = CaptureRecordMode::onTrade;
    makeAndStart(configuration);
    engine->markTrade("a", startEpoch, 0);
    frame(0);
    segment(0, 1);
    engine->endTrade("a", startEpoch, 0);  // finishing
    take();
    // The finishing writer's failure is reported under its number and changes nothing else.
    onQueue([&] { encoder(0)->completeFinish(std::make_exception_ptr(std::runtime_error("disk full"))); });
    const auto seen = take();
    EXPECT_EQ(names(seen), (std::vector<std::string>{"capture-error", "trade-completed", "capture-status"}));
    EXPECT_TRUE(only<captureevent::Failure>(seen)[0].message.starts_with(
        "Finalizing encoder 1 failed: Finalizing the capture stream failed: "));
    EXPECT_EQ(engine->status().restartCount, 0);
}

}  // namespace
}  // namespace halvex
