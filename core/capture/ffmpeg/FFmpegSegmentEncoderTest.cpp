#include <gtest/gtest.h>

#include "tests/support/TestTaskQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/capture/SegmentedCaptureWriter.h"
#include "core/capture/ffmpeg/FFmpegSegmentEncoder.h"
#include "core/support/HalvexNativeError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex::ffmpeg {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int width = 320;
constexpr int height = 240;
constexpr int fps = 30;
constexpr double frameInterval = 1.0 / fps;

using TestQueue = testing::TestTaskQueue;

// Screen-like content: a still gradient with a small square moving across it.
std::shared_ptr<PixelBuffer> syntheticFrame(int index, int frameWidth, int frameHeight) {
    auto buffer = PixelBuffer::create(frameWidth, frameHeight);
    const int squareX = (index * 6) % (frameWidth - 32);
    for (int y = 0; y < frameHeight; ++y) {
        std::uint8_t* row = buffer->row(y);
        for (int x = 0; x < frameWidth; ++x) {
            const bool square = x >= squareX && x < squareX + 32 && y >= 40 && y < 72;
            row[4 * x + 0] = square ? 255 : static_cast<std::uint8_t>(x * 255 / frameWidth);
            row[4 * x + 1] = square ? 255 : static_cast<std::uint8_t>(y * 255 / frameHeight);
            row[4 * x + 2] = square ? 255 : 90;
            row[4 * x + 3] = 255;
        }
    }
    return buffer;
}

struct ToolResult {
    std::optional<int> status;
    std::string output;
    std::string errors;
};

ToolResult runTool(std::vector<std::string> arguments) {
    testing::ChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.pipeStdin = false;
    testing::ChildProcess child(options);
    ToolResult result;
    result.output = child.readAllStdout(60s);
    result.status = child.wait(30s);
    result.errors = child.stderrSoFar();
    return result;
}

nlohmann::json probe(const std::string& file, const std::vector<std::string>& entries) {
    std::vector<std::string> arguments{"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0"};
    arguments.insert(arguments.end(), entries.begin(), entries.end());
    arguments.insert(arguments.end(), {"-of", "json", file});
    const ToolResult result = runTool(arguments);
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.errors, "") << file;
    return nlohmann::json::parse(result.output, nullptr, false);
}

// Writes the initialization segment followed by `segments`, as a player would read them.
std::string concatenated(const testing::TemporaryDirectory& directory, const std::string& name,
                         const std::string& initializationPath, const std::vector<SegmentRecord>& segments) {
    std::string bytes = testing::readWholeFile(initializationPath);
    for (const auto& segment : segments) bytes += testing::readWholeFile(segment.path);
    const std::string path = directory.file(name);
    testing::writeWholeFile(path, bytes);
    return path;
}

class FFmpegSegmentWriterTest : public ::testing::Test {
protected:
    void makeWriter(FFmpegSegmentEncoderOptions options) {
        SegmentedCaptureWriter::Configuration configuration{temporary.file("segments"), width, height, fps, 1.0, 1};
        writer = SegmentedCaptureWriter::create(
            configuration, queue.submitter(), [this](const SegmentRecord& record) { records.push_back(record); },
            [this](const std::string& message) { failures.push_back(message); },
            FFmpegSegmentEncoder::factory(options));
    }

    void finishWriter() {
        bool done = false;
        writer->finish([&] { done = true; });
        ASSERT_TRUE(queue.runUntil([&] { return done; }, 120s)) << "the writer did not finish";
    }

    testing::TemporaryDirectory temporary;
    TestQueue queue;
    std::shared_ptr<SegmentedCaptureWriter> writer;
    std::vector<SegmentRecord> records;
    std::vector<std::string> failures;
};

