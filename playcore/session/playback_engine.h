#pragma once
// PlaybackEngine: one camera slot of the playback session. It owns the
// player of its movie (CPlayer), the display-model state that carries a
// camera's view from one movie to the next, two telemetry readers (the open
// movie's and one filled ahead of time), and the placement of up to two
// cameras (two only for a file holding both cameras). Every operation on it
// goes through the fixed table EngineOps (45 slots, reserved ones included);
// each takes the engine first and answers with an integer: 0 failure,
// 1 success, 2 too short to play (OpenMovie only). Nothing throws across it.
//
// Locks (both recursive, waited for without a time limit):
//   playLock  every operation that touches the player or a file, for the
//             whole operation. The view operations reach a presenter only
//             while holding it, so the presenter cannot go away meanwhile;
//             below it the player's own order applies (player lock ->
//             presenter lock -> model lock).
//   dataLock  the telemetry readers and the track cache. Loading and
//             prefetching take dataLock, then playLock; nothing takes them
//             the other way round. Telemetry views hold dataLock (through the
//             session's LockTelemetry) while they walk the record lists.
//   preparedLock  the movie read ahead (`prepared`), held only to hand it
//             over: the reads run without any lock.
// Every wait on playLock or dataLock is counted in the session's lockWaiters.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/player/audio_output.h"
#include "playcore/player/player.h"
#include "playcore/session/session_rules.h"

namespace playcore {

class PlaybackSession;

// Face the main window passes for the engines' overlay font.
inline constexpr const char* kOverlayFontFace = "メイリオ";

// The overlay font of an engine: kept for the reserved overlay-text
// operation, nothing draws with it. Height MulDiv(42, dpi, 72), weight 700,
// character set 128.
struct OverlayFont {
    std::string face;
    int height = 0;
    int weight = 0;
    int charset = 0;
};

// The reads of OpenMovie done ahead on another thread (PrepareMovie): the
// box tree, the ftyp check, the frame timing and the opened container. The
// next OpenMovie of the same unchanged file takes them instead of reading.
struct PreparedMovie {
    std::string path;
    std::unique_ptr<sMP4MOVIE> tree; // never null in a prepared movie
    bool ftyp = false;
    FrameTimingProbe probe;
    std::unique_ptr<MediaSource> source; // null: opened by OpenMovie
};

// Reads what OpenMovie reads of path (no engine lock is needed), the
// container too when openContainer; null when the file's boxes cannot be
// read as a tree (OpenMovie then checks the file by its head alone).
std::unique_ptr<PreparedMovie> PrepareMovie(const std::string& path, RecorderFamily family,
                                            bool openContainer = true);

struct PlaybackEngine {
    PlaybackEngine() = default;
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Set once by the session that holds the engine, before any operation.
    PlaybackSession* owner = nullptr;

    mutable std::recursive_mutex playLock;
    mutable std::recursive_mutex dataLock;

    // ---- guarded by playLock ----
    uint16_t volume = 0;           // last volume the player accepted, 0..65535
    bool canPlayBackwards = false; // bit 6 (0x40) of the player's seeking capabilities
    SpeedStep speedStep = static_cast<SpeedStep>(0); // 1 after InitEngine
    std::array<CameraPlacement, 2> cameras{};        // 1 = second camera of a combined file
    bool hardwareDecode = false;                     // "DECODE"/"HW"
    bool combinedForPresenter = false;               // the open file holds both cameras
    OverlayFont overlayFont;
    std::array<PlayerWindow, 2> windows{}; // window1 only for a combined file
    // The two 640-byte display-model blocks: loaded into each new presenter,
    // saved back when the movie closes.
    CPlayer::ModelStates modelStates{};
    std::unique_ptr<CPlayer> player; // the open movie's player, or null
    // The box tree OpenMovie read the open movie with, kept until the first
    // telemetry read of that file (LoadTelemetry or the session's prefetch)
    // takes its records, or until the movie closes. So one open of the file
    // serves the ftyp check, the timing probe, the player (which reads the
    // tree's descriptor) and the telemetry.
    std::unique_ptr<sMP4MOVIE> openTree;

    // ---- written under playLock, read from any thread ----
    std::atomic<EngineState> state{kEngineClosed};
    std::atomic<bool> ready{false};           // InitEngine succeeded
    std::atomic<bool> opened{false};          // the last OpenMovie succeeded
    std::atomic<bool> telemetryMaster{false}; // this movie supplied the telemetry

    // ---- guarded by dataLock ----
    sGPSREADER activeTelemetry;               // the open movie's records and time base
    sGPSREADER prefetchTelemetry;             // read ahead by PrefetchTelemetry
    std::string telemetryFileName;            // the file prefetchTelemetry holds ("" none)
    std::atomic<bool> prefetchRunning{false}; // set while a prefetch reads
    std::vector<GpsRecord> trackCache;        // GPS track of the whole list (ReadAllTracks)

    // ---- guarded by preparedLock ----
    std::mutex preparedLock;
    std::unique_ptr<PreparedMovie> prepared; // the movie read ahead, or null
};

// The 45 operations of an engine, in slot order. Reserved slots answer 0.
// Camera index i: 0 or 1 (the stream inside a combined file; 0 otherwise).
// Slots 8 to 13, 26 and 32 to 42 answer 0 while the player exists but is not
// ready yet (UM_MOVIE_READY not posted).
struct EngineOps {
    using Reserved = int (*)(PlaybackEngine&);

