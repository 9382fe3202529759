// CPlayer with presenters drawing into off-screen surfaces: the messages it
// posts, which frame the surface shows after a scrub and a pause (read back
// from the picture by its frame-number code), rates, the end of the movie,
// recordings without playable sound, closing, and two players at once.

#include "player_support.h"

#include <QImage>

#include <algorithm>

#include "playcore/gl_support.h"
#include "playcore/player/player.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "support/picture_code.h"

using namespace playcore;
using namespace ptest;

namespace {

const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new ktest::GuiEnvironment);

// Records the posted messages.
class Messages : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget target, uint32_t message, uintptr_t wParam,
              intptr_t lParam) override {
        std::lock_guard lock(mutex_);
        posts_.push_back({target, message, MonotonicNow()});
        EXPECT_EQ(wParam, 0u);
        EXPECT_EQ(lParam, 0);
        changed_.notify_all();
        return true;
    }
    // Waits until `message` was posted `count` times in all.
    bool WaitFor(uint32_t message, size_t count = 1, int ms = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return CountLocked(message) >= count; });
    }
    size_t Count(uint32_t message) {
        std::lock_guard lock(mutex_);
        return CountLocked(message);
    }
    MediaTime LastTime(uint32_t message) {
        std::lock_guard lock(mutex_);
        for (auto it = posts_.rbegin(); it != posts_.rend(); ++it)
            if (it->message == message) return it->at;
        return -1;
    }
    std::vector<platform::MessageTarget> Targets() {
        std::lock_guard lock(mutex_);
        std::vector<platform::MessageTarget> t;
        for (const auto& p : posts_)
            t.push_back(p.target);
        return t;
    }

private:
    struct Posted {
        platform::MessageTarget target;
        uint32_t message;
        MediaTime at;
    };
    size_t CountLocked(uint32_t message) const {
        return static_cast<size_t>(std::count_if(
            posts_.begin(), posts_.end(), [&](const Posted& p) { return p.message == message; }));
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> posts_;
};

// The frame number the surface shows (-1 unreadable).
int ShownCode(OffscreenSurface& surface) {
    return ktest::PictureCode(surface.GrabPicture());
}

// Waits until the surface shows frame `n` (it repaints when asked to).
bool WaitShows(OffscreenSurface& surface, int n, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int last = -2;
    while (std::chrono::steady_clock::now() < until) {
        if (surface.UpdatePending() || last == -2) last = ShownCode(surface);
        if (last == n) return true;
        SleepMs(5);
    }
    ADD_FAILURE() << "the surface shows " << last << ", want " << n;
    return false;
}

// Display-model blocks whose mode is RawPlain: the whole frame over a 16:9 surface.
CPlayer::ModelStates PlainStates() {
    CPlayer::ModelStates states;
    for (auto& s : states) {
        s = CSphereModel::InitialState();
        const int32_t mode = kModeRawPlain;
        std::memcpy(s.data(), &mode, sizeof mode);
    }
    return states;
}

int ModeOf(const ModelStateBlock& block) {
    int32_t mode;
    std::memcpy(&mode, block.data(), sizeof mode);
    return mode;
}

struct Window {
    OffscreenSurface surface;
    int id = 0; // its message target is &id
    PlayerWindow AsPlayerWindow() { return {&surface, &id}; }
};

// One engine's player on one or two off-screen windows.
struct Rig {
    Messages messages;
    Window w0, w1;
    CPlayer::ModelStates states = PlainStates();
    SimulatedAudioOutput* sound = nullptr; // the last sound output made
    std::unique_ptr<CPlayer> player;

