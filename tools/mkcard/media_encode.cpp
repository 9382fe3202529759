#include "tools/mkcard/media_encode.h"

#include <cmath>

#include "tools/mkcard/mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace mkcard {

namespace {

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// Drains every packet the encoder has ready.
bool Receive(AVCodecContext* ctx, AVPacket* pkt, bool annexB, std::vector<EncodedSample>* out,
             std::string* error) {
    for (;;) {
        int rc = avcodec_receive_packet(ctx, pkt);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            *error = "encoder: " + AvError(rc);
            return false;
        }
        EncodedSample s;
        s.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        if (annexB)
            s.data = AnnexBToLengthPrefixed(pkt->data, size_t(pkt->size));
        else
            s.data.assign(pkt->data, pkt->data + pkt->size);
        out->push_back(std::move(s));
        av_packet_unref(pkt);
    }
}

} // namespace

struct H264Encoder::State {
    CodecContextPtr ctx;
    FramePtr frame;
    PacketPtr packet;
};

H264Encoder::H264Encoder() : s_(std::make_unique<State>()) {}
H264Encoder::~H264Encoder() = default;

bool H264Encoder::Open(const VideoSettings& settings, std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "libavcodec has no libx264 encoder";
        return false;
    }
    s_->ctx.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = s_->ctx.get();
    c->width = settings.width;
    c->height = settings.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, 1000000};
    c->framerate = AVRational{1000000, static_cast<int>(settings.frameUs)};
    c->gop_size = settings.gop;
    c->keyint_min = settings.gop;
    c->max_b_frames = 0;
    c->thread_count = 1; // one thread: the same input gives the same bytes
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_SMPTE170M;
    c->color_primaries = AVCOL_PRI_SMPTE170M;
    c->color_trc = AVCOL_TRC_SMPTE170M;
    av_opt_set(c->priv_data, "preset", settings.preset.c_str(), 0);
    av_opt_set_double(c->priv_data, "crf", settings.crf, 0);
    // Key frames exactly every gop frames: no scene-cut decisions.
    const std::string params =
        "scenecut=0:bframes=0:sliced-threads=0:keyint=" + std::to_string(settings.gop) +
        ":min-keyint=" + std::to_string(settings.gop);
    av_opt_set(c->priv_data, "x264-params", params.c_str(), 0);
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open libx264: " + AvError(rc);
        return false;
    }
    avcConfig_ = AvcConfigFromAnnexB(c->extradata, size_t(c->extradata_size));
    if (avcConfig_.empty()) {
        *error = "libx264 gave no parameter sets";
        return false;
    }
    s_->frame.reset(av_frame_alloc());
    s_->frame->format = c->pix_fmt;
    s_->frame->width = c->width;
    s_->frame->height = c->height;
    rc = av_frame_get_buffer(s_->frame.get(), 0);
    if (rc < 0) {
        *error = "cannot allocate a picture: " + AvError(rc);
        return false;
    }
    s_->packet.reset(av_packet_alloc());
    nextPts_ = 0;
    return true;
}

PictureRef H264Encoder::Picture() {
    av_frame_make_writable(s_->frame.get());
    AVFrame* f = s_->frame.get();
    return PictureRef{f->data[0],     f->data[1],     f->data[2],
                      f->linesize[0], f->linesize[1], f->linesize[2]};
}

bool H264Encoder::Encode(std::vector<EncodedSample>* out, std::string* error) {
    AVFrame* f = s_->frame.get();
    f->pts = nextPts_;
    nextPts_ += s_->ctx->framerate.den;
    int rc = avcodec_send_frame(s_->ctx.get(), f);
    if (rc < 0) {
        *error = "encoder refused a picture: " + AvError(rc);
        return false;
    }
    return Receive(s_->ctx.get(), s_->packet.get(), true, out, error);
}

bool H264Encoder::Flush(std::vector<EncodedSample>* out, std::string* error) {
    int rc = avcodec_send_frame(s_->ctx.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        *error = "encoder flush: " + AvError(rc);
        return false;
    }
    return Receive(s_->ctx.get(), s_->packet.get(), true, out, error);
}

bool EncodeAudio(const AudioSettings& settings, double seconds, EncodedAudio* out,
                 std::string* error) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) {
        *error = "libavcodec has no aac encoder";
        return false;
    }
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    AVCodecContext* c = ctx.get();
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = settings.sampleRate;
    av_channel_layout_default(&c->ch_layout, settings.channels);
    c->bit_rate = settings.bitRate;
    c->time_base = AVRational{1, settings.sampleRate};
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->thread_count = 1;
    int rc = avcodec_open2(c, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open the aac encoder: " + AvError(rc);
        return false;
    }
    out->audioSpecificConfig.assign(c->extradata, c->extradata + c->extradata_size);
    out->sampleRate = settings.sampleRate;
    out->channels = settings.channels;
    out->bitRate = settings.bitRate;
    out->encoderDelay = c->initial_padding;
    out->frames.clear();

    FramePtr frame(av_frame_alloc());
    frame->format = c->sample_fmt;
    frame->nb_samples = c->frame_size;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    rc = av_frame_get_buffer(frame.get(), 0);
    if (rc < 0) {
        *error = "cannot allocate audio: " + AvError(rc);
        return false;
    }
    PacketPtr packet(av_packet_alloc());
    const int64_t total = static_cast<int64_t>(std::ceil(seconds * settings.sampleRate));
    const int frameSize = c->frame_size;
    const double rate = settings.sampleRate;
    constexpr double kPi = 3.14159265358979323846;
    for (int64_t start = 0; start < total; start += frameSize) {
        av_frame_make_writable(frame.get());
        for (int ch = 0; ch < settings.channels; ++ch) {
            float* data = reinterpret_cast<float*>(frame->data[ch]);
            for (int i = 0; i < frameSize; ++i) {
                const int64_t n = start + i;
                const double t = n / rate;
                double v = 0.02 * std::sin(2 * kPi * 440 * t);
                // A 4 ms click at each whole second.
                const int64_t intoSecond = n % settings.sampleRate;
                if (intoSecond < settings.sampleRate / 250) {
                    const double tc = intoSecond / rate;
                    v += 0.35 * std::sin(2 * kPi * 2500 * tc) * std::exp(-tc * 900);
                }
                data[i] = static_cast<float>(v);
            }
        }
        frame->pts = start;
        rc = avcodec_send_frame(c, frame.get());
        if (rc < 0) {
            *error = "aac encoder refused audio: " + AvError(rc);
            return false;
        }
        if (!Receive(c, packet.get(), false, &out->frames, error)) return false;
    }
    rc = avcodec_send_frame(c, nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        *error = "aac flush: " + AvError(rc);
        return false;
    }
    return Receive(c, packet.get(), false, &out->frames, error);
}

std::string EncoderVersions() {
    return std::string("libavcodec ") + AV_STRINGIFY(LIBAVCODEC_VERSION);
}

} // namespace mkcard
