// Main-window decisions: toolbar enabling, next/previous, open and end counts,
// start speed, the shorter movie of a pair, fades and the position text.

#include <gtest/gtest.h>

#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/playback_rules.h"

using namespace kinetta;

namespace {
ToolbarInput LoadedAt(int step, OperatingMode mode = OperatingMode::Single) {
    ToolbarInput in;
    in.mode = mode;
    in.loaded = true;
    in.engineReady = true;
    in.speedStep = step;
    in.selected = 1;
    in.rowCount = 3;
    return in;
}
} // namespace

TEST(ToolbarRules, FastForwardAndSlowFollowTheSpeedStep) {
    // x1.0 -> x2.0 -> x4.0, where fast-forward is refused; Light mode refuses it at x1.0.
    EXPECT_TRUE(ComputeToolbar(LoadedAt(1)).Enabled(kCmdFastForward));
    EXPECT_TRUE(ComputeToolbar(LoadedAt(2)).Enabled(kCmdFastForward));
    EXPECT_FALSE(ComputeToolbar(LoadedAt(4)).Enabled(kCmdFastForward));
    EXPECT_FALSE(ComputeToolbar(LoadedAt(4, OperatingMode::Full)).Enabled(kCmdFastForward));
    EXPECT_FALSE(ComputeToolbar(LoadedAt(1, OperatingMode::Light)).Enabled(kCmdFastForward));
    EXPECT_TRUE(ComputeToolbar(LoadedAt(-2, OperatingMode::Light)).Enabled(kCmdFastForward));
    EXPECT_TRUE(ComputeToolbar(LoadedAt(-1)).Enabled(kCmdSlow));
    EXPECT_FALSE(ComputeToolbar(LoadedAt(-2)).Enabled(kCmdSlow));
    EXPECT_FALSE(ComputeToolbar(LoadedAt(-4)).Enabled(kCmdSlow));
}

TEST(ToolbarRules, BusyNearEndAndUnloadedStates) {
    ToolbarInput busy = LoadedAt(1);
    busy.busy = true;
    const ToolbarState b = ComputeToolbar(busy);
    for (bool on : b.enabled)
        EXPECT_FALSE(on);
    EXPECT_FALSE(b.captionButtons);
    EXPECT_FALSE(b.recordingList);

    ToolbarInput nearEnd = LoadedAt(1);
    nearEnd.controlsDisabled = true;
    const ToolbarState n = ComputeToolbar(nearEnd);
    for (bool on : n.enabled)
        EXPECT_FALSE(on);
    EXPECT_TRUE(n.captionButtons); // closing stays possible

    // A wait that ended without a loaded recording: browse, not play.
    ToolbarInput idle;
    idle.engineReady = true;
    idle.selected = 0;
    idle.rowCount = 2;
    const ToolbarState i = ComputeToolbar(idle);
    EXPECT_TRUE(i.Enabled(kCmdBrowse));
    EXPECT_FALSE(i.Enabled(kCmdPlayPause));
    EXPECT_FALSE(i.Enabled(kCmdPrevious)); // first row, nothing loaded to rewind
    EXPECT_TRUE(i.Enabled(kCmdNext));

    // Commands of windows that do not exist yet stay disabled whatever the state;
    // the file operations follow the state once their flows exist.
    const ToolbarState l = ComputeToolbar(LoadedAt(1));
    for (int c : {kCmdJoin, kCmdSaveSplit, kCmdDelete}) {
        if (CommandHasFlow(c)) continue;
        EXPECT_FALSE(l.Enabled(c)) << c;
    }
    // Stills and the save need a loaded recording; the CSV export and the
    // delete need rows only.
    EXPECT_TRUE(l.Enabled(kCmdStill));
    EXPECT_FALSE(i.Enabled(kCmdStill));
    EXPECT_TRUE(l.Enabled(kCmdSaveSplit));
    EXPECT_FALSE(i.Enabled(kCmdSaveSplit));
    EXPECT_TRUE(l.Enabled(kCmdCsv));
    EXPECT_TRUE(i.Enabled(kCmdCsv));
    EXPECT_TRUE(l.Enabled(kCmdDelete));
    EXPECT_TRUE(i.Enabled(kCmdDelete));
    ToolbarInput empty;
    empty.engineReady = true;
    EXPECT_FALSE(ComputeToolbar(empty).Enabled(kCmdCsv));
    EXPECT_FALSE(ComputeToolbar(empty).Enabled(kCmdDelete));
    // The settings dialog opens whether or not a recording is loaded.
    EXPECT_TRUE(l.Enabled(kCmdSettings));
    EXPECT_TRUE(i.Enabled(kCmdSettings));
    EXPECT_TRUE(l.Enabled(kCmdToStart));
    // The view commands work once a recording is loaded, and not before.
    for (int c : {kCmdZoom, kCmdDisplayMode, kCmdFlip, kCmdMirror, kCmdMapDisplay}) {
        EXPECT_TRUE(l.Enabled(c)) << c;
        EXPECT_FALSE(i.Enabled(c)) << c;
    }
}

