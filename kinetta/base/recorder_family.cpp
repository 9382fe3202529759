#include "kinetta/base/recorder_family.h"

#include <atomic>
#include <string>

#include "kinetta/base/settings_store.h"
#include "platform/files.h"
#include "util/text.h"

namespace kinetta {

namespace {
// Written on the UI thread only; workers read it without a lock.
std::atomic<RecorderFamily> g_family{RecorderFamily::TX40};
} // namespace

RecorderFamily CurrentFamily() {
    return g_family.load(std::memory_order_relaxed);
}
void SetCurrentFamily(RecorderFamily family) {
    g_family.store(family, std::memory_order_relaxed);
}
int FamilyFlag() {
    return CurrentFamily() == RecorderFamily::TX40 ? 1 : 0;
}

ModeLayout ApplyModeLayout(OperatingMode mode) {
    switch (mode) {
    case OperatingMode::Full:
        return {kCameraBoth, 18, 4};
    case OperatingMode::Single:
        return {kCameraFront, 19, 4};
    case OperatingMode::Light:
        return {kCameraFront, 19, 3};
    }
    return {kCameraFront, 19, 4};
}

int CameraSelectionAfterClose(OperatingMode mode, int current) {
    return mode == OperatingMode::Full ? current : kCameraFront;
}

bool FastForwardEnabled(OperatingMode mode, int speedStep) {
    return mode == OperatingMode::Light ? speedStep < 1 : speedStep < 4;
}

std::string ModelKeyOfRoot(const std::string& rootPath) {
    auto index = platform::FolderIndex::Read(rootPath);
    if (index.Find(kMarkerTX40)) return std::string(kModelKeyTX40);
    if (index.Find(kMarkerTX50)) return std::string(kModelKeyTX50);
    return {};
}

bool HasTraceMarker(const std::string& rootPath) {
    return !platform::FindInFolder(rootPath, "pvtrace.txt").empty();
}

FamilyDecider::FamilyDecider(SettingsStore& settings, OperatingMode mode, bool familyDecided)
    : settings_(settings), mode_(mode), familyDecided_(familyDecided) {}

void FamilyDecider::SetPrompt(ProductPrompt prompt, PromptFailureReport failure) {
    prompt_ = std::move(prompt);
    promptFailure_ = std::move(failure);
}

bool FamilyDecider::Decide(std::string_view modelKey) {
    if (modelKey == kModelKeyTX40) {
        if (startupComplete_ && selection_ == 3) return false;
        if (familyDecided_) {
            int stored = kutil::LeadingInt(settings_.Read("DISPLAY", "MODELSELECT"));
            if (stored == 1 || stored == 2)
                selection_ = stored;
            else if (stored == 3)
                selection_ = 2;
            // any other stored value leaves the selection as it was
        } else {
            selection_ = 2;
        }
        return Accept(RecorderFamily::TX40);
    }
    if (modelKey == kModelKeyTX50) {
        if (startupComplete_ && selection_ != 3) return false;
        selection_ = 3;
        return Accept(RecorderFamily::TX50);
    }
    // Without a marker the stored product decides; a settings file that holds
    // no product (written by hand, or with only other sections) asks as a
    // first run does instead of silently taking the TX40 family.
    const std::string stored = settings_.Read("DISPLAY", "MODELSELECT");
    if (familyDecided_ && !stored.empty()) {
        selection_ = kutil::LeadingInt(stored);
        return Accept(selection_ == 3 ? RecorderFamily::TX50 : RecorderFamily::TX40);
    }
    int answer = prompt_ ? prompt_() : 0;
    if (answer == 1) {
        selection_ = 2;
        return Accept(RecorderFamily::TX40);
    }
    if (answer == 2) {
        selection_ = 3;
        return Accept(RecorderFamily::TX50);
    }
    if (promptFailure_) promptFailure_();
    return false;
}

bool FamilyDecider::Accept(RecorderFamily family) {
    family_ = family;
    SetCurrentFamily(family);
    familyDecided_ = true;
    settings_.Write("DISPLAY", "LOWLOAD", std::to_string(static_cast<int>(mode_)));
    settings_.Write("DISPLAY", "MODELSELECT",
                    selection_ >= 0 && selection_ <= 3 ? std::to_string(selection_) : "");
    return true;
}

} // namespace kinetta
