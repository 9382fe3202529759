// The session's arithmetic: speed steps and the fast-forward and slow
// buttons, frames and media time, the seek scaling and the end margin, the
// shorter-movie rule of Play and the placement of a picture. (Routing, the
// open gate and the stills rule are tested through real engines.)

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "playcore/session/session_rules.h"

using namespace playcore;

namespace {

// Presses the buttons in order on a playing engine that cannot play
// backwards, carrying each answer through SetSpeed as the main window does
// (it calls SetSpeed only when the answer differs). Returns the steps.
std::vector<int> Press(SpeedStep start, const std::string& buttons, bool fallback = false) {
    SpeedStep step = start;
    std::vector<int> seen;
    for (char b : buttons) {
        const SpeedStep next = NextSpeedStep(kEnginePlaying, step, b == '+', false, fallback);
        if (next != step) step = ApplySpeedStep(next, step, false).step;
        seen.push_back(step);
    }
    return seen;
}

} // namespace

TEST(SpeedSteps, RatesSoundAndThinning) {
    struct Case {
        int step;
        float rate;
        bool audible, thin;
    } cases[] = {{4, 4.0f, false, true},   {2, 2.0f, false, true},    {1, 1.0f, true, false},
                 {-2, 0.5f, false, false}, {-4, 0.25f, false, false}, {7, 1.0f, false, false}};
    for (const auto& c : cases) {
        const SpeedSetting s = ApplySpeedStep(c.step, kSpeedNormal, false);
        EXPECT_EQ(s.step, c.step);
        EXPECT_FLOAT_EQ(s.rate, c.rate) << c.step;
        EXPECT_EQ(s.audible, c.audible) << c.step;
        EXPECT_EQ(s.thin, c.thin) << c.step;
    }
    // A player that plays backwards turns the slow steps into backward rates.
    EXPECT_FLOAT_EQ(ApplySpeedStep(-2, kSpeedNormal, true).rate, -2.0f);
    EXPECT_FLOAT_EQ(ApplySpeedStep(-4, kSpeedNormal, true).rate, -4.0f);
    EXPECT_FLOAT_EQ(ApplySpeedStep(-1, kSpeedNormal, true).rate, -1.0f);
    EXPECT_EQ(ApplySpeedStep(-1, kSpeedNormal, true).step, kSpeedBackward);
}

TEST(SpeedSteps, MinusOneTogglesHalfSpeedWithoutBackwardPlay) {
    SpeedSetting s = ApplySpeedStep(-1, kSpeedNormal, false);
    EXPECT_EQ(s.step, kSpeedHalf);
    EXPECT_FLOAT_EQ(s.rate, 0.5f);
    EXPECT_FALSE(s.audible);
    s = ApplySpeedStep(-1, kSpeedHalf, false);
    EXPECT_EQ(s.step, kSpeedNormal);
    EXPECT_FLOAT_EQ(s.rate, 1.0f);
    EXPECT_TRUE(s.audible);
    s = ApplySpeedStep(-1, kSpeedDouble, false);
    EXPECT_EQ(s.step, kSpeedBackward);
    EXPECT_FLOAT_EQ(s.rate, 1.0f);
    EXPECT_FALSE(s.audible);
}

TEST(SpeedSteps, ButtonSequencesOfThePlatformPlayer) {
    // Slow at x1.0 gives x0.5 and stays there; fast-forward climbs to x4.0 and stays.
    EXPECT_EQ(Press(kSpeedNormal, "--++++"), (std::vector<int>{-2, -2, 1, 2, 4, 4}));
    EXPECT_EQ(Press(kSpeedQuadruple, "---"), (std::vector<int>{2, 1, -2}));
    // x0.25 is reached only by the fallback renderers, and is their floor.
    EXPECT_EQ(Press(kSpeedNormal, "---+", true), (std::vector<int>{-2, -4, -4, -2}));
    EXPECT_EQ(Press(kSpeedQuarter, "-"), (std::vector<int>{1}));
    // Backward play: fast from x0.5 goes to -1.
    EXPECT_EQ(NextSpeedStep(kEnginePlaying, kSpeedHalf, true, true), kSpeedBackward);
    EXPECT_EQ(NextSpeedStep(kEnginePlaying, static_cast<SpeedStep>(3), true, false), kSpeedNormal);
    EXPECT_EQ(NextSpeedStep(kEnginePlaying, static_cast<SpeedStep>(3), false, false), kSpeedNormal);
    for (EngineState s : {kEngineClosed, kEngineStopped, kEnginePaused})
        for (SpeedStep step : {kSpeedQuadruple, kSpeedHalf, kSpeedNormal})
            for (bool faster : {false, true})
                EXPECT_EQ(NextSpeedStep(s, step, faster, false), kSpeedNormal);
}

