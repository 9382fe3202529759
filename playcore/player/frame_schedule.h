#pragma once
// The rules by which a stream's decoded frames meet the presentation clock.
// Pure functions; FrameScheduler applies them on its thread.

#include <cstddef>
#include <cstdint>
#include <span>

#include "playcore/player/player_types.h"

namespace playcore {

// The scheduling quantum P of a stream is a quarter of its frame period: a
// frame is presented once it is due within three quanta (three quarters of a
// frame), which covers the time the surface takes to show it after the
// presenter was handed the frame.
inline constexpr int kQuantaPerFrame = 4;
MediaTime ScheduleQuantum(MediaTime framePeriod);

struct SampleDecision {
    bool presentNow = false;
    // Wall time to wait before looking again (100-ns units); -1 while the
    // clock does not run (wait until it changes).
    MediaTime wait = 0;
};

// A frame of media time `sample` against clock time `clock` at `rate`:
// delta = sample - clock (negated for a negative rate). More than three
// quanta early (delta >= -P and delta > 3P): wait (delta - 3P) / |rate|.
// Otherwise, due or late by any amount: present now.
SampleDecision ScheduleSample(MediaTime sample, MediaTime clock, double rate, MediaTime quantum);

// The level handed to the presenter with each frame, from the number n of
// immediate presentations since the scheduler last waited: n = 0 -> 1,
// 1..8 -> 2, 9..13 -> 3, 14 and more -> 4.
int PresentationLevel(int immediateCount);

// Counts immediate presentations: every presentation adds one, every wait
// takes one away (not below 0).
class LevelCounter {
public:
    // The level of a presentation now; counts it.
    int Present() { return PresentationLevel(n_++); }
    void Waited() {
        if (n_ > 0) --n_;
    }
    void Reset() { n_ = 0; }
    int Count() const { return n_; }

private:
    int n_ = 0;
};

// Which frame shows at time t, given the start times of consecutive decoded
// frames in ascending order: the last one starting at or before t, or the
// first one when t precedes them all. Returns -1 while that cannot be told
// yet: t lies at or after the start of the last frame, the last frame's end
// (`lastEnd`, -1 when unknown) does not pass t, and more frames may still
// come (`complete` false).
int FrameShownAt(std::span<const MediaTime> starts, MediaTime t, MediaTime lastEnd, bool complete);

} // namespace playcore
