#pragma once
// Decisions of the main window that need no window: which toolbar buttons are
// enabled, where continuous play goes at the end of a list, how many engine
// notifications complete an open or an end, the start speed of a recording,
// when the shorter movie of a pair counts as ended, and the position text.
// Pure code: the window feeds it its state and applies the answer.

#include <array>
#include <string>

#include "kinetta/base/command_ids.h"
#include "kinetta/base/recorder_family.h"

namespace kinetta {

using ToolbarFlags = std::array<bool, kToolbarCommandCount>; // index = command - 38000

// The commands whose flows exist in this build; the others stay disabled.
ToolbarFlags AvailableCommands();
// The same for any main-window command: commands outside the toolbar's are
// the movie areas' display commands, which exist.
bool CommandHasFlow(int command);

struct ToolbarInput {
    OperatingMode mode = kBuildMode;
    bool busy = false;        // from a selection until the movies are ready
    bool loaded = false;      // the recording's telemetry is loaded; playback may start
    bool engineReady = false; // at least one playback engine is ready
    int speedStep = 1;        // the master engine's step
    int selected = -1;        // selected list row, -1 for none
    int rowCount = 0;
    bool hasNextFolder = false;    // the folder tree has an item below the selected one
    bool controlsDisabled = false; // near the end: the position timer disabled the controls
    bool otherCameraOpen = false;  // the camera switch has a movie to switch to
    ToolbarFlags available = AvailableCommands();
};

struct ToolbarState {
    ToolbarFlags enabled{};     // index = command - 38000
    bool captionButtons = true; // commands 19, 20, 21
    bool recordingList = true;  // the list container takes input
    bool Enabled(int command) const {
        int i = command - kFirstToolbarCommand;
        return i >= 0 && i < kToolbarCommandCount && enabled[static_cast<size_t>(i)];
    }
};

// The toolbar after a state change. While busy everything is disabled (caption
// buttons and the list included); near the end the toolbar is disabled but the
// caption buttons stay usable. Fast-forward follows FastForwardEnabled; slow is
// enabled while the step is -1 or more or no engine is ready; previous and next
// follow the selection, the list length and the next folder.
ToolbarState ComputeToolbar(const ToolbarInput& in);

// What "next" does from the selected row.
enum class NextMove {
    SelectRow,       // select `row` (open reason 1)
    IntoNextFolder,  // last row, a next folder exists: pause, then continue there
    FinishAtLastRow, // last row, no next folder: stay on it, finished
    Nothing,         // no selection or an empty list
};
struct NextChoice {
    NextMove move = NextMove::Nothing;
    int row = -1;
};
NextChoice ChooseNext(int selected, int rowCount, bool hasNextFolder);

// The row "previous" selects, or -1 at the first row (seek to frame 0 instead).
int ChoosePrevious(int selected, int rowCount);

// UM_MOVIE_READY notifications that complete an open: 2 for a pair whose two
// movies both opened, else 1.
int ExpectedReadyCount(bool pair, bool frontOpened, bool rearOpened);

// Whether the end notification number `endedCount` (from 1) of `camera`
// completes the recording. One end completes a combined file or a single
// opened movie, and the first end completes in Single and Light mode. In Full
// mode with two movies both ends are needed, except that when the front movie
// is longer than the rear by more than 2000 ms the rear's end is ignored and
// the front's end completes.
bool EndCompletes(OperatingMode mode, bool twoMovies, int endedCount, int camera,
                  double frontLengthMs, double rearLengthMs);

// The speed a recording starts at when played from the list: with b its
// default step, c the engine's current step and r the remembered step:
// b == r keeps c; c == r takes b; otherwise c when c >= b, else b.
int ChooseStartSpeed(int defaultStep, int currentStep, int rememberedStep);

// The camera (0 front, 1 rear) whose movie counts as ended at `position`
// because it is the shorter of a pair and the position has passed its frame
// count plus the tolerance; -1 while both still play or the counts differ by
// no more than the tolerance.
int EndedShorterCamera(long long frontFrames, long long rearFrames, int tolerance,
                       long long position);

// Volume fades: fade-in raises the level by 2000 per 10 ms tick up to the
// volume; fade-out lowers it by 4000 per 10 ms down to 0.
inline constexpr int kFadeInStep = 2000;
inline constexpr int kFadeOutStep = 4000;
int FadeInLevel(int level, int volume);

// "mm:ss / mm:ss" of a position and a length in frames of frameMs each
// (minutes may exceed 59); "00:00 / 00:00" without a known length.
std::string PositionText(long long position, long long length, double frameMs);

} // namespace kinetta
