#pragma once
// CkinettaDlg: the main window. It owns the movie areas, the recording list
// panel, the sliders, the toolbar and the caption buttons, turns a selection in
// the list into an open recording and drives play, pause, previous, next, slow,
// fast-forward, seek, volume and the camera switch through the playback session.
//
// What has state of its own lives in objects the window holds and hands the
// messages to: PlaybackControl play_ (volume and fades, near end, continuous
// play, speed, slider), MovieViewState view_ (zoom, mirror, aspect, full
// screen) and FloatingWindows floating_ (the map frame, the second movie
// window). The window keeps the message map and the layout.
//
// The window is one class spread over several files by concern:
//   kinetta_dlg_startup.cpp   start-up stages, family decision, shutdown
//   kinetta_dlg_layout.cpp    children, layout, painting, resize
//   kinetta_dlg_commands.cpp  commands, messages, browse, list and tree
//   kinetta_dlg_playback.cpp  open, ready, prefetch, play, seek, timers
//   kinetta_dlg_views.cpp     display models, mirror, aspect, zoom, full
//                             screen, the floating windows, the controller
//                             bar and the movie areas' menu
//   kinetta_dlg_telemetry.cpp the acceleration graph and the information
//                             panel: placing, preparing, position updates,
//                             event navigation and detector switches
//   kinetta_dlg_services.cpp  the settings dialog, the update check and its
//                             notice, the display-on redraw
//   kinetta_dlg_fileops.cpp   the file operations' side: the flows' object,
//                             their commands and end messages, the reload
//                             after a delete
//   kinetta_dlg_map.cpp       the map window: bring-up, the bridge's
//                             messages, tracks and pins, position and status
//   kinetta_dlg_export.cpp    the CSV export and the still pictures
//
// Threads: everything runs on the UI thread except the two prefetch threads,
// which copy paths under the state lock, call PrefetchTelemetry and post
// UM_TELEMETRY_PREFETCHED. At most one thread of each kind runs; a new one
// first joins the previous one, and shutdown joins both. The controller bar's
// steps and the movie areas' inertia are paced by timers on the UI thread; the
// bar's stepping is ended at shutdown, before the engines go. The update check's worker
// (CInetConnectionAsync) only posts UM_UPDATE_FOUND; shutdown stops it first.

#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/source.h"
#include "kinetta/services/update_check.h"
#include "kinetta/shell/floating_windows.h"
#include "kinetta/shell/main_layout.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/movie_static.h"
#include "kinetta/shell/movie_view_state.h"
#include "kinetta/shell/playback_control.h"
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
class CLogoDlg;
class CSkinButton;
class CSkinSliderCtrl;
class CSkinProgressBarCtrl;
class SourceWatch;
class QtMessageSink;
class TelemetryViews;
class TelemetryAccess;
class CGSensorDlg;
class CInfoDlg;
class CSettingDlg;
class CUpdateDialog;
class CInetConnectionAsync;
class DisplayPowerWatch;
class CFileOps;
namespace map {
class MapWindow;
}
class CStillCapture;

// Timer ids of the main window.
enum MainTimer : int {
    kTimerPosition = 100,    // 100 ms: position display and near-end check
    kTimerOpen = 101,        // 500 ms once: open the selected recording
    kTimerOpenTimeout = 102, // 30 s once: give up waiting for an open
    kTimerIdle = 103,        // 1 s: idle processing
    kTimerToolbar = 104,     // once: update the toolbar
    kTimerPrepare = 105,     // 100 ms once: prepare the views of a loaded recording
    kTimerFadeIn = 107,      // 10 ms: volume fade-in
    kTimerRelayout = 108,    // double-click time once: lay out after a move or resize
    kTimerSpeed = 109,       // half the double-click time once: apply the speed change
};

// Why the current open was started.
enum OpenReason : int { kOpenBySelection = 0, kOpenByNext = 1, kOpenByPrevious = 2 };

class CkinettaDlg : public CResizeDialog, public CommandTarget, public MovieAreaOwner {
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
    void MovieReady(int camera) override;
    void MovieEnded(int camera) override;

    // ---- MovieAreaOwner / MovieViewHost: the movie areas' view operations ----
    bool DragView(int camera, float dx, float dy, float scale) override;
    void CommitViewRotation(int camera) override;
    void ResetModelPose(int camera) override;
    int CameraState(int camera) const override;
    void Redraw(int camera) override;
    bool InZoomMode() const override { return view_.ZoomMode(); }
    bool PlaybackNearEnd() override { return IsNearEnd(); }
    double AreaZoom(int camera) const override;
    void AreaClicked(int camera, QPoint point) override;
    void AreaResetViewScale(int camera) override;
    void AreaFullScreen(int camera) override;
    void AreaMenu(int camera, QPoint globalPoint) override;

