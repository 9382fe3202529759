// player-bench: how the movie player keeps up with 1080p recordings.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" player-bench [--seconds S]
//       [--movie-seconds S] [--x264-preset NAME] [--front FILE --rear FILE]
//       [--area WxH] [--widgets] [--gop N] [--players 1,2]
//       [--rates x1,x2,x4,x4all,x0.5,x0.25] [--no-ffmpeg] [--latency]
//   player-bench paint [PAINTS]          (see paint_bench.h)
//   player-bench decode FILE             (see decode_bench.h)
//
// Makes a front and a rear 1080p recording with mkcard (unless given; key
// frame every --gop frames, 30 by default), then for one player (front) and
// two players at once (front and rear, as the viewer plays a recording) at
// the listed rates (x2 and x4 thinned: key frames only; x4all every frame:
// what decoding alone can do) plays for S seconds of wall time into movie
// areas of WxH (1280x720 by default): off-screen surfaces that the loop
// repaints at most every 16 ms, or with --widgets real movie areas
// (movie-area widgets in shown windows, painted by Qt's event loop as the viewer
// does). Per player: the speed the clock ran at, the frames the scheduler
// handed over, paints, frames decoded and thinned per second, the frames due
// (whose time the clock passed; key frames only when thinned), the distinct
// pictures shown and the share of due frames never shown, the mean time of
// one paint, the share presented late, and the process CPU time. --latency
// adds the time from OpenFile to UM_MOVIE_READY and to the first painted
// frame, and the scrub latency to random frames (median, 95th percentile).
// Against it:
// the frames per second of `ffmpeg -v error -i FILE -f null -` on the same
// file, one process, and two processes at once for the two-stream case.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "playcore/player/player.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"
#include "playcore/present/video_widget.h"
#include "tools/mkcard/recording.h"
#include "tools/player-bench/decode_bench.h"
#include "tools/player-bench/paint_bench.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace playcore;

namespace {

class NullSink : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t, intptr_t) override {
        if (message == UM_MOVIE_READY) ++ready;
        if (message == UM_MOVIE_ENDED) ++ended;
        return true;
    }
    std::atomic<int> ready{0}, ended{0};
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool MakeRecording(const std::string& path, mkcard::FileContent content, double seconds,
                   const std::string& preset, int gop, int* frames) {
    mkcard::RecordingSpec recipe;
    recipe.content = content;
    recipe.durationSeconds = seconds;
    recipe.frontWidth = recipe.rearWidth = 1920;
    recipe.frontHeight = recipe.rearHeight = 1080;
    recipe.x264Preset = preset;
    recipe.crf = 23;
    recipe.gop = gop;
    mkcard::RecordingReport report;
    std::string error;
    std::fprintf(stderr, "making %s (%g s of 1080p, x264 %s)...\n", path.c_str(), seconds,
                 preset.c_str());
    if (!mkcard::WriteRecording(recipe, path, &report, &error)) {
        std::fprintf(stderr, "mkcard: %s\n", error.c_str());
        return false;
    }
    *frames = report.frames;
    return true;
}

// Wall seconds of `processes` ffmpeg decodes of `files` at once.
double FfmpegSeconds(const std::vector<std::string>& files) {
    const double start = WallSeconds();
    std::vector<std::thread> runs;
    for (const std::string& f : files)
        runs.emplace_back([f] {
            const std::string cmd =
                "ffmpeg -v error -nostdin -i '" + f + "' -f null - >/dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "ffmpeg failed on %s\n", f.c_str());
        });
    for (auto& t : runs)
        t.join();
    return WallSeconds() - start;
}

struct Result {
    double speed = 0, handed = 0, drawn = 0, decoded = 0, thinned = 0, late = 0;
    double due = 0;     // frames whose time the clock passed (key frames when thinned)
    double shown = 0;   // distinct pictures that a paint drew
    double paintMs = 0; // mean time of one paint of this area (upload and draw calls)
};

struct Run {
    std::string name;
    float rate;
    bool thin;
    bool draw = true; // off: the presenters consume the frames unseen (decoding alone)
};

struct Setup {
    QSize area{1280, 720};
    bool widgets = false; // movie-area widgets in shown windows; else off-screen
    int gop = 30;
    double frameSeconds = mkcard::kFrameUs29_1 / 1e6;
};

// A movie area: an off-screen surface that the loop repaints at most every
// 16 ms, or a real movie area (VideoWidget) in its own top-level window,
// painted by Qt when the presenter asks for it.
struct Area {
    std::unique_ptr<OffscreenSurface> offscreen;
    std::unique_ptr<VideoWidget> widget;
    VideoSurface* surface = nullptr;
};

