// The session over two real players drawing into off-screen surfaces:
// opening pairs and combined files, the shorter-movie rule of Play, seeks near
// the ends with and without the forward rule, engines of different frame
// durations, the too-short and time-lapse gates, speed steps, volume routing,
// stills, placement, the telemetry prefetch and the telemetry lock.

#include "session_support.h"

#include <QImage>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/file_io.h"
#include "playcore/gl_support.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "support/picture_code.h"
#include "tools/mkcard/framecode.h"

using namespace playcore;
using namespace stest;

namespace {

const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new ktest::GuiEnvironment);

// The frame number a surface shows (-1 unreadable).
int ShownCode(OffscreenSurface& surface) {
    return ktest::PictureCode(surface.GrabPicture());
}

bool WaitShows(OffscreenSurface& surface, int n, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int last = -2;
    while (std::chrono::steady_clock::now() < until) {
        last = ShownCode(surface);
        if (last == n) return true;
        SleepMs(10);
    }
    ADD_FAILURE() << "the surface shows " << last << ", want " << n;
    return false;
}

// The real frame a picture at media time t shows, for mkcard's frame duration in us.
int RealFrameAt(MediaTime t, uint32_t frameUs) {
    return static_cast<int>(t / (MediaTime(frameUs) * 10));
}

struct Rig {
    std::array<OffscreenSurface, 2> surface;
    std::array<int, 2> id{}; // the message target of movie area k is &id[k]
    Messages messages;
    SoundDevices sound;
    PlaybackSession session; // goes first: its players draw into the surfaces

    bool Make() {
        for (auto& s : surface)
            if (!s.Create(QSize(640, 360))) return false;
        SessionConfig config;
        config.sink = &messages;
        config.makeAudioOutput = [this] { return sound.Make(); };
        session.Configure(std::move(config));
        return session.InitEngines(Window(0), Window(1)) == 2;
    }
    PlayerWindow Window(int k) {
        return {&surface[static_cast<size_t>(k)], &id[static_cast<size_t>(k)]};
    }
    PlaybackEngine& E(int k) { return session.Engine(k); }

    // Opens and waits for UM_MOVIE_READY from every engine that opened.
    ::testing::AssertionResult Open(const std::string& front, const std::string& rear) {
        const size_t ready0 = messages.Count(&id[0], UM_MOVIE_READY);
        const size_t ready1 = messages.Count(&id[1], UM_MOVIE_READY);
        const int r = session.OpenMovies(front, rear);
        if (r != 1) return ::testing::AssertionFailure() << "OpenMovies " << r;
        if (E(0).opened && !messages.WaitFor(&id[0], UM_MOVIE_READY, ready0 + 1))
            return ::testing::AssertionFailure() << "no UM_MOVIE_READY from engine 0";
        if (E(1).opened && !messages.WaitFor(&id[1], UM_MOVIE_READY, ready1 + 1))
            return ::testing::AssertionFailure() << "no UM_MOVIE_READY from engine 1";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult OpenCombined(const std::string& path) {
        session.SetCombinedFile(true);
        session.SetCombinedFlag(true);
        session.SetWindows(0, Window(0), Window(1));
        session.SetWindows(1, {}, {});
        return Open(path, "");
    }
    PlayerState PlayerStateOf(int k) {
        return E(k).player ? E(k).player->State() : PlayerState::Closed;
    }
};

#define MAKE_RIG(rig)                                                                              \
    KTEST_NEED_GL();                                                                               \
    Rig rig;                                                                                       \
    ASSERT_TRUE(rig.Make()) << "no GL 3.3 core context"

} // namespace

TEST(Session, OpensAPairAndReportsFramesOfEachCamera) {
    MAKE_RIG(rig);
    const Sample& front = GetSample(Kind::Front8);
    const Sample& rear = GetSample(Kind::Rear27);
    ASSERT_TRUE(rig.Open(front.path, rear.path));
    EXPECT_TRUE(rig.E(0).opened);
    EXPECT_TRUE(rig.E(1).opened);
    EXPECT_TRUE(rig.session.Opened(0) && rig.session.Opened(1));
    EXPECT_FALSE(rig.session.Opened(2)); // no such engine
    EXPECT_EQ(rig.session.GetState(0), kEngineStopped);
    EXPECT_EQ(rig.session.GetState(1), kEngineStopped);
    // Probed frame durations in whole milliseconds.
    EXPECT_FLOAT_EQ(rig.session.GetFrameDuration(0), 34.0f);
    EXPECT_FLOAT_EQ(rig.session.GetFrameDuration(1), 36.0f);
    // Lengths in each engine's own frames (8 s: 235 of 34 ms, 222 of 36 ms).
    EXPECT_NEAR(rig.session.GetLength(0), 8000 / 34, 2);
    EXPECT_NEAR(rig.session.GetLength(1), 8000 / 36, 2);
    // Before the telemetry the master is the engine holding the front movie.
    EXPECT_EQ(rig.session.Master(), 0);
    EXPECT_EQ(rig.session.GetMasterLength(), rig.session.GetLength(0));
    int w = 0, h = 0;
    ASSERT_EQ(rig.session.GetVideoSize(1, &w, &h), 1);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
    EXPECT_NEAR(rig.session.GetFramePeriod(1), 0.036364, 1e-5);

    ASSERT_EQ(rig.session.CloseMovies(), 1);
    EXPECT_FALSE(rig.E(0).opened);
    EXPECT_FALSE(rig.session.Opened(0) || rig.session.Opened(1));
    EXPECT_EQ(rig.session.GetState(0), kEngineClosed);
    EXPECT_EQ(rig.session.GetPosition(1), -1);
    EXPECT_EQ(rig.session.GetLength(1), 0);
    EXPECT_EQ(rig.session.Play(2), 0);
}

