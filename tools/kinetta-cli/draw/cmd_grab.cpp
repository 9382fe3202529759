// kinetta-cli grab: the still the viewer saves of one frame. The file is
// opened in the movie player (CPlayer) with an off-screen movie area, the
// player scrubs to the frame, and once its presenter holds that frame the
// still is written exactly as the viewer writes it: what the area shows,
// through the display model, at the area's size, as JPEG.

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kinetta/catalogue/recording_names.h"
#include "playcore/models/sphere_model.h"
#include "playcore/player/player.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/draw/draw_support.h"
#include "util/json_text.h"
#include "util/text.h"

namespace kcli {

namespace {

using namespace playcore;
using Clock = std::chrono::steady_clock;

// How long the player may take to become ready, as the viewer's open
// time-out, and then to present the frame asked for.
constexpr auto kOpenTimeout = std::chrono::seconds(30);
constexpr auto kPresentTimeout = std::chrono::seconds(30);

// Keeps the player's milestones (posted from its event thread).
class Milestones : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t, intptr_t) override {
        std::lock_guard lock(mutex_);
        if (message == UM_MOVIE_READY) ready_ = true;
        changed_.notify_all();
        return true;
    }
    bool WaitReady(Clock::duration timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return ready_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false; // guarded by mutex_
};

// What the player reports of its first video stream: packets and frames the
// decoder refused, and holds decided at the stream's end.
struct BranchReport {
    uint64_t failed = 0;
    uint64_t endHolds = 0;
};

BranchReport ReportOf(const CPlayer& player) {
    const SessionStats stats = player.Stats();
    if (stats.video.empty()) return {};
    return {stats.video[0].decoder.failed, stats.video[0].scheduler.endHolds};
}

int Usage() {
    std::fprintf(stderr, "usage: kinetta-cli grab --family tx40|tx50 FILE --frame N [--mode 1..5] "
                         "[--size WxH] --out OUT.jpg\n");
    return 2;
}

int Failed(const std::string& error) {
    ReportFailure("grab", error);
    std::printf("%s\n", kutil::JsonLine(kutil::Json{{"ok", false}, {"error", error}}).c_str());
    return 1;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int CmdGrab(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    std::string file, out;
    long long frame = -1, mode = 0;
    int width = 1280, height = 720;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--frame" && hasValue && ParseWhole(args[i + 1], 0, 1LL << 40, &frame)) {
            ++i;
        } else if (a == "--mode" && hasValue && ParseWhole(args[i + 1], 1, 5, &mode)) {
            ++i;
        } else if (a == "--size" && hasValue && ParseSize(args[i + 1], &width, &height)) {
            ++i;
        } else if (a == "--out" && hasValue) {
            out = args[++i];
        } else if (!a.empty() && a[0] != '-' && file.empty()) {
            file = a;
        } else {
            std::fprintf(stderr, "kinetta-cli grab: bad argument '%s'\n", a.c_str());
            return Usage();
        }
    }
    if (file.empty() || out.empty() || frame < 0) return Usage();
    const std::string ext = kutil::AsciiLower(out.substr(out.find_last_of('.') + 1));
    if (ext != "jpg" && ext != "jpeg") {
        std::fprintf(stderr, "kinetta-cli grab: --out must end in .jpg\n");
        return 2;
    }
    if (const std::string why = UnreadableReason(file); !why.empty()) return Failed(why);
    if (!HaveDisplay()) return Failed("no display for OpenGL (run it under xvfb-run)");

    const std::unique_ptr<QGuiApplication> app = MakeGuiApplication();
    OffscreenSurface surface;
    if (!surface.Create(QSize(width, height))) return Failed("no OpenGL 3.3 core context");

    // The engine's display-model blocks start as a new engine's do.
    CPlayer::ModelStates states;
    states.fill(CSphereModel::InitialState());
    Milestones milestones;
    int window = 0; // the movie window's identity as a message target
    PlayerOptions options;
    options.sink = &milestones;
    options.combinedFile = kinetta::IsCombinedName(BaseName(file), family);
    // A still needs no sound: the sound branch is left out, as on a machine
    // without a sound device.
    options.makeAudioOutput = [] { return std::unique_ptr<AudioOutput>(); };
    std::unique_ptr<CPlayer> player =
        CPlayer::Create(0, PlayerWindow{&surface, &window}, PlayerWindow{}, &states, options);

    const PlayerResult opened = player->OpenFile(file);
    if (opened < 0)
        return Failed(file + ": the movie player cannot open it (" + std::to_string(opened) + ")");
    if (!milestones.WaitReady(kOpenTimeout) || !player->IsReady())
        return Failed(file + ": the movie player did not become ready");
    Presenter* presenter = player->PresenterOf(0);
    if (!presenter) return Failed(file + ": no video stream");
    if (mode != 0) presenter->SetDisplayMode(static_cast<int>(mode));

    // Frame N shows from N periods to N + 1; the middle of that span is
    // clear of rounding at either end.
    const double period = player->GetFramePeriod(0) * double(kUnitsPerSecond); // 100-ns units
    if (!(period > 0)) return Failed(file + ": the video stream has no frame rate");
    const MediaTime duration = player->Duration();
    const MediaTime at = static_cast<MediaTime>((double(frame) + 0.5) * period);
    if (duration > 0 && at >= duration) {
        const long long frames = std::llround(double(duration) / period);
        return Failed(file + ": frame " + std::to_string(frame) + " is past the end (" +
                      std::to_string(frames) + " frames)");
    }
    // What the player reported of the stream before the scrub: a decode
    // failure or an end without a frame after it means the frame will never
    // come.
    const BranchReport before = ReportOf(*player);
    if (player->ScrubTo(at) < 0) return Failed(file + ": the player refused to scrub");

    // The presenter holds a frame once the scheduler handed it over; wait for
    // the one whose span holds `at`.
    const auto until = Clock::now() + kPresentTimeout;
    MediaTime shown = -1;
    for (;;) {
        // The report first: a hold at the stream's end is counted after its
        // frame was presented, so the picture read next is that hold's.
        const BranchReport now = ReportOf(*player);
        shown = presenter->PictureTime();
        if (shown >= 0 && shown <= at && double(at - shown) < period) break;
        if (now.failed > before.failed)
            return Failed(file + ": the video cannot be decoded (frame " + std::to_string(frame) +
                          ")");
        if (now.endHolds > before.endHolds)
            return Failed(file + ": the movie ended before frame " + std::to_string(frame) +
                          " could be shown");
        if (Clock::now() > until)
            return Failed(file + ": frame " + std::to_string(frame) + " was not presented");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const int shownMode = presenter->DisplayMode();
    const bool written = presenter->SaveStill(QString::fromStdString(out));
    player->Close();
    if (!written) return Failed(out + ": the still cannot be written");

    kutil::Json j;
    j["ok"] = true;
    j["file"] = file;
    j["frame"] = frame;
    j["pictureTime"] = shown;
    j["mode"] = shownMode;
    j["width"] = width;
    j["height"] = height;
    j["out"] = out;
    std::printf("%s\n", kutil::JsonLine(j).c_str());
    return 0;
}

} // namespace kcli
