#include "analysis/VideoFrames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FormatClose {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleFree {
    void operator()(SwsContext* scale) const { sws_freeContext(scale); }
};

}  // namespace

struct VideoFrames::Codec {
    std::unique_ptr<AVFormatContext, FormatClose> format;
    std::unique_ptr<AVCodecContext, CodecFree> decoder;
    std::unique_ptr<AVFrame, FrameFree> frame{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
    std::unique_ptr<SwsContext, ScaleFree> scale;
    int stream = -1;
    AVRational timeBase{1, 1};
    int64_t startPts = AV_NOPTS_VALUE;  // the stream's start, in its time base
    int width = 0;                      // the analysis picture's size
    int height = 0;
    int scaledFromWidth = 0;  // what `scale` was made for
    int scaledFromHeight = 0;
    AVPixelFormat scaledFromFormat = AV_PIX_FMT_NONE;
};

std::unique_ptr<VideoFrames> VideoFrames::Open(const std::string& path, int width,
                                               std::string* error) {
    auto codec = std::make_unique<Codec>();
    AVFormatContext* format = nullptr;
    if (const int code = avformat_open_input(&format, path.c_str(), nullptr, nullptr); code < 0) {
        *error = "cannot open " + path + ": " + ErrorText(code);
        return nullptr;
    }
    codec->format.reset(format);
    if (const int code = avformat_find_stream_info(format, nullptr); code < 0) {
        *error = path + ": cannot read its streams: " + ErrorText(code);
        return nullptr;
    }
    const AVCodec* decoder = nullptr;
    codec->stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (codec->stream < 0 || decoder == nullptr) {
        *error = path + ": no video stream that can be decoded";
        return nullptr;
    }
    const AVStream* stream = format->streams[codec->stream];
    codec->decoder.reset(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec->decoder.get(), stream->codecpar);
    codec->decoder->thread_count = 0;  // as many as the machine has
    if (const int code = avcodec_open2(codec->decoder.get(), decoder, nullptr); code < 0) {
        *error = path + ": cannot decode its video: " + ErrorText(code);
        return nullptr;
    }
    if (stream->codecpar->width <= 0 || stream->codecpar->height <= 0) {
        *error = path + ": its video has no picture size";
        return nullptr;
    }
    codec->timeBase = stream->time_base;
    codec->startPts = stream->start_time;
    // The picture's shape as it is shown (non-square pixels included), `width` wide, even.
    AVRational aspect = stream->sample_aspect_ratio.num > 0 ? stream->sample_aspect_ratio
                                                            : stream->codecpar->sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = {1, 1};
    const double shown =
        static_cast<double>(stream->codecpar->width) * av_q2d(aspect) / stream->codecpar->height;
    codec->width = std::max(2, std::min(width, stream->codecpar->width) & ~1);
    codec->height = std::max(2, static_cast<int>(codec->width / shown) & ~1);
    return std::unique_ptr<VideoFrames>(new VideoFrames(std::move(codec)));
}

VideoFrames::VideoFrames(std::unique_ptr<Codec> codec) : codec_(std::move(codec)) {}

VideoFrames::~VideoFrames() = default;

int VideoFrames::Width() const { return codec_->width; }
int VideoFrames::Height() const { return codec_->height; }

int64_t VideoFrames::DurationUs() const {
    const AVStream* stream = codec_->format->streams[codec_->stream];
    if (stream->duration > 0)
        return av_rescale_q(stream->duration, stream->time_base, {1, 1000000});
    return std::max<int64_t>(codec_->format->duration, 0);  // AV_TIME_BASE is microseconds
}

bool VideoFrames::Receive(Frame* frame) {
    Codec& c = *codec_;
    const int code = avcodec_receive_frame(c.decoder.get(), c.frame.get());
    // A damaged frame is left out; the analysis goes on with the next.
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF || code == AVERROR_INVALIDDATA) return false;
    if (code < 0) {
        error_ = "cannot decode a frame: " + ErrorText(code);
        return false;
    }
    const AVFrame& decoded = *c.frame;
    if (c.scale == nullptr || decoded.width != c.scaledFromWidth ||
        decoded.height != c.scaledFromHeight || decoded.format != c.scaledFromFormat) {
        c.scale.reset(sws_getContext(decoded.width, decoded.height,
                                     static_cast<AVPixelFormat>(decoded.format), c.width, c.height,
                                     AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr));
        c.scaledFromWidth = decoded.width;
        c.scaledFromHeight = decoded.height;
        c.scaledFromFormat = static_cast<AVPixelFormat>(decoded.format);
        if (c.scale == nullptr) {
            error_ = "cannot scale the video's pictures";
            return false;
        }
    }
    frame->width = c.width;
    frame->height = c.height;
    frame->grey.resize(static_cast<size_t>(c.width) * static_cast<size_t>(c.height));
    uint8_t* planes[4] = {frame->grey.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {c.width, 0, 0, 0};
    sws_scale(c.scale.get(), decoded.data, decoded.linesize, 0, decoded.height, planes, strides);
    int64_t pts = decoded.best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = decoded.pts;
    if (pts == AV_NOPTS_VALUE) pts = 0;
    if (c.startPts != AV_NOPTS_VALUE) pts -= c.startPts;
    frame->timeUs = std::max<int64_t>(0, av_rescale_q(pts, c.timeBase, {1, 1000000}));
    av_frame_unref(c.frame.get());
    return true;
}

bool VideoFrames::Next(Frame* frame) {
    Codec& c = *codec_;
    for (;;) {
        if (Receive(frame)) return true;
        if (!error_.empty() || draining_) return false;
        const int read = av_read_frame(c.format.get(), c.packet.get());
        if (read == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(c.decoder.get(), nullptr);
            continue;
        }
        if (read < 0) {
            error_ = "cannot read the file: " + ErrorText(read);
            return false;
        }
        if (c.packet->stream_index == c.stream) {
            const int sent = avcodec_send_packet(c.decoder.get(), c.packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                av_packet_unref(c.packet.get());
                error_ = "cannot decode the video: " + ErrorText(sent);
                return false;
            }
        }
        av_packet_unref(c.packet.get());
    }
}
