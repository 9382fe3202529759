// kinetta-cli convert: the upload conversion run once in the foreground, as
// the save flow runs it: the fisheye recording unwrapped into a 1920 x 960
// panorama, the masks pixelated, H.264 with the sound copied (or silenced),
// the moov box first. A combined recording converts its front camera.
// The H.264 encoder is --encoder's (default auto: a hardware encoder where
// FFmpeg opens one, else libx264); the file declares the picture as a
// 360-degree equirectangular panorama unless --no-spherical.
// Progress goes to stderr (on a terminal a bar with the frames written, frames
// per second and the time left); the result is one JSON line with the encoder,
// frames, seconds and frames per second.
// Ctrl-C cancels: result 2, nothing at the output.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "playcore/container/file_queries.h"
#include "playcore/convert/convert_job.h"
#include "playcore/convert/convert_rules.h"
#include "playcore/convert/movie_capture.h"
#include "tools/kinetta-cli/commands.h"
#include "tools/kinetta-cli/draw/draw_support.h"
#include "util/json_text.h"

namespace kcli {

namespace {

std::atomic<bool> g_running{true};

void OnInterrupt(int) {
    g_running.store(false);
}

int Usage() {
    std::fprintf(stderr, "usage: kinetta-cli convert --family tx40|tx50 IN --out OUT|--preview WxH "
                         "[--mask LEFT,TOP,RIGHT,BOTTOM]... [--mute] [--flip] [--preset NAME]\n"
                         "       [--encoder auto|x264|vaapi|nvenc] [--no-spherical]\n");
    return 2;
}

bool ParseMask(const std::string& text, playcore::MaskRect* r) {
    long long v[4] = {};
    size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t comma = text.find(',', start);
        if ((k < 3) != (comma != std::string::npos)) return false;
        const std::string part =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!ParseWhole(part, -100000, 100000, &v[k])) return false;
        start = comma + 1;
    }
    *r = playcore::MaskRect{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                            static_cast<int32_t>(v[2]), static_cast<int32_t>(v[3])};
    return true;
}

int Failed(const std::string& error, int result = 1) {
    ReportFailure("convert", error);
    std::printf(
        "%s\n",
        kutil::JsonLine(kutil::Json{{"ok", false}, {"result", result}, {"error", error}}).c_str());
    return 1;
}

// The conversion dialog's preview without a window: the pictures drawn at
// width x height with the masks, nothing written; prints how fast.
class PreviewCounter : public playcore::CaptureTarget {
public:
    PreviewCounter(int w, int h) : w_(w), h_(h) {}
    void TargetSize(int* w, int* h) override {
        *w = w_;
        *h = h_;
    }
    void Present(const uint8_t*, int, int, int) override { ++frames; }
    int frames = 0;

private:
    int w_, h_;
};

int Preview(const playcore::ConvertRequest& request, int width, int height) {
    PreviewCounter counter(width, height);
    playcore::MaskEditor masks;
    masks.SetMasks(request.settings.masks);
    playcore::CMovieCapture capture;
    playcore::CMovieCapture::Params p;
    p.source = request.source;
    p.settings = request.settings;
    p.totalFrames = request.totalFrames;
    p.masks = &masks;
    p.target = &counter;
    p.running = request.running;
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    const playcore::ConvertResult result = capture.Run(std::move(p), &why);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result == playcore::kConvertCancelled) return Failed("cancelled", 2);
    if (result != playcore::kConvertDone) return Failed(why);
    std::printf(
        "%s\n",
        kutil::JsonLine(
            kutil::Json{{"ok", true},
                        {"result", 0},
                        {"preview", std::to_string(width) + "x" + std::to_string(height)},
                        {"frames", counter.frames},
                        {"seconds", kutil::JsonNumber(seconds, 4)},
                        {"fps", kutil::JsonNumber(seconds > 0 ? counter.frames / seconds : 0, 4)}})
            .c_str());
    return 0;
}

} // namespace

