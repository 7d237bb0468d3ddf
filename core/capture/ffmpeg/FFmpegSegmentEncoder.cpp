#include "core/capture/ffmpeg/FFmpegSegmentEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "core/support/DetailedError.h"
#include "core/support/HalvexNativeError.h"
#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex::ffmpeg {
namespace {

constexpr const char* errorDomain = "FFmpeg";
constexpr int ioBufferSize = 64 * 1024;
// Fragments are cut only where we flush; the trailer (mfra) and per-fragment sidx would be bytes
// that belong to no segment.
constexpr const char* fragmentedFlags = "+frag_custom+dash+delay_moov+skip_sidx+skip_trailer";

PlatformError ffmpegError(int code, const std::string& context) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return PlatformError(errorDomain, code, context + ": " + text);
}

[[noreturn]] void refuseSetUp(const char* message, const PlatformError& detail) {
    halvexNativeLog(std::string(message) + " " + halvexDetailedError(detail));
    throw HalvexNativeError::writerFailed(message);
}

void setOption(void* object, const char* key, const std::string& value) {
    const int result = av_opt_set(object, key, value.c_str(), 0);
    if (result < 0) {
        refuseSetUp(SegmentEncoderMessage::videoInputRejected,
                    ffmpegError(result, std::string("libx264 option ") + key + "=" + value));
    }
}

void releasePixels(void* opaque, std::uint8_t*) { delete static_cast<std::shared_ptr<const PixelBuffer>*>(opaque); }

}  // namespace

FFmpegSegmentEncoder::FFmpegSegmentEncoder(const SegmentEncoderSettings& settings, FFmpegSegmentEncoderOptions options)
    : settings_(settings), options_(std::move(options)) {
    // libx264 prints its statistics at the informational level onto standard error, which is
    // the helper's log; only FFmpeg's errors belong there.
    static std::once_flag quietLibraries;
    std::call_once(quietLibraries, [] {
        if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    });

    const std::int64_t fps = settings_.fps > 0 ? settings_.fps : 30;
    segmentTicks_ = std::max<std::int64_t>(1, std::llround(settings_.segmentSeconds * timescale));
    nominalFrameTicks_ = std::max<std::int64_t>(1, timescale / fps);

    const AVOutputFormat* container = av_guess_format("mp4", nullptr, nullptr);
    if (!container) {
        halvexNativeLog(std::string(SegmentEncoderMessage::contentTypeUnavailable) + " FFmpeg has no mp4 muxer.");
        throw HalvexNativeError::writerFailed(SegmentEncoderMessage::contentTypeUnavailable);
    }
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder) refuseSetUp(SegmentEncoderMessage::videoInputRejected, PlatformError(errorDomain, 0, "libx264 is not available"));
    if (settings_.width <= 0 || settings_.height <= 0 || settings_.width % 2 || settings_.height % 2 ||
        settings_.width > 16384 || settings_.height > 16384) {
        refuseSetUp(SegmentEncoderMessage::videoInputRejected,
                    PlatformError(errorDomain, AVERROR(EINVAL), "4:2:0 H.264 needs an even size up to 16384")
                        .withField("width", std::to_string(settings_.width))
                        .withField("height", std::to_string(settings_.height)));
    }

    codec_ = avcodec_alloc_context3(encoder);
    codec_->width = static_cast<int>(settings_.width);
    codec_->height = static_cast<int>(settings_.height);
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    codec_->color_range = AVCOL_RANGE_MPEG;
    codec_->colorspace = AVCOL_SPC_SMPTE170M;  // libswscale's default RGB -> YUV matrix
    codec_->time_base = AVRational{1, timescale};
    codec_->framerate = AVRational{static_cast<int>(fps), 1};
    codec_->bit_rate = settings_.averageBitRate;
    codec_->max_b_frames = 0;
    // Key frames come from the forced IDR at each segment boundary; the natural interval is kept
    // well above one segment so a faster-than-nominal capture does not add extra ones.
    codec_->gop_size = static_cast<int>(std::max<std::int64_t>(1, std::llround(settings_.segmentSeconds * fps)) * 2);
    codec_->thread_count = options_.encoderThreads;
    codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    setOption(codec_->priv_data, "preset", options_.preset);
    setOption(codec_->priv_data, "profile", "high");
    setOption(codec_->priv_data, "forced-idr", "1");
    if (options_.threading == EncoderThreading::slicedLowLatency) {
        setOption(codec_->priv_data, "tune", "zerolatency");
    } else {
        codec_->thread_type = FF_THREAD_FRAME;
        setOption(codec_->priv_data, "rc-lookahead", "5");
    }
    if (const int result = avcodec_open2(codec_, encoder, nullptr); result < 0) {
        avcodec_free_context(&codec_);
        refuseSetUp(SegmentEncoderMessage::videoInputRejected, ffmpegError(result, "avcodec_open2 libx264"));
    }

    if (avformat_alloc_output_context2(&format_, container, nullptr, nullptr) < 0 || !format_) {
        avcodec_free_context(&codec_);
        refuseSetUp(SegmentEncoderMessage::contentTypeUnavailable, PlatformError(errorDomain, 0, "mp4 muxer context"));
    }
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(ioBufferSize));
    io_ = avio_alloc_context(buffer, ioBufferSize, 1, this, nullptr, &FFmpegSegmentEncoder::collectBytes, nullptr);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, codec_) < 0) {
        refuseSetUp(SegmentEncoderMessage::videoInputRejected, PlatformError(errorDomain, 0, "mp4 video track"));
    }
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;

    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    held_ = av_packet_alloc();
}

