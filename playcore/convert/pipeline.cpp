#include "playcore/convert/pipeline.h"

#include <algorithm>

namespace playcore {

BandPool::BandPool(int bands) : bands_(std::max(1, bands)) {
    threads_.reserve(static_cast<size_t>(bands_ - 1));
    for (int band = 1; band < bands_; ++band)
        threads_.emplace_back(&BandPool::Loop, this, band);
}

BandPool::~BandPool() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
        wake_.notify_all();
    }
    for (std::thread& t : threads_)
        t.join();
}

int BandPool::MachineBands() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 16u));
}

void BandPool::Run(const std::function<void(int band)>& work) {
    if (bands_ == 1) {
        work(0);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        work_ = &work;
        pending_ = bands_ - 1;
        ++generation_;
        wake_.notify_all();
    }
    work(0);
    std::unique_lock<std::mutex> hold(lock_);
    finished_.wait(hold, [&] { return pending_ == 0; });
    work_ = nullptr;
}

void BandPool::Loop(int band) {
    unsigned long long seen = 0;
    for (;;) {
        const std::function<void(int)>* work = nullptr;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            work = work_;
        }
        (*work)(band);
        std::lock_guard<std::mutex> hold(lock_);
        if (--pending_ == 0) finished_.notify_one();
    }
}

} // namespace playcore