    /* 0 */ int (*InitEngine)(PlaybackEngine&, PlayerWindow window0, PlayerWindow window1,
                              const std::string& fontFace);
    /* 1 */ int (*TermEngine)(PlaybackEngine&);
    /* 2 */ int (*IsRecordingComplete)(PlaybackEngine&, const std::string& path);
    /* 3 */ int (*SetWindows)(PlaybackEngine&, PlayerWindow window0, PlayerWindow window1);
    // 0 failed, 1 opened, 2 too short to play.
    /* 4 */ int (*OpenMovie)(PlaybackEngine&, int i, const std::string& path, PlayerWindow window0,
                             PlayerWindow window1);
    /* 5 */ int (*CloseMovie)(PlaybackEngine&);
    /* 6 */ int (*LoadTelemetry)(PlaybackEngine&, const std::string& path);
    // Clears the open movie's records; the prefetched records stay when they are
    // of keepPrefetchOf (the file about to be opened), else they go as well.
    /* 7 */ int (*ReleaseTelemetry)(PlaybackEngine&, const std::string& keepPrefetchOf);
    /* 8 */ int (*Play)(PlaybackEngine&);
    /* 9 */ int (*RestartAt)(PlaybackEngine&, int64_t frame);
    /* 10 */ int (*Pause)(PlaybackEngine&);
    /* 11 */ int (*Stop)(PlaybackEngine&);
    // Frames; -1 when there is no time to read.
    /* 12 */ int64_t (*GetPosition)(PlaybackEngine&, int i);
    /* 13 */ int (*SeekFrame)(PlaybackEngine&, int i, int64_t frame);
    // The same as slot 13; the entry the session uses for seeks into the end margin.
    /* 14 */ int (*SeekFrameForward)(PlaybackEngine&, int i, int64_t frame);
    /* 15 */ Reserved Reserved15;
    /* 16 */ Reserved Reserved16;
    /* 17 */ PlaybackEngine* (*SetHardwareDecode)(PlaybackEngine&, bool on);
    /* 18 */ Reserved Reserved18;
    /* 19 */ int (*SetSpeed)(PlaybackEngine&, int step);
    /* 20 */ Reserved Reserved20;
    /* 21 */ int (*SetFitMode)(PlaybackEngine&, int i, int mode);
    /* 22 */ int64_t (*GetLength)(PlaybackEngine&, int i);
    // The same as slot 22; the entry GetMasterLength uses.
    /* 23 */ int64_t (*GetMasterLength)(PlaybackEngine&, int i);
    /* 24 */ Reserved Reserved24;
    /* 25 */ float (*GetFrameDuration)(PlaybackEngine&, int i); // ms
    /* 26 */ float (*GetFramePeriod)(PlaybackEngine&, int i);   // seconds per frame
    /* 27 */ int (*GetVideoSize)(PlaybackEngine&, int i, int* width, int* height);
    /* 28 */ int (*SetVolume)(PlaybackEngine&, int volume);
    /* 29 */ Reserved Reserved29;
    /* 30 */ Reserved Reserved30;
    /* 31 */ Reserved Reserved31;
    /* 32 */ int (*SetVideoPlacement)(PlaybackEngine&, int i, float focusX, float focusY,
                                      int offsetX, int offsetY, float zoom, bool repaint);
    /* 33 */ int (*DragView)(PlaybackEngine&, int i, float dx, float dy, float scale);
    /* 34 */ int (*CommitViewRotation)(PlaybackEngine&, int i);
    // 1 when the models are flipped afterwards.
    /* 35 */ int (*FlipView)(PlaybackEngine&, int i);
    /* 36 */ int (*SetDisplayMode)(PlaybackEngine&, int i, int mode);
    /* 37 */ int (*SetViewAspect)(PlaybackEngine&, int i, int w, int h);
    /* 38 */ int (*ResetModelPose)(PlaybackEngine&, int i);
    /* 39 */ int (*SetDrawInterval)(PlaybackEngine&, int i, int value);
    /* 40 */ int (*EnableStream)(PlaybackEngine&, int i, bool on);
    /* 41 */ int (*SaveStill)(PlaybackEngine&, int i, const std::string& path);
    /* 42 */ int (*Redraw)(PlaybackEngine&, int i);
    /* 43 */ Reserved Reserved43;
    /* 44 */ int (*SetCombinedFlag)(PlaybackEngine&, bool flag);
};
inline constexpr int kEngineOpsSlots = 45;
static_assert(sizeof(EngineOps) == kEngineOpsSlots * sizeof(void (*)()),
              "EngineOps holds exactly 45 slots");

// The table every engine uses (both engines hold the same functions).
const EngineOps& StandardEngineOps();

// Reads the records of path into reader from the engine's open movie when it
// is that file (the open tree is used up), else from the file itself.
// The caller holds playLock.
bool LoadRecordsLocked(PlaybackEngine& e, sGPSREADER& reader, const std::string& path,
                       RecorderFamily family);

} // namespace playcore
