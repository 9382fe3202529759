// The presentation clock: holding, arming, running at a rate, and following
// the sound without jumps. Time is driven by hand.

#include <gtest/gtest.h>

#include <memory>

#include "playcore/player/presentation_clock.h"

using namespace playcore;

namespace {

struct ManualTime {
    std::shared_ptr<MediaTime> now = std::make_shared<MediaTime>(1'000'000'000);
    PresentationClock::TimeSource Source() const {
        auto n = now;
        return [n] { return *n; };
    }
    void Advance(MediaTime units) { *now += units; }
};

constexpr MediaTime kMs = kUnitsPerMillisecond;

} // namespace

TEST(PresentationClock, HoldArmRunFreeze) {
    ManualTime t;
    PresentationClock clock(t.Source());
    clock.Hold(5 * kUnitsPerSecond);
    t.Advance(100 * kMs);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond);
    EXPECT_EQ(clock.Rate(), 0.0);
    EXPECT_FALSE(clock.Running());

    // Armed: stands at the start until released.
    const uint64_t g = clock.Generation();
    clock.Arm(5 * kUnitsPerSecond, 2.0, false);
    EXPECT_GT(clock.Generation(), g);
    EXPECT_TRUE(clock.Armed());
    t.Advance(300 * kMs);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond);
    clock.Release();
    EXPECT_TRUE(clock.Running());
    t.Advance(100 * kMs);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond + 200 * kMs);
    EXPECT_EQ(clock.Rate(), 2.0);

    // Freeze keeps the time it stood at.
    EXPECT_EQ(clock.Freeze(), 5 * kUnitsPerSecond + 200 * kMs);
    t.Advance(kUnitsPerSecond);
    EXPECT_EQ(clock.Now(), 5 * kUnitsPerSecond + 200 * kMs);
    // Release without Arm does nothing.
    clock.Release();
    EXPECT_FALSE(clock.Running());

    clock.Arm(0, 0.25, false);
    clock.Release();
    t.Advance(kUnitsPerSecond);
    EXPECT_EQ(clock.Now(), kUnitsPerSecond / 4);
}

TEST(PresentationClock, StartsWithTheSoundOrAfterItsGrace) {
    ManualTime t;
    PresentationClock clock(t.Source());
    clock.Arm(kUnitsPerSecond, 1.0, true);
    clock.Release();
    // Released but the sound has not begun: stands still.
    EXPECT_FALSE(clock.Running());
    EXPECT_TRUE(clock.Armed());
    t.Advance(40 * kMs);
    clock.AudioHeard(kUnitsPerSecond); // the device has not consumed anything yet
    EXPECT_FALSE(clock.Running());
    EXPECT_EQ(clock.Now(), kUnitsPerSecond);
    clock.AudioHeard(kUnitsPerSecond + 2 * kMs);
    EXPECT_TRUE(clock.Running());
    EXPECT_EQ(clock.Now(), kUnitsPerSecond + 2 * kMs);

    // A device that never starts: the clock starts by itself after the grace.
    clock.Arm(0, 1.0, true);
    clock.Release();
    t.Advance(PresentationClock::kAudioStartGrace - kMs);
    EXPECT_FALSE(clock.Running());
    t.Advance(11 * kMs);
    EXPECT_TRUE(clock.Running());
    EXPECT_EQ(clock.Now(), 10 * kMs);
}

TEST(PresentationClock, FollowsTheSoundSmoothly) {
    ManualTime t;
    PresentationClock clock(t.Source());
    clock.Arm(0, 1.0, true);
    clock.Release();
    clock.AudioHeard(1);
    ASSERT_TRUE(clock.Running());

    // The sound is 100 ms behind: the clock slows (at most 5 %), never goes
    // back, and meets the sound.
    MediaTime heard = 0;
    MediaTime last = clock.Now();
    bool slowed = false;
    for (int i = 0; i < 600; ++i) {
        t.Advance(10 * kMs);
        heard += 10 * kMs;
        const MediaTime audio = heard - 100 * kMs;
        clock.AudioHeard(audio);
        const MediaTime now = clock.Now();
        EXPECT_GE(now, last);
        const MediaTime step = now - last;
        EXPECT_GE(step, static_cast<MediaTime>(10 * kMs * 0.95) - 1);
        EXPECT_LE(step, static_cast<MediaTime>(10 * kMs * 1.05) + 1);
        if (step < 10 * kMs) slowed = true;
        last = now;
    }
    EXPECT_TRUE(slowed);
    EXPECT_NEAR(static_cast<double>(clock.Now()), static_cast<double>(heard - 100 * kMs),
                static_cast<double>(2 * kMs));

    // A report far off (a device that restarted) is not trusted.
    const MediaTime before = clock.Now();
    clock.AudioHeard(before + 10 * kUnitsPerSecond);
    t.Advance(100 * kMs);
    EXPECT_EQ(clock.Now(), before + 100 * kMs);

    // The sound ended: the clock runs on alone at its rate.
    clock.StopFollowingAudio();
    EXPECT_FALSE(clock.FollowsAudio());
    const MediaTime at = clock.Now();
    clock.AudioHeard(0);
    t.Advance(100 * kMs);
    EXPECT_EQ(clock.Now(), at + 100 * kMs);
}