    // `soundDevice`: a simulated device (true) or the machine's (false).
    bool Make(int cameraIndex = 0, bool combined = false, bool soundDevice = true) {
        if (!w0.surface.Create(QSize(640, 360)) || !w1.surface.Create(QSize(640, 360)))
            return false;
        PlayerOptions o;
        o.sink = &messages;
        o.combinedFile = combined;
        if (soundDevice)
            o.makeAudioOutput = [this] {
                auto out = std::make_unique<SimulatedAudioOutput>(40 * kUnitsPerMillisecond);
                sound = out.get();
                return out;
            };
        player = CPlayer::Create(cameraIndex, w0.AsPlayerWindow(),
                                 combined ? w1.AsPlayerWindow() : PlayerWindow{}, &states, o);
        return true;
    }
    ::testing::AssertionResult Open(const std::string& path) {
        const size_t ready = messages.Count(UM_MOVIE_READY);
        const PlayerResult r = player->OpenFile(path);
        if (r < 0) return ::testing::AssertionFailure() << "OpenFile " << r;
        if (!messages.WaitFor(UM_MOVIE_READY, ready + 1))
            return ::testing::AssertionFailure() << "no UM_MOVIE_READY";
        return ::testing::AssertionSuccess();
    }
};

#define MAKE_RIG(rig, ...)                                                                         \
    KTEST_NEED_GL();                                                                               \
    Rig rig;                                                                                       \
    ASSERT_TRUE(rig.Make(__VA_ARGS__)) << "no GL 3.3 core context"

} // namespace

TEST(CPlayer, OpenPostsReadyAndScrubShowsTheFrame) {
    MAKE_RIG(rig);
    const Sample& sample = GetSample(Kind::Front);
    EXPECT_EQ(rig.player->State(), PlayerState::Closed);
    EXPECT_EQ(rig.player->ScrubTo(0), kResultInvalidRequest);
    ASSERT_EQ(rig.player->OpenFile(sample.path), kResultOk);
    // Before ready: no rectangle, no play.
    PlayerRect rect;
    if (!rig.player->IsReady()) {
        EXPECT_EQ(rig.player->GetVideoRect(&rect), kResultInvalidPointer);
        EXPECT_EQ(rig.player->SetVideoRect(0, 0, 0, 10, 10), kResultInvalidPointer);
        EXPECT_EQ(rig.player->Play(), kResultInvalidRequest);
    }
    ASSERT_TRUE(rig.messages.WaitFor(UM_MOVIE_READY));
    EXPECT_EQ(rig.messages.Targets().front(), &rig.w0.id);
    EXPECT_EQ(rig.player->State(), PlayerState::Stopped);
    EXPECT_TRUE(rig.player->IsReady());
    EXPECT_EQ(rig.player->VideoBranchCount(), 1);
    EXPECT_FALSE(rig.player->HasSecondCamera());
    EXPECT_EQ(rig.player->GetVideoSize(0), QSize(320, 180));
    EXPECT_NEAR(rig.player->GetFramePeriod(0), 0.034364, 1e-6);
    EXPECT_NEAR(static_cast<double>(rig.player->Duration()),
                static_cast<double>(FrameTime(sample.frames)), static_cast<double>(kFrame));
    EXPECT_EQ(rig.player->SeekingCapabilities() & kCanPlayBackwards, 0u);
    // The model state came in with the branch.
    ASSERT_NE(rig.player->PresenterOf(0), nullptr);
    EXPECT_EQ(rig.player->PresenterOf(0)->DisplayMode(), kModeRawPlain);
    EXPECT_EQ(rig.player->PresenterOf(1), nullptr);

    for (int n : {40, 0, 16, 15, 100, sample.frames - 1, 59}) {
        ASSERT_EQ(rig.player->ScrubTo(FrameTime(n) + kFrame / 3), kResultOk);
        EXPECT_TRUE(WaitShows(rig.w0.surface, n));
        EXPECT_EQ(rig.player->GetTime(), FrameTime(n) + kFrame / 3);
    }
    // A scrub presents exactly one frame.
    const uint64_t presented = rig.player->Stats().video[0].scheduler.presented;
    rig.player->ScrubTo(FrameTime(70));
    EXPECT_TRUE(WaitShows(rig.w0.surface, 70));
    SleepMs(100);
    EXPECT_EQ(rig.player->Stats().video[0].scheduler.presented, presented + 1);
    EXPECT_EQ(rig.player->State(), PlayerState::Stopped); // scrubbing does not change it

    EXPECT_EQ(rig.player->SetVideoRect(0, 10, 20, 300, 150), kResultOk);
    ASSERT_EQ(rig.player->GetVideoRect(&rect), kResultOk);
    EXPECT_EQ(rect.x, 10);
    EXPECT_EQ(rect.y, 20);
    EXPECT_EQ(rect.width, 300);
    EXPECT_EQ(rect.height, 150);
    EXPECT_EQ(rig.player->SetVideoRect(1, 0, 0, 1, 1), kResultInvalidPointer);
    EXPECT_EQ(rig.player->Refresh(0), kResultOk);

    // The model state goes back to the engine at close.
    rig.player->PresenterOf(0)->SetDisplayMode(kModeWideScreen);
    rig.player->Close();
    EXPECT_EQ(rig.player->State(), PlayerState::Closed);
    EXPECT_EQ(ModeOf(rig.states[0]), kModeWideScreen);
    EXPECT_EQ(rig.player->GetTime(), -1);
    ModelStateBlock block;
    block.fill(7);
    rig.player->SaveModelState(0, &block);
    EXPECT_EQ(block, ModelStateBlock{}); // no branch: zeroed
}

