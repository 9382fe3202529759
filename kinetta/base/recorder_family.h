#pragma once
// The recorder family of the run, the operating mode of the build and the
// start-up state that depends on them. Pure code: no Qt.

#include <functional>
#include <string>
#include <string_view>

#include "playcore/container/recorder_family.h"

namespace kinetta {

class SettingsStore;

using playcore::RecorderFamily;

// Process-wide family of the run. Written only on the UI thread, read by every
// thread without locking (a relaxed atomic underneath); the file-name grammar
// reads it on every classification.
RecorderFamily CurrentFamily();
void SetCurrentFamily(RecorderFamily family);
// 1 for the TX40 family, 0 for the TX50 family.
int FamilyFlag();

// How many cameras are played at once and which features exist. A constant
// of the build: this viewer is built as Single and captioned "VistrelS".
enum class OperatingMode { Full = 0, Single = 1, Light = 2 };
constexpr OperatingMode kBuildMode = OperatingMode::Single;

// Camera argument of every playback call.
enum CameraSelection : int { kCameraFront = 0, kCameraRear = 1, kCameraBoth = 2 };

// The mode-dependent initial state that ApplyModeLayout sets.
struct ModeLayout {
    int cameraSelection;     // CameraSelection
    int toolbarButtons;      // 18 in Full mode (no camera switch), 19 otherwise
    int initialDisplayModel; // display model of both movie areas, 1..5
};
ModeLayout ApplyModeLayout(OperatingMode mode);
// Camera selection after a recording is closed: kept in Full mode, front otherwise.
int CameraSelectionAfterClose(OperatingMode mode, int current);
// Whether the fast-forward button is enabled at the given engine speed step.
bool FastForwardEnabled(OperatingMode mode, int speedStep);

// Model markers: internet-shortcut files in a card's root naming the family.
inline constexpr std::string_view kMarkerTX40 = "TX40_40L_Viewer_download.url";
inline constexpr std::string_view kMarkerTX50 = "TX50_download.url";
inline constexpr std::string_view kModelKeyTX40 = "TX40_40L_Viewer_download";
inline constexpr std::string_view kModelKeyTX50 = "TX50_download";

// The model key of a card root: the marker's name without ".url", or empty
// when neither marker exists. Markers are found without regard to case.
std::string ModelKeyOfRoot(const std::string& rootPath);

// Whether the trace marker "pvtrace.txt" is in a card root (any case).
bool HasTraceMarker(const std::string& rootPath);

// The product-selection prompt: returns 1 for "TX40/40L", 2 for "TX50",
// or any other value when the prompt could not be shown.
using ProductPrompt = std::function<int()>;
// Reports that the prompt could not be shown (caption "Error Message").
using PromptFailureReport = std::function<void()>;

// Decides the recorder family from a card's model key and the stored choice.
// Holds the start-up state the decision reads: the current ModelSelection
// (1 or 2: TX40 family, 3: TX50 family), the family-decided flag (initially
// whether "Default_Folder.ini" existed at start) and the start-up-complete flag.
class FamilyDecider {
public:
    FamilyDecider(SettingsStore& settings, OperatingMode mode, bool familyDecided);

    // Runs the decision. False: refused, and nothing changed.
    bool Decide(std::string_view modelKey);

    void SetPrompt(ProductPrompt prompt, PromptFailureReport failure = {});
    void SetStartupComplete(bool complete) { startupComplete_ = complete; }
    bool StartupComplete() const { return startupComplete_; }
    bool FamilyDecided() const { return familyDecided_; }
    int ModelSelection() const { return selection_; }
    RecorderFamily Family() const { return family_; }

private:
    bool Accept(RecorderFamily family);

    SettingsStore& settings_;
    OperatingMode mode_;
    bool familyDecided_;
    bool startupComplete_ = false;
    int selection_ = 0;
    RecorderFamily family_ = RecorderFamily::TX40; // TX40 before any decision
    ProductPrompt prompt_;
    PromptFailureReport promptFailure_;
};

} // namespace kinetta
