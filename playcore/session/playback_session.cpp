#include "playcore/session/playback_session.h"

namespace playcore {

PlaybackSession& PlaybackSession::Instance() {
    static PlaybackSession session;
    return session;
}

PlaybackSession& Session() {
    return PlaybackSession::Instance();
}

PlaybackSession::PlaybackSession() {
    for (int k = 0; k < 2; ++k) {
        engines_[k].owner = this;
        ops_[k] = StandardEngineOps();
    }
    spare_.owner = this;
}

PlaybackSession::~PlaybackSession() = default;

void PlaybackSession::Configure(SessionConfig) {}
bool PlaybackSession::InitEngine(int, PlayerWindow, PlayerWindow, const std::string&) {
    return false;
}
int PlaybackSession::InitEngines(PlayerWindow, PlayerWindow, const std::string&) {
    return 0;
}
void PlaybackSession::TermEngines() {}
bool PlaybackSession::IsReady(int) const {
    return false;
}
void PlaybackSession::SetCombinedFile(bool) {}
void PlaybackSession::SetCombinedFlag(bool) {}
bool PlaybackSession::SetWindows(int, PlayerWindow, PlayerWindow) {
    return false;
}
void PlaybackSession::SetHardwareDecode(bool) {}
void PlaybackSession::SetFamilyFlag(bool) {}
EngineCamera PlaybackSession::Route(int) const {
    return {};
}
int PlaybackSession::Master() const {
    return 0;
}
int PlaybackSession::IsRecordingComplete(const std::string&) {
    return 0;
}
int PlaybackSession::OpenMovies(const std::string&, const std::string&) {
    return 0;
}
int PlaybackSession::CloseMovies() {
    return 0;
}
int PlaybackSession::LoadTelemetry(const std::string&, const std::string&) {
    return 0;
}
int PlaybackSession::ReleaseTelemetry() {
    return 0;
}
int PlaybackSession::Play(int) {
    return 0;
}
int PlaybackSession::Pause(int) {
    return 0;
}
int PlaybackSession::Stop(int) {
    return 0;
}
EngineState PlaybackSession::GetState(int) {
    return kEngineClosed;
}
int PlaybackSession::SeekFrame(int, int64_t) {
    return 0;
}
int PlaybackSession::SeekFrameForward(int, int64_t) {
    return 0;
}
int PlaybackSession::SetVolume(int, int) {
    return 0;
}
int PlaybackSession::SetSpeed(int) {
    return 0;
}
SpeedStep PlaybackSession::NextSpeedStep(int, bool) {
    return kSpeedNormal;
}
int PlaybackSession::SaveStills(const std::string&, const std::string&) {
    return 0;
}
float PlaybackSession::GetFrameDuration(int) {
    return 0;
}
int PlaybackSession::Redraw(int) {
    return 0;
}
int PlaybackSession::SetVideoPlacement(const VideoPlacement&, const VideoPlacement&, bool) {
    return 0;
}
int PlaybackSession::EnableStream(int, bool) {
    return 0;
}
int PlaybackSession::CommitViewRotation(int) {
    return 0;
}
int PlaybackSession::SetViewAspect(int, int, int) {
    return 0;
}
int PlaybackSession::ReadTelemetryOf(sGPSREADER&, const std::string&) {
    return 0;
}
int PlaybackSession::PrefetchTelemetry(const std::string&, const std::string&) {
    return 0;
}
const std::vector<GpsRecord>* PlaybackSession::GetGpsRecords() {
    return nullptr;
}
const std::vector<AccelRecord>* PlaybackSession::GetAccelRecords() {
    return nullptr;
}
const GpsBlockInfo* PlaybackSession::GetTelemetryHeader() {
    return nullptr;
}
PlacementRect PlaybackSession::GetVideoRect(int) {
    return {};
}
int PlaybackSession::LockTelemetry() {
    return 0;
}
int PlaybackSession::UnlockTelemetry() {
    return 0;
}
int PlaybackSession::ReleaseTrackCache() {
    return 0;
}
const sGPSREADER* PlaybackSession::GetTelemetry() {
    return nullptr;
}
int PlaybackSession::ReadTrackCache(const std::vector<TrackSource>&) {
    return 0;
}
std::vector<GpsRecord> PlaybackSession::CopyTrackCache() {
    return {};
}
int PlaybackSession::RestartAt(int, int64_t) {
    return 0;
}
SpeedStep PlaybackSession::CurrentSpeedStep(int) {
    return kSpeedNormal;
}
int PlaybackSession::GetVideoSize(int, int*, int*) {
    return 0;
}
float PlaybackSession::GetFramePeriod(int) {
    return 0;
}
int PlaybackSession::DragView(int, float, float, float) {
    return 0;
}
int PlaybackSession::FlipView(int) {
    return 0;
}
int PlaybackSession::SetDisplayMode(int, int) {
    return 0;
}
int PlaybackSession::ResetModelPose(int) {
    return 0;
}
int PlaybackSession::SetDrawInterval(int, int) {
    return 0;
}
int PlaybackSession::SetFitMode(int, int) {
    return 0;
}

} // namespace playcore
