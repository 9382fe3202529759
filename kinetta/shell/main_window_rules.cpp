#include "kinetta/shell/main_window_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kinetta {

namespace {
size_t Index(int command) {
    return static_cast<size_t>(command - kFirstToolbarCommand);
}
} // namespace

ToolbarFlags AvailableCommands() {
    // Playback, browse, the camera switch, zoom, display models, mirror
    // images, the map window (its frame), the settings dialog, stills, the
    // CSV export and the file operations exist.
    ToolbarFlags f{};
    for (int c :
         {kCmdToStart, kCmdPrevious, kCmdPlayPause, kCmdSlow, kCmdFastForward, kCmdNext, kCmdBrowse,
          kCmdCameraSwitch, kCmdZoom, kCmdDisplayMode, kCmdFlip, kCmdMirror, kCmdMapDisplay,
          kCmdSettings, kCmdStill, kCmdCsv, kCmdSaveSplit, kCmdDelete, kCmdJoin})
        f[Index(c)] = true;
    return f;
}

bool CommandHasFlow(int command) {
    const int i = command - kFirstToolbarCommand;
    return i < 0 || i >= kToolbarCommandCount || AvailableCommands()[static_cast<size_t>(i)];
}

ToolbarState ComputeToolbar(const ToolbarInput& in) {
    ToolbarState s;
    if (in.busy) {
        s.captionButtons = false;
        s.recordingList = false;
        return s; // every button disabled
    }
    auto set = [&](int command, bool on) { s.enabled[Index(command)] = on; };
    const bool haveSelection = in.selected >= 0 && in.selected < in.rowCount;
    set(kCmdBrowse, true);
    set(kCmdSettings, true);
    set(kCmdDelete, haveSelection || in.rowCount > 0);
    set(kCmdCsv, in.rowCount > 0);
    if (haveSelection) {
        set(kCmdPrevious, in.selected > 0 || in.loaded);
        set(kCmdNext, in.selected + 1 < in.rowCount || in.hasNextFolder);
    }
    if (in.loaded) {
        set(kCmdToStart, true);
        set(kCmdPlayPause, true);
        set(kCmdSlow, in.speedStep >= -1 || !in.engineReady);
        set(kCmdFastForward, in.engineReady && FastForwardEnabled(in.mode, in.speedStep));
        set(kCmdCameraSwitch, in.mode != OperatingMode::Full && in.otherCameraOpen);
        for (int c : {kCmdStill, kCmdJoin, kCmdSaveSplit, kCmdZoom, kCmdDisplayMode, kCmdFlip,
                      kCmdMirror, kCmdMapDisplay})
            set(c, true);
    } else if (!in.engineReady) {
        set(kCmdSlow, false);
    }
    if (in.controlsDisabled) s.enabled.fill(false);
    for (size_t i = 0; i < s.enabled.size(); ++i)
        s.enabled[i] = s.enabled[i] && in.available[i];
    return s;
}

NextChoice ChooseNext(int selected, int rowCount, bool hasNextFolder) {
    if (selected < 0 || selected >= rowCount) return {};
    if (selected + 1 < rowCount) return {NextMove::SelectRow, selected + 1};
    if (hasNextFolder) return {NextMove::IntoNextFolder, selected};
    return {NextMove::FinishAtLastRow, selected};
}

int ChoosePrevious(int selected, int rowCount) {
    if (selected <= 0 || selected >= rowCount) return -1;
    return selected - 1;
}

int ExpectedReadyCount(bool pair, bool frontOpened, bool rearOpened) {
    return pair && frontOpened && rearOpened ? 2 : 1;
}

bool EndCompletes(OperatingMode mode, bool twoMovies, int endedCount, int camera,
                  double frontLengthMs, double rearLengthMs) {
    if (endedCount <= 0) return false;
    if (!twoMovies || mode != OperatingMode::Full) return true;
    if (frontLengthMs - rearLengthMs > 2000.0) return camera == 0;
    return endedCount >= 2;
}

int ChooseStartSpeed(int defaultStep, int currentStep, int rememberedStep) {
    if (defaultStep == rememberedStep) return currentStep;
    if (currentStep == rememberedStep) return defaultStep;
    return currentStep >= defaultStep ? currentStep : defaultStep;
}

int EndedShorterCamera(long long frontFrames, long long rearFrames, int tolerance,
                       long long position) {
    if (frontFrames <= 0 || rearFrames <= 0) return -1;
    if (std::llabs(frontFrames - rearFrames) <= tolerance) return -1;
    const int camera = frontFrames < rearFrames ? 0 : 1;
    const long long shorter = std::min(frontFrames, rearFrames);
    return position > shorter + tolerance ? camera : -1;
}

int FadeInLevel(int level, int volume) {
    return std::min(level + kFadeInStep, volume);
}

std::string PositionText(long long position, long long length, double frameMs) {
    auto seconds = [&](long long frames) {
        if (frames <= 0 || frameMs <= 0) return 0LL;
        return static_cast<long long>(static_cast<double>(frames) * frameMs / 1000.0);
    };
    const long long p = seconds(std::clamp(position, 0LL, std::max(0LL, length)));
    const long long l = seconds(length);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld / %02lld:%02lld", p / 60, p % 60, l / 60, l % 60);
    return buf;
}

} // namespace kinetta
