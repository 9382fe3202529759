#include "kinetta/shell/movie_view_state.h"

#include <algorithm>

namespace kinetta {

bool MovieViewState::ToggleZoomMode() {
    zoomMode_ = !zoomMode_;
    if (!zoomMode_) zoom_ = {1.0, 1.0};
    return zoomMode_;
}

bool MovieViewState::ZoomAt(int camera, int x, int y) {
    if (!zoomMode_) return false;
    const size_t k = Index(camera);
    zoom_[k] = std::min(zoom_[k] * kZoomStep, kZoomLimit);
    focusX_[k] = x;
    focusY_[k] = y;
    return true;
}

bool MovieViewState::ResetZoom(int camera) {
    const size_t k = Index(camera);
    if (zoom_[k] == 1.0) return false;
    zoom_[k] = 1.0;
    return true;
}

std::array<playcore::VideoPlacement, 2> MovieViewState::Placements() const {
    std::array<playcore::VideoPlacement, 2> p{};
    for (size_t k = 0; k < 2; ++k) {
        p[k].zoom = static_cast<float>(zoom_[k]);
        p[k].focusX = static_cast<float>(focusX_[k]);
        p[k].focusY = static_cast<float>(focusY_[k]);
    }
    return p;
}

int MovieViewState::FitMode(int model) const {
    const bool flat = model == 1 || model == 2 || model == 5;
    return flat && keepAspect_ ? 1 : 0;
}

bool MovieViewState::FullScreenRefused(long long length, long long position) {
    return length > 0 && position + kFullScreenEndFrames >= length;
}

void MovieViewState::EnterFullScreen(const Rect& normal) {
    normal_ = normal;
    fullScreen_ = true;
}

Rect MovieViewState::LeaveFullScreen() {
    fullScreen_ = false;
    return normal_;
}

} // namespace kinetta
