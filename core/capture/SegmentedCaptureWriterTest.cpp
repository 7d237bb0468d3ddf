#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/capture/FakeSegmentEncoder.h"
#include "core/capture/SegmentedCaptureWriter.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

// A callback queue the test drains by hand, so it can see what happens before and after the hop.
class ManualQueue {
public:
    SegmentedCaptureWriter::CallbackQueue submitter() {
        return [this](std::function<void()> task) { tasks_.push_back(std::move(task)); };
    }
    std::size_t pending() const { return tasks_.size(); }
    void drain() {
        while (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.erase(tasks_.begin());
            task();
        }
    }

private:
    std::vector<std::function<void()>> tasks_;
};

SampleBuffer frameAt(double seconds) {
    static const std::shared_ptr<const PixelBuffer> pixels = PixelBuffer::create(16, 16);
    return SampleBuffer{pixels, MediaTime::fromSeconds(seconds, 600), true};
}

std::string writerFailure(const std::function<void()>& body) {
    try {
        body();
    } catch (const HalvexNativeError& error) {
        EXPECT_EQ(error.kind(), HalvexNativeError::Kind::writerFailed);
        return error.payload();
    }
    ADD_FAILURE() << "no writerFailed was thrown";
    return {};
}

class SegmentedCaptureWriterTest : public ::testing::Test {
protected:
    void SetUp() override { makeWriter(1); }

    void makeWriter(std::int64_t epoch) {
        encoder = std::make_shared<FakeSegmentEncoder>(SegmentEncoderSettings{});
        SegmentedCaptureWriter::Configuration configuration{directory(), 1920, 1080, 30, 10.0, epoch};
        writer = SegmentedCaptureWriter::create(
            configuration, queue.submitter(), [this](const SegmentRecord& record) { records.push_back(record); },
            [this](const std::string& message) { failures.push_back(message); },
            FakeSegmentEncoder::factoryReturning(encoder));
    }

    std::string directory() const { return (temporary.path() / "segments").string(); }
    std::vector<std::string> filesOnDisk() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testing::TemporaryDirectory temporary;
    ManualQueue queue;
    std::shared_ptr<FakeSegmentEncoder> encoder;
    std::shared_ptr<SegmentedCaptureWriter> writer;
    std::vector<SegmentRecord> records;
    std::vector<std::string> failures;
};

TEST(SegmentedCaptureWriterNaming, FileNamesGrowBeyondTheirMinimumWidths) {
    struct Case {
        std::int64_t epoch, sequence;
        const char* initialization;
        const char* media;
    };
    for (const Case& c : {Case{1, 1, "init-001.mp4", "001-000001.m4s"}, Case{1, 2, "init-001.mp4", "001-000002.m4s"},
                          Case{12, 1, "init-012.mp4", "012-000001.m4s"},
                          Case{1234, 1234567, "init-1234.mp4", "1234-1234567.m4s"}}) {
        EXPECT_EQ(SegmentedCaptureWriter::initializationFileName(c.epoch), c.initialization);
        EXPECT_EQ(SegmentedCaptureWriter::mediaSegmentFileName(c.epoch, c.sequence), c.media);
        EXPECT_EQ(SegmentedCaptureWriter::mediaSegmentID(c.epoch, c.sequence) + ".m4s", c.media);
    }
}

TEST(SegmentedCaptureWriterNaming, BitRateIsFourBitsPerPixelWithinTwoToTwelveMegabits) {
    struct Case {
        std::int64_t width, height, bitRate;
    };
    for (const Case& c : {Case{1920, 1080, 8'294'400}, Case{640, 480, 2'000'000}, Case{3840, 2160, 12'000'000},
                          Case{0, 0, 2'000'000}, Case{std::numeric_limits<std::int64_t>::max(), 2, 12'000'000}}) {
        EXPECT_EQ(SegmentedCaptureWriter::averageBitRate(c.width, c.height), c.bitRate) << c.width << "x" << c.height;
    }
}

