#include "playcore/session/playback_session.h"
#include "playcore/present/presenter.h"
#include "playcore/session/held_lock.h"

#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

namespace playcore {

namespace {

// SetSpeed lets the players settle before the caller restarts them, ms.
constexpr int kSpeedSettleMs = 100;

// LockTelemetry brackets held by this thread, per session: UnlockTelemetry
// releases only what this thread's LockTelemetry took, so an unbalanced call
// cannot release a lock another thread holds.
struct TelemetryBracket {
    const PlaybackSession* session;
    int depth;
};
thread_local std::vector<TelemetryBracket> tBrackets;

int* BracketDepth(const PlaybackSession* s, bool create) {
    for (auto& b : tBrackets)
        if (b.session == s) return &b.depth;
    if (!create) return nullptr;
    tBrackets.push_back({s, 0});
    return &tBrackets.back().depth;
}

int64_t Scaled(int64_t frame, double scale) {
    if (scale == 1.0) return frame;
    const double v = std::floor(static_cast<double>(frame) * scale);
    return std::fabs(v) < 1e15 ? static_cast<int64_t>(v) : frame;
}

} // namespace

PlaybackSession& PlaybackSession::Instance() {
    static PlaybackSession session;
    return session;
}

PlaybackSession& Session() {
    return PlaybackSession::Instance();
}

PlaybackSession::PlaybackSession() {
    for (size_t k = 0; k < 2; ++k) {
        engines_[k].owner = this;
        ops_[k] = StandardEngineOps();
    }
    spare_.owner = this;
}

PlaybackSession::~PlaybackSession() {
    TermEngines();
}

// ---- start-up and shutdown ----

void PlaybackSession::Configure(SessionConfig config) {
    config_ = std::move(config);
}

bool PlaybackSession::InitEngine(int k, PlayerWindow window0, PlayerWindow window1,
                                 const std::string& fontFace) {
    if (k != 0 && k != 1) return false;
    PlaybackEngine& e = Engine(k);
    e.ready = false;
    const bool ok = Ops(k).InitEngine(e, window0, window1, fontFace) == 1;
    if (ok) Ops(k).SetCombinedFlag(e, combinedForPresenter_.load());
    e.ready = ok;
    return ok;
}

int PlaybackSession::InitEngines(PlayerWindow front, PlayerWindow rear,
                                 const std::string& fontFace) {
    int made = 0;
    if (InitEngine(0, front, {}, fontFace)) ++made;
    if (InitEngine(1, rear, {}, fontFace)) ++made;
    return made;
}

void PlaybackSession::TermEngines() {
    ReleaseTrackCache();
    for (int k = 0; k < 2; ++k) {
        PlaybackEngine& e = Engine(k);
        if (!e.ready.exchange(false)) continue;
        Ops(k).TermEngine(e);
        e.opened = false;
        e.telemetryMaster = false;
    }
}

bool PlaybackSession::IsReady(int k) const {
    return ReadyAt(k);
}

bool PlaybackSession::Opened(int k) const {
    return ReadyAt(k) && engines_[Index(k)].opened.load();
}

bool PlaybackSession::ReadyAt(int k) const {
    return (k == 0 || k == 1) && engines_[Index(k)].ready.load();
}

// ---- recording change ----

void PlaybackSession::SetCombinedFile(bool combined) {
    combinedFile_ = combined;
}

void PlaybackSession::SetCombinedFlag(bool flag) {
    combinedForPresenter_ = flag;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k)) Ops(k).SetCombinedFlag(Engine(k), flag);
}

bool PlaybackSession::SetWindows(int k, PlayerWindow window0, PlayerWindow window1) {
    if (!ReadyAt(k)) return false;
    return Ops(k).SetWindows(Engine(k), window0, window1) == 1;
}

void PlaybackSession::SetHardwareDecode(bool on) {
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k)) Ops(k).SetHardwareDecode(Engine(k), on);
}

void PlaybackSession::SetFamilyFlag(bool tx40) {
    familyFlag_ = tx40;
}

EngineCamera PlaybackSession::Route(int cam) const {
    return RouteCamera(cam, combinedFile_.load(), Master());
}

int PlaybackSession::Master() const {
    return MasterEngine(combinedFile_.load(),
                        {engines_[0].telemetryMaster.load(), engines_[1].telemetryMaster.load()},
                        {engines_[0].opened.load(), engines_[1].opened.load()});
}

