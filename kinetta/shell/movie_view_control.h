#pragma once
// MovieViewControl: how the main window shows its cameras, on the windows and
// the engines. It is the movie areas' owner (their view operations, clicks,
// double-clicks, menu; their ready and end notifications go on to the window
// and the playback control), runs the display commands (zoom mode 38009, the
// display-model switch 38010, flip 38011 and 38202, mirror 38012 and 38203,
// aspect 38200, the turned view's reset 38201) and full screen, gives the
// engines each area's fit, aspect and placement, and owns the controller bar
// and the floating windows (the map frame, the second movie window) with
// their notifications (UM_SHOW_MOVIE, UM_WINDOW_SIZED, UM_WINDOW_PAINTED,
// UM_WINDOW_RESET). Its state is MovieViewState; the window lays out and
// routes to it. UI thread only.

#include <QRect>

#include <array>
#include <functional>

#include "kinetta/shell/floating_windows.h"
#include "kinetta/shell/main_layout.h"
#include "kinetta/shell/movie_static.h"

namespace playcore {
class PlaybackSession;
}

namespace kinetta {

class CControllerDlg;
class CSkinButton;
class CommandTarget;
class MovieViewState;
class PlaybackControl;
class ViewerState;

class MovieViewControl : public MovieAreaOwner {
public:
    // What the control asks of the main window.
    struct Host {
        // All expected movies of the open are ready (UM_MOVIE_READY).
        std::function<void(int camera)> movieReady;
        std::function<void()> layOut;
        std::function<void()> placeMovieAreas;
        std::function<void()> updateToolbar;
        std::function<void(bool playing)> showPlayFace;
        std::function<CSkinButton*(int command)> toolbarButton;
    };

    // Everything given outlives the control. layout: the window's last
    // layout; window: the main window (its place, full screen, the menu's
    // parent); commands: where the movie menu's commands go.
    MovieViewControl(playcore::PlaybackSession& session, MovieViewState& view, ViewerState& state,
                     PlaybackControl& play, const MainLayout& layout, QWidget* window,
                     CommandTarget& commands);
    ~MovieViewControl() override;
    // The movie areas (owned by the window) and the host, once they exist.
    void SetWindow(std::array<CMovieStatic*, 2> areas, Host host);

    // ---- the windows ----
    // The controller bar and the second movie window (start-up).
    void CreateWindows();
    // Closing: the bar's stepping and the areas' drags end (before the engines go).
    void StopPointerWork();
    // Closing: area 1 back to the window, the second movie window deleted.
    void EndSecondMovie();
    FloatingWindows& Floating() { return floating_; }
    const FloatingWindows& Floating() const { return floating_; }
    CControllerDlg* Controller() const { return controller_; }
    void PlaceFloatingAtStart();
    // The map frame's default place beside the window (screen pixels).
    QRect MapDefaultPlace() const;
    // The controller bar at its place in the layout; hidden in full screen.
    void PlaceController();
    // The bar's buttons follow the shown area's display model (none while busy).
    void EnableController();

    // ---- commands and messages ----
    // The display commands; false for any other command.
    bool OnCommand(int id);
    // UM_SHOW_MOVIE and the floating windows' messages; false for others.
    bool HandleMessage(int message, long long lParam);
    void ToggleFullScreen();
    // Full screen is left for good (closing); the window goes back to its place.
    void LeaveFullScreen();
    void ApplyAreaAspect(int area);
    void ApplyPlacements();

    // ---- MovieAreaOwner / MovieViewHost: the movie areas' requests ----
    void MovieReady(int camera) override { host_.movieReady(camera); }
    void MovieEnded(int camera) override;
    bool DragView(int camera, float dx, float dy, float scale) override;
    void CommitViewRotation(int camera) override;
    void ResetModelPose(int camera) override;
    int CameraState(int camera) const override;
    void Redraw(int camera) override;
    bool InZoomMode() const override;
    bool PlaybackNearEnd() override;
    double AreaZoom(int camera) const override;
    void AreaClicked(int camera, QPoint point) override;
    void AreaResetViewScale(int camera) override;
    void AreaFullScreen(int camera) override;
    void AreaResized(int camera) override;
    void AreaMenu(int camera, QPoint globalPoint) override;

private:
    void OnDisplayModeSwitch();
    void OnFlip(int camera);
    void OnAspect();
    QRect ScreenRect(const Rect& relative) const;
    FloatingPlaces DefaultPlaces() const;

    playcore::PlaybackSession& session_;
    MovieViewState& view_;
    ViewerState& state_;
    PlaybackControl& play_;
    const MainLayout& layout_;
    QWidget* window_;
    CommandTarget& commands_;
    Host host_;
    std::array<CMovieStatic*, 2> areas_{};
    CControllerDlg* controller_ = nullptr; // child of the window
    FloatingWindows floating_;             // the map frame and the second movie window
};

} // namespace kinetta
