#pragma once
// ViewerState: what the viewer's features react to, and a Qt signal for each
// change of it. The main window owns one and hands it to every feature it
// creates (viewer_feature.h). The window and its playback control set the
// properties and emit; a feature connects to the signals it needs, reads the
// properties, and asks the window for what only the window can do through
// Requests. The window calls no feature by name for these changes, and no
// feature includes the window's header: this header and viewer_feature.h
// are all a feature sees of the shell.
//
// Orders kept here, in one place:
//  * slots of one signal run in the order they were connected, which is the
//    order in which the window created the features (kinetta_dlg_features.cpp);
//  * ShowFrame emits FrameShown between the session's LockTelemetry and
//    UnlockTelemetry, so that every view reads the records of one frame
//    while they stay still, and emits nothing when the lock is refused;
//  * Shutdown steps are emitted one by one in ShutdownStep order.
// Each step of these sequences is named through Note(), which writes it to
// the "kinetta.viewer" logging category (silent by default) and to the trace
// hook, so that the order can be watched.
//
// Threads: the UI thread, except the rows and the selected index, which the
// prefetch threads copy under RowsLock().

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"

namespace playcore {
class PlaybackSession;
}
namespace platform {
class MessageSink;
}

class QWidget;

namespace kinetta {

class CkinettaDlg;
class CMovieDialog;
class CSkinButton;
class MovieViewState;
class PlaybackControl;

// Where the window put the features' windows in its last layout (pixels of
// the main window, except windowTopLeft, which is on the screen).
struct FeaturePlaces {
    QRect graph, infoPanel, progressBar;
    double scale = 1.0;     // display scale S
    bool maximised = false; // the main window is maximised
    bool chrome = true;     // false in full screen: only the movie area is shown
    QPoint windowTopLeft;   // the main window's top-left corner
};

// The steps of closing the viewer, emitted in this order.
enum class ShutdownStep : int {
    kStopWork = 0,   // long work ends: flows cancelled and joined, the update check stopped
    kEndWindows = 1, // the features' windows go (the engines still run)
    kTakeLocks = 2,  // the engines are gone: each lock is taken once more
};

class ViewerState : public QObject {
    Q_OBJECT
public:
    // What a feature asks of the window. The window fills every member once,
    // before it creates the features; each is called on the UI thread.
    struct Requests {
        // Seeks as the graph and the map do: to frame, in the master engine's
        // state. Nothing while no recording is loaded.
        std::function<void(long long frame)> seek;
        // Whether playback is within its last frames (asking latches it, as
        // a playback command does).
        std::function<bool()> nearEnd;
        // The playback position, frames, within the position slider's range.
        std::function<long long()> position;
        // Every view shown again at the playback position (when loaded).
        std::function<void()> refreshViews;
        // The toolbar button of a command; null when it has none.
        std::function<CSkinButton*(int command)> commandButton;
        // The map window's frame joins (or, null, leaves) the floating
        // windows that the window places and saves.
        std::function<void(CMovieDialog* frame)> adoptMapFrame;
        // The map frame's default place beside the main window (screen pixels).
        std::function<QRect()> mapDefaultPlace;
        // Stops playback and closes the movies; nothing reads a source afterwards.
        std::function<void()> stopAndClose;
        // A flow started (true) or ended (false): the toolbar and the list
        // follow, and after the end the selected recording opens again.
        std::function<void(bool running)> flowRunning;
        // The deleted recordings leave the list and the catalogue; row 0 is selected.
        std::function<void()> reloadAfterDelete;
        // Sets the processed mark of these entries in the rows and the catalogue.
        std::function<void(const std::vector<RecordingEntry>& entries)> markProcessed;
        // Disables (true) or restores (false) the sliders and the toolbar.
        std::function<void(bool held)> holdControls;
        // Pauses a playing movie where it stands and shows its position;
        // returns the position (frames), -1 when nothing is loaded.
        std::function<long long()> holdPosition;
        // The program's message box (CMsgBox types and results).
        std::function<int(const QString& text, const QString& caption, int type)> messageBox;
    };

    // session: the playback session (outlives the state). window: the main
    // window, to which features post their messages and parent their windows.
    // view: the window's view state, read for FullScreen and Mirrored.
    ViewerState(playcore::PlaybackSession& session, QWidget* window, platform::MessageSink* sink,
                const MovieViewState& view);
    ~ViewerState() override;

    playcore::PlaybackSession& Session() const { return session_; }
    QWidget* Window() const { return window_; }
    platform::MessageSink* Sink() const { return sink_; }
    const Requests& Ask() const { return requests_; }

    // ---- the source ----
    // The source's catalogue; null before the first source. Its entries may
    // be changed by the file flows (marks, deleted recordings).
    Catalogue* Source() const { return source_; }
    SourceKind Kind() const { return source_ ? source_->Kind() : kSourceNone; }
    const std::string& ModelKey() const { return modelKey_; }
    // The source is a card with the voltage-trace marker file.
    bool VoltageTrace() const { return voltageTrace_; }

