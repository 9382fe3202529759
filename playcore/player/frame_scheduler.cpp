#include "playcore/player/frame_scheduler.h"

#include <chrono>
#include <cmath>

namespace playcore {

namespace {

std::chrono::microseconds WallWait(MediaTime units) {
    return std::chrono::microseconds(std::max<MediaTime>(units / 10, 100));
}

} // namespace

FrameScheduler::FrameScheduler(int stream, std::shared_ptr<PresentationClock> clock,
                               MediaTime framePeriod, SchedulerListener* listener, size_t capacity)
    : stream_(stream), clock_(std::move(clock)), framePeriod_(framePeriod),
      quantum_(ScheduleQuantum(framePeriod)), listener_(listener),
      capacity_(capacity > 0 ? capacity : 1) {}

FrameScheduler::~FrameScheduler() {
    Abort();
    if (thread_.joinable()) thread_.join();
}

void FrameScheduler::Start(std::function<void()> onExit) {
    thread_ = std::thread([this, onExit = std::move(onExit)] {
        ThreadMain();
        if (onExit) onExit();
    });
}

void FrameScheduler::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    ++changes_;
    changed_.notify_all();
    spaceFree_.notify_all();
}

void FrameScheduler::Join() {
    if (thread_.joinable()) thread_.join();
}

void FrameScheduler::Detach() {
    if (thread_.joinable()) thread_.detach();
}

void FrameScheduler::SetTarget(FrameTarget* target) {
    std::lock_guard lock(targetMutex_);
    target_ = target;
}

bool FrameScheduler::Push(ScheduledFrame frame) {
    std::unique_lock lock(mutex_);
    spaceFree_.wait(
        lock, [&] { return aborted_ || frame.serial < minSerial_ || queue_.size() < capacity_; });
    if (aborted_ || frame.serial < minSerial_) {
        ++stats_.dropped;
        return false;
    }
    queue_.push_back(std::move(frame));
    ++stats_.pushed;
    ++changes_;
    changed_.notify_all();
    return true;
}

void FrameScheduler::EndOfStream(uint64_t serial) {
    std::lock_guard lock(mutex_);
    if (serial < minSerial_) return;
    eos_ = true;
    ++changes_;
    changed_.notify_all();
}

void FrameScheduler::Flush(uint64_t serial, MediaTime holdTime) {
    std::lock_guard lock(mutex_);
    stats_.dropped += queue_.size();
    queue_.clear();
    history_.clear();
    minSerial_ = serial;
    eos_ = false;
    mode_ = Mode::Hold;
    holdTime_ = holdTime;
    holdDone_ = false;
    mustPresent_ = true;
    knownStart_ = true;
    levels_.Reset();
    prerollReported_ = endReported_ = true;
    ++changes_;
    changed_.notify_all();
    spaceFree_.notify_all();
}

bool FrameScheduler::CanHoldAt(MediaTime t) const {
    std::lock_guard lock(mutex_);
    if (history_.empty()) return knownStart_;
    return t >= history_.front().start;
}

void FrameScheduler::Hold(MediaTime t) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::Hold;
    holdTime_ = t;
    holdDone_ = false;
    mustPresent_ = false;
    prerollReported_ = endReported_ = true;
    ++changes_;
    changed_.notify_all();
}

void FrameScheduler::Run(uint64_t generation) {
    std::lock_guard lock(mutex_);
    mode_ = Mode::Run;
    runGeneration_ = generation;
    prerollReported_ = false;
    endReported_ = false;
    knownStart_ = false;
    ++changes_;
    changed_.notify_all();
}

void FrameScheduler::Wake() {
    std::lock_guard lock(mutex_);
    ++changes_;
    changed_.notify_all();
}

uint64_t FrameScheduler::Serial() const {
    std::lock_guard lock(mutex_);
    return minSerial_;
}

FrameScheduler::Stats FrameScheduler::GetStats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

void FrameScheduler::RememberLocked(const ScheduledFrame& frame) {
    history_.push_back(frame);
    while (history_.size() > kHistory)
        history_.pop_front();
}

void FrameScheduler::PresentLocked(std::unique_lock<std::mutex>& lock, ScheduledFrame frame,
                                   int level) {
    RememberLocked(frame);
    ++stats_.presented;
    if (level >= 3) ++stats_.presentedLate;
    stats_.lastStart = frame.start;
    stats_.lastLevel = level;
    lock.unlock();
    {
        std::lock_guard target(targetMutex_);
        // A flush that came in meanwhile makes this frame stale: the frame of
        // the new position follows from this same thread.
        bool stale;
        {
            std::lock_guard again(mutex_);
            stale = frame.serial < minSerial_ || aborted_;
        }
        if (target_ && !stale) target_->PresentFrame(std::move(frame.frame), level);
    }
    lock.lock();
}

