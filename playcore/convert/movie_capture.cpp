#include "playcore/convert/movie_capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
#include "playcore/convert/spherical_meta.h"
#include "playcore/convert/yuv420.h"

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
    av_frame_free(&blackYuv_);
    av_frame_free(&bgra_);
    sws_freeContext(toI420_);
    av_frame_free(&i420_);
}

namespace {

// A reference-counted picture of the given format and size; stride: the
// packed width (alignment 1) for 32-bit pictures.
AVFrame* NewPicture(AVPixelFormat format, int width, int height, int align) {
    AVFrame* f = av_frame_alloc();
    if (!f) return nullptr;
    f->format = format;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, align) < 0) av_frame_free(&f);
    return f;
}

Yuv420Planes PlanesOf(AVFrame* f) {
    return Yuv420Planes{f->data[0],     f->data[1],     f->data[2],
                        f->linesize[0], f->linesize[1], f->linesize[2]};
}

} // namespace

bool MovieConverter::Init(int sourceWidth, int sourceHeight, int outWidth, int outHeight, bool flip,
                          bool yuvOutput, int bands) {
    if (!BuildRemapTable(outWidth, outHeight, sourceWidth, sourceHeight, flip, &table_))
        return false;
    if (yuvOutput && outHeight % 2 != 0) return false;
    av_frame_free(&bgra_);
    bgra_ = NewPicture(AV_PIX_FMT_BGRA, outWidth, outHeight, 1);
    if (!bgra_ || bgra_->linesize[0] != OutStride()) return false;
    bgraData_ = bgra_->data[0];
    std::memset(bgraData_, 0, static_cast<size_t>(OutStride()) * outHeight);
    const int chunks = (outHeight + kChunkRows - 1) / kChunkRows;
    pool_ = std::make_unique<BandPool>(
        std::clamp(bands > 0 ? bands : BandPool::MachineBands(), 1, chunks));
    if (!yuvOutput) return true;
    if (outWidth % 2 != 0 || outHeight < 8) return false;
    // The 4:2:0 rows of an all-black picture: a chunk whose rows and
    // neighbours all lie in the black band converts to these.
    blackYuv_ = NewPicture(AV_PIX_FMT_YUV420P, outWidth, outHeight, 0);
    if (!blackYuv_) return false;
    std::vector<uint32_t> black(static_cast<size_t>(outWidth) * outHeight, 0xFF000000u);
    BgraToYuv420Rows(reinterpret_cast<const uint8_t*>(black.data()), OutStride(), outWidth,
                     outHeight, 0, outHeight, PlanesOf(blackYuv_));
    return true;
}

bool MovieConverter::Planar(const AVFrame* frame, YuvPlanes* planes) {
    if (!frame || !bgra_ || frame->width != table_.sourceWidth ||
        frame->height != table_.sourceHeight)
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
            i420_ = NewPicture(AV_PIX_FMT_YUV420P, frame->width, frame->height, 0);
            if (!i420_) return false;
        }
        if (sws_scale(toI420_, frame->data, frame->linesize, 0, frame->height, i420_->data,
                      i420_->linesize) != frame->height)
            return false;
        planar = i420_;
    }
    *planes = YuvPlanes{planar->data[0],     planar->data[1],     planar->data[2],
                        planar->linesize[0], planar->linesize[1], planar->linesize[2]};
    return true;
}

bool MovieConverter::Convert(const AVFrame* frame) {
    YuvPlanes planes{};
    if (!Planar(frame, &planes)) return false;
    const int height = table_.height, bands = pool_->Bands();
    pool_->Run([&](int band) {
        RemapRows(table_, planes, bgraData_, OutStride(), band * height / bands,
                  (band + 1) * height / bands);
    });
    return true;
}

void MovieConverter::ColourRows(AVFrame* yuv, int row, int rows) const {
    BgraToYuv420Rows(bgraData_, OutStride(), table_.width, table_.height, row, rows, PlanesOf(yuv));
}

void MovieConverter::CopyBlackRows(AVFrame* yuv, int row, int rows) const {
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane ? 1 : 0;
        const size_t bytes = static_cast<size_t>(plane ? (table_.width + 1) / 2 : table_.width);
        for (int y = row >> shift; y < (row + rows) >> shift; ++y)
            std::memcpy(yuv->data[plane] + static_cast<ptrdiff_t>(y) * yuv->linesize[plane],
                        blackYuv_->data[plane] +
                            static_cast<ptrdiff_t>(y) * blackYuv_->linesize[plane],
                        bytes);
    }
}

