#include "playcore/session/playback_engine.h"
#include "playcore/session/held_lock.h"

#include <unistd.h>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/file_io.h"
#include "platform/file_stamp.h"
#include "playcore/container/file_queries.h"
#include "playcore/player/media_source.h"
#include "playcore/present/presenter.h"
#include "playcore/present/video_surface.h"
#include "playcore/session/playback_session.h"

namespace playcore {

// What an engine reads of the session that holds it.
struct EngineAccess {
    static std::atomic<int32_t>& Waiters(PlaybackEngine& e) {
        static std::atomic<int32_t> unowned{0};
        return e.owner ? e.owner->lockWaiters_ : unowned;
    }
    static RecorderFamily Family(const PlaybackEngine& e) {
        if (!e.owner) return RecorderFamily::TX40;
        return e.owner->familyFlag_.load() ? RecorderFamily::TX40 : RecorderFamily::TX50;
    }
    static const SessionConfig* Config(const PlaybackEngine& e) {
        return e.owner ? &e.owner->config_ : nullptr;
    }
};

namespace {

bool ValidCamera(int i) {
    return i == 0 || i == 1;
}

// The player holds a movie but has not reported it ready: the operations
// that need its picture refuse.
bool NotReadyLocked(const PlaybackEngine& e) {
    return !e.player || !e.player->IsReady();
}

Presenter* PresenterLocked(const PlaybackEngine& e, int i) {
    if (!ValidCamera(i) || NotReadyLocked(e)) return nullptr;
    return e.player->PresenterOf(i);
}

// Whether bytes 4..7 of the open file fd are "ftyp".
bool StartsWithFtyp(int fd) {
    unsigned char head[8];
    return platform::ReadExactlyAt(fd, 0, head, sizeof head) &&
           std::memcmp(head + 4, "ftyp", 4) == 0;
}

// The same for a file by name. Only a regular file is read: a FIFO would
// block the open.
bool StartsWithFtyp(const std::string& path) {
    const int fd = platform::OpenRegularForReading(path);
    if (fd < 0) return false;
    const bool ftyp = StartsWithFtyp(fd);
    ::close(fd);
    return ftyp;
}

void SetWindowsLocked(PlaybackEngine& e, PlayerWindow window0, PlayerWindow window1) {
    e.windows = {window0, window1};
    for (size_t c = 0; c < 2; ++c) {
        e.cameras[c].surface = e.windows[c].surface;
        e.cameras[c].target = e.windows[c].target;
    }
}

// Computes camera i's destination rectangle from its stored placement and
// hands it to the player. A player that is not ready yet counts as success
// (the rectangle is applied again after the layout that follows ready).
int ApplyPlacementLocked(PlaybackEngine& e, int i) {
    CameraPlacement& cam = e.cameras[static_cast<size_t>(i)];
    if (!cam.surface) return 0;
    const QSize client = cam.surface->SurfaceSize();
    int vw = 0, vh = 0;
    if (e.player) {
        const QSize video = e.player->GetVideoSize(i);
        if (video.isValid()) {
            vw = video.width();
            vh = video.height();
        }
    }
    PlacementRect dest;
    if (!PlaceCamera({0, 0, client.width(), client.height()}, cam, vw, vh, &dest)) return 0;
    cam.dest = dest;
    if (!e.player) return 1;
    const PlayerResult r =
        e.player->SetVideoRect(i, dest.left, dest.top, dest.Width(), dest.Height());
    return Succeeded(r) || r == kResultInvalidPointer ? 1 : 0;
}

int64_t LengthLocked(const PlaybackEngine& e, int i) {
    if (!ValidCamera(i) || !e.player) return 0;
    return LengthInFrames(e.player->Duration(), e.cameras[static_cast<size_t>(i)].frameDurationMs);
}

// ---- the slots ----

int TermEngine(PlaybackEngine& e);
int CloseMovie(PlaybackEngine& e);

int InitEngine(PlaybackEngine& e, PlayerWindow window0, PlayerWindow window1,
               const std::string& fontFace) {
    TermEngine(e);
    Held data(e.dataLock, EngineAccess::Waiters(e));
    Held play(e.playLock, EngineAccess::Waiters(e));
    SetWindowsLocked(e, window0, window1);
    e.speedStep = kSpeedNormal;
    e.volume = 0;
    e.canPlayBackwards = false;
    const SessionConfig* config = EngineAccess::Config(e);
    const int dpi = config && config->logicalDpi > 0 ? config->logicalDpi : 96;
    // MulDiv(42, dpi, 72), rounded.
    e.overlayFont = {fontFace, static_cast<int>((42LL * dpi + 36) / 72), 700, 128};
    ClearReader(e.activeTelemetry);
    ClearReader(e.prefetchTelemetry);
    e.telemetryFileName.clear();
    for (auto& block : e.modelStates)
        block = CSphereModel::InitialState();
    for (auto& cam : e.cameras) {
        cam.zoom = 1.0f;
        cam.frameDurationMs = 0;
        cam.durationS = 0;
    }
    e.state = kEngineClosed;
    return 1;
}

int TermEngine(PlaybackEngine& e) {
    // Waits for every holder of either lock, in the engine's order.
    Held data(e.dataLock, EngineAccess::Waiters(e));
    Held play(e.playLock, EngineAccess::Waiters(e));
    CloseMovie(e);
    {
        std::lock_guard lock(e.preparedLock);
        e.prepared.reset();
    }
    ClearReader(e.activeTelemetry);
    ClearReader(e.prefetchTelemetry);
    e.telemetryFileName.clear();
    e.trackCache.clear();
    e.trackCache.shrink_to_fit();
    e.overlayFont = {};
    e.speedStep = static_cast<SpeedStep>(0);
    return 1;
}

int IsRecordingCompleteOp(PlaybackEngine& e, const std::string& path) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    return playcore::IsRecordingComplete(path, EngineAccess::Family(e)) ? 1 : 0;
}

int SetWindows(PlaybackEngine& e, PlayerWindow window0, PlayerWindow window1) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    SetWindowsLocked(e, window0, window1);
    return 1;
}