FFmpegSegmentEncoder::~FFmpegSegmentEncoder() {
    bool finishing;
    {
        std::lock_guard guard(lock_);
        finishing = finishRequested_;
    }
    // A finish already asked for runs to its completion; anything else is abandoned.
    if (!finishing) cancelWriting();
    if (thread_.joinable()) thread_.join();
    av_packet_free(&held_);
    av_packet_free(&packet_);
    av_frame_free(&picture_);
    sws_freeContext(scaler_);
    if (format_) avformat_free_context(format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    avcodec_free_context(&codec_);
}

SegmentEncoderFactory FFmpegSegmentEncoder::factory(FFmpegSegmentEncoderOptions options) {
    return [options](const SegmentEncoderSettings& settings) -> std::shared_ptr<SegmentEncoder> {
        return std::make_shared<FFmpegSegmentEncoder>(settings, options);
    };
}

void FFmpegSegmentEncoder::setOutputHandler(OutputHandler handler) { handler_ = std::move(handler); }

std::exception_ptr FFmpegSegmentEncoder::error() const {
    std::lock_guard guard(lock_);
    return error_;
}

void FFmpegSegmentEncoder::failWith(std::exception_ptr error) {
    {
        std::lock_guard guard(lock_);
        if (!error_) error_ = std::move(error);
        input_.clear();
    }
    status_ = SegmentEncoderStatus::failed;
}

bool FFmpegSegmentEncoder::startWriting(MediaTime sessionStart) {
    if (status_ != SegmentEncoderStatus::unknown || !sessionStart.isNumeric()) {
        failWith(std::make_exception_ptr(PlatformError(errorDomain, AVERROR(EINVAL), "the output was already started or the start time is not a number")));
        return false;
    }
    AVDictionary* muxerOptions = nullptr;
    av_dict_set(&muxerOptions, "movflags", fragmentedFlags, 0);
    const int result = avformat_write_header(format_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (result < 0) {
        failWith(std::make_exception_ptr(ffmpegError(result, "avformat_write_header")));
        return false;
    }
    sessionStart_ = sessionStart;
    status_ = SegmentEncoderStatus::writing;
    thread_ = std::thread([this] { run(); });
    return true;
}

SegmentAppendResult FFmpegSegmentEncoder::tryAppend(const SampleBuffer& sample) {
    const auto reject = [this](const std::string& why) {
        std::lock_guard guard(lock_);
        error_ = std::make_exception_ptr(PlatformError(errorDomain, AVERROR(EINVAL), why));
        return SegmentAppendResult::rejected;
    };
    if (status_ != SegmentEncoderStatus::writing) return reject("the encoder is not writing");
    if (!sample.pixelBuffer || sample.pixelBuffer->pixelFormat() != PixelFormat::bgra) {
        return reject("the sample has no BGRA pixel buffer");
    }
    const MediaTime offset = (sample.presentationTime - sessionStart_).convertedTo(timescale);
    if (!offset.isNumeric() || offset.value <= lastAcceptedPts_) {
        return reject("the presentation time does not follow the previous frame's");
    }
    {
        std::lock_guard guard(lock_);
        if (finishRequested_ || cancelRequested_) return SegmentAppendResult::rejected;
        if (input_.size() >= options_.inputCapacity) return SegmentAppendResult::notReady;
        input_.push_back(PendingFrame{sample.pixelBuffer, offset.value});
    }
    lastAcceptedPts_ = offset.value;
    wake_.notify_one();
    return SegmentAppendResult::accepted;
}

void FFmpegSegmentEncoder::finishWriting(std::function<void()> completion) {
    {
        std::lock_guard guard(lock_);
        if (finishRequested_ || cancelRequested_) return;
        finishRequested_ = true;
        completion_ = std::move(completion);
    }
    if (!thread_.joinable()) {
        // Never started: nothing to drain.
        if (status_ != SegmentEncoderStatus::failed) status_ = SegmentEncoderStatus::completed;
        auto done = std::exchange(completion_, nullptr);
        if (done) done();
        return;
    }
    wake_.notify_one();
}

void FFmpegSegmentEncoder::cancelWriting() {
    {
        std::lock_guard guard(lock_);
        if (cancelRequested_) return;
        cancelRequested_ = true;
        completion_ = nullptr;
        input_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    status_ = SegmentEncoderStatus::cancelled;
}

void FFmpegSegmentEncoder::run() {
    while (true) {
        PendingFrame frame;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return cancelRequested_ || finishRequested_ || !input_.empty(); });
            if (cancelRequested_) return;
            if (input_.empty()) break;  // finish requested and everything taken is encoded
            frame = std::move(input_.front());
            input_.pop_front();
        }
        if (status_ == SegmentEncoderStatus::failed) continue;
        try {
            encode(frame);
        } catch (const PlatformError& error) {
            failWith(std::make_exception_ptr(error));
        }
    }
    if (status_ != SegmentEncoderStatus::failed) {
        try {
            finishStream();
            status_ = SegmentEncoderStatus::completed;
        } catch (const PlatformError& error) {
            failWith(std::make_exception_ptr(error));
        }
    }
    std::function<void()> completion;
    {
        std::lock_guard guard(lock_);
        if (cancelRequested_) return;
        completion = std::exchange(completion_, nullptr);
    }
    if (completion) completion();
}