TEST(Frames, TimeAndFramesWithGuards) {
    // 34 ms frames: 3,520 frames are 119.68 s.
    EXPECT_EQ(TimeOfFrame(3520, 34.0f), 1'196'800'000);
    EXPECT_EQ(FramesOfTime(1'196'800'000, 34.0f), 3520);
    EXPECT_EQ(FramesOfTime(1'196'799'999, 34.0f), 3519);
    EXPECT_EQ(FramesOfTime(-1, 34.0f), -1);
    EXPECT_EQ(FramesOfTime(0, 34.0f), 0);
    // An unknown frame duration never divides by zero.
    EXPECT_EQ(FramesOfTime(10'000'000, 0.0f), -1);
    EXPECT_EQ(FramesOfTime(10'000'000, std::numeric_limits<float>::quiet_NaN()), -1);
    EXPECT_EQ(FramesOfTime(std::numeric_limits<MediaTime>::max(), 1e-30f), -1);
    EXPECT_EQ(LengthInFrames(10'000'000, 0.0f), 0);
    EXPECT_EQ(LengthInFrames(-5, 34.0f), 0);
    EXPECT_EQ(TimeOfFrame(-3, 34.0f), 0);
    EXPECT_EQ(TimeOfFrame(5, -1.0f), 0);
}

TEST(Seek, ScaleBetweenEnginesOfDifferentFrameDurations) {
    EXPECT_DOUBLE_EQ(RearFrameScale(34.0f, 36.0f, true), 34.0 / 36.0);
    EXPECT_DOUBLE_EQ(RearFrameScale(34.0f, 36.0f, false), 1.0);
    EXPECT_DOUBLE_EQ(RearFrameScale(34.0f, 0.0f, true), 1.0);
    EXPECT_EQ(RearLengthInFrontFrames(3400, 34.0f, 36.0f, true), 3600);
    EXPECT_EQ(RearLengthInFrontFrames(3400, 0.0f, 36.0f, true), 3400);
    EXPECT_EQ(RearLengthInFrontFrames(3400, 34.0f, 36.0f, false), 3400);
}

TEST(Seek, EndMarginOfBothCameras) {
    // Lengths 3,600 and 3,500, frame 3,550: 3,520 and 3,420.
    SeekStep s = PlanSeekBoth(3550, 3600, false, 0);
    EXPECT_TRUE(s.move);
    EXPECT_TRUE(s.nearEnd);
    EXPECT_EQ(s.frame, 3520);
    s = PlanSeekBoth(3550, 3500, false, 0);
    EXPECT_EQ(s.frame, 3420);
    // Just outside the margin the frame is taken as it is.
    s = PlanSeekBoth(3519, 3600, false, 0);
    EXPECT_FALSE(s.nearEnd);
    EXPECT_EQ(s.frame, 3519);
    s = PlanSeekBoth(3520, 3600, false, 0);
    EXPECT_TRUE(s.nearEnd);
    EXPECT_EQ(s.frame, 3520);
    // A movie shorter than the margin goes to its start.
    EXPECT_EQ(PlanSeekBoth(10, 50, false, 0).frame, 0);
    // Forward: an engine already past L - 80 is left alone, else moved there.
    EXPECT_FALSE(PlanSeekBoth(3550, 3500, true, 3450).move);
    EXPECT_FALSE(PlanSeekBoth(3550, 3500, true, 3420).move);
    s = PlanSeekBoth(3550, 3500, true, 3000);
    EXPECT_TRUE(s.move);
    EXPECT_EQ(s.frame, 3420);
    // Outside the margin the forward seek goes back as well.
    s = PlanSeekBoth(100, 3500, true, 3000);
    EXPECT_TRUE(s.move);
    EXPECT_EQ(s.frame, 100);
}

TEST(PairPlay, OnlyTheShorterMovieNearItsEndIsHeld) {
    PairPlayInput in;
    in.length = {3600, 3500};
    in.position = {3450, 3450};
    in.frameDurationMs = {34.0f, 34.0f};
    in.opened = {true, true};
    PairPlayPlan p = PlanPairPlay(in);
    EXPECT_FALSE(p.hold[0]);
    EXPECT_TRUE(p.hold[1]);
    // Earlier than 100 frames before its end the shorter one starts too.
    in.position = {3300, 3399};
    EXPECT_FALSE(PlanPairPlay(in).hold[1]);
    in.position = {3300, 3400};
    EXPECT_TRUE(PlanPairPlay(in).hold[1]);
    // A difference of 80 frames or less starts both wherever they are.
    in.length = {3600, 3520};
    in.position = {3590, 3519};
    p = PlanPairPlay(in);
    EXPECT_FALSE(p.hold[0]);
    EXPECT_FALSE(p.hold[1]);
    // The front movie may be the shorter one.
    in.length = {3000, 3600};
    in.position = {2950, 2950};
    p = PlanPairPlay(in);
    EXPECT_TRUE(p.hold[0]);
    EXPECT_FALSE(p.hold[1]);
    // Only one movie: nothing is held (a missing movie has length 0).
    in.length = {3600, 0};
    in.position = {3590, -1};
    in.opened = {true, false};
    p = PlanPairPlay(in);
    EXPECT_FALSE(p.hold[0]);
    EXPECT_FALSE(p.hold[1]);
}

TEST(PairPlay, LengthsAndPositionsCompareInFrontFrames) {
    // Same 120-s movies: 3,529 front frames of 34 ms, 3,333 rear frames of 36 ms.
    PairPlayInput in;
    in.length = {3529, 3333};
    in.position = {3500, 3300};
    in.frameDurationMs = {34.0f, 36.0f};
    in.opened = {true, true};
    PairPlayPlan p = PlanPairPlay(in);
    EXPECT_FALSE(p.hold[0]);
    EXPECT_FALSE(p.hold[1]);
    // A rear movie 200 rear frames short (211 front frames) is held near its end.
    in.length = {3529, 3133};
    in.position = {3300, 3100};
    p = PlanPairPlay(in);
    EXPECT_FALSE(p.hold[0]);
    EXPECT_TRUE(p.hold[1]);
}

TEST(Placement, ZoomAboutTheFocusPoint) {
    const PlacementRect client{0, 0, 640, 360};
    CameraPlacement p;
    PlacementRect r;
    ASSERT_TRUE(PlaceCamera(client, p, 0, 0, &r));
    EXPECT_EQ(r, client);
    // x2 about the centre.
    p.zoom = 2.0f;
    p.focusX = 320;
    p.focusY = 180;
    ASSERT_TRUE(PlaceCamera(client, p, 0, 0, &r));
    EXPECT_EQ(r, (PlacementRect{-320, -180, 960, 540}));
    // x1.5 about the top-left quarter point, then shifted.
    p.zoom = 1.5f;
    p.focusX = 160;
    p.focusY = 90;
    p.offsetX = 10;
    p.offsetY = -5;
    ASSERT_TRUE(PlaceCamera(client, p, 0, 0, &r));
    EXPECT_EQ(r, (PlacementRect{-80 + 10, -45 - 5, 880 + 10, 495 - 5}));
    // Each term is truncated towards zero: x1.25 about (100, 50).
    p = {};
    p.zoom = 1.25f;
    p.focusX = 100;
    p.focusY = 50;
    ASSERT_TRUE(PlaceCamera(client, p, 0, 0, &r));
    EXPECT_EQ(r, (PlacementRect{-25, -12, 640 + 135, 360 + 77}));
}

TEST(Placement, FitKeepsThePictureAspect) {
    CameraPlacement p;
    p.fitMode = 1;
    PlacementRect r;
    // A 4:3 picture in a 16:9 window keeps the height, centred, +2 right and bottom.
    ASSERT_TRUE(PlaceCamera({0, 0, 640, 360}, p, 640, 480, &r));
    EXPECT_EQ(r, (PlacementRect{80, 0, 80 + 480 + 2, 360 + 2}));
    // A 16:9 picture in a 4:3 window keeps the width.
    ASSERT_TRUE(PlaceCamera({0, 0, 400, 300}, p, 320, 180, &r));
    EXPECT_EQ(r, (PlacementRect{0, 37, 402, 37 + 225 + 2}));
    // Unknown picture size: the rectangle as zoomed.
    ASSERT_TRUE(PlaceCamera({0, 0, 400, 300}, p, 0, 0, &r));
    EXPECT_EQ(r, (PlacementRect{0, 0, 400, 300}));
    // Fit mode 0 stretches.
    p.fitMode = 0;
    ASSERT_TRUE(PlaceCamera({0, 0, 640, 360}, p, 640, 480, &r));
    EXPECT_EQ(r, (PlacementRect{0, 0, 640, 360}));
}

TEST(Placement, RefusesWhatCannotBePlaced) {
    CameraPlacement p;
    PlacementRect r{1, 2, 3, 4};
    p.zoom = 0.0f;
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 360}, p, 0, 0, &r));
    p.zoom = 1.0f;
    EXPECT_FALSE(PlaceCamera({0, 0, 0, 360}, p, 0, 0, &r)); // no width to divide by
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 0}, p, 0, 0, &r));
    p.zoom = -2.0f; // the rectangle would turn inside out
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 360}, p, 0, 0, &r));
    p.zoom = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 360}, p, 0, 0, &r));
    p.zoom = 1e12f; // would leave the range of pixel coordinates
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 360}, p, 0, 0, &r));
    p.zoom = 2.0f;
    p.focusX = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(PlaceCamera({0, 0, 640, 360}, p, 0, 0, &r));
    EXPECT_EQ(r, (PlacementRect{1, 2, 3, 4})); // untouched
}
