#pragma once
// The arithmetic of the two-engine playback session, without players or
// windows: engine states and speed steps, frames <-> media time, the seek
// scaling and the 80-frame end margin, the shorter-movie rule of Play, where
// a camera's picture goes inside its window, and which engine and camera
// index a camera selection reaches (one file holding both cameras is played
// by engine 0 alone).
//
// Units: a frame lasts the probed frame duration of its camera in whole
// milliseconds (float); media time is in 100-ns units (MediaTime).

#include <array>
#include <cstdint>

#include "playcore/player/player_types.h"

namespace playcore {

class VideoSurface;

// State of one engine's movie.
enum EngineState : int {
    kEngineClosed = 0,
    kEngineStopped = 1,
    kEnginePlaying = 2,
    kEnginePaused = 3,
};

// Speed code of an engine. Other values may be stored (they play at 1.0, muted).
enum SpeedStep : int {
    kSpeedQuarter = -4,  // "再生速度x0.25"
    kSpeedHalf = -2,     // "再生速度x0.5"
    kSpeedBackward = -1, // toggles x0.5 / x1.0 on a player that cannot play backwards
    kSpeedNormal = 1,    // "再生速度x1.0", the only audible step
    kSpeedDouble = 2,    // "再生速度x2.0"
    kSpeedQuadruple = 4, // "再生速度x4.0"
};

// Camera selection of every session call (0 front, 1 rear, 2 both).
inline constexpr int kCamFront = 0;
inline constexpr int kCamRear = 1;
inline constexpr int kCamBoth = 2;

// ---- speed ----

// What SetSpeed makes of a requested step.
struct SpeedSetting {
    SpeedStep step = kSpeedNormal; // stored as the engine's new step
    float rate = 1.0f;             // playback rate handed to the player
    bool audible = true;           // the engine's volume applies (else 0)
    bool thin = false;             // key frames only (rate >= 2.0)
};
// `current` is the engine's step before the change.
SpeedSetting ApplySpeedStep(int requested, SpeedStep current, bool canPlayBackwards);

// The step one press of fast-forward (faster) or slow (!faster) leads to.
// Not Playing: always 1. `fallbackRenderers` selects the slow column of the
// renderers used without the platform player (not built here).
SpeedStep NextSpeedStep(EngineState state, SpeedStep current, bool faster, bool canPlayBackwards,
                        bool fallbackRenderers = false);

// ---- frames ----

// A seek never lands inside the last 80 frames of a movie (both cameras).
inline constexpr int64_t kSeekEndMargin = 80;
// Play with both cameras: the movies count as different in length beyond
// 80 frames, an engine is the shorter one within 20 frames of that
// difference, and it counts as at its end within 100 frames.
inline constexpr int64_t kPlayLengthDifference = 80;
inline constexpr int64_t kPlayShorterTolerance = 20;
inline constexpr int64_t kPlayNearEnd = 100;

// Position: time ÷ (duration × 10,000), truncated; -1 for a negative time or
// an unknown (non-positive or non-finite) frame duration.
int64_t FramesOfTime(MediaTime time, float frameDurationMs);
// Length: the same for a duration, 0 when it cannot be counted.
int64_t LengthInFrames(MediaTime duration, float frameDurationMs);
// frame × duration × 10,000 (negative frames count as 0).
MediaTime TimeOfFrame(int64_t frame, float frameDurationMs);

// Scale from engine-0 frames to engine-1 frames: d0 ÷ d1 when both engines
// hold a movie and both durations are known, else 1.0.
double RearFrameScale(float d0, float d1, bool bothOpened);
// Engine 1's length in engine-0 frames: ⌊L1 × d1 ÷ d0⌋ (ratio 1.0 unless
// both are opened and both durations are known).
int64_t RearLengthInFrontFrames(int64_t l1, float d0, float d1, bool bothOpened);

// Where one engine goes for a seek of both cameras. `scaled` is the
// requested frame in the engine's own frames (⌊frame × scale⌋).
struct SeekStep {
    bool move = true;     // false: the engine stays where it is
    bool nearEnd = false; // the end-margin entry of the engine is used
    int64_t frame = 0;    // target in the engine's frames
};
// Normal seek: the scaled frame, or max(L − 80, 0) when it would land
// within the last 80 frames. Forward seek: in the latter case the engine
// moves only when max(L − 80, 0) is later than its current position.
SeekStep PlanSeekBoth(int64_t scaled, int64_t length, bool forward, int64_t position);

// Play with both cameras on two files: which engine starts and which is only
// marked Playing (the shorter movie, at its end, keeps its last frame while
// the other runs on). Lengths and positions are each engine's own frames.
struct PairPlayInput {
    std::array<int64_t, 2> length{};
    std::array<int64_t, 2> position{};
    std::array<float, 2> frameDurationMs{};
    std::array<bool, 2> opened{};
};
struct PairPlayPlan {
    std::array<bool, 2> hold{}; // marked Playing without starting
};
PairPlayPlan PlanPairPlay(const PairPlayInput& in);

// ---- placement ----

struct PlacementRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PlacementRect&) const = default;
};