    // ---- what tests and the owned windows read ----
    CFilerContainerDlg* Filer() const { return filer_; }
    CMovieStatic* MovieArea(int camera) const { return areas_[camera == 1 ? 1 : 0]; }
    CSkinSliderCtrl* PositionSlider() const { return position_; }
    // The position (frames) at which the shorter movie's area of `camera`
    // last switched to its no-data text; -1 when it has not.
    long long PairEndShownAt(int camera) const { return pairEndShownAt_[camera & 1]; }
    CSkinSliderCtrl* VolumeSlider() const { return volumeSlider_; }
    CSkinButton* ToolbarButton(int command) const;
    CSkinButton* CaptionButton(int command) const;
    QLabel* SpeedLabel() const { return speedText_; }
    QLabel* PositionLabel() const { return timeText_; }
    const MainLayout& Layout() const { return layout_; }
    const ToolbarState& Toolbar() const { return toolbar_; }
    const Catalogue& SourceCatalogue() const { return *catalogue_; }
    bool Loaded() const { return loaded_; }
    bool Busy() const { return busy_; }
    bool NearEnd() const { return play_.NearEnd(); }
    bool Finished() const { return play_.finished; }
    int SelectedIndex() const;
    int OpenCount() const { return openCount_; } // OpenSelectedRecording runs so far
    int ShownCamera() const { return shownCamera_; }
    int CameraSelection() const { return cameraSelection_; }
    int Volume() const { return play_.Volume(); }
    long long SliderLast() const { return play_.sliderLast; }
    bool StartupComplete() const;
    RecorderFamily Family() const;
    playcore::PlaybackSession& Playback() const { return playback_; }
    CControllerDlg* Controller() const { return controller_; }
    CMovieDialog* MapWindow() const { return floating_.MapFrame(); }
    CMovieDialog* SecondMovieWindow() const { return floating_.SecondMovie(); }
    CLogoDlg* LogoPanel() const { return logo_; }
    bool FullScreen() const { return view_.FullScreen(); }
    bool MapVisible() const; // the map window is switched on (38013)
    // The map window: its frame, map dialog, logo panel and the bridge.
    map::MapWindow* Map() const;
    bool Mirrored(int camera) const { return view_.Mirrored(camera); }
    bool KeepsAspect() const { return view_.KeepAspect(); }
    // Seeks as the position slider does when released at frame.
    void SeekFromSlider(long long frame);
    // The acceleration graph, the information panel and what they share.
    TelemetryViews* Telemetry() const { return telemetry_.get(); }
    CGSensorDlg* Graph() const;
    CInfoDlg* InfoPanel() const;
    // The settings dialog, the update notice (null until one is shown) and the check.
    CSettingDlg* SettingsDialog() const;
    CUpdateDialog* UpdateNotice() const;
    CInetConnectionAsync* UpdateCheck() const;
    // The display came back on: the current cameras are drawn again.
    void OnDisplayPowerOn();
    // The file operations (save, join, upload conversion, delete, exports).
    CFileOps* FileOps() const;
    // Whether a file operation's worker runs (toolbar and list are held).
    bool FileOpRunning() const;
    // The still-picture command and its last names; whether it runs (the
    // toolbar, the list and the sliders are held meanwhile).
    CStillCapture* StillCapture() const { return still_.get(); }
    bool StillRunning() const;

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
    bool OpenSource(const std::string& path, SourceKind kind);
    // The source at start-up: the command line's path when it names one
    // (kept in the settings as the source dialog keeps a choice), else the
    // usual choice (ChooseInitialSource).
    SourceChoice InitialSource(SettingsStore& settings);
    // Shows a source whose catalogue has been opened (ok: the open succeeded).
    bool ShowSource(std::unique_ptr<Catalogue> catalogue, const std::string& path, SourceKind kind,
                    bool ok);
    void WatchScreens();
    // The monitor or its work area changed: S, the fonts, the design size and
    // the size multipliers are worked out again, then every window is laid out.
    void RescaleForScreen();

    // ---- layout (kinetta_dlg_layout.cpp) ----
    void CreateChildren();
    void CreateToolbar();
    void LayOut();
    void PlaceMovieAreas();
    static QRect PanoramaBand(const QRect& r, int model);
    void ShowPlayFace(bool playing);
    void PlaceController();

    // ---- commands, messages, list (kinetta_dlg_commands.cpp) ----
    void OnBrowse();
    // "GPXで保存" (kinetta_dlg_gpx.cpp).
    void OnGpxExport();
    void OnToStart();
    void OnPrevious();
    void OnNext(bool forMovieEnd);
    void OnPlayPause();
    void OnSpeedButton(bool faster);
    void ApplySpeedChange();
    void OnCameraSwitch();
    void OnListSelect(int row);
    void OnFolderSelect(int item, const QString& path);
    void ShowFolder(int item, bool playFirst);
    void OnListRebuilt();
    void OnSourceLost();
    void OnSliderMessage(int message, int control, long long value);
    void ShowMessage(const QString& text, const QString& caption);

