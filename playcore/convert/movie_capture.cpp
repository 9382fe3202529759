#include "playcore/convert/movie_capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "platform/file_io.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"

namespace playcore {

namespace {

// Trace line "file line" for the debugger output: silent unless
// KINETTA_CONVERT_TRACE is defined at build time.
#ifdef KINETTA_CONVERT_TRACE
#define CONVERT_TRACE() std::fprintf(stderr, "%s %d\n", __FILE__, __LINE__)
#else
#define CONVERT_TRACE() ((void)0)
#endif

// Whether two paths name the same existing file (also through links).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa = {}, sb = {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool Fail(std::string* why, const std::string& text) {
    CONVERT_TRACE();
    if (why && why->empty()) *why = text;
    return false;
}

} // namespace

// ---- ConvertSample -------------------------------------------------------------

ConvertSample::ConvertSample(ConvertSample&& other) noexcept
    : packet(other.packet), frame(other.frame) {
    other.packet = nullptr;
    other.frame = nullptr;
}

ConvertSample& ConvertSample::operator=(ConvertSample&& other) noexcept {
    if (this != &other) {
        av_packet_free(&packet);
        av_frame_free(&frame);
        packet = other.packet;
        frame = other.frame;
        other.packet = nullptr;
        other.frame = nullptr;
    }
    return *this;
}

ConvertSample::~ConvertSample() {
    av_packet_free(&packet);
    av_frame_free(&frame);
}

// ---- MovieConverter ------------------------------------------------------------

MovieConverter::MovieConverter() = default;

MovieConverter::~MovieConverter() {
    sws_freeContext(toI420_);
    av_frame_free(&i420_);
}

bool MovieConverter::Init(int sourceWidth, int sourceHeight, int outWidth, int outHeight,
                          bool flip) {
    if (!BuildRemapTable(outWidth, outHeight, sourceWidth, sourceHeight, flip, &table_))
        return false;
    output_.assign(static_cast<size_t>(outWidth) * outHeight * 4, 0);
    return true;
}

bool MovieConverter::Convert(const AVFrame* frame) {
    if (!frame || frame->width != table_.sourceWidth || frame->height != table_.sourceHeight)
        return false;
    const AVFrame* planar = frame;
    if (frame->format != AV_PIX_FMT_YUV420P) {
        // Any other layout (or full-range 4:2:0) becomes video-range planar 4:2:0 first.
        toI420_ = sws_getCachedContext(toI420_, frame->width, frame->height,
                                       static_cast<AVPixelFormat>(frame->format), frame->width,
                                       frame->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                       nullptr, nullptr);
        if (!toI420_) return false;
        if (!i420_) {
            i420_ = av_frame_alloc();
            if (!i420_) return false;
            i420_->format = AV_PIX_FMT_YUV420P;
            i420_->width = frame->width;
            i420_->height = frame->height;
            if (av_frame_get_buffer(i420_, 0) < 0) return false;
        }
        if (sws_scale(toI420_, frame->data, frame->linesize, 0, frame->height, i420_->data,
                      i420_->linesize) != frame->height)
            return false;
        planar = i420_;
    }
    const YuvPlanes planes{planar->data[0],     planar->data[1],     planar->data[2],
                           planar->linesize[0], planar->linesize[1], planar->linesize[2]};
    RemapRows(table_, planes, output_.data(), OutStride(), 0, table_.height);
    return true;
}

// ---- MovieReader ---------------------------------------------------------------