// The placement of one camera's picture inside its window.
struct CameraPlacement {
    VideoSurface* surface = nullptr; // target window: where the picture is drawn
    void* target = nullptr;          // target window: where its messages go
    float focusX = 0, focusY = 0;    // pixels of the window
    float zoom = 1.0f;               // 1 = the whole window
    PlacementRect dest;              // destination rectangle (window pixels)
    int offsetX = 0, offsetY = 0;    // added to the destination rectangle
    int fitMode = 0;                 // 1 keeps the picture's aspect ratio
    float frameDurationMs = 0;       // probed frame duration
    float durationS = 0;             // duration of the video track
};

// What a movie window hands over for one camera.
struct VideoPlacement {
    float focusX = 0, focusY = 0;
    int offsetX = 0, offsetY = 0;
    float zoom = 1.0f;
};

// The destination rectangle of a camera: the client rectangle zoomed by
// `zoom` about the focus point, shifted by the offset and, for fit mode 1,
// reduced to the picture's aspect (centred, +2 pixels right and bottom).
// False for zoom 0, an empty client rectangle, or a zoom that turns the
// rectangle inside out. videoWidth/Height 0: the aspect is not known and
// the zoomed rectangle is used as it is.
bool PlaceCamera(const PlacementRect& client, const CameraPlacement& p, int videoWidth,
                 int videoHeight, PlacementRect* out);

// ---- routing ----

// The engine and camera index one camera selection reaches.
struct EngineCamera {
    int engine = -1; // -1: no engine (a selection outside 0..2)
    int camera = 0;  // camera (stream) index inside the engine's file
};
// Two files: engine cam with camera 0; cam 2 the master. One file holding
// both cameras: engine 0 with camera cam (0 for 2).
EngineCamera RouteCamera(int cam, bool combinedFile, int master);

// The master engine: engine 0 for a combined file; else the engine whose
// movie supplied the telemetry (engine 0 first); before any telemetry the
// first engine holding a movie, engine 1 when neither does.
int MasterEngine(bool combinedFile, std::array<bool, 2> telemetryMaster,
                 std::array<bool, 2> opened);

// Streams a combined file presents for a camera selection: cam 0 only
// stream 0, cam 1 only stream 1, cam 2 both.
std::array<bool, 2> StreamsShown(int cam);

// Volume of each engine for a SetVolume: -1 leaves the engine alone.
// cam 0/1: that engine gets the volume, the other 0; cam 2: the master gets
// it, and engine 1 gets 0 when the master is engine 0. A combined file has
// one sound track, played by engine 0.
std::array<int, 2> RouteVolume(int cam, int volume, bool combinedFile, int master);

// ---- opening ----

// After the frame-timing probe: 2 (too short) passes through; otherwise the
// movie opens only when camera 0 lasts more than 1.5 s or its frame
// duration is exactly 15.0 ms, and its frame duration is known (> 0).
int OpenGate(int probeResult, float durationS, float frameDurationMs);

// SaveStills: fails when a camera that was asked for and holds a movie did
// not get its still, and when stills were asked for but none was written.
bool StillsSaved(std::array<bool, 2> asked, std::array<bool, 2> opened,
                 std::array<bool, 2> written);

} // namespace playcore
