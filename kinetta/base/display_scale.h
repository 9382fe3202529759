#pragma once
// Design units to pixels. The main window is designed at 1100 x 700 units;
// every position and size is multiplied by S and truncated. Fonts use
// F = S x 96 / logical pixels per inch.

#include <array>

namespace kinetta {

struct DisplayScale {
    double s = 1.0; // pixels per design unit
    double f = 1.0; // font factor
};

// S and F for a monitor's work area (pixels) and its logical DPI.
// Landscape (W / H > 1): S = H / 48 / 22, F from the horizontal DPI.
// Otherwise: S = W / 48 / 22 x 7 x 0.125, F from the vertical DPI.
DisplayScale ComputeDisplayScale(int workWidth, int workHeight, int dpiX, int dpiY);

// trunc(S x units): every size of the window layout.
int Scaled(double s, double units);

// Windows' MulDiv: a x b / c rounded half away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Point sizes of the seven shared fonts, in order.
inline constexpr std::array<int, 7> kFontPoints = {9, 10, 13, 17, 22, 12, 15};
// Heights of the seven fonts: -MulDiv(trunc(F x p), dpiY, 72).
std::array<int, 7> FontHeights(double f, int dpiY);

// Largest size multiplier of the main window on a monitor of that width:
// min(2 x monitor width / trunc(S x 1100), 3.4285715).
double MaxWindowMultiplier(int monitorWidth, double s);

// A stored "SCALEX"/"SCALEY": used when greater than 0, otherwise the default 1.0.
double StoredMultiplier(const char* text);

} // namespace kinetta
