#include "kinetta/shell/controller_logic.h"

#include "kinetta/base/display_scale.h"

namespace kinetta {

const std::array<ControllerButtonInfo, 5>& ControllerButtons() {
    static const std::array<ControllerButtonInfo, 5> buttons = {{
        {kControllerUp, 360, "上", {0, +30}, true, false},
        {kControllerLeft, 362, "左", {+30, 0}, true, true},
        {kControllerRight, 363, "右", {-30, 0}, true, true},
        {kControllerDown, 361, "下", {0, -30}, true, false},
        {kControllerReset, 364, "リセット", {0, 0}, true, false},
    }};
    return buttons;
}

std::array<Rect, 5> ControllerButtonRects(int W, int H, double s) {
    std::array<Rect, 5> r{};
    if (W == 0) return r;
    const int e = Scaled(s, 32);
    const int k = (W - Scaled(s, 20) + e) / 2;
    r[0] = {(W - e) / 2, (H - e - (H + e) / 2) / 2, e, e};
    r[1] = {(W - e - k) / 2, (H - e) / 2, e, e};
    r[2] = {(W - e + k) / 2, (H - e) / 2, e, e};
    r[3] = {(W - e) / 2, (H - e + (H + e) / 2) / 2, e, e};
    r[4] = {(W - e) / 2, (H - e) / 2, e, e};
    return r;
}

bool ControllerButtonEnabled(int index, int model) {
    if (index < 0 || index >= 5) return false;
    const ControllerButtonInfo& b = ControllerButtons()[static_cast<size_t>(index)];
    if (model == 3) return b.inModel3;
    if (model == 4) return b.inModel4;
    return false;
}

} // namespace kinetta
