#pragma once
// CGoogleMapDlgWrap: the main window's side of the map bridge. It answers the
// page's host calls (IHostWebViewFuncs), owns the reachability monitor, keeps
// the flags the main window consults, runs scripts in the page and posts the
// page's events to the main window as private messages.
//
// Threads: every member is the UI thread's, except the reachability flag
// (written by the monitor thread) and the group track (its own mutex).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kinetta/map/host_funcs.h"
#include "kinetta/map/inet_connection.h"
#include "kinetta/map/map_address.h"
#include "kinetta/map/map_scripts.h"
#include "kinetta/map/track_array.h"
#include "platform/message_sink.h"

namespace kinetta::map {

// The map dialog's state the bridge reads: the position and play status the
// page receives with the next SetSend.
struct MapState {
    double latitude = 0;
    double longitude = 0;
    std::string status; // "", "pause" or "stop"
};

// What the bridge needs of the map dialog (CGoogleMapDlg2 implements it).
class IMapDialog {
public:
    virtual ~IMapDialog() = default;
    virtual MapState& State() = 0;
    // Runs a script in the page, result ignored; dropped without a page.
    virtual void ExecuteMapScript(const std::string& script) = 0;
    // Posts the state message (built with the holder's CJsonHolder).
    virtual void PostMapState(const MapState& state) = 0;
};

class CGoogleMapDlgWrap : public IHostWebViewFuncs {
public:
    // sink posts to the main window (SetMessageTarget); probe is the monitor's
    // reachability test, run once a period; tiles name the tile server the
    // page uses.
    CGoogleMapDlgWrap(platform::MessageSink* sink, CInetConnectionAsync::Probe probe,
                      MapTileSettings tiles = {},
                      std::chrono::milliseconds period = CInetConnectionAsync::kPeriod);
    ~CGoogleMapDlgWrap() override;

    void SetMessageTarget(platform::MessageTarget target) { target_ = target; }
    void SetMapDialog(IMapDialog* dialog) { dialog_ = dialog; }
    IMapDialog* MapDialog() const { return dialog_; }
    const MapTileSettings& Tiles() const { return tiles_; }

    // Starts the reachability monitor's thread.
    void StartMonitor() { inet_.Start(); }
    CInetConnectionAsync& Connection() { return inet_; }

    // ---- IHostWebViewFuncs ----
    int ConnectTest() override;
    void OnInitHtml() override;
    TrackArray GetGPSData() override;
    TrackArray GetGridData(std::string_view text) override;
    std::string GetRelJpgNum() override;
    void OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                           double speed, double direction) override;
    std::string GetMapURL() override;
    void SetSend() override;
    // Posts UM_CLIP_AT_EVENT (wParam the kind, lParam the frame) when icolor
    // is an event kind 0..13.
    void OnRightClickCrashPoint(int ifile, int igrid, int ipos, int icolor) override;

    // ---- calls from the rest of the program ----
    // Kind 0 "" (playing), 1 "pause", 2 "stop" and then one MoveMarker script.
    void SetMapStatus(int kind);
    // The four track scripts for the recording at recordingIndex of the list.
    void RebuildMapTrack(int recordingIndex);
    // One AddCrashPos script per event (WalkEvents); true when the walk was
    // complete. Call with the telemetry locked.
    bool SendEventIcons(const EventList& events, const std::array<bool, kDetectorCount>& listing,
                        int recordingIndex);
    void ExecuteMapScript(std::string_view script);
    // The map dialog's position (group of the position update); ignored
    // without a dialog.
    void SetMapPosition(double latitude, double longitude);
    void SetCurrentFrame(int frame) { currentFrame_ = frame; }
    int CurrentFrame() const { return currentFrame_; }
    void SetMapShown(int shown) { inet_.SetMapShown(shown); }
    int MapShown() const { return inet_.MapShown(); }
    int PageInitialised() const { return pageInitialised_; }

    GroupTrack& Group() { return group_; }
    RecordingTrack& Recording() { return recording_; }

private:
    platform::MessageSink* sink_;              // not owned
    platform::MessageTarget target_ = nullptr; // the main window
    IMapDialog* dialog_ = nullptr;             // null until the map dialog exists
    MapTileSettings tiles_;
    CInetConnectionAsync inet_;
    int pageInitialised_ = 0; // 1 after OnInitHtml; 0 again when ConnectTest finds no server
    int currentFrame_ = 0;    // playback position in frames, clamped by the main window
    GroupTrack group_;
    RecordingTrack recording_;
};

} // namespace kinetta::map
