#pragma once
// Private window messages of the skinned controls, posted to the control's
// parent. Each is a WindowMessage (kinetta/shell/window_message.h) whose type is
// the fixed number below.

namespace kinetta {

// Slider: wParam = control id, lParam = the value under the pointer.
inline constexpr int UM_SLIDER_TRACK = 0x8065; // pointer moved while dragging
inline constexpr int UM_SLIDER_BEGIN = 0x8066; // press on the slider
inline constexpr int UM_SLIDER_END = 0x8067;   // release after a drag

// Picture button created to report hold and release: wParam = 0, lParam = control id.
inline constexpr int UM_BUTTON_HELD = 0x8579;     // left button down while not already down
inline constexpr int UM_BUTTON_RELEASED = 0x857A; // left button up

// Skinned list clicked: lParam = the clicked row, -1 for none.
inline constexpr int UM_SKINLIST_CLICK = 0x86A5;

// Control id of the close button in the title strip of a skinned dialog.
inline constexpr int kSkinCloseButtonId = 27;

} // namespace kinetta
