#pragma once
// MovieViewState: how the main window shows its cameras, apart from the
// windows themselves: the display model of each movie area, zoom mode and
// each camera's zoom factor and focus point, the mirror image of each
// camera, whether the pictures keep their aspect, full screen with the
// window's place outside it, and the camera of the area whose context menu
// is open. Pure state and its rules; the main window applies them to the
// engines and the windows, and each movie area reads its display model here.
// UI thread only.

#include <array>

#include "kinetta/shell/main_layout.h"
#include "playcore/session/session_rules.h"

namespace kinetta {

class MovieViewState {
public:
    // Zoom mode: each click magnifies by kZoomStep about the clicked point, up
    // to kZoomLimit.
    static constexpr double kZoomStep = 2.0;
    static constexpr double kZoomLimit = 8.0;
    // Full screen is refused this close to the end of the movie, frames.
    static constexpr long long kFullScreenEndFrames = 10;

    // ---- display models (1..5; the engines apply them) ----
    // The display model of area 0 (main) or 1 (second); 4 at start.
    int DisplayModel(int area) const { return model_[Index(area)]; }
    void SetDisplayModel(int area, int model) { model_[Index(area)] = model; }
    // Both areas take model (start-up, the display-model switch).
    void SetDisplayModels(int model) { model_ = {model, model}; }
    // The main area shows the panorama (model 4): the list column and the
    // floating windows' places follow it.
    bool Panorama() const { return model_[0] == 4; }

    // ---- zoom (command 38009) ----
    bool ZoomMode() const { return zoomMode_; }
    // Turns zoom mode on or off; leaving it shows both whole pictures again
    // (both zoom factors 1). Returns the new mode.
    bool ToggleZoomMode();
    // A click at (x, y) of camera's area (area pixels): in zoom mode the
    // factor doubles (at most kZoomLimit) about that point and true is
    // returned; outside zoom mode nothing changes.
    bool ZoomAt(int camera, int x, int y);
    // The factor back at 1; false when it already was.
    bool ResetZoom(int camera);
    double Zoom(int camera) const { return zoom_[Index(camera)]; }
    // What the engines are given for each camera's picture.
    std::array<playcore::VideoPlacement, 2> Placements() const;

    // ---- mirror image and aspect ----
    bool Mirrored(int camera) const { return mirrored_[Index(camera)]; }
    void SetMirrored(int camera, bool mirrored) { mirrored_[Index(camera)] = mirrored; }
    bool KeepAspect() const { return keepAspect_; }
    void SetKeepAspect(bool keep) { keepAspect_ = keep; }
    // The engine's fit mode for an area of display model `model`: the split
    // view and the picture as recorded (1, 2, 5) keep the recording's shape
    // when the aspect is kept (1); the dewarped models fill the area (0).
    int FitMode(int model) const;

    // ---- full screen ----
    bool FullScreen() const { return fullScreen_; }
    // Whether full screen is refused at position of a movie of length frames.
    static bool FullScreenRefused(long long length, long long position);
    // Enters full screen, remembering the window's place outside it.
    void EnterFullScreen(const Rect& normal);
    // Leaves full screen; returns the place to go back to.
    Rect LeaveFullScreen();
    // The window's place outside full screen (valid while in full screen).
    const Rect& NormalGeometry() const { return normal_; }

    // ---- the movie areas' context menu ----
    int MenuCamera() const { return menuCamera_; }
    void SetMenuCamera(int camera) { menuCamera_ = static_cast<int>(Index(camera)); }

private:
    static size_t Index(int camera) { return camera == 1 ? 1 : 0; }

    std::array<int, 2> model_{4, 4}; // display model per movie area
    bool zoomMode_ = false;
    std::array<double, 2> zoom_{1.0, 1.0};   // zoom factor per camera's area
    std::array<int, 2> focusX_{}, focusY_{}; // the point the zoom magnifies, area pixels
    std::array<bool, 2> mirrored_{};         // last FlipView result per camera
    bool keepAspect_ = true;                 // "DISPLAY"/"ASPECT" "on"
    bool fullScreen_ = false;
    Rect normal_;        // the window's place outside full screen
    int menuCamera_ = 0; // camera of the area the menu was opened on
};

} // namespace kinetta