// Whether the prepared movie is still path's file as it is now.
bool StillTheSameFile(const PreparedMovie& p, const std::string& path) {
    const std::optional<platform::FileStamp> now = platform::StampOf(path);
    return now && now == platform::StampOfDescriptor(p.tree->map.file);
}

// The engine's prepared movie when it is path's (any other is dropped).
std::unique_ptr<PreparedMovie> TakePrepared(PlaybackEngine& e, const std::string& path) {
    std::unique_ptr<PreparedMovie> p;
    {
        std::lock_guard lock(e.preparedLock);
        p = std::move(e.prepared);
    }
    if (p && (p->path != path || !StillTheSameFile(*p, path))) p.reset();
    return p;
}

} // namespace

std::unique_ptr<PreparedMovie> PrepareMovie(const std::string& path, RecorderFamily family,
                                            bool openContainer) {
    auto p = std::make_unique<PreparedMovie>();
    p->path = path;
    p->tree = OpenMp4Movie(path, true, family);
    if (!p->tree) return nullptr;
    p->ftyp = StartsWithFtyp(p->tree->map.file);
    if (!p->ftyp) return p;
    p->probe = ProbeFrameTiming(*p->tree);
    // The container as the player opens it, through the tree's descriptor;
    // a failure leaves it to the player (which then reports it).
    if (openContainer &&
        !Succeeded(MediaSource::Open(path, nullptr, &p->source, p->tree->map.file)))
        p->source.reset();
    return p;
}

namespace {

int OpenMovie(PlaybackEngine& e, int i, const std::string& path, PlayerWindow window0,
              PlayerWindow window1) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    CloseMovie(e); // a movie still open goes first: one player per engine
    SetWindowsLocked(e, window0, window1);
    for (auto& cam : e.cameras)
        cam.frameDurationMs = cam.durationS = 0;
    if (!ValidCamera(i) || path.empty()) return 0;