MovieReader::~MovieReader() {
    while (!queue_.Empty())
        queue_.Pop();
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

bool MovieReader::Open(const std::string& path, bool combined, std::string* why) {
    combined_ = combined;
    // Only a regular file: a FIFO would block the open.
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return Fail(why, "cannot open " + path + " as a regular file");
    const int opened =
        avformat_open_input(&format_, platform::DescriptorPath(fd, path).c_str(), nullptr, nullptr);
    ::close(fd);
    if (opened < 0) return Fail(why, "cannot open " + path);
    if (avformat_find_stream_info(format_, nullptr) < 0)
        return Fail(why, "cannot read the streams of " + path);

    const int count = static_cast<int>(format_->nb_streams);
    for (int i = 0; i < count; ++i) {
        AVStream* s = format_->streams[i];
        const int folded = FoldStream(SourceStreamNumber(i, count), combined);
        const AVMediaType type = s->codecpar->codec_type;
        if (folded == 0 && type == AVMEDIA_TYPE_AUDIO)
            audio_ = s;
        else if (folded == 1 && type == AVMEDIA_TYPE_VIDEO)
            video_ = s;
        else
            s->discard = AVDISCARD_ALL;
    }
    if (!video_) return Fail(why, "no video stream to convert");

    const AVCodec* codec = avcodec_find_decoder(video_->codecpar->codec_id);
    decoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!decoder_ || avcodec_parameters_to_context(decoder_, video_->codecpar) < 0)
        return Fail(why, "no decoder for the video");
    decoder_->pkt_timebase = video_->time_base;
    decoder_->thread_count = 0;
    if (avcodec_open2(decoder_, codec, nullptr) < 0) return Fail(why, "cannot open the decoder");
    packet_ = av_packet_alloc();
    if (!packet_) return Fail(why, "out of memory");
    return true;
}

int MovieReader::VideoWidth() const {
    return video_ ? video_->codecpar->width : 0;
}

int MovieReader::VideoHeight() const {
    return video_ ? video_->codecpar->height : 0;
}

MovieReader::Outcome MovieReader::ReadOne() {
    if (!queue_.WantsMore()) return Outcome::Continue;
    if (decoderEnded_) {
        // One end report per stream read and the last one (as a source
        // reader reports them); the source has ended at the last.
        ++endReports_;
        return Outcome::Continue;
    }
    // A decoded frame waiting in the decoder comes first.
    AVFrame* frame = av_frame_alloc();
    if (!frame) return Outcome::Error;
    for (;;) {
        const int got = avcodec_receive_frame(decoder_, frame);
        if (got == 0) {
            ConvertSample sample;
            sample.frame = frame;
            queue_.Push(1, std::move(sample));
            return Outcome::Continue;
        }
        if (got == AVERROR_EOF) {
            av_frame_free(&frame);
            decoderEnded_ = true;
            return Outcome::Continue;
        }
        if (got != AVERROR(EAGAIN)) {
            // A broken frame: the decoder goes on with the next packet.
            av_frame_unref(frame);
        }
        if (demuxEnded_) {
            if (got != AVERROR(EAGAIN)) continue;
            av_frame_free(&frame);
            decoderEnded_ = true;
            return Outcome::Continue;
        }
        const int read = av_read_frame(format_, packet_);
        if (read == AVERROR_EOF) {
            demuxEnded_ = true;
            avcodec_send_packet(decoder_, nullptr);
            continue;
        }
        if (read < 0) {
            av_frame_free(&frame);
            return Outcome::Error;
        }
        if (audio_ && packet_->stream_index == audio_->index) {
            ConvertSample sample;
            sample.packet = av_packet_clone(packet_);
            av_packet_unref(packet_);
            av_frame_free(&frame);
            if (!sample.packet) return Outcome::Error;
            queue_.Push(0, std::move(sample));
            return Outcome::Continue;
        }
        if (packet_->stream_index == video_->index) {
            const int sent = avcodec_send_packet(decoder_, packet_);
            av_packet_unref(packet_);
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                // A packet the decoder refuses is skipped, as a broken frame.
                continue;
            }
            continue;
        }
        av_packet_unref(packet_);
    }
}

// ---- MovieWriter ---------------------------------------------------------------

MovieWriter::~MovieWriter() {
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
    }
    avcodec_free_context(&encoder_);
    sws_freeContext(toYuv_);
    av_frame_free(&yuv_);
    av_packet_free(&packet_);
}

