#pragma once
// PresentationClock: the media time every stream of one player is presented
// against, in 100-ns units.
//
// The clock is held (rate 0) while scrubbing or paused, armed at a start
// position while the streams preroll, and running from its release on. A
// clock that follows the sound waits after its release until the sound has
// begun (at most kAudioStartGrace), so that picture and sound start
// together. A running clock advances with the monotonic clock times its
// rate; while it
// follows the sound (rate 1 with an audio output) every report of the media
// time being heard steers it: the clock runs up to 5 % faster or slower until
// it meets the sound, so it never jumps and never runs backwards. A report
// further off than kAudioTrustWindow is not trusted (a stalled or restarted
// device) and leaves the clock on the monotonic clock.
//
// Thread-safe: one internal mutex (a leaf lock; nothing is called under it).

#include <cstdint>
#include <functional>
#include <mutex>

#include "playcore/player/player_types.h"

namespace playcore {

// The monotonic clock in 100-ns units.
MediaTime MonotonicNow();

class PresentationClock {
public:
    using TimeSource = std::function<MediaTime()>;

    // How far the clock may run from its rate to meet the sound.
    static constexpr double kMaxSlew = 0.05;
    // An error of this size is made up in about one second of running.
    static constexpr MediaTime kSlewWindow = kUnitsPerSecond;
    static constexpr MediaTime kAudioTrustWindow = kUnitsPerSecond / 2;
    // A released clock that follows the sound starts by itself after this
    // long when the sound has not begun (a device that does not start).
    static constexpr MediaTime kAudioStartGrace = kUnitsPerSecond / 2;

    explicit PresentationClock(TimeSource now = MonotonicNow);

    // Stops the clock at `time`.
    void Hold(MediaTime time);
    // Stops the clock where it stands and returns that time.
    MediaTime Freeze();
    // Prepares a start at `time` with `rate` (> 0): Now() reads `time` until
    // Release. `followAudio` makes the sound's reports steer the clock.
    void Arm(MediaTime time, double rate, bool followAudio);
    // Starts an armed clock from its armed time now; one that follows the
    // sound starts when the sound begins. No effect unless armed.
    void Release();

    MediaTime Now() const;
    // The requested rate while armed or running; 0 while held.
    double Rate() const;
    // Whether Now() advances.
    bool Running() const;
    // Armed or released but waiting for the sound.
    bool Armed() const;
    bool FollowsAudio() const;
    // Bumped by every Hold, Arm and Release: waiters compare it to see that
    // the clock changed under them.
    uint64_t Generation() const;

    // The sound output reports the media time being heard now. An armed
    // clock that follows the sound starts when the sound has begun (heard
    // time past the armed time) from the heard time.
    void AudioHeard(MediaTime heard);
    // The sound stopped for good (end of its stream): run on the monotonic clock.
    void StopFollowingAudio();
    // Reports of the sound that started or steered the clock so far.
    uint64_t AudioReports() const;

private:
    // Starts a clock waiting for the sound whose grace ran out.
    void CheckGraceLocked(MediaTime wall) const;
    MediaTime NowLocked(MediaTime wall) const;
    void ReanchorLocked(MediaTime wall);

    TimeSource source_;        // immutable
    mutable std::mutex mutex_; // guards every field below
    enum class Mode { Held, Armed, AwaitingAudio, Running };
    // mutable: a read may find the grace of AwaitingAudio over and start the clock.
    mutable Mode mode_ = Mode::Held;
    mutable MediaTime anchorMedia_ = 0; // media time at anchorWall_ (not running: the time)
    mutable MediaTime anchorWall_ = 0;  // monotonic time of the anchor (AwaitingAudio: deadline)
    mutable uint64_t generation_ = 0;
    double rate_ = 0;  // requested rate while armed/running
    double speed_ = 0; // rate corrected towards the sound while running
    bool followAudio_ = false;
    uint64_t audioReports_ = 0;
};

} // namespace playcore