TEST(Session, TooShortAndTimeLapseGates) {
    MAKE_RIG(rig);
    // 2.0 s at 30 frames per second: too short to play; nothing stays open.
    EXPECT_EQ(rig.session.OpenMovies(GetSample(Kind::Front8).path, GetSample(Kind::Rear45).path),
              1);
    EXPECT_EQ(rig.session.OpenMovies(GetSample(Kind::TooShort30).path, GetSample(Kind::Rear6).path),
              2);
    EXPECT_FALSE(rig.E(0).opened);
    EXPECT_FALSE(rig.E(1).opened);
    EXPECT_EQ(rig.E(1).player, nullptr);
    EXPECT_EQ(rig.session.GetState(1), kEngineClosed);
    // 1.8 s of 66 ms frames passes the probe (15 per second) and opens.
    ASSERT_TRUE(rig.Open(GetSample(Kind::Lapse18).path, ""));
    EXPECT_FLOAT_EQ(rig.session.GetFrameDuration(0), 66.0f);
    EXPECT_EQ(rig.session.GetLength(0), 27);
    EXPECT_FALSE(rig.E(1).opened);
    // 1.4 s passes the probe but not the open.
    EXPECT_EQ(rig.session.OpenMovies(GetSample(Kind::Lapse14).path, ""), 0);
    // Without a sound track the boxes give no timing: the decoder's frame
    // rate and the container's duration open it.
    ASSERT_TRUE(rig.Open(GetSample(Kind::Silent).path, ""));
    EXPECT_NEAR(rig.session.GetFrameDuration(0), 34.364, 1e-3);
    EXPECT_NEAR(rig.session.GetLength(0), GetSample(Kind::Silent).frames, 1);
    // Not a movie, no file.
    ktest::TempDir dir;
    EXPECT_EQ(rig.session.OpenMovies(dir.Write("text_F.MP4", "not a movie at all"), ""), 0);
    EXPECT_EQ(rig.session.OpenMovies(dir / "missing_F.MP4", ""), 0);
    EXPECT_EQ(rig.session.GetState(0), kEngineClosed);
}

TEST(Session, ShorterMovieIsOnlyMarkedPlayingNearItsEnd) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear45).path));
    const int64_t l1 = rig.session.GetLength(1);
    ASSERT_GT(rig.session.GetLength(0) - l1, 80);
    // The rear movie within 100 frames of its end, the front one early.
    ASSERT_EQ(rig.session.SeekFrame(1, l1 - 60), 1);
    ASSERT_EQ(rig.session.SeekFrame(0, 10), 1);
    ASSERT_EQ(rig.session.Play(2), 1);
    EXPECT_EQ(rig.session.GetState(0), kEnginePlaying);
    EXPECT_EQ(rig.session.GetState(1), kEnginePlaying);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Started);
    EXPECT_NE(rig.PlayerStateOf(1), PlayerState::Started); // keeps its last frame
    // Play again does nothing to an engine already Playing.
    ASSERT_EQ(rig.session.Play(1), 1);
    EXPECT_NE(rig.PlayerStateOf(1), PlayerState::Started);
    ASSERT_EQ(rig.session.Pause(2), 1);
    EXPECT_EQ(rig.session.GetState(1), kEnginePaused);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Paused);

    // Earlier than that, both run.
    ASSERT_EQ(rig.session.SeekFrame(1, l1 - 101), 1);
    ASSERT_EQ(rig.session.Play(2), 1);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Started);
    EXPECT_EQ(rig.PlayerStateOf(1), PlayerState::Started);
    ASSERT_EQ(rig.session.Stop(2), 1);
    EXPECT_EQ(rig.session.GetState(0), kEngineStopped);
    EXPECT_EQ(rig.session.GetState(1), kEngineStopped);
}