// ---- open and close ----

int PlaybackSession::IsRecordingComplete(const std::string& path) {
    int complete = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) && Ops(k).IsRecordingComplete(Engine(k), path) == 1) complete = 1;
    return complete;
}

int PlaybackSession::OpenMovies(const std::string& frontPath, const std::string& rearPath) {
    for (auto& e : engines_)
        e.opened = false;
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        PlaybackEngine& e = Engine(0);
        if (ReadyAt(1)) Ops(1).CloseMovie(Engine(1)); // engine 1 holds nothing of this recording
        const int r = Ops(0).OpenMovie(e, 0, frontPath, e.windows[0], e.windows[1]);
        e.opened = r == 1;
        return r;
    }
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        if (!ReadyAt(k)) continue;
        PlaybackEngine& e = Engine(k);
        const std::string& path = k == 0 ? frontPath : rearPath;
        if (path.empty()) {
            // No movie for this camera: nothing of an earlier one stays playable.
            Ops(k).CloseMovie(e);
            continue;
        }
        const int r = Ops(k).OpenMovie(e, k, path, e.windows[0], e.windows[1]);
        if (r == 2) {
            // Too short to play: the recording stays closed as a whole.
            for (int j = 0; j < 2; ++j) {
                if (!ReadyAt(j)) continue;
                Ops(j).CloseMovie(Engine(j));
                Engine(j).opened = false;
            }
            return 2;
        }
        e.opened = r == 1;
        if (r == 1) any = 1;
    }
    return any;
}

int PlaybackSession::CloseMovies() {
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        if (!ReadyAt(k)) continue;
        if (Ops(k).CloseMovie(Engine(k)) == 1) any = 1;
        Engine(k).opened = false;
        Engine(k).telemetryMaster = false;
    }
    return any;
}

// ---- telemetry ----

int PlaybackSession::LoadTelemetry(const std::string& frontPath, const std::string& rearPath) {
    for (auto& e : engines_)
        e.telemetryMaster = false;
    for (int k = 0; k < 2; ++k) {
        PlaybackEngine& e = Engine(k);
        if (!ReadyAt(k) || !e.opened) continue;
        if (Ops(k).LoadTelemetry(e, k == 0 ? frontPath : rearPath) == 1) {
            e.telemetryMaster = true;
            return 1;
        }
    }
    return 0;
}

int PlaybackSession::ReleaseTelemetry(const std::string& keepFront, const std::string& keepRear) {
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        if (!ReadyAt(k)) continue;
        if (Ops(k).ReleaseTelemetry(Engine(k), k == 0 ? keepFront : keepRear) == 1) any = 1;
        Engine(k).opened = false;
        Engine(k).telemetryMaster = false;
    }
    return any;
}

int PlaybackSession::ReadTelemetryOf(sGPSREADER& reader, const std::string& path) {
    const int m = ReadyAt(Master()) ? Master() : 0;
    Held play(Engine(m).playLock, lockWaiters_);
    const RecorderFamily family = familyFlag_.load() ? RecorderFamily::TX40 : RecorderFamily::TX50;
    return LoadRecords(reader, path, family) ? 1 : 0;
}

int PlaybackSession::PrefetchTelemetry(const std::string& frontPath, const std::string& rearPath) {
    const int k = !frontPath.empty() ? 0 : (!rearPath.empty() ? 1 : -1);
    if (k < 0) {
        // Nothing to read: only the name is recorded, so no load takes old data.
        PlaybackEngine& e = Engine(Master());
        Held data(e.dataLock, lockWaiters_);
        e.telemetryFileName.clear();
        return 0;
    }
    if (!ReadyAt(k)) return 0;
    PlaybackEngine& e = Engine(k);
    const std::string& path = k == 0 ? frontPath : rearPath;
    Held data(e.dataLock, lockWaiters_);
    Held play(e.playLock, lockWaiters_);
    e.prefetchRunning = true;
    e.telemetryFileName.clear();
    const RecorderFamily family = familyFlag_.load() ? RecorderFamily::TX40 : RecorderFamily::TX50;
    const bool ok = LoadRecordsLocked(e, e.prefetchTelemetry, path, family);
    // A failed read leaves no name behind: the next load reads the file itself.
    if (ok) e.telemetryFileName = path;
    e.prefetchRunning = false;
    return ok ? 1 : 0;
}

