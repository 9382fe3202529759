// The main window's playback control against engines that only record what
// they are given (a table of engine operations of the test's own): the volume
// and what is written of it, the fade-in and fade-out levels, and the
// near-end latch.

#include <gtest/gtest.h>

#include <vector>

#include "kinetta/base/settings_store.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/shell/playback_control.h"
#include "kinetta/shell/playback_rules.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

using playcore::PlaybackEngine;

// What the stand-in engines answer and receive.
struct FakeEngines {
    std::vector<int> volumes[2]; // every SetVolume, per engine
    int64_t length = 1000, position = 0;
    float frameMs = 34.0f;
} g;

int Index(const PlaybackEngine& e, const playcore::PlaybackSession& s) {
    return &e == &const_cast<playcore::PlaybackSession&>(s).Engine(1) ? 1 : 0;
}

const playcore::PlaybackSession* gSession = nullptr;

class PlaybackControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        g = FakeEngines{};
        SetSettingsDirectory(home.path());
        gSession = &session;
        playcore::EngineOps ops = playcore::StandardEngineOps();
        ops.SetVolume = [](PlaybackEngine& e, int v) {
            g.volumes[Index(e, *gSession)].push_back(v);
            return 1;
        };
        ops.GetLength = [](PlaybackEngine&, int) { return g.length; };
        ops.GetPosition = [](PlaybackEngine&, int) { return g.position; };
        ops.GetFrameDuration = [](PlaybackEngine&, int) { return g.frameMs; };
        for (int k = 0; k < 2; ++k) {
            session.SetOps(k, ops);
            ASSERT_TRUE(session.InitEngine(k, {}));
        }
    }
    void TearDown() override { gSession = nullptr; }
    std::vector<int>& Front() { return g.volumes[0]; }

    ktest::TempDir home;
    playcore::PlaybackSession session;
    PlaybackControl play{session};
};

TEST_F(PlaybackControlTest, VolumeIsClampedAppliedAndWrittenOnlyWhenAsked) {
    play.LoadVolume("");
    EXPECT_EQ(play.Volume(), 65535); // empty: the loudest
    play.LoadVolume("loud");
    EXPECT_EQ(play.Volume(), 0); // no number reads 0
    play.LoadVolume("70000");
    EXPECT_EQ(play.Volume(), 65535);

    play.SetVolume(0, 30000, false);
    EXPECT_EQ(Front().back(), 30000);
    EXPECT_EQ(Settings().Read("DISPLAY", "VOLUME"), ""); // a drag does not write
    play.SetVolume(0, 90000, true);
    EXPECT_EQ(play.Volume(), 65535);
    EXPECT_EQ(Front().back(), 65535);
    EXPECT_EQ(Settings().Read("DISPLAY", "VOLUME"), "65535");
    play.SetVolume(0, -3, true);
    EXPECT_EQ(Front().back(), 0);
    EXPECT_EQ(Settings().Read("DISPLAY", "VOLUME"), "0");
    // The rear camera's volume goes to engine 1; engine 0 is silenced.
    play.SetVolume(1, 5000, false);
    EXPECT_EQ(g.volumes[1].back(), 5000);
    EXPECT_EQ(Front().back(), 0);
}

TEST_F(PlaybackControlTest, FadesRiseToTheVolumeAndFallFromWhereTheyAre) {
    play.SetVolume(0, 10000, false);
    Front().clear();
    play.RestartFadeIn();
    int steps = 0;
    while (play.FadeInStep(0))
        ASSERT_LT(++steps, 1000);
    ASSERT_FALSE(Front().empty());
    for (size_t i = 1; i < Front().size(); ++i)
        EXPECT_GT(Front()[i], Front()[i - 1]);
    EXPECT_EQ(Front().back(), 10000);

    // A whole fade-out from the volume: 4000 lower each step, then silence.
    Front().clear();
    play.FadeOut(0);
    EXPECT_EQ(Front(), (std::vector<int>{10000, 6000, 2000, 0}));

    // A fade-out during a fade-in starts from the level reached.
    play.RestartFadeIn();
    ASSERT_TRUE(play.FadeInStep(0));
    const int reached = Front().back();
    ASSERT_LT(reached, 10000);
    Front().clear();
    play.FadeOut(0);
    EXPECT_EQ(Front().front(), reached);
    EXPECT_EQ(Front().back(), 0);
}

TEST_F(PlaybackControlTest, NearEndLatchesWithinTheSeekMarginOfAPlayingMovie) {
    play.SetVolume(0, 8000, false);
    const int margin = SeekMargin(1, g.frameMs);
    ASSERT_GT(margin, 0);
    g.position = g.length - margin - 1;
    EXPECT_FALSE(play.CheckNearEnd(true, 0, 0, 0)); // not playing: never near the end
    session.Engine(0).state = playcore::kEnginePlaying;
    EXPECT_FALSE(play.CheckNearEnd(true, 0, 0, 0));
    g.position = g.length - margin;
    EXPECT_FALSE(play.CheckNearEnd(false, 0, 0, 0)); // nothing loaded
    Front().clear();
    EXPECT_TRUE(play.CheckNearEnd(true, 0, 0, 0));
    EXPECT_TRUE(play.NearEnd());
    EXPECT_EQ(Front().back(), 0); // faded out
    g.position = 0;               // latched until cleared
    EXPECT_TRUE(play.CheckNearEnd(true, 0, 0, 0));
    play.ClearNearEnd();
    EXPECT_FALSE(play.CheckNearEnd(true, 0, 0, 0));
    // An unknown length is no end to be near.
    g.length = 0;
    EXPECT_FALSE(play.CheckNearEnd(true, 0, 0, 0));
}

} // namespace
} // namespace kinetta
