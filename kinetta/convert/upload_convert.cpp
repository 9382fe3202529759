#include "kinetta/convert/upload_convert.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "kinetta/base/settings_store.h"

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