TEST(Session, MoviesCloseInLengthBothStartAtAnyPosition) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear6).path));
    const int64_t l1 = rig.session.GetLength(1);
    ASSERT_LE(rig.session.GetLength(0) - l1, 80);
    ASSERT_EQ(rig.session.SeekFrame(1, l1 - 5), 1);
    ASSERT_EQ(rig.session.Play(2), 1);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Started);
    EXPECT_EQ(rig.PlayerStateOf(1), PlayerState::Started);
    // The rear movie reaches its end first and says so.
    EXPECT_TRUE(rig.messages.WaitFor(&rig.id[1], UM_MOVIE_ENDED, 1));
    ASSERT_EQ(rig.session.Pause(2), 1);
}

TEST(Session, SeeksNearTheEndsKeepTheMargin) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear45).path));
    const int64_t l0 = rig.session.GetLength(0), l1 = rig.session.GetLength(1);
    // A frame inside the rear movie's margin but not the front one's.
    const int64_t f = l1 + 20;
    ASSERT_LT(f + 80, l0);
    ASSERT_EQ(rig.session.SeekFrame(2, f), 1);
    EXPECT_EQ(rig.session.GetPosition(0), f);
    EXPECT_EQ(rig.session.GetPosition(1), l1 - 80);
    // Past both ends: each engine 80 frames before its end.
    ASSERT_EQ(rig.session.SeekFrame(2, l0 + 50), 1);
    EXPECT_EQ(rig.session.GetPosition(0), l0 - 80);
    EXPECT_EQ(rig.session.GetPosition(1), l1 - 80);

    // Forward: an engine already later than its margin stays.
    ASSERT_EQ(rig.session.SeekFrame(0, 10), 1);
    ASSERT_EQ(rig.session.SeekFrame(1, l1 - 30), 1);
    ASSERT_EQ(rig.session.SeekFrameForward(2, l0), 1);
    EXPECT_EQ(rig.session.GetPosition(0), l0 - 80);
    EXPECT_EQ(rig.session.GetPosition(1), l1 - 30);
    // The plain seek moves it back to the margin.
    ASSERT_EQ(rig.session.SeekFrame(2, l0), 1);
    EXPECT_EQ(rig.session.GetPosition(1), l1 - 80);
    // Seeking does not change the state.
    EXPECT_EQ(rig.session.GetState(0), kEngineStopped);
}

TEST(Session, EnginesOfDifferentFrameDurationsShowTheSameMoment) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear27).path));
    ASSERT_EQ(rig.session.SetDisplayMode(0, kModeRawPlain), 1);
    ASSERT_EQ(rig.session.SetDisplayMode(1, kModeRawPlain), 1);
    // Frame 100 of 34 ms is frame ⌊100 × 34 ÷ 36⌋ = 94 of 36 ms.
    ASSERT_EQ(rig.session.SeekFrame(2, 100), 1);
    EXPECT_EQ(rig.session.GetPosition(0), 100);
    EXPECT_EQ(rig.session.GetPosition(1), 94);
    const MediaTime t0 = TimeOfFrame(100, 34.0f), t1 = TimeOfFrame(94, 36.0f);
    EXPECT_TRUE(WaitShows(rig.surface[0], RealFrameAt(t0, mkcard::kFrameUs29_1)));
    EXPECT_TRUE(WaitShows(rig.surface[1], RealFrameAt(t1, mkcard::kFrameUs27_5)));
    EXPECT_LT(std::abs(t0 - t1), 36 * kUnitsPerMillisecond);
    // Near the end the margin is counted in each engine's frames: 8 s movies,
    // so the rear one is not sent back to its own margin while the front is
    // still outside its margin.
    const int64_t l0 = rig.session.GetLength(0), l1 = rig.session.GetLength(1);
    const int64_t f = l0 - 85;
    ASSERT_EQ(rig.session.SeekFrame(2, f), 1);
    EXPECT_EQ(rig.session.GetPosition(0), f);
    EXPECT_EQ(rig.session.GetPosition(1), f * 34 / 36);
    EXPECT_LT(rig.session.GetPosition(1), l1 - 80);
    // One camera alone is scaled the same way.
    ASSERT_EQ(rig.session.SeekFrame(1, 36), 1);
    EXPECT_EQ(rig.session.GetPosition(1), 34);
}