TEST_F(SegmentedCaptureWriterTest, SetUpAsksForTheConfiguredStreamAndWritesNoFile) {
    EXPECT_EQ(encoder->settings(), (SegmentEncoderSettings{1920, 1080, 8'294'400, 30, 10.0}));
    EXPECT_TRUE(filesOnDisk().empty());
    EXPECT_EQ(writer->initializationPath(), (fs::path(directory()) / "init-001.mp4").string());
    EXPECT_EQ(encoder->startCount(), 0);
}

TEST_F(SegmentedCaptureWriterTest, SegmentsAreLaidEndToEndFromTheFirstFrameEpoch) {
    ASSERT_TRUE(writer->append(frameAt(50.0), 1000.0));
    ASSERT_TRUE(writer->append(frameAt(50.5), 1000.5));
    EXPECT_EQ(encoder->sessionStart(), MediaTime::fromSeconds(50.0, 600));
    encoder->emitInitialization("INIT");
    encoder->emitMedia("SEGMENT-ONE", 10.0, 0.0);
    encoder->emitMedia("SEGMENT-2", 9.5, 10.0);
    // Nothing is handled on the encoder's thread; it all waits for the callback queue.
    EXPECT_TRUE(records.empty());
    EXPECT_FALSE(writer->initializationWritten());
    queue.drain();

    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, "001-000001");
    EXPECT_EQ(records[1].id, "001-000002");
    EXPECT_DOUBLE_EQ(records[0].startedAt, 1000.0);
    EXPECT_DOUBLE_EQ(records[0].endedAt, 1010.0);
    EXPECT_DOUBLE_EQ(records[1].startedAt, 1010.0);
    EXPECT_DOUBLE_EQ(records[1].endedAt, 1019.5);
    EXPECT_DOUBLE_EQ(records[1].durationSeconds, 9.5);
    EXPECT_EQ(records[0].path, (fs::path(directory()) / "001-000001.m4s").string());
    EXPECT_EQ(records[1].initializationPath, writer->initializationPath());
    EXPECT_EQ(records[0].byteCount, 11);
    EXPECT_EQ(records[1].width, 1920);
    EXPECT_EQ(records[1].height, 1080);
    EXPECT_EQ(records[1].codec, "h264");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(filesOnDisk(), (std::vector<std::string>{"001-000001.m4s", "001-000002.m4s", "init-001.mp4"}));
    EXPECT_EQ(testing::readWholeFile(writer->initializationPath()), "INIT");
    EXPECT_EQ(testing::readWholeFile(records[1].path), "SEGMENT-2");
    EXPECT_EQ(writer->appendedFrameCount(), 2);
    EXPECT_EQ(writer->lastFrameEpoch(), 1000.5);
    EXPECT_EQ(writer->lastFramePTS(), MediaTime::fromSeconds(50.5, 600));
}

TEST_F(SegmentedCaptureWriterTest, SegmentsWithoutAPositiveFiniteDurationAreDroppedWithoutASequenceNumber) {
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitInitialization("INIT");
    encoder->emitMedia("zero", 0.0, 0.0);
    encoder->emitMediaWithReport("no report", std::nullopt);
    encoder->emitMediaWithReport("no track report", SegmentReport{});
    encoder->emitMediaWithReport("infinite", SegmentReport{{{MediaTime::positiveInfinity(), MediaTime::zero()}}});
    encoder->emitMediaWithReport("invalid", SegmentReport{{{MediaTime::invalid(), MediaTime::zero()}}});
    encoder->emitMedia("negative", -1.0, 0.0);
    encoder->emitMedia("real", 2.0, 0.0);
    queue.drain();

    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, "001-000001");
    EXPECT_DOUBLE_EQ(records[0].startedAt, 1000.0);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(filesOnDisk(), (std::vector<std::string>{"001-000001.m4s", "init-001.mp4"}));
}

TEST_F(SegmentedCaptureWriterTest, MediaBeforeInitializationIsReportedAndMediaBeforeAnyFrameIsIgnored) {
    encoder->emitInitialization("INIT");
    encoder->emitMedia("before any frame", 1.0, 0.0);
    queue.drain();
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(failures.empty());

    makeWriter(2);
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitMedia("too early", 1.0, 0.0);
    encoder->emitInitialization("INIT");
    encoder->emitMedia("fine", 1.0, 0.0);
    queue.drain();
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "A media segment arrived before its initialization segment; dropping it."}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, "002-000001");
}

