#include "core/capture/engine/CaptureEngine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <future>
#include <random>
#include <stdexcept>
#include <system_error>

#include "core/imaging/JPEGCodec.h"
#include "core/sources/ChartWindowIdentity.h"
#include "core/support/Base64.h"
#include "core/support/DetailedError.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/ISO8601.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

// Texts of failure events, status messages and log lines; "%s" stands for the part filled in.
namespace Message {
constexpr const char* stalled = "No frames for %.1fs from %s.";
constexpr const char* streamStopped = "ScreenCaptureKit stream stopped: %s";
constexpr const char* streamStopFailed = "ScreenCaptureKit stop failed: %s";
constexpr const char* restartFailed = "Could not restart the capture stream: %s";
constexpr const char* restarted = "Capture stream restarted after: %s";
constexpr const char* writerFault = "Capture writer fault: %s";
constexpr const char* encoderRestarted = "Encoder restarted after a fault: %s";
constexpr const char* encoderReleased = "The encoder was released after a fault: %s";
constexpr const char* finishingEncoderFailed = "Finalizing encoder %lld failed: %s";
constexpr const char* manifestNotWritten = "Could not write the trade manifest: %s";
constexpr const char* tradeNotFinalized = "Could not finalize trade %s: %s";
constexpr const char* tradeNotFinalizedWhileStopping = "Could not finalize trade %s while stopping: %s";
constexpr const char* prunedTrade = "Released pinned segments for completed trade %s.";
constexpr const char* evictedInitialization = "Evicted unreferenced initialization segment %s.";
constexpr const char* initializationNotEvicted = "Could not evict %s: %s";
constexpr const char* segmentDirectoryNotCreated = "Could not create the capture segment directory";
constexpr const char* missingFactory = "A capture engine needs a stream factory and an encoder factory.";
}  // namespace Message

constexpr const char* segmentsFolder = "segments";
constexpr const char* segmentFolderPrefix = "capture-";
constexpr const char* initializationPrefix = "init-";
constexpr const char* initializationSuffix = ".mp4";
constexpr const char* mediaSegmentExtension = ".m4s";

