#include "kinetta/base/job_control.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace kinetta {
namespace {

// Collects what the sinks receive, and lets a test wait for the end.
struct Receiver {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<int, int>> progress;
    std::vector<std::uint32_t> ends;

    JobControl::Sinks Sinks() {
        JobControl::Sinks sinks;
        sinks.progress = [this](int done, int total) {
            std::lock_guard<std::mutex> hold(lock);
            progress.emplace_back(done, total);
        };
        sinks.ended = [this](std::uint32_t message) {
            std::lock_guard<std::mutex> hold(lock);
            ends.push_back(message);
            changed.notify_all();
        };
        return sinks;
    }
    void WaitForEnd(size_t count) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return ends.size() >= count; });
    }
};

TEST(JobControl, ReportsProgressTheEndMessageAndTheOutcome) {
    Receiver receiver;
    JobControl job(receiver.Sinks());
    ASSERT_TRUE(job.Start([](JobControl& j) -> std::uint32_t {
        for (int i = 1; i <= 3; ++i)
            j.Progress(i, 3);
        j.SetCompleted();
        return 0x8516;
    }));
    // One job at a time: a second start before the join is refused.
    EXPECT_FALSE(job.Start([](JobControl&) -> std::uint32_t { return 1; }));
    receiver.WaitForEnd(1);
    job.Join();
    EXPECT_FALSE(job.Busy());
    EXPECT_EQ(receiver.ends, (std::vector<std::uint32_t>{0x8516}));
    EXPECT_EQ(receiver.progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(job.Done(), 3);
    const auto outcome = job.TakeOutcome();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_TRUE(outcome.failure.empty());
    // Taken once.
    EXPECT_FALSE(job.TakeOutcome().completed);
}

TEST(JobControl, CancelStopsTheWorkBetweenStepsAndIsReportedOnce) {
    Receiver receiver;
    JobControl job(receiver.Sinks());
    std::mutex gate;
    gate.lock();
    int steps = 0;
    ASSERT_TRUE(job.Start([&](JobControl& j) -> std::uint32_t {
        std::lock_guard<std::mutex> wait(gate); // held until the test cancelled
        while (j.Running())
            ++steps;
        return 7;
    }));
    job.Cancel();
    gate.unlock();
    job.Join();
    EXPECT_EQ(steps, 0);
    const auto outcome = job.TakeOutcome();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.completed);
    // The running flag the container functions read is the same flag.
    EXPECT_FALSE(job.RunningFlag()->load());
    // A new job starts with the flag set and a clean outcome.
    ASSERT_TRUE(job.Start([](JobControl& j) -> std::uint32_t {
        EXPECT_TRUE(j.RunningFlag()->load());
        j.SetFailure("first");
        j.SetFailure("second");
        j.SetCompleted(); // a failed job does not become completed
        return 0;
    }));
    job.Join();
    const auto failed = job.TakeOutcome();
    EXPECT_EQ(failed.failure, "first");
    EXPECT_FALSE(failed.completed);
    EXPECT_FALSE(failed.cancelled);
}

TEST(JobControl, DestructionCancelsAndWaitsForTheWorker) {
    std::atomic<bool> sawStop{false};
    {
        JobControl job;
        job.Start([&](JobControl& j) -> std::uint32_t {
            while (j.Running())
                std::this_thread::yield();
            sawStop = true;
            return 0;
        });
    }
    EXPECT_TRUE(sawStop.load());
}

TEST(JobControl, PercentOfProgress) {
    EXPECT_EQ(JobControl::Percent(1, 3), 33);
    EXPECT_EQ(JobControl::Percent(3, 3), 100);
    EXPECT_EQ(JobControl::Percent(0, 0), 100); // no total: finished
    EXPECT_EQ(JobControl::Percent(5, -1), 100);
    EXPECT_EQ(JobControl::Percent(150, 100), 100);
    EXPECT_EQ(JobControl::Percent(-5, 100), 0);
    EXPECT_EQ(JobControl::Percent(2000000000, 2000000000), 100); // no overflow
}

} // namespace
} // namespace kinetta