int PlaybackSession::PrepareMovies(const std::string& frontPath, const std::string& rearPath) {
    const RecorderFamily family = familyFlag_.load() ? RecorderFamily::TX40 : RecorderFamily::TX50;
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        const std::string& path = k == 0 ? frontPath : rearPath;
        if (path.empty() || !ReadyAt(k)) continue;
        std::unique_ptr<PreparedMovie> prepared = PrepareMovie(path, family);
        if (prepared) any = 1;
        PlaybackEngine& e = Engine(k);
        std::lock_guard lock(e.preparedLock);
        e.prepared = std::move(prepared);
    }
    return any;
}

void PlaybackSession::DiscardPreparedMovies() {
    for (auto& e : engines_) {
        std::unique_ptr<PreparedMovie> gone;
        std::lock_guard lock(e.preparedLock);
        gone = std::move(e.prepared);
    }
}

const sGPSREADER* PlaybackSession::GetTelemetry() {
    return GetTelemetryForMarking();
}

sGPSREADER* PlaybackSession::GetTelemetryForMarking() {
    const int m = Master();
    if (!ReadyAt(m)) return nullptr;
    PlaybackEngine& e = Engine(m);
    Held data(e.dataLock, lockWaiters_);
    return &e.activeTelemetry;
}

bool PlaybackSession::HasTelemetry() {
    if (!LockTelemetry()) return false;
    const std::vector<GpsRecord>* records = GetGpsRecords();
    const bool has = records && !records->empty();
    UnlockTelemetry();
    return has;
}

const std::vector<GpsRecord>* PlaybackSession::GetGpsRecords() {
    const sGPSREADER* r = GetTelemetry();
    return r ? &r->gps : nullptr;
}

const std::vector<AccelRecord>* PlaybackSession::GetAccelRecords() {
    const sGPSREADER* r = GetTelemetry();
    return r ? &r->accel : nullptr;
}

const GpsBlockInfo* PlaybackSession::GetTelemetryHeader() {
    const sGPSREADER* r = GetTelemetry();
    return r ? &r->info : nullptr;
}

int PlaybackSession::LockTelemetry() {
    if (!ReadyAt(0) && !ReadyAt(1)) return 0;
    // Both engines, engine 0 first, whatever the recording: the bracket stays
    // balanced even if the combined flag changes inside it.
    for (auto& e : engines_) {
        lockWaiters_.fetch_add(1);
        e.dataLock.lock();
    }
    ++*BracketDepth(this, true);
    return 1;
}

int PlaybackSession::UnlockTelemetry() {
    int* depth = BracketDepth(this, false);
    if (!depth || *depth == 0) return 0;
    if (--*depth == 0)
        std::erase_if(tBrackets, [this](const TelemetryBracket& b) { return b.session == this; });
    for (size_t k = 2; k-- > 0;) {
        engines_[k].dataLock.unlock();
        lockWaiters_.fetch_sub(1);
    }
    return 1;
}

int PlaybackSession::ReleaseTrackCache() {
    Held data(spare_.dataLock, lockWaiters_);
    spare_.trackCache.clear();
    spare_.trackCache.shrink_to_fit();
    return 1;
}

int PlaybackSession::ReadTrackCache(const std::vector<TrackSource>& entries) {
    Held data(spare_.dataLock, lockWaiters_);
    const RecorderFamily family = familyFlag_.load() ? RecorderFamily::TX40 : RecorderFamily::TX50;
    return ReadAllTracks(entries, &spare_.trackCache, family) ? 1 : 0;
}

std::vector<GpsRecord> PlaybackSession::CopyTrackCache() {
    Held data(spare_.dataLock, lockWaiters_);
    return spare_.trackCache;
}

// ---- playing ----