TEST(CPlayer, PausedPictureIsTheFrameOfTheClock) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front).path));
    EXPECT_EQ(rig.player->Pause(), kResultInvalidRequest); // not started
    // Volume: 32768 gives every channel 0.50000763.
    EXPECT_EQ(rig.player->SetVolume(32768), kResultOk);
    ASSERT_NE(rig.sound, nullptr);
    EXPECT_FLOAT_EQ(rig.sound->Volume(), 0.50000763f);

    ASSERT_EQ(rig.player->Play(), kResultOk);
    EXPECT_EQ(rig.player->State(), PlayerState::Started);
    EXPECT_EQ(rig.player->Play(), kResultInvalidRequest);
    SleepMs(600);
    EXPECT_GT(rig.player->GetTime(), 0);
    ASSERT_EQ(rig.player->Pause(), kResultOk);
    EXPECT_EQ(rig.player->State(), PlayerState::Paused);
    ASSERT_TRUE(rig.messages.WaitFor(UM_MOVIE_PAUSED));
    const MediaTime t = rig.player->GetTime();
    EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t)));
    SleepMs(100);
    EXPECT_EQ(ShownCode(rig.w0.surface), FrameAt(t));
    EXPECT_EQ(rig.player->GetTime(), t);

    // Play resumes from there, at the stored rate.
    ASSERT_EQ(rig.player->Play(), kResultOk);
    SleepMs(300);
    ASSERT_EQ(rig.player->Pause(), kResultOk);
    const MediaTime t2 = rig.player->GetTime();
    EXPECT_GT(t2, t);
    EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t2)));
    ASSERT_TRUE(rig.messages.WaitFor(UM_MOVIE_PAUSED, 2));
}

TEST(CPlayer, RatesTakeEffectAtTheNextStart) {
    MAKE_RIG(rig);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front).path));
    rig.player->SetRate(4.0f, ThinningForRate(4.0f));
    EXPECT_EQ(rig.player->Rate(), 4.0f);
    EXPECT_TRUE(rig.player->Thin());
    ASSERT_EQ(rig.player->PlayFrom(FrameTime(2)), kResultOk);
    SleepMs(500);
    ASSERT_EQ(rig.player->Pause(), kResultOk);
    const MediaTime t = rig.player->GetTime();
    EXPECT_GT(t, FrameTime(30)); // four times as fast as x1 would have come
    const SessionStats stats = rig.player->Stats();
    EXPECT_GT(stats.video[0].decoder.thinned, 0u);
    EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t)));

    rig.player->SetRate(0.5f, ThinningForRate(0.5f));
    EXPECT_FALSE(rig.player->Thin());
    ASSERT_EQ(rig.player->Play(), kResultOk);
    SleepMs(400);
    ASSERT_EQ(rig.player->Pause(), kResultOk);
    const MediaTime t2 = rig.player->GetTime();
    EXPECT_GT(t2, t);
    EXPECT_LT(t2 - t, 400 * kUnitsPerMillisecond); // slower than real time
    EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t2)));
    // Out-of-range rates are brought into 0.25..4.
    rig.player->SetRate(9.0f, true);
    EXPECT_EQ(rig.player->Rate(), 4.0f);
    rig.player->SetRate(0.0f, false);
    EXPECT_EQ(rig.player->Rate(), 0.25f);
}