TEST(Session, SpeedStepsOfThePlatformPlayer) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, ""));
    // Not playing: every press answers x1.0.
    EXPECT_EQ(rig.session.NextSpeedStep(0, true), kSpeedNormal);
    EXPECT_EQ(rig.session.NextSpeedStep(0, false), kSpeedNormal);
    ASSERT_EQ(rig.session.Play(0), 1);
    EXPECT_FALSE(rig.E(0).canPlayBackwards);
    struct Press {
        bool faster;
        SpeedStep step;
        float rate;
        bool thin;
    } presses[] = {{false, kSpeedHalf, 0.5f, false},    {false, kSpeedHalf, 0.5f, false},
                   {true, kSpeedNormal, 1.0f, false},   {true, kSpeedDouble, 2.0f, true},
                   {true, kSpeedQuadruple, 4.0f, true}, {true, kSpeedQuadruple, 4.0f, true}};
    for (const Press& p : presses) {
        const SpeedStep current = rig.session.CurrentSpeedStep(0);
        const SpeedStep next = rig.session.NextSpeedStep(0, p.faster);
        if (next != current) {
            ASSERT_EQ(rig.session.SetSpeed(next), 1);
        }
        EXPECT_EQ(rig.session.CurrentSpeedStep(0), p.step);
        EXPECT_FLOAT_EQ(rig.E(0).player->Rate(), p.rate);
        EXPECT_EQ(rig.E(0).player->Thin(), p.thin);
    }
    // The new rate takes effect at the restart.
    ASSERT_EQ(rig.session.RestartAt(0, 20), 1);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Started);
    ASSERT_EQ(rig.session.Pause(0), 1);
    EXPECT_EQ(rig.session.NextSpeedStep(0, true), kSpeedNormal);
    // Restarting only applies to a playing engine.
    EXPECT_EQ(rig.session.RestartAt(0, 20), 1);
    EXPECT_EQ(rig.PlayerStateOf(0), PlayerState::Paused);
}

TEST(Session, VolumeGoesToTheCameraShownAndOnlyAtNormalSpeed) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear6).path));
    auto devices = rig.sound.Made();
    ASSERT_EQ(devices.size(), 2u);
    // Tell the two devices apart by the first routing.
    ASSERT_EQ(rig.session.SetVolume(0, 65535), 1);
    if (devices[0]->Volume() < devices[1]->Volume()) std::swap(devices[0], devices[1]);
    ASSERT_FLOAT_EQ(devices[0]->Volume(), 1.0f);
    ASSERT_FLOAT_EQ(devices[1]->Volume(), 0.0f);

    ASSERT_EQ(rig.session.SetVolume(1, 32768), 1);
    EXPECT_EQ(rig.E(0).volume, 0);
    EXPECT_EQ(rig.E(1).volume, 32768);
    EXPECT_FLOAT_EQ(devices[0]->Volume(), 0.0f);
    EXPECT_NEAR(devices[1]->Volume(), 0.50000763, 1e-6);

    // Both cameras: the master (engine 0 after the telemetry) gets it, engine 1 is silent.
    ASSERT_EQ(rig.session.LoadTelemetry(GetSample(Kind::Front8).path, GetSample(Kind::Rear6).path),
              1);
    ASSERT_EQ(rig.session.SetVolume(2, 20000), 1);
    EXPECT_EQ(rig.E(0).volume, 20000);
    EXPECT_EQ(rig.E(1).volume, 0);
    EXPECT_NEAR(devices[0]->Volume(), 20000 / 65535.0, 1e-6);

    // Any step but x1.0 is silent; the volume comes back at x1.0.
    ASSERT_EQ(rig.session.SetSpeed(kSpeedDouble), 1);
    EXPECT_FLOAT_EQ(devices[0]->Volume(), 0.0f);
    ASSERT_EQ(rig.session.SetVolume(0, 30000), 1);
    EXPECT_FLOAT_EQ(devices[0]->Volume(), 0.0f);
    EXPECT_EQ(rig.E(0).volume, 30000);
    ASSERT_EQ(rig.session.SetSpeed(kSpeedNormal), 1);
    EXPECT_NEAR(devices[0]->Volume(), 30000 / 65535.0, 1e-6);
    EXPECT_FLOAT_EQ(devices[1]->Volume(), 0.0f);
}

TEST(Session, RearOnlyRecordingMakesEngineOneTheMaster) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open("", GetSample(Kind::Rear6).path));
    EXPECT_FALSE(rig.session.Opened(0));
    EXPECT_TRUE(rig.session.Opened(1));
    EXPECT_EQ(rig.session.Master(), 1);
    EXPECT_FALSE(rig.session.HasTelemetry()); // nothing loaded yet
    ASSERT_EQ(rig.session.LoadTelemetry("", GetSample(Kind::Rear6).path), 1);
    EXPECT_TRUE(rig.session.HasTelemetry());
    EXPECT_TRUE(rig.E(1).telemetryMaster);
    EXPECT_EQ(rig.session.GetState(2), kEngineStopped);
    EXPECT_EQ(rig.session.GetLength(2), rig.session.GetLength(1));
    ASSERT_EQ(rig.session.SetVolume(2, 1000), 1);
    EXPECT_EQ(rig.E(1).volume, 1000);
    // Play with both cameras: the missing movie holds nothing back, and
    // the empty engine is not marked Playing.
    ASSERT_EQ(rig.session.SeekFrame(2, rig.session.GetLength(1) - 20), 1);
    ASSERT_EQ(rig.session.Play(2), 1);
    EXPECT_EQ(rig.PlayerStateOf(1), PlayerState::Started);
    EXPECT_EQ(rig.E(0).state, kEngineClosed);
    ASSERT_EQ(rig.session.Pause(2), 1);
}