TEST_F(SegmentedCaptureWriterTest, UnwritableFilesAreReportedAndAFailedSegmentUsesUpItsNumber) {
    // A directory in the way makes the rename over it fail.
    fs::create_directories(fs::path(directory()) / "init-001.mp4");
    fs::create_directories(fs::path(directory()) / "001-000001.m4s");
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitInitialization("INIT");
    queue.drain();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind("Could not write the capture initialization segment: ", 0), 0u) << failures[0];
    EXPECT_FALSE(writer->initializationWritten());

    fs::remove(fs::path(directory()) / "init-001.mp4");
    encoder->emitInitialization("INIT");
    encoder->emitMedia("lost", 4.0, 0.0);
    encoder->emitMedia("kept", 3.0, 4.0);
    queue.drain();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1].rfind("Could not write capture segment 001-000001: ", 0), 0u) << failures[1];
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, "001-000002");
    // The lost segment's duration is not counted.
    EXPECT_DOUBLE_EQ(records[0].startedAt, 1000.0);
    EXPECT_DOUBLE_EQ(records[0].endedAt, 1003.0);
}

TEST_F(SegmentedCaptureWriterTest, TimelineDriftIsLoggedOnceAndNeverMovesTheRecord) {
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitInitialization("INIT");
    encoder->emitMedia("a", 10.0, 3.0);   // the first reported start is the reference
    encoder->emitMedia("b", 10.0, 13.4);  // 0.4 s off: tolerated
    encoder->emitMedia("c", 10.0, 23.6);  // 0.6 s off
    ::testing::internal::CaptureStderr();
    queue.drain();
    const std::string log = ::testing::internal::GetCapturedStderr();

    EXPECT_NE(log.find("Segment 001-000003 timeline drift 0.600s"), std::string::npos) << log;
    EXPECT_EQ(log.find("timeline drift", log.find("timeline drift") + 1), std::string::npos) << log;
    ASSERT_EQ(records.size(), 3u);
    EXPECT_DOUBLE_EQ(records[2].startedAt, 1020.0);
    EXPECT_DOUBLE_EQ(records[2].endedAt, 1030.0);
}

TEST_F(SegmentedCaptureWriterTest, AppendDropsWhatTheInputCannotTakeAndIgnoresTimelessFrames) {
    EXPECT_FALSE(writer->append(SampleBuffer{frameAt(0).pixelBuffer, MediaTime::invalid(), true}, 1000.0));
    EXPECT_FALSE(writer->append(SampleBuffer{frameAt(0).pixelBuffer, MediaTime::indefinite(), true}, 1000.0));
    EXPECT_EQ(encoder->startCount(), 0);

    ASSERT_TRUE(writer->append(frameAt(1.0), 1000.0));
    encoder->setReady(false);
    EXPECT_FALSE(writer->append(frameAt(1.1), 1000.1));
    EXPECT_FALSE(writer->append(frameAt(1.2), 1000.2));
    encoder->setReady(true);
    ASSERT_TRUE(writer->append(frameAt(1.3), 1000.3));
    EXPECT_EQ(writer->appendedFrameCount(), 2);
    EXPECT_EQ(writer->droppedFrameCount(), 2);
    EXPECT_EQ(writer->lastFrameEpoch(), 1000.3);
    EXPECT_EQ(encoder->appendedSamples().size(), 2u);
    EXPECT_EQ(encoder->startCount(), 1);
}

TEST_F(SegmentedCaptureWriterTest, EncoderFaultsAreThrownWithTheirDetail) {
    encoder->failNextStart(std::make_exception_ptr(PlatformError("FFmpeg", -22, "Invalid argument")));
    EXPECT_EQ(writerFailure([&] { writer->append(frameAt(0), 1000.0); }),
              "startWriting failed: FFmpeg -22: Invalid argument");

    makeWriter(2);
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->rejectAppends(std::make_exception_ptr(PlatformError("FFmpeg", 1, "wrong pixel format")));
    EXPECT_EQ(writerFailure([&] { writer->append(frameAt(1), 1001.0); }), "append rejected: FFmpeg 1: wrong pixel format");

    encoder->fail(std::make_exception_ptr(PlatformError("FFmpeg", -5, "I/O error")));
    EXPECT_EQ(writerFailure([&] { writer->append(frameAt(2), 1002.0); }), "writer status 3: FFmpeg -5: I/O error");
    EXPECT_EQ(writer->appendedFrameCount(), 1);
}

