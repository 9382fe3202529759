// Opening, playing, seeking and closing in quick succession on both engines
// while other threads do what the viewer's workers do at the same time: walk
// the telemetry under LockTelemetry, read the next recording's telemetry
// ahead, and drag the view (a movie area's inertia thread). No surfaces: the
// presenters take their frames without drawing. Built to run under
// ThreadSanitizer as well.

#include "session_support.h"

#include <atomic>
#include <thread>

using namespace playcore;
using namespace stest;

TEST(SessionStress, OpenPlaySeekCloseWhileWorkersWalkTheTelemetry) {
    const std::string front = GetSample(Kind::Front8).path;
    const std::string rear45 = GetSample(Kind::Rear45).path;
    const std::string rear27 = GetSample(Kind::Rear27).path;
    const std::string combined = GetSample(Kind::Combined).path;

    Messages messages;
    SoundDevices sound;
    std::array<int, 2> id{};
    PlaybackSession session;
    SessionConfig config;
    config.sink = &messages;
    config.makeAudioOutput = [&sound] { return sound.Make(); };
    session.Configure(std::move(config));
    const PlayerWindow w0{nullptr, &id[0]}, w1{nullptr, &id[1]};
    ASSERT_EQ(session.InitEngines(w0, w1), 2);

    std::atomic<bool> done{false};
    std::atomic<long> walks{0}, records{0}, prefetches{0}, drags{0};
    std::thread walker([&] {
        while (!done) {
            if (session.LockTelemetry() != 1) continue;
            if (const sGPSREADER* t = session.GetTelemetry()) {
                long n = 0;
                for (const GpsRecord& g : t->gps)
                    n += g.framePos >= 0 ? 1 : 0;
                for (const AccelRecord* a : t->frameTable)
                    n += a && a->framePos >= 0 ? 1 : 0;
                records += n;
            }
            session.UnlockTelemetry();
            ++walks;
            std::this_thread::yield();
        }
    });
    std::thread prefetcher([&] {
        for (int i = 0; !done; ++i) {
            session.PrefetchTelemetry(i % 3 == 2 ? "" : front, rear45);
            ++prefetches;
            SleepMs(3);
        }
    });
    std::thread dragger([&] {
        while (!done) {
            session.DragView(0, 0.01f, 0.0f, 1.0f);
            session.GetState(2);
            ++drags;
            SleepMs(1);
        }
    });

    constexpr int kRounds = 12;
    for (int round = 0; round < kRounds; ++round) {
        const bool isCombined = round % 3 == 2;
        session.SetCombinedFile(isCombined);
        session.SetCombinedFlag(isCombined);
        session.SetWindows(0, w0, isCombined ? w1 : PlayerWindow{});
        session.SetWindows(1, isCombined ? PlayerWindow{} : w1, {});
        const std::string rear = isCombined ? "" : (round % 3 == 0 ? rear45 : rear27);
        const std::string first = isCombined ? combined : front;
        const size_t ready = messages.Count(&id[0], UM_MOVIE_READY);
        ASSERT_EQ(session.OpenMovies(first, rear), 1) << "round " << round;
        // Every other round goes on before the players are ready.
        if (round % 2 == 0) {
            ASSERT_TRUE(messages.WaitFor(&id[0], UM_MOVIE_READY, ready + 1));
        }
        session.LoadTelemetry(first, rear);
        session.Play(2);
        session.SeekFrame(2, 13 * round);
        session.SetVolume(round % 3, 20000);
        session.Pause(2);
        session.SeekFrameForward(2, 1000);
        session.Play(round % 3);
        session.GetPosition(2);
        session.Stop(2);
        if (round % 4 == 1) session.ReleaseTelemetry();
        ASSERT_EQ(session.CloseMovies(), 1);
        EXPECT_EQ(session.GetState(0), kEngineClosed);
        EXPECT_EQ(session.GetState(1), kEngineClosed);
    }
    done = true;
    walker.join();
    prefetcher.join();
    dragger.join();
    EXPECT_GT(walks.load(), 0);
    EXPECT_GT(prefetches.load(), 0);
    EXPECT_GT(drags.load(), 0);
    EXPECT_EQ(session.LockWaiters(), 0);
    session.TermEngines();
    EXPECT_FALSE(session.IsReady(0));
    EXPECT_EQ(session.LockWaiters(), 0);
}
