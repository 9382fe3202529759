// The media session on recordings made by mkcard: which frame shows after a
// scrub, a pause, thinned and slow play, the end of the movie, sound that
// cannot be played, and closing at any moment. The frames are read by their
// frame-number code as the decoder hands them over; nothing is drawn.

#include "player_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/file_io.h"
#include "playcore/player/media_session.h"

using namespace playcore;
using namespace ptest;

namespace {

SessionOptions Options(bool soundWorks = true) {
    SessionOptions o;
    o.makeAudioOutput = [soundWorks] {
        return std::make_unique<SimulatedAudioOutput>(40 * kUnitsPerMillisecond, !soundWorks);
    };
    return o;
}

// Waits for an event of `type`; other events on the way are skipped.
bool WaitEvent(MediaSession& s, MediaEventType type, MediaEvent* got = nullptr, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MediaEvent e;
    while (std::chrono::steady_clock::now() < until) {
        if (!s.Events()->GetFor(&e, std::chrono::milliseconds(50))) continue;
        if (e.type == type) {
            if (got) *got = e;
            return true;
        }
    }
    return false;
}

struct Rig {
    std::unique_ptr<MediaSession> session;
    std::vector<std::unique_ptr<CodeRecorder>> recorders; // one per video branch

    // Opens `path` with a branch per video stream, from the last stream
    // down, and the sound when asked; waits until ready.
    ::testing::AssertionResult Open(const std::string& path, bool sound,
                                    SessionOptions options = Options()) {
        session = std::make_unique<MediaSession>(std::move(options));
        const PlayerResult r = session->OpenSource(path);
        if (r < 0) return ::testing::AssertionFailure() << "OpenSource " << r;
        const MediaSource& src = *session->Source();
        SessionTopology topology;
        for (int n = src.StreamCount() - 1; n >= 0; --n) {
            if (src.Stream(n).kind == StreamKind::Video) {
                recorders.push_back(std::make_unique<CodeRecorder>());
                topology.video.push_back({n, recorders.back().get()});
            } else if (src.Stream(n).kind == StreamKind::Audio && sound) {
                topology.audioStream = n;
            }
        }
        session->SetTopology(topology);
        MediaEvent e;
        if (!WaitEvent(*session, MediaEventType::TopologySet, &e))
            return ::testing::AssertionFailure() << "no TopologySet";
        if (e.status < 0) return ::testing::AssertionFailure() << "TopologySet " << e.status;
        if (!WaitEvent(*session, MediaEventType::TopologyStatus, &e) ||
            e.topologyStatus != kTopologyStatusReady)
            return ::testing::AssertionFailure() << "not ready";
        return ::testing::AssertionSuccess();
    }
    CodeRecorder& rec(size_t i = 0) { return *recorders[i]; }
    ~Rig() {
        if (session) {
            EXPECT_TRUE(session->Close(kCloseWaitMs));
        }
    }
};

// Scrubs to `t` and waits for the one frame it shows.
::testing::AssertionResult ScrubShows(Rig& rig, MediaTime t, int expected) {
    const size_t before = rig.rec().Count();
    rig.session->Scrub(t);
    if (!rig.rec().WaitCount(before + 1))
        return ::testing::AssertionFailure() << "nothing shown for " << expected;
    SleepMs(80); // anything further would show by now
    const std::vector<int> codes = rig.rec().Codes();
    if (codes.size() != before + 1)
        return ::testing::AssertionFailure()
               << codes.size() - before << " frames shown for a scrub to " << expected;
    if (codes.back() != expected)
        return ::testing::AssertionFailure() << "showed " << codes.back() << ", want " << expected;
    return ::testing::AssertionSuccess();
}

// Frames shown from index `from` on are consecutive numbers.
::testing::AssertionResult Consecutive(const std::vector<int>& codes, size_t from) {
    for (size_t i = from + 1; i < codes.size(); ++i)
        if (codes[i] != codes[i - 1] + 1) {
            auto failure = ::testing::AssertionFailure();
            failure << "frame " << codes[i] << " follows " << codes[i - 1] << " in";
            for (size_t k = from; k < codes.size(); ++k)
                failure << " " << codes[k];
            return failure;
        }
    return ::testing::AssertionSuccess();
}

// After a pause at t: the pause shows the frame of t, and the frames shown
// from index `from` on were consecutive. (The pause shows the frame of t once
// more when it had been passed already: frames show up to 3/4 frame early.)
::testing::AssertionResult PlayedThenPaused(CodeRecorder& rec, MediaTime t, size_t from) {
    if (!rec.WaitFor(
            [&](const std::vector<int>& c) { return !c.empty() && c.back() == FrameAt(t); }))
        return ::testing::AssertionFailure()
               << "the pause shows " << rec.Last() << ", want " << FrameAt(t);
    std::vector<int> codes = rec.Codes();
    if (codes.size() >= from + 2 && codes.back() == codes[codes.size() - 2] - 1) codes.pop_back();
    return Consecutive(codes, from);
}

} // namespace