void FFmpegSegmentEncoder::convert(const PendingFrame& frame) {
    const PixelBuffer& pixels = *frame.pixels;
    if (!scaler_ || scalerWidth_ != pixels.width() || scalerHeight_ != pixels.height()) {
        // A source that changes size mid-stream is scaled to the configured size.
        sws_freeContext(scaler_);
        scaler_ = sws_alloc_context();
        av_opt_set_int(scaler_, "srcw", pixels.width(), 0);
        av_opt_set_int(scaler_, "srch", pixels.height(), 0);
        av_opt_set_int(scaler_, "src_format", AV_PIX_FMT_BGRA, 0);
        av_opt_set_int(scaler_, "dstw", codec_->width, 0);
        av_opt_set_int(scaler_, "dsth", codec_->height, 0);
        av_opt_set_int(scaler_, "dst_format", AV_PIX_FMT_YUV420P, 0);
        av_opt_set_int(scaler_, "sws_flags", SWS_BILINEAR, 0);
        av_opt_set_int(scaler_, "threads", options_.scalerThreads, 0);
        if (const int result = sws_init_context(scaler_, nullptr, nullptr); result < 0) {
            sws_freeContext(scaler_);
            scaler_ = nullptr;
            throw ffmpegError(result, "sws_init_context");
        }
        scalerWidth_ = pixels.width();
        scalerHeight_ = pixels.height();
    }

    // The source frame refers to the capture's pixels (kept alive by the buffer's reference)
    // rather than copying them.
    AVFrame* source = av_frame_alloc();
    auto* owner = new std::shared_ptr<const PixelBuffer>(frame.pixels);
    source->buf[0] = av_buffer_create(const_cast<std::uint8_t*>(pixels.data()), static_cast<int>(pixels.byteCount()),
                                      &releasePixels, owner, AV_BUFFER_FLAG_READONLY);
    if (!source->buf[0]) {
        delete owner;
        av_frame_free(&source);
        throw ffmpegError(AVERROR(ENOMEM), "av_buffer_create");
    }
    source->data[0] = source->buf[0]->data;
    source->linesize[0] = static_cast<int>(pixels.bytesPerRow());
    source->width = pixels.width();
    source->height = pixels.height();
    source->format = AV_PIX_FMT_BGRA;

    int result = 0;
    if (!picture_->buf[0]) {
        picture_->width = codec_->width;
        picture_->height = codec_->height;
        picture_->format = AV_PIX_FMT_YUV420P;
        result = av_frame_get_buffer(picture_, 0);
    } else {
        // The codec may still hold the previous picture.
        result = av_frame_make_writable(picture_);
    }
    if (result >= 0) result = sws_scale_frame(scaler_, picture_, source);
    av_frame_free(&source);
    if (result < 0) throw ffmpegError(result, "sws_scale_frame");
}

