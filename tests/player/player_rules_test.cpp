// Stream routing, the player's state table, thinning, volume and the
// scheduling rules of a stream's frames.

#include <gtest/gtest.h>

#include <vector>

#include "playcore/player/frame_schedule.h"
#include "playcore/player/player_rules.h"

using namespace playcore;

TEST(PlayerRouting, StreamsAreNumberedFromTheLastTrackAndRoutedToWindows) {
    // One-camera file: tracks video, sound -> 0 sound, 1 video.
    EXPECT_EQ(PresentationStreamIndex(0, 2), 1);
    EXPECT_EQ(PresentationStreamIndex(1, 2), 0);
    // Combined file: tracks front, rear, sound -> 0 sound, 1 rear, 2 front.
    EXPECT_EQ(PresentationStreamIndex(0, 3), 2);
    EXPECT_EQ(PresentationStreamIndex(1, 3), 1);
    EXPECT_EQ(PresentationStreamIndex(2, 3), 0);
    EXPECT_EQ(PresentationStreamIndex(3, 3), -1);
    EXPECT_EQ(PresentationStreamIndex(-1, 3), -1);
    // Branches are built from the last stream down: branch 0 (the front
    // camera, stream 2 of a combined file, or the only video) in window 0,
    // branch 1 (the rear camera, stream 1) in window 1.
    EXPECT_EQ(WindowOfBranch(0), 0);
    EXPECT_EQ(WindowOfBranch(1), 1);
    EXPECT_EQ(WindowOfBranch(2), -1);
    EXPECT_EQ(WindowOfBranch(-1), -1);

    EXPECT_TRUE(HasSecondCamera(true, 0, 2));
    EXPECT_FALSE(HasSecondCamera(true, 0, 1));
    EXPECT_FALSE(HasSecondCamera(true, 1, 2));
    EXPECT_TRUE(HasSecondCamera(false, 1, 1));
    EXPECT_FALSE(HasSecondCamera(false, 0, 2));
}

TEST(PlayerRules, StateTable) {
    using S = PlayerState;
    using E = PlayerEvent;
    // The road of an open.
    EXPECT_EQ(NextPlayerState(S::Closed, E::SessionCreated), S::Ready);
    EXPECT_EQ(NextPlayerState(S::Ready, E::TopologySet), S::OpenPending);
    EXPECT_EQ(NextPlayerState(S::OpenPending, E::TopologyReady), S::Stopped);
    // Play from Paused or Stopped only; Pause from Started only.
    EXPECT_EQ(NextPlayerState(S::Stopped, E::Play), S::Started);
    EXPECT_EQ(NextPlayerState(S::Paused, E::Play), S::Started);
    for (S s : {S::Closed, S::Ready, S::OpenPending, S::Started, S::Closing})
        EXPECT_FALSE(NextPlayerState(s, E::Play)) << static_cast<int>(s);
    EXPECT_EQ(NextPlayerState(S::Started, E::Pause), S::Paused);
    for (S s : {S::Closed, S::Ready, S::OpenPending, S::Paused, S::Stopped, S::Closing})
        EXPECT_FALSE(NextPlayerState(s, E::Pause)) << static_cast<int>(s);
    EXPECT_EQ(NextPlayerState(S::Started, E::EndOfPresentation), S::Stopped);
    EXPECT_FALSE(NextPlayerState(S::Paused, E::EndOfPresentation));
    // Close from anywhere; the ready status only while pending.
    for (S s : {S::Closed, S::Ready, S::OpenPending, S::Started, S::Paused, S::Stopped})
        EXPECT_EQ(NextPlayerState(s, E::Close), S::Closing);
    EXPECT_EQ(NextPlayerState(S::Closing, E::Closed), S::Closed);
    EXPECT_FALSE(NextPlayerState(S::Stopped, E::TopologyReady));
    EXPECT_EQ(NextPlayerState(S::Started, E::NewPresentation), S::OpenPending);
    EXPECT_EQ(NextPlayerState(S::OpenPending, E::OpenFailed), S::Closed);
}

