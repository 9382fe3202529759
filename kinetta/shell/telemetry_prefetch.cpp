#include "kinetta/shell/telemetry_prefetch.h"

#include <chrono>
#include <string>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/shell/viewer_state.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

void TelemetryPrefetch::StartSelected(unsigned serial) {
    if (selected_.joinable()) selected_.join();
    selected_ = std::thread([this, serial] {
        std::string front, rear;
        {
            std::lock_guard lock(state_.RowsLock());
            const int row = state_.SelectedLocked();
            const auto& rows = state_.RowsLocked();
            if (row >= 0 && row < static_cast<int>(rows.size())) {
                front = rows[static_cast<size_t>(row)].frontPath;
                rear = rows[static_cast<size_t>(row)].rearPath;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        session_.PrefetchTelemetry(front, rear);
        // The serial tells the answer of this open from one of an older open.
        PostWindowMessage(window_, UM_TELEMETRY_PREFETCHED, serial);
    });
}

void TelemetryPrefetch::StartNext() {
    if (next_.joinable()) next_.join();
    next_ = std::thread([this] {
        std::string front, rear;
        {
            std::lock_guard lock(state_.RowsLock());
            const int row = state_.SelectedLocked();
            const auto& rows = state_.RowsLocked();
            const size_t next = static_cast<size_t>(row + 1);
            if (row < 0 || next >= rows.size()) return;
            front = rows[next].frontPath;
            rear = rows[next].rearPath;
        }
        session_.PrefetchTelemetry(front, rear);
    });
}

uint64_t TelemetryPrefetch::RequestOpenAhead(const std::string& front, const std::string& rear) {
    uint64_t ticket;
    {
        std::lock_guard lock(openLock_);
        openFront_ = front;
        openRear_ = rear;
        ticket = ++requested_;
        stop_ = false;
    }
    if (!openAhead_.joinable()) openAhead_ = std::thread(&TelemetryPrefetch::OpenAheadLoop, this);
    openWake_.notify_one();
    return ticket;
}

bool TelemetryPrefetch::OpenAheadDone(uint64_t ticket) {
    std::lock_guard lock(openLock_);
    return done_ >= ticket;
}

void TelemetryPrefetch::OpenAheadLoop() {
    std::unique_lock lock(openLock_);
    for (;;) {
        openWake_.wait(lock, [this] { return stop_ || requested_ > done_; });
        if (stop_) return;
        const uint64_t ticket = requested_;
        const std::string front = openFront_, rear = openRear_;
        lock.unlock();
        session_.PrepareMovies(front, rear);
        lock.lock();
        done_ = ticket;
    }
}

void TelemetryPrefetch::Join() {
    if (selected_.joinable()) selected_.join();
    if (next_.joinable()) next_.join();
    if (openAhead_.joinable()) {
        {
            std::lock_guard lock(openLock_);
            stop_ = true;
        }
        openWake_.notify_one();
        openAhead_.join();
        // What was read ahead and not opened holds no file any longer.
        session_.DiscardPreparedMovies();
        std::lock_guard lock(openLock_);
        done_ = requested_; // nothing is pending after Join
    }
}

} // namespace kinetta
