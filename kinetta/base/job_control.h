#pragma once
// JobControl: one piece of long work on a worker thread (a save, join, split,
// delete, CSV export, conversion, or the wait dialog's task) and the state the
// window and the worker share about it: the running flag the user clears to
// cancel, the last progress (done of total), the completion flag, a failure
// text, and the message the worker ends with.
//
// One job runs at a time per JobControl. The window starts it, the worker
// reports through the sinks, the window's end handler joins the worker
// (without a time-out: the worker stops between two files once the running
// flag is cleared) and takes the outcome. Pure: the sinks are how a window
// receives progress and the end (a Qt window posts them as messages).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kinetta {

class JobControl {
public:
    struct Sinks {
        // Worker thread: progress, done of total (total <= 0 means finished).
        std::function<void(int done, int total)> progress;
        // Worker thread, last thing the worker does: the work has returned
        // with endMessage (for example UM_FILEOP_DONE or UM_FILEOP_RELOAD).
        // The receiver calls Join() before it looks at the outcome.
        std::function<void(std::uint32_t endMessage)> ended;
    };

    // The work runs on the worker thread and returns the end message handed
    // to Sinks::ended.
    using Work = std::function<std::uint32_t(JobControl&)>;

    // What the work left behind, taken once by the end handler.
    struct Outcome {
        bool completed = false; // the work finished what it was asked to do
        bool cancelled = false; // the running flag was cleared before the end
        std::string failure;    // non-empty: the failure text to show once
        // Where the outputs went, for the completion message: the folder
        // written into (empty: none) and the files written there (full paths).
        std::string folder;
        std::vector<std::string> files;
        // Lines that say what the work did when it wrote no output (a delete:
        // how many recordings went where); shown below the completion line.
        std::string summary;
    };

    JobControl() = default;
    explicit JobControl(Sinks sinks) : sinks_(std::move(sinks)) {}
    // Clears the running flag and waits for a worker still running.
    ~JobControl();
    JobControl(const JobControl&) = delete;
    JobControl& operator=(const JobControl&) = delete;

    // Owner thread. Replaces the sinks; only while no worker exists.
    void SetSinks(Sinks sinks);

    // Owner thread. Sets the running flag, clears the previous outcome and
    // starts work on a new worker thread. False (and nothing started) while a
    // previous worker has not been joined.
    bool Start(Work work);

    // Owner thread. Waits for the worker to end (no time-out); a no-op when
    // there is none. Must not be called from the worker.
    void Join();

    // Owner thread: whether a worker exists that has not been joined.
    bool Busy() const { return worker_.joinable(); }

    // Any thread: asks the work to stop at its next check (between files).
    void Cancel() { running_.store(false); }
    // Any thread: true from Start until Cancel (the flag stays as it was
    // after the worker ends, so it tells whether the job was cancelled).
    bool Running() const { return running_.load(); }
    // For the container functions that take the running flag directly.
    const std::atomic<bool>* RunningFlag() const { return &running_; }

    // Worker thread: stores the progress and hands it to the progress sink.
    void Progress(int done, int total);
    // Worker thread: the work finished what it was asked to do.
    void SetCompleted();
    // Worker thread: the work failed; the first failure text is kept.
    void SetFailure(std::string text);
    // Worker thread: the folder and the files the work wrote (the
    // completion message names them); the last call counts.
    void SetOutputs(std::string folder, std::vector<std::string> files);
    // Worker thread: the completion message's lines for work without outputs.
    void SetSummary(std::string text);

    // Worker thread: a line that says more than the percentage (the
    // conversion's pace); the window shows it beside the bar. Empty: none.
    void SetDetail(std::string text);
    // Any thread: the last detail line; cleared by Start.
    std::string Detail() const;

    // Any thread: the last progress reported.
    int Done() const { return done_.load(); }
    int Total() const { return total_.load(); }

    // Owner thread, after Join: the outcome, then cleared.
    Outcome TakeOutcome();

    // Progress as a percentage: done x 100 / total, 100 when total <= 0,
    // clamped to 0..100.
    static int Percent(int done, int total);

private:
    Sinks sinks_;        // set by the owner while no worker exists
    std::thread worker_; // owner thread: started by Start, joined by Join
    std::atomic<bool> running_{false};
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    mutable std::mutex lock_; // guards outcome_ (worker writes, owner takes)
    Outcome outcome_;         // guarded by lock_
    std::string detail_;      // guarded by lock_
};

} // namespace kinetta
