#include "kinetta/map/map_dlg_wrap.h"

#include "kinetta/base/message_ids.h"
#include "kinetta/map/number_text.h"

namespace kinetta::map {

CGoogleMapDlgWrap::CGoogleMapDlgWrap(platform::MessageSink* sink, CInetConnectionAsync::Probe probe,
                                     MapTileSettings tiles, std::chrono::milliseconds period)
    : sink_(sink), tiles_(std::move(tiles)), inet_(std::move(probe), period) {}

CGoogleMapDlgWrap::~CGoogleMapDlgWrap() {
    inet_.Stop();
}

int CGoogleMapDlgWrap::ConnectTest() {
    if (!inet_.MapShown()) return 0;
    const int reachable = inet_.Reachable();
    if (!reachable) pageInitialised_ = 0;
    return reachable;
}

void CGoogleMapDlgWrap::OnInitHtml() {
    pageInitialised_ = 1;
    if (sink_) sink_->Post(target_, UM_MAP_STATUS, 0, 0);
}

TrackArray CGoogleMapDlgWrap::GetGPSData() {
    return group_.Array();
}

TrackArray CGoogleMapDlgWrap::GetGridData(std::string_view) {
    return recording_.Array();
}

std::string CGoogleMapDlgWrap::GetRelJpgNum() {
    return IntText(currentFrame_);
}

void CGoogleMapDlgWrap::OnClickCrashPoint(int, int, int ipos, int, double, double, double, double) {
    if (sink_) sink_->Post(target_, UM_MAP_SEEK, 0, ipos);
}

void CGoogleMapDlgWrap::OnRightClickCrashPoint(int, int, int ipos, int icolor) {
    // The page's arguments are untrusted: only a real kind reaches the clips.
    if (sink_ && icolor >= 0 && icolor <= 13 && ipos >= 0)
        sink_->Post(target_, UM_CLIP_AT_EVENT, static_cast<uintptr_t>(icolor), ipos);
}

std::string CGoogleMapDlgWrap::GetMapURL() {
    return std::string(kMapLibraryUrl);
}

void CGoogleMapDlgWrap::SetSend() {
    if (dialog_) dialog_->PostMapState(dialog_->State());
}

void CGoogleMapDlgWrap::SetMapStatus(int kind) {
    if (dialog_) dialog_->State().status = std::string(MapStatusText(kind));
    if (kind == 2) ExecuteMapScript(kScriptMoveMarker);
}

void CGoogleMapDlgWrap::RebuildMapTrack(int recordingIndex) {
    for (const std::string& script : RebuildTrackScripts(recordingIndex))
        ExecuteMapScript(script);
}

bool CGoogleMapDlgWrap::SendEventIcons(const EventList& events,
                                       const std::array<bool, kDetectorCount>& listing,
                                       int recordingIndex) {
    EventWalk walk = WalkEvents(events, listing, recordingIndex);
    for (size_t i = 0; i < walk.scripts.size(); ++i) {
        ExecuteMapScript(walk.scripts[i]);
        if (i < walk.tips.size()) ExecuteMapScript(walk.tips[i]);
    }
    return walk.complete;
}

void CGoogleMapDlgWrap::ExecuteMapScript(std::string_view script) {
    if (dialog_) dialog_->ExecuteMapScript(std::string(script));
}

void CGoogleMapDlgWrap::SetMapPosition(double latitude, double longitude) {
    if (!dialog_) return;
    dialog_->State().latitude = latitude;
    dialog_->State().longitude = longitude;
}

} // namespace kinetta::map
