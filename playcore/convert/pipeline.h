#pragma once
// The conversion's threads: a pool that runs one piece of work over the row
// bands of a picture at once, and the bounded hand-over queue between the
// pipeline's stages (decoder, unwrap, encoder).
//
// Pure code (standard threads only).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace playcore {

// Threads that work on bands 1 .. Bands() - 1 of every Run while the caller
// works on band 0. Run returns once every band is done. One caller at a time.
class BandPool {
public:
    // bands: 1 or more (1: everything on the caller, no thread).
    explicit BandPool(int bands);
    ~BandPool();
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    int Bands() const { return bands_; }
    // work(band) for every band in [0, Bands()), each on its own thread.
    void Run(const std::function<void(int band)>& work);

    // Bands for this machine: one per core, 1 to 16.
    static int MachineBands();

private:
    void Loop(int band);

    const int bands_;
    std::mutex lock_;
    std::condition_variable wake_;                   // a new Run, or the end
    std::condition_variable finished_;               // a band of the Run is done
    const std::function<void(int)>* work_ = nullptr; // guarded by lock_
    unsigned long long generation_ = 0;              // guarded by lock_: Runs started
    int pending_ = 0;                                // guarded by lock_: bands still working
    bool stop_ = false;                              // guarded by lock_
    std::vector<std::thread> threads_;
};

// A first-in first-out queue of at most `capacity` items between two
// threads. Push waits while it is full, Pop while it is empty; after Close
// both return false at once (Pop first hands out what is queued when the
// queue was closed for more input with CloseInput). Thread-safe.
template <typename T> class HandOverQueue {
public:
    explicit HandOverQueue(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

    // False when the queue was closed (the item is dropped).
    bool Push(T item) {
        std::unique_lock<std::mutex> hold(lock_);
        notFull_.wait(hold, [&] { return closed_ || inputClosed_ || items_.size() < capacity_; });
        if (closed_ || inputClosed_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }
    // False at the end: the queue was closed, or closed for input and empty.
    bool Pop(T* item) {
        std::unique_lock<std::mutex> hold(lock_);
        notEmpty_.wait(hold, [&] { return closed_ || inputClosed_ || !items_.empty(); });
        if (closed_ || items_.empty()) return false;
        *item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }
    // No more input: the consumer takes what is queued, then Pop ends.
    void CloseInput() {
        std::lock_guard<std::mutex> hold(lock_);
        inputClosed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }
    // Stop now: both sides end, what is queued is dropped.
    void Close() {
        std::deque<T> dropped;
        {
            std::lock_guard<std::mutex> hold(lock_);
            closed_ = true;
            dropped.swap(items_);
            notEmpty_.notify_all();
            notFull_.notify_all();
        }
    }

private:
    const size_t capacity_;
    std::mutex lock_;
    std::condition_variable notFull_, notEmpty_;
    std::deque<T> items_;      // guarded by lock_
    bool closed_ = false;      // guarded by lock_
    bool inputClosed_ = false; // guarded by lock_
};

} // namespace playcore
