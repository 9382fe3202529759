#pragma once
// CkinettaDlg: the main window. It owns the movie areas, the recording list
// panel, the sliders, the toolbar and the caption buttons, turns a selection in
// the list into an open recording, lays everything out, and routes: commands
// and private messages go to the window's own handlers, to its playback
// control or, by the rows of the feature tables, to the feature that owns
// them.
//
// What has state of its own lives in objects the window holds: ViewerState
// state_ (what the features react to, with a signal per change),
// PlaybackControl play_ (playback commands, seeking, the position timer,
// speed, volume, near end, continuous play), MovieViewState view_ (display
// models, zoom, mirror, aspect, full screen) and MovieViewControl views_ (the
// movie areas' owner, the display commands, full screen, the controller bar,
// the floating windows), TelemetryPrefetch prefetch_ (the read-ahead threads)
// and FeatureSet features_ (telemetry views, map, file flows, exports, GPX,
// services: kinetta_dlg_features.cpp creates them, and is the only file of
// the shell that includes their headers).
//
// The window is one class spread over several files by concern:
//   kinetta_dlg_startup.cpp   start-up stages, family decision, sources, shutdown
//   kinetta_dlg_layout.cpp    children, layout, painting, resize
//   kinetta_dlg_commands.cpp  commands, messages, browse, list and tree
//   kinetta_dlg_playback.cpp  select, open, ready, load, prepare, close, toolbar, timers
//   kinetta_dlg_features.cpp  the features, their table rows and what the
//                             window does for them
//
// Threads: everything runs on the UI thread except the two prefetch threads
// (telemetry_prefetch.h), which copy paths under the state lock. The
// controller bar's steps and the movie areas' inertia are paced by timers on
// the UI thread; the bar's stepping is ended at shutdown, before the engines go.
// The features' workers post their messages to this window.

#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/folder_scanner.h"
#include "kinetta/catalogue/source.h"
#include "kinetta/shell/main_layout.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/movie_static.h"
#include "kinetta/shell/movie_view_control.h"
#include "kinetta/shell/movie_view_state.h"
#include "kinetta/shell/playback_control.h"
#include "kinetta/shell/telemetry_prefetch.h"
#include "kinetta/shell/viewer_feature.h"
#include "kinetta/shell/viewer_state.h"
#include "kinetta/skin/command_target.h"
#include "kinetta/skin/resize_dialog.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

// The engine states the window compares with (GetState, CameraState).
using playcore::EngineState;
using playcore::kEngineClosed;
using playcore::kEnginePaused;
using playcore::kEnginePlaying;
using playcore::kEngineStopped;

class CFilerContainerDlg;
class CControllerDlg;
class CMovieDialog;
class CSkinButton;
class CSkinSliderCtrl;
class SourceWatch;
class QtMessageSink;
struct UpdateEndpoints; // kinetta/services/update_check.h

// Timer ids of the main window (the playback control runs 100, 107 and 109).
enum MainTimer : int {
    kTimerOpen = 101,        // 500 ms once, then 10 ms until the read-ahead is done: open
    kTimerOpenTimeout = 102, // 30 s once: give up waiting for an open
    kTimerIdle = 103,        // 1 s: idle processing
    kTimerToolbar = 104,     // once: update the toolbar
    kTimerPrepare = 105,     // 100 ms once: prepare the views of a loaded recording
    kTimerRelayout = 108,    // double-click time once: lay out after a move or resize
};