    // One open of the file for the ftyp check, the probe, the player and the
    // telemetry. A file whose boxes cannot be read as a tree is checked by
    // its head alone and probed by the decoder's view, as before.
    // What was read ahead for this file serves instead of reading it here.
    const RecorderFamily family = EngineAccess::Family(e);
    std::unique_ptr<PreparedMovie> prepared = TakePrepared(e, path);
    if (!prepared) prepared = PrepareMovie(path, family, false); // the player opens the container
    if (!(prepared ? prepared->ftyp : StartsWithFtyp(path))) return 0;
    std::unique_ptr<sMP4MOVIE> tree = prepared ? std::move(prepared->tree) : nullptr;
    const FrameTimingProbe probe = prepared ? prepared->probe : FrameTimingProbe{};
    if (probe.result == kProbeTooShort) return 2;
    if (probe.result == kProbeAccepted) {
        for (size_t c = 0; c < probe.cameras.size() && c < e.cameras.size(); ++c) {
            e.cameras[c].frameDurationMs = probe.cameras[c].frameDurationMs;
            e.cameras[c].durationS = probe.cameras[c].durationS;
        }
    } else {
        // The boxes told nothing: the decoder's view of the file gives the
        // frame rate, its container the duration.
        float ms = 0;
        if (!Succeeded(ProbeFrameDuration(path, &ms))) return 0;
        e.cameras[0].frameDurationMs = ms;
        std::unique_ptr<MediaSource> source;
        if (Succeeded(MediaSource::Open(path, nullptr, &source)) && source)
            e.cameras[0].durationS =
                static_cast<float>(double(source->Duration()) / double(kUnitsPerSecond));
    }
    if (OpenGate(probe.result, e.cameras[0].durationS, e.cameras[0].frameDurationMs) != 1) return 0;

    PlayerOptions options;
    if (const SessionConfig* config = EngineAccess::Config(e)) {
        options.sink = config->sink;
        options.makeAudioOutput = config->makeAudioOutput;
        options.decoderThreads = config->decoderThreads;
    }
    options.combinedFile = e.combinedForPresenter;
    options.hardwareDecode = e.hardwareDecode;
    e.player = CPlayer::Create(i, window0, window1, &e.modelStates, std::move(options));
    if (!e.player ||
        !Succeeded(e.player->OpenFile(path, tree ? tree->map.file : -1,
                                      prepared ? std::move(prepared->source) : nullptr))) {
        e.player.reset();
        return 0;
    }
    e.canPlayBackwards = (e.player->SeekingCapabilities() & kCanPlayBackwards) != 0;
    if (LengthLocked(e, 0) <= 0) {
        e.player.reset(); // closes
        return 0;
    }
    e.state = kEngineStopped;
    e.openTree = std::move(tree); // for the first telemetry read of this file
    return 1;
}

int CloseMovie(PlaybackEngine& e) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    e.openTree.reset();
    if (e.player) {
        // Each camera's view is saved into modelStates by the player's close.
        if (e.state != kEngineClosed) e.player->Pause();
        e.player->Close();
        e.player.reset();
    }
    e.state = kEngineClosed;
    return 1;
}

int LoadTelemetry(PlaybackEngine& e, const std::string& path) {
    Held data(e.dataLock, EngineAccess::Waiters(e));
    Held play(e.playLock, EngineAccess::Waiters(e));
    bool ok;
    if (!path.empty() && e.telemetryFileName == path && e.prefetchTelemetry.loaded) {
        MoveReader(e.prefetchTelemetry, e.activeTelemetry);
        e.telemetryFileName.clear();
        ok = true;
    } else {
        ok =
            !path.empty() && LoadRecordsLocked(e, e.activeTelemetry, path, EngineAccess::Family(e));
    }
    if (ok) ok = BuildTimeBase(e.activeTelemetry, LengthLocked(e, 0));
    if (!ok) ClearReader(e.activeTelemetry);
    return ok ? 1 : 0;
}

int ReleaseTelemetry(PlaybackEngine& e, const std::string& keepPrefetchOf) {
    Held data(e.dataLock, EngineAccess::Waiters(e));
    Held play(e.playLock, EngineAccess::Waiters(e));
    ClearReader(e.activeTelemetry);
    // A prefetch of the recording being opened is what its load will take.
    if (keepPrefetchOf.empty() || e.telemetryFileName != keepPrefetchOf) {
        ClearReader(e.prefetchTelemetry);
        e.telemetryFileName.clear();
    }
    return 1;
}

