#include "playcore/player/audio_output.h"

#include <algorithm>
#include <chrono>

namespace playcore {

AudioPump::AudioPump(std::shared_ptr<AudioRing> ring, std::shared_ptr<PresentationClock> clock)
    : ring_(std::move(ring)), clock_(std::move(clock)) {}

void AudioPump::Fill(float* out, size_t frames) {
    const size_t channels = static_cast<size_t>(ring_->Channels());
    size_t done = 0;
    while (done < frames) {
        MediaTime start = -1;
        const size_t n = ring_->Read(out + done * channels, frames - done, &start);
        if (n == 0) break;
        // Sound read in one go is contiguous media time; a new read may jump.
        segments_.push_back({written_ + done, n, start});
        done += n;
    }
    if (done < frames) {
        std::fill(out + done * channels, out + frames * channels, 0.0f);
        segments_.push_back({written_ + done, frames - done, -1});
    }
    written_ += frames;
}

void AudioPump::Played(uint64_t playedFrames) {
    while (!segments_.empty() &&
           segments_.front().first + segments_.front().frames <= playedFrames &&
           segments_.size() > 1)
        segments_.pop_front();
    if (segments_.empty()) {
        if (ring_->Drained()) clock_->StopFollowingAudio();
        return;
    }
    const Segment& s = segments_.front();
    if (s.start < 0 || playedFrames < s.first) {
        // Silence is playing (or nothing yet): nothing is heard. Once the
        // sound has ended for good, the clock runs on alone.
        if (s.start < 0 && playedFrames >= s.first && ring_->Drained()) {
            bool soundAhead = false;
            for (const Segment& later : segments_)
                soundAhead = soundAhead || later.start >= 0;
            if (!soundAhead) clock_->StopFollowingAudio();
        }
        return;
    }
    const uint64_t into = std::min(playedFrames - s.first, s.frames);
    clock_->AudioHeard(s.start +
                       static_cast<MediaTime>(into) * kUnitsPerSecond / ring_->SampleRate());
}

void AudioPump::TrimToClock() {
    if (clock_->Running()) ring_->DiscardBefore(clock_->Now());
}

void AudioPump::Reset() {
    segments_.clear();
    written_ = 0;
}

SimulatedAudioOutput::SimulatedAudioOutput(MediaTime latency, bool openFails)
    : latency_(latency), openFails_(openFails) {}

SimulatedAudioOutput::~SimulatedAudioOutput() {
    Close();
}

bool SimulatedAudioOutput::Open(int sampleRate, int channels, std::shared_ptr<AudioRing> ring,
                                std::shared_ptr<PresentationClock> clock) {
    if (openFails_ || sampleRate <= 0 || channels <= 0 || !ring || !clock) return false;
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return false;
    pump_ = std::make_unique<AudioPump>(std::move(ring), std::move(clock));
    stop_ = false;
    lastTick_ = MonotonicNow();
    thread_ = std::thread([this] { ThreadMain(); });
    return true;
}

void SimulatedAudioOutput::Play() {
    std::lock_guard lock(mutex_);
    playing_ = true;
    lastTick_ = MonotonicNow();
}

void SimulatedAudioOutput::Pause() {
    std::lock_guard lock(mutex_);
    playing_ = false;
}

void SimulatedAudioOutput::Flush() {
    std::lock_guard lock(mutex_);
    played_ = 0;
    written_ = 0;
    if (pump_) pump_->Reset();
}

void SimulatedAudioOutput::SetVolume(float volume) {
    std::lock_guard lock(mutex_);
    volume_ = volume;
}

float SimulatedAudioOutput::Volume() const {
    std::lock_guard lock(mutex_);
    return volume_;
}

uint64_t SimulatedAudioOutput::PlayedFrames() const {
    std::lock_guard lock(mutex_);
    return playedTotal_;
}

void SimulatedAudioOutput::Close() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    pump_.reset();
}

void SimulatedAudioOutput::ThreadMain() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(mutex_);
        if (stop_) return;
        const MediaTime now = MonotonicNow();
        const MediaTime elapsed = now - lastTick_;
        lastTick_ = now;
        if (!playing_) {
            pump_->TrimToClock();
            continue;
        }
        // The device plays in real time and holds `latency_` ahead.
        const int rate = pump_->SampleRate();
        const double step = static_cast<double>(elapsed) * rate / kUnitsPerSecond;
        played_ = std::min(played_ + step, static_cast<double>(written_));
        const uint64_t played = static_cast<uint64_t>(played_);
        const uint64_t wanted = played + static_cast<uint64_t>(latency_ * rate / kUnitsPerSecond);
        if (wanted > written_) {
            const size_t n = static_cast<size_t>(wanted - written_);
            scratch_.resize(n * static_cast<size_t>(pump_->Channels()));
            pump_->Fill(scratch_.data(), n);
            written_ = wanted;
        }
        playedTotal_ += static_cast<uint64_t>(step);
        pump_->Played(played);
    }
}

} // namespace playcore
