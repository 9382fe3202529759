#pragma once
// Milestones of a media session, delivered in order to the player's event
// thread. The type numbers are those of the media platform's session events
// that the player's handling is written against.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "playcore/player/player_types.h"

namespace playcore {

enum class MediaEventType : uint32_t {
    SessionStopped = 105,
    SessionPaused = 104,
    SessionClosed = 106,
    TopologySet = 101,
    TopologyStatus = 111,
    NewPresentation = 113,
    EndOfPresentation = 211,
};

// Topology status "ready": every branch resolved.
inline constexpr uint32_t kTopologyStatusReady = 100;

struct MediaEvent {
    MediaEventType type = MediaEventType::SessionStopped;
    PlayerResult status = kResultOk; // a failure code when the step failed
    uint32_t topologyStatus = 0;     // TopologyStatus only
};

// A blocking queue of events. Thread-safe (a leaf lock).
class MediaEventQueue {
public:
    void Post(const MediaEvent& event) {
        std::lock_guard lock(mutex_);
        if (shutDown_) return;
        events_.push_back(event);
        ready_.notify_all();
    }
    // Waits for the next event; false once the queue was shut down and emptied.
    bool Get(MediaEvent* event) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return shutDown_ || !events_.empty(); });
        if (events_.empty()) return false;
        *event = events_.front();
        events_.pop_front();
        return true;
    }
    // As Get, waiting at most `timeout`; false when nothing came.
    template <class Duration> bool GetFor(MediaEvent* event, Duration timeout) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, timeout, [&] { return shutDown_ || !events_.empty(); });
        if (events_.empty()) return false;
        *event = events_.front();
        events_.pop_front();
        return true;
    }
    // Refuses further events; Get returns what is queued, then false.
    void ShutDown() {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        ready_.notify_all();
    }

private:
    std::mutex mutex_; // guards the fields below
    std::condition_variable ready_;
    std::deque<MediaEvent> events_;
    bool shutDown_ = false;
};

} // namespace playcore
