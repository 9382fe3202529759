#pragma once
// The controller bar's five buttons (up, left, right, down around reset):
// their places, steps and enabling per display model.

#include <array>

#include "kinetta/shell/main_layout.h"
#include "kinetta/shell/movie_pointer.h"

namespace kinetta {

enum ControllerCommand : int {
    kControllerUp = 29,
    kControllerLeft = 30,
    kControllerRight = 31,
    kControllerDown = 32,
    kControllerReset = 33,
};

struct ControllerButtonInfo {
    int command;
    int picture; // skin picture: a 128 x 32 strip of four frames
    const char* tooltip;
    PixelDelta step; // per 30 ms while held (reset has none)
    bool inModel3, inModel4;
};

// In button order: up, left, right, down, reset.
const std::array<ControllerButtonInfo, 5>& ControllerButtons();

// The buttons' rectangles in a bar of W x H pixels at scale s, in button
// order; all empty when W is 0.
std::array<Rect, 5> ControllerButtonRects(int width, int height, double s);

// Whether button index (0..4) is enabled while the main movie area shows model.
bool ControllerButtonEnabled(int index, int model);

} // namespace kinetta
