#include "client/export/ffmpeg/FFmpegClipRemuxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

namespace halvex::client::ffmpeg {
namespace {

constexpr int outputTimescale = 90'000;
constexpr int readBufferSize = 64 * 1024;

std::string ffmpegText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The bytes of several files read as one stream, for the demuxer's custom I/O.
class ConcatenatedFiles {
public:
    explicit ConcatenatedFiles(std::vector<std::string> paths) : paths_(std::move(paths)) {}

    static int read(void* opaque, std::uint8_t* buffer, int size) {
        return static_cast<ConcatenatedFiles*>(opaque)->readSome(buffer, size);
    }

private:
    int readSome(std::uint8_t* buffer, int size) {
        while (index_ < paths_.size()) {
            if (!file_.is_open()) {
                file_.open(paths_[index_], std::ios::binary);
                if (!file_) return AVERROR(EIO);
            }
            file_.read(reinterpret_cast<char*>(buffer), size);
            const auto got = file_.gcount();
            if (got > 0) return static_cast<int>(got);
            file_.close();
            ++index_;
        }
        return AVERROR_EOF;
    }

    std::vector<std::string> paths_;
    std::size_t index_ = 0;
    std::ifstream file_;
};

struct InputRun {
    ConcatenatedFiles files;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;

    explicit InputRun(std::vector<std::string> paths) : files(std::move(paths)) {}
    ~InputRun() {
        if (format) avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

std::unique_ptr<InputRun> openRun(const std::vector<SegmentRecord>& run) {
    std::vector<std::string> paths{run.front().initializationPath};
    for (const auto& segment : run) paths.push_back(segment.path);
    auto input = std::make_unique<InputRun>(paths);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(readBufferSize));
    input->io = avio_alloc_context(buffer, readBufferSize, 0, &input->files, &ConcatenatedFiles::read, nullptr, nullptr);
    input->format = avformat_alloc_context();
    input->format->pb = input->io;
    input->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    // Each fragment's decode time comes from its own header, so a run with a hole stays in place.
    av_dict_set(&options, "use_tfdt", "1", 0);
    const int result = avformat_open_input(&input->format, nullptr, av_find_input_format("mp4"), &options);
    av_dict_free(&options);
    if (result < 0) {
        input->format = nullptr;  // freed by avformat_open_input on failure
        throw ClipExportError("Cannot read the segments of " + run.front().initializationPath + ": " + ffmpegText(result));
    }
    int video = -1;
    for (unsigned i = 0; i < input->format->nb_streams; ++i) {
        if (input->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = static_cast<int>(i);
    }
    if (video != 0 || input->format->streams[0]->codecpar->codec_id != AV_CODEC_ID_H264) {
        throw ClipExportError(run.front().initializationPath + " does not describe one H.264 video track.");
    }
    return input;
}

bool sameEncoding(const AVCodecParameters* a, const AVCodecParameters* b) {
    return a->width == b->width && a->height == b->height && a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, static_cast<std::size_t>(a->extradata_size)) == 0);
}

class Output {
public:
    Output(const std::string& path, const AVCodecParameters* parameters) : path_(path) {
        if (avformat_alloc_output_context2(&format_, nullptr, "mp4", path.c_str()) < 0 || !format_) {
            throw ClipExportError("FFmpeg has no MP4 muxer.");
        }
        stream_ = avformat_new_stream(format_, nullptr);
        avcodec_parameters_copy(stream_->codecpar, parameters);
        stream_->codecpar->codec_tag = 0;
        stream_->time_base = AVRational{1, outputTimescale};
        if (const int result = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE); result < 0) {
            throw ClipExportError("Cannot write " + path + ": " + ffmpegText(result));
        }
        AVDictionary* options = nullptr;
        av_dict_set(&options, "movflags", "+faststart", 0);
        const int result = avformat_write_header(format_, &options);
        av_dict_free(&options);
        if (result < 0) throw ClipExportError("Cannot start the MP4 file " + path + ": " + ffmpegText(result));
        headerWritten_ = true;
    }
    ~Output() {
        if (format_) {
            if (format_->pb) avio_closep(&format_->pb);
            avformat_free_context(format_);
        }
    }

    AVRational timeBase() const { return stream_->time_base; }

    void write(AVPacket* packet) {
        packet->stream_index = stream_->index;
        packet->pos = -1;
        if (const int result = av_interleaved_write_frame(format_, packet); result < 0) {
            throw ClipExportError("Writing the clip failed: " + ffmpegText(result));
        }
        ++frames_;
    }

    void finish() {
        if (const int result = av_write_trailer(format_); result < 0) {
            throw ClipExportError("Finishing the clip failed: " + ffmpegText(result));
        }
        avio_closep(&format_->pb);
    }

    std::int64_t frames() const { return frames_; }

private:
    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    bool headerWritten_ = false;
    std::int64_t frames_ = 0;
};

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPointer = std::unique_ptr<AVPacket, PacketDeleter>;

// A packet held back with its place on the wall-clock timeline.
struct TimedPacket {
    PacketPointer packet;
    double wall = 0;
    double wallDts = 0;
    double duration = 0;
};

}  // namespace