TEST(ToolbarRules, PreviousNextAndCameraSwitch) {
    ToolbarInput last = LoadedAt(1);
    last.selected = 2;
    EXPECT_FALSE(ComputeToolbar(last).Enabled(kCmdNext));
    last.hasNextFolder = true;
    EXPECT_TRUE(ComputeToolbar(last).Enabled(kCmdNext));
    ToolbarInput first = LoadedAt(1);
    first.selected = 0;
    EXPECT_TRUE(ComputeToolbar(first).Enabled(kCmdPrevious)); // rewinds to frame 0

    ToolbarInput sw = LoadedAt(1);
    EXPECT_FALSE(ComputeToolbar(sw).Enabled(kCmdCameraSwitch));
    sw.otherCameraOpen = true;
    EXPECT_TRUE(ComputeToolbar(sw).Enabled(kCmdCameraSwitch));
    sw.mode = OperatingMode::Full;
    EXPECT_FALSE(ComputeToolbar(sw).Enabled(kCmdCameraSwitch));
}

TEST(MainWindowRules, NextAndPreviousMoves) {
    EXPECT_EQ(ChooseNext(0, 3, false).move, NextMove::SelectRow);
    EXPECT_EQ(ChooseNext(0, 3, false).row, 1);
    EXPECT_EQ(ChooseNext(2, 3, true).move, NextMove::IntoNextFolder);
    EXPECT_EQ(ChooseNext(2, 3, false).move, NextMove::FinishAtLastRow);
    EXPECT_EQ(ChooseNext(-1, 3, true).move, NextMove::Nothing);
    EXPECT_EQ(ChooseNext(0, 0, true).move, NextMove::Nothing);
    EXPECT_EQ(ChoosePrevious(2, 3), 1);
    EXPECT_EQ(ChoosePrevious(0, 3), -1);
    EXPECT_EQ(ChoosePrevious(5, 3), -1);
}

TEST(MainWindowRules, ReadyAndEndCounts) {
    EXPECT_EQ(ExpectedReadyCount(true, true, true), 2);
    EXPECT_EQ(ExpectedReadyCount(true, true, false), 1);
    EXPECT_EQ(ExpectedReadyCount(false, true, false), 1);
    // Single mode: the first end completes.
    EXPECT_TRUE(EndCompletes(OperatingMode::Single, true, 1, 1, 10000, 5000));
    // Full mode, two movies of about the same length: both ends are needed.
    EXPECT_FALSE(EndCompletes(OperatingMode::Full, true, 1, 0, 10000, 9500));
    EXPECT_TRUE(EndCompletes(OperatingMode::Full, true, 2, 1, 10000, 9500));
    // Full mode, front longer by more than 2 s: the rear's end is ignored.
    EXPECT_FALSE(EndCompletes(OperatingMode::Full, true, 1, 1, 10000, 5000));
    EXPECT_FALSE(EndCompletes(OperatingMode::Full, true, 2, 1, 10000, 5000));
    EXPECT_TRUE(EndCompletes(OperatingMode::Full, true, 2, 0, 10000, 5000));
    EXPECT_TRUE(EndCompletes(OperatingMode::Full, false, 1, 0, 10000, 0));
}

TEST(MainWindowRules, StartSpeedOfARecording) {
    // A time-lapse recording (default x0.5) after a x1.0 one remembered at x1.0.
    EXPECT_EQ(ChooseStartSpeed(-2, 1, 1), -2);
    // Same default as remembered: the engine's step stays (the user chose x2.0).
    EXPECT_EQ(ChooseStartSpeed(1, 2, 1), 2);
    // Neither: the faster of the two.
    EXPECT_EQ(ChooseStartSpeed(1, 2, -2), 2);
    EXPECT_EQ(ChooseStartSpeed(1, -2, 4), 1);
}

TEST(MainWindowRules, ShorterMovieOfAPairEnds) {
    // Rear 5 s (145 frames at 29.1 fps) shorter than the front; tolerance 60.
    EXPECT_EQ(EndedShorterCamera(600, 455, 60, 500), -1);
    EXPECT_EQ(EndedShorterCamera(600, 455, 60, 515), -1);
    EXPECT_EQ(EndedShorterCamera(600, 455, 60, 516), 1);
    EXPECT_EQ(EndedShorterCamera(455, 600, 60, 516), 0);
    // Within the tolerance (parking: 5) neither area counts as ended.
    EXPECT_EQ(EndedShorterCamera(600, 596, 5, 599), -1);
    EXPECT_EQ(EndedShorterCamera(600, 0, 60, 599), -1); // no rear movie: not this rule
}

TEST(MainWindowRules, FadesAndPositionText) {
    EXPECT_EQ(FadeInLevel(0, 65535), 2000);
    EXPECT_EQ(FadeInLevel(64000, 65535), 65535);
    EXPECT_EQ(PositionText(0, 0, 34.364), "00:00 / 00:00");
    EXPECT_EQ(PositionText(873, 1747, 34.364), "00:29 / 01:00");
    EXPECT_EQ(PositionText(5000, 1747, 34.364), "01:00 / 01:00"); // clamped
    EXPECT_EQ(PositionText(200, 3000, 0), "00:00 / 00:00");
}