class CkinettaDlg : public CResizeDialog, public CommandTarget {
public:
    // What the window asks of its surroundings; tests replace the prompts.
    struct Hooks {
        // The product selection; 1 "TX40/40L", 2 "TX50", else not shown.
        std::function<int()> productPrompt;
        // The source dialog: true with the chosen kind and path, false on cancel.
        std::function<bool(SourceKind*, std::string*)> sourcePrompt;
        // A message box; returns its result.
        std::function<int(const QString& text, const QString& caption, int type)> messageBox;
        // The removable drives in the order the system reports them.
        std::function<std::vector<std::string>()> removableRoots;
        // The update check's addresses; "endpoints.ini" of the installation when empty.
        std::function<UpdateEndpoints()> updateEndpoints;
        // Whether the browser component that shows the map is missing (the
        // map window decides); its notice is shown at start-up when true.
        std::function<bool()> browserComponentMissing;
        // The address the browser-component notice links to; empty: the page
        // of the Debian package that provides the component.
        std::string browserComponentPage;
        // Whether the map window starts its browser control (empty: it
        // does; tests of other views leave it off); the folder of the map's
        // browser profile (empty: the user's cache folder).
        std::function<bool()> startMapBrowser;
        std::string mapStorageRoot;
        // The folder of "Default_Folder.ini"; the directory current at
        // start-up when empty (settings_location.h decides it for the app).
        std::string settingsDirectory;
        // The source named on the command line ("kinetta PATH"); empty: none.
        std::string openPath;
        // Receives each step of the viewer's ordered sequences (the frames
        // shown inside the telemetry lock, closing); empty: none.
        std::function<void(std::string_view step)> trace;
    };

    // playback: the playback session (configured with the message sink of the
    // movie areas); the window's one way to the engines. It outlives the window.
    explicit CkinettaDlg(playcore::PlaybackSession& playback, Hooks hooks = {},
                         QWidget* parent = nullptr);
    ~CkinettaDlg() override;

    // The first start-up stage (the dialog's initialisation); posts the second.
    void StartupStage1();
    // The shutdown sequence; the window closes afterwards. Safe to call twice.
    void Shutdown();

    void OnCommand(int id) override;

