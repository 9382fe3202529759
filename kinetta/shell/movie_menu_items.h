#pragma once
// The items of a movie area's context menu: which commands it lists for the
// master engine's state and which of them apply to the clicked area.

#include <functional>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/base/ui_strings.h"

namespace kinetta {

// Main-window commands the menu sends.
enum MovieMenuCommand : int {
    kCmdStop = 38000,
    kCmdPlay = 38002, // play, or pause while playing
    kCmdSlow = 38003,
    kCmdFastForward = 38004,
    kCmdStill = 38006,
    kCmdZoom = 38009,
    kCmdDisplayMode = 38010,
    kCmdFlipFront = 38011,
    kCmdMirrorRear = 38012,
    kCmdMapDisplay = 38013,
    kCmdBrowse = 38014,
    kCmdSettings = 38016,
    kCmdCameraSwitch = 38018,
    kCmdAspect = 38200,
    kCmdResetView = 38201,
    kCmdMenuFlipFront = 38202,
    kCmdMenuMirrorRear = 38203,
    kCmdMenuGpxExport = 38210, // "GPXで保存" (the main window's kCmdGpxExport)
    kCmdMenuClipEvent = 38211, // "イベントを切り出し" (the main window's kCmdClipEvent)
};

// Engine states as the playback session reports them.
enum MenuEngineState : int {
    kStateClosed = 0,
    kStateStopped = 1,
    kStatePlaying = 2,
    kStatePaused = 3,
};

struct MovieMenuContext {
    int engineState = kStateClosed; // the master engine's state
    int area = 0;                   // 0 main movie area, 1 second movie area
    int camera = 0;                 // camera the clicked area shows: 0 front, 1 rear
    int displayModel = 4;           // the clicked area's display model
    OperatingMode mode = kBuildMode;
    bool areaHasMovie = true; // false while the area shows its no-data text
    // Whether the flow behind a main-window command exists in this build; a
    // command without one is listed disabled, as its toolbar button is. Empty:
    // every command has its flow.
    std::function<bool(int command)> hasFlow;
};

struct MovieMenuItem {
    int command;
    UiText text;
    bool enabled;
    friend bool operator==(const MovieMenuItem&, const MovieMenuItem&) = default;
};

// The menu for ctx, in display order. States outside 0..3 count as Closed.
std::vector<MovieMenuItem> MovieMenuItems(const MovieMenuContext& ctx);

} // namespace kinetta
