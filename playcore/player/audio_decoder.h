#pragma once
// AudioDecoder: decodes the sound stream with libavcodec on its own thread
// and puts it into the AudioRing as interleaved float samples at the
// stream's own rate and channel count (libswresample converts the format).
// After a seek the sound before the target time is cut, so the ring starts
// exactly at the new position.
//
// Threads: Open on the session's worker thread; Run is the decoder thread's body.

#include <atomic>
#include <cstdint>
#include <vector>

#include "playcore/player/audio_ring.h"
#include "playcore/player/media_source.h"
#include "playcore/player/packet_queue.h"

struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace playcore {

class AudioDecoder {
public:
    AudioDecoder(const MediaSource& source, int stream, const std::atomic<uint64_t>* latestSerial);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    PlayerResult Open();
    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }
    // Decodes until the queue is aborted.
    void Run(PacketQueue* in, AudioRing* out);

private:
    void Receive(AudioRing* out);
    void HandleFrame(AVFrame* frame, AudioRing* out);

    const MediaSource& source_;
    const int stream_;
    const std::atomic<uint64_t>* const latestSerial_;
    int sampleRate_ = 0;
    int channels_ = 0;

    // Decoder thread only (Open before the thread starts):
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwrContext* swr_ = nullptr;
    int swrFormat_ = -1, swrRate_ = 0, swrChannels_ = 0; // input swr_ was made for
    uint64_t serial_ = 0;
    bool cutting_ = false; // cut sound before cutBefore_
    MediaTime cutBefore_ = 0;
    MediaTime nextStart_ = 0;
    std::vector<float> buffer_;
};

} // namespace playcore