TEST_F(FFmpegSegmentWriterTest, SegmentsAreIndependentlyDecodableHighProfileH264) {
    FFmpegSegmentEncoderOptions options;
    options.inputCapacity = 1000;  // keep every frame: this test is about the output, not real time
    makeWriter(options);
    constexpr int frameCount = 4 * fps;
    constexpr std::int64_t clockBase = 5'000'000'000;  // a capture clock in nanoseconds
    for (int i = 0; i < frameCount; ++i) {
        // Frames 95-99 arrive at half size, as from a window being resized: they are scaled.
        const bool small = i >= 95 && i < 100;
        const SampleBuffer sample{syntheticFrame(i, small ? width / 2 : width, small ? height / 2 : height),
                                  MediaTime::make(clockBase + i * 1'000'000'000LL / fps, 1'000'000'000), true};
        ASSERT_TRUE(writer->append(sample, 1000.0 + i * frameInterval)) << "frame " << i;
    }
    finishWriter();

    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(writer->appendedFrameCount(), frameCount);
    ASSERT_EQ(records.size(), 4u);
    double total = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].id, SegmentedCaptureWriter::mediaSegmentID(1, static_cast<std::int64_t>(i) + 1));
        EXPECT_NEAR(records[i].durationSeconds, 1.0, 1e-6) << records[i].id;
        EXPECT_DOUBLE_EQ(records[i].startedAt, 1000.0 + total);
        EXPECT_EQ(records[i].byteCount, static_cast<std::int64_t>(fs::file_size(records[i].path)));
        total += records[i].durationSeconds;
    }
    EXPECT_EQ(fs::path(writer->initializationPath()).filename(), "init-001.mp4");
    // The initialization segment is ftyp+moov with no samples; every media segment is moof+mdat.
    const std::string initialization = testing::readWholeFile(writer->initializationPath());
    EXPECT_EQ(initialization.substr(4, 4), "ftyp");
    EXPECT_NE(initialization.find("moov"), std::string::npos);
    EXPECT_EQ(initialization.find("mdat"), std::string::npos);
    for (const auto& record : records) EXPECT_EQ(testing::readWholeFile(record.path).substr(4, 4), "moof") << record.id;

    const std::string whole = concatenated(temporary, "whole.mp4", writer->initializationPath(), records);
    const auto streams = probe(whole, {"-count_frames", "-show_entries",
                                       "stream=codec_name,profile,width,height,nb_read_frames:format=duration"});
    ASSERT_TRUE(streams.contains("streams") && streams["streams"].size() == 1) << streams.dump();
    const auto& stream = streams["streams"][0];
    EXPECT_EQ(stream["codec_name"], "h264");
    EXPECT_EQ(stream["profile"], "High");
    EXPECT_EQ(stream["width"], width);
    EXPECT_EQ(stream["height"], height);
    EXPECT_EQ(stream["nb_read_frames"], std::to_string(frameCount));
    EXPECT_NEAR(std::stod(streams["format"]["duration"].get<std::string>()), total, frameInterval);

    // Any contiguous run after the initialization segment plays, not only the one from the start.
    const std::string middle = concatenated(temporary, "middle.mp4", writer->initializationPath(),
                                            {records[1], records[2]});
    const ToolResult decode = runTool({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", middle, "-f", "null", "-"});
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.errors, "");

    for (const auto& record : records) {
        const std::string single = concatenated(temporary, record.id + ".mp4", writer->initializationPath(), {record});
        const auto frames = probe(single, {"-show_entries", "frame=key_frame,pict_type"})["frames"];
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(fps)) << record.id;
        EXPECT_EQ(frames[0]["key_frame"], 1) << record.id;
        EXPECT_EQ(frames[0]["pict_type"], "I") << record.id;
    }
}

TEST_F(FFmpegSegmentWriterTest, AFullInputDropsFramesInsteadOfWaiting) {
    FFmpegSegmentEncoderOptions options;
    options.inputCapacity = 1;
    makeWriter(options);
    constexpr int frameCount = 40;
    std::vector<SampleBuffer> samples;
    for (int i = 0; i < frameCount; ++i) samples.push_back({syntheticFrame(i, width, height), MediaTime::make(i, fps), true});
    // Back-to-back appends take microseconds; encoding one frame takes far longer.
    int accepted = 0;
    for (int i = 0; i < frameCount; ++i) {
        if (writer->append(samples[static_cast<std::size_t>(i)], 2000.0 + i * frameInterval)) ++accepted;
    }
    EXPECT_EQ(writer->appendedFrameCount(), accepted);
    EXPECT_EQ(writer->appendedFrameCount() + writer->droppedFrameCount(), frameCount);
    EXPECT_GT(writer->droppedFrameCount(), 0);
    finishWriter();
    ASSERT_FALSE(records.empty());
    EXPECT_TRUE(failures.empty());

    const std::string whole = concatenated(temporary, "whole.mp4", writer->initializationPath(), records);
    const auto streams = probe(whole, {"-count_frames", "-show_entries", "stream=nb_read_frames"});
    EXPECT_EQ(streams["streams"][0]["nb_read_frames"], std::to_string(accepted));
}

TEST_F(FFmpegSegmentWriterTest, CancelStopsWithoutFurtherSegmentsAndAFaultyFrameIsRefused) {
    makeWriter({});
    ASSERT_TRUE(writer->append(SampleBuffer{syntheticFrame(0, width, height), MediaTime::make(10, fps), true}, 1.0));
    try {
        writer->append(SampleBuffer{syntheticFrame(1, width, height), MediaTime::make(10, fps), true}, 1.1);
        ADD_FAILURE() << "a repeated time stamp was taken";
    } catch (const HalvexNativeError& error) {
        EXPECT_EQ(error.payload().rfind("append rejected: FFmpeg", 0), 0u) << error.payload();
    }
    writer->cancel();
    (void)queue.runUntil([] { return false; }, 1s);  // let anything already queued run
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(failures.empty());
}

TEST(FFmpegSegmentEncoder, RefusesSizesThatCannotBeEncoded) {
    for (const auto& [w, h] : {std::pair{321, 240}, std::pair{0, 240}}) {
        try {
            FFmpegSegmentEncoder encoder(SegmentEncoderSettings{w, h, 2'000'000, 30, 1.0});
            ADD_FAILURE() << w << "x" << h << " was accepted";
        } catch (const HalvexNativeError& error) {
            EXPECT_EQ(error.payload(), "AVAssetWriter rejected its H.264 video input.");
        }
    }
}

}  // namespace
}  // namespace halvex::ffmpeg