TEST(Session, CombinedFileAnswersEveryQueryThroughEngineZero) {
    MAKE_RIG(rig);
    const Sample& combined = GetSample(Kind::Combined);
    ASSERT_TRUE(rig.OpenCombined(combined.path));
    EXPECT_TRUE(rig.E(0).opened);
    EXPECT_FALSE(rig.E(1).opened);
    EXPECT_EQ(rig.E(0).player->VideoBranchCount(), 2);
    // Both streams probed: 34 ms frames each.
    EXPECT_FLOAT_EQ(rig.E(0).cameras[1].frameDurationMs, 34.0f);
    // cam 2 answers for camera 0, cam 1 for the second stream of engine 0.
    EXPECT_EQ(rig.session.GetState(2), kEngineStopped);
    EXPECT_EQ(rig.session.GetState(1), kEngineStopped);
    EXPECT_EQ(rig.session.GetLength(2), rig.session.GetLength(0));
    EXPECT_EQ(rig.session.GetMasterLength(), rig.session.GetLength(0));
    EXPECT_NEAR(rig.session.GetFrameDuration(2), 34.364, 1e-3);
    int w = 0, h = 0;
    ASSERT_EQ(rig.session.GetVideoSize(1, &w, &h), 1);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 144);
    ASSERT_EQ(rig.session.GetVideoSize(2, &w, &h), 1);
    EXPECT_EQ(w, 320);
    // Seeks take the camera's own frames, unscaled, without the end margin.
    ASSERT_EQ(rig.session.SeekFrame(2, 30), 1);
    EXPECT_EQ(rig.session.GetPosition(2), 30);
    ASSERT_EQ(rig.session.SeekFrame(1, 40), 1);
    EXPECT_EQ(rig.session.GetPosition(1), 40);
    EXPECT_EQ(rig.session.GetPosition(0), 40);
    const int64_t l = rig.session.GetLength(2);
    ASSERT_EQ(rig.session.SeekFrameForward(2, l - 10), 1);
    EXPECT_EQ(rig.session.GetPosition(2), l - 10);
    // The telemetry comes from engine 0; engine 1 stays out of it.
    ASSERT_EQ(rig.session.LoadTelemetry(combined.path, ""), 1);
    EXPECT_TRUE(rig.E(0).telemetryMaster);
    ASSERT_NE(rig.session.GetGpsRecords(), nullptr);
    EXPECT_FALSE(rig.session.GetGpsRecords()->empty());

    // Both pictures, one per stream of engine 0.
    ASSERT_EQ(rig.session.SetDisplayMode(0, kModeRawPlain), 1);
    ASSERT_EQ(rig.session.SetDisplayMode(1, kModeRawPlain), 1);
    ASSERT_EQ(rig.session.SeekFrame(2, 30), 1);
    const int shown = RealFrameAt(TimeOfFrame(30, 34.0f), mkcard::kFrameUs29_1);
    EXPECT_TRUE(WaitShows(rig.surface[0], shown));
    EXPECT_TRUE(WaitShows(rig.surface[1], shown));
    ktest::TempDir dir;
    ASSERT_EQ(rig.session.SaveStills(dir / "front.jpg", dir / "rear.jpg"), 1);
    EXPECT_TRUE(std::filesystem::file_size(dir / "front.jpg") > 0);
    EXPECT_TRUE(std::filesystem::file_size(dir / "rear.jpg") > 0);
    // A still that cannot be written fails the call.
    EXPECT_EQ(rig.session.SaveStills(dir / "front2.jpg", dir / "no/such/folder/rear.jpg"), 0);

    // Playing one camera presents only its stream.
    ASSERT_EQ(rig.session.Play(0), 1);
    EXPECT_EQ(rig.session.GetState(2), kEnginePlaying);
    EXPECT_EQ(rig.session.GetState(1), kEnginePlaying);
    ASSERT_EQ(rig.session.Pause(1), 1);
    EXPECT_EQ(rig.session.GetState(0), kEnginePaused);
    // Sound: the file's one sound track, whichever camera is chosen.
    ASSERT_EQ(rig.session.SetVolume(1, 4000), 1);
    EXPECT_EQ(rig.E(0).volume, 4000);

    // Placement: camera 1 lives in the second window.
    VideoPlacement front, rear;
    rear.zoom = 2.0f;
    rear.focusX = 320;
    rear.focusY = 180;
    ASSERT_EQ(rig.session.SetVideoPlacement(front, rear, true), 1);
    EXPECT_EQ(rig.session.GetVideoRect(0), (PlacementRect{0, 0, 640, 360}));
    EXPECT_EQ(rig.session.GetVideoRect(1), (PlacementRect{-320, -180, 960, 540}));
    // Fit mode keeps 256 x 144 (16:9) in the 16:9 window as it is, plus 2.
    ASSERT_EQ(rig.session.SetFitMode(0, 1), 1);
    EXPECT_EQ(rig.session.GetVideoRect(0), (PlacementRect{0, 0, 642, 362}));

    ASSERT_EQ(rig.session.CloseMovies(), 1);
    EXPECT_EQ(rig.session.SaveStills(dir / "a.jpg", ""), 0); // nothing to take it from
}