Area MakeArea(const Setup& setup, int index) {
    Area a;
    if (setup.widgets) {
        a.widget = std::make_unique<VideoWidget>();
        a.widget->setWindowTitle(QString("movie area %1").arg(index));
        a.widget->resize(setup.area);
        a.widget->move(index * 40, index * 40);
        a.widget->show();
        a.surface = a.widget.get();
    } else {
        a.offscreen = std::make_unique<OffscreenSurface>();
        if (!a.offscreen->Create(setup.area)) {
            std::fprintf(stderr, "no GL 3.3 core context\n");
            std::exit(1);
        }
        a.surface = a.offscreen.get();
    }
    return a;
}

// Runs the event loop (widgets) or sleeps (off-screen) for `ms`.
void Wait(const Setup& setup, int ms) {
    if (setup.widgets) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// Plays `files` with one player each for `seconds`; one result per player.
std::vector<Result> Play(const std::vector<std::string>& files, const Run& run, double seconds,
                         const Setup& setup, double* cpuShare) {
    NullSink sink;
    std::vector<Area> areas;
    std::vector<std::unique_ptr<CPlayer>> players;
    std::vector<CPlayer::ModelStates> states(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        Area area = MakeArea(setup, static_cast<int>(i));
        for (auto& s : states[i]) {
            s = CSphereModel::InitialState();
            const int32_t mode = kModeRawPlain;
            std::memcpy(s.data(), &mode, sizeof mode);
        }
        PlayerOptions o;
        o.sink = &sink;
        auto player =
            CPlayer::Create(static_cast<int>(i), {area.surface, area.surface}, {}, &states[i], o);
        if (player->OpenFile(files[i]) < 0) {
            std::fprintf(stderr, "cannot open %s\n", files[i].c_str());
            std::exit(1);
        }
        areas.push_back(std::move(area));
        players.push_back(std::move(player));
    }
    while (sink.ready < static_cast<int>(files.size()))
        Wait(setup, 5);
    Wait(setup, 200); // the first picture and the windows settle
    std::vector<Presenter::Stats> before(files.size());
    for (size_t i = 0; i < players.size(); ++i)
        if (Presenter* p = players[i]->PresenterOf(0)) before[i] = p->GetStats();
    for (auto& p : players) {
        p->EnableStream(0, run.draw);
        p->SetRate(run.rate, run.thin);
        p->PlayFrom(0);
    }
    std::vector<uint64_t> draws(files.size(), 0);
    const double cpu0 = CpuSeconds();
    const double start = WallSeconds();
    while (WallSeconds() - start < seconds && sink.ended < static_cast<int>(files.size())) {
        for (size_t i = 0; i < areas.size(); ++i)
            if (areas[i].offscreen && areas[i].offscreen->UpdatePending()) {
                areas[i].offscreen->Render();
                ++draws[i];
            }
        Wait(setup, 16);
    }
    const double wall = WallSeconds() - start;
    *cpuShare = (CpuSeconds() - cpu0) / wall;
    std::vector<Result> results;
    for (size_t i = 0; i < players.size(); ++i) {
        const MediaTime t = players[i]->GetTime();
        const SessionStats s = players[i]->Stats();
        Presenter::Stats ps;
        if (Presenter* p = players[i]->PresenterOf(0)) ps = p->GetStats();
        players[i]->Pause();
        Result r;
        const double movieSeconds = static_cast<double>(t) / kUnitsPerSecond;
        r.speed = movieSeconds / wall;
        const double step = setup.frameSeconds * (run.thin ? setup.gop : 1);
        r.due = std::floor(movieSeconds / step + 1e-6) + 1; // frame 0 included
        r.shown = static_cast<double>(ps.shown - before[i].shown);
        const uint64_t paints = ps.paints - before[i].paints;
        r.paintMs = paints ? (ps.paintNs - before[i].paintNs) / 1e6 / paints : 0;
        if (!s.video.empty()) {
            const auto& v = s.video[0];
            r.handed = v.scheduler.presented / wall;
            r.decoded = v.decoder.decoded / wall;
            r.thinned = v.decoder.thinned / wall;
            r.late = v.scheduler.presented
                         ? 100.0 * v.scheduler.presentedLate / v.scheduler.presented
                         : 0;
        }
        r.drawn = (setup.widgets ? paints : draws[i]) / wall;
        results.push_back(r);
    }
    players.clear();
    areas.clear();
    return results;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

// Opens `file` `times` times into one movie area: milliseconds from OpenFile
// to UM_MOVIE_READY and to the first picture painted (the engine scrubs to
// the start when the movie is ready).
void OpenTimes(const std::string& file, const Setup& setup, int times) {
    std::vector<double> ready, shown;
    Area area = MakeArea(setup, 0);
    Wait(setup, 300);
    for (int n = 0; n < times; ++n) {
        NullSink sink;
        CPlayer::ModelStates states{CSphereModel::InitialState(), CSphereModel::InitialState()};
        PlayerOptions o;
        o.sink = &sink;
        auto player = CPlayer::Create(0, {area.surface, area.surface}, {}, &states, o);
        const double start = WallSeconds();
        if (player->OpenFile(file) < 0) {
            std::fprintf(stderr, "cannot open %s\n", file.c_str());
            std::exit(1);
        }
        double readyAt = 0;
        while (WallSeconds() - start < 10) {
            if (!readyAt && sink.ready > 0) {
                readyAt = WallSeconds();
                player->ScrubTo(0); // the engine shows the first frame once ready
            }
            if (area.offscreen && area.offscreen->UpdatePending()) area.offscreen->Render();
            Presenter* p = player->PresenterOf(0);
            if (readyAt && p && p->GetStats().shown > 0) break;
            Wait(setup, 1);
        }
        ready.push_back((readyAt - start) * 1e3);
        shown.push_back((WallSeconds() - start) * 1e3);
        player.reset();
    }
    std::printf("open -> UM_MOVIE_READY      median %7.1f ms  p95 %7.1f ms  (%d opens)\n",
                Percentile(ready, 0.5), Percentile(ready, 0.95), times);
    std::printf("open -> first frame painted median %7.1f ms  p95 %7.1f ms\n",
                Percentile(shown, 0.5), Percentile(shown, 0.95));
}

// Scrubs to `times` random frames of `file`: milliseconds from ScrubTo to the
// paint that shows the new picture.
void ScrubTimes(const std::string& file, const Setup& setup, int frames, int times) {
    NullSink sink;
    Area area = MakeArea(setup, 0);
    CPlayer::ModelStates states{CSphereModel::InitialState(), CSphereModel::InitialState()};
    PlayerOptions o;
    o.sink = &sink;
    auto player = CPlayer::Create(0, {area.surface, area.surface}, {}, &states, o);
    if (player->OpenFile(file) < 0) std::exit(1);
    while (sink.ready < 1)
        Wait(setup, 5);
    Wait(setup, 300);
    Presenter* presenter = player->PresenterOf(0);
    if (!presenter) std::exit(1);
    const double period = setup.frameSeconds;
    uint32_t seed = 2024;
    std::vector<double> latency;
    for (int n = 0; n < times; ++n) {
        seed = seed * 1103515245u + 12345u;
        const int frame = static_cast<int>((seed >> 8) % static_cast<uint32_t>(frames - 1));
        const uint64_t before = presenter->GetStats().shown;
        const double start = WallSeconds();
        player->ScrubTo(static_cast<MediaTime>((frame + 0.5) * period * kUnitsPerSecond));
        while (WallSeconds() - start < 10 && presenter->GetStats().shown == before) {
            if (area.offscreen && area.offscreen->UpdatePending()) area.offscreen->Render();
            Wait(setup, 1);
        }
        latency.push_back((WallSeconds() - start) * 1e3);
        Wait(setup, 50);
    }
    std::printf("scrub to a random frame      median %7.1f ms  p95 %7.1f ms  (%d scrubs, GOP %d)\n",
                Percentile(latency, 0.5), Percentile(latency, 0.95), times, setup.gop);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "paint") == 0) {
        QSurfaceFormat::setDefaultFormat(PresenterSurfaceFormat());
        QApplication app(argc, argv);
        return RunPaintBench(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 10);
    }
    if (argc == 3 && std::strcmp(argv[1], "decode") == 0) {
        av_log_set_level(AV_LOG_ERROR);
        return RunDecodeBench(argv[2]);
    }
    double seconds = 6, movieSeconds = 12;
    std::string preset = "veryfast", front, rear;
    Setup setup;
    std::string playerCounts = "1,2", rateNames = "x1,x2,x4,x4all";
    bool withFfmpeg = true, latency = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--seconds")
            seconds = std::atof(value().c_str());
        else if (a == "--movie-seconds")
            movieSeconds = std::atof(value().c_str());
        else if (a == "--x264-preset")
            preset = value();
        else if (a == "--front")
            front = value();
        else if (a == "--rear")
            rear = value();
        else if (a == "--area") {
            int w = 0, h = 0;
            if (std::sscanf(value().c_str(), "%dx%d", &w, &h) != 2 || w < 16 || h < 16) {
                std::fprintf(stderr, "--area WxH\n");
                return 2;
            }
            setup.area = QSize(w, h);
        } else if (a == "--widgets")
            setup.widgets = true;
        else if (a == "--gop")
            setup.gop = std::max(1, std::atoi(value().c_str()));
        else if (a == "--players")
            playerCounts = value();
        else if (a == "--rates")
            rateNames = value();
        else if (a == "--no-ffmpeg")
            withFfmpeg = false;
        else if (a == "--latency")
            latency = true;
        else {
            std::fprintf(
                stderr,
                "usage: %s [--seconds S] [--movie-seconds S] [--x264-preset NAME] "
                "[--front FILE --rear FILE] [--area WxH] [--widgets] [--gop N]\n"
                "       [--players 1,2] [--rates x1,x2,x4,x4all] [--no-ffmpeg] [--latency]\n"
                "       %s paint [PAINTS]\n",
                argv[0], argv[0]);
            return 2;
        }
    }
    QSurfaceFormat::setDefaultFormat(PresenterSurfaceFormat());
    QApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);

    std::string dir;
    int frames = 0, rearFrames = 0;
    if (front.empty() || rear.empty()) {
        dir = (std::filesystem::temp_directory_path() / "kinetta-player-bench").string();
        std::filesystem::create_directories(dir);
        front = dir + "/front-1080p.MP4";
        rear = dir + "/rear-1080p.MP4";
        if (!MakeRecording(front, mkcard::FileContent::Front, movieSeconds, preset, setup.gop,
                           &frames) ||
            !MakeRecording(rear, mkcard::FileContent::Rear, movieSeconds, preset, setup.gop,
                           &rearFrames))
            return 1;
    } else {
        frames = rearFrames = static_cast<int>(movieSeconds * 1e6 / mkcard::kFrameUs29_1);
    }

    if (withFfmpeg) {
        const double one = FfmpegSeconds({front});
        const double two = FfmpegSeconds({front, rear});
        std::printf("ffmpeg -f null, one file:       %7.1f frames/s (%.2f s for %d frames)\n",
                    frames / one, one, frames);
        std::printf("ffmpeg -f null, two at once:    %7.1f frames/s per file\n",
                    (frames + rearFrames) / two / 2);
    }
    if (latency) {
        std::printf("\nlatency, one %s movie area of %dx%d\n",
                    setup.widgets ? "VideoWidget" : "off-screen", setup.area.width(),
                    setup.area.height());
        OpenTimes(front, setup, 10);
        ScrubTimes(front, setup, frames, 40);
    }
    std::printf("\n%s movie areas of %dx%d, %g s per run\n",
                setup.widgets ? "VideoWidget" : "off-screen", setup.area.width(),
                setup.area.height(), seconds);
    std::printf("%-7s %-6s %5s %7s %7s %7s %7s %7s %5s %7s %7s %6s %5s\n", "players", "rate",
                "speed", "handed/s", "drawn/s", "decod/s", "thinned", "due", "shown", "dropped",
                "paintms", "late%", "cpu%");
    const Run all[] = {
        {"x1", 1.0f, false},           {"x2", 2.0f, true},    {"x4", 4.0f, true},
        {"x4all", 4.0f, false},        {"x0.5", 0.5f, false}, {"x0.25", 0.25f, false},
        {"decode", 4.0f, false, false}};
    auto listed = [](const std::string& list, const std::string& name) {
        return ("," + list + ",").find("," + name + ",") != std::string::npos;
    };
    for (int count : {1, 2}) {
        if (!listed(playerCounts, std::to_string(count))) continue;
        std::vector<std::string> files{front};
        if (count == 2) files.push_back(rear);
        for (const Run& run : all) {
            if (!listed(rateNames, run.name)) continue;
            double cpu = 0;
            const std::vector<Result> rs = Play(files, run, seconds, setup, &cpu);
            for (size_t i = 0; i < rs.size(); ++i) {
                const Result& r = rs[i];
                std::printf("%-7s %-6s %5.2f %8.1f %7.1f %7.1f %7.1f %7.0f %5.0f %6.1f%% %7.1f "
                            "%6.1f %5.0f\n",
                            i == 0 ? (count == 1 ? "one" : "two") : "", run.name.c_str(), r.speed,
                            r.handed, r.drawn, r.decoded, r.thinned, r.due, r.shown,
                            r.due > 0 ? 100.0 * std::max(0.0, r.due - r.shown) / r.due : 0.0,
                            r.paintMs, r.late, i == 0 ? cpu * 100 : 0.0);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