TEST_F(SegmentedCaptureWriterTest, FinishingANeverStartedWriterCompletesAtOnceAndWritesNothing) {
    int completions = 0;
    writer->finish([&] { ++completions; });
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(queue.pending(), 0u);
    EXPECT_EQ(encoder->finishCount(), 0);
    EXPECT_FALSE(writer->append(frameAt(0), 1000.0));
    EXPECT_EQ(encoder->startCount(), 0);
    writer->finish([&] { ++completions; });
    EXPECT_EQ(completions, 2);
    EXPECT_TRUE(filesOnDisk().empty());
}

TEST_F(SegmentedCaptureWriterTest, FinishDeliversTheLastSegmentsBeforeItsSingleCompletion) {
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitInitialization("INIT");
    std::vector<std::string> order;
    writer->finish([&] { order.push_back("completion after " + std::to_string(records.size())); });
    EXPECT_FALSE(writer->append(frameAt(1), 1001.0));
    writer->finish([&] { order.push_back("second finish"); });  // already finished: at once
    encoder->emitMedia("last", 1.0, 0.0);
    encoder->completeFinish();
    EXPECT_EQ(order, (std::vector<std::string>{"second finish"}));
    queue.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"second finish", "completion after 1"}));
    EXPECT_EQ(encoder->finishCount(), 1);
    EXPECT_TRUE(failures.empty());
}

TEST_F(SegmentedCaptureWriterTest, AFailedFinishIsReportedBeforeTheCompletionEvenWhenTheWriterIsGone) {
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    int completions = 0;
    writer->finish([&] {
        ++completions;
        EXPECT_EQ(failures.size(), 1u);
    });
    writer.reset();
    encoder->completeFinish(std::make_exception_ptr(PlatformError("FFmpeg", -28, "No space left on device")));
    queue.drain();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "Finalizing the capture stream failed: FFmpeg -28: No space left on device"}));
}

TEST_F(SegmentedCaptureWriterTest, CancelDropsQueuedSegmentsAndNeverCompletes) {
    ASSERT_TRUE(writer->append(frameAt(0), 1000.0));
    encoder->emitInitialization("INIT");
    queue.drain();
    encoder->emitMedia("queued before the cancel", 1.0, 0.0);
    writer->cancel();
    queue.drain();
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(encoder->cancelCount(), 1);
    EXPECT_FALSE(writer->append(frameAt(1), 1001.0));
    writer->cancel();
    EXPECT_EQ(encoder->cancelCount(), 1);

    makeWriter(2);
    writer->cancel();  // never started: the encoder is not touched
    EXPECT_EQ(encoder->cancelCount(), 0);
}

TEST(SegmentedCaptureWriterSetUp, EncoderAndDirectoryFailuresFailCreation) {
    testing::TemporaryDirectory temporary;
    const auto refusing = [](const SegmentEncoderSettings&) -> std::shared_ptr<SegmentEncoder> {
        throw HalvexNativeError::writerFailed(SegmentEncoderMessage::videoInputRejected);
    };
    const auto queue = [](std::function<void()>) {};
    SegmentedCaptureWriter::Configuration configuration{temporary.file("segments"), 640, 480, 30, 2.0, 1};
    try {
        SegmentedCaptureWriter::create(configuration, queue, nullptr, nullptr, refusing);
        ADD_FAILURE() << "created";
    } catch (const HalvexNativeError& error) {
        EXPECT_EQ(error.payload(), "AVAssetWriter rejected its H.264 video input.");
    }

    testing::writeWholeFile(temporary.file("file"), "x");
    configuration.directory = temporary.file("file") + "/segments";
    const auto encoder = std::make_shared<FakeSegmentEncoder>(SegmentEncoderSettings{});
    EXPECT_THROW(SegmentedCaptureWriter::create(configuration, queue, nullptr, nullptr,
                                                FakeSegmentEncoder::factoryReturning(encoder)),
                 PlatformError);
}

}  // namespace
}  // namespace halvex