bool MovieConverter::ConvertToYuv(const AVFrame* frame, const std::vector<MaskRect>& masks,
                                  AVFrame* yuv) {
    YuvPlanes planes{};
    if (!blackYuv_ || !yuv || yuv->width != table_.width || yuv->height != table_.height ||
        yuv->format != AV_PIX_FMT_YUV420P || av_frame_make_writable(yuv) < 0 ||
        !Planar(frame, &planes))
        return false;
    const int height = table_.height, bands = pool_->Bands();
    const int chunks = (height + kChunkRows - 1) / kChunkRows;

    // How each chunk is converted. A chunk's conversion reads a row of each
    // neighbour, so it runs once they are unwrapped
    // too: at once when they are in the same band, after every band is
    // done otherwise. Near a mask it waits for the pixelation as well.
    enum Kind : uint8_t { kAtOnce, kBlack, kAfterMasks };
    std::vector<Kind> kind(static_cast<size_t>(chunks), kAtOnce);
    std::vector<bool> nearMask(static_cast<size_t>(chunks), false);
    for (const MaskRect& m : masks) {
        const MaskRect r = OrderedRect(m);
        // Pixelation writes rows top .. bottom + 8 (its last block's rows).
        const int64_t first = std::max<int64_t>(r.top, 0);
        const int64_t last = std::min<int64_t>(int64_t{r.bottom} + 8, height - 1);
        if (r.right < 0 || r.left >= table_.width || first > last) continue;
        for (int64_t j = first / kChunkRows - 1; j <= last / kChunkRows + 1; ++j)
            if (j >= 0 && j < chunks) nearMask[static_cast<size_t>(j)] = true;
    }
    // Band b unwraps chunks [b x chunks / bands, (b + 1) x chunks / bands).
    std::vector<int> bandOfChunk(static_cast<size_t>(chunks));
    for (int b = 0; b < bands; ++b)
        for (int j = b * chunks / bands; j < (b + 1) * chunks / bands; ++j)
            bandOfChunk[static_cast<size_t>(j)] = b;
    auto bandOf = [&](int j) { return bandOfChunk[static_cast<size_t>(j)]; };
    for (int j = 0; j < chunks; ++j) {
        const int lo = std::max(j - 1, 0), hi = std::min(j + 1, chunks - 1);
        const int rowLo = lo * kChunkRows, rowHi = std::min((hi + 1) * kChunkRows, height);
        Kind& k = kind[static_cast<size_t>(j)];
        if (nearMask[static_cast<size_t>(j)])
            k = kAfterMasks;
        else if (rowLo >= table_.bandFirst && rowHi <= table_.bandLast)
            k = kBlack;
        else if (bandOf(lo) != bandOf(j) || bandOf(hi) != bandOf(j))
            k = kAfterMasks;
    }

    auto colour = [&](int j) {
        const int row = j * kChunkRows, rows = std::min(kChunkRows, height - row);
        if (kind[static_cast<size_t>(j)] == kBlack)
            CopyBlackRows(yuv, row, rows);
        else
            ColourRows(yuv, row, rows);
    };
    pool_->Run([&](int band) {
        const int c0 = band * chunks / bands, c1 = (band + 1) * chunks / bands;
        for (int j = c0; j < c1; ++j) {
            RemapRows(table_, planes, bgraData_, OutStride(), j * kChunkRows, (j + 1) * kChunkRows);
            // A black chunk reads nothing; chunk k is ready once chunk k + 1
            // (its last neighbour) is unwrapped.
            if (kind[static_cast<size_t>(j)] == kBlack) colour(j);
            for (int k = std::max(j - 1, c0); k <= j; ++k)
                if (kind[static_cast<size_t>(k)] == kAtOnce && std::min(k + 1, chunks - 1) == j)
                    colour(k);
        }
    });
    for (const MaskRect& m : masks)
        PixelateRect(bgraData_, table_.width, height, OutStride(), m);
    pool_->Run([&](int band) {
        for (int j = band * chunks / bands; j < (band + 1) * chunks / bands; ++j)
            if (kind[static_cast<size_t>(j)] == kAfterMasks) colour(j);
    });
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

MovieWriter::MovieWriter() = default;

MovieWriter::~MovieWriter() {
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
    }
    video_.reset();
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

std::string MovieWriter::EncoderName() const {
    return video_ && video_->Context() ? std::string(ConvertEncoderName(video_->Used()))
                                       : std::string();
}

bool MovieWriter::Open(const std::string& path, const AVStream* video, const AVStream* audio,
                       const ConvertSettings& settings, std::string* why) {
    silence_ = settings.silenceAudio && audio;
    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0 || !format_)
        return Fail(why, "cannot create the MP4 writer");

    // Video first (stream 0), as in the recorder's own files; sound second.
    VideoEncoderSetup setup;
    setup.width = kConvertWidth;
    setup.height = kConvertHeight;
    setup.timeBase = video->time_base;
    setup.frameRate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    setup.sampleAspect = video->codecpar->sample_aspect_ratio;
    setup.bitRate = kBitRate;
    setup.globalHeader = (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    setup.x264Preset =
        settings.preset.empty() ? std::string(kDefaultConvertPreset) : settings.preset;
    video_ = std::make_unique<VideoEncoder>();
    std::string encoderWhy;
    if (!video_->Open(settings.encoder, setup, &encoderWhy)) return Fail(why, encoderWhy);
    encoder_ = video_->Context();
    videoOut_ = avformat_new_stream(format_, nullptr);
    if (!videoOut_ || avcodec_parameters_from_context(videoOut_->codecpar, encoder_) < 0)
        return Fail(why, "cannot add the video stream");
    videoOut_->time_base = encoder_->time_base;
    videoOut_->avg_frame_rate = setup.frameRate;
    videoOut_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    if (settings.spherical) {
        // The muxer writes the spherical boxes only at this compliance.
        format_->strict_std_compliance = SphericalMuxerCompliance();
        if (!AddSphericalSideData(videoOut_, settings.flip))
            return Fail(why, "cannot add the spherical metadata");
    }

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
    if (flush && video_->Send(nullptr) < 0) return false;
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
    return WritePicture(yuv_, pts, duration);
}

bool MovieWriter::WritePicture(AVFrame* yuv, int64_t pts, int64_t duration) {
    if (!headerWritten_) return false;
    yuv->pts = pts;
    yuv->pkt_duration = duration;
    if (encoderInput_) encoderInput_(yuv);
    if (video_->Send(yuv) < 0) return false;
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
        encoderUsed_.clear();
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
    if (!converter.Init(reader.VideoWidth(), reader.VideoHeight(), outW, outH, p.settings.flip,
                        writing)) {
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
        const bool opened =
            writer->Open(temp, reader.VideoStream(), reader.AudioStream(), p.settings, why);
        encoderUsed_ = writer->EncoderName();
        if (!opened) {
            writer.reset();
            removeTemp();
            return kFailure;
        }
    }

    const double sx = static_cast<double>(outW) / kConvertWidth;
    const double sy = static_cast<double>(outH) / kConvertHeight;

    // Three stages at once: this thread unwraps; the reader thread
    // demultiplexes and decodes ahead of it, the writer thread encodes and
    // muxes behind it. Small queues between them keep the order of the
    // samples and bound the pictures in flight.
    struct Decoded {
        int folded = 0;
        ConvertSample sample;
    };
    struct Encoded {
        AVPacket* packet = nullptr; // sound: owned by the sample below
        ConvertSample sound;
        AVFrame* picture = nullptr; // video: one of `pictures`, back to `spare` once written
        int64_t pts = 0, duration = 0;
    };
    constexpr size_t kPictures = 3;
    HandOverQueue<Decoded> decoded(4);
    HandOverQueue<Encoded> encoded(8);
    HandOverQueue<AVFrame*> spare(kPictures);
    std::vector<AVFrame*> pictures;
    auto freePictures = [&pictures] {
        for (AVFrame*& f : pictures)
            av_frame_free(&f);
    };
    if (writing) {
        for (size_t i = 0; i < kPictures; ++i) {
            AVFrame* f = av_frame_alloc();
            if (f) {
                f->format = AV_PIX_FMT_YUV420P;
                f->width = outW;
                f->height = outH;
            }
            if (!f || av_frame_get_buffer(f, 0) < 0) {
                av_frame_free(&f);
                freePictures();
                writer.reset();
                removeTemp();
                Fail(why, "out of memory");
                return kFailure;
            }
            pictures.push_back(f);
            spare.Push(f);
        }
    }

    std::atomic<bool> readError{false}, writeError{false};
    std::thread readerThread([&] {
        for (;;) {
            if (reader.ReadOne() == MovieReader::Outcome::Error) {
                readError.store(true);
                break;
            }
            SampleQueue<ConvertSample>& queue = reader.Queue();
            if (queue.Empty()) {
                if (reader.Ended()) break;
                continue;
            }
            Decoded d{queue.Head().first, std::move(queue.Head().second)};
            queue.Pop();
            if (!decoded.Push(std::move(d))) break;
        }
        decoded.CloseInput();
    });
    std::string writeWhy;
    std::thread writerThread;
    if (writing) {
        writerThread = std::thread([&] {
            int written = 0;
            Encoded e;
            while (!Cancelled() && encoded.Pop(&e)) {
                bool ok = true;
                if (e.packet) {
                    ok = writer->WriteAudio(e.packet);
                    e.sound = ConvertSample{};
                } else {
                    ok = written != p.failWriteAt &&
                         writer->WritePicture(e.picture, e.pts, e.duration);
                    spare.Push(e.picture);
                    ++written;
                    if (ok && p.framesWritten) p.framesWritten(written);
                    if (ok && (p.totalFrames <= 0 || frameCounter_.load() < p.totalFrames)) {
                        frameCounter_.fetch_add(1);
                        if (p.progress && p.totalFrames > 0)
                            p.progress(
                                ProgressDone(frameCounter_.load(), p.totalFrames, p.progressStart),
                                p.totalFrames);
                    }
                }
                if (!ok) {
                    writeWhy = e.packet ? "the sound could not be written"
                                        : "the encoder or the file failed";
                    writeError.store(true);
                    break;
                }
            }
            // Unblocks the converting thread when the writer stops early.
            encoded.Close();
            spare.Close();
        });
    }

    int videoFrames = 0;
    while (!Cancelled() && !writeError.load()) {
        Decoded d;
        if (!decoded.Pop(&d)) break; // the end of the source (or its failure)
        if (d.folded == 0) {
            if (!writing) continue;
            Encoded e;
            e.packet = d.sample.packet;
            e.sound = std::move(d.sample);
            if (!encoded.Push(std::move(e))) break;
            continue;
        }
        // Video: convert, pixelate the masks (or draw them), show or write.
        const AVFrame* frame = d.sample.frame;
        const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                                ? frame->best_effort_timestamp
                                : frame->pts;
        const int64_t duration = frame->pkt_duration;
        const std::vector<MaskRect> masks = p.masks ? p.masks->FrameMasks() : p.settings.masks;
        if (writing) {
            AVFrame* yuv = nullptr;
            if (!spare.Pop(&yuv)) break; // the writer stopped
            if (videoFrames == p.failConvertAt || !converter.ConvertToYuv(frame, masks, yuv)) {
                // A frame that cannot be converted ends the run like the end
                // of the source: what was written is finalised and kept.
                spare.Push(yuv);
                stoppedEarly_ = true;
                break;
            }
            if (p.target) p.target->Present(converter.Output(), outW, outH, converter.OutStride());
            Encoded e;
            e.picture = yuv;
            e.pts = pts;
            e.duration = duration;
            if (!encoded.Push(std::move(e))) break;
        } else {
            if (videoFrames == p.failConvertAt || !converter.Convert(frame)) {
                stoppedEarly_ = true;
                break;
            }
            uint8_t* picture = converter.Output();
            for (const MaskRect& m : masks)
                DrawPreviewMask(picture, outW, outH, converter.OutStride(), m, sx, sy);
            if (p.target) p.target->Present(picture, outW, outH, converter.OutStride());
            if (p.totalFrames <= 0 || frameCounter_.load() < p.totalFrames)
                frameCounter_.fetch_add(1);
        }
        ++videoFrames;
    }
    // The reader stops at its next hand-over; the writer takes what is
    // queued (unless cancelled or failed) and ends.
    decoded.Close();
    readerThread.join();
    encoded.CloseInput();
    if (writerThread.joinable()) writerThread.join();
    freePictures();
    bool error = readError.load() || writeError.load();
    if (writeError.load()) Fail(why, writeWhy);

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
        // The older (V1) spherical block beside the boxes the muxer wrote.
        if (movie && p.settings.spherical &&
            !AddSphericalV1Box(movie->root, kConvertWidth, kConvertHeight))
            movie.reset();
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
