#pragma once
// CMovieCapture: the upload conversion's pipeline (reader, converter, writer).
//
// The conversion pipeline on FFmpeg: MovieReader demultiplexes the source and
// decodes its video (the sound is never decoded), MovieConverter turns each
// decoded frame into the unwrapped panorama, MovieWriter encodes H.264 with
// VideoEncoder and muxes it and the copied (or silenced) sound into MP4, and
// CMovieCapture runs the conversion on a worker thread of its own, either
// writing (upload conversion) or only drawing (the conversion dialog's
// preview).
//
// No Qt. Threads: CMovieCapture::Run blocks its caller while the worker
// runs; Cancel and the mask editor may be used from any thread meanwhile.
// The worker runs three stages at once, in the samples' order: a reader
// thread (demultiplexer and decoder), the worker itself (unwrap, masks and
// colour conversion, spread over the cores by MovieConverter's band pool)
// and, when writing, a writer thread (encoder and muxer; the progress and
// frame callbacks run there). Queues of a few samples lie between them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playcore/convert/convert_job.h"
#include "playcore/convert/convert_rules.h"
#include "playcore/convert/pipeline.h"
#include "playcore/convert/unwrap.h"
#include "playcore/convert/video_encoder.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace playcore {

// Where the preview's pictures go (the conversion dialog's preview control).
class CaptureTarget {
public:
    virtual ~CaptureTarget() = default;
    // Size of the picture the target shows, pixels; asked once per run.
    virtual void TargetSize(int* width, int* height) = 0;
    // Converting thread: one finished picture (32-bit, bytes blue, green,
    // red, 255, top row first). The buffer is valid during the call only.
    virtual void Present(const uint8_t* bgra, int width, int height, int stride) = 0;
};

// One decoded or read sample between the reader and the converter.
struct ConvertSample {
    AVPacket* packet = nullptr; // sound: the source's encoded packet
    AVFrame* frame = nullptr;   // video: a decoded picture
    ConvertSample() = default;
    ConvertSample(ConvertSample&& other) noexcept;
    ConvertSample& operator=(ConvertSample&& other) noexcept;
    ~ConvertSample();
};

// Colour conversion and unwrap of decoded pictures into a 32-bit panorama
// and, for writing, into the encoder's planar 4:2:0 picture.
//
// The work of a picture is spread over the machine's cores in row bands (a
// BandPool); the result is byte for byte what one thread writes: the unwrap
// of a row depends on that row alone, the pixelation runs on one thread once
// every row is unwrapped, and the colour conversion of a chunk of rows runs
// only when every row it reads holds its final value.
class MovieConverter {
public:
    // Rows of one colour-conversion chunk. The 4:2:0 conversion of a chunk
    // reads one row above and one below it.
    static constexpr int kChunkRows = 32;

    MovieConverter();
    ~MovieConverter();
    MovieConverter(const MovieConverter&) = delete;
    MovieConverter& operator=(const MovieConverter&) = delete;

    // Source picture size, output size and mounting direction; bands: the
    // threads of each picture (0: one per core); yuvOutput: ConvertToYuv is
    // used (the output is then 1920 x 960 at most, with an even height).
    // False for a size out of range (with yuvOutput: an odd width or height,
    // or fewer than 8 rows).
    bool Init(int sourceWidth, int sourceHeight, int outWidth, int outHeight, bool flip,
              bool yuvOutput = false, int bands = 0);
    // The decoded frame (planar 4:2:0; other formats are converted to it
    // first) unwrapped with the band into Output() as a 32-bit picture.
    // False when the frame cannot be converted.
    bool Convert(const AVFrame* frame);
    // Convert, then the masks pixelated in Output(), and Output() in planar
    // 4:2:0 video range (BgraToYuv420Rows: FFmpeg's scaler's values, as for the whole
    // picture at once) in yuv, a frame of the output size that this call
    // makes writable. In one pass over each band where no mask is near.
    bool ConvertToYuv(const AVFrame* frame, const std::vector<MaskRect>& masks, AVFrame* yuv);
    uint8_t* Output() { return bgra_ ? bgraData_ : nullptr; }
    int OutWidth() const { return table_.width; }
    int OutHeight() const { return table_.height; }
    int OutStride() const { return table_.width * 4; }
    int Bands() const { return pool_ ? pool_->Bands() : 1; }

private:
    bool Planar(const AVFrame* frame, YuvPlanes* planes);
    void ColourRows(AVFrame* yuv, int row, int rows) const;
    void CopyBlackRows(AVFrame* yuv, int row, int rows) const;

    RemapTable table_;
    std::unique_ptr<BandPool> pool_;
    AVFrame* bgra_ = nullptr;     // 32-bit output picture (reference-counted)
    uint8_t* bgraData_ = nullptr; // its pixels, stride OutStride()
    AVFrame* blackYuv_ = nullptr; // the 4:2:0 picture of an all-black 32-bit picture
    SwsContext* toI420_ = nullptr;
    AVFrame* i420_ = nullptr;
};

// Source side: the demultiplexer, the video decoder, the sample queue and the
// end-of-stream count.
class MovieReader {
public:
    enum class Outcome { Continue, End, Error };

    MovieReader() = default;
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens the source; combined: the front (last-numbered) video is read and
    // the rear one dropped. False when the file has no decodable video.
    bool Open(const std::string& path, bool combined, std::string* why);
    // Reads one more sample into the queue when it holds fewer than five.
    // Error only for a failure of the demultiplexer itself.
    Outcome ReadOne();
    bool Ended() const { return endReports_ >= EndReportsToFinish(combined_); }
    SampleQueue<ConvertSample>& Queue() { return queue_; }