TEST(MediaSession, OpensAndNumbersTheStreams) {
    const Sample& front = GetSample(Kind::Front);
    MediaSession s(Options());
    ASSERT_EQ(s.OpenSource(front.path), kResultOk);
    const MediaSource& src = *s.Source();
    ASSERT_EQ(src.StreamCount(), 2);
    EXPECT_EQ(src.Stream(0).kind, StreamKind::Audio);
    EXPECT_EQ(src.Stream(0).sampleRate, 48000);
    EXPECT_EQ(src.Stream(1).kind, StreamKind::Video);
    EXPECT_EQ(src.Stream(1).width, 320);
    EXPECT_EQ(src.Stream(1).framePeriod, kFrame);
    EXPECT_NEAR(static_cast<double>(src.Duration()), static_cast<double>(front.frames * kFrame),
                static_cast<double>(kFrame));
    EXPECT_TRUE(s.Close(kCloseWaitMs));

    const Sample& combined = GetSample(Kind::Combined);
    MediaSession c(Options());
    ASSERT_EQ(c.OpenSource(combined.path), kResultOk);
    ASSERT_EQ(c.Source()->StreamCount(), 3);
    EXPECT_EQ(c.Source()->Stream(0).kind, StreamKind::Audio);
    EXPECT_EQ(c.Source()->Stream(1).width, 256); // rear
    EXPECT_EQ(c.Source()->Stream(2).width, 320); // front
    // The session refuses a second file and a topology with a wrong stream.
    EXPECT_EQ(c.OpenSource(front.path), kResultInvalidRequest);
    SessionTopology wrong;
    wrong.video.push_back({0, nullptr}); // the sound is no video stream
    c.SetTopology(wrong);
    MediaEvent e;
    ASSERT_TRUE(WaitEvent(c, MediaEventType::TopologySet, &e));
    EXPECT_LT(e.status, 0);
    EXPECT_TRUE(c.Close(kCloseWaitMs));

    // The frame timing of a file as a media detector gives it.
    float ms = 0;
    ASSERT_EQ(ProbeFrameDuration(front.path, &ms), kResultOk);
    EXPECT_NEAR(ms, 34.364, 0.001);
    ASSERT_EQ(ProbeFrameDuration(GetSample(Kind::SilentCombined).path, &ms), kResultOk);
    EXPECT_NEAR(ms, 34.364, 0.001);

    ktest::TempDir dir;
    EXPECT_LT(ProbeFrameDuration(dir / "missing.MP4", &ms), 0);
    MediaSession bad(Options());
    EXPECT_LT(bad.OpenSource(dir.Write("junk.MP4", std::string(4096, 'x'))), 0);
    MediaSession missing(Options());
    EXPECT_LT(missing.OpenSource(dir / "missing.MP4"), 0);
    EXPECT_EQ(missing.SetTopology({}), kResultInvalidRequest);
}