template <typename... Arguments>
std::string formatted(const char* format, Arguments... arguments) {
    const int length = std::snprintf(nullptr, 0, format, arguments...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, arguments...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string descriptionOf(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
    }
    return halvexDetailedError(nullptr);
}

std::string randomUUID() {
    std::random_device device;
    std::uniform_int_distribution<unsigned> byte(0, 255);
    unsigned char bytes[16];
    for (auto& value : bytes) value = static_cast<unsigned char>(byte(device));
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

// Runs a platform call that reports through a completion and waits for it; the completion may
// come on any thread, or at once, and only its first call counts.
std::exception_ptr awaitCompletion(const std::function<void(CaptureStream::Completion)>& call) {
    auto promise = std::make_shared<std::promise<std::exception_ptr>>();
    auto answered = std::make_shared<std::atomic<bool>>(false);
    auto result = promise->get_future();
    call([promise, answered](std::exception_ptr error) {
        if (!answered->exchange(true)) promise->set_value(std::move(error));
    });
    return result.get();
}

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Identifies which stream a stop report comes from; filled in once the factory has made it.
struct StreamSlot {
    std::mutex lock;
    std::weak_ptr<CaptureStream> stream;
};

}  // namespace

std::shared_ptr<CaptureEngine> CaptureEngine::create(ResolvedCaptureSource selection,
                                                     StartCaptureConfiguration configuration, EventSink eventSink,
                                                     CaptureEngineDependencies dependencies) {
    if (!dependencies.streamFactory || !dependencies.encoderFactory) throw std::invalid_argument(Message::missingFactory);
    if (!dependencies.clock) dependencies.clock = RealClock::shared();
    return std::shared_ptr<CaptureEngine>(new CaptureEngine(std::move(selection), std::move(configuration),
                                                            std::move(eventSink), std::move(dependencies)));
}

CaptureEngine::CaptureEngine(ResolvedCaptureSource selection, StartCaptureConfiguration configuration,
                             EventSink eventSink, CaptureEngineDependencies dependencies)
    : selection_(std::move(selection)),
      configuration_(std::move(configuration)),
      eventSink_(std::move(eventSink)),
      dependencies_(std::move(dependencies)),
      index_(configuration_.bufferSeconds) {
    sampleQueue_ = SerialQueue::create(captureengine::sampleQueueLabel, dependencies_.clock);
    captureStartedAt_ = dependencies_.clock->epochNow();
    const std::string uuid = dependencies_.makeUUID ? dependencies_.makeUUID() : randomUUID();
    segmentDirectory_ = (std::filesystem::absolute(configuration_.outputDirectory) / segmentsFolder /
                         (segmentFolderPrefix + uuid))
                            .lexically_normal();
    manifestStore_ = ManifestStore::create(configuration_.outputDirectory);
    std::error_code error;
    std::filesystem::create_directories(segmentDirectory_, error);
    if (error || !std::filesystem::is_directory(segmentDirectory_)) {
        auto failure = PlatformError::posix(error ? error.value() : ENOTDIR, Message::segmentDirectoryNotCreated);
        failure.withField("path", segmentDirectory_.string());
        throw failure;
    }
}

CaptureEngine::~CaptureEngine() {
    if (healthTimer_) healthTimer_->cancel();
    // An engine dropped without stop() must not leave a stream delivering into nothing.
    if (stream_) stream_->detach();
}

std::function<void(std::function<void()>)> CaptureEngine::sampleQueueSubmitter() const {
    std::weak_ptr<SerialQueue> weakQueue = sampleQueue_;
    return [weakQueue](std::function<void()> work) {
        if (const auto queue = weakQueue.lock()) queue->async(std::move(work));
    };
}

void CaptureEngine::emit(CaptureEngineEvent event) const {
    if (eventSink_) eventSink_(event);
}

// ----- public operations ---------------------------------------------------------------------

CaptureStatus CaptureEngine::start() {
    const auto stream = sampleQueue_->sync([this] {
        if (stream_) throw HalvexNativeError::captureAlreadyRunning();
        auto made = makeStream();
        captureStartedAt_ = dependencies_.clock->epochNow();
        stream_ = made;
        return made;
    });
    if (const auto error = awaitCompletion([&](CaptureStream::Completion done) { stream->start(std::move(done)); })) {
        stream->detach();
        sampleQueue_->sync([&] {
            if (stream_ == stream) stream_.reset();
        });
        std::rethrow_exception(error);
    }
    const auto status = sampleQueue_->sync([this] {
        phase_ = capturephase::buffering;
        lastMessage_.reset();
        startHealthTimer();
        return makeStatus();
    });
    emit(captureevent::Status{status});
    return status;
}

CaptureStatus CaptureEngine::stop() {
    const auto stream = sampleQueue_->sync([this] {
        stopChartWatcherOnQueue();  // its status is dropped
        isStopping_ = true;
        if (healthTimer_) healthTimer_->cancel();
        healthTimer_.reset();
        return std::exchange(stream_, nullptr);
    });
    if (stream) {
        if (const auto error = awaitCompletion([&](CaptureStream::Completion done) { stream->stop(std::move(done)); })) {
            halvexNativeLog(formatted(Message::streamStopFailed, descriptionOf(error).c_str()));
        }
        stream->detach();
    }
    finishCurrentWriterAndWaitForAllDrains();
    const auto status = sampleQueue_->sync([this] {
        finalizeUnfinishedTradesForStop();
        phase_ = capturephase::idle;
        return makeStatus();
    });
    emit(captureevent::Status{status});
    return status;
}

CaptureStatus CaptureEngine::status() {
    return sampleQueue_->sync([this] { return makeStatus(); });
}

void CaptureEngine::setPreviewEnabled(bool enabled) {
    sampleQueue_->sync([this, enabled] { previewEnabled_ = enabled; });
}

std::optional<std::vector<std::uint8_t>> CaptureEngine::captureDiagnosticFrame() {
    return sampleQueue_->sync([this] { return lastPreviewJPEG_; });
}

ChartWatcherStatus CaptureEngine::chartWatcherStatus() {
    return sampleQueue_->sync([this] { return inactiveChartWatcherStatus_.value_or(stoppedChartWatcherStatus()); });
}

ChartWatcherStatus CaptureEngine::stopChartWatcher() {
    return sampleQueue_->sync([this] { return stopChartWatcherOnQueue(); });
}

ChartWatcherStatus CaptureEngine::stopChartWatcherOnQueue() {
    // The hosted watcher, once it exists, is stopped here and its final status kept instead.
    inactiveChartWatcherStatus_ = stoppedChartWatcherStatus();
    return *inactiveChartWatcherStatus_;
}

ChartWatcherStatus CaptureEngine::stoppedChartWatcherStatus() const {
    return ChartWatcherStatus::stopped(selection_.source.id, selection_.source.appName,
                                       ChartWindowIdentity::isEligibleWindow(selection_.source),
                                       ChartWatcherConfiguration{}, std::nullopt);
}

// ----- stream and frames ---------------------------------------------------------------------

std::shared_ptr<CaptureStream> CaptureEngine::makeStream() {
    CaptureStreamConfiguration settings;
    settings.width = selection_.outputWidth;
    settings.height = selection_.outputHeight;
    settings.fps = configuration_.fps;
    settings.queueDepth = CaptureStreamConfiguration::queueDepthFor(settings.width, settings.height);
    settings.pixelFormat = PixelFormat::bgra;
    settings.showsCursor = true;

    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    auto slot = std::make_shared<StreamSlot>();
    auto onFrame = [weakSelf](const SampleBuffer& sample) {
        if (const auto self = weakSelf.lock()) self->didOutputSample(sample);
    };
    auto onStop = [weakSelf, slot](std::exception_ptr error) {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->sampleQueue_->async([weakSelf, slot, error] {
            const auto engine = weakSelf.lock();
            if (!engine) return;
            std::shared_ptr<CaptureStream> reporter;
            {
                std::lock_guard guard(slot->lock);
                reporter = slot->stream.lock();
            }
            engine->didStopWithError(reporter, error);
        });
    };
    auto stream = dependencies_.streamFactory->makeStream(selection_, settings, std::move(onFrame), std::move(onStop),
                                                          sampleQueueSubmitter());
    std::lock_guard guard(slot->lock);
    slot->stream = stream;
    return stream;
}

void CaptureEngine::didOutputSample(const SampleBuffer& sample) {
    if (isStopping_ || !sample.pixelBuffer || !sample.isComplete) return;
    processVideoSample(sample);
}

void CaptureEngine::processVideoSample(const SampleBuffer& sample) {
    const MediaTime& pts = sample.presentationTime;
    if (!pts.isValid() || !pts.isNumeric()) return;

    if (!firstPTS_) {
        firstPTS_ = pts;
        firstEpoch_ = dependencies_.clock->epochNow();
    }
    const double offset = (pts - *firstPTS_).seconds();
    const double frameTime = *firstEpoch_ + (std::isfinite(offset) ? offset : 0.0);

    ++framesCaptured_;
    lastFrameEpoch_ = frameTime;
    recentFrameEpochs_.push_back(frameTime);
    while (recentFrameEpochs_.size() > captureengine::frameRateWindow) recentFrameEpochs_.pop_front();

    if (stalled_ || phase_ == capturephase::error) {
        stalled_ = false;
        lastMessage_.reset();
        refreshPhase();
        emit(captureevent::Status{makeStatus()});
    }

    // A chart watcher, once there is one, is offered each complete frame at this point: before the
    // preview and the writer, so its scan never waits on encoding.
    emitPreviewIfDue(*sample.pixelBuffer, frameTime);
    writeFrame(sample, frameTime);
}

void CaptureEngine::didStopWithError(const std::shared_ptr<CaptureStream>& reporter, std::exception_ptr error) {
    if (isStopping_) return;
    // A report from a stream that is no longer the current one (replaced, or being restarted)
    // would start a second restart of the same failure.
    if (!reporter || reporter != stream_) return;
    const std::string text = halvexDetailedError(error);
    halvexNativeLog(formatted(Message::streamStopped, text.c_str()));
    phase_ = capturephase::error;
    lastMessage_ = text;
    emit(captureevent::Failure{text});
    emit(captureevent::Status{makeStatus()});
    scheduleStreamRestart(text);
}

void CaptureEngine::scheduleStreamRestart(const std::string& reason) {
    if (isStopping_) return;
    ++restartCount_;
    const auto old = std::exchange(stream_, nullptr);
    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    // The pause runs on the engine's clock, as a timer of the sample queue.
    auto pauseThenRestart = [weakSelf, reason] {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->sampleQueue_->after(captureengine::restartPauseSeconds, [weakSelf, reason] {
            if (const auto engine = weakSelf.lock()) engine->restartStream(reason);
        });
    };
    if (!old) {
        pauseThenRestart();
        return;
    }
    old->stop([old, pauseThenRestart](std::exception_ptr) {
        old->detach();
        pauseThenRestart();
    });
}

void CaptureEngine::restartStream(const std::string& reason) {
    if (isStopping_) return;
    std::shared_ptr<CaptureStream> stream;
    try {
        stream = makeStream();
    } catch (...) {
        failCapture(formatted(Message::restartFailed, halvexDetailedError(std::current_exception()).c_str()));
        return;
    }
    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    stream->start([weakSelf, stream, reason](std::exception_ptr error) {
        const auto self = weakSelf.lock();
        if (!self) {
            stream->detach();
            if (!error) stream->stop([stream](std::exception_ptr) {});
            return;
        }
        self->sampleQueue_->async([weakSelf, stream, error, reason] {
            if (const auto engine = weakSelf.lock()) {
                engine->didStartRestartedStream(stream, error, reason);
            } else {
                stream->detach();
                if (!error) stream->stop([stream](std::exception_ptr) {});
            }
        });
    });
}

void CaptureEngine::didStartRestartedStream(const std::shared_ptr<CaptureStream>& stream, std::exception_ptr error,
                                            const std::string& reason) {
    if (isStopping_) {
        // stop() has already run past the stream; this one must not outlive it.
        stream->detach();
        if (!error) stream->stop([stream](std::exception_ptr) {});
        return;
    }
    if (error) {
        stream->detach();
        failCapture(formatted(Message::restartFailed, halvexDetailedError(error).c_str()));
        return;
    }
    stream_ = stream;
    lastMessage_ = formatted(Message::restarted, reason.c_str());
    refreshPhase();
    emit(captureevent::Status{makeStatus()});
}

void CaptureEngine::failCapture(const std::string& message) {
    phase_ = capturephase::error;
    lastMessage_ = message;
    emit(captureevent::Failure{message});
    emit(captureevent::Status{makeStatus()});
}

void CaptureEngine::startHealthTimer() {
    if (healthTimer_) healthTimer_->cancel();
    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    healthTimer_ = sampleQueue_->repeating(captureengine::healthIntervalSeconds, [weakSelf] {
        if (const auto self = weakSelf.lock()) self->evaluateHealth();
    });
}

void CaptureEngine::evaluateHealth() {
    if (isStopping_ || phase_ == capturephase::idle) return;
    const double now = dependencies_.clock->epochNow();
    if (isOnTradeMode() && onTradeWriting_ && onTradeStopWritingAt_ && now >= *onTradeStopWritingAt_) {
        finishOnTradeCapture();
    }
    const double last = lastFrameEpoch_.value_or(captureStartedAt_);
    const bool stalledNow = (now - last) > captureengine::stallThresholdSeconds;
    if (stalledNow == stalled_) return;
    stalled_ = stalledNow;
    if (stalledNow) {
        const auto message = formatted(Message::stalled, now - last, selection_.source.name.c_str());
        lastMessage_ = message;
        emit(captureevent::Failure{message});
    }
    emit(captureevent::Status{makeStatus()});
}

void CaptureEngine::emitPreviewIfDue(const PixelBuffer& pixels, double frameTime) {
    if (!previewEnabled_) return;
    if (!(frameTime - lastPreviewEpoch_ >= captureengine::previewIntervalSeconds)) return;
    lastPreviewEpoch_ = frameTime;
    const int width = pixels.width();
    const int height = pixels.height();
    if (width <= 0 || height <= 0) return;

    const double scale = std::min(static_cast<double>(captureengine::previewMaximumWidth) / width, 1.0);
    const int scaledWidth = static_cast<int>(width * scale);
    const int scaledHeight = static_cast<int>(height * scale);
    if (scaledWidth <= 0 || scaledHeight <= 0) return;
    std::shared_ptr<PixelBuffer> scaled;
    const PixelBuffer* image = &pixels;
    if (scaledWidth != width || scaledHeight != height) {
        scaled = previewScaler_.scaled(pixels, scaledWidth, scaledHeight);
        if (!scaled) return;
        image = scaled.get();
    }
    auto jpeg = JPEGCodec::encode(*image, captureengine::previewJPEGQuality);
    if (jpeg.empty()) return;

    ++previewFrameIndex_;
    CapturePreviewFrame frame{selection_.source.id, scaledWidth, scaledHeight, frameTime, previewFrameIndex_,
                              halvexBase64Encode(jpeg)};
    lastPreviewJPEG_ = std::move(jpeg);
    emit(captureevent::Preview{std::move(frame)});
}

double CaptureEngine::measuredFrameRate() const {
    const std::size_t count = recentFrameEpochs_.size();
    if (count <= 1) return 0;
    const double oldest = recentFrameEpochs_.front();
    const double newest = recentFrameEpochs_.back();
    if (!(oldest < newest)) return 0;
    return static_cast<double>(count - 1) / (newest - oldest);
}

CaptureStatus CaptureEngine::makeStatus(std::optional<std::string> message) const {
    CaptureStatus status;
    status.phase = stalled_ && phase_ != capturephase::idle ? capturephase::stalled : phase_;
    status.sourceId = selection_.source.id;
    status.sourceName = selection_.source.name;
    status.startedAt = halvexISO8601String(captureStartedAt_);
    status.outputDirectory = configuration_.outputDirectory.string();
    status.bufferSeconds = configuration_.bufferSeconds;
    status.segmentSeconds = configuration_.segmentSeconds;
    status.fps = configuration_.fps;
    status.segmentCount = static_cast<std::int64_t>(index_.segments.size());
    status.retainedSeconds = index_.retainedSeconds();
    if (const auto active = index_.activeSessionIDs(); !active.empty()) status.activeTradeId = active.front();
    status.message = message ? std::move(message) : lastMessage_;
    status.framesCaptured = framesCaptured_;
    status.framesDropped = framesDropped_;
    status.measuredFps = std::round(measuredFrameRate() * 100) / 100;
    status.lastFrameAt = lastFrameEpoch_;
    status.stalled = stalled_;
    status.restartCount = restartCount_;
    return status;
}

void CaptureEngine::refreshPhase() {
    if (!index_.activeSessionIDs().empty()) {
        phase_ = capturephase::inTrade;
    } else if (!index_.pendingPostRollSessionIDs().empty()) {
        phase_ = capturephase::postRoll;
    } else if (phase_ != capturephase::idle) {
        phase_ = capturephase::buffering;
    }
}

// ----- writers -------------------------------------------------------------------------------

std::shared_ptr<SegmentedCaptureWriter> CaptureEngine::makeWriter() {
    ++writerEpoch_;
    SegmentedCaptureWriter::Configuration settings;
    settings.directory = segmentDirectory_.string();
    settings.width = selection_.outputWidth;
    settings.height = selection_.outputHeight;
    settings.fps = configuration_.fps;
    settings.segmentSeconds = configuration_.segmentSeconds;
    settings.epoch = writerEpoch_;
    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    const std::int64_t epoch = writerEpoch_;
    return SegmentedCaptureWriter::create(
        settings, sampleQueueSubmitter(),
        [weakSelf](const SegmentRecord& record) {
            if (const auto self = weakSelf.lock()) self->acceptFinalizedSegment(record);
        },
        [weakSelf, epoch](const std::string& reason) {
            if (const auto self = weakSelf.lock()) self->handleWriterFailure(epoch, reason);
        },
        dependencies_.encoderFactory);
}

void CaptureEngine::writeFrame(const SampleBuffer& sample, double frameTime) {
    if (isOnTradeMode() && !onTradeWriting_) return;
    if (!writer_) {
        try {
            writer_ = makeWriter();
        } catch (...) {
            failCapture(halvexDetailedError(std::current_exception()));
            return;
        }
    }
    try {
        writer_->append(sample, frameTime);
        framesDropped_ = framesDroppedByRetiredWriters_ + writer_->droppedFrameCount();
    } catch (...) {
        const auto detail = halvexDetailedError(std::current_exception());
        halvexNativeLog(formatted(Message::writerFault, detail.c_str()));
        recycleWriter(detail);
    }
    if (isOnTradeMode() && onTradeWriting_ && onTradeStopWritingAt_ && frameTime >= *onTradeStopWritingAt_) {
        finishOnTradeCapture();
    }
}

void CaptureEngine::retireWriter(const SegmentedCaptureWriter& writer) {
    framesDroppedByRetiredWriters_ += writer.droppedFrameCount();
    framesDropped_ = framesDroppedByRetiredWriters_;
}

void CaptureEngine::recycleWriter(const std::string& reason) {
    if (isStopping_) return;
    ++restartCount_;
    lastMessage_ = reason;
    if (const auto faulty = std::exchange(writer_, nullptr)) {
        retireWriter(*faulty);
        faulty->cancel();
    }
    if (!isOnTradeMode() || onTradeWriting_) {
        emit(captureevent::Failure{formatted(Message::encoderRestarted, reason.c_str())});
        try {
            writer_ = makeWriter();
        } catch (...) {
            failCapture(halvexDetailedError(std::current_exception()));
            return;
        }
    } else {
        emit(captureevent::Failure{formatted(Message::encoderReleased, reason.c_str())});
    }
    refreshPhase();
    emit(captureevent::Status{makeStatus()});
}

void CaptureEngine::handleWriterFailure(std::int64_t epoch, const std::string& reason) {
    if (writer_ && writer_->epoch() == epoch) {
        recycleWriter(reason);
        return;
    }
    emit(captureevent::Failure{formatted(Message::finishingEncoderFailed, static_cast<long long>(epoch), reason.c_str())});
}

void CaptureEngine::acceptFinalizedSegment(const SegmentRecord& record) {
    const auto result = index_.append(record);
    for (const auto& evicted : result.evicted) deleteEvictedSegment(evicted);
    removeOrphanedInitializationSegments();
    emit(captureevent::SegmentFinalized{record});

    std::vector<std::string> sessionIds;
    for (const auto& [id, trade] : index_.trades) sessionIds.push_back(id);
    for (const auto& id : sessionIds) {
        const bool completedNow = contains(result.completedSessionIDs, id);
        try {
            const auto manifest = writeManifest(id);
            if (completedNow) emit(captureevent::TradeCompleted{manifest});
        } catch (...) {
            if (completedNow) rollbackCompletion(id);
            emit(captureevent::Failure{
                formatted(Message::manifestNotWritten, descriptionOf(std::current_exception()).c_str())});
        }
    }
    for (const auto& id : index_.pruneCompletedTrades(completedTradesKept)) {
        halvexNativeLog(formatted(Message::prunedTrade, id.c_str()));
    }
    refreshPhase();
    emit(captureevent::Status{makeStatus()});
}

void CaptureEngine::deleteEvictedSegment(const SegmentRecord& record) const {
    // Only media segments of this engine's own folder are ever deleted.
    const auto path = std::filesystem::path(record.path).lexically_normal();
    if (path.parent_path() != segmentDirectory_ || path.extension() != mediaSegmentExtension) return;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

void CaptureEngine::removeOrphanedInitializationSegments() const {
    std::set<std::string> inUse;
    for (const auto& segment : index_.segments) {
        inUse.insert(std::filesystem::path(segment.initializationPath).filename().string());
    }
    for (const auto& [key, writer] : finishingWriters_) {
        inUse.insert(std::filesystem::path(writer->initializationPath()).filename().string());
    }
    if (writer_) inUse.insert(std::filesystem::path(writer_->initializationPath()).filename().string());

    std::error_code error;
    std::filesystem::directory_iterator entries(segmentDirectory_, error);
    if (error) return;
    std::vector<std::filesystem::path> orphans;
    for (const auto& entry : entries) {
        const auto name = entry.path().filename().string();
        if (!name.starts_with(initializationPrefix) || !name.ends_with(initializationSuffix)) continue;
        if (inUse.count(name) || !entry.is_regular_file(error)) continue;
        orphans.push_back(entry.path());
    }
    for (const auto& orphan : orphans) {
        const auto name = orphan.filename().string();
        std::error_code removal;
        if (std::filesystem::remove(orphan, removal)) {
            halvexNativeLog(formatted(Message::evictedInitialization, name.c_str()));
        } else if (removal) {
            halvexNativeLog(formatted(Message::initializationNotEvicted, name.c_str(), removal.message().c_str()));
        }
    }
}

void CaptureEngine::beginFinishing(const std::shared_ptr<SegmentedCaptureWriter>& writer,
                                   const std::vector<std::string>& sessionIds) {
    if (finishingWriters_.count(writer.get())) return;
    index_.deferCompletionUntilWriterDrains(sessionIds);
    finishingWriters_[writer.get()] = writer;
    retireWriter(*writer);
    std::weak_ptr<CaptureEngine> weakSelf = weak_from_this();
    const SegmentedCaptureWriter* key = writer.get();
    // Always a separate work item, even when a writer that never started completes at once.
    writer->finish([weakSelf, key, sessionIds] {
        const auto self = weakSelf.lock();
        if (!self) return;
        self->sampleQueue_->async([weakSelf, key, sessionIds] {
            if (const auto engine = weakSelf.lock()) engine->writerDidDrain(key, sessionIds);
        });
    });
}

void CaptureEngine::writerDidDrain(const SegmentedCaptureWriter* writer, const std::vector<std::string>& sessionIds) {
    completeSessionsAfterWriterDrain(sessionIds);
    finishingWriters_.erase(writer);
    removeOrphanedInitializationSegments();
    refreshPhase();
    emit(captureevent::Status{makeStatus()});
    resumeWriterDrainWaitersIfReady();
}

void CaptureEngine::completeSessionsAfterWriterDrain(const std::vector<std::string>& sessionIds) {
    std::vector<std::string> ordered = sessionIds;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    for (const auto& id : ordered) {
        if (!index_.writerDidDrain(id)) continue;
        try {
            emit(captureevent::TradeCompleted{writeManifest(id)});
        } catch (...) {
            rollbackCompletion(id);
            emit(captureevent::Failure{
                formatted(Message::tradeNotFinalized, id.c_str(), descriptionOf(std::current_exception()).c_str())});
        }
    }
}

void CaptureEngine::resumeWriterDrainWaitersIfReady() {
    if (!finishingWriters_.empty()) return;
    for (const auto& resume : std::exchange(writerDrainWaiters_, {})) resume();
}

void CaptureEngine::finishCurrentWriterAndWaitForAllDrains() {
    auto drained = std::make_shared<std::promise<void>>();
    auto done = drained->get_future();
    sampleQueue_->sync([this, drained] {
        if (const auto current = std::exchange(writer_, nullptr)) {
            const auto sessionIds = isOnTradeMode() ? unfinishedOnTradeWriterSessionIDs() : std::vector<std::string>{};
            clearOnTradeState();
            beginFinishing(current, sessionIds);
        }
        if (finishingWriters_.empty()) {
            drained->set_value();
        } else {
            writerDrainWaiters_.push_back([drained] { drained->set_value(); });
        }
    });
    done.wait();
}

std::vector<std::string> CaptureEngine::unfinishedOnTradeWriterSessionIDs() const {
    std::vector<std::string> ids;
    for (const auto& id : onTradeWriterSessionIDs_) {
        const auto trade = index_.trades.find(id);
        if (trade != index_.trades.end() && !trade->second.completionEmitted) ids.push_back(id);
    }
    return ids;
}

void CaptureEngine::clearOnTradeState() {
    onTradeWriting_ = false;
    onTradeStopWritingAt_.reset();
    onTradeSessionID_.reset();
    onTradeWriterSessionIDs_.clear();
}

void CaptureEngine::finishOnTradeCapture() {
    auto sessionIds = unfinishedOnTradeWriterSessionIDs();
    if (onTradeSessionID_ && !contains(sessionIds, *onTradeSessionID_)) sessionIds.push_back(*onTradeSessionID_);
    std::sort(sessionIds.begin(), sessionIds.end());
    clearOnTradeState();
    if (const auto current = std::exchange(writer_, nullptr)) {
        beginFinishing(current, sessionIds);
    } else {
        index_.deferCompletionUntilWriterDrains(sessionIds);
        completeSessionsAfterWriterDrain(sessionIds);
    }
}

// ----- trades --------------------------------------------------------------------------------

TradeManifest CaptureEngine::writeManifest(const std::string& sessionId) const {
    const auto trade = index_.trades.find(sessionId);
    if (trade == index_.trades.end()) throw HalvexNativeError::tradeNotFound(sessionId);
    return manifestStore_->write(trade->second, index_.segmentsFor(sessionId),
                                 index_.effectivePreRoll(sessionId).value_or(0.0),
                                 index_.hasGaps(sessionId, segmentGapToleranceSeconds));
}

void CaptureEngine::rollbackCompletion(const std::string& sessionId) {
    const auto trade = index_.trades.find(sessionId);
    if (trade != index_.trades.end() && trade->second.completionEmitted) trade->second.completionEmitted = false;
}

CaptureEngine::TradeResult CaptureEngine::markTrade(const std::string& sessionId, double occurredAt,
                                                    double preRollSeconds) {
    return sampleQueue_->sync([&] {
        // Nothing before the mark is recorded in on-trade mode, so there is no pre-roll to pin.
        index_.markTrade(sessionId, occurredAt, isOnTradeMode() ? 0.0 : preRollSeconds);
        if (isOnTradeMode()) {
            onTradeSessionID_ = sessionId;
            onTradeWriterSessionIDs_.insert(sessionId);
            onTradeStopWritingAt_.reset();
            onTradeWriting_ = true;
        }
        auto manifest = writeManifest(sessionId);
        phase_ = capturephase::inTrade;
        auto status = makeStatus();
        emit(captureevent::TradeMarked{manifest});
        emit(captureevent::Status{status});
        return TradeResult{std::move(status), std::move(manifest)};
    });
}

CaptureEngine::TradeResult CaptureEngine::endTrade(const std::string& sessionId, double occurredAt,
                                                   double postRollSeconds) {
    return sampleQueue_->sync([&] {
        const auto completed = index_.endTrade(sessionId, occurredAt, postRollSeconds);
        bool finishedHere = false;
        if (isOnTradeMode() && onTradeWriting_ && onTradeSessionID_ == sessionId) {
            const double stopAt = occurredAt + std::max(postRollSeconds, 0.0);
            onTradeStopWritingAt_ = stopAt;
            const double now = lastFrameEpoch_.value_or(dependencies_.clock->epochNow());
            if (now >= stopAt) {
                finishOnTradeCapture();
                finishedHere = true;
            }
        }
        const bool completedNow = contains(completed, sessionId);
        TradeManifest manifest;
        try {
            manifest = writeManifest(sessionId);
        } catch (...) {
            if (completedNow && !finishedHere) rollbackCompletion(sessionId);
            throw;
        }
        refreshPhase();
        auto status = makeStatus();
        if (!finishedHere) {
            if (completedNow) {
                emit(captureevent::TradeCompleted{manifest});
            } else {
                emit(captureevent::TradeMarked{manifest});
            }
        } else {
            const auto trade = index_.trades.find(sessionId);
            if (trade == index_.trades.end() || !trade->second.completionEmitted) {
                emit(captureevent::TradeMarked{manifest});
            }
        }
        emit(captureevent::Status{status});
        return TradeResult{std::move(status), std::move(manifest)};
    });
}

bool CaptureEngine::releaseTrade(const std::string& sessionId) {
    return sampleQueue_->sync([&] { return index_.releaseTrade(sessionId); });
}

void CaptureEngine::finalizeUnfinishedTradesForStop() {
    const double lastMediaAt = index_.latestSegmentEnd().value_or(
        lastFrameEpoch_.value_or(dependencies_.clock->epochNow()));
    for (const auto& id : index_.finalizeUnfinishedTradesForStop(lastMediaAt)) {
        try {
            emit(captureevent::TradeCompleted{writeManifest(id)});
        } catch (...) {
            rollbackCompletion(id);
            emit(captureevent::Failure{formatted(Message::tradeNotFinalizedWhileStopping, id.c_str(),
                                                 descriptionOf(std::current_exception()).c_str())});
        }
    }
}

}  // namespace halvex
