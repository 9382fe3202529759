#include "kinetta/convert/upload_convert.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "playcore/convert/convert_rules.h"

namespace kinetta {

namespace {

// x264's presets, fastest first.
constexpr std::array<std::string_view, 10> kPresets = {
    "ultrafast", "superfast", "veryfast", "faster",   "fast",
    "medium",    "slow",      "slower",   "veryslow", "placebo"};

} // namespace

std::string ConvertPresetSetting() {
    const std::string value = ReadSetting("CONVERT", "PRESET");
    for (std::string_view p : kPresets)
        if (value == p) return value;
    return playcore::kDefaultConvertPreset;
}

playcore::ConvertEncoder ConvertEncoderSetting() {
    playcore::ConvertEncoder e = playcore::ConvertEncoder::Auto;
    playcore::ParseConvertEncoder(ReadSetting("CONVERT", "ENCODER"), &e);
    return e;
}

bool ConvertSphericalSetting() {
    return ReadSetting("CONVERT", "SPHERICAL") != "0";
}

std::string ConvertPaceText(int frames, int totalFrames, const playcore::ConvertPace& pace) {
    std::string text(UiString(kStrConvertPace));
    char rate[32], left[32];
    std::snprintf(rate, sizeof rate, "%.1f", pace.framesPerSecond);
    if (pace.secondsLeft >= 0) {
        const long s = std::lround(pace.secondsLeft);
        std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
    } else {
        std::snprintf(left, sizeof left, "%s",
                      std::string(UiString(kStrConvertTimeLeftUnknown)).c_str());
    }
    const std::string values[4] = {std::to_string(frames), std::to_string(totalFrames), rate, left};
    for (int k = 0; k < 4; ++k) {
        const std::string mark = "%" + std::to_string(k + 1);
        if (const size_t at = text.find(mark); at != std::string::npos)
            text.replace(at, mark.size(), values[k]);
    }
    return text;
}

int RunUploadConversion(JobControl& job, const std::string& source, const std::string& destination,
                        const playcore::ConvertSettings& settings, int totalFrames,
                        int progressStart) {
    playcore::ConvertRequest request;
    request.source = source;
    request.destination = destination;
    request.settings = settings;
    if (request.settings.preset.empty()) request.settings.preset = ConvertPresetSetting();
    if (request.settings.encoder == playcore::ConvertEncoder::Auto)
        request.settings.encoder = ConvertEncoderSetting();
    request.settings.spherical = request.settings.spherical && ConvertSphericalSetting();
    request.totalFrames = totalFrames;
    request.progressStart = progressStart;
    request.running = job.RunningFlag();
    const auto started = std::chrono::steady_clock::now();
    // The pace is set before the progress that the window shows with it.
    request.framesWritten = [&job, started, totalFrames](int frames) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        job.SetDetail(
            ConvertPaceText(frames, totalFrames, playcore::PaceOf(frames, totalFrames, elapsed)));
    };
    request.progress = [&job](int done, int total) { job.Progress(done, total); };
    playcore::ConvertReport report;
    const playcore::ConvertResult result = playcore::ConvertMovie(request, &report);
    // The reason is for the log; the flows show their own message for a
    // failed conversion, so the job's failure text is left to them.
    if (result == playcore::kConvertFailed && !report.why.empty())
        std::fprintf(stderr, "kinetta: upload conversion: %s\n", report.why.c_str());
    return result;
}

} // namespace kinetta
