#pragma once
// The sound end of the player: an audio output drains the AudioRing into a
// device and tells the presentation clock which media time is being heard,
// so that at rate 1 the clock runs with the sound.
//
// Backends: QtAudioOutput (Qt Multimedia's QAudioSink; the viewer) and
// SimulatedAudioOutput (a device that plays in real time without hardware;
// tests and machines without sound that still want the sound path run).
// A backend whose Open fails makes the session drop the sound branch.
//
// AudioPump is the part every backend shares: what to write, what is heard.

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "playcore/player/audio_ring.h"
#include "playcore/player/presentation_clock.h"

namespace playcore {

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Opens the device for interleaved float samples of `sampleRate` Hz and
    // `channels` channels, fed from `ring`, reporting to `clock`. False when
    // there is no device or it cannot play the format.
    virtual bool Open(int sampleRate, int channels, std::shared_ptr<AudioRing> ring,
                      std::shared_ptr<PresentationClock> clock) = 0;
    // Drains the ring to the device (playing at rate 1).
    virtual void Play() = 0;
    // Stops draining; what the device holds stays for Play to continue.
    // While not playing, sound that a running clock passed is dropped.
    virtual void Pause() = 0;
    // Drops what the device holds (after a seek).
    virtual void Flush() = 0;
    // 0..1 for every channel.
    virtual void SetVolume(float volume) = 0;
    // Releases the device; no call reaches the ring or the clock afterwards.
    virtual void Close() = 0;
};

// One output's bookkeeping: what went to the device, and so which media
// time the device is playing. The device is always given as much as it
// asks for: sound from the ring, silence where the ring has none (a decoder
// behind, the end of the sound), so it never stops by itself; the silence
// is remembered and never counts as heard sound.
// Not thread-safe: the backend's thread owns it.
class AudioPump {
public:
    AudioPump(std::shared_ptr<AudioRing> ring, std::shared_ptr<PresentationClock> clock);

    // Playing: fills `frames` frames (interleaved floats) for the device.
    void Fill(float* out, size_t frames);
    // Playing: the device has played `playedFrames` frames since its start
    // (or last Reset); reports the media time heard now to the clock. When
    // the sound has ended and the device plays silence, the clock is let
    // run on its own.
    void Played(uint64_t playedFrames);
    // Not playing: drops ring sound that a running clock has passed.
    void TrimToClock();
    // The ring holds sound to play, or the sound has ended.
    bool HasSound() const { return ring_->NextTime() >= 0 || ring_->Drained(); }
    // The device starts again, empty: its counts begin at 0.
    void Reset();

    int SampleRate() const { return ring_->SampleRate(); }
    int Channels() const { return ring_->Channels(); }

private:
    struct Segment {
        uint64_t first = 0; // device frame it begins at
        uint64_t frames = 0;
        MediaTime start = -1; // media time of its first frame; -1 silence
    };
    std::shared_ptr<AudioRing> ring_;
    std::shared_ptr<PresentationClock> clock_;
    std::deque<Segment> segments_; // what the device was given and has not played yet
    uint64_t written_ = 0;         // frames given to the device since the last Reset
};

// A device without hardware that plays at real time with a fixed latency.
class SimulatedAudioOutput : public AudioOutput {
public:
    // `latency`: sound the device holds ahead of what is heard.
    explicit SimulatedAudioOutput(MediaTime latency = 50 * kUnitsPerMillisecond,
                                  bool openFails = false);
    ~SimulatedAudioOutput() override;

    bool Open(int sampleRate, int channels, std::shared_ptr<AudioRing> ring,
              std::shared_ptr<PresentationClock> clock) override;
    void Play() override;
    void Pause() override;
    void Flush() override;
    void SetVolume(float volume) override;
    void Close() override;

    float Volume() const;
    // Frames the simulated device has played so far.
    uint64_t PlayedFrames() const;

private:
    void ThreadMain();

    const MediaTime latency_;
    const bool openFails_;
    mutable std::mutex mutex_; // guards the fields below
    std::unique_ptr<AudioPump> pump_;
    bool playing_ = false;
    bool stop_ = false;
    float volume_ = 1.0f;
    double played_ = 0;    // frames played since the device (re)started
    uint64_t written_ = 0; // frames given to the device since then
    uint64_t playedTotal_ = 0;
    MediaTime lastTick_ = 0;
    std::vector<float> scratch_;
    std::thread thread_; // started by Open, joined by Close
};

} // namespace playcore
