#include "playcore/player/audio_output.h"

#include <algorithm>
#include <chrono>

namespace playcore {

AudioPump::AudioPump(std::shared_ptr<AudioRing> ring, std::shared_ptr<PresentationClock> clock)
    : ring_(std::move(ring)), clock_(std::move(clock)) {}

size_t AudioPump::Fill(float* out, size_t maxFrames) {
    MediaTime start = -1;
    const size_t n = ring_->Read(out, maxFrames, &start);
    if (n > 0)
        writtenEnd_ = start + static_cast<MediaTime>(n) * kUnitsPerSecond / ring_->SampleRate();
    return n;
}

void AudioPump::Report(size_t queuedFrames) {
    if (writtenEnd_ < 0) {
        if (ring_->Drained()) clock_->StopFollowingAudio();
        return;
    }
    if (queuedFrames == 0 && ring_->Drained()) {
        clock_->StopFollowingAudio();
        return;
    }
    const MediaTime heard =
        writtenEnd_ - static_cast<MediaTime>(queuedFrames) * kUnitsPerSecond / ring_->SampleRate();
    clock_->AudioHeard(heard);
}

void AudioPump::TrimToClock() {
    if (clock_->Running()) ring_->DiscardBefore(clock_->Now());
}

void AudioPump::Reset() {
    writtenEnd_ = -1;
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
    queued_ = 0;
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
    return played_;
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
        const int rate = pump_->SampleRate();
        const double consumed =
            std::min(queued_, static_cast<double>(elapsed) * rate / kUnitsPerSecond);
        queued_ -= consumed;
        played_ += static_cast<uint64_t>(consumed);
        const size_t capacity = static_cast<size_t>(latency_ * rate / kUnitsPerSecond);
        const size_t room = capacity > queued_ ? capacity - static_cast<size_t>(queued_) : 0;
        scratch_.resize(room * static_cast<size_t>(pump_->Channels()));
        queued_ += static_cast<double>(pump_->Fill(scratch_.data(), room));
        pump_->Report(static_cast<size_t>(queued_));
    }
}

} // namespace playcore
