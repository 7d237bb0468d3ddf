#include "core/capture/SegmentedCaptureWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/support/AtomicFile.h"
#include "core/support/DetailedError.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

namespace Message {
constexpr const char* startWritingFailed = "startWriting failed: ";
constexpr const char* writerStatus = "writer status ";
constexpr const char* appendRejected = "append rejected: ";
constexpr const char* initializationNotWritten = "Could not write the capture initialization segment: ";
constexpr const char* mediaBeforeInitialization =
    "A media segment arrived before its initialization segment; dropping it.";
constexpr const char* segmentNotWritten = "Could not write capture segment ";
constexpr const char* finalizingFailed = "Finalizing the capture stream failed: ";
constexpr const char* timelineDriftFormat = "Segment %s timeline drift %.3fs";
constexpr const char* directoryNotCreated = "Could not create the segment directory";
}  // namespace Message

constexpr double driftToleranceSeconds = 0.5;
constexpr std::int64_t minimumBitRate = 2'000'000;
constexpr std::int64_t maximumBitRate = 12'000'000;


}  // namespace

SegmentedCaptureWriter::SegmentedCaptureWriter(Configuration configuration, CallbackQueue callbackQueue,
                                               SegmentHandler onSegment, FailureHandler onFailure)
    : configuration_(std::move(configuration)),
      onSegment_(std::move(onSegment)),
      onFailure_(std::move(onFailure)),
      callbackQueue_(std::move(callbackQueue)) {
    // Records carry absolute paths whatever the caller passed.
    configuration_.directory = std::filesystem::absolute(configuration_.directory).lexically_normal().string();
    initializationPath_ =
        (std::filesystem::path(configuration_.directory) / initializationFileName(configuration_.epoch)).string();
}

SegmentedCaptureWriter::~SegmentedCaptureWriter() = default;

std::shared_ptr<SegmentedCaptureWriter> SegmentedCaptureWriter::create(Configuration configuration,
                                                                       CallbackQueue callbackQueue,
                                                                       SegmentHandler onSegment,
                                                                       FailureHandler onFailure,
                                                                       const SegmentEncoderFactory& encoderFactory) {
    std::shared_ptr<SegmentedCaptureWriter> writer(new SegmentedCaptureWriter(
        std::move(configuration), std::move(callbackQueue), std::move(onSegment), std::move(onFailure)));
    writer->encoder_ = encoderFactory(encoderSettings(writer->configuration_));

    // Outputs arrive on the encoder's thread: copy them onto the callback queue and only there
    // look at the writer, which may be gone by then.
    std::weak_ptr<SegmentedCaptureWriter> weakWriter = writer;
    auto queue = writer->callbackQueue_;
    writer->encoder_->setOutputHandler(
        [weakWriter, queue](std::string bytes, SegmentType type, std::optional<SegmentReport> report) {
            queue([weakWriter, bytes = std::move(bytes), type, report = std::move(report)]() mutable {
                if (const auto self = weakWriter.lock()) self->handleSegment(std::move(bytes), type, report);
            });
        });

    std::error_code error;
    std::filesystem::create_directories(writer->configuration_.directory, error);
    if (error) {
        auto failure = PlatformError::posix(error.value(), Message::directoryNotCreated);
        failure.withField("path", writer->configuration_.directory);
        throw failure;
    }
    return writer;
}

std::string SegmentedCaptureWriter::initializationFileName(std::int64_t epoch) {
    char name[48];
    std::snprintf(name, sizeof name, "init-%03lld.mp4", static_cast<long long>(epoch));
    return name;
}

std::string SegmentedCaptureWriter::mediaSegmentID(std::int64_t epoch, std::int64_t sequence) {
    char id[48];
    std::snprintf(id, sizeof id, "%03lld-%06lld", static_cast<long long>(epoch), static_cast<long long>(sequence));
    return id;
}

std::string SegmentedCaptureWriter::mediaSegmentFileName(std::int64_t epoch, std::int64_t sequence) {
    return mediaSegmentID(epoch, sequence) + ".m4s";
}

std::int64_t SegmentedCaptureWriter::averageBitRate(std::int64_t width, std::int64_t height) {
    // Any side above the cap gives the cap anyway; clamping the sides first keeps the product in range.
    const std::int64_t clampedWidth = std::clamp<std::int64_t>(width, 0, maximumBitRate);
    const std::int64_t clampedHeight = std::clamp<std::int64_t>(height, 0, maximumBitRate);
    const std::int64_t pixels = std::min<std::int64_t>(clampedWidth * clampedHeight, maximumBitRate);
    return std::clamp<std::int64_t>(pixels * 4, minimumBitRate, maximumBitRate);
}

SegmentEncoderSettings SegmentedCaptureWriter::encoderSettings(const Configuration& configuration) {
    return SegmentEncoderSettings{configuration.width, configuration.height,
                                  averageBitRate(configuration.width, configuration.height), configuration.fps,
                                  configuration.segmentSeconds};
}