int Play(PlaybackEngine& e) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (NotReadyLocked(e)) return 0;
    if (e.state == kEnginePlaying) return 1;
    const PlayerResult r = e.player->Play();
    if (!Succeeded(r) && e.player->State() != PlayerState::Started) return 0;
    e.state = kEnginePlaying;
    return 1;
}

int RestartAt(PlaybackEngine& e, int64_t frame) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (NotReadyLocked(e)) return 0;
    if (e.state != kEnginePlaying) return 1;
    // The player starts at its stored rate and thinning (SetSpeed).
    return Succeeded(e.player->PlayFrom(TimeOfFrame(frame, e.cameras[0].frameDurationMs))) ? 1 : 0;
}

// Pause and Stop both hold the picture; they differ only in the state.
int HoldPicture(PlaybackEngine& e, EngineState target) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (NotReadyLocked(e)) return 0;
    if (e.state != target) {
        // A player already at its end refuses; the picture holds all the same.
        e.player->Pause();
        e.state = target;
    }
    return 1;
}

int Pause(PlaybackEngine& e) {
    return HoldPicture(e, kEnginePaused);
}

int Stop(PlaybackEngine& e) {
    return HoldPicture(e, kEngineStopped);
}

int64_t GetPosition(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i)) return -1;
    if (!e.player) return -1;
    if (!e.player->IsReady()) return 0;
    return FramesOfTime(e.player->GetTime(), e.cameras[static_cast<size_t>(i)].frameDurationMs);
}

int SeekFrame(PlaybackEngine& e, int i, int64_t frame) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || NotReadyLocked(e)) return 0;
    const float ms = e.cameras[static_cast<size_t>(i)].frameDurationMs;
    if (!(ms > 0)) return 0;
    // The player flushes both streams' queued frames and shows exactly the
    // frame at that time, with the clock standing (rate 0, stored thinning).
    return Succeeded(e.player->ScrubTo(TimeOfFrame(frame, ms))) ? 1 : 0;
}

int Reserved(PlaybackEngine&) {
    return 0;
}

PlaybackEngine* SetHardwareDecode(PlaybackEngine& e, bool on) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    e.hardwareDecode = on;
    return &e;
}

int SetSpeed(PlaybackEngine& e, int step) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    const SpeedSetting s = ApplySpeedStep(step, e.speedStep, e.canPlayBackwards);
    e.speedStep = s.step;
    if (e.player) {
        e.player->SetVolume(s.audible ? e.volume : 0);
        // Takes effect at the player's next start or seek.
        e.player->SetRate(s.rate, s.thin);
    }
    return 1;
}

int SetFitMode(PlaybackEngine& e, int i, int mode) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i)) return 0;
    e.cameras[static_cast<size_t>(i)].fitMode = mode;
    return ApplyPlacementLocked(e, i);
}

int64_t GetLength(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    return LengthLocked(e, i);
}

float GetFrameDuration(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    return ValidCamera(i) ? e.cameras[static_cast<size_t>(i)].frameDurationMs : 0.0f;
}

float GetFramePeriod(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || NotReadyLocked(e)) return 0.0f;
    return e.player->GetFramePeriod(i);
}

int GetVideoSize(PlaybackEngine& e, int i, int* width, int* height) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || !e.player) return 0;
    const QSize s = e.player->GetVideoSize(i);
    if (!s.isValid() || s.isEmpty()) return 0;
    if (width) *width = s.width();
    if (height) *height = s.height();
    return 1;
}

int SetVolume(PlaybackEngine& e, int volume) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    volume = std::clamp(volume, 0, 65535);
    // Only x1.0 is heard; the volume is kept for when it is.
    const int applied = e.speedStep == kSpeedNormal ? volume : 0;
    if (e.player && Succeeded(e.player->SetVolume(applied)))
        e.volume = static_cast<uint16_t>(volume);
    return 1;
}

int SetVideoPlacement(PlaybackEngine& e, int i, float focusX, float focusY, int offsetX,
                      int offsetY, float zoom, bool) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || (e.player && !e.player->IsReady())) return 0;
    CameraPlacement& cam = e.cameras[static_cast<size_t>(i)];
    cam.focusX = focusX;
    cam.focusY = focusY;
    cam.offsetX = offsetX;
    cam.offsetY = offsetY;
    cam.zoom = zoom;
    // The repaint flag concerns only renderers without a presenter; the
    // presenter repaints when its rectangle changes.
    return ApplyPlacementLocked(e, i);
}

