#pragma once
// Pure decisions of the movie player: how the streams of a recording are
// numbered and routed to windows, the player's state table, thinning and
// volume. No media library, no Qt.

#include <optional>

#include "playcore/player/player_types.h"

namespace playcore {

// ---- stream numbering ----
// The player numbers a recording's streams in the reverse order of the
// file's tracks. The recorder writes its video tracks first and the sound
// last, so a one-camera recording is 0 audio, 1 video, and a combined
// recording (front track, rear track, sound) is 0 audio, 1 rear video,
// 2 front video. The mapping is its own inverse.
int PresentationStreamIndex(int fileIndex, int streamCount);

// The window that shows stream n: with two streams window 0; with three,
// window 1 for stream 1 (the rear camera) and window 0 otherwise; with any
// other count none (-1).
int WindowOfStream(int n, int streamCount);

// Whether the player's file carries a second camera for this engine: for a
// combined recording, camera index 0 and three streams; otherwise the
// engine's camera is the rear one (index 1).
bool HasSecondCamera(bool combinedFile, int cameraIndex, int streamCount);

// ---- rate ----
// Rates of 2.0 and more are played thinned: key frames only.
inline constexpr float kThinningRate = 2.0f;
bool ThinningForRate(float rate);
// The rates the presentation clock accepts while running: 0.25 to 4.
inline constexpr float kMinPlayRate = 0.25f;
inline constexpr float kMaxPlayRate = 4.0f;
bool IsPlayableRate(float rate);

// ---- volume ----
// Every audio channel gets volume / 65535 (0..65535; values outside clamp).
float ChannelVolume(int volume);

// ---- clock reads ----
// GetTime reads a started clock that still stands at 0 again after 10 ms,
// at most 10 reads in all.
inline constexpr int kClockReads = 10;
inline constexpr int kClockReadRetryMs = 10;

// ---- states ----
enum class PlayerEvent {
    SessionCreated,    // OpenFile made the media session
    TopologySet,       // the file was opened and its branches handed to the session
    TopologyReady,     // every branch resolved: decoders and outputs open
    Play,              // Play or PlayFrom
    Pause,             //
    EndOfPresentation, // every stream played out
    NewPresentation,   //
    Close,             // Close began
    Closed,            // Close finished
    OpenFailed,        // a step of OpenFile failed
};

// The state an event leads to from `from`, or nothing when the event is not
// allowed there (Play outside Paused/Stopped, Pause outside Started, ...).
std::optional<PlayerState> NextPlayerState(PlayerState from, PlayerEvent event);

} // namespace playcore