int PlaybackSession::Play(int cam) {
    if (cam < kCamFront || cam > kCamBoth) return 0;
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        PlaybackEngine& e = Engine(0);
        const std::array<bool, 2> shown = StreamsShown(cam);
        for (int i = 0; i < 2; ++i)
            Ops(0).EnableStream(e, i, shown[static_cast<size_t>(i)]);
        return Ops(0).Play(e);
    }
    if (cam != kCamBoth) return ReadyAt(cam) ? Ops(cam).Play(Engine(cam)) : 0;

    if (!ReadyAt(0) || !ReadyAt(1)) return 0;
    PairPlayInput in;
    for (int k = 0; k < 2; ++k) {
        PlaybackEngine& e = Engine(k);
        const size_t s = static_cast<size_t>(k);
        in.length[s] = Ops(k).GetLength(e, 0);
        in.position[s] = Ops(k).GetPosition(e, 0);
        in.frameDurationMs[s] = Ops(k).GetFrameDuration(e, 0);
        in.opened[s] = e.opened.load();
    }
    const PairPlayPlan plan = PlanPairPlay(in);
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        PlaybackEngine& e = Engine(k);
        if (plan.hold[static_cast<size_t>(k)]) {
            // The shorter movie at its end keeps its last frame while the
            // other one runs on.
            Held play(e.playLock, lockWaiters_);
            if (e.player && e.player->IsReady()) {
                e.state = kEnginePlaying;
                any = 1;
            }
        } else if (Ops(k).Play(e) == 1) {
            any = 1;
        }
    }
    return any;
}

int PlaybackSession::Pause(int cam) {
    if (cam < kCamFront || cam > kCamBoth) return 0;
    if (combinedFile_.load()) return ReadyAt(0) ? Ops(0).Pause(Engine(0)) : 0;
    if (cam != kCamBoth) return ReadyAt(cam) ? Ops(cam).Pause(Engine(cam)) : 0;
    int any = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) && Ops(k).Pause(Engine(k)) == 1) any = 1;
    return any;
}

int PlaybackSession::Stop(int cam) {
    if (cam < kCamFront || cam > kCamBoth) return 0;
    if (combinedFile_.load()) return ReadyAt(0) ? Ops(0).Stop(Engine(0)) : 0;
    if (cam != kCamBoth) return ReadyAt(cam) ? Ops(cam).Stop(Engine(cam)) : 0;
    int any = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) && Ops(k).Stop(Engine(k)) == 1) any = 1;
    return any;
}

EngineState PlaybackSession::GetState(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return kEngineClosed;
    return Engine(r.engine).state.load();
}

int64_t PlaybackSession::GetPosition(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return 0;
    return Ops(r.engine).GetPosition(Engine(r.engine), r.camera);
}

int64_t PlaybackSession::GetLength(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return 0;
    return Ops(r.engine).GetLength(Engine(r.engine), r.camera);
}

int64_t PlaybackSession::GetMasterLength() {
    const int m = Master();
    if (!ReadyAt(m)) return 0;
    return Ops(m).GetMasterLength(Engine(m), 0);
}

int PlaybackSession::SeekFrame(int cam, int64_t frame) {
    return SeekBoth(cam, frame, false);
}

int PlaybackSession::SeekFrameForward(int cam, int64_t frame) {
    return SeekBoth(cam, frame, true);
}

int PlaybackSession::SeekBoth(int cam, int64_t frame, bool forward) {
    if (cam < kCamFront || cam > kCamBoth) return 0;
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        const int i = forward || cam == kCamBoth ? 0 : cam;
        return Ops(0).SeekFrame(Engine(0), i, frame);
    }
    // Frames are engine-0 frames; engine 1 counts its own.
    const bool both = engines_[0].opened.load() && engines_[1].opened.load();
    const std::array<double, 2> scale{1.0,
                                      RearFrameScale(Ops(0).GetFrameDuration(Engine(0), 0),
                                                     Ops(1).GetFrameDuration(Engine(1), 0), both)};
    if (cam != kCamBoth) {
        if (!ReadyAt(cam)) return 0;
        return Ops(cam).SeekFrame(Engine(cam), 0, Scaled(frame, scale[static_cast<size_t>(cam)]));
    }
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        if (!ReadyAt(k)) continue;
        PlaybackEngine& e = Engine(k);
        const int64_t length = Ops(k).GetLength(e, 0);
        const int64_t position = forward ? Ops(k).GetPosition(e, 0) : 0;
        const SeekStep step =
            PlanSeekBoth(Scaled(frame, scale[static_cast<size_t>(k)]), length, forward, position);
        if (!step.move) {
            if (e.opened) any = 1; // already later than the margin: left where it is
            continue;
        }
        const int r = step.nearEnd ? Ops(k).SeekFrameForward(e, 0, step.frame)
                                   : Ops(k).SeekFrame(e, 0, step.frame);
        if (r == 1) any = 1;
    }
    return any;
}

