// player-bench: how the movie player keeps up with 1080p recordings.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" player-bench [--seconds S]
//       [--movie-seconds S] [--x264-preset NAME] [--front FILE --rear FILE]
//
// Makes a front and a rear 1080p recording with mkcard (unless given), then
// for one player (front) and two players at once (front and rear, as the
// viewer plays a recording) at x1, x2 and x4 (thinned: key frames only), and
// x4 without thinning (every frame: what decoding alone can do), plays for S
// seconds of wall time into 1280x720 off-screen movie areas that repaint at
// most every 16 ms, and reports per player: the speed the clock ran at, the
// frames the scheduler handed over, drawn, decoded and thinned per second,
// the share presented late, and the process CPU time. Against it: the frames
// per second of `ffmpeg -v error -i FILE -f null -` on the same file, one
// process, and two processes at once for the two-stream case.

#include <QApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <chrono>
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
#include "tools/mkcard/recording.h"

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
                   const std::string& preset, int* frames) {
    mkcard::RecordingSpec recipe;
    recipe.content = content;
    recipe.durationSeconds = seconds;
    recipe.frontWidth = recipe.rearWidth = 1920;
    recipe.frontHeight = recipe.rearHeight = 1080;
    recipe.x264Preset = preset;
    recipe.crf = 23;
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
};

struct Run {
    std::string name;
    float rate;
    bool thin;
};

// Plays `files` with one player each for `seconds`; one result per player.
std::vector<Result> Play(const std::vector<std::string>& files, const Run& run, double seconds,
                         double* cpuShare) {
    NullSink sink;
    std::vector<std::unique_ptr<OffscreenSurface>> surfaces;
    std::vector<std::unique_ptr<CPlayer>> players;
    std::vector<CPlayer::ModelStates> states(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        auto surface = std::make_unique<OffscreenSurface>();
        if (!surface->Create(QSize(1280, 720))) {
            std::fprintf(stderr, "no GL 3.3 core context\n");
            std::exit(1);
        }
        for (auto& s : states[i]) {
            s = CSphereModel::InitialState();
            const int32_t mode = kModeRawPlain;
            std::memcpy(s.data(), &mode, sizeof mode);
        }
        PlayerOptions o;
        o.sink = &sink;
        auto player =
            CPlayer::Create(static_cast<int>(i), {surface.get(), surface.get()}, {}, &states[i], o);
        if (player->OpenFile(files[i]) < 0) {
            std::fprintf(stderr, "cannot open %s\n", files[i].c_str());
            std::exit(1);
        }
        surfaces.push_back(std::move(surface));
        players.push_back(std::move(player));
    }
    while (sink.ready < static_cast<int>(files.size()))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (auto& p : players) {
        p->SetRate(run.rate, run.thin);
        p->PlayFrom(0);
    }
    std::vector<uint64_t> draws(files.size(), 0);
    const double cpu0 = CpuSeconds();
    const double start = WallSeconds();
    while (WallSeconds() - start < seconds && sink.ended < static_cast<int>(files.size())) {
        for (size_t i = 0; i < surfaces.size(); ++i)
            if (surfaces[i]->UpdatePending()) {
                surfaces[i]->Render();
                ++draws[i];
            }
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    const double wall = WallSeconds() - start;
    *cpuShare = (CpuSeconds() - cpu0) / wall;
    std::vector<Result> results;
    for (size_t i = 0; i < players.size(); ++i) {
        const MediaTime t = players[i]->GetTime();
        const SessionStats s = players[i]->Stats();
        players[i]->Pause();
        Result r;
        r.speed = static_cast<double>(t) / kUnitsPerSecond / wall;
        if (!s.video.empty()) {
            const auto& v = s.video[0];
            r.handed = v.scheduler.presented / wall;
            r.decoded = v.decoder.decoded / wall;
            r.thinned = v.decoder.thinned / wall;
            r.late = v.scheduler.presented
                         ? 100.0 * v.scheduler.presentedLate / v.scheduler.presented
                         : 0;
        }
        r.drawn = draws[i] / wall;
        results.push_back(r);
    }
    players.clear();
    surfaces.clear();
    return results;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 6, movieSeconds = 12;
    std::string preset = "veryfast", front, rear;
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
        else {
            std::fprintf(stderr,
                         "usage: %s [--seconds S] [--movie-seconds S] [--x264-preset NAME] "
                         "[--front FILE --rear FILE]\n",
                         argv[0]);
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
        if (!MakeRecording(front, mkcard::FileContent::Front, movieSeconds, preset, &frames) ||
            !MakeRecording(rear, mkcard::FileContent::Rear, movieSeconds, preset, &rearFrames))
            return 1;
    } else {
        frames = rearFrames = static_cast<int>(movieSeconds * 1e6 / mkcard::kFrameUs29_1);
    }

    const double one = FfmpegSeconds({front});
    const double two = FfmpegSeconds({front, rear});
    std::printf("ffmpeg -f null, one file:       %7.1f frames/s (%.2f s for %d frames)\n",
                frames / one, one, frames);
    std::printf("ffmpeg -f null, two at once:    %7.1f frames/s per file\n",
                (frames + rearFrames) / two / 2);
    std::printf("\n%-9s %-7s %6s %8s %8s %8s %8s %6s %6s\n", "players", "rate", "speed", "handed/s",
                "drawn/s", "decod/s", "thinned", "late%", "cpu%");
    const Run runs[] = {
        {"x1", 1.0f, false}, {"x2", 2.0f, true}, {"x4", 4.0f, true}, {"x4 all", 4.0f, false}};
    for (int count : {1, 2}) {
        std::vector<std::string> files{front};
        if (count == 2) files.push_back(rear);
        for (const Run& run : runs) {
            double cpu = 0;
            const std::vector<Result> rs = Play(files, run, seconds, &cpu);
            for (size_t i = 0; i < rs.size(); ++i) {
                const Result& r = rs[i];
                std::printf("%-9s %-7s %6.2f %8.1f %8.1f %8.1f %8.1f %6.1f %6.0f\n",
                            i == 0 ? (count == 1 ? "one" : "two") : "", run.name.c_str(), r.speed,
                            r.handed, r.drawn, r.decoded, r.thinned, r.late,
                            i == 0 ? cpu * 100 : 0.0);
            }
        }
    }
    return 0;
}
