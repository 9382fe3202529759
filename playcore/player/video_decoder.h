#pragma once
// VideoDecoder: decodes one video stream with libavcodec (its own frame
// threads; VAAPI when asked for and available) on the decoder thread of the
// session, and queues the frames in the stream's FrameScheduler.
//
// Seeking: after a Flush marker the decoder decodes from the key frame the
// demuxer seeked to and passes over every frame before the target, so the
// first frame it queues is exactly the one that shows at the target (the
// last starting at or before it; the first frame of the movie when the
// target precedes it).
//
// Thinning: while thinned (rate 2 and more) only key frames are decoded;
// other packets are dropped before decoding. The frames of a thinned run
// are not consecutive any more, which Contiguous() tells the session.
//
// Threads: Open on the session's worker thread before Run; Run is the
// decoder thread's body; SetThin and the queries from any thread.

#include <atomic>
#include <cstdint>
#include <optional>

#include "playcore/player/frame_scheduler.h"
#include "playcore/player/media_source.h"
#include "playcore/player/packet_queue.h"

struct AVCodecContext;
struct AVFrame;
struct AVBufferRef;

namespace playcore {

class VideoDecoder {
public:
    struct Stats {
        uint64_t packets = 0;    // packets given to the decoder
        uint64_t thinned = 0;    // packets dropped by thinning
        uint64_t decoded = 0;    // frames out of the decoder
        uint64_t keyDecoded = 0; // of which key frames
        uint64_t passedOver = 0; // frames before a seek target
        uint64_t queued = 0;     // frames handed to the scheduler
        uint64_t failed = 0;     // packets and frames the decoder refused as broken
        bool hardware = false;   // decoding on the GPU
    };

    // `latestSerial`: the serial of the newest seek request; packets of
    // older positions are not decoded at all.
    VideoDecoder(const MediaSource& source, int stream, const std::atomic<uint64_t>* latestSerial);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the codec; `threads` 0 chooses by the machine. With `hardware`
    // VAAPI is tried first and software used when it is not there.
    PlayerResult Open(bool hardware, int threads);
    // Decodes until the queue is aborted.
    void Run(PacketQueue* in, FrameScheduler* out);

    void SetThin(bool on) { thin_.store(on); }
    // No packet was dropped by thinning since the last seek.
    bool Contiguous() const { return contiguous_.load(); }
    Stats GetStats() const;

private:
    void Drain(FrameScheduler* out);
    void Receive(FrameScheduler* out);
    void HandleFrame(AVFrame* frame, FrameScheduler* out);
    void Emit(ScheduledFrame frame, FrameScheduler* out);
    void CountFailure() {
        std::lock_guard lock(statsMutex_);
        ++stats_.failed;
    }

    const MediaSource& source_;
    const int stream_;
    const std::atomic<uint64_t>* const latestSerial_;
    std::atomic<bool> thin_{false};
    std::atomic<bool> contiguous_{true};

    // Decoder thread only (Open before the thread starts):
    AVCodecContext* codec_ = nullptr;
    AVBufferRef* hwDevice_ = nullptr;
    AVFrame* frame_ = nullptr;
    MediaTime period_ = 0;
    uint64_t serial_ = 0;
    bool seeking_ = false; // passing over frames before seekTarget_
    MediaTime seekTarget_ = 0;
    std::optional<ScheduledFrame> candidate_; // last frame before the target so far
    MediaTime nextStart_ = 0;                 // for frames without a time stamp

    mutable std::mutex statsMutex_; // guards stats_
    Stats stats_;
};

} // namespace playcore
