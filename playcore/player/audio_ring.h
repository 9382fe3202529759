#pragma once
// AudioRing: decoded sound between the audio decoder and the audio output,
// as interleaved float samples with the media time of their first sample.
// Bounded by duration: the decoder waits while the ring holds its capacity.
//
// Serials work as in FrameScheduler: Flush(serial) drops everything and
// refuses older pushes, so sound decoded before a seek never plays after it.
//
// Thread-safe; one internal mutex (a leaf lock).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "playcore/player/player_types.h"

namespace playcore {

class AudioRing {
public:
    AudioRing(int sampleRate, int channels, MediaTime capacity = kUnitsPerSecond);
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }

    // ---- decoder side ----
    // Appends `samples` (interleaved, a whole number of frames) starting at
    // media time `start`. Waits while the ring is full. False when the chunk
    // is stale or the ring was aborted.
    bool Push(uint64_t serial, MediaTime start, std::vector<float> samples);
    void EndOfStream(uint64_t serial);

    // ---- output side (never waits) ----
    // Copies up to maxFrames frames into out; *start receives the media time
    // of the first frame copied. Returns the frames copied.
    size_t Read(float* out, size_t maxFrames, MediaTime* start);
    // Drops the frames that end at or before `t`.
    void DiscardBefore(MediaTime t);
    // Media time of the next frame to read, or -1 when the ring is empty.
    MediaTime NextTime() const;
    // Duration of the frames held.
    MediaTime Buffered() const;
    // The stream ended and everything was read.
    bool Drained() const;

    // ---- control ----
    void Flush(uint64_t serial);
    void Abort();

private:
    struct Chunk {
        MediaTime start = 0;
        std::vector<float> samples;
        size_t offset = 0; // frames already read
    };
    MediaTime FramesToTime(size_t frames) const;
    MediaTime BufferedLocked() const;

    const int sampleRate_;
    const int channels_;
    const MediaTime capacity_;

    mutable std::mutex mutex_; // guards the fields below
    std::condition_variable space_;
    std::deque<Chunk> chunks_;
    size_t frames_ = 0; // unread frames in chunks_
    uint64_t minSerial_ = 0;
    bool eos_ = false;
    bool aborted_ = false;
};

} // namespace playcore
