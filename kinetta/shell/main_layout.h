#pragma once
// Rectangles of the main window's children, in pixels, from the window's size
// and the display scale S. Every design size k becomes t(k) = trunc(k x S);
// integer divisions truncate toward zero.

#include <vector>

#include "kinetta/base/recorder_family.h"

namespace kinetta {

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const Rect&) const = default;
};

struct ToolbarButton {
    int command; // 38000 + index
    Rect rect;
};

struct MainLayout {
    int innerWidth = 0, movieWidth = 0, innerHeight = 0, movieHeight = 0;
    Rect movie;          // main movie area R
    Rect positionSlider; // control 38100
    Rect infoPanel;
    Rect controller;
    Rect graph;
    Rect listColumn;
    Rect volumeSlider; // control 38101
    Rect progressBar;  // control 38102, shown only during a file operation
    Rect minimiseButton, maximiseButton, closeButton; // commands 20, 21, 19
    std::vector<ToolbarButton> toolbar;               // shown buttons in command order
};

struct MainLayoutInput {
    int clientWidth = 1100, clientHeight = 700;
    double s = 1.0;
    RecorderFamily family = RecorderFamily::TX40;
    OperatingMode mode = kBuildMode;
    bool panorama = false; // the main movie area shows display model 4
};

MainLayout ComputeMainLayout(const MainLayoutInput& in);

// Default places of the floating windows, relative to the main window's
// remembered top-left corner (add the screen position to use them).
struct FloatingPlaces {
    Rect map;
    Rect secondMovie; // Full mode only
};
FloatingPlaces DefaultFloatingPlaces(const MainLayout& layout, double s, bool panorama);

} // namespace kinetta