int PlaybackSession::RestartAt(int cam, int64_t frame) {
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        const std::array<bool, 2> shown = StreamsShown(cam);
        for (int i = 0; i < 2; ++i)
            Ops(0).EnableStream(Engine(0), i, shown[static_cast<size_t>(i)]);
        return Ops(0).RestartAt(Engine(0), frame);
    }
    const bool both = engines_[0].opened.load() && engines_[1].opened.load();
    const std::array<double, 2> scale{1.0,
                                      RearFrameScale(Ops(0).GetFrameDuration(Engine(0), 0),
                                                     Ops(1).GetFrameDuration(Engine(1), 0), both)};
    int any = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) &&
            Ops(k).RestartAt(Engine(k), Scaled(frame, scale[static_cast<size_t>(k)])) == 1)
            any = 1;
    return any;
}

// ---- sound and speed ----

int PlaybackSession::SetVolume(int cam, int volume) {
    const std::array<int, 2> v = RouteVolume(cam, volume, combinedFile_.load(), Master());
    int any = 0;
    for (int k = 0; k < 2; ++k) {
        const int value = v[static_cast<size_t>(k)];
        if (value >= 0 && ReadyAt(k) && Ops(k).SetVolume(Engine(k), value) == 1) any = 1;
    }
    return any;
}

int PlaybackSession::SetSpeed(int step) {
    int any = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) && Ops(k).SetSpeed(Engine(k), step) == 1) any = 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(kSpeedSettleMs));
    return any;
}

SpeedStep PlaybackSession::NextSpeedStep(int engine, bool faster) {
    if (!ReadyAt(engine)) return kSpeedNormal;
    PlaybackEngine& e = Engine(engine);
    Held play(e.playLock, lockWaiters_);
    return playcore::NextSpeedStep(e.state.load(), e.speedStep, faster, e.canPlayBackwards);
}

SpeedStep PlaybackSession::CurrentSpeedStep(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return kSpeedNormal;
    PlaybackEngine& e = Engine(r.engine);
    Held play(e.playLock, lockWaiters_);
    return e.speedStep;
}

// ---- pictures ----

bool PlaybackSession::WaitForFrame(int cam, int64_t frame, std::chrono::milliseconds timeout) {
    if (cam != kCamFront && cam != kCamRear) return false;
    const bool combined = combinedFile_.load();
    // A combined file: engine 0 holds both streams and seeks them to one
    // time. A pair: each engine counts its own frames (SeekBoth's scale).
    const int k = combined ? 0 : cam;
    const int branch = combined ? cam : 0;
    if (!ReadyAt(k)) return false;
    int64_t engineFrame = frame;
    if (!combined && cam == kCamRear) {
        const bool both = engines_[0].opened.load() && engines_[1].opened.load();
        engineFrame = Scaled(frame, RearFrameScale(Ops(0).GetFrameDuration(Engine(0), 0),
                                                   Ops(1).GetFrameDuration(Engine(1), 0), both));
    }
    Presenter* presenter = nullptr;
    MediaTime time = 0, period = 0;
    {
        PlaybackEngine& e = Engine(k);
        Held play(e.playLock, lockWaiters_);
        if (!e.opened.load() || !e.player || !e.player->IsReady()) return false;
        presenter = e.player->PresenterOf(branch);
        // The time SeekFrame scrubs to, and the span of one picture there.
        time = TimeOfFrame(engineFrame, e.cameras[0].frameDurationMs);
        period = static_cast<MediaTime>(double(e.player->GetFramePeriod(branch)) *
                                        double(kUnitsPerSecond));
    }
    if (!presenter || period <= 0) return false;
    return presenter->WaitForPictureAt(time, period, std::chrono::steady_clock::now() + timeout);
}

int PlaybackSession::SaveStills(const std::string& frontPath, const std::string& rearPath) {
    const std::array<const std::string*, 2> paths{&frontPath, &rearPath};
    std::array<bool, 2> asked{!frontPath.empty(), !rearPath.empty()};
    std::array<bool, 2> opened{};
    std::array<bool, 2> written{};
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        PlaybackEngine& e = Engine(0);
        opened[0] = e.opened.load();
        {
            Held play(e.playLock, lockWaiters_);
            opened[1] = opened[0] && e.player && e.player->VideoBranchCount() > 1;
        }
        for (int c = 0; c < 2; ++c)
            if (asked[static_cast<size_t>(c)])
                written[static_cast<size_t>(c)] =
                    Ops(0).SaveStill(e, c, *paths[static_cast<size_t>(c)]) == 1;
    } else {
        for (int k = 0; k < 2; ++k) {
            const size_t s = static_cast<size_t>(k);
            opened[s] = ReadyAt(k) && Engine(k).opened.load();
            if (asked[s] && ReadyAt(k)) written[s] = Ops(k).SaveStill(Engine(k), 0, *paths[s]) == 1;
        }
    }
    return StillsSaved(asked, opened, written) ? 1 : 0;
}