bool MovieWriter::EncodeSilentFrame(const AVStream* audio, std::string* why) {
    const AVCodecParameters* par = audio->codecpar;
    const AVCodec* codec = avcodec_find_encoder(par->codec_id);
    if (!codec) return Fail(why, "no encoder for the silent sound frame");
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    if (!enc) return Fail(why, "out of memory");
    enc->sample_rate = par->sample_rate;
    if (av_channel_layout_copy(&enc->ch_layout, &par->ch_layout) < 0 ||
        enc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&enc->ch_layout, par->ch_layout.nb_channels);
    enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    enc->bit_rate = 64000;
    enc->time_base = AVRational{1, par->sample_rate > 0 ? par->sample_rate : 48000};
    bool ok = avcodec_open2(enc, codec, nullptr) >= 0;
    AVFrame* zero = ok ? av_frame_alloc() : nullptr;
    AVPacket* out = ok ? av_packet_alloc() : nullptr;
    if (zero && out) {
        zero->format = enc->sample_fmt;
        zero->nb_samples = enc->frame_size > 0 ? enc->frame_size : 1024;
        zero->sample_rate = enc->sample_rate;
        ok = av_channel_layout_copy(&zero->ch_layout, &enc->ch_layout) >= 0 &&
             av_frame_get_buffer(zero, 0) >= 0 &&
             av_samples_set_silence(zero->extended_data, 0, zero->nb_samples,
                                    zero->ch_layout.nb_channels, enc->sample_fmt) >= 0;
        // Silence in, until the encoder gives its first frame (after its
        // delay): every later frame of silence encodes the same way.
        for (int i = 0; ok && i < 16 && silent_.empty(); ++i) {
            zero->pts = static_cast<int64_t>(i) * zero->nb_samples;
            if (avcodec_send_frame(enc, zero) < 0) ok = false;
            while (ok && avcodec_receive_packet(enc, out) == 0) {
                if (silent_.empty() && out->size > 0)
                    silent_.assign(out->data, out->data + out->size);
                av_packet_unref(out);
            }
        }
    }
    av_packet_free(&out);
    av_frame_free(&zero);
    avcodec_free_context(&enc);
    if (!ok || silent_.empty()) return Fail(why, "cannot encode the silent sound frame");
    return true;
}

bool MovieWriter::Open(const std::string& path, const AVStream* video, const AVStream* audio,
                       bool silence, const std::string& preset, std::string* why) {
    silence_ = silence && audio;
    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0 || !format_)
        return Fail(why, "cannot create the MP4 writer");

    // Sound first (folded stream 0), video second (folded stream 1).
    if (audio) {
        audioOut_ = avformat_new_stream(format_, nullptr);
        if (!audioOut_ || avcodec_parameters_copy(audioOut_->codecpar, audio->codecpar) < 0)
            return Fail(why, "cannot add the sound stream");
        audioOut_->codecpar->codec_tag = 0;
        audioOut_->time_base = audio->time_base;
        sourceAudioBase_[0] = audio->time_base.num;
        sourceAudioBase_[1] = audio->time_base.den;
        if (silence_ && !EncodeSilentFrame(audio, why)) return false;
    }

    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return Fail(why, "libx264 is not available");
    encoder_ = avcodec_alloc_context3(codec);
    if (!encoder_) return Fail(why, "out of memory");
    encoder_->width = kConvertWidth;
    encoder_->height = kConvertHeight;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->time_base = video->time_base;
    AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    encoder_->framerate = rate;
    encoder_->sample_aspect_ratio = video->codecpar->sample_aspect_ratio;
    encoder_->bit_rate = kBitRate;
    encoder_->color_range = AVCOL_RANGE_MPEG;
    encoder_->field_order = AV_FIELD_PROGRESSIVE;
    encoder_->thread_count = 0;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (av_opt_set(encoder_->priv_data, "preset", preset.c_str(), 0) < 0)
        return Fail(why, "unknown x264 preset " + preset);
    if (avcodec_open2(encoder_, codec, nullptr) < 0) return Fail(why, "cannot open libx264");
    videoOut_ = avformat_new_stream(format_, nullptr);
    if (!videoOut_ || avcodec_parameters_from_context(videoOut_->codecpar, encoder_) < 0)
        return Fail(why, "cannot add the video stream");
    videoOut_->time_base = encoder_->time_base;
    videoOut_->avg_frame_rate = rate;
    videoOut_->sample_aspect_ratio = encoder_->sample_aspect_ratio;

    toYuv_ =
        sws_getContext(kConvertWidth, kConvertHeight, AV_PIX_FMT_BGRA, kConvertWidth,
                       kConvertHeight, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    yuv_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!toYuv_ || !yuv_ || !packet_) return Fail(why, "out of memory");
    yuv_->format = AV_PIX_FMT_YUV420P;
    yuv_->width = kConvertWidth;
    yuv_->height = kConvertHeight;
    if (av_frame_get_buffer(yuv_, 0) < 0) return Fail(why, "out of memory");

    if (avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0)
        return Fail(why, "cannot write " + path);
    if (avformat_write_header(format_, nullptr) < 0) return Fail(why, "cannot write the header");
    headerWritten_ = true;
    return true;
}

