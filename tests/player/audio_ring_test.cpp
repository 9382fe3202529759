// The sound ring between decoder and output, and the pump that feeds a
// device and steers the clock.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "playcore/player/audio_output.h"

using namespace playcore;

namespace {

std::vector<float> Ramp(size_t frames, int channels, float first) {
    std::vector<float> v(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = first + static_cast<float>(i / static_cast<size_t>(channels));
    return v;
}

constexpr MediaTime kMs = kUnitsPerMillisecond;

} // namespace

TEST(AudioRing, ReadsAcrossChunksWithTheirTimes) {
    AudioRing ring(1000, 2); // 1 frame = 1 ms
    ASSERT_TRUE(ring.Push(0, 100 * kMs, Ramp(10, 2, 0)));
    ASSERT_TRUE(ring.Push(0, 110 * kMs, Ramp(10, 2, 10)));
    EXPECT_EQ(ring.Buffered(), 20 * kMs);
    EXPECT_EQ(ring.NextTime(), 100 * kMs);
    float out[30];
    MediaTime start = -1;
    ASSERT_EQ(ring.Read(out, 15, &start), 15u);
    EXPECT_EQ(start, 100 * kMs);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[28], 14.0f);
    EXPECT_EQ(ring.NextTime(), 115 * kMs);
    // Drop what ends before 117 ms: two frames of the second chunk.
    ring.DiscardBefore(117 * kMs);
    EXPECT_EQ(ring.NextTime(), 117 * kMs);
    ASSERT_EQ(ring.Read(out, 10, &start), 3u);
    EXPECT_EQ(start, 117 * kMs);
    EXPECT_EQ(out[0], 17.0f);
    EXPECT_FALSE(ring.Drained());
    ring.EndOfStream(0);
    EXPECT_TRUE(ring.Drained());
}

TEST(AudioRing, FlushRefusesOldSoundAndCapacityWaits) {
    AudioRing ring(1000, 1, 50 * kMs);
    ASSERT_TRUE(ring.Push(0, 0, Ramp(60, 1, 0))); // over capacity: the next push waits
    std::atomic<bool> pushed{false};
    std::thread decoder([&] {
        ring.Push(0, 60 * kMs, Ramp(10, 1, 60));
        pushed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pushed);
    float out[20];
    MediaTime start;
    ring.Read(out, 20, &start); // room again
    decoder.join();
    EXPECT_TRUE(pushed);

    ring.Flush(3);
    EXPECT_EQ(ring.NextTime(), -1);
    EXPECT_FALSE(ring.Push(2, 0, Ramp(5, 1, 0)));
    EXPECT_TRUE(ring.Push(3, 500 * kMs, Ramp(5, 1, 0)));
    ring.Abort();
    EXPECT_FALSE(ring.Push(3, 600 * kMs, Ramp(5, 1, 0)));
}

TEST(AudioPump, HeardTimeFollowsWhatTheDevicePlayedAndSilenceIsNotHeard) {
    auto ring = std::make_shared<AudioRing>(1000, 1);
    auto clock = std::make_shared<PresentationClock>();
    AudioPump pump(ring, clock);
    ring->Push(0, 2 * kUnitsPerSecond, Ramp(100, 1, 1));
    clock->Arm(2 * kUnitsPerSecond, 1.0, true);
    clock->Release();
    float out[200];
    pump.Fill(out, 40);
    EXPECT_EQ(out[0], 1.0f);
    // Nothing played yet: the clock waits for the sound.
    pump.Played(0);
    EXPECT_FALSE(clock->Running());
    // 10 played: the clock starts at 2.010 s.
    pump.Played(10);
    EXPECT_TRUE(clock->Running());
    EXPECT_GE(clock->Now(), 2 * kUnitsPerSecond + 10 * kMs);
    EXPECT_EQ(clock->AudioReports(), 1u);
    // The ring runs dry: the device gets silence after the last 60 frames.
    pump.Fill(out, 100);
    EXPECT_EQ(out[59], 100.0f);
    EXPECT_EQ(out[60], 0.0f);
    EXPECT_EQ(out[99], 0.0f);
    pump.Played(90);
    EXPECT_EQ(clock->AudioReports(), 2u);
    // Playing silence while more sound may come: no report, the clock runs on.
    pump.Played(120);
    EXPECT_EQ(clock->AudioReports(), 2u);
    EXPECT_TRUE(clock->FollowsAudio());
    // The sound ended: the clock runs on its own.
    ring->EndOfStream(0);
    pump.Played(130);
    EXPECT_FALSE(clock->FollowsAudio());
}

TEST(SimulatedAudioOutput, PlaysInRealTimeAndTrimsWhenNotPlaying) {
    auto ring = std::make_shared<AudioRing>(48000, 1);
    auto clock = std::make_shared<PresentationClock>();
    SimulatedAudioOutput out(20 * kMs);
    ASSERT_TRUE(out.Open(48000, 1, ring, clock));
    std::thread feed([&] {
        for (int i = 0; i < 20; ++i)
            ring->Push(0, i * 100 * kMs, std::vector<float>(4800, 0.1f));
    });
    clock->Arm(0, 1.0, true);
    clock->Release();
    out.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(clock->Running());
    EXPECT_GT(out.PlayedFrames(), 48000u / 10);
    // Not playing while the clock runs faster: the ring follows the clock.
    out.Pause();
    const MediaTime t = clock->Freeze();
    clock->Arm(t, 2.0, false);
    clock->Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GE(ring->NextTime(), clock->Now() - 110 * kMs);
    clock->Freeze();
    ring->Abort();
    feed.join();
    out.SetVolume(0.5f);
    EXPECT_EQ(out.Volume(), 0.5f);
    out.Close();
}

TEST(SimulatedAudioOutput, OpenCanBeMadeToFail) {
    SimulatedAudioOutput out(20 * kMs, true);
    EXPECT_FALSE(out.Open(48000, 1, std::make_shared<AudioRing>(48000, 1),
                          std::make_shared<PresentationClock>()));
}
