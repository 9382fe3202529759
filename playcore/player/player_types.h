#pragma once
// Shared vocabulary of the movie player: media time, result codes, the
// player's states and the milestones it posts to its movie window.
//
// Media time is counted in 100-ns units from the start of the movie (the
// file's start time is time 0); every position, duration and frame period the
// player exchanges is in these units unless a name says otherwise.

#include <cstdint>

namespace playcore {

using MediaTime = int64_t;
inline constexpr MediaTime kUnitsPerSecond = 10'000'000;
inline constexpr MediaTime kUnitsPerMillisecond = 10'000;

// Results of player operations: 0 success, negative failure. FFmpeg failures
// are passed on as its own negative error codes; the player's own refusals
// keep the media platform's numbers that the engine tests for.
using PlayerResult = int32_t;
inline constexpr PlayerResult kResultOk = 0;
inline constexpr PlayerResult kResultNotImplemented = static_cast<int32_t>(0x80004001);
inline constexpr PlayerResult kResultInvalidPointer = static_cast<int32_t>(0x80004003);
inline constexpr PlayerResult kResultFail = static_cast<int32_t>(0x80004005);
// An operation the current state does not allow (Play while Started, ...).
inline constexpr PlayerResult kResultInvalidRequest = static_cast<int32_t>(0xC00D36B2);

inline constexpr bool Succeeded(PlayerResult r) {
    return r >= 0;
}

enum class PlayerState : int {
    Closed = 0,
    Ready = 1, // session created
    OpenPending = 2,
    Started = 3,
    Paused = 4,
    Stopped = 5,
    Closing = 6,
};

// Seeking capabilities the player reports after open: absolute seeks,
// forwards, backwards, current and stop position, duration. Bit 6
// (kCanPlayBackwards) stays clear: frames are decoded forwards only.
inline constexpr uint32_t kCanPlayBackwards = 0x40;
inline constexpr uint32_t kPlayerSeekingCapabilities = 0x3F;

// Messages posted to the notify window (wParam and lParam 0). The same
// numbers as the application's message table.
inline constexpr uint32_t UM_MOVIE_PAUSED = 0x83E9;
inline constexpr uint32_t UM_MOVIE_ENDED = 0x83EA;
inline constexpr uint32_t UM_MOVIE_READY = 0x83EB;

// UM_MOVIE_ENDED follows the end of the movie after this delay, ms.
inline constexpr int kEndedMessageDelayMs = 200;
// Close waits at most this long for the media threads, ms.
inline constexpr int kCloseWaitMs = 5000;

} // namespace playcore