    // ---- playback (kinetta_dlg_playback.cpp) ----
    void SelectRecording(int row, int reason);
    void OpenSelectedRecording();
    void OnTelemetryPrefetched(unsigned serial);
    bool PlaySelected();
    bool StartPlayback();
    void StopPlayback();
    bool IsNearEnd();
    void FadeOut();
    void SeekTo(int cam, long long frame, int state);
    void OnPositionTimer();
    void UpdatePositionDisplay(long long position);
    void PrepareRecordingViews();
    void UpdateViewsAt(long long frame);
    void UpdateToolbar();
    void ShowSpeedText();
    // Applies the volume to the engines; store: also write "DISPLAY"/"VOLUME"
    // (only when it differs from what the file holds).
    void SetVolume(int volume, bool store = true);
    void ApplyVolume() { SetVolume(play_.Volume()); }
    // opening: the recording about to be opened (its prefetched telemetry is
    // kept), null when none follows.
    void CloseRecording(const RecordingEntry* opening = nullptr);
    void ResetViews();
    void ClearBusy();
    void StartPrefetch();
    void StartNextPrefetch();
    void JoinPrefetchThreads();
    int MasterCamera() const; // the engine the position and state are read from
    int SpeedEngine() const;  // the engine whose speed step is asked
    const RecordingEntry* SelectedEntry() const;
    void ShowNoDataTexts();

    // ---- views (kinetta_dlg_views.cpp) ----
    void CreateMovieWindows();
    void EndMovieWindows();
    void PlaceFloatingAtStart();
    bool OnViewCommand(int id); // true when id was one of the view commands
    void OnZoomCommand();
    void OnDisplayModeSwitch();
    void OnFlip(int camera);
    void OnMapDisplay();
    void OnAspect();
    void OnResetView();
    void ToggleFullScreen();
    void ApplyAreaAspect(int area);
    void ApplyPlacements();
    void OnWindowSized(QObject* window);
    void OnWindowPainted(QObject* window);
    void OnWindowReset();
    QRect ScreenRect(const Rect& relative) const;
    void EnableController();
    bool HandleViewMessage(int message, long long lParam);

    // ---- acceleration graph and information panel (kinetta_dlg_telemetry.cpp) ----
    void CreateTelemetryViews();
    void PlaceTelemetryViews(bool shown);
    void PrepareTelemetryViews();
    void ResetTelemetryViews();
    // UM_GRAPH_PREV, UM_GRAPH_NEXT, UM_ICON_FILTER, UM_SETTINGS_NOTIFY; false for others.
    bool HandleTelemetryMessage(int message, std::uintptr_t wParam, std::intptr_t lParam);
    void OnGraphStep(bool next);

    // ---- services (kinetta_dlg_services.cpp) ----
    void CreateServices();
    void StartUpdateCheck();
    // Shutdown step 1: the update check stops (a transfer in progress is aborted).
    void StopServices();
    void EndServiceWindows();
    void OnUpdateFound();
    void ShowBrowserComponentNotice();
    void ShowSettingsDialog();
    void LayOutSettingsDialog();
    // The detector switches changed: the map's event icons of the selected
    // recording are rebuilt (the map bridge's entry point).
    void RebuildMapEventIcons();

    // ---- file operations (kinetta_dlg_fileops.cpp) ----
    void CreateFileOps();
    void PlaceFileOps(const QRect& rect);
    // Closing: a running flow is cancelled and its worker waited for.
    void EndFileOps();
    // UM_PROGRESS, UM_FILEOP_DONE, UM_FILEOP_RELOAD; false for others.
    bool HandleFileOpMessage(int message, std::uintptr_t wParam, std::intptr_t lParam);
    void ReloadAfterDelete();
    // Command 38007's text and tooltip follow the source: "連結" on a card (or
    // without a source), "アップロード変換" for a folder or a single file.
    void UpdateJoinButton();
    // ---- map (kinetta_dlg_map.cpp) ----
    void CreateMap();
    void StartMapBringUp();
    void EndMap();
    // UM_WEBVIEW_CREATED, UM_MAP_STATUS, UM_MAP_SEEK; false for others.
    bool HandleMapMessage(int message, std::intptr_t lParam);
    // The tracks and pins of the open recording to the page, until they
    // have reached it once for this open (and again when the page reports
    // ready, the list is rebuilt or the detector switches change).
    void RunMapTracksStep();
    void PrepareMapViews();
    // The page's play status: 0 playing (also reveals the map), 1 paused, 2 stopped.
    void MapStatus(int kind);
    void MapMarkerToPosition();
    // The map part of a position update (telemetry locked).
    void UpdateMapAt(long long frame);
    void LayOutMap();
    void RebuildMapGroup();
    void MapSourceChanged();