// A FIFO (or any other non-regular file) under a movie's name is refused at
// once; the media library never opens it, so nothing waits for a writer.
TEST(MediaSession, NonRegularFilesAreRefusedWithoutWaiting) {
    char dir[] = "/tmp/kinetta-player-fifo.XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    const std::string fifo = std::string(dir) + "/movie.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    PlayerResult result = kResultOk;
    std::thread opener([&] {
        std::unique_ptr<MediaSource> source;
        result = MediaSource::Open(fifo, nullptr, &source);
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool byItself = done;
    while (!done) { // release an open that waits for a writer, so that the test ends
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    opener.join();
    EXPECT_TRUE(byItself);
    EXPECT_LT(result, 0);
    MediaSession s(Options());
    EXPECT_LT(s.OpenSource(dir), 0); // a folder
    ::unlink(fifo.c_str());
    ::rmdir(dir);
}

// A descriptor the caller already holds is what the library reads, whatever
// the path names meanwhile; it stays open for the caller.
TEST(MediaSession, AHeldDescriptorIsReadAndKeptByItsHolder) {
    ktest::TempDir dir;
    const std::string movie = dir / "movie.MP4";
    std::filesystem::copy_file(GetSample(Kind::Front).path, movie);
    const int held = platform::OpenRegularForReading(movie);
    ASSERT_GE(held, 0);
    // The name now stands for a file the library cannot read.
    ASSERT_EQ(::rename(dir.Write("junk.MP4", std::string(4096, 'x')).c_str(), movie.c_str()), 0);
    std::unique_ptr<MediaSource> source;
    EXPECT_LT(MediaSource::Open(movie, nullptr, &source), 0);
    ASSERT_EQ(MediaSource::Open(movie, nullptr, &source, held), kResultOk);
    EXPECT_GT(source->StreamCount(), 0);
    EXPECT_NE(::fcntl(held, F_GETFD), -1); // still the holder's
    ::close(held);
}

TEST(MediaSession, ScrubShowsTheFrameExactlyOnce) {
    const Sample& sample = GetSample(Kind::Front);
    Rig rig;
    ASSERT_TRUE(rig.Open(sample.path, true));
    // Forwards and backwards, across key frames (every 15th), at the start
    // of a frame and inside it, the first and the last frame.
    const int last = sample.frames - 1;
    for (int n : {20, 0, 1, 14, 15, 16, 44, 45, 100, 29, last, 3}) {
        EXPECT_TRUE(ScrubShows(rig, FrameTime(n), n));
        EXPECT_TRUE(ScrubShows(rig, FrameTime(n) + kFrame / 2, n));
        EXPECT_EQ(rig.session->Time(), FrameTime(n) + kFrame / 2);
    }
    // Past the end: the last frame. Before the start: the first.
    EXPECT_TRUE(ScrubShows(rig, FrameTime(sample.frames + 50), last));
    EXPECT_TRUE(ScrubShows(rig, -kFrame, 0));

    // Many scrubs in a row (a dragged slider): the last one wins and nothing
    // older shows after it.
    for (int n = 30; n < 130; n += 9)
        rig.session->Scrub(FrameTime(n));
    rig.session->Scrub(FrameTime(77));
    ASSERT_TRUE(
        rig.rec().WaitFor([](const std::vector<int>& c) { return !c.empty() && c.back() == 77; }));
    const size_t at = rig.rec().Count();
    SleepMs(150);
    EXPECT_EQ(rig.rec().Count(), at);
}

class PlayPause : public ::testing::TestWithParam<Kind> {};

TEST_P(PlayPause, PauseShowsTheFrameOfTheClockAndPlayResumesThere) {
    const Sample& sample = GetSample(GetParam());
    Rig rig;
    ASSERT_TRUE(rig.Open(sample.path, GetParam() != Kind::Silent));
    EXPECT_EQ(rig.session->HasSound(), GetParam() != Kind::Silent);
    rig.session->Start(1.0, false);
    ASSERT_TRUE(rig.rec().WaitCount(10));
    SleepMs(200);
    const MediaTime t = rig.session->Pause();
    EXPECT_FALSE(rig.session->ClockRunning());
    EXPECT_GT(t, FrameTime(9));
    ASSERT_TRUE(WaitEvent(*rig.session, MediaEventType::SessionPaused));
    // Playing showed every frame in order, from the first.
    EXPECT_TRUE(PlayedThenPaused(rig.rec(), t, 0));
    EXPECT_EQ(rig.rec().Codes().front(), 0);
    SleepMs(100);
    EXPECT_EQ(rig.rec().Last(), FrameAt(t));
    EXPECT_EQ(rig.session->Time(), t);

    // Play resumes from the held frame.
    const size_t resumeAt = rig.rec().Count() - 1;
    rig.session->Start(1.0, false);
    ASSERT_TRUE(rig.rec().WaitFor(
        [&](const std::vector<int>& c) { return !c.empty() && c.back() >= FrameAt(t) + 5; }));
    const MediaTime t2 = rig.session->Pause();
    EXPECT_TRUE(PlayedThenPaused(rig.rec(), t2, resumeAt));
}

INSTANTIATE_TEST_SUITE_P(Sound, PlayPause, ::testing::Values(Kind::Front, Kind::Silent),
                         [](const auto& info) {
                             return info.param == Kind::Front ? "WithSound" : "Silent";
                         });

TEST(MediaSession, FastRatesDecodeKeyFramesOnly) {
    const Sample& sample = GetSample(Kind::Front);
    for (double rate : {4.0, 2.0}) {
        Rig rig;
        ASSERT_TRUE(rig.Open(sample.path, true));
        rig.session->StartAt(FrameTime(1), rate, true);
        ASSERT_TRUE(rig.rec().WaitFor([](const std::vector<int>& c) {
            return !c.empty() && c.back() >= 90;
        })) << rate;
        const MediaTime t = rig.session->Pause();
        const std::vector<int> played = rig.rec().Codes();
        // After thinned play the pause scrubs to t: its one frame comes after
        // everything played so far (the thinned play may have shown that
        // frame already).
        const size_t playedCount = played.size();
        // The exact start frame and the few the decoder's threads held
        // already, then key frames only.
        EXPECT_EQ(played.front(), 1);
        size_t firstKey = 1;
        while (firstKey < played.size() && played[firstKey] % kGop != 0)
            ++firstKey;
        EXPECT_LE(firstKey, 6u);
        EXPECT_TRUE(Consecutive(std::vector<int>(played.begin(), played.begin() + firstKey), 0));
        for (size_t i = firstKey; i < played.size(); ++i)
            EXPECT_EQ(played[i] % kGop, 0) << "frame " << played[i] << " at x" << rate;
        const SessionStats stats = rig.session->Stats();
        ASSERT_EQ(stats.video.size(), 1u);
        EXPECT_GT(stats.video[0].decoder.thinned, 50u);
        const uint64_t others = stats.video[0].decoder.decoded - stats.video[0].decoder.keyDecoded;
        EXPECT_LE(others, 8u) << "frames decoded besides key frames";
        // The pause shows exactly the frame of the clock, key frame or not.
        ASSERT_TRUE(rig.rec().WaitFor([&](const std::vector<int>& c) {
            return c.size() > playedCount && c.back() == FrameAt(t);
        })) << "paused at frame "
            << FrameAt(t) << ", showing " << rig.rec().Last();
        // Back to x1: every frame again.
        const size_t from = rig.rec().Count() - 1;
        rig.session->Start(1.0, false);
        ASSERT_TRUE(rig.rec().WaitFor(
            [&](const std::vector<int>& c) { return !c.empty() && c.back() >= FrameAt(t) + 4; }));
        EXPECT_TRUE(Consecutive(rig.rec().Codes(), from));
    }
}

TEST(MediaSession, SlowRatesShowEveryFrameAtTheirPace) {
    const Sample& sample = GetSample(Kind::Front);
    for (double rate : {0.5, 0.25}) {
        Rig rig;
        ASSERT_TRUE(rig.Open(sample.path, true));
        rig.session->StartAt(FrameTime(10), rate, false);
        ASSERT_TRUE(rig.rec().WaitCount(2));
        const MediaTime media0 = rig.session->Time();
        const MediaTime wall0 = MonotonicNow();
        ASSERT_TRUE(rig.rec().WaitFor(
            [](const std::vector<int>& c) { return !c.empty() && c.back() >= 16; }));
        const double ratio = static_cast<double>(rig.session->Time() - media0) /
                             static_cast<double>(MonotonicNow() - wall0);
        EXPECT_NEAR(ratio, rate, rate * 0.2) << "the clock runs at x" << rate;
        const MediaTime t = rig.session->Pause();
        EXPECT_EQ(rig.rec().Codes().front(), 10);
        EXPECT_TRUE(PlayedThenPaused(rig.rec(), t, 0));
    }
}

TEST(MediaSession, EndOfPresentationFollowsTheLastFrame) {
    const Sample& sample = GetSample(Kind::Short);
    Rig rig;
    ASSERT_TRUE(rig.Open(sample.path, true));
    const int last = sample.frames - 1;
    rig.session->StartAt(FrameTime(last - 8), 1.0, false);
    ASSERT_TRUE(WaitEvent(*rig.session, MediaEventType::EndOfPresentation));
    EXPECT_EQ(rig.rec().Last(), last);
    // The clock stands after the end of the last frame.
    EXPECT_GE(rig.session->Time(), FrameTime(last + 1));
    EXPECT_FALSE(rig.session->ClockRunning());
    // Playing at the end ends again.
    rig.session->Start(1.0, false);
    ASSERT_TRUE(WaitEvent(*rig.session, MediaEventType::EndOfPresentation));
    // From the start, at x4: the end comes as well.
    rig.session->StartAt(0, 4.0, true);
    ASSERT_TRUE(WaitEvent(*rig.session, MediaEventType::EndOfPresentation));
}

TEST(MediaSession, SoundThatCannotBePlayedFailsTheTopologyOnly) {
    // A sound track no decoder knows: the topology with sound fails, the one
    // without plays.
    const Sample& broken = GetSample(Kind::BrokenSound);
    MediaSession s(Options());
    ASSERT_EQ(s.OpenSource(broken.path), kResultOk);
    ASSERT_EQ(s.Source()->StreamCount(), 2);
    EXPECT_FALSE(s.Source()->Stream(0).decodable);
    CodeRecorder rec;
    SessionTopology withSound;
    withSound.video.push_back({1, &rec});
    withSound.audioStream = 0;
    s.SetTopology(withSound);
    MediaEvent e;
    ASSERT_TRUE(WaitEvent(s, MediaEventType::TopologySet, &e));
    EXPECT_LT(e.status, 0);
    EXPECT_FALSE(s.Resolved());
    withSound.audioStream = -1;
    ASSERT_EQ(s.SetTopology(withSound), kResultOk);
    ASSERT_TRUE(WaitEvent(s, MediaEventType::TopologySet, &e));
    EXPECT_EQ(e.status, kResultOk);
    ASSERT_TRUE(WaitEvent(s, MediaEventType::TopologyStatus, &e));
    s.StartAt(0, 1.0, false);
    ASSERT_TRUE(rec.WaitFor([](const std::vector<int>& c) { return !c.empty() && c.back() >= 5; }));
    EXPECT_TRUE(s.Close(kCloseWaitMs));

    // No audio device: the same.
    Rig rig;
    EXPECT_FALSE(rig.Open(GetSample(Kind::Front).path, true, Options(false)));
}

TEST(MediaSession, CombinedFileFeedsBothCameras) {
    const Sample& sample = GetSample(Kind::Combined);
    Rig rig;
    ASSERT_TRUE(rig.Open(sample.path, true));
    ASSERT_EQ(rig.recorders.size(), 2u);
    rig.session->Scrub(FrameTime(20));
    ASSERT_TRUE(rig.rec(0).WaitCount(1));
    ASSERT_TRUE(rig.rec(1).WaitCount(1));
    EXPECT_EQ(rig.rec(0).Last(), 20);
    EXPECT_EQ(rig.rec(1).Last(), 20);
    EXPECT_EQ(rig.rec(0).Size(), std::make_pair(320, 180)); // branch 0: the front camera
    EXPECT_EQ(rig.rec(1).Size(), std::make_pair(256, 144)); // branch 1: the rear camera
    rig.session->Start(1.0, false);
    ASSERT_TRUE(
        rig.rec(1).WaitFor([](const std::vector<int>& c) { return !c.empty() && c.back() >= 35; }));
    const MediaTime t = rig.session->Pause();
    for (size_t i = 0; i < 2; ++i)
        ASSERT_TRUE(rig.rec(i).WaitFor([&](const std::vector<int>& c) {
            return !c.empty() && c.back() == FrameAt(t);
        })) << "branch "
            << i;
}

TEST(MediaSession, TwoSessionsPlayAtOnce) {
    Rig a, b;
    ASSERT_TRUE(a.Open(GetSample(Kind::Front).path, true));
    ASSERT_TRUE(b.Open(GetSample(Kind::Combined).path, true));
    a.session->Start(1.0, false);
    b.session->Start(1.0, false);
    ASSERT_TRUE(a.rec().WaitCount(15));
    ASSERT_TRUE(b.rec(1).WaitCount(15));
    const MediaTime ta = a.session->Pause();
    const MediaTime tb = b.session->Pause();
    ASSERT_TRUE(a.rec().WaitFor(
        [&](const std::vector<int>& c) { return !c.empty() && c.back() == FrameAt(ta); }));
    ASSERT_TRUE(b.rec(0).WaitFor(
        [&](const std::vector<int>& c) { return !c.empty() && c.back() == FrameAt(tb); }));
}

TEST(MediaSession, ClosesAtAnyMomentAndQuickly) {
    const Sample& sample = GetSample(Kind::Front);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        auto s = std::make_unique<MediaSession>(Options());
        ASSERT_EQ(s->OpenSource(sample.path), kResultOk);
        CodeRecorder rec;
        SessionTopology topology;
        topology.video.push_back({1, &rec});
        topology.audioStream = 0;
        const bool resolve = round % 5 != 4; // sometimes the topology is never set
        if (resolve) s->SetTopology(topology);
        switch (resolve ? round % 4 : 0) {
        case 0: // while the topology resolves
            break;
        case 1: // while playing
            WaitEvent(*s, MediaEventType::TopologyStatus);
            s->Start(1.0, false);
            SleepMs(static_cast<int>(random() % 60));
            break;
        case 2: // while scrubbing
            WaitEvent(*s, MediaEventType::TopologyStatus);
            for (int n = 0; n < 5; ++n)
                s->Scrub(FrameTime(static_cast<int>(random() % 150)));
            break;
        case 3: // fast, then paused
            WaitEvent(*s, MediaEventType::TopologyStatus);
            s->StartAt(FrameTime(40), 4.0, true);
            SleepMs(30);
            s->Pause();
            break;
        }
        const MediaTime began = MonotonicNow();
        EXPECT_TRUE(s->Close(kCloseWaitMs)) << "round " << round;
        EXPECT_LT(MonotonicNow() - began, kCloseWaitMs * kUnitsPerMillisecond);
        // Closed: the events end with SessionClosed, then nothing.
        EXPECT_TRUE(WaitEvent(*s, MediaEventType::SessionClosed, nullptr, 1000));
        const size_t shown = rec.Count();
        SleepMs(5);
        EXPECT_EQ(rec.Count(), shown);
    }
}

TEST(MediaSession, HardwareDecodingFallsBackToSoftware) {
    // Asked for VAAPI: where there is none the movie plays decoded in software.
    SessionOptions options = Options();
    options.hardwareDecode = true;
    Rig rig;
    ASSERT_TRUE(rig.Open(GetSample(Kind::Front).path, true, options));
    EXPECT_TRUE(ScrubShows(rig, FrameTime(31), 31));
    rig.session->Start(1.0, false);
    ASSERT_TRUE(
        rig.rec().WaitFor([](const std::vector<int>& c) { return !c.empty() && c.back() >= 36; }));
    const SessionStats stats = rig.session->Stats();
    ASSERT_EQ(stats.video.size(), 1u);
    if (!stats.video[0].decoder.hardware)
        std::printf("[          ] no VAAPI device here: decoded in software\n");
}
