#pragma once
// Held: one engine lock (play or data) taken for a scope. The wait and the hold
// both count in the session's lockWaiters, which the diagnostics read to tell a
// lock still being waited for from one that was released.

#include <atomic>
#include <cstdint>
#include <mutex>

namespace playcore {

class Held {
public:
    Held(std::recursive_mutex& m, std::atomic<int32_t>& waiters) : m_(m), waiters_(waiters) {
        waiters_.fetch_add(1);
        m_.lock();
    }
    ~Held() {
        m_.unlock();
        waiters_.fetch_sub(1);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    std::recursive_mutex& m_;
    std::atomic<int32_t>& waiters_;
};

} // namespace playcore
