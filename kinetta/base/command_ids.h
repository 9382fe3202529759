#pragma once
// The command ids of the main window: its toolbar, its caption buttons and
// the movie menu's own commands. Fixed numbers, like the private messages of
// message_ids.h; the window routes them to its own handlers, its playback
// control or the feature whose table row names them.

namespace kinetta {

// Toolbar commands 38000 .. 38018, in command order.
inline constexpr int kFirstToolbarCommand = 38000;
inline constexpr int kToolbarCommandCount = 19;
enum ToolbarCommand : int {
    kCmdToStart = 38000,
    kCmdPrevious = 38001,
    kCmdPlayPause = 38002,
    kCmdSlow = 38003,
    kCmdFastForward = 38004,
    kCmdNext = 38005,
    kCmdStill = 38006,
    kCmdJoin = 38007,
    kCmdSaveSplit = 38008,
    kCmdZoom = 38009,
    kCmdDisplayMode = 38010,
    kCmdFlip = 38011,
    kCmdMirror = 38012,
    kCmdMapDisplay = 38013,
    kCmdBrowse = 38014,
    kCmdDelete = 38015,
    kCmdSettings = 38016,
    kCmdCsv = 38017,
    kCmdCameraSwitch = 38018,
};
// Caption buttons.
enum CaptionCommand : int { kCmdClose = 19, kCmdMinimise = 20, kCmdMaximise = 21 };
// "GPXで保存" of the movie menu: the list's recordings as a GPX file.
inline constexpr int kCmdGpxExport = 38210;
// "イベントを切り出し" of the movie menu: a clip around the event nearest the
// playback position (within the clip's seconds), or around the position.
inline constexpr int kCmdClipEvent = 38211;

} // namespace kinetta