    // ---- CSV export and still pictures (kinetta_dlg_export.cpp) ----
    void CreateExports();
    void OnCsvExport();
    void OnStillPicture();

    // ---- timers ----
    void StartTimer(int id, int ms, bool once);
    void KillTimer(int id);
    bool TimerActive(int id) const;
    void OnTimer(int id);

    playcore::PlaybackSession& playback_; // UI thread, and the prefetch threads' PrefetchTelemetry
    // Volume and fades, near end, continuous play, speed and slider state (UI thread).
    PlaybackControl play_;
    Hooks hooks_;
    std::unique_ptr<QtMessageSink> sink_;
    std::unique_ptr<FamilyDecider> decider_;
    std::unique_ptr<Catalogue> catalogue_; // the source (its tree and folders)
    std::unique_ptr<SourceWatch> watch_;
    std::string modelKey_;
    bool traceFlag_ = false, parkingTrace_ = false;

    // Children (owned by Qt's parent chain).
    std::array<CMovieStatic*, 2> areas_{};
    CFilerContainerDlg* filer_ = nullptr;
    CSkinSliderCtrl* position_ = nullptr;
    CSkinSliderCtrl* volumeSlider_ = nullptr;
    CSkinProgressBarCtrl* progress_ = nullptr;
    std::map<int, CSkinButton*> toolbarButtons_;
    std::map<int, CSkinButton*> captionButtons_;
    CControllerDlg* controller_ = nullptr;
    FloatingWindows floating_; // the map frame and the second movie window (UI thread)
    CLogoDlg* logo_ = nullptr; // child of the map window
    QLabel* speedText_ = nullptr;
    QLabel* timeText_ = nullptr;
    MainLayout layout_;
    ToolbarState toolbar_;
    std::map<int, QTimer*> timers_;

    // Playback state (UI thread; selected_ and rows_ also under stateLock_).
    mutable std::mutex stateLock_;     // the state lock
    std::mutex mapDataLock_;           // the map-data lock (the map's event lists)
    int selected_ = -1;                // guarded by stateLock_
    std::vector<RecordingEntry> rows_; // list rows; guarded by stateLock_
    int openReason_ = kOpenBySelection;
    bool loaded_ = false;
    bool playAfterLoad_ = false;
    bool controlsDisabled_ = false;
    bool busy_ = false;
    bool awaitingReady_ = false; // OpenMovies succeeded; UM_MOVIE_READY is due
    int expectedReady_ = 1;
    bool pair_ = false;
    bool combined_ = false;
    int cameraSelection_ = kCameraFront;
    int shownCamera_ = 0;
    int readyCount_ = 0, endedCount_ = 0;
    std::array<long long, 2> pairEndShownAt_{-1, -1}; // UI thread
    int openCount_ = 0;
    unsigned openSerial_ = 0; // counts opens; a prefetch answer of an older open is stale
    bool shutDown_ = false;
    bool stage1Done_ = false;
    bool fullyBuilt_ = false;
    QRect monitorRect_;

    // Zoom, mirror, aspect, full screen, the menu's camera (UI thread).
    MovieViewState view_;

    // Graph and panel (UI thread); the access reads the session's telemetry
    // through playback_ and outlives the views' windows.
    std::unique_ptr<TelemetryAccess> telemetryAccess_;
    std::unique_ptr<TelemetryViews> telemetry_;

    // Services (UI thread). The settings dialog is a child deleted with the
    // window; the notice is a top-level window owned here.
    CSettingDlg* settingDlg_ = nullptr;
    std::unique_ptr<CUpdateDialog> updateDlg_;
    std::unique_ptr<CInetConnectionAsync> inet_;
    std::unique_ptr<DisplayPowerWatch> displayPower_;

    // File operations (UI thread; the flows' worker is the object's JobControl).
    std::unique_ptr<CFileOps> fileOps_;
    // The map window (UI thread; its monitor thread only writes the
    // reachability flag). Destroyed at shutdown before the engines go.
    std::unique_ptr<map::MapWindow> map_;
    unsigned mapTracksFor_ = 0; // openSerial_ whose tracks and pins reached the page; 0 none
    std::unique_ptr<CStillCapture> still_; // the still-picture command (UI thread)

    std::thread prefetch_;     // joined before the next start and at shutdown
    std::thread nextPrefetch_; // the same
};

} // namespace kinetta
