#include "playcore/player/audio_ring.h"

#include <algorithm>
#include <cstring>

namespace playcore {

namespace {

size_t FramesIn(const std::vector<float>& samples, int channels) {
    return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0;
}

} // namespace

AudioRing::AudioRing(int sampleRate, int channels, MediaTime capacity)
    : sampleRate_(sampleRate > 0 ? sampleRate : 1), channels_(channels > 0 ? channels : 1),
      capacity_(capacity) {}

MediaTime AudioRing::FramesToTime(size_t frames) const {
    return static_cast<MediaTime>(frames) * kUnitsPerSecond / sampleRate_;
}

MediaTime AudioRing::BufferedLocked() const {
    return FramesToTime(frames_);
}

bool AudioRing::Push(uint64_t serial, MediaTime start, std::vector<float> samples) {
    std::unique_lock lock(mutex_);
    space_.wait(lock,
                [&] { return aborted_ || serial < minSerial_ || BufferedLocked() < capacity_; });
    if (aborted_ || serial < minSerial_) return false;
    const size_t frames = FramesIn(samples, channels_);
    if (frames == 0) return true;
    samples.resize(frames * static_cast<size_t>(channels_));
    chunks_.push_back(Chunk{start, std::move(samples), 0});
    frames_ += frames;
    return true;
}

void AudioRing::EndOfStream(uint64_t serial) {
    std::lock_guard lock(mutex_);
    if (serial >= minSerial_) eos_ = true;
}

size_t AudioRing::Read(float* out, size_t maxFrames, MediaTime* start) {
    std::lock_guard lock(mutex_);
    size_t copied = 0;
    bool first = true;
    while (copied < maxFrames && !chunks_.empty()) {
        Chunk& c = chunks_.front();
        const size_t available = FramesIn(c.samples, channels_) - c.offset;
        if (first && start) *start = c.start + FramesToTime(c.offset);
        first = false;
        const size_t n = std::min(available, maxFrames - copied);
        std::memcpy(out + copied * channels_, c.samples.data() + c.offset * channels_,
                    n * channels_ * sizeof(float));
        c.offset += n;
        copied += n;
        if (c.offset == FramesIn(c.samples, channels_)) chunks_.pop_front();
    }
    frames_ -= copied;
    if (copied) space_.notify_all();
    return copied;
}

void AudioRing::DiscardBefore(MediaTime t) {
    std::lock_guard lock(mutex_);
    size_t dropped = 0;
    while (!chunks_.empty()) {
        Chunk& c = chunks_.front();
        const size_t total = FramesIn(c.samples, channels_);
        const MediaTime at = c.start + FramesToTime(c.offset);
        if (at >= t) break;
        // Frames of this chunk that end at or before t.
        const MediaTime into = t - c.start;
        size_t upTo =
            static_cast<size_t>(std::max<MediaTime>(0, into * sampleRate_ / kUnitsPerSecond));
        upTo = std::min(upTo, total);
        if (upTo <= c.offset) break;
        dropped += upTo - c.offset;
        c.offset = upTo;
        if (c.offset == total)
            chunks_.pop_front();
        else
            break;
    }
    frames_ -= dropped;
    if (dropped) space_.notify_all();
}

MediaTime AudioRing::NextTime() const {
    std::lock_guard lock(mutex_);
    if (chunks_.empty()) return -1;
    const Chunk& c = chunks_.front();
    return c.start + FramesToTime(c.offset);
}

MediaTime AudioRing::Buffered() const {
    std::lock_guard lock(mutex_);
    return BufferedLocked();
}

bool AudioRing::Drained() const {
    std::lock_guard lock(mutex_);
    return eos_ && chunks_.empty();
}

void AudioRing::Flush(uint64_t serial) {
    std::lock_guard lock(mutex_);
    chunks_.clear();
    frames_ = 0;
    minSerial_ = std::max(minSerial_, serial);
    eos_ = false;
    space_.notify_all();
}

void AudioRing::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    space_.notify_all();
}

} // namespace playcore
