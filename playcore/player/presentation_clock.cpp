#include "playcore/player/presentation_clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace playcore {

MediaTime MonotonicNow() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

PresentationClock::PresentationClock(TimeSource now) : source_(std::move(now)) {}

void PresentationClock::CheckGraceLocked(MediaTime wall) const {
    if (mode_ == Mode::AwaitingAudio && wall >= anchorWall_) {
        mode_ = Mode::Running; // anchored at the deadline
        ++generation_;
    }
}

MediaTime PresentationClock::NowLocked(MediaTime wall) const {
    CheckGraceLocked(wall);
    if (mode_ != Mode::Running) return anchorMedia_;
    return anchorMedia_ + static_cast<MediaTime>(std::llround((wall - anchorWall_) * speed_));
}

void PresentationClock::ReanchorLocked(MediaTime wall) {
    anchorMedia_ = NowLocked(wall);
    anchorWall_ = wall;
}

void PresentationClock::Hold(MediaTime time) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::Held;
    anchorMedia_ = time;
    rate_ = speed_ = 0;
    followAudio_ = false;
    ++generation_;
}

MediaTime PresentationClock::Freeze() {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    anchorMedia_ = NowLocked(wall);
    mode_ = Mode::Held;
    rate_ = speed_ = 0;
    followAudio_ = false;
    ++generation_;
    return anchorMedia_;
}

void PresentationClock::Arm(MediaTime time, double rate, bool followAudio) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::Armed;
    anchorMedia_ = time;
    rate_ = speed_ = rate;
    followAudio_ = followAudio;
    ++generation_;
}

void PresentationClock::Release() {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    if (mode_ != Mode::Armed) return;
    if (followAudio_) {
        mode_ = Mode::AwaitingAudio;
        anchorWall_ = wall + kAudioStartGrace;
    } else {
        mode_ = Mode::Running;
        anchorWall_ = wall;
    }
    speed_ = rate_;
    ++generation_;
}

MediaTime PresentationClock::Now() const {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    return NowLocked(wall);
}

double PresentationClock::Rate() const {
    std::lock_guard lock(mutex_);
    return mode_ == Mode::Held ? 0.0 : rate_;
}

bool PresentationClock::Running() const {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    CheckGraceLocked(wall);
    return mode_ == Mode::Running;
}

bool PresentationClock::Armed() const {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    CheckGraceLocked(wall);
    return mode_ == Mode::Armed || mode_ == Mode::AwaitingAudio;
}

bool PresentationClock::FollowsAudio() const {
    std::lock_guard lock(mutex_);
    return followAudio_;
}

uint64_t PresentationClock::Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

void PresentationClock::AudioHeard(MediaTime heard) {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    if (!followAudio_) return;
    CheckGraceLocked(wall);
    if (mode_ == Mode::AwaitingAudio) {
        // The sound has begun once the device consumed past the start.
        if (heard <= anchorMedia_) return;
        if (heard - anchorMedia_ > kAudioTrustWindow) return;
        mode_ = Mode::Running;
        anchorMedia_ = heard;
        anchorWall_ = wall;
        speed_ = rate_;
        ++generation_;
        ++audioReports_;
        return;
    }
    if (mode_ != Mode::Running) return;
    ReanchorLocked(wall);
    const MediaTime error = heard - anchorMedia_;
    if (std::llabs(error) > kAudioTrustWindow) {
        speed_ = rate_;
        return;
    }
    const double correction =
        std::clamp(static_cast<double>(error) / kSlewWindow, -kMaxSlew, kMaxSlew);
    speed_ = rate_ * (1.0 + correction);
    ++audioReports_;
}

void PresentationClock::StopFollowingAudio() {
    const MediaTime wall = source_();
    std::lock_guard lock(mutex_);
    if (!followAudio_) return;
    CheckGraceLocked(wall);
    if (mode_ == Mode::AwaitingAudio) { // the sound will not begin: start now
        mode_ = Mode::Running;
        anchorWall_ = wall;
        ++generation_;
    }
    ReanchorLocked(wall);
    followAudio_ = false;
    speed_ = rate_;
}

uint64_t PresentationClock::AudioReports() const {
    std::lock_guard lock(mutex_);
    return audioReports_;
}

} // namespace playcore
