#include "kinetta/shell/session_port.h"

#include "playcore/session/playback_session.h"

namespace kinetta {

namespace {
playcore::PlayerWindow Window(EngineWindow w) {
    playcore::PlayerWindow p;
    p.surface = w.surface;
    p.target = w.target;
    return p;
}
} // namespace

SessionPlaybackPort::SessionPlaybackPort(playcore::PlaybackSession& session,
                                         playcore::SessionConfig config)
    : session_(session) {
    session_.Configure(std::move(config));
}

bool SessionPlaybackPort::InitEngine(int engine, EngineWindow window0, const std::string& face) {
    return session_.InitEngine(engine, Window(window0), {}, face);
}
bool SessionPlaybackPort::EngineReady(int engine) const {
    return session_.IsReady(engine);
}
void SessionPlaybackPort::TermEngine(int engine) {
    // The session terminates its engines together (the track cache first).
    if (engine == 0 || !session_.IsReady(0)) session_.TermEngines();
}
void SessionPlaybackPort::SetHardwareDecode(bool on) {
    session_.SetHardwareDecode(on);
}

void SessionPlaybackPort::SetFamilyFlag(bool tx40) {
    session_.SetFamilyFlag(tx40);
}
void SessionPlaybackPort::ReleaseTrackCache() {
    session_.ReleaseTrackCache();
}
void SessionPlaybackPort::SetCombinedFile(bool combined) {
    session_.SetCombinedFile(combined);
    session_.SetCombinedFlag(combined);
}
void SessionPlaybackPort::SetWindows(int engine, EngineWindow window0, EngineWindow window1) {
    session_.SetWindows(engine, Window(window0), Window(window1));
}
int SessionPlaybackPort::OpenMovies(const std::string& front, const std::string& rear) {
    return session_.OpenMovies(front, rear);
}
bool SessionPlaybackPort::Opened(int engine) const {
    return session_.IsReady(engine) &&
           const_cast<playcore::PlaybackSession&>(session_).Engine(engine).opened.load();
}
bool SessionPlaybackPort::CloseMovies() {
    return session_.CloseMovies() != 0;
}
bool SessionPlaybackPort::IsRecordingComplete(const std::string& path) {
    return session_.IsRecordingComplete(path) != 0;
}
bool SessionPlaybackPort::LoadTelemetry(const std::string& front, const std::string& rear) {
    return session_.LoadTelemetry(front, rear) != 0;
}
bool SessionPlaybackPort::ReleaseTelemetry(const std::string& keepFront,
                                           const std::string& keepRear) {
    return session_.ReleaseTelemetry(keepFront, keepRear) != 0;
}
bool SessionPlaybackPort::PrefetchTelemetry(const std::string& front, const std::string& rear) {
    return session_.PrefetchTelemetry(front, rear) != 0;
}
bool SessionPlaybackPort::HasTelemetry() {
    if (!session_.LockTelemetry()) return false;
    const auto* records = session_.GetGpsRecords();
    const bool has = records && !records->empty();
    session_.UnlockTelemetry();
    return has;
}
bool SessionPlaybackPort::LockTelemetry() {
    return session_.LockTelemetry() != 0;
}
bool SessionPlaybackPort::UnlockTelemetry() {
    return session_.UnlockTelemetry() != 0;
}
playcore::sGPSREADER* SessionPlaybackPort::TelemetryReaderLocked() {
    // The session hands its lists out read-only; the telemetry views alone
    // write to them (the detectors' marks), under the same lock.
    return const_cast<playcore::sGPSREADER*>(session_.GetTelemetry());
}
bool SessionPlaybackPort::Play(int cam) {
    return session_.Play(cam) != 0;
}
bool SessionPlaybackPort::Pause(int cam) {
    return session_.Pause(cam) != 0;
}
bool SessionPlaybackPort::Stop(int cam) {
    return session_.Stop(cam) != 0;
}
int SessionPlaybackPort::GetState(int cam) {
    return static_cast<int>(session_.GetState(cam));
}
long long SessionPlaybackPort::GetPosition(int cam) {
    return session_.GetPosition(cam);
}
long long SessionPlaybackPort::GetLength(int cam) {
    return session_.GetLength(cam);
}
long long SessionPlaybackPort::GetMasterLength() {
    return session_.GetMasterLength();
}
bool SessionPlaybackPort::SeekFrame(int cam, long long frame) {
    return session_.SeekFrame(cam, frame) != 0;
}
bool SessionPlaybackPort::SeekFrameForward(int cam, long long frame) {
    return session_.SeekFrameForward(cam, frame) != 0;
}
bool SessionPlaybackPort::SetVolume(int cam, int volume) {
    return session_.SetVolume(cam, volume) != 0;
}
bool SessionPlaybackPort::SetSpeed(int step) {
    return session_.SetSpeed(step) != 0;
}
int SessionPlaybackPort::SpeedStep(int engine) {
    return static_cast<int>(session_.CurrentSpeedStep(engine));
}
int SessionPlaybackPort::NextSpeedStep(int engine, bool faster) {
    return static_cast<int>(session_.NextSpeedStep(engine, faster));
}
bool SessionPlaybackPort::RestartAt(int cam, long long frame) {
    return session_.RestartAt(cam, frame) != 0;
}
float SessionPlaybackPort::GetFrameDuration(int cam) {
    return session_.GetFrameDuration(cam);
}
QSize SessionPlaybackPort::GetVideoSize(int cam) {
    int w = 0, h = 0;
    if (!session_.GetVideoSize(cam, &w, &h)) return {};
    return QSize(w, h);
}
bool SessionPlaybackPort::Redraw(int cam) {
    return session_.Redraw(cam) != 0;
}
bool SessionPlaybackPort::EnableStream(int stream, bool on) {
    return session_.EnableStream(stream, on) != 0;
}
bool SessionPlaybackPort::SetDisplayMode(int cam, int model) {
    return session_.SetDisplayMode(cam, model) != 0;
}
bool SessionPlaybackPort::DragView(int cam, float dx, float dy, float scale) {
    return session_.DragView(cam, dx, dy, scale) != 0;
}
bool SessionPlaybackPort::CommitViewRotation(int cam) {
    return session_.CommitViewRotation(cam) != 0;
}
bool SessionPlaybackPort::ResetModelPose(int cam) {
    return session_.ResetModelPose(cam) != 0;
}
bool SessionPlaybackPort::FlipView(int cam) {
    return session_.FlipView(cam) != 0;
}
bool SessionPlaybackPort::SetFitMode(int cam, int mode) {
    return session_.SetFitMode(cam, mode) != 0;
}
bool SessionPlaybackPort::SetViewAspect(int cam, int width, int height) {
    return session_.SetViewAspect(cam, width, height) != 0;
}
bool SessionPlaybackPort::SetVideoPlacement(const Placement& front, const Placement& rear) {
    playcore::VideoPlacement f, r;
    f.focusX = front.focusX;
    f.focusY = front.focusY;
    f.zoom = front.zoom;
    r.focusX = rear.focusX;
    r.focusY = rear.focusY;
    r.zoom = rear.zoom;
    return session_.SetVideoPlacement(f, r, true) != 0;
}
int SessionPlaybackPort::MasterEngine() {
    return session_.Master();
}

} // namespace kinetta