void FFmpegSegmentEncoder::encode(const PendingFrame& frame) {
    convert(frame);
    picture_->pts = frame.pts;
    picture_->pict_type = AV_PICTURE_TYPE_NONE;
    picture_->key_frame = 0;
    if (lastEncodedPts_ < 0 || frame.pts >= nextBoundaryPts_) {
        picture_->pict_type = AV_PICTURE_TYPE_I;
        picture_->key_frame = 1;
        if (lastEncodedPts_ >= 0) forcedKeyFrames_.push_back(frame.pts);
        nextBoundaryPts_ = (frame.pts / segmentTicks_ + 1) * segmentTicks_;
    }
    if (lastEncodedPts_ >= 0) lastFrameInterval_ = frame.pts - lastEncodedPts_;
    lastEncodedPts_ = frame.pts;
    if (const int result = avcodec_send_frame(codec_, picture_); result < 0) throw ffmpegError(result, "avcodec_send_frame");
    drainPackets();
}

void FFmpegSegmentEncoder::drainPackets() {
    while (true) {
        const int result = avcodec_receive_packet(codec_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        if (result < 0) throw ffmpegError(result, "avcodec_receive_packet");
        handlePacket(packet_);
        av_packet_unref(packet_);
    }
}

void FFmpegSegmentEncoder::handlePacket(AVPacket* packet) {
    if (holding_) {
        // Without B-frames packets come in presentation order, so the next packet's time is the
        // held one's end: fragments are then exactly contiguous.
        writeHeldPacket(packet->pts - held_->pts);
        while (!forcedKeyFrames_.empty() && forcedKeyFrames_.front() < packet->pts) forcedKeyFrames_.pop_front();
        const bool boundary = !forcedKeyFrames_.empty() && forcedKeyFrames_.front() == packet->pts;
        if (boundary) forcedKeyFrames_.pop_front();
        if (boundary && (packet->flags & AV_PKT_FLAG_KEY) && fragmentPackets_ > 0) {
            flushFragment(SegmentType::separable, packet->pts);
        }
    }
    av_packet_unref(held_);
    av_packet_move_ref(held_, packet);
    holding_ = true;
}

void FFmpegSegmentEncoder::writeHeldPacket(std::int64_t duration) {
    held_->duration = std::max<std::int64_t>(1, duration);
    held_->stream_index = stream_->index;
    const std::int64_t pts = held_->pts;
    if (fragmentPackets_ == 0) fragmentStartPts_ = pts;
    av_packet_rescale_ts(held_, codec_->time_base, stream_->time_base);
    const int result = av_write_frame(format_, held_);
    av_packet_unref(held_);
    holding_ = false;
    if (result < 0) throw ffmpegError(result, "av_write_frame");
    ++fragmentPackets_;
    if (!initializationDelivered_) {
        // With delay_moov the first flush after the first sample yields ftyp+moov only; the
        // sample stays in the fragment being filled.
        flushFragment(SegmentType::initialization, 0);
    }
}

void FFmpegSegmentEncoder::flushFragment(SegmentType type, std::int64_t endPts) {
    const int result = av_write_frame(format_, nullptr);
    if (result < 0) throw ffmpegError(result, "fragment flush");
    avio_flush(io_);
    if (type == SegmentType::initialization) {
        initializationDelivered_ = true;
        deliver(type, std::nullopt);
        return;
    }
    SegmentReport report;
    report.trackReports.push_back({MediaTime::make(endPts - fragmentStartPts_, timescale),
                                   MediaTime::make(fragmentStartPts_, timescale)});
    fragmentPackets_ = 0;
    fragmentStartPts_ = endPts;
    deliver(type, std::move(report));
}

void FFmpegSegmentEncoder::finishStream() {
    if (const int result = avcodec_send_frame(codec_, nullptr); result < 0) throw ffmpegError(result, "encoder flush");
    drainPackets();
    if (holding_) {
        const std::int64_t duration = lastFrameInterval_ > 0 ? lastFrameInterval_ : nominalFrameTicks_;
        const std::int64_t end = held_->pts + duration;
        writeHeldPacket(duration);
        flushFragment(SegmentType::separable, end);
    }
    const int result = av_write_trailer(format_);
    avio_flush(io_);
    collected_.clear();  // trailer bytes belong to no segment
    if (result < 0) throw ffmpegError(result, "av_write_trailer");
}

void FFmpegSegmentEncoder::deliver(SegmentType type, std::optional<SegmentReport> report) {
    std::string bytes = std::exchange(collected_, std::string());
    if (bytes.empty()) return;
    {
        std::lock_guard guard(lock_);
        if (cancelRequested_) return;
    }
    if (handler_) handler_(std::move(bytes), type, std::move(report));
}

int FFmpegSegmentEncoder::collectBytes(void* opaque, std::uint8_t* bytes, int size) {
    static_cast<FFmpegSegmentEncoder*>(opaque)->collected_.append(reinterpret_cast<const char*>(bytes),
                                                                   static_cast<std::size_t>(size));
    return size;
}

}  // namespace halvex::ffmpeg