TEST(PlayerRules, ThinningAndVolume) {
    EXPECT_FALSE(ThinningForRate(1.0f));
    EXPECT_FALSE(ThinningForRate(1.99f));
    EXPECT_TRUE(ThinningForRate(2.0f));
    EXPECT_TRUE(ThinningForRate(4.0f));
    EXPECT_TRUE(IsPlayableRate(0.25f));
    EXPECT_TRUE(IsPlayableRate(4.0f));
    EXPECT_FALSE(IsPlayableRate(0.0f));
    EXPECT_FALSE(IsPlayableRate(4.5f));
    EXPECT_FLOAT_EQ(ChannelVolume(32768), 0.50000763f);
    EXPECT_EQ(ChannelVolume(0), 0.0f);
    EXPECT_EQ(ChannelVolume(65535), 1.0f);
    EXPECT_EQ(ChannelVolume(70000), 1.0f);
    EXPECT_EQ(ChannelVolume(-5), 0.0f);
}

TEST(FrameSchedule, ThreeQuantaRule) {
    const MediaTime period = 400'000; // 25 frames per second
    const MediaTime p = ScheduleQuantum(period);
    ASSERT_EQ(p, 100'000);
    // More than three quanta early: wait for the rest.
    SampleDecision d = ScheduleSample(1'000'000, 0, 1.0, p);
    EXPECT_FALSE(d.presentNow);
    EXPECT_EQ(d.wait, 1'000'000 - 3 * p);
    // At twice the speed the wall wait halves; at a quarter it is four times.
    EXPECT_EQ(ScheduleSample(1'000'000, 0, 2.0, p).wait, (1'000'000 - 3 * p) / 2);
    EXPECT_EQ(ScheduleSample(1'000'000, 0, 0.25, p).wait, (1'000'000 - 3 * p) * 4);
    // Exactly three quanta early, due or late by any amount: now.
    EXPECT_TRUE(ScheduleSample(3 * p, 0, 1.0, p).presentNow);
    EXPECT_FALSE(ScheduleSample(3 * p + 1, 0, 1.0, p).presentNow);
    EXPECT_TRUE(ScheduleSample(0, 0, 1.0, p).presentNow);
    EXPECT_TRUE(ScheduleSample(0, 50 * period, 1.0, p).presentNow);
    // A negative rate turns the difference round.
    EXPECT_TRUE(ScheduleSample(1'000'000, 0, -1.0, p).presentNow);
    EXPECT_FALSE(ScheduleSample(0, 1'000'000, -1.0, p).presentNow);
    // A stopped clock never makes a frame due.
    d = ScheduleSample(0, 0, 0.0, p);
    EXPECT_FALSE(d.presentNow);
    EXPECT_EQ(d.wait, -1);
}

TEST(FrameSchedule, LevelFollowsImmediatePresentations) {
    EXPECT_EQ(PresentationLevel(0), 1);
    EXPECT_EQ(PresentationLevel(1), 2);
    EXPECT_EQ(PresentationLevel(8), 2);
    EXPECT_EQ(PresentationLevel(9), 3);
    EXPECT_EQ(PresentationLevel(13), 3);
    EXPECT_EQ(PresentationLevel(14), 4);
    EXPECT_EQ(PresentationLevel(100), 4);

    LevelCounter c;
    std::vector<int> levels;
    for (int i = 0; i < 16; ++i)
        levels.push_back(c.Present());
    EXPECT_EQ(levels.front(), 1);
    EXPECT_EQ(levels[1], 2);
    EXPECT_EQ(levels[9], 3);
    EXPECT_EQ(levels[14], 4);
    // Each wait takes one away; never below 0.
    c.Waited();
    EXPECT_EQ(c.Count(), 15);
    for (int i = 0; i < 20; ++i)
        c.Waited();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.Present(), 1);
}

TEST(FrameSchedule, FrameShownAt) {
    const std::vector<MediaTime> starts{100, 200, 300};
    // Inside a frame, at its start, before all frames.
    EXPECT_EQ(FrameShownAt(starts, 250, -1, false), 1);
    EXPECT_EQ(FrameShownAt(starts, 200, -1, false), 1);
    EXPECT_EQ(FrameShownAt(starts, 50, -1, false), 0);
    // In the last frame: decided by its end, or by the end of the stream.
    EXPECT_EQ(FrameShownAt(starts, 350, -1, false), -1);
    EXPECT_EQ(FrameShownAt(starts, 350, 400, false), 2);
    EXPECT_EQ(FrameShownAt(starts, 450, 400, false), -1);
    EXPECT_EQ(FrameShownAt(starts, 450, 400, true), 2);
    EXPECT_EQ(FrameShownAt({}, 0, -1, true), -1);
}
