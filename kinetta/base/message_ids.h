#pragma once
// Every private window message of the application: fixed numbers, posted
// (never sent) from any thread. Each is a WindowMessage
// (kinetta/base/window_message.h) whose type is the number below. The movie
// player's own messages (UM_MOVIE_PAUSED/ENDED/READY) are defined by the
// player and repeated here under the same numbers for the windows that handle
// them.

#include <cstdint>

namespace kinetta {

enum MessageId : uint32_t {
    UM_ENGINE_TICK = 0x8005,
    UM_ENGINE_TIMEOUT = 0x8006,
    UM_PROGRESS = 0x8008,
    UM_RELAYOUT = 0x8009,   // lay every window out again
    UM_MAP_STATUS = 0x812D, // map page: the page created its map
    UM_MAP_SEEK = 0x812E,   // map page: an event pin was clicked; lParam = its frame
    UM_GRAPH_PREV = 0x8191, // acceleration graph: left button released, seek to the previous event
    UM_GRAPH_NEXT = 0x8192, // right button released: the next event
    UM_SETTINGS_NOTIFY = 0x81F5,
    UM_ICON_FILTER = 0x82BD, // panel axis button: wParam axis 0..2, lParam its new state
    UM_MOVIE_PAUSED = 0x83E9,
    UM_MOVIE_ENDED = 0x83EA,
    UM_MOVIE_READY = 0x83EB,
    UM_SOURCE_LOST = 0x84B1,
    UM_TELEMETRY_PREFETCHED = 0x8515,
    UM_FILEOP_DONE = 0x8516,
    UM_FILEOP_RELOAD = 0x8517,
    UM_STARTUP_STAGE2 = 0x8518,
    UM_SHOW_MOVIE = 0x851C,     // show the main movie area again after a display-model switch
    UM_LOGO_REFRESH = 0x85DD,   // the logo panel applies its pending visibility
    UM_WINDOW_PAINTED = 0x876E, // a floating window was painted; lParam = the window
    UM_WINDOW_RESET = 0x876F,   // double-click on a floating window's title strip
    UM_WINDOW_SIZED = 0x8770,   // a floating window changed size; lParam = the window
    UM_UPDATE_FOUND = 0x87D1,   // the update check has a notice; the text is the check's Message()
    UM_MODELDLG_PLACE = 0x8835,
    UM_WEBVIEW_CREATED = 0x8899, // the map's browser control is ready
    UM_APPBAR_NOTIFY = 0x8903,
    // Event clips: the clip's menu is offered at the pointer for an event
    // (Ctrl + right click on a graph mark, right click on a map pin; wParam =
    // its kind 0..13, lParam = its frame) or for a row of the recording list
    // (right click; wParam = the row).
    UM_CLIP_AT_EVENT = 0x8A10,
    UM_CLIP_AT_ROW = 0x8A11,
};

// wParam of UM_APPBAR_NOTIFY: an application bar (a panel) moved or changed size.
inline constexpr int kAppBarPositionChanged = 1;

// Messages of the skinned controls, posted to the control's parent.
// Slider: wParam = control id, lParam = the value under the pointer.
inline constexpr int UM_SLIDER_TRACK = 0x8065; // pointer moved while dragging
inline constexpr int UM_SLIDER_BEGIN = 0x8066; // press on the slider
inline constexpr int UM_SLIDER_END = 0x8067;   // release after a drag

// Picture button created to report hold and release: wParam = 0, lParam = control id.
inline constexpr int UM_BUTTON_HELD = 0x8579;     // left button down while not already down
inline constexpr int UM_BUTTON_RELEASED = 0x857A; // left button up

// The conversion dialog's preview control, after every mouse release (the
// mask list may have changed).
inline constexpr int UM_CONVERT_MASK_RELEASED = 0x8641; // 34369

// Skinned list clicked: lParam = the clicked row, -1 for none.
inline constexpr int UM_SKINLIST_CLICK = 0x86A5;

// Control id of the close button in the title strip of a skinned dialog.
inline constexpr int kSkinCloseButtonId = 27;

} // namespace kinetta
