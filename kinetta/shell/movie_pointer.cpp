#include "kinetta/shell/movie_pointer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kinetta {

int NextDisplayModel(OperatingMode mode, int current) {
    if (mode == OperatingMode::Light) return current == 2 ? 3 : 2;
    switch (current) {
    case 1:
        return 3;
    case 3:
        return 2;
    case 2:
        return 4;
    default:
        return 1; // 4, and anything unexpected, starts the cycle again
    }
}

bool ModelDrags(int model) {
    return model == 3 || model == 4;
}

PixelDelta ClampedDelta(int x, int y, int prevX, int prevY) {
    return {std::clamp(x - prevX, -100, 100), std::clamp(y - prevY, -100, 100)};
}

ViewDrag DragForMove(int model, PixelDelta delta, double zoom, int clientWidth, int clientHeight) {
    ViewDrag d;
    if (!ModelDrags(model) || zoom <= 0 || clientWidth <= 0 || clientHeight <= 0) return d;
    double dx = 60.0 / zoom / 360.0 / clientWidth * delta.dx;
    double dy = model == 4 ? 0.0 : 60.0 / zoom / 360.0 / clientHeight * delta.dy;
    if (std::fabs(dx) >= std::fabs(dy))
        d.dx = static_cast<float>(dx);
    else
        d.dy = static_cast<float>(dy);
    return d;
}

bool ResumesInertia(int pressX, int pressY, int releaseX, int releaseY, PixelDelta last) {
    double wx = releaseX - pressX, wy = releaseY - pressY;
    double whole = std::hypot(wx, wy), lastLen = std::hypot(last.dx, last.dy);
    if (whole == 0 || lastLen == 0) return false;
    double cosine = (wx * last.dx + wy * last.dy) / (whole * lastLen);
    return cosine > 0.8660254037844386;
}

bool IsClickRelease(PixelDelta last) {
    return std::abs(last.dx) <= 3 && std::abs(last.dy) <= 3;
}

bool Inertia::Moving() const {
    return std::abs(delta_.dx) > 3 || std::abs(delta_.dy) > 3;
}

PixelDelta Inertia::Step() {
    delta_.dx = static_cast<int>(delta_.dx * 0.99);
    delta_.dy = static_cast<int>(delta_.dy * 0.99);
    offset_.dx += delta_.dx;
    offset_.dy += delta_.dy;
    if (model_ == 4) {
        offset_.dy = 0;
        offset_.dx /= 2;
    }
    return offset_;
}

} // namespace kinetta