ClipRemuxResult FFmpegClipRemuxer::remux(const ClipPlan& plan, const std::string& outputPath) {
    // The muxer's progress notes ("second pass ...") are not for the user; its errors are.
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    });
    const auto runs = plan.runsByInitialization();
    if (runs.empty()) throw ClipExportError("There is nothing to export.");
    const std::filesystem::path target(outputPath);
    std::error_code ignored;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ignored);
    const std::string temporary = outputPath + ".partial";
    struct TemporaryRemover {
        std::string path;
        bool keep = false;
        ~TemporaryRemover() {
            std::error_code error;
            if (!keep) std::filesystem::remove(path, error);
        }
    } remover{temporary};

    std::unique_ptr<Output> output;
    const AVCodecParameters* firstParameters = nullptr;
    std::unique_ptr<InputRun> firstRun;  // kept open: `firstParameters` points into it
    std::vector<TimedPacket> leading;  // from the newest key frame before the start, held back
    bool started = false;
    std::int64_t lastDts = INT64_MIN;
    double shownEnd = plan.presentationStart;

    const auto emit = [&](AVPacket* packet, double wallStart, double wallDts, double wallDuration) {
        packet->pts = std::llround((wallStart - plan.presentationStart) * outputTimescale);
        packet->dts = std::llround((wallDts - plan.presentationStart) * outputTimescale);
        if (packet->dts <= lastDts) packet->dts = lastDts + 1;
        if (packet->pts < packet->dts) packet->pts = packet->dts;
        lastDts = packet->dts;
        packet->duration = std::max<std::int64_t>(1, std::llround(wallDuration * outputTimescale));
        output->write(packet);
    };

    for (const auto& run : runs) {
        auto input = openRun(run);
        const AVStream* stream = input->format->streams[0];
        if (!output) {
            output = std::make_unique<Output>(temporary, stream->codecpar);
            firstParameters = stream->codecpar;
        } else if (!sameEncoding(firstParameters, stream->codecpar)) {
            throw ClipExportError("The segments of " + run.front().initializationPath + " were encoded with other settings than " +
                                  runs.front().front().initializationPath + "; they cannot be joined without re-encoding.");
        }
        const double tick = av_q2d(stream->time_base);
        std::optional<std::int64_t> firstPts;
        PacketPointer packet(av_packet_alloc());
        while (true) {
            const int result = av_read_frame(input->format, packet.get());
            if (result == AVERROR_EOF) break;
            if (result < 0) {
                throw ClipExportError("Cannot read the segments of " + run.front().initializationPath + ": " + ffmpegText(result));
            }
            if (packet->stream_index != 0 || packet->pts == AV_NOPTS_VALUE) {
                av_packet_unref(packet.get());
                continue;
            }
            if (!firstPts) firstPts = packet->pts;
            // The run's first segment starts at its first packet; the rest follow on the media timeline.
            const double wall = run.front().startedAt + static_cast<double>(packet->pts - *firstPts) * tick;
            const std::int64_t dts = packet->dts == AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const double wallDts = run.front().startedAt + static_cast<double>(dts - *firstPts) * tick;
            const double duration = static_cast<double>(packet->duration) * tick;
            if (wall >= plan.presentationEnd - 1e-6) {
                av_packet_unref(packet.get());
                break;
            }
            const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            if (!started && wall < plan.presentationStart - 1e-6) {
                // Only frames from the newest key frame on are needed to decode the first shown one.
                if (key) leading.clear();
                if (key || !leading.empty()) {
                    leading.push_back({PacketPointer(av_packet_clone(packet.get())), wall, wallDts, duration});
                }
                av_packet_unref(packet.get());
                continue;
            }
            if (!started) {
                started = true;
                if (!key && leading.empty()) {
                    // Nothing decodable precedes this frame: wait for the next key frame.
                    started = false;
                    av_packet_unref(packet.get());
                    continue;
                }
                for (auto& held : leading) emit(held.packet.get(), held.wall, held.wallDts, held.duration);
                leading.clear();
            }
            emit(packet.get(), wall, wallDts, duration);
            shownEnd = std::max(shownEnd, std::min(plan.presentationEnd, wall + duration));
            av_packet_unref(packet.get());
        }
        if (!firstRun) firstRun = std::move(input);
    }
    if (!output || output->frames() == 0) throw ClipExportError("The segments hold no frame inside the trade's window.");
    output->finish();
    const std::int64_t frames = output->frames();
    output.reset();
    std::error_code error;
    std::filesystem::rename(temporary, outputPath, error);
    if (error) throw ClipExportError("Cannot move the clip to " + outputPath + ": " + error.message());
    remover.keep = true;

    ClipRemuxResult result;
    result.durationSeconds = shownEnd - plan.presentationStart;
    result.frameCount = frames;
    result.byteCount = static_cast<std::int64_t>(std::filesystem::file_size(outputPath, error));
    return result;
}

}  // namespace halvex::client::ffmpeg
