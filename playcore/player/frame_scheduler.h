#pragma once
// FrameScheduler: the queue of one video stream's decoded frames, held until
// the presentation clock makes them due and then handed to the stream's
// FrameTarget (the presenter) on the scheduler's own thread.
//
// Modes:
//  * Run: frames are presented by ScheduleSample against the running clock,
//    with the level of PresentationLevel. While the clock is armed (a start
//    waiting for preroll) nothing is presented; the first frame queued (or
//    the end of the stream) is reported to the listener as preroll.
//  * Hold at t (rate 0, scrubbing and pausing): exactly the frame that shows
//    at t is presented, once, and nothing after it. After a flush (a seek)
//    the first frame the decoder delivers is the one at or before t, so the
//    choice is exact; when pausing, the choice is made among the frames
//    presented last (the last two are kept) and those still queued.
//
// Serials: every seek gets a new serial; Flush(serial) drops everything
// older and Push refuses frames of older serials, so a decoder that was
// still working on the old position cannot show a stale frame.
//
// Threads: Push/EndOfStream from the decoder thread; control calls from the
// session (under its control lock); presentation on the scheduler thread.
// Locks: `mutex_` guards the queue and mode; `targetMutex_` is held only
// while a frame is handed to the target (lock order: session control ->
// mutex_ / targetMutex_ -> presenter lock). The listener is called with no
// scheduler lock held.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "playcore/models/video_frame.h"
#include "playcore/player/frame_schedule.h"
#include "playcore/player/presentation_clock.h"

namespace playcore {

// Where a stream's frames are shown.
class FrameTarget {
public:
    virtual ~FrameTarget() = default;
    // Called on the scheduler thread; must return quickly.
    virtual void PresentFrame(std::shared_ptr<const VideoFrame> frame, int level) = 0;
};

struct ScheduledFrame {
    uint64_t serial = 0;
    MediaTime start = 0;
    MediaTime end = -1; // start + duration; -1 when the duration is unknown
    bool key = false;
    std::shared_ptr<const VideoFrame> frame;
};

class SchedulerListener {
public:
    virtual ~SchedulerListener() = default;
    // The stream has a frame (or its end) ready for the start of `generation`.
    virtual void OnSchedulerPrerolled(int stream, uint64_t generation) = 0;
    // The running clock passed the end of the stream's last frame.
    virtual void OnSchedulerEnded(int stream, uint64_t serial) = 0;
};

class FrameScheduler {
public:
    // Frames kept queued; the decoder waits when the queue is full.
    static constexpr size_t kDefaultCapacity = 4;
    // Presented frames kept for a pause to choose from.
    static constexpr size_t kHistory = 2;

    struct Stats {
        uint64_t pushed = 0;
        uint64_t presented = 0;
        uint64_t presentedLate = 0; // presented at level 3 or 4
        uint64_t dropped = 0;       // flushed or passed over without being presented
        // Holds decided at the stream's end (its last frame, or nothing, is
        // what shows), counted once that frame went to the target: no later
        // frame will come for them.
        uint64_t endHolds = 0;
        MediaTime lastStart = -1;   // start time of the frame presented last
        int lastLevel = 0;
    };

    // `clock` may be null: frames are then presented as they come.
    FrameScheduler(int stream, std::shared_ptr<PresentationClock> clock, MediaTime framePeriod,
                   SchedulerListener* listener, size_t capacity = kDefaultCapacity);
    ~FrameScheduler();
    FrameScheduler(const FrameScheduler&) = delete;
    FrameScheduler& operator=(const FrameScheduler&) = delete;

    // Starts the scheduler thread; it calls `onExit` as its last act (the
    // session counts its threads with it).
    void Start(std::function<void()> onExit = {});
    // Ends the thread and refuses every further Push; returns at once.
    void Abort();
    // Joins the thread (after Abort). Detach instead leaves it to finish alone.
    void Join();
    void Detach();

    // The target may change at any time; after DetachTarget returns no frame
    // is handed to the old target any more.
    void SetTarget(FrameTarget* target);
    void DetachTarget() { SetTarget(nullptr); }

    // ---- decoder side ----
    // Queues a frame; waits while the queue is full. False when the frame is
    // stale (older serial than the last flush) or the scheduler was aborted.
    bool Push(ScheduledFrame frame);
    void EndOfStream(uint64_t serial);

    // ---- control ----
    // Drops every frame and holds at `holdTime`: the first frame of `serial`
    // that shows at holdTime is presented, once.
    void Flush(uint64_t serial, MediaTime holdTime);
    // Whether Hold(t) can choose among the frames kept (no seek needed).
    bool CanHoldAt(MediaTime t) const;
    // Holds at t without a flush (pause).
    void Hold(MediaTime t);
    // Presents by the clock; reports preroll once for `generation`.
    void Run(uint64_t generation);
    // The clock changed: look again at once.
    void Wake();

    // The serial of the last flush.
    uint64_t Serial() const;
    Stats GetStats() const;
    int Stream() const { return stream_; }

private:
    enum class Mode { Hold, Run };

    void ThreadMain();
    // Waits until changes_ differs from `seen`, the scheduler is aborted or
    // `timeout` (100-ns units of wall time; -1 none) passed.
    void WaitLocked(std::unique_lock<std::mutex>& lock, uint64_t seen, MediaTime timeout);
    void EvaluateHoldLocked(std::unique_lock<std::mutex>& lock);
    void PresentLocked(std::unique_lock<std::mutex>& lock, ScheduledFrame frame, int level);
    void RememberLocked(const ScheduledFrame& frame);

    // Immutable after construction.
    const int stream_;
    const std::shared_ptr<PresentationClock> clock_;
    const MediaTime framePeriod_;
    const MediaTime quantum_;
    SchedulerListener* const listener_;
    const size_t capacity_;

    mutable std::mutex mutex_;          // guards every field below down to targetMutex_
    std::condition_variable changed_;   // queue, mode or clock changed (scheduler thread waits)
    std::condition_variable spaceFree_; // the queue has room (decoder waits)
    uint64_t changes_ = 0;              // bumped with every notification of changed_
    std::deque<ScheduledFrame> queue_;
    std::deque<ScheduledFrame> history_; // presented frames, oldest first; back() is shown
    uint64_t minSerial_ = 0;
    bool eos_ = false;
    bool aborted_ = false;
    Mode mode_ = Mode::Hold;
    MediaTime holdTime_ = 0;
    bool holdDone_ = true;     // the frame of holdTime_ was chosen
    bool mustPresent_ = false; // present the chosen frame even if it is the one shown
    bool knownStart_ =
        true; // the first frame since the flush (or open) starts at or before holdTime_
    uint64_t runGeneration_ = 0;
    bool prerollReported_ = true;
    bool endReported_ = true;
    LevelCounter levels_;
    Stats stats_;

    std::mutex targetMutex_; // guards target_; held while a frame is handed over
    FrameTarget* target_ = nullptr;

    std::thread thread_; // owned by the control side: Start, Join, Detach
};

} // namespace playcore
