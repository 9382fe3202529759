#include "kinetta/base/job_control.h"

#include <algorithm>

namespace kinetta {

JobControl::~JobControl() {
    Cancel();
    Join();
}

void JobControl::SetSinks(Sinks sinks) {
    if (!Busy()) sinks_ = std::move(sinks);
}

bool JobControl::Start(Work work) {
    if (Busy()) return false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        outcome_ = Outcome{};
        detail_.clear();
    }
    done_.store(0);
    total_.store(0);
    running_.store(true);
    worker_ = std::thread([this, work = std::move(work)] {
        std::uint32_t end = 0;
        if (work) end = work(*this);
        {
            std::lock_guard<std::mutex> hold(lock_);
            // Cancelled means the flag was cleared before the work returned
            // without finishing; a job that finished anyway is not cancelled.
            outcome_.cancelled =
                !running_.load() && !outcome_.completed && outcome_.failure.empty();
        }
        if (sinks_.ended) sinks_.ended(end);
    });
    return true;
}

void JobControl::Join() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void JobControl::Progress(int done, int total) {
    done_.store(done);
    total_.store(total);
    if (sinks_.progress) sinks_.progress(done, total);
}

void JobControl::SetDetail(std::string text) {
    std::lock_guard<std::mutex> hold(lock_);
    detail_ = std::move(text);
}

std::string JobControl::Detail() const {
    std::lock_guard<std::mutex> hold(lock_);
    return detail_;
}

void JobControl::SetCompleted() {
    std::lock_guard<std::mutex> hold(lock_);
    // A job that failed on the way has not completed, whatever follows.
    if (outcome_.failure.empty()) outcome_.completed = true;
}

void JobControl::SetFailure(std::string text) {
    std::lock_guard<std::mutex> hold(lock_);
    if (outcome_.failure.empty()) outcome_.failure = std::move(text);
    outcome_.completed = false;
}

void JobControl::SetOutputs(std::string folder, std::vector<std::string> files) {
    std::lock_guard<std::mutex> hold(lock_);
    outcome_.folder = std::move(folder);
    outcome_.files = std::move(files);
}

void JobControl::SetSummary(std::string text) {
    std::lock_guard<std::mutex> hold(lock_);
    outcome_.summary = std::move(text);
}

JobControl::Outcome JobControl::TakeOutcome() {
    std::lock_guard<std::mutex> hold(lock_);
    Outcome taken = std::move(outcome_);
    outcome_ = Outcome{};
    return taken;
}

int JobControl::Percent(int done, int total) {
    if (total <= 0) return 100;
    const long long p = static_cast<long long>(done) * 100 / total;
    return static_cast<int>(std::clamp<long long>(p, 0, 100));
}

} // namespace kinetta
