#include "playcore/player/video_decoder.h"

#include <algorithm>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

#include "playcore/player/frame_convert.h"

namespace playcore {

namespace {

// Picks VAAPI when the decoder offers it, else the first software format.
AVPixelFormat ChooseFormat(AVCodecContext*, const AVPixelFormat* formats) {
    for (const AVPixelFormat* p = formats; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == AV_PIX_FMT_VAAPI) return *p;
    for (const AVPixelFormat* p = formats; *p != AV_PIX_FMT_NONE; ++p) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(*p);
        if (d && !(d->flags & AV_PIX_FMT_FLAG_HWACCEL)) return *p;
    }
    return AV_PIX_FMT_NONE;
}

bool CodecSupportsVaapi(const AVCodec* codec) {
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(codec, i);
        if (!config) return false;
        if (config->device_type == AV_HWDEVICE_TYPE_VAAPI &&
            (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX))
            return true;
    }
}

int DecoderThreads(int requested) {
    if (requested > 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 4u));
}

} // namespace

VideoDecoder::VideoDecoder(const MediaSource& source, int stream,
                           const std::atomic<uint64_t>* latestSerial)
    : source_(source), stream_(stream), latestSerial_(latestSerial) {
    period_ = source.Stream(stream).framePeriod;
}

VideoDecoder::~VideoDecoder() {
    avcodec_free_context(&codec_);
    av_buffer_unref(&hwDevice_);
    av_frame_free(&frame_);
}

PlayerResult VideoDecoder::Open(bool hardware, int threads) {
    const AVStream* st = source_.FileStream(stream_);
    if (!st) return AVERROR(EINVAL);
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return AVERROR_DECODER_NOT_FOUND;
    frame_ = av_frame_alloc();
    if (!frame_) return AVERROR(ENOMEM);

    for (int attempt = hardware ? 0 : 1; attempt < 2; ++attempt) {
        const bool tryHardware = attempt == 0;
        avcodec_free_context(&codec_);
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_) return AVERROR(ENOMEM);
        int ret = avcodec_parameters_to_context(codec_, st->codecpar);
        if (ret < 0) return ret;
        codec_->pkt_timebase = st->time_base;
        codec_->thread_count = DecoderThreads(threads);
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (tryHardware) {
            // No VAAPI device (no GPU, no driver) or a codec without it:
            // decode in software, silently.
            if (!CodecSupportsVaapi(codec) ||
                av_hwdevice_ctx_create(&hwDevice_, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0)
                continue;
            codec_->hw_device_ctx = av_buffer_ref(hwDevice_);
            codec_->get_format = ChooseFormat;
        }
        ret = avcodec_open2(codec_, codec, nullptr);
        if (ret >= 0) {
            std::lock_guard lock(statsMutex_);
            stats_.hardware = tryHardware;
            return kResultOk;
        }
        av_buffer_unref(&hwDevice_);
        if (!tryHardware) return ret;
    }
    return AVERROR_DECODER_NOT_FOUND;
}

VideoDecoder::Stats VideoDecoder::GetStats() const {
    std::lock_guard lock(statsMutex_);
    return stats_;
}

void VideoDecoder::Emit(ScheduledFrame frame, FrameScheduler* out) {
    if (!frame.frame) return;
    if (out->Push(std::move(frame))) {
        std::lock_guard lock(statsMutex_);
        ++stats_.queued;
    }
}

void VideoDecoder::HandleFrame(AVFrame* frame, FrameScheduler* out) {
    const AVStream* st = source_.FileStream(stream_);
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = frame->pts;
    const MediaTime start =
        ts == AV_NOPTS_VALUE ? nextStart_ : source_.ToMediaTime(ts, st->time_base);
    MediaTime duration = frame->pkt_duration > 0
                             ? av_rescale_q(frame->pkt_duration, st->time_base,
                                            AVRational{1, static_cast<int>(kUnitsPerSecond)})
                             : period_;
    const MediaTime end = duration > 0 ? start + duration : -1;
    nextStart_ = end >= 0 ? end : start + 1;
    {
        std::lock_guard lock(statsMutex_);
        ++stats_.decoded;
        if (frame->key_frame) ++stats_.keyDecoded;
    }

    ScheduledFrame sf;
    sf.serial = serial_;
    sf.start = start;
    sf.end = end;
    sf.key = frame->key_frame != 0;
    if (seeking_) {
        const bool before = end >= 0 ? end <= seekTarget_ : false;
        if (before || (start <= seekTarget_ && end < 0)) {
            // Not past the target yet (or cannot tell without the next frame).
            sf.frame = ToVideoFrame(frame, start);
            if (candidate_) {
                std::lock_guard lock(statsMutex_);
                ++stats_.passedOver;
            }
            candidate_ = std::move(sf);
            return;
        }
        seeking_ = false;
        if (start > seekTarget_ && candidate_)
            Emit(std::move(*candidate_), out);
        else if (candidate_) {
            std::lock_guard lock(statsMutex_);
            ++stats_.passedOver;
        }
        candidate_.reset();
    }
    sf.frame = ToVideoFrame(frame, start);
    Emit(std::move(sf), out);
}

void VideoDecoder::Receive(FrameScheduler* out) {
    for (;;) {
        const int ret = avcodec_receive_frame(codec_, frame_);
        if (ret < 0) {
            // EAGAIN or EOF: nothing more now; anything else is a broken stream.
            if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) CountFailure();
            return;
        }
        HandleFrame(frame_, out);
        av_frame_unref(frame_);
    }
}

void VideoDecoder::Drain(FrameScheduler* out) {
    avcodec_send_packet(codec_, nullptr);
    Receive(out);
    if (seeking_ && candidate_) Emit(std::move(*candidate_), out);
    seeking_ = false;
    candidate_.reset();
    out->EndOfStream(serial_);
    // A drained decoder takes packets again only after a flush.
    avcodec_flush_buffers(codec_);
}

void VideoDecoder::Run(PacketQueue* in, FrameScheduler* out) {
    PacketItem item;
    while (in->Get(&item)) {
        switch (item.kind) {
        case PacketItem::Kind::Flush:
            if (item.serial < serial_) break;
            avcodec_flush_buffers(codec_);
            serial_ = item.serial;
            seeking_ = true;
            seekTarget_ = item.target;
            candidate_.reset();
            contiguous_.store(true);
            break;
        case PacketItem::Kind::End:
            if (item.serial == serial_) Drain(out);
            break;
        case PacketItem::Kind::Packet: {
            AVPacket* packet = item.packet;
            const bool stale = item.serial != serial_ || item.serial < latestSerial_->load();
            const bool key = packet->flags & AV_PKT_FLAG_KEY;
            if (stale) {
                av_packet_free(&packet);
                break;
            }
            if (thin_.load() && !key && !seeking_) {
                contiguous_.store(false);
                {
                    std::lock_guard lock(statsMutex_);
                    ++stats_.thinned;
                }
                av_packet_free(&packet);
                break;
            }
            {
                std::lock_guard lock(statsMutex_);
                ++stats_.packets;
            }
            int ret = avcodec_send_packet(codec_, packet);
            while (ret == AVERROR(EAGAIN)) {
                Receive(out);
                ret = avcodec_send_packet(codec_, packet);
            }
            av_packet_free(&packet);
            // A packet the decoder cannot read (broken picture bytes) gives
            // no frame; it is counted so that a caller waiting for one can
            // give up at once.
            if (ret < 0 && ret != AVERROR_EOF) CountFailure();
            Receive(out);
            break;
        }
        }
    }
}

} // namespace playcore
