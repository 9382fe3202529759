#pragma once
// TelemetryPrefetch: the main window's read-ahead threads. One reads the
// telemetry of the selected recording once its movies are ready and posts
// UM_TELEMETRY_PREFETCHED (wParam: the open's serial, so that an answer of an
// older open is told apart); the other, once the views are prepared, reads
// the telemetry of the next row so that continuous play finds it ready.
// The open-ahead thread reads, while the open waits out its 500 ms, what
// opening the selected recording's movies reads of the files (the session's
// PrepareMovies), so that the open itself does not wait for the card.
//
// Threads: each copies the paths it needs under the state lock and then
// calls the session's PrefetchTelemetry without it. At most one thread of
// each kind runs: a new one first joins the previous one, and Join (shutdown,
// a file flow) joins both. The open-ahead thread lives from the first
// request to Join and takes the newest request only: a request never waits
// for an older one. Start, request and Join run on the UI thread.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class QObject;

namespace playcore {
class PlaybackSession;
}

namespace kinetta {

class ViewerState;

class TelemetryPrefetch {
public:
    // All three outlive the prefetch; window receives UM_TELEMETRY_PREFETCHED.
    TelemetryPrefetch(playcore::PlaybackSession& session, const ViewerState& state, QObject* window)
        : session_(session), state_(state), window_(window) {}
    ~TelemetryPrefetch() { Join(); }
    TelemetryPrefetch(const TelemetryPrefetch&) = delete;
    TelemetryPrefetch& operator=(const TelemetryPrefetch&) = delete;

    // The selected recording, after 80 ms; then UM_TELEMETRY_PREFETCHED with serial.
    void StartSelected(unsigned serial);
    // The recording of the row after the selected one (nothing at the last row).
    void StartNext();
    // Reads ahead for opening these movies (empty: none); returns the
    // request's ticket for OpenAheadDone.
    uint64_t RequestOpenAhead(const std::string& front, const std::string& rear);
    // The request of this ticket (or a newer one) has been read.
    bool OpenAheadDone(uint64_t ticket);
    void Join();

private:
    playcore::PlaybackSession& session_;
    const ViewerState& state_;
    QObject* window_;
    std::thread selected_; // joined before the next start and by Join
    std::thread next_;     // the same

    void OpenAheadLoop();
    std::thread openAhead_; // started by the first request, joined by Join
    std::mutex openLock_;
    std::condition_variable openWake_;
    // ---- guarded by openLock_ ----
    std::string openFront_, openRear_; // the newest request's paths
    uint64_t requested_ = 0;           // the newest request's ticket
    uint64_t done_ = 0;                // the last ticket read
    bool stop_ = false;                // Join: the thread ends
};

} // namespace kinetta