int DragView(PlaybackEngine& e, int i, float dx, float dy, float scale) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    Presenter* p = PresenterLocked(e, i);
    return p && p->DragView(dx, dy, scale) ? 1 : 0;
}

// The view operations without an answer of their own: 1 when a presenter
// took them, 0 when there is none to take them.
template <typename F> int WithPresenter(PlaybackEngine& e, int i, F&& f) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    Presenter* p = PresenterLocked(e, i);
    if (!p) return 0;
    f(*p);
    return 1;
}

int CommitViewRotation(PlaybackEngine& e, int i) {
    return WithPresenter(e, i, [](Presenter& p) { p.CommitViewRotation(); });
}

int FlipView(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    Presenter* p = PresenterLocked(e, i);
    return p && p->FlipView() ? 1 : 0;
}

int SetDisplayMode(PlaybackEngine& e, int i, int mode) {
    return WithPresenter(e, i, [mode](Presenter& p) { p.SetDisplayMode(mode); });
}

int SetViewAspect(PlaybackEngine& e, int i, int w, int h) {
    return WithPresenter(e, i, [w, h](Presenter& p) { p.SetViewAspect(w, h); });
}

int ResetModelPose(PlaybackEngine& e, int i) {
    return WithPresenter(e, i, [](Presenter& p) { p.ResetModelPose(); });
}

int SetDrawInterval(PlaybackEngine& e, int i, int value) {
    return WithPresenter(e, i, [value](Presenter& p) { p.SetDrawInterval(value); });
}

int EnableStream(PlaybackEngine& e, int i, bool on) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || NotReadyLocked(e)) return 0;
    return Succeeded(e.player->EnableStream(i, on)) ? 1 : 0;
}

int SaveStill(PlaybackEngine& e, int i, const std::string& path) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    Presenter* p = PresenterLocked(e, i);
    return p && !path.empty() && p->SaveStill(QString::fromStdString(path)) ? 1 : 0;
}

int Redraw(PlaybackEngine& e, int i) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    if (!ValidCamera(i) || NotReadyLocked(e)) return 0;
    return Succeeded(e.player->Refresh(i)) ? 1 : 0;
}

int SetCombinedFlag(PlaybackEngine& e, bool flag) {
    Held play(e.playLock, EngineAccess::Waiters(e));
    e.combinedForPresenter = flag;
    return 1;
}

} // namespace

bool LoadRecordsLocked(PlaybackEngine& e, sGPSREADER& reader, const std::string& path,
                       RecorderFamily family) {
    if (e.openTree && e.openTree->map.path == path && e.openTree->family == family) {
        // The records of the open movie, from the open that played it; a
        // later read of the same file opens it again.
        const std::unique_ptr<sMP4MOVIE> tree = std::move(e.openTree);
        return LoadRecords(reader, *tree);
    }
    return LoadRecords(reader, path, family);
}

const EngineOps& StandardEngineOps() {
    static const EngineOps ops{
        InitEngine,
        TermEngine,
        IsRecordingCompleteOp,
        SetWindows,
        OpenMovie,
        CloseMovie,
        LoadTelemetry,
        ReleaseTelemetry,
        Play,
        RestartAt,
        Pause,
        Stop,
        GetPosition,
        SeekFrame,
        SeekFrame, // 14: the same operation
        Reserved,
        Reserved,
        SetHardwareDecode,
        Reserved,
        SetSpeed,
        Reserved,
        SetFitMode,
        GetLength,
        GetLength, // 23: the same operation
        Reserved,
        GetFrameDuration,
        GetFramePeriod,
        GetVideoSize,
        SetVolume,
        Reserved,
        Reserved,
        Reserved,
        SetVideoPlacement,
        DragView,
        CommitViewRotation,
        FlipView,
        SetDisplayMode,
        SetViewAspect,
        ResetModelPose,
        SetDrawInterval,
        EnableStream,
        SaveStill,
        Redraw,
        Reserved,
        SetCombinedFlag,
    };
    return ops;
}

} // namespace playcore