float PlaybackSession::GetFrameDuration(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return 0.0f;
    if (combinedFile_.load()) return Ops(0).GetFramePeriod(Engine(0), r.camera) * 1000.0f;
    return Ops(r.engine).GetFrameDuration(Engine(r.engine), 0);
}

float PlaybackSession::GetFramePeriod(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return 0.0f;
    return Ops(r.engine).GetFramePeriod(Engine(r.engine), r.camera);
}

int PlaybackSession::GetVideoSize(int cam, int* width, int* height) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return 0;
    return Ops(r.engine).GetVideoSize(Engine(r.engine), r.camera, width, height);
}

int PlaybackSession::Redraw(int cam) {
    if (cam < kCamFront || cam > kCamBoth) return 0;
    int any = 0;
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        for (int i = 0; i < 2; ++i)
            if ((cam == kCamBoth || cam == i) && Ops(0).Redraw(Engine(0), i) == 1) any = 1;
        return any;
    }
    for (int k = 0; k < 2; ++k)
        if ((cam == kCamBoth || cam == k) && ReadyAt(k) && Ops(k).Redraw(Engine(k), 0) == 1)
            any = 1;
    return any;
}

int PlaybackSession::SetVideoPlacement(const VideoPlacement& front, const VideoPlacement& rear,
                                       bool repaint) {
    const std::array<const VideoPlacement*, 2> p{&front, &rear};
    int any = 0;
    auto place = [&](int k, int i, const VideoPlacement& v) {
        if (Ops(k).SetVideoPlacement(Engine(k), i, v.focusX, v.focusY, v.offsetX, v.offsetY, v.zoom,
                                     repaint) == 1)
            any = 1;
    };
    if (combinedFile_.load()) {
        if (!ReadyAt(0)) return 0;
        place(0, 0, front);
        place(0, 1, rear);
        return any;
    }
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k)) place(k, 0, *p[static_cast<size_t>(k)]);
    return any;
}

int PlaybackSession::EnableStream(int i, bool on) {
    if (combinedFile_.load()) return ReadyAt(0) ? Ops(0).EnableStream(Engine(0), i, on) : 0;
    int any = 0;
    for (int k = 0; k < 2; ++k)
        if (ReadyAt(k) && Ops(k).EnableStream(Engine(k), 0, on) == 1) any = 1;
    return any;
}

PlacementRect PlaybackSession::GetVideoRect(int cam) {
    const EngineCamera r = Route(cam);
    if (!ReadyAt(r.engine)) return {};
    PlaybackEngine& e = Engine(r.engine);
    Held play(e.playLock, lockWaiters_);
    return e.cameras[static_cast<size_t>(r.camera)].dest;
}

// ---- view operations routed by camera ----

int PlaybackSession::CommitViewRotation(int cam) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).CommitViewRotation(Engine(r.engine), r.camera) : 0;
}

int PlaybackSession::SetViewAspect(int cam, int w, int h) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).SetViewAspect(Engine(r.engine), r.camera, w, h) : 0;
}

int PlaybackSession::DragView(int cam, float dx, float dy, float scale) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).DragView(Engine(r.engine), r.camera, dx, dy, scale)
                             : 0;
}

int PlaybackSession::FlipView(int cam) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).FlipView(Engine(r.engine), r.camera) : 0;
}

int PlaybackSession::SetDisplayMode(int cam, int mode) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).SetDisplayMode(Engine(r.engine), r.camera, mode) : 0;
}

int PlaybackSession::ResetModelPose(int cam) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).ResetModelPose(Engine(r.engine), r.camera) : 0;
}

int PlaybackSession::SetDrawInterval(int cam, int value) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).SetDrawInterval(Engine(r.engine), r.camera, value) : 0;
}

int PlaybackSession::SetFitMode(int cam, int mode) {
    const EngineCamera r = Route(cam);
    return ReadyAt(r.engine) ? Ops(r.engine).SetFitMode(Engine(r.engine), r.camera, mode) : 0;
}

} // namespace playcore