TEST(Session, ViewOperationsReachThePresenterOfTheCamera) {
    MAKE_RIG(rig);
    // Nothing open: nothing to act on.
    EXPECT_EQ(rig.session.FlipView(0), 0);
    EXPECT_EQ(rig.session.SetDisplayMode(0, kModeSphere), 0);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear6).path));
    ASSERT_EQ(rig.session.SetDisplayMode(1, kModeSphere), 1);
    EXPECT_EQ(rig.E(1).player->PresenterOf(0)->DisplayMode(), kModeSphere);
    EXPECT_EQ(rig.E(0).player->PresenterOf(0)->DisplayMode(), kModeRawNormal);
    EXPECT_EQ(rig.session.FlipView(1), 1);
    EXPECT_EQ(rig.session.FlipView(1), 0); // flipped back
    EXPECT_EQ(rig.session.CommitViewRotation(1), 1);
    EXPECT_EQ(rig.session.DragView(1, 0.05f, 0.0f, 1.0f), 1);
    EXPECT_EQ(rig.session.ResetModelPose(1), 1);
    EXPECT_EQ(rig.session.SetViewAspect(1, 640, 360), 1);
    EXPECT_EQ(rig.session.SetDrawInterval(1, 2), 1);
    EXPECT_EQ(rig.session.Redraw(2), 1);
    EXPECT_EQ(rig.session.EnableStream(0, true), 1);
    // The view is kept for the camera's next movie.
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front8).path, GetSample(Kind::Rear45).path));
    EXPECT_EQ(rig.E(1).player->PresenterOf(0)->DisplayMode(), kModeSphere);
    // Camera indices outside 0 and 1 are refused by the engine.
    EXPECT_EQ(rig.session.Ops(0).SetDisplayMode(rig.E(0), 2, kModeSphere), 0);
    EXPECT_EQ(rig.session.Ops(0).GetPosition(rig.E(0), -1), -1);
}

TEST(Session, PrefetchedTelemetryIsTakenOverByTheLoadOfTheSameFile) {
    MAKE_RIG(rig);
    ktest::TempDir dir;
    const std::string front = dir / "front_F.MP4";
    std::filesystem::copy_file(GetSample(Kind::Front8).path, front);
    const std::string& rear = GetSample(Kind::Rear45).path;
    ASSERT_TRUE(rig.Open(front, rear));

    // A path that cannot be read leaves nothing to take over.
    EXPECT_EQ(rig.session.PrefetchTelemetry(dir / "missing_F.MP4", ""), 0);
    EXPECT_TRUE(rig.E(0).telemetryFileName.empty());
    ASSERT_EQ(rig.session.PrefetchTelemetry(front, rear), 1);
    EXPECT_EQ(rig.E(0).telemetryFileName, front);
    EXPECT_TRUE(rig.E(0).prefetchTelemetry.loaded);
    EXPECT_TRUE(rig.E(1).telemetryFileName.empty());
    // The file goes away (the player keeps it open): only the prefetched
    // records can load it now.
    std::filesystem::remove(front);
    ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
    EXPECT_TRUE(rig.E(0).telemetryMaster);
    EXPECT_FALSE(rig.E(1).telemetryMaster);
    EXPECT_TRUE(rig.E(0).telemetryFileName.empty());
    EXPECT_FALSE(rig.E(0).prefetchTelemetry.loaded);
    const sGPSREADER* t = rig.session.GetTelemetry();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->gps.size(), GetSample(Kind::Front8).records);
    EXPECT_EQ(static_cast<int64_t>(t->frameTable.size()), rig.session.GetLength(0));
    EXPECT_NE(rig.session.GetTelemetryHeader(), nullptr);
    ASSERT_NE(rig.session.GetAccelRecords(), nullptr);

    // A second load finds no prefetch and no file: the rear movie supplies it.
    ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
    EXPECT_FALSE(rig.E(0).telemetryMaster);
    EXPECT_TRUE(rig.E(1).telemetryMaster);
    EXPECT_EQ(rig.session.Master(), 1);
    EXPECT_EQ(rig.session.GetGpsRecords()->size(), GetSample(Kind::Rear45).records);

    // A rear path alone is read ahead by engine 1.
    ASSERT_EQ(rig.session.PrefetchTelemetry("", rear), 1);
    EXPECT_EQ(rig.E(1).telemetryFileName, rear);
    // Releasing clears both readers and the session flags.
    ASSERT_EQ(rig.session.ReleaseTelemetry(), 1);
    EXPECT_TRUE(rig.E(1).telemetryFileName.empty());
    EXPECT_FALSE(rig.E(1).telemetryMaster);
    EXPECT_FALSE(rig.E(1).opened);
    EXPECT_TRUE(rig.session.GetTelemetry()->gps.empty());
    EXPECT_FALSE(rig.session.HasTelemetry());

    // Reading any file into the caller's reader.
    sGPSREADER other;
    EXPECT_EQ(rig.session.ReadTelemetryOf(other, rear), 1);
    EXPECT_EQ(other.gps.size(), GetSample(Kind::Rear45).records);
    EXPECT_EQ(rig.session.ReadTelemetryOf(other, front), 0); // gone
}