    AVStream* VideoStream() const { return video_; }
    AVStream* AudioStream() const { return audio_; }
    int VideoWidth() const;
    int VideoHeight() const;

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool combined_ = false;
    bool demuxEnded_ = false;   // av_read_frame reported the end; the decoder is draining
    bool decoderEnded_ = false; // the decoder returned its last frame
    int endReports_ = 0;
    SampleQueue<ConvertSample> queue_;
};

// Output side: H.264 (VideoEncoder: libx264 or a hardware encoder,
// 80,000,000 bit/s average, 1920 x 960, the source's frame rate and pixel
// aspect) and the source's sound packets, muxed into an MP4 file: the video
// as stream 0, the sound as stream 1. A spherical output also carries the
// spherical video metadata of the panorama (spherical_meta.h).
class MovieWriter {
public:
    static constexpr int64_t kBitRate = 80000000;

    MovieWriter();
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Opens path and the streams: the video (folded stream 1) as stream 0,
    // the sound (when audio is given; folded stream 0) as stream 1; with
    // settings.silenceAudio, one silent frame is encoded now for the sound's
    // rate and channels. The encoder, the x264 preset (empty: the default),
    // the spherical metadata and the mounting direction come from settings.
    bool Open(const std::string& path, const AVStream* video, const AVStream* audio,
              const ConvertSettings& settings, std::string* why);
    // One 32-bit picture of 1920 x 960 at the source's time stamp.
    bool WriteVideo(const uint8_t* bgra, int stride, int64_t pts, int64_t duration);
    // One planar 4:2:0 picture of 1920 x 960 at the source's time stamp; the
    // frame may be reused once this returns.
    bool WritePicture(AVFrame* yuv, int64_t pts, int64_t duration);
    // One sound packet, copied (or the silent frame with its timing).
    bool WriteAudio(const AVPacket* packet);
    // Drains the encoder and writes the trailer; the file is complete.
    bool Finalize();

    // The silent frame, for tests.
    const std::vector<uint8_t>& SilentFrame() const { return silent_; }
    // The encoder opened by Open ("x264", "vaapi", "nvenc"), empty before.
    std::string EncoderName() const;
    // Tests: called with every picture before it goes to the encoder.
    void SetEncoderInputHook(std::function<void(const AVFrame*)> hook) {
        encoderInput_ = std::move(hook);
    }

private:
    bool Drain(bool flush);
    bool EncodeSilentFrame(const AVStream* audio, std::string* why);

    AVFormatContext* format_ = nullptr;
    std::unique_ptr<VideoEncoder> video_;
    AVCodecContext* encoder_ = nullptr; // video_'s context
    AVStream* videoOut_ = nullptr;
    AVStream* audioOut_ = nullptr;
    SwsContext* toYuv_ = nullptr;
    AVFrame* yuv_ = nullptr;
    AVPacket* packet_ = nullptr;
    int sourceAudioBase_[2] = {0, 1}; // the source sound's time base
    bool silence_ = false;
    std::vector<uint8_t> silent_;
    bool headerWritten_ = false;
    std::function<void(const AVFrame*)> encoderInput_;
};

// The conversion context: the parameters of one run and its result.
class CMovieCapture {
public:
    struct Params {
        std::string source;
        std::string destination; // empty: preview only
        ConvertSettings settings;
        int totalFrames = 0;
        int progressStart = 0;
        MaskEditor* masks = nullptr;     // edited meanwhile by the UI thread; may be null
        CaptureTarget* target = nullptr; // the preview's picture receiver; may be null
        const std::atomic<bool>* running = nullptr; // cleared: cancel
        std::function<void(int, int)> progress;     // (done, total), writing thread
        std::function<void(int)> framesWritten;     // frames so far, writing thread
        // Tests: the video frame (0-based) whose conversion fails, and the
        // frame at which the writer fails; -1 for none.
        int failConvertAt = -1;
        int failWriteAt = -1;
        // Tests: sees every picture handed to the encoder (planar 4:2:0,
        // 1920 x 960), on the thread that encodes.
        std::function<void(const AVFrame*)> encoderInput;
    };

    CMovieCapture() = default;
    // Starts the worker, waits for it and returns 0 / 1 / 2.
    ConvertResult Run(Params params, std::string* why = nullptr);
    // Any thread: stop after the current sample.
    void Cancel() { cancel_.store(true); }
    bool Cancelled() const;
    // Video frames written (or drawn, in a preview) by the last run.
    int FrameCounter() const { return frameCounter_.load(); }
    // The last run ended at a frame that could not be converted; what was
    // written before it was finalised and kept.
    bool StoppedEarly() const { return stoppedEarly_; }
    // The encoder that wrote the last run's video ("x264", "vaapi", "nvenc"),
    // empty when none was opened.
    const std::string& EncoderUsed() const { return encoderUsed_; }

private:
    void Worker();
    int Work(std::string* why);

    std::mutex lock_; // guards params_ between Run and the worker
    Params params_;   // guarded by lock_ while the worker starts; worker thread after
    std::atomic<bool> cancel_{false};
    std::atomic<int> frameCounter_{0};
    bool stoppedEarly_ = false; // worker writes, Run's caller reads after the join
    std::string encoderUsed_;   // likewise
    int result_ = 0;            // worker writes, Run reads after the join: 0 or negative
    std::string why_;
};

} // namespace playcore
