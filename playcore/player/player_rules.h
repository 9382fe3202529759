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

// The window that shows video branch b. Branches are built from the last
// stream down: branch 0 is the engine's own camera (the front camera of a
// combined recording) and goes to window 0, branch 1 (the rear camera of a
// combined recording) to window 1; any further branch has none (-1).
// For every recording with a sound track this is the window of its stream
// n by the stream count (two streams: window 0; three: window 1 for n = 1,
// else window 0); by branch, a recording without a sound track shows its
// pictures too.
int WindowOfBranch(int branch);

// Whether the player's file carries a second camera for this engine: for a
// combined recording, camera index 0 and two video streams; otherwise the
// engine's camera is the rear one (index 1).
bool HasSecondCamera(bool combinedFile, int cameraIndex, int videoStreamCount);

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
