#pragma once
// MapWindow: the viewer's map window. It owns the floating frame
// "MAPDISPLAY" (caption "マップ"), the map dialog (the browser control of the
// map page) and the logo panel, both children of the frame and of the same
// size, and the main window's side of the bridge (CGoogleMapDlgWrap, with the
// reachability monitor). It brings the browser control up on a frame the user
// cannot see, asks for the page when a position with a fix is there, and on
// every position update decides whether the frame shows the map or the logo
// panel (the plain logo, or the notice picture once the map was used and the
// tile server cannot be reached).
//
// The viewer's map feature (map_feature.h) owns one and hands it
// UM_WEBVIEW_CREATED and UM_MAP_STATUS, the position updates (with the
// telemetry locked), playback starts, the command 38013 and source changes;
// what the map reads of the main window comes through MapWindowHost.
//
// Threads: UI thread only, except the wrap's reachability flag (its monitor
// thread) and its group track (its own mutex).

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

#include "kinetta/map/inet_connection.h"
#include "kinetta/map/map_address.h"

namespace platform {
class MessageSink;
}

namespace kinetta {

class CMovieDialog;
class CLogoDlg;
class TelemetryAccess;

namespace map {

class CGoogleMapDlg2;
class CGoogleMapDlgWrap;

// The main window's one-shot map refresh timer: id 110, 500 ms.
inline constexpr int kMapRefreshTimerId = 110;
inline constexpr int kMapRefreshTimerMs = 500;

// Where a frame that must not be seen is kept on a desktop that cannot make
// it transparent (screen pixels; off every screen).
inline constexpr int kOffScreenX = -32000;
inline constexpr int kOffScreenY = -32000;

// Whether the browser component can start: its helper process
// (QtWebEngineProcess, or the one QTWEBENGINEPROCESS_PATH names) exists and
// may be executed.
bool BrowserComponentAvailable();

// What the map window reads of the main window. Every function is called on
// the UI thread; position() and the telemetry's reader are read with the
// telemetry locked.
struct MapWindowHost {
    std::function<bool()> recordingLoaded;
    std::function<bool()> fullScreen;
    // List index of the open recording; -1 when none is selected.
    std::function<int()> selectedIndex;
    // The selected recording is a parking recording.
    std::function<bool()> selectedParking;
    // The playback position, frames, clamped to the position slider's range.
    std::function<long long()> position;
    // Every view shown again at the playback position.
    std::function<void()> refreshViews;
    // The frame's default place beside the main window (screen pixels).
    std::function<QRect()> defaultPlace;
    // The information panel's flag byte B of the open recording (1 when it
    // has none).
    std::function<int()> flagB;
    TelemetryAccess* telemetry = nullptr; // the session's records; not owned
};

class MapWindow : public QObject {
public:
    struct Options {
        MapTileSettings tiles;
        QString storageRoot;               // the browser profile's folder; empty: the user's cache
        bool startBrowser = true;          // false: the bring-up is never started
        bool noRuntime = false;            // the browser component cannot start
        CInetConnectionAsync::Probe probe; // empty: the tile server's root over libcurl
        std::chrono::milliseconds probePeriod = CInetConnectionAsync::kPeriod;
        // Named after each step of Shutdown (monitor, bridge, windows); empty: none.
        std::function<void(std::string_view step)> note;
    };

    // notify: the main window (UM_WEBVIEW_CREATED, UM_MAP_STATUS, UM_MAP_SEEK
    // are posted to it through sink). The frame is created hidden, its
    // contents at size 0 until the first layout; the monitor starts.
    MapWindow(QObject* notify, platform::MessageSink* sink, MapWindowHost host, Options options);
    ~MapWindow() override; // Shutdown

    CMovieDialog* Frame() const { return frame_; }
    CLogoDlg* Logo() const { return logo_; }
    CGoogleMapDlg2* Dialog() const { return dialog_; }
    CGoogleMapDlgWrap& Wrap() { return *wrap_; }

    // The main window finished its initialisation (UpdateMapOrLogo runs
    // only afterwards).
    void SetInitialised(bool on) { initialised_ = on; }
    // Bring-up: the frame shown fully transparent (and off screen), the
    // browser control started inside the map dialog.
    void StartBringUp();
    // UM_WEBVIEW_CREATED: the first placement of the frame, then RequestMapPage.
    void OnWebViewCreated();
    // UM_MAP_STATUS: the page reported ready; the map counts as used.
    void OnPageReady() { mapUsed_ = true; }

    bool PageMayLoad();
    void RequestMapPage();
    void UpdateMapOrLogo();
    // The map part of a position update at frame (telemetry locked by the
    // caller): the current frame, the map position (or the offline
    // sentinel), the map-or-logo decision and the page request.
    void UpdatePosition(long long frame);

    // Command 38013: the map window on or off; the first use reveals it.
    void SwitchMapWindow();
    // The map window is switched off (change of source).
    void SwitchOff();
    // Playback started: the status text becomes empty; the first start
    // reveals the frame.
    void OnPlaybackStarted();
    // The map dialog and the logo panel to the frame's inner rectangle.
    void SizeContents();

    // Shows (on) or hides the map dialog and keeps the shown flag; true
    // when the visibility changed.
    bool ShowMap(bool on);

    // Stops the timer, the monitor and the bridge; deletes the frame with
    // the map dialog (its browser control) and the logo panel. Safe twice.
    void Shutdown();

    // ---- state (tests and the main window read it) ----
    bool MapOn() const { return mapOn_; }
    bool Revealed() const { return revealed_; }
    bool NoRuntime() const { return noRuntime_; }
    bool PageRequested() const { return pageRequested_; }
    bool PageRequestStepDone() const { return pageRequestStep_; }
    bool PositionReady() const { return positionReady_; }
    bool MapUsed() const { return mapUsed_; }
    bool MapShownFlag() const { return shown_; }
    bool KeptOffScreen() const { return offScreen_; }

private:
    void Reveal();
    void ChooseLogoPicture(); // step 5 of UpdateMapOrLogo
    // The open recording's GPS sample count and whether the sample at frame
    // has a valid fix; telemetry locked by the caller.
    int GpsCountLocked();
    bool FixAtLocked(long long frame);
    void StartRefreshTimer();

    MapWindowHost host_;
    Options options_;
    QPointer<QObject> notify_;
    std::unique_ptr<CGoogleMapDlgWrap> wrap_;
    CMovieDialog* frame_ = nullptr;    // top-level; owned here
    CGoogleMapDlg2* dialog_ = nullptr; // child of frame_
    CLogoDlg* logo_ = nullptr;         // child of frame_
    QTimer refresh_;                   // timer 110

    // Flags (UI thread).
    bool initialised_ = false;
    bool mapOn_ = false;           // command 38013; off at start and after a source change
    bool revealed_ = false;        // the frame became opaque (never cleared)
    bool noRuntime_ = false;       // the browser component cannot start
    bool pageRequestStep_ = false; // RequestMapPage's first step ran
    bool pageRequested_ = false;   // the page load was asked for (once per run)
    bool positionReady_ = false;
    bool mapUsed_ = false;   // the page reported ready at least once
    bool shown_ = false;     // ShowMap's flag: the map dialog is shown
    bool offScreen_ = false; // the frame waits off screen until revealed
    bool shutDown_ = false;
};

} // namespace map
} // namespace kinetta
