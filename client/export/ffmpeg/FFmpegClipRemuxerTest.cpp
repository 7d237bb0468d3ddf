#include <gtest/gtest.h>

#include "tests/support/TestTaskQueue.h"

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>

#include <nlohmann/json.hpp>

#include "client/export/ffmpeg/FFmpegClipRemuxer.h"
#include "core/capture/SegmentedCaptureWriter.h"
#include "core/capture/ffmpeg/FFmpegSegmentEncoder.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex::client::ffmpeg {
namespace {

using namespace std::chrono_literals;
constexpr int fps = 30;
constexpr int width = 320;
constexpr int height = 180;

using TaskQueue = testing::TestTaskQueue;

std::shared_ptr<PixelBuffer> frame(int index, int frameWidth, int frameHeight) {
    auto buffer = PixelBuffer::create(frameWidth, frameHeight);
    for (int y = 0; y < frameHeight; ++y) {
        std::uint8_t* row = buffer->row(y);
        for (int x = 0; x < frameWidth; ++x) {
            const bool bar = (x + index * 4) % frameWidth < 24;
            row[4 * x + 0] = bar ? 255 : static_cast<std::uint8_t>(x);
            row[4 * x + 1] = bar ? 255 : static_cast<std::uint8_t>(y);
            row[4 * x + 2] = 80;
            row[4 * x + 3] = 255;
        }
    }
    return buffer;
}

// Records `seconds` of frames from wall-clock `epoch` with writer number `writerEpoch`: 1 s segments.
std::vector<SegmentRecord> record(const std::string& directory, std::int64_t writerEpoch, double epoch, double seconds,
                                  int frameWidth = width, int frameHeight = height) {
    TaskQueue queue;
    std::vector<SegmentRecord> records;
    ::halvex::ffmpeg::FFmpegSegmentEncoderOptions options;
    options.inputCapacity = 1000;
    auto writer = SegmentedCaptureWriter::create({directory, frameWidth, frameHeight, fps, 1.0, writerEpoch}, queue.submitter(),
                                                 [&](const SegmentRecord& r) { records.push_back(r); },
                                                 [](const std::string& message) { ADD_FAILURE() << message; },
                                                 ::halvex::ffmpeg::FFmpegSegmentEncoder::factory(options));
    const int frames = static_cast<int>(seconds * fps);
    for (int i = 0; i < frames; ++i) {
        const SampleBuffer sample{frame(i, frameWidth, frameHeight), MediaTime::make(7'000'000 + i * 1'000'000LL / fps, 1'000'000), true};
        EXPECT_TRUE(writer->append(sample, epoch + static_cast<double>(i) / fps));
    }
    bool done = false;
    writer->finish([&] { done = true; });
    EXPECT_TRUE(queue.runUntil([&] { return done; }, 120s));
    return records;
}

nlohmann::json probe(const std::string& path) {
    testing::ChildProcess ffprobe({.arguments = {"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                                 "stream=codec_name,width,nb_read_frames:format=duration", "-of", "json", path}});
    const auto text = ffprobe.readAllStdout(60s);
    EXPECT_EQ(ffprobe.wait(60s), 0);
    return nlohmann::json::parse(text, nullptr, false);
}

TEST(FFmpegClipRemuxing, JoinsTwoWritersAcrossAGapAndShowsExactlyTheWindow) {
    testing::TemporaryDirectory directory;
    auto segments = record(directory.file("segments"), 1, 1000.0, 3.0);
    const auto later = record(directory.file("segments"), 2, 1003.5, 3.0);  // a recycled encoder after a 0.5 s gap
    segments.insert(segments.end(), later.begin(), later.end());
    ASSERT_EQ(segments.size(), 6u);

    ClipPlan plan;
    plan.segments = {segments.begin(), segments.end()};
    plan.presentationStart = 1000.5;  // inside the first segment: its first half is hidden
    plan.presentationEnd = 1005.25;
    const auto clip = directory.file("clip.mp4");
    const auto written = FFmpegClipRemuxer().remux(plan, clip);

    EXPECT_NEAR(written.durationSeconds, 4.75, 1.0 / fps);
    // 2.5 s before the gap and 1.75 s after it are shown; 0.5 s of leading frames are only decoded.
    const int shown = static_cast<int>(2.5 * fps) + static_cast<int>(std::ceil(1.75 * fps));
    EXPECT_NEAR(static_cast<double>(written.frameCount), shown + 0.5 * fps, 1);
    EXPECT_EQ(written.byteCount, static_cast<std::int64_t>(std::filesystem::file_size(clip)));
    EXPECT_FALSE(std::filesystem::exists(clip + ".partial"));

    const auto info = probe(clip);
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["streams"][0]["codec_name"], "h264");
    EXPECT_EQ(info["streams"][0]["width"], width);
    EXPECT_NEAR(std::stod(info["format"]["duration"].get<std::string>()), 4.75, 2.0 / fps);
    EXPECT_NEAR(std::stoi(info["streams"][0]["nb_read_frames"].get<std::string>()), shown, 1);
}

TEST(FFmpegClipRemuxing, RefusesRunsEncodedDifferentlyAndLeavesNoFile) {
    testing::TemporaryDirectory directory;
    auto segments = record(directory.file("segments"), 1, 1000.0, 1.0);
    const auto wider = record(directory.file("segments"), 2, 1001.0, 1.0, 2 * width, 2 * height);
    // Same declared size, other encoder settings on disk: caught by the remuxer, not by the plan.
    for (auto segment : wider) {
        segment.width = width;
        segment.height = height;
        segments.push_back(segment);
    }
    ClipPlan plan;
    plan.segments = segments;
    plan.presentationStart = 1000.0;
    plan.presentationEnd = 1002.0;
    const auto clip = directory.file("clip.mp4");
    EXPECT_THROW(FFmpegClipRemuxer().remux(plan, clip), ClipExportError);
    EXPECT_FALSE(std::filesystem::exists(clip));
    EXPECT_FALSE(std::filesystem::exists(clip + ".partial"));
}

}  // namespace
}  // namespace halvex::client::ffmpeg
