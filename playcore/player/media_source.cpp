#include "playcore/player/media_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <unistd.h>

#include <cerrno>

#include "platform/file_io.h"
#include "playcore/player/player_rules.h"

namespace playcore {

namespace {

constexpr AVRational kUnitsBase{1, static_cast<int>(kUnitsPerSecond)};

int Interrupted(void* opaque) {
    const auto* abort = static_cast<const std::atomic<bool>*>(opaque);
    return abort && abort->load() ? 1 : 0;
}

} // namespace

MediaSource::~MediaSource() {
    if (format_) avformat_close_input(&format_);
}

void MediaSource::SetAbort(const std::atomic<bool>* abort) {
    format_->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(abort);
}

PlayerResult MediaSource::Open(const std::string& path, const std::atomic<bool>* abort,
                               std::unique_ptr<MediaSource>* out, int heldFile) {
    out->reset();
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return AVERROR(ENOMEM);
    format->interrupt_callback.callback = Interrupted;
    format->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(abort);
    // Only a regular file is opened: a FIFO or a device would block the open
    // (or read without end). The library then opens the file checked here.
    // A descriptor the caller holds was checked when it was opened.
    const int fd = heldFile >= 0 ? heldFile : platform::OpenRegularForReading(path);
    if (fd < 0) {
        const int error = errno;
        avformat_free_context(format);
        return AVERROR(error ? error : EINVAL);
    }
    // The container's boxes say everything the player needs; no probing by decoding.
    int ret =
        avformat_open_input(&format, platform::DescriptorPath(fd, path).c_str(), nullptr, nullptr);
    if (fd != heldFile) ::close(fd);
    if (ret < 0) return ret; // the context was freed by avformat_open_input
    std::unique_ptr<MediaSource> source(new MediaSource);
    source->format_ = format;

    const int count = static_cast<int>(format->nb_streams);
    if (count <= 0) return AVERROR_INVALIDDATA;
    if (format->start_time != AV_NOPTS_VALUE && format->start_time > 0)
        source->origin_ = av_rescale_q(format->start_time, AV_TIME_BASE_Q, kUnitsBase);
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        source->duration_ = av_rescale_q(format->duration, AV_TIME_BASE_Q, kUnitsBase);

    source->streams_.resize(static_cast<size_t>(count));
    for (int f = 0; f < count; ++f) {
        const AVStream* st = format->streams[f];
        const AVCodecParameters* par = st->codecpar;
        StreamInfo info;
        info.index = PresentationStreamIndex(f, count);
        info.fileIndex = f;
        info.decodable = avcodec_find_decoder(par->codec_id) != nullptr;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            info.duration = av_rescale_q(st->duration, st->time_base, kUnitsBase);
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            info.kind = StreamKind::Video;
            info.width = par->width;
            info.height = par->height;
            AVRational rate = st->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
            if (rate.num > 0 && rate.den > 0) {
                info.frameRateNum = rate.num;
                info.frameRateDen = rate.den;
                info.framePeriod = av_rescale(kUnitsPerSecond, rate.den, rate.num);
            }
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            info.kind = StreamKind::Audio;
            info.sampleRate = par->sample_rate;
            info.channels = par->ch_layout.nb_channels;
            info.decodable = info.decodable && info.sampleRate > 0 && info.channels > 0;
        }
        source->streams_[static_cast<size_t>(info.index)] = info;
    }
    *out = std::move(source);
    return kResultOk;
}

AVStream* MediaSource::FileStream(int n) const {
    if (n < 0 || n >= StreamCount()) return nullptr;
    return format_->streams[streams_[static_cast<size_t>(n)].fileIndex];
}

MediaTime MediaSource::ToMediaTime(int64_t ts, const AVRational& timeBase) const {
    return av_rescale_q(ts, timeBase, kUnitsBase) - origin_;
}

int64_t MediaSource::FromMediaTime(MediaTime t, const AVRational& timeBase) const {
    return av_rescale_q(t + origin_, kUnitsBase, timeBase);
}

PlayerResult ProbeFrameDuration(const std::string& path, float* frameDurationMs) {
    std::unique_ptr<MediaSource> source;
    const PlayerResult r = MediaSource::Open(path, nullptr, &source);
    if (r < 0) return r;
    for (int n = 0; n < source->StreamCount(); ++n) {
        if (source->Stream(n).kind != StreamKind::Video) continue;
        const AVStream* st = source->FileStream(n);
        double rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0
                          ? av_q2d(st->avg_frame_rate)
                          : 0.0;
        if (rate <= 0 && st->nb_frames > 0 && st->duration > 0) {
            const double average = st->duration * av_q2d(st->time_base) / st->nb_frames;
            if (average > 0) rate = 1.0 / average;
        }
        if (rate > 0) {
            if (frameDurationMs) *frameDurationMs = static_cast<float>(1000.0 / rate);
            return kResultOk;
        }
    }
    return AVERROR_STREAM_NOT_FOUND;
}

} // namespace playcore
