// The frame queue of one stream against a clock driven by hand: scrubbing
// shows exactly one frame, running presents by the three-quanta rule,
// pausing picks the frame of the clock time, stale frames never show.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "playcore/player/frame_scheduler.h"

using namespace playcore;

namespace {

constexpr MediaTime kPeriod = 400'000; // 40 ms

struct ManualTime {
    std::shared_ptr<std::atomic<MediaTime>> now =
        std::make_shared<std::atomic<MediaTime>>(1'000'000'000);
    PresentationClock::TimeSource Source() const {
        auto n = now;
        return [n] { return n->load(); };
    }
};

// Records what is presented: the frame number is the frame's width.
class Recorder : public FrameTarget, public SchedulerListener {
public:
    void PresentFrame(std::shared_ptr<const VideoFrame> frame, int level) override {
        std::lock_guard lock(mutex_);
        shown_.push_back(frame->width);
        levels_.push_back(level);
        changed_.notify_all();
    }
    void OnSchedulerPrerolled(int, uint64_t generation) override {
        std::lock_guard lock(mutex_);
        prerolled_.push_back(generation);
        changed_.notify_all();
    }
    void OnSchedulerEnded(int, uint64_t serial) override {
        std::lock_guard lock(mutex_);
        ended_.push_back(serial);
        changed_.notify_all();
    }
    bool WaitFor(const std::function<bool()>& pred, int ms = 5000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }
    std::vector<int> Shown() {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    std::vector<int> shown_, levels_;
    std::vector<uint64_t> prerolled_, ended_;
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Frame `number` of a 25-per-second stream; the recorder reads the number
// back from the width (no picture is drawn here).
ScheduledFrame Frame(uint64_t serial, int number) {
    auto f = std::make_shared<VideoFrame>();
    f->width = number;
    return ScheduledFrame{serial, number * kPeriod, (number + 1) * kPeriod, number % 15 == 0, f};
}

void Settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
}

struct Rig {
    ManualTime time;
    std::shared_ptr<PresentationClock> clock = std::make_shared<PresentationClock>(time.Source());
    Recorder rec;
    FrameScheduler sched{1, clock, kPeriod, &rec, 4};
    Rig() {
        sched.SetTarget(&rec);
        sched.Start();
    }
    ~Rig() {
        sched.Abort();
        sched.Join();
    }
    void PushAsync(uint64_t serial, int from, int to, std::vector<std::thread>* threads) {
        threads->emplace_back([this, serial, from, to] {
            for (int n = from; n < to; ++n)
                if (!sched.Push(Frame(serial, n))) return;
        });
    }
};

} // namespace

TEST(FrameScheduler, ScrubShowsExactlyTheFrameOfTheTimeOnce) {
    Rig r;
    r.sched.Flush(1, 3 * kPeriod + kPeriod / 2); // inside frame 3
    // The decoder delivers from frame 3 on (it passed over 0..2 itself).
    std::vector<std::thread> feeders;
    r.PushAsync(1, 3, 20, &feeders);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 1; }));
    Settle();
    EXPECT_EQ(r.rec.Shown(), std::vector<int>{3});
    // The shown frame left the queue, four more filled it and the decoder
    // waits; nothing else was shown.
    EXPECT_EQ(r.sched.GetStats().pushed, 5u);

    // A new seek while the decoder waits: its frames are refused, the new
    // position shows once.
    r.sched.Flush(2, 10 * kPeriod);
    for (auto& t : feeders)
        t.join();
    feeders.clear();
    EXPECT_FALSE(r.sched.Push(Frame(1, 7))); // stale
    r.PushAsync(2, 10, 12, &feeders);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 2; }));
    Settle();
    EXPECT_EQ(r.rec.Shown(), (std::vector<int>{3, 10}));
    for (auto& t : feeders)
        t.join();
}

TEST(FrameScheduler, RunPresentsByTheClockAndReportsPrerollAndEnd) {
    Rig r;
    r.sched.Flush(1, 0);
    std::vector<std::thread> feeders;
    r.PushAsync(1, 0, 6, &feeders);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 1; }));
    r.clock->Arm(0, 1.0, false);
    r.sched.Run(7);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.prerolled_ == std::vector<uint64_t>{7}; }));
    // Armed: nothing runs yet.
    Settle();
    EXPECT_EQ(r.rec.Shown().size(), 1u);
    r.clock->Release();
    r.sched.Wake();
    // Frame 1 starts at 40 ms: due once the clock is within three quanta
    // (30 ms) of it.
    Settle();
    EXPECT_EQ(r.rec.Shown().size(), 1u);
    r.time.now->fetch_add(10 * kUnitsPerMillisecond);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 2; }));
    EXPECT_EQ(r.rec.Shown().back(), 1);
    r.time.now->fetch_add(kPeriod * 4);
    for (auto& t : feeders)
        t.join();
    r.sched.EndOfStream(1);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 6; }));
    EXPECT_EQ(r.rec.Shown(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    // The end: once the clock passes the end of frame 5 (240 ms).
    EXPECT_TRUE(r.rec.ended_.empty());
    r.time.now->store(r.time.now->load() + 2 * kPeriod);
    r.sched.Wake();
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.ended_ == std::vector<uint64_t>{1}; }));
}