    // ---- what tests and the owned windows read ----
    // What the features see (source, list, recording, playback), the
    // playback control, the view state and its control (the movie areas' owner).
    const ViewerState& State() const { return state_; }
    PlaybackControl& Control() { return play_; }
    const MovieViewState& View() const { return view_; }
    MovieViewControl& Views() { return views_; }
    // The features in the order of their creation (Find<T>() reaches one).
    const FeatureSet& Features() const { return features_; }
    CFilerContainerDlg* Filer() const { return filer_; }
    CMovieStatic* MovieArea(int camera) const { return areas_[camera == 1 ? 1 : 0]; }
    CSkinSliderCtrl* PositionSlider() const { return position_; }
    CSkinSliderCtrl* VolumeSlider() const { return volumeSlider_; }
    CSkinButton* ToolbarButton(int command) const;
    CSkinButton* CaptionButton(int command) const;
    QLabel* SpeedLabel() const { return speedText_; }
    QLabel* PositionLabel() const { return timeText_; }
    const MainLayout& Layout() const { return layout_; }
    const ToolbarState& Toolbar() const { return toolbar_; }
    const Catalogue& SourceCatalogue() const { return *catalogue_; }
    bool StartupComplete() const;
    // The source is being read: the list says "読み込み中…" until its first
    // folder has been read, then the rest of it is read behind the list.
    bool ReadingSource() const { return sourceScan_ != 0 || sourceVerify_ != 0; }
    RecorderFamily Family() const { return CurrentFamily(); }
    playcore::PlaybackSession& Playback() const { return playback_; }
    CControllerDlg* Controller() const { return views_.Controller(); }
    CMovieDialog* MapWindow() const { return views_.Floating().MapFrame(); }
    CMovieDialog* SecondMovieWindow() const { return views_.Floating().SecondMovie(); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void OnResizedByFrame() override;
    void OnDoubleClickRegion(HitRegion region) override;

private:
    // ---- start-up and shutdown (kinetta_dlg_startup.cpp) ----
    void StartupStage2();
    void ComputeScale();
    bool DecideRecorderFamily(const std::string& modelKey);
    // Hands the family of the run to everything that reads it besides the
    // file-name grammar: the playback session and the logo.
    void AdoptFamily();
    void ApplyModeLayout();
    // The source at start-up: the command line's path when it names one
    // (kept in the settings as the source dialog keeps a choice), else the
    // usual choice (ChooseInitialSource).
    SourceChoice InitialSource(SettingsStore& settings);
    // A source (at start-up, or chosen in the source dialog) read by
    // folderScanner_ while the window answers (the list says "読み込み中…"
    // meanwhile). resume (start-up): the last run's folder is read first and
    // its recording is opened again when the source has arrived.
    // A card or a folder is shown first with the tree its names give and its
    // first folder read in full; the whole source is then read by
    // sourceVerifier_ (StartSourceVerify), and only a tree that turns out
    // otherwise (a folder of unfinished recordings only) is shown again.
    void ReadSourceInBackground(const std::string& path, SourceKind kind, bool resume = true);
    void OnSourceRead(unsigned serial, ReadSourceResult result);
    void ShowReadSource(ReadSourceResult result);
    void StartSourceVerify();
    void OnSourceVerified(unsigned serial, ReadSourceResult result);
    // Takes the catalogue as the source: tree, watch, the map's "new source";
    // false (the list emptied, the failure reported) when !ok.
    bool AdoptSource(std::unique_ptr<Catalogue> catalogue, const std::string& path, bool ok);
    void WatchScreens();
    // The last run's recording ("SOURCE" / "LASTFOLDER", "LASTRECORDING",
    // "LASTPOSITION"): kept at shutdown, opened again at start-up.
    void RememberLastRecording();
    void ResumeLastRecording(SettingsStore& settings);
    // The monitor or its work area changed: S, the fonts, the design size and
    // the size multipliers are worked out again, then every window is laid out.
    void RescaleForScreen();

    // ---- layout (kinetta_dlg_layout.cpp) ----
    void CreateChildren();
    void CreateToolbar();
    // The keyboard (viewer_keys.h): its keys act through the window's commands.
    void CreateKeys();
    void LayOut();
    void PlaceMovieAreas();
    void ShowPlayFace(bool playing);

    // ---- features (kinetta_dlg_features.cpp) ----
    // What the window does for the playback control and the features.
    void ConnectRequests();
    // Creates every feature with its rows of the message and command tables.
    void CreateFeatures();

    // ---- commands, messages, list (kinetta_dlg_commands.cpp) ----
    void OnBrowse();
    void OnFolderSelect(int item);
    // Tree item `item` as the list, its first recording selected (played
    // when playFirst). inBackground: the folder is scanned by folderScanner_
    // and the list filled when its recordings arrive (a click in the tree,
    // the move into the next folder); otherwise scanned here (start-up, which
    // goes on with the rows).
    void ShowFolder(int item, bool playFirst, bool inBackground = false);
    void OnFolderScanned(unsigned serial, std::vector<RecordingEntry> entries);
    void ShowFolderEntries(int item, std::vector<RecordingEntry> entries, bool playFirst);
    void OnListRebuilt();
    void OnSourceLost();
    // The deleted recordings leave the catalogue and the list; row 0 is selected.
    void ReloadAfterDelete();

    // ---- the selection procedure (kinetta_dlg_playback.cpp) ----
    // The list's highlight moves to row when moveList, then the procedure starts.
    void SelectRecording(int row, int reason, bool moveList = false);
    void OpenSelectedRecording();
    // All expected movies of the open are ready (UM_MOVIE_READY of each).
    void MovieReady(int camera);
    void OnTelemetryPrefetched(unsigned serial);
    bool PlaySelected();
    void PrepareRecordingViews();
    void UpdateToolbar();
    // opening: the recording about to be opened (its prefetched telemetry is
    // kept), null when none follows.
    void CloseRecording(const RecordingEntry* opening = nullptr);
    void ResetViews();
    void ClearBusy();

    // ---- timers ----
    void StartTimer(int id, int ms, bool once);
    void KillTimer(int id);
    void OnTimer(int id);

    playcore::PlaybackSession& playback_; // UI thread, and the prefetch threads' PrefetchTelemetry
    Hooks hooks_;
    std::unique_ptr<QtMessageSink> sink_;
    // Zoom, mirror, aspect, full screen, the areas' display models, the
    // menu's camera (UI thread). Before state_, which reads it.
    MovieViewState view_;
    // What the features react to; the rows and the selection under its state lock.
    ViewerState state_;
    // Playback commands, seeking, the position, speed and volume (UI thread).
    PlaybackControl play_;
    std::unique_ptr<FamilyDecider> decider_;
    std::unique_ptr<Catalogue> catalogue_; // the source (its tree and folders); state_ reads it
    std::unique_ptr<SourceWatch> watch_;
    // The folder switch's scans (stopped at the shutdown) and the request
    // whose recordings the list waits for: its serial (0 none), tree item and
    // whether its first recording plays (UI thread).
    FolderScanner folderScanner_;
    unsigned folderScan_ = 0;
    int folderScanItem_ = -1;
    bool folderScanPlayFirst_ = false;
    unsigned sourceScan_ = 0; // the source's request, 0 when none is read
    std::string sourceScanPath_;
    SourceKind sourceScanKind_ = kSourceNone;
    bool sourceScanResume_ = false; // the start-up read: the last recording is opened again
    // The whole source's read after its tree by names was shown: its serial
    // (0 none) and the folder shown then (UI thread). A worker of its own,
    // so that a folder switch meanwhile does not give it up.
    FolderScanner sourceVerifier_;
    unsigned sourceVerify_ = 0;
    std::string sourceVerifyFolder_;

    // Children (owned by Qt's parent chain).
    std::array<CMovieStatic*, 2> areas_{};
    CFilerContainerDlg* filer_ = nullptr;
    CSkinSliderCtrl* position_ = nullptr;
    CSkinSliderCtrl* volumeSlider_ = nullptr;
    std::map<int, CSkinButton*> toolbarButtons_;
    std::map<int, CSkinButton*> captionButtons_;
    QLabel* speedText_ = nullptr;
    QLabel* timeText_ = nullptr;
    MainLayout layout_;
    ToolbarState toolbar_;
    std::map<int, QTimer*> timers_;
    // The movie areas' owner, the display commands, full screen, the
    // controller bar and the floating windows (UI thread).
    MovieViewControl views_;

    // The selection procedure (UI thread).
    int openReason_ = kOpenBySelection;
    // A recording a file flow closed, and where it stood: after the flow it
    // opens again at that frame, playing if it was playing. Taken once, by
    // the open of the same files.
    struct FlowResume {
        bool closed = false;     // a flow closed the movies (stopAndClose)
        std::string front, rear; // the recording's files; both empty: none was loaded
        long long frame = -1;    // its position, frames
        int engine = 0;          // the master engine's state then (stopped, paused, playing)
    };
    FlowResume flowResume_; // set by stopAndClose, read when the flow ends
    // The open that finishes at a position: the flow's, or the last run's.
    FlowResume resumeOpen_;
    // Seeks the just-prepared recording to resumeOpen_'s position (once).
    void ResumeAfterFlow();
    bool awaitingReady_ = false; // OpenMovies succeeded; UM_MOVIE_READY is due
    int expectedReady_ = 1;
    int readyCount_ = 0;
    bool fullyBuilt_ = false;
    QRect monitorRect_;

    // Joined before the next start and at shutdown.
    TelemetryPrefetch prefetch_;
    uint64_t openAhead_ = 0; // the selected recording's read-ahead ticket (prefetch_)
    // The features; ended before the members above (the last created first).
    FeatureSet features_;
};

} // namespace kinetta