TEST(CPlayer, EndedIsPostedAfterTheEnd) {
    MAKE_RIG(rig);
    const Sample& sample = GetSample(Kind::Short);
    ASSERT_TRUE(rig.Open(sample.path));
    const MediaTime started = MonotonicNow();
    const MediaTime from = FrameTime(sample.frames - 10);
    ASSERT_EQ(rig.player->PlayFrom(from), kResultOk);
    ASSERT_TRUE(rig.messages.WaitFor(UM_MOVIE_ENDED));
    // At x1 the movie cannot end sooner than its remaining time; the message
    // follows the end by 200 ms.
    const MediaTime remaining = FrameTime(sample.frames) - from;
    EXPECT_GE(rig.messages.LastTime(UM_MOVIE_ENDED) - started,
              remaining + kEndedMessageDelayMs * kUnitsPerMillisecond);
    EXPECT_EQ(rig.player->State(), PlayerState::Stopped);
    EXPECT_TRUE(WaitShows(rig.w0.surface, sample.frames - 1));
    // Playing at the end ends again.
    ASSERT_EQ(rig.player->Play(), kResultOk);
    ASSERT_TRUE(rig.messages.WaitFor(UM_MOVIE_ENDED, 2));
    // A close right after the end drops the pending message.
    ASSERT_EQ(rig.player->PlayFrom(FrameTime(sample.frames - 2)), kResultOk);
    SleepMs(150);
    rig.player->Close();
    SleepMs(400);
    EXPECT_EQ(rig.messages.Count(UM_MOVIE_ENDED), 2u);
}

TEST(CPlayer, RecordingsWithoutPlayableSoundOpenAndPlay) {
    // No sound track; a sound track nobody decodes; and the machine's own
    // audio output (none under a virtual display: the player goes on without).
    struct Case {
        Kind kind;
        bool simulatedDevice;
    };
    for (const Case c :
         {Case{Kind::Silent, true}, Case{Kind::BrokenSound, true}, Case{Kind::Front, false}}) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        MAKE_RIG(rig, 0, false, c.simulatedDevice);
        ASSERT_TRUE(rig.Open(GetSample(c.kind).path)) << static_cast<int>(c.kind);
        if (c.kind != Kind::Front) {
            EXPECT_FALSE(rig.player->Stats().sound);
        }
        if (!rig.player->Stats().sound) {
            EXPECT_EQ(rig.player->SetVolume(65535), kResultInvalidPointer);
        }
        ASSERT_EQ(rig.player->Play(), kResultOk);
        SleepMs(300);
        ASSERT_EQ(rig.player->Pause(), kResultOk);
        const MediaTime t = rig.player->GetTime();
        EXPECT_GT(t, 0);
        EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t)));
    }
    // A file that is no movie fails at once and leaves the player closed.
    MAKE_RIG(bad);
    ktest::TempDir dir;
    EXPECT_LT(bad.player->OpenFile(dir.Write("x.MP4", "not a movie")), 0);
    EXPECT_EQ(bad.player->State(), PlayerState::Closed);
    EXPECT_LT(bad.player->OpenFile(dir / "missing.MP4"), 0);
}