int CmdConvert(Args args) {
    kinetta::RecorderFamily family;
    if (!TakeFamilyOption(args, &family)) return 2;
    std::string in, out;
    int previewWidth = 0, previewHeight = 0;
    playcore::ConvertSettings settings;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        playcore::MaskRect mask;
        if (a == "--out" && hasValue) {
            out = args[++i];
        } else if (a == "--mask" && hasValue && ParseMask(args[i + 1], &mask)) {
            settings.masks.push_back(mask);
            ++i;
        } else if (a == "--mute") {
            settings.silenceAudio = true;
        } else if (a == "--flip") {
            settings.flip = true;
        } else if (a == "--preview" && hasValue &&
                   ParseSize(args[i + 1], &previewWidth, &previewHeight)) {
            ++i;
        } else if (a == "--preset" && hasValue) {
            settings.preset = args[++i];
        } else if (a == "--encoder" && hasValue &&
                   playcore::ParseConvertEncoder(args[i + 1], &settings.encoder)) {
            ++i;
        } else if (a == "--no-spherical") {
            settings.spherical = false;
        } else if (!a.empty() && a[0] != '-' && in.empty()) {
            in = a;
        } else {
            std::fprintf(stderr, "kinetta-cli convert: bad argument '%s'\n", a.c_str());
            return Usage();
        }
    }
    if (in.empty() || out.empty() == (previewWidth == 0)) return Usage();
    if (const std::string why = UnreadableReason(in); !why.empty()) return Failed(why);

    // Two video tracks and the sound (three sample-size tables): combined.
    settings.combined = playcore::StszCount(in, family) >= 3;
    const long long frames = playcore::FirstSampleCount(in, family);

    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics are not for this output
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int lastPercent = -1;
    playcore::ConvertRequest request;
    request.source = in;
    request.destination = out;
    request.settings = settings;
    request.totalFrames = frames > 0 && frames < (1LL << 30) ? static_cast<int>(frames) : 0;
    request.running = &g_running;
    // Not a terminal: one "progress DONE TOTAL" line per percent.
    request.progress = [&](int done, int total) {
        const int percent = total > 0 ? std::min(100, std::max(0, done * 100 / total)) : 100;
        if (terminal || percent == lastPercent) return;
        lastPercent = percent;
        std::fprintf(stderr, "progress %d %d\n", done, total);
        std::fflush(stderr);
    };
    // A terminal: the bar, the frames written, frames per second and the
    // time left, redrawn a few times a second and at the last frame.
    const auto started = std::chrono::steady_clock::now();
    auto lastDrawn = started - std::chrono::seconds(1);
    bool lineOpen = false; // the bar's line awaits its end
    request.framesWritten = [&](int done) {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        const int total = request.totalFrames;
        if (now - lastDrawn < std::chrono::milliseconds(250) && done != total) return;
        lastDrawn = now;
        const playcore::ConvertPace pace =
            playcore::PaceOf(done, total, std::chrono::duration<double>(now - started).count());
        const int percent = total > 0 ? std::min(100, done * 100 / total) : 0;
        const int filled = percent / 5;
        char left[32] = "?";
        if (pace.secondsLeft >= 0) {
            const long s = std::lround(pace.secondsLeft);
            std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
        }
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %d/%d frames  %.1f frames/s  %s left   ", filled,
                     "####################", 20 - filled, "", percent, done, total,
                     pace.framesPerSecond, left);
        lineOpen = !(total > 0 && done >= total);
        if (!lineOpen) std::fputc('\n', stderr);
        std::fflush(stderr);
    };

    if (previewWidth > 0) return Preview(request, previewWidth, previewHeight);

    const auto start = std::chrono::steady_clock::now();
    playcore::ConvertReport report;
    const playcore::ConvertResult result = playcore::ConvertMovie(request, &report);
    if (lineOpen) std::fputc('\n', stderr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result == playcore::kConvertCancelled) return Failed("cancelled", 2);
    if (result != playcore::kConvertDone) return Failed(report.why);
    kutil::Json json{{"ok", true},
                     {"result", 0},
                     {"out", out},
                     {"encoder", report.encoder},
                     {"frames", report.frames},
                     {"complete", !report.stoppedEarly},
                     {"combined", settings.combined},
                     {"seconds", kutil::JsonNumber(seconds, 4)},
                     {"fps", kutil::JsonNumber(seconds > 0 ? report.frames / seconds : 0, 4)}};
    std::printf("%s\n", kutil::JsonLine(json).c_str());
    return 0;
}

} // namespace kcli
