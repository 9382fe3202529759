#include "kinetta/map/inet_connection.h"

namespace kinetta::map {

CInetConnectionAsync::CInetConnectionAsync(Probe probe, std::chrono::milliseconds period)
    : probe_(std::move(probe)), period_(period) {}

CInetConnectionAsync::~CInetConnectionAsync() {
    Stop();
}

void CInetConnectionAsync::Start() {
    if (thread_.joinable() || stop_.load()) return;
    thread_ = std::thread([this] { Run(); });
}

void CInetConnectionAsync::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CInetConnectionAsync::Run() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, period_, [this] { return stop_.load(); });
        }
        if (stop_.load()) return;
        const bool ok = probe_ && probe_(stop_);
        if (stop_.load()) return;
        reachable_.store(ok ? 1 : 0, std::memory_order_relaxed);
        rounds_.fetch_add(1);
    }
}

} // namespace kinetta::map