// Opens of each file while a counter lives, through the platform's observer.
std::mutex gOpensLock;
std::map<std::string, int> gOpens;
void CountOpen(const std::string& path) {
    std::lock_guard lock(gOpensLock);
    ++gOpens[path];
}
struct OpenCounter {
    OpenCounter() {
        std::lock_guard lock(gOpensLock);
        gOpens.clear();
        platform::SetOpenObserver(&CountOpen);
    }
    ~OpenCounter() { platform::SetOpenObserver(nullptr); }
    int Of(const std::string& path) {
        std::lock_guard lock(gOpensLock);
        return gOpens[path];
    }
};

TEST(Session, EachFileOfARecordingIsOpenedTwiceFromOpenToItsTelemetry) {
    MAKE_RIG(rig);
    const std::string& front = GetSample(Kind::Front8).path;
    const std::string& rear = GetSample(Kind::Rear45).path;
    {
        OpenCounter opens;
        ASSERT_TRUE(rig.Open(front, rear));
        ASSERT_EQ(rig.session.PrefetchTelemetry(front, rear), 1);
        ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
        // One open serves the ftyp check, the timing probe and the telemetry;
        // the player's library opens that checked descriptor once more.
        EXPECT_EQ(opens.Of(front), 2);
        EXPECT_EQ(opens.Of(rear), 2);
    }
    // The telemetry of the open movie came from that open: a load without a
    // prefetch reads the same records.
    const size_t records = rig.session.GetGpsRecords()->size();
    EXPECT_EQ(records, GetSample(Kind::Front8).records);
    {
        OpenCounter opens;
        ASSERT_TRUE(rig.Open(front, rear));
        ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
        EXPECT_EQ(opens.Of(front), 2);
        EXPECT_EQ(rig.session.GetGpsRecords()->size(), records);
        // Once read, the open movie's telemetry comes from the file again.
        ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
        EXPECT_EQ(opens.Of(front), 3);
    }
}