bool MovieWriter::Drain(bool flush) {
    if (flush && avcodec_send_frame(encoder_, nullptr) < 0) return false;
    for (;;) {
        const int got = avcodec_receive_packet(encoder_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        av_packet_rescale_ts(packet_, encoder_->time_base, videoOut_->time_base);
        packet_->stream_index = videoOut_->index;
        if (av_interleaved_write_frame(format_, packet_) < 0) return false;
    }
}

bool MovieWriter::WriteVideo(const uint8_t* bgra, int stride, int64_t pts, int64_t duration) {
    if (!headerWritten_ || av_frame_make_writable(yuv_) < 0) return false;
    const uint8_t* src[1] = {bgra};
    const int srcStride[1] = {stride};
    if (sws_scale(toYuv_, src, srcStride, 0, kConvertHeight, yuv_->data, yuv_->linesize) !=
        kConvertHeight)
        return false;
    yuv_->pts = pts;
    yuv_->pkt_duration = duration;
    if (encoderInput_) encoderInput_(yuv_);
    if (avcodec_send_frame(encoder_, yuv_) < 0) return false;
    return Drain(false);
}

bool MovieWriter::WriteAudio(const AVPacket* packet) {
    if (!headerWritten_ || !audioOut_) return true;
    AVPacket* out = av_packet_alloc();
    if (!out) return false;
    bool ok = true;
    if (silence_) {
        // The stored silent frame with the source packet's timing, so the
        // track keeps its length.
        ok = av_new_packet(out, static_cast<int>(silent_.size())) >= 0;
        if (ok) {
            std::memcpy(out->data, silent_.data(), silent_.size());
            out->pts = packet->pts;
            out->dts = packet->dts;
            out->duration = packet->duration;
            out->flags = packet->flags;
        }
    } else {
        ok = av_packet_ref(out, packet) >= 0;
    }
    if (ok) {
        av_packet_rescale_ts(out, AVRational{sourceAudioBase_[0], sourceAudioBase_[1]},
                             audioOut_->time_base);
        out->stream_index = audioOut_->index;
        out->pos = -1;
        ok = av_interleaved_write_frame(format_, out) >= 0;
    }
    av_packet_free(&out);
    return ok;
}

bool MovieWriter::Finalize() {
    if (!headerWritten_) return false;
    bool ok = Drain(true);
    ok = av_write_trailer(format_) >= 0 && ok;
    headerWritten_ = false;
    ok = avio_closep(&format_->pb) >= 0 && ok;
    return ok;
}

// ---- CMovieCapture -------------------------------------------------------------

bool CMovieCapture::Cancelled() const {
    return cancel_.load() || (params_.running && !params_.running->load());
}

ConvertResult CMovieCapture::Run(Params params, std::string* why) {
    if (params.progress) params.progress(params.progressStart, 100);
    {
        std::lock_guard<std::mutex> hold(lock_);
        params_ = std::move(params);
        frameCounter_.store(0);
        stoppedEarly_ = false;
        result_ = 0;
        why_.clear();
    }
    std::thread worker(&CMovieCapture::Worker, this);
    worker.join();
    if (params_.progress) params_.progress(100, 100);
    if (why) *why = why_;
    if (result_ < 0) return kConvertFailed;
    if (Cancelled()) return kConvertCancelled;
    return kConvertDone;
}

void CMovieCapture::Worker() {
    std::lock_guard<std::mutex> hold(lock_);
    result_ = Work(&why_);
}

int CMovieCapture::Work(std::string* why) {
    constexpr int kFailure = -2147467259; // 0x80004005
    const Params& p = params_;
    const bool writing = !p.destination.empty();

    if (writing && SameFile(p.source, p.destination)) {
        // The source is only ever read: an output that would replace it is refused.
        Fail(why, "the output would replace the source");
        return kFailure;
    }
    MovieReader reader;
    if (!reader.Open(p.source, p.settings.combined, why)) return kFailure;

    int outW = kConvertWidth, outH = kConvertHeight;
    if (!writing && p.target) p.target->TargetSize(&outW, &outH);
    MovieConverter converter;
    if (!converter.Init(reader.VideoWidth(), reader.VideoHeight(), outW, outH, p.settings.flip)) {
        Fail(why, "picture size out of range");
        return kFailure;
    }

    // The temporary output lies beside the destination, so that the last
    // step is a rename on the same file system.
    std::string temp;
    std::unique_ptr<MovieWriter> writer;
    auto removeTemp = [&temp] {
        if (!temp.empty()) ::unlink(temp.c_str());
        temp.clear();
    };
    if (writing) {
        const int fd = platform::CreateTemporaryBeside(p.destination, 0666, &temp);
        if (fd < 0) {
            Fail(why, "cannot write beside " + p.destination);
            return kFailure;
        }
        ::close(fd);
        writer = std::make_unique<MovieWriter>();
        writer->SetEncoderInputHook(p.encoderInput);
        const std::string preset =
            p.settings.preset.empty() ? std::string(kDefaultConvertPreset) : p.settings.preset;
        if (!writer->Open(temp, reader.VideoStream(), reader.AudioStream(), p.settings.silenceAudio,
                          preset, why)) {
            writer.reset();
            removeTemp();
            return kFailure;
        }
    }

    const double sx = static_cast<double>(outW) / kConvertWidth;
    const double sy = static_cast<double>(outH) / kConvertHeight;
    int videoFrames = 0;
    bool error = false;
    while (!Cancelled()) {
        if (reader.ReadOne() == MovieReader::Outcome::Error) {
            error = true;
            break;
        }
        SampleQueue<ConvertSample>& queue = reader.Queue();
        if (queue.Empty()) {
            if (reader.Ended()) break;
            continue;
        }
        auto& [folded, sample] = queue.Head();
        if (folded == 0) {
            const bool ok = !writer || writer->WriteAudio(sample.packet);
            queue.Pop();
            if (!ok) {
                error = true;
                break;
            }
            continue;
        }
        // Video: convert, draw the masks or pixelate them, show or write.
        const AVFrame* frame = sample.frame;
        const bool converted = videoFrames != p.failConvertAt && converter.Convert(frame);
        const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                                ? frame->best_effort_timestamp
                                : frame->pts;
        const int64_t duration = frame->pkt_duration;
        if (!converted) {
            // A frame that cannot be converted ends the run like the end of
            // the source: what was written is finalised and kept.
            queue.Pop();
            stoppedEarly_ = true;
            break;
        }
        queue.Pop();
        const std::vector<MaskRect> masks = p.masks ? p.masks->FrameMasks() : p.settings.masks;
        uint8_t* picture = converter.Output();
        if (writing) {
            for (const MaskRect& m : masks)
                PixelateRect(picture, outW, outH, converter.OutStride(), m);
            if (videoFrames == p.failWriteAt ||
                !writer->WriteVideo(picture, converter.OutStride(), pts, duration)) {
                error = true;
                Fail(why, "the encoder or the file failed");
                break;
            }
        } else {
            for (const MaskRect& m : masks)
                DrawPreviewMask(picture, outW, outH, converter.OutStride(), m, sx, sy);
        }
        if (p.target) p.target->Present(picture, outW, outH, converter.OutStride());
        ++videoFrames;
        if (p.totalFrames <= 0 || frameCounter_.load() < p.totalFrames) {
            frameCounter_.fetch_add(1);
            if (writing && p.progress && p.totalFrames > 0)
                p.progress(ProgressDone(frameCounter_.load(), p.totalFrames, p.progressStart),
                           p.totalFrames);
        }
    }

    int result = 0;
    if (error) {
        writer.reset();
        removeTemp();
        return kFailure;
    }
    if (writer && !writer->Finalize()) {
        writer.reset();
        removeTemp();
        Fail(why, "cannot finish the output");
        return kFailure;
    }
    writer.reset();
    if (writing && !Cancelled()) {
        // The output rewritten with the movie header ahead of the media data,
        // under the destination's name only once complete.
        std::unique_ptr<sMP4MOVIE> movie = OpenMp4Movie(temp, true, RecorderFamily::TX40);
        OutputFile out;
        if (!movie || !out.Create(p.destination) || !WriteTreeMoovFirst(movie->root, out) ||
            !out.Commit()) {
            Fail(why, "cannot write " + p.destination);
            result = kFailure;
        }
    }
    removeTemp();
    return result;
}

} // namespace playcore