bool SegmentedCaptureWriter::append(const SampleBuffer& sample, double epochNow) {
    if (finished_) return false;
    const MediaTime& presentationTime = sample.presentationTime;
    if (!presentationTime.isValid() || !presentationTime.isNumeric()) return false;

    if (!started_) {
        if (!encoder_->startWriting(presentationTime)) {
            throw HalvexNativeError::writerFailed(Message::startWritingFailed + halvexDetailedError(encoder_->error()));
        }
        started_ = true;
        firstPTS_ = presentationTime;
        firstEpoch_ = epochNow;
    }

    const SegmentEncoderStatus status = encoder_->status();
    if (status != SegmentEncoderStatus::writing) {
        throw HalvexNativeError::writerFailed(Message::writerStatus + std::to_string(static_cast<int>(status)) +
                                              ": " + halvexDetailedError(encoder_->error()));
    }

    switch (encoder_->tryAppend(sample)) {
        case SegmentAppendResult::notReady:
            ++droppedFrameCount_;
            return false;
        case SegmentAppendResult::rejected:
            throw HalvexNativeError::writerFailed(Message::appendRejected + halvexDetailedError(encoder_->error()));
        case SegmentAppendResult::accepted:
            break;
    }
    ++appendedFrameCount_;
    lastFramePTS_ = presentationTime;
    lastFrameEpoch_ = epochNow;
    return true;
}

void SegmentedCaptureWriter::finish(std::function<void()> completion) {
    if (!started_ || finished_) {
        finished_ = true;
        if (completion) completion();
        return;
    }
    finished_ = true;
    // The completion is carried by value so it runs exactly once even when the owner drops the
    // writer while the encoder drains.
    SegmentEncoder* encoder = encoder_.get();
    auto queue = callbackQueue_;
    auto onFailure = onFailure_;
    encoder_->finishWriting([encoder, queue, onFailure, completion = std::move(completion)]() {
        std::optional<std::string> detail;
        if (encoder->status() != SegmentEncoderStatus::completed) detail = halvexDetailedError(encoder->error());
        queue([detail = std::move(detail), onFailure, completion]() {
            if (detail && onFailure) onFailure(Message::finalizingFailed + *detail);
            if (completion) completion();
        });
    });
}

void SegmentedCaptureWriter::cancel() {
    if (finished_) return;
    finished_ = true;
    cancelled_ = true;
    if (started_) encoder_->cancelWriting();
}

void SegmentedCaptureWriter::reportFailure(const std::string& message) const {
    if (onFailure_) onFailure_(message);
}

void SegmentedCaptureWriter::handleSegment(std::string bytes, SegmentType type,
                                           const std::optional<SegmentReport>& report) {
    // Blocks the encoder handed out before a cancel may still be queued; a cancelled writer
    // reports nothing more.
    if (cancelled_) return;

    if (type == SegmentType::initialization) {
        try {
            halvexWriteFileAtomically(initializationPath_, bytes);
            initializationWritten_ = true;
        } catch (const std::exception& error) {
            reportFailure(Message::initializationNotWritten + std::string(error.what()));
        }
        return;
    }

    if (!initializationWritten_) {
        reportFailure(Message::mediaBeforeInitialization);
        return;
    }
    if (!firstEpoch_) return;

    const SegmentTrackReport* track = report && !report->trackReports.empty() ? &report->trackReports.front() : nullptr;
    const double duration = track ? track->duration.seconds() : 0;
    if (!std::isfinite(duration) || !(duration > 0)) return;

    ++sequence_;
    const std::string id = mediaSegmentID(configuration_.epoch, sequence_);
    const std::string path = (std::filesystem::path(configuration_.directory) / (id + ".m4s")).string();
    try {
        halvexWriteFileAtomically(path, bytes);
    } catch (const std::exception& error) {
        reportFailure(Message::segmentNotWritten + id + ": " + error.what());
        return;
    }

    const double start = *firstEpoch_ + accumulatedSeconds_;
    accumulatedSeconds_ += duration;

    if (track->earliestPresentationTimeStamp.isValid() && track->earliestPresentationTimeStamp.isNumeric()) {
        const double reportedStart = track->earliestPresentationTimeStamp.seconds();
        if (std::isfinite(reportedStart)) {
            if (!firstReportedStart_) {
                firstReportedStart_ = reportedStart;
            } else {
                const double drift = (reportedStart - *firstReportedStart_) - (start - *firstEpoch_);
                if (std::fabs(drift) > driftToleranceSeconds) {
                    char line[160];
                    std::snprintf(line, sizeof line, Message::timelineDriftFormat, id.c_str(), drift);
                    halvexNativeLog(line);
                }
            }
        }
    }

    SegmentRecord record;
    record.id = id;
    record.path = path;
    record.initializationPath = initializationPath_;
    record.startedAt = start;
    record.endedAt = std::max(start, start + duration);
    record.durationSeconds = std::max(0.0, record.endedAt - record.startedAt);
    record.width = configuration_.width;
    record.height = configuration_.height;
    record.codec = segmentCodecH264;
    record.byteCount = static_cast<std::int64_t>(bytes.size());
    if (onSegment_) onSegment_(record);
}

}  // namespace halvex