void FrameScheduler::EvaluateHoldLocked(std::unique_lock<std::mutex>& lock) {
    if (holdDone_) return;
    std::vector<MediaTime> starts;
    starts.reserve(history_.size() + queue_.size());
    for (const ScheduledFrame& f : history_)
        starts.push_back(f.start);
    for (const ScheduledFrame& f : queue_)
        starts.push_back(f.start);
    if (starts.empty()) {
        if (eos_) {
            // Nothing left to show: the stream ended (or never decoded a
            // frame) before the hold's time.
            holdDone_ = true;
            ++stats_.endHolds;
        }
        return;
    }
    const MediaTime lastEnd = queue_.empty() ? history_.back().end : queue_.back().end;
    const int index = FrameShownAt(starts, holdTime_, lastEnd, eos_);
    const size_t kept = history_.size();
    if (index < 0) {
        // Undecided: the answer is the last frame or a later one, so the
        // queued frames before the last cannot be it; make room for more.
        while (queue_.size() > 1) {
            queue_.pop_front();
            ++stats_.dropped;
        }
        spaceFree_.notify_all();
        return;
    }
    const bool hadShown = !history_.empty();
    const MediaTime shownStart = hadShown ? history_.back().start : -1;
    const uint64_t shownSerial = hadShown ? history_.back().serial : 0;
    ScheduledFrame chosen;
    if (static_cast<size_t>(index) < kept) {
        chosen = history_[static_cast<size_t>(index)];
        // Frames shown after the chosen one are shown again when play resumes.
        for (size_t i = kept - 1; i > static_cast<size_t>(index); --i)
            queue_.push_front(history_[i]);
        history_.erase(history_.begin() + index, history_.end());
    } else {
        for (size_t i = kept; i < static_cast<size_t>(index); ++i) {
            queue_.pop_front();
            ++stats_.dropped;
        }
        chosen = std::move(queue_.front());
        queue_.pop_front();
        spaceFree_.notify_all();
    }
    holdDone_ = true;
    const bool atEnd = eos_;
    const bool same = hadShown && chosen.start == shownStart && chosen.serial == shownSerial;
    if (same && !mustPresent_) {
        RememberLocked(chosen);
    } else {
        mustPresent_ = false;
        PresentLocked(lock, std::move(chosen), levels_.Present());
    }
    // After the frame is with the target, so that whoever reads the count
    // and then the picture sees the hold's final picture.
    if (atEnd) ++stats_.endHolds;
}

void FrameScheduler::WaitLocked(std::unique_lock<std::mutex>& lock, uint64_t seen,
                                MediaTime timeout) {
    const auto pred = [&] { return aborted_ || changes_ != seen; };
    if (timeout < 0)
        changed_.wait(lock, pred);
    else
        changed_.wait_for(lock, WallWait(timeout), pred);
}

void FrameScheduler::ThreadMain() {
    std::unique_lock lock(mutex_);
    while (!aborted_) {
        // Anything that changes the queue, the mode or the clock bumps
        // changes_; a wait ends as soon as it differs from `seen`, so a
        // change made while the lock was let go for a presentation is not missed.
        const uint64_t seen = changes_;
        if (mode_ == Mode::Hold) {
            EvaluateHoldLocked(lock);
            WaitLocked(lock, seen, -1);
            continue;
        }

        // Run mode.
        if (!prerollReported_ && (!queue_.empty() || eos_)) {
            prerollReported_ = true;
            const uint64_t generation = runGeneration_;
            lock.unlock();
            if (listener_) listener_->OnSchedulerPrerolled(stream_, generation);
            lock.lock();
            continue;
        }
        if (!clock_) {
            // Without a presentation clock every frame is presented as it comes.
            if (queue_.empty()) {
                WaitLocked(lock, seen, -1);
                continue;
            }
            ScheduledFrame frame = std::move(queue_.front());
            queue_.pop_front();
            spaceFree_.notify_all();
            PresentLocked(lock, std::move(frame), levels_.Present());
            continue;
        }
        const bool running = clock_->Running();
        const double rate = clock_->Rate();
        if (queue_.empty()) {
            if (eos_ && !endReported_ && running) {
                MediaTime end = -1;
                if (!history_.empty()) {
                    const ScheduledFrame& last = history_.back();
                    end = last.end >= 0 ? last.end : last.start + framePeriod_;
                }
                const MediaTime now = clock_->Now();
                if (end < 0 || now >= end || rate <= 0) {
                    endReported_ = true;
                    const uint64_t serial = minSerial_;
                    lock.unlock();
                    if (listener_) listener_->OnSchedulerEnded(stream_, serial);
                    lock.lock();
                    continue;
                }
                WaitLocked(lock, seen, static_cast<MediaTime>((end - now) / rate));
                continue;
            }
            // At the end with the clock about to start by itself: look again soon.
            const bool poll = eos_ && !endReported_ && clock_->Armed();
            WaitLocked(lock, seen, poll ? 10 * kUnitsPerMillisecond : -1);
            continue;
        }
        if (!running) {
            // An armed clock may start by itself (the sound's grace), so look again soon.
            WaitLocked(lock, seen, clock_->Armed() ? 10 * kUnitsPerMillisecond : -1);
            continue;
        }
        const SampleDecision decision =
            ScheduleSample(queue_.front().start, clock_->Now(), rate, quantum_);
        if (!decision.presentNow) {
            levels_.Waited();
            WaitLocked(lock, seen, decision.wait);
            continue;
        }
        ScheduledFrame frame = std::move(queue_.front());
        queue_.pop_front();
        spaceFree_.notify_all();
        PresentLocked(lock, std::move(frame), levels_.Present());
    }
}

} // namespace playcore