    // ---- the list (rows and selection guarded by RowsLock) ----
    std::mutex& RowsLock() const { return lock_; }
    const std::vector<RecordingEntry>& RowsLocked() const { return rows_; }
    int SelectedLocked() const { return selected_; }
    std::vector<RecordingEntry> Rows() const;
    int SelectedIndex() const;
    // The selected row; UI thread only (rows change only on it). Null for none.
    const RecordingEntry* SelectedEntry() const;

    // ---- the recording and the cameras ----
    bool Loaded() const { return loaded_; }                  // telemetry loaded; playback may start
    bool Busy() const { return busy_; }                      // from a selection until the open ends
    unsigned OpenSerial() const { return openSerial_; }      // counts opens of this run
    bool Combined() const { return combined_; }              // one file holds both cameras
    bool Pair() const { return pair_; }                      // front and rear files
    int CameraSelection() const { return cameraSelection_; } // 0 front, 1 rear, 2 both
    int ShownCamera() const { return shownCamera_; }         // the camera the main area shows
    bool FullScreen() const;
    bool Mirrored(int camera) const;

    // ---- the run ----
    bool Started() const { return started_; } // the first start-up stage has run
    bool ShutDown() const { return shutDown_; }

    // Names a step of an ordered sequence (see above).
    void Note(std::string_view step) const;
    // Receives every Note (tests watch the orders with it); empty: none.
    void SetTrace(std::function<void(std::string_view)> trace) { trace_ = std::move(trace); }

    // ---- what the window does (it alone emits) ----
    // FrameShown(frame) inside the telemetry lock; nothing when it is refused.
    void ShowFrame(long long frame);
    void EmitShutdownStep(ShutdownStep step);

signals:
    // ---- the source ----
    // A new source is about to replace the current one.
    void SourceChanged();
    // The new source is shown (Source() is its catalogue; it may have failed to open).
    void SourceOpened();
    // The source went away; the list is empty.
    void SourceLost();

    // ---- the list ----
    // The rows changed: a new scan, a filter toggle, a sort or a delete.
    void ListRebuilt();

    // ---- the recording ----
    // The movies of the selected recording opened; its readiness follows.
    void RecordingOpened(const kinetta::RecordingEntry& entry, kinetta::RecorderFamily family);
    // Once per loaded recording: the views take its values.
    void RecordingPrepared();
    // The recording is given up; emitted before the session lets go of its
    // records, so that the views drop them first.
    void RecordingClosed();

    // ---- playback ----
    // The master engine was started (kEnginePlaying), paused by the play
    // command (kEnginePaused) or stopped (kEngineStopped).
    void PlaybackStateChanged(int state);
    // The speed text was shown again (empty: no engine ready, or no text for the step).
    void SpeedShown(const QString& text);
    // The views show frame (within the slider's range): on the position
    // timer, on every seek and while the position slider is dragged.
    // Emitted with the telemetry locked (ShowFrame).
    void FrameShown(long long frame);
    // A seek of a stopped or paused movie, or the first frame of a prepared
    // recording, has settled: markers move to the shown position.
    void StillFrameSettled();
    // A tick of the 100 ms position timer (before the position is read).
    void PositionTick();
    // The last recording of the last folder has ended; playback is back at its start.
    void PlaybackFinished();

    // ---- the window ----
    // The first (1) or second (2) start-up stage has run.
    void StartupStageDone(int stage);
    void LaidOut(const kinetta::FeaturePlaces& places);
    // The toolbar was computed again (Busy() and Kind() may have changed).
    void ToolbarUpdated();
    // A floating frame (CMovieDialog) changed size.
    void FloatingFrameSized(QObject* frame);
    void ShuttingDown(kinetta::ShutdownStep step);

private:
    friend class CkinettaDlg;
    friend class PlaybackControl;

    playcore::PlaybackSession& session_;
    QWidget* window_;
    platform::MessageSink* sink_;
    const MovieViewState& view_;
    Requests requests_;
    std::function<void(std::string_view)> trace_;

    // Written by the window and the playback control, UI thread.
    Catalogue* source_ = nullptr; // owned by the window
    std::string modelKey_;
    bool voltageTrace_ = false;
    mutable std::mutex lock_;          // the state lock
    std::vector<RecordingEntry> rows_; // list rows; guarded by lock_
    int selected_ = -1;                // guarded by lock_
    bool loaded_ = false;
    bool busy_ = false;
    unsigned openSerial_ = 0; // a prefetch answer of an older open is stale
    bool combined_ = false;
    bool pair_ = false;
    int cameraSelection_ = 0;
    int shownCamera_ = 0;
    bool started_ = false;
    bool shutDown_ = false;
};

} // namespace kinetta