TEST(FrameScheduler, PauseShowsTheFrameOfTheClockTime) {
    Rig r;
    r.sched.Flush(1, 0);
    std::vector<std::thread> feeders;
    r.PushAsync(1, 0, 40, &feeders);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 1; }));
    r.clock->Arm(0, 1.0, false);
    r.sched.Run(1);
    ASSERT_TRUE(r.rec.WaitFor([&] { return !r.rec.prerolled_.empty(); }));
    r.clock->Release();
    r.sched.Wake();
    // Clock at 5.8 periods: frame 6 (due within three quanta) is already shown.
    r.time.now->fetch_add(5 * kPeriod + 8 * kPeriod / 10);
    r.sched.Wake();
    ASSERT_TRUE(r.rec.WaitFor([&] { return !r.rec.shown_.empty() && r.rec.shown_.back() == 6; }));
    // Pause: the frame of the clock time is 5, shown again from what was kept.
    const MediaTime t = r.clock->Freeze();
    EXPECT_TRUE(r.sched.CanHoldAt(t));
    r.sched.Hold(t);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.back() == 5; }));
    Settle();
    EXPECT_EQ(r.rec.Shown().back(), 5);
    // Play on: frame 6 comes again, then 7 when due.
    r.clock->Arm(t, 1.0, false);
    r.sched.Run(2);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.prerolled_.size() == 2; }));
    r.clock->Release();
    r.sched.Wake();
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.back() == 6; }));
    r.time.now->fetch_add(kPeriod);
    r.sched.Wake();
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.back() == 7; }));
    // A pause long before what was kept cannot be served without a seek.
    EXPECT_FALSE(r.sched.CanHoldAt(0));
    r.sched.Flush(9, 0); // releases the feeder
    for (auto& t2 : feeders)
        t2.join();
}

TEST(FrameScheduler, LateFramesRaiseTheLevel) {
    Rig r;
    r.sched.Flush(1, 0);
    r.clock->Arm(0, 1.0, false);
    r.sched.Run(1);
    r.clock->Release();
    // The clock is far ahead of every frame: each is presented at once.
    r.time.now->fetch_add(100 * kPeriod);
    std::vector<std::thread> feeders;
    r.PushAsync(1, 0, 20, &feeders);
    ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == 20; }));
    for (auto& t : feeders)
        t.join();
    std::lock_guard lock(r.rec.mutex_);
    EXPECT_EQ(r.rec.levels_.front(), 1);
    EXPECT_EQ(r.rec.levels_[1], 2);
    EXPECT_EQ(r.rec.levels_[9], 3);
    EXPECT_EQ(r.rec.levels_.back(), 4);
    EXPECT_GT(r.sched.GetStats().presentedLate, 0u);
}

TEST(FrameScheduler, DetachedTargetAndAbortStopEverything) {
    Rig r;
    r.sched.Flush(1, 0);
    r.sched.DetachTarget();
    ASSERT_TRUE(r.sched.Push(Frame(1, 0)));
    Settle();
    EXPECT_TRUE(r.rec.Shown().empty());
    EXPECT_EQ(r.sched.GetStats().presented, 1u); // consumed unseen
    // A decoder waiting on a full queue is let go by Abort.
    std::vector<std::thread> feeders;
    r.PushAsync(1, 1, 100, &feeders);
    Settle();
    r.sched.Abort();
    for (auto& t : feeders)
        t.join();
    EXPECT_FALSE(r.sched.Push(Frame(1, 200)));
}

TEST(FrameScheduler, WithoutAClockFramesShowAsTheyCome) {
    Recorder rec;
    FrameScheduler sched(1, nullptr, kPeriod, &rec, 2);
    sched.SetTarget(&rec);
    sched.Start();
    sched.Run(1);
    std::thread feeder([&] {
        for (int n = 0; n < 8; ++n)
            sched.Push(Frame(0, n * 100)); // far apart in time: no waiting for it
    });
    ASSERT_TRUE(rec.WaitFor([&] { return rec.shown_.size() == 8; }));
    feeder.join();
    EXPECT_EQ(rec.Shown().back(), 700);
    sched.Abort();
    sched.Join();
}

// A hold that meets the stream's end is counted, and only once the frame it
// shows went to the target: a caller that reads the count and then the
// picture knows no other frame will come.
TEST(FrameScheduler, AHoldAtTheStreamsEndIsCountedAfterItsFrameIsShown) {
    struct Case {
        const char* name;
        int holdFrame, first, last; // frames pushed: first..last-1
        bool end;                   // the stream ends after them
        std::vector<int> shown;
        uint64_t endHolds;
    };
    const Case cases[] = {
        {"nothing decoded", 10, 0, 0, true, {}, 1},
        {"the end before the time", 10, 2, 5, true, {4}, 1},
        {"the frame of the time", 3, 3, 6, false, {3}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.sched.Flush(1, c.holdFrame * kPeriod + kPeriod / 2);
        for (int n = c.first; n < c.last; ++n)
            ASSERT_TRUE(r.sched.Push(Frame(1, n)));
        if (c.end) r.sched.EndOfStream(1);
        if (c.endHolds > 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (r.sched.GetStats().endHolds == 0 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // Read after the count: the hold's frame is already there.
            EXPECT_EQ(r.rec.Shown(), c.shown);
        } else {
            ASSERT_TRUE(r.rec.WaitFor([&] { return r.rec.shown_.size() == c.shown.size(); }));
            EXPECT_EQ(r.rec.Shown(), c.shown);
        }
        EXPECT_EQ(r.sched.GetStats().endHolds, c.endHolds);
    }
}
