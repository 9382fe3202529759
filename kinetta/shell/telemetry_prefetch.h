#pragma once
// TelemetryPrefetch: the main window's two read-ahead threads. One reads the
// telemetry of the selected recording once its movies are ready and posts
// UM_TELEMETRY_PREFETCHED (wParam: the open's serial, so that an answer of an
// older open is told apart); the other, once the views are prepared, reads
// the telemetry of the next row so that continuous play finds it ready.
//
// Threads: each copies the paths it needs under the state lock and then
// calls the session's PrefetchTelemetry without it. At most one thread of
// each kind runs: a new one first joins the previous one, and Join (shutdown,
// a file flow) joins both. Start and Join run on the UI thread.

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
    void Join();

private:
    playcore::PlaybackSession& session_;
    const ViewerState& state_;
    QObject* window_;
    std::thread selected_; // joined before the next start and by Join
    std::thread next_;     // the same
};

} // namespace kinetta