TEST(CPlayer, CombinedRecordingShowsEachCameraInItsWindow) {
    MAKE_RIG(rig, 0, true);
    ASSERT_TRUE(rig.Open(GetSample(Kind::Combined).path));
    EXPECT_EQ(rig.player->VideoBranchCount(), 2);
    EXPECT_TRUE(rig.player->HasSecondCamera());
    EXPECT_EQ(rig.player->GetVideoSize(0), QSize(320, 180)); // front, window 0
    EXPECT_EQ(rig.player->GetVideoSize(1), QSize(256, 144)); // rear, window 1
    rig.player->ScrubTo(FrameTime(25));
    EXPECT_TRUE(WaitShows(rig.w0.surface, 25));
    EXPECT_TRUE(WaitShows(rig.w1.surface, 25));
    // The rear window keeps its picture while its stream is off.
    ASSERT_EQ(rig.player->EnableStream(1, false), kResultOk);
    rig.player->ScrubTo(FrameTime(50));
    EXPECT_TRUE(WaitShows(rig.w0.surface, 50));
    SleepMs(100);
    EXPECT_EQ(ShownCode(rig.w1.surface), 25);
    ASSERT_EQ(rig.player->EnableStream(1, true), kResultOk);
    ASSERT_EQ(rig.player->Play(), kResultOk);
    SleepMs(300);
    ASSERT_EQ(rig.player->Pause(), kResultOk);
    const MediaTime t = rig.player->GetTime();
    EXPECT_TRUE(WaitShows(rig.w0.surface, FrameAt(t)));
    EXPECT_TRUE(WaitShows(rig.w1.surface, FrameAt(t)));
    rig.player->Close();
    EXPECT_EQ(ModeOf(rig.states[1]), kModeRawPlain);

    // Without a sound track the cameras go to the same windows.
    MAKE_RIG(silent, 0, true);
    ASSERT_TRUE(silent.Open(GetSample(Kind::SilentCombined).path));
    EXPECT_TRUE(silent.player->HasSecondCamera());
    EXPECT_EQ(silent.player->GetVideoSize(0), QSize(320, 180));
    EXPECT_EQ(silent.player->GetVideoSize(1), QSize(256, 144));
    silent.player->ScrubTo(FrameTime(12));
    EXPECT_TRUE(WaitShows(silent.w0.surface, 12));
    EXPECT_TRUE(WaitShows(silent.w1.surface, 12));

    // The rear engine of a two-file recording has the "second camera".
    MAKE_RIG(rear, 1, false);
    ASSERT_TRUE(rear.Open(GetSample(Kind::Front).path));
    EXPECT_TRUE(rear.player->HasSecondCamera());
}

TEST(CPlayer, TwoPlayersAtOnce) {
    MAKE_RIG(front);
    MAKE_RIG(rear, 1);
    ASSERT_TRUE(front.Open(GetSample(Kind::Front).path));
    ASSERT_TRUE(rear.Open(GetSample(Kind::Combined).path));
    ASSERT_EQ(front.player->Play(), kResultOk);
    ASSERT_EQ(rear.player->Play(), kResultOk);
    SleepMs(500);
    ASSERT_EQ(front.player->Pause(), kResultOk);
    ASSERT_EQ(rear.player->Pause(), kResultOk);
    EXPECT_TRUE(WaitShows(front.w0.surface, FrameAt(front.player->GetTime())));
    EXPECT_TRUE(WaitShows(rear.w0.surface, FrameAt(rear.player->GetTime())));
}

TEST(CPlayer, ClosesQuicklyAndReopens) {
    MAKE_RIG(rig);
    const Sample& sample = GetSample(Kind::Front);
    // Close during playback.
    ASSERT_TRUE(rig.Open(sample.path));
    ASSERT_EQ(rig.player->Play(), kResultOk);
    SleepMs(200);
    MediaTime began = MonotonicNow();
    EXPECT_EQ(rig.player->Close(), kResultOk);
    EXPECT_LT(MonotonicNow() - began, kCloseWaitMs * kUnitsPerMillisecond);
    EXPECT_EQ(rig.player->Play(), kResultInvalidRequest);

    // Open, close and open again quickly, at every stage.
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(rig.player->OpenFile(round % 3 ? sample.path : GetSample(Kind::Combined).path),
                  kResultOk);
        if (round % 2) {
            rig.messages.WaitFor(UM_MOVIE_READY, rig.messages.Count(UM_MOVIE_READY) + 1, 2000);
            rig.player->Play();
            rig.player->ScrubTo(FrameTime(round * 5));
        }
        began = MonotonicNow();
        if (round % 4 == 3) rig.player->Close(); // else OpenFile closes
        EXPECT_LT(MonotonicNow() - began, kCloseWaitMs * kUnitsPerMillisecond);
    }
    // Still a working player.
    ASSERT_TRUE(rig.Open(sample.path));
    rig.player->ScrubTo(FrameTime(33));
    EXPECT_TRUE(WaitShows(rig.w0.surface, 33));
}
