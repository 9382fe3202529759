#include "kinetta/shell/playback_rules.h"

#include <algorithm>

#include "kinetta/catalogue/recording_names.h"

namespace kinetta {

namespace {
bool TimeLapseName(const std::string& name, RecorderFamily family) {
    int code = TriggerCode(name, TriggerPosition::TimeLapse, family);
    return code == 7 || code == 8;
}
} // namespace

int DefaultSpeedStep(const RecordingEntry& entry, RecorderFamily family) {
    if (!entry.frontPath.empty()) return TimeLapseName(entry.frontName, family) ? -2 : 1;
    if (!entry.rearPath.empty() && TimeLapseName(entry.rearName, family)) return -2;
    return 1;
}

int SeekMargin(int speedStep, double frameDurationMs) {
    double c = speedStep == 2 ? 40 : speedStep == 4 ? 80 : 20;
    double d = frameDurationMs > 0 ? frameDurationMs : kDefaultFrameDurationMs;
    return static_cast<int>(c * 1000.0 / 29.1 / d);
}

int SeekLimit(int requested, int sliderLast, int speedStep) {
    int back = speedStep == 2 ? 40 : speedStep == 4 ? 80 : 20;
    int frame = std::clamp(requested, 0, std::max(0, sliderLast));
    return std::max(0, std::min(frame, sliderLast - back));
}

std::string SpeedText(int speedStep) {
    switch (speedStep) {
    case 1:
        return "再生速度x1.0";
    case 2:
        return "再生速度x2.0";
    case 4:
        return "再生速度x4.0";
    case -2:
        return "再生速度x0.5";
    case -4:
        return "再生速度x0.25";
    default:
        return {};
    }
}

int PairEndTolerance(const RecordingEntry& entry) {
    if (!entry.parking) return 60;
    return entry.timeLapse ? 8 : 5;
}

int PictureQuality(int height) {
    return height == 720 ? 3 : height == 1080 ? 5 : 0;
}

} // namespace kinetta
