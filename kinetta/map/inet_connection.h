#pragma once
// CInetConnectionAsync: the map's reachability monitor. A thread of its own
// tests, once a second, whether the map's tile server answers, and keeps the
// result as the reachability flag; beside it sits the map-shown flag that the
// main window writes. ConnectTest reads both.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kinetta::map {

class CInetConnectionAsync {
public:
    // One reachability test; true when the server answered. It should give up
    // soon once stop reads true (the monitor is stopping).
    using Probe = std::function<bool(const std::atomic<bool>& stop)>;

    static constexpr std::chrono::milliseconds kPeriod{1000};

    explicit CInetConnectionAsync(Probe probe, std::chrono::milliseconds period = kPeriod);
    ~CInetConnectionAsync(); // stops and joins the thread
    CInetConnectionAsync(const CInetConnectionAsync&) = delete;
    CInetConnectionAsync& operator=(const CInetConnectionAsync&) = delete;

    // Starts the thread (once; later calls do nothing). Each round sleeps one
    // period, then tests: the flag becomes 1 when the probe succeeds, else 0.
    void Start();
    // Sets the stop flag, wakes the thread and waits for it.
    void Stop();

    // Reachability flag: 1 reachable, 0 not (also before the first test).
    int Reachable() const { return reachable_.load(std::memory_order_relaxed); }
    // Map-shown flag (UI thread writes, any thread reads).
    int MapShown() const { return mapShown_.load(std::memory_order_relaxed); }
    void SetMapShown(int shown) { mapShown_.store(shown ? 1 : 0, std::memory_order_relaxed); }
    // Rounds tested so far (for tests that wait for a fresh result).
    long Rounds() const { return rounds_.load(); }

private:
    void Run();

    const Probe probe_;
    const std::chrono::milliseconds period_;
    std::atomic<int> reachable_{0}; // written by the monitor thread
    std::atomic<int> mapShown_{0};  // written by the UI thread
    std::atomic<long> rounds_{0};   // written by the monitor thread
    std::atomic<bool> stop_{false}; // set by Stop
    std::mutex mutex_;              // guards the wait on wake_
    std::condition_variable wake_;  // Stop wakes the sleeping thread
    std::thread thread_;            // owned by the creating (UI) thread
};

} // namespace kinetta::map
