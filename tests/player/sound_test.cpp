// The player's sound through Qt Multimedia on a real sound server: a private
// PulseAudio daemon with a null sink, started for this test binary, so that
// the QAudioSink path runs without sound hardware. Skipped where pulseaudio
// is not installed or no GL display is there.

#include "player_support.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>

#include "playcore/gl_support.h"
#include "playcore/player/player.h"
#include "playcore/player/qt_audio_output.h"
#include "playcore/present/offscreen_surface.h"

extern char** environ;

using namespace playcore;
using namespace ptest;

namespace {

// A PulseAudio daemon of our own with one null sink, reached through
// PULSE_SERVER. Set up before the application object, so that Qt's audio
// back end finds it when it first looks.
class PulseEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* candidates[] = {"/usr/bin/pulseaudio", "/bin/pulseaudio"};
        std::string exe;
        for (const char* c : candidates)
            if (std::filesystem::exists(c)) exe = c;
        if (exe.empty()) return;
        dir_ = std::make_unique<ktest::TempDir>();
        const std::string socket = *dir_ / "native";
        setenv("HOME", dir_->path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir_->path().c_str(), 1);
        const std::string nativeModule =
            "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
        std::vector<std::string> args{exe,
                                      "-n",
                                      "--daemonize=no",
                                      "--exit-idle-time=-1",
                                      "--use-pid-file=no",
                                      "--log-target=stderr",
                                      "--log-level=0",
                                      "-L",
                                      "module-null-sink sink_name=kinetta_null",
                                      "-L",
                                      nativeModule};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
            return;
        }
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            SleepMs(10);
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        dir_.reset();
    }

private:
    pid_t pid_ = 0;
    std::unique_ptr<ktest::TempDir> dir_;
};

// Registered first: it runs before the application object is made.
const auto* const kPulse = ::testing::AddGlobalTestEnvironment(new PulseEnvironment);
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new ktest::GuiEnvironment);

class Ready : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t, intptr_t) override {
        if (message == UM_MOVIE_READY) ready = true;
        return true;
    }
    std::atomic<bool> ready{false};
};

} // namespace

TEST(PlayerSound, PlaysThroughTheSoundServerAndTheClockFollowsIt) {
    KTEST_NEED_GL();
    if (QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "no sound server";
    OffscreenSurface surface;
    ASSERT_TRUE(surface.Create(QSize(320, 180)));
    Ready sink;
    int target = 0;
    PlayerOptions o;
    o.sink = &sink;
    auto player = CPlayer::Create(0, {&surface, &target}, {}, nullptr, o);
    ASSERT_EQ(player->OpenFile(GetSample(Kind::Front).path), kResultOk);
    for (int i = 0; i < 1000 && !sink.ready; ++i)
        SleepMs(10);
    ASSERT_TRUE(sink.ready);
    ASSERT_TRUE(player->Stats().sound) << "the sound branch did not open on the server";
    EXPECT_EQ(player->SetVolume(32768), kResultOk);

    ASSERT_EQ(player->Play(), kResultOk);
    SleepMs(800);
    ASSERT_EQ(player->Pause(), kResultOk);
    const MediaTime t = player->GetTime();
    EXPECT_GT(t, FrameTime(5));
    // The clock was started and steered by what the server played. (How
    // often depends on the server keeping time, which a loaded machine's
    // null sink does not always do.)
    const uint64_t reports = player->Stats().soundReports;
    EXPECT_GT(reports, 0u);

    // Faster: no sound, the clock runs alone; back at x1 the sound drives it again.
    player->SetRate(2.0f, true);
    ASSERT_EQ(player->Play(), kResultOk);
    SleepMs(300);
    ASSERT_EQ(player->Pause(), kResultOk);
    EXPECT_EQ(player->Stats().soundReports, reports);
    player->SetRate(1.0f, false);
    ASSERT_EQ(player->Play(), kResultOk);
    SleepMs(500);
    ASSERT_EQ(player->Pause(), kResultOk);
    EXPECT_GT(player->Stats().soundReports, reports);
    EXPECT_GT(player->GetTime(), t);
    player->Close();
}

TEST(PlayerSound, QtOutputRefusesANullDevice) {
    QtAudioOutput out{QAudioDevice()};
    EXPECT_FALSE(out.Open(48000, 1, std::make_shared<AudioRing>(48000, 1),
                          std::make_shared<PresentationClock>()));
    out.Close();
}
