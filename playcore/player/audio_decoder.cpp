#include "playcore/player/audio_decoder.h"

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace playcore {

AudioDecoder::AudioDecoder(const MediaSource& source, int stream,
                           const std::atomic<uint64_t>* latestSerial)
    : source_(source), stream_(stream), latestSerial_(latestSerial) {
    sampleRate_ = source.Stream(stream).sampleRate;
    channels_ = source.Stream(stream).channels;
}

AudioDecoder::~AudioDecoder() {
    swr_free(&swr_);
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
}

PlayerResult AudioDecoder::Open() {
    const AVStream* st = source_.FileStream(stream_);
    if (!st || sampleRate_ <= 0 || channels_ <= 0) return AVERROR(EINVAL);
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) return AVERROR_DECODER_NOT_FOUND;
    frame_ = av_frame_alloc();
    codec_ = avcodec_alloc_context3(codec);
    if (!frame_ || !codec_) return AVERROR(ENOMEM);
    int ret = avcodec_parameters_to_context(codec_, st->codecpar);
    if (ret < 0) return ret;
    codec_->pkt_timebase = st->time_base;
    codec_->thread_count = 1;
    return avcodec_open2(codec_, codec, nullptr);
}

void AudioDecoder::HandleFrame(AVFrame* frame, AudioRing* out) {
    const AVStream* st = source_.FileStream(stream_);
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0) return;
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = frame->pts;
    MediaTime start = ts == AV_NOPTS_VALUE ? nextStart_ : source_.ToMediaTime(ts, st->time_base);

    const int inChannels = frame->ch_layout.nb_channels;
    if (!swr_ || swrFormat_ != frame->format || swrRate_ != frame->sample_rate ||
        swrChannels_ != inChannels) {
        swr_free(&swr_);
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, channels_);
        const int ret = swr_alloc_set_opts2(
            &swr_, &outLayout, AV_SAMPLE_FMT_FLT, sampleRate_, &frame->ch_layout,
            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (ret < 0 || swr_init(swr_) < 0) {
            swr_free(&swr_);
            return;
        }
        swrFormat_ = frame->format;
        swrRate_ = frame->sample_rate;
        swrChannels_ = inChannels;
    }
    const int capacity = swr_get_out_samples(swr_, frame->nb_samples);
    if (capacity <= 0) return;
    buffer_.resize(static_cast<size_t>(capacity) * static_cast<size_t>(channels_));
    uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(buffer_.data())};
    const int got =
        swr_convert(swr_, outPlanes, capacity, const_cast<const uint8_t**>(frame->extended_data),
                    frame->nb_samples);
    if (got <= 0) return;
    std::vector<float> samples(buffer_.begin(),
                               buffer_.begin() + static_cast<long>(got) * channels_);
    const MediaTime duration = static_cast<MediaTime>(got) * kUnitsPerSecond / sampleRate_;
    nextStart_ = start + duration;
    if (cutting_) {
        if (start + duration <= cutBefore_) return;
        if (start < cutBefore_) {
            const size_t cut = static_cast<size_t>(
                std::min<MediaTime>(got, (cutBefore_ - start) * sampleRate_ / kUnitsPerSecond));
            samples.erase(samples.begin(), samples.begin() + static_cast<long>(cut) * channels_);
            start += static_cast<MediaTime>(cut) * kUnitsPerSecond / sampleRate_;
        }
        cutting_ = false;
    }
    out->Push(serial_, start, std::move(samples));
}

void AudioDecoder::Receive(AudioRing* out) {
    for (;;) {
        if (avcodec_receive_frame(codec_, frame_) < 0) return;
        HandleFrame(frame_, out);
        av_frame_unref(frame_);
    }
}

void AudioDecoder::Run(PacketQueue* in, AudioRing* out) {
    PacketItem item;
    while (in->Get(&item)) {
        switch (item.kind) {
        case PacketItem::Kind::Flush:
            if (item.serial < serial_) break;
            avcodec_flush_buffers(codec_);
            serial_ = item.serial;
            cutting_ = true;
            cutBefore_ = item.target;
            break;
        case PacketItem::Kind::End:
            if (item.serial != serial_) break;
            avcodec_send_packet(codec_, nullptr);
            Receive(out);
            out->EndOfStream(serial_);
            avcodec_flush_buffers(codec_);
            break;
        case PacketItem::Kind::Packet: {
            AVPacket* packet = item.packet;
            if (item.serial != serial_ || item.serial < latestSerial_->load()) {
                av_packet_free(&packet);
                break;
            }
            int ret = avcodec_send_packet(codec_, packet);
            while (ret == AVERROR(EAGAIN)) {
                Receive(out);
                ret = avcodec_send_packet(codec_, packet);
            }
            av_packet_free(&packet);
            Receive(out);
            break;
        }
        }
    }
}

} // namespace playcore