TEST(Session, AnOpenTakesWhatWasReadAheadOnlyForTheSameUnchangedFile) {
    MAKE_RIG(rig);
    ktest::TempDir dir;
    const std::string front = dir / "a_F.MP4", rear = dir / "a_R.MP4", other = dir / "b_F.MP4";
    std::filesystem::copy_file(GetSample(Kind::Front8).path, front);
    std::filesystem::copy_file(GetSample(Kind::Rear45).path, rear);
    std::filesystem::copy_file(GetSample(Kind::Front8).path, other);
    auto prepareOnAnotherThread = [&](const std::string& f, const std::string& r) {
        int result = -1;
        std::thread([&] { result = rig.session.PrepareMovies(f, r); }).join();
        return result;
    };
    {
        // Read ahead: the open, the first frames and the telemetry open nothing more.
        ASSERT_EQ(prepareOnAnotherThread(front, rear), 1);
        OpenCounter opens;
        ASSERT_TRUE(rig.Open(front, rear));
        ASSERT_EQ(rig.session.LoadTelemetry(front, rear), 1);
        EXPECT_EQ(opens.Of(front), 0);
        EXPECT_EQ(opens.Of(rear), 0);
        EXPECT_EQ(rig.session.GetGpsRecords()->size(), GetSample(Kind::Front8).records);
        EXPECT_GT(rig.session.GetLength(0), 0);
    }
    struct Case {
        const char* what;
        std::function<void()> between; // after the read-ahead of front, before its open
    };
    const Case cases[] = {
        {"another recording opened in between", [&] { ASSERT_TRUE(rig.Open(other, "")); }},
        {"the file replaced by another",
         [&] {
             std::filesystem::copy_file(GetSample(Kind::Rear6).path, dir / "new.MP4");
             std::filesystem::rename(dir / "new.MP4", front);
         }},
        {"discarded for a file flow", [&] { rig.session.DiscardPreparedMovies(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(rig.session.CloseMovies(), 1);
        ASSERT_EQ(prepareOnAnotherThread(front, ""), 1);
        c.between();
        OpenCounter opens;
        ASSERT_TRUE(rig.Open(front, ""));
        // Read afresh: the box tree's open and the player's.
        EXPECT_EQ(opens.Of(front), 2);
    }
    // The replaced file is what plays.
    ASSERT_EQ(rig.session.LoadTelemetry(front, ""), 1);
    EXPECT_EQ(rig.session.GetGpsRecords()->size(), GetSample(Kind::Rear6).records);
}

TEST(Session, ReleaseKeepsThePrefetchOfTheRecordingBeingOpened) {
    MAKE_RIG(rig);
    ktest::TempDir dir;
    const std::string& current = GetSample(Kind::Front8).path;
    const std::string next = dir / "next_F.MP4";
    std::filesystem::copy_file(current, next);
    ASSERT_TRUE(rig.Open(current, ""));
    ASSERT_EQ(rig.session.LoadTelemetry(current, ""), 1);
    // Continuous play: the next recording was read ahead while this one played.
    ASSERT_EQ(rig.session.PrefetchTelemetry(next, ""), 1);

    // Closing this recording to open the next keeps what was read ahead.
    ASSERT_EQ(rig.session.ReleaseTelemetry(next, ""), 1);
    EXPECT_TRUE(rig.session.GetGpsRecords()->empty());
    EXPECT_EQ(rig.E(0).telemetryFileName, next);
    EXPECT_TRUE(rig.E(0).prefetchTelemetry.loaded);
    ASSERT_EQ(rig.session.CloseMovies(), 1);
    ASSERT_TRUE(rig.Open(next, ""));
    // The file goes (the player keeps it open): only the prefetched records can load it.
    std::filesystem::remove(next);
    ASSERT_EQ(rig.session.LoadTelemetry(next, ""), 1);
    EXPECT_EQ(rig.session.GetGpsRecords()->size(), GetSample(Kind::Front8).records);

    // A prefetch of any other recording goes with the release.
    ASSERT_EQ(rig.session.PrefetchTelemetry(current, ""), 1);
    ASSERT_EQ(rig.session.ReleaseTelemetry(next, ""), 1);
    EXPECT_TRUE(rig.E(0).telemetryFileName.empty());
    EXPECT_FALSE(rig.E(0).prefetchTelemetry.loaded);
    ASSERT_EQ(rig.session.PrefetchTelemetry(current, ""), 1);
    ASSERT_EQ(rig.session.ReleaseTelemetry(), 1);
    EXPECT_FALSE(rig.E(0).prefetchTelemetry.loaded);
}

TEST(Session, LockTelemetryExcludesAConcurrentLoad) {
    MAKE_RIG(rig);
    const std::string& front = GetSample(Kind::Front8).path;
    ASSERT_TRUE(rig.Open(front, ""));
    ASSERT_EQ(rig.session.LockTelemetry(), 1);
    const int32_t held = rig.session.LockWaiters();
    EXPECT_EQ(held, 2); // both engines' data locks
    std::atomic<bool> loaded{false};
    std::thread loader([&] {
        rig.session.LoadTelemetry(front, "");
        loaded = true;
    });
    // Wait until the loader waits on the data lock, then check it is still waiting.
    while (rig.session.LockWaiters() == held)
        SleepMs(1);
    SleepMs(50);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(rig.session.GetGpsRecords()->size(), 0u); // nothing loaded behind the walk
    ASSERT_EQ(rig.session.UnlockTelemetry(), 1);
    loader.join();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(rig.session.GetGpsRecords()->size(), GetSample(Kind::Front8).records);
    EXPECT_EQ(rig.session.LockWaiters(), 0);
    // An unlock without a lock of this thread releases nothing.
    EXPECT_EQ(rig.session.UnlockTelemetry(), 0);
    EXPECT_EQ(rig.session.LockWaiters(), 0);
}

TEST(Session, RecordingCompletenessByFamily) {
    MAKE_RIG(rig);
    EXPECT_EQ(rig.session.IsRecordingComplete(GetSample(Kind::Front8).path), 1);
    EXPECT_EQ(rig.session.IsRecordingComplete(GetSample(Kind::Unfinished).path), 0);
    rig.session.SetFamilyFlag(false);
    EXPECT_EQ(rig.session.IsRecordingComplete(GetSample(Kind::Tx50Front).path), 1);
    // A session whose engines are not initialised answers 0.
    PlaybackSession idle;
    EXPECT_EQ(idle.IsRecordingComplete(GetSample(Kind::Front8).path), 0);
    EXPECT_EQ(idle.OpenMovies(GetSample(Kind::Front8).path, ""), 0);
    EXPECT_EQ(idle.GetState(2), kEngineClosed);
    EXPECT_EQ(idle.GetGpsRecords(), nullptr);
    EXPECT_EQ(idle.LockTelemetry(), 0);
}
