#pragma once
// Pointer behaviour of a movie area (CMovieStatic forwards its mouse events
// here): press, drag with the dominant-axis rule and the 100-pixel clamp,
// release with the single-click report, double-click to full screen, right
// button to the context menu, and the inertia that keeps a flick turning.
//
// Threads. Everything here runs on the UI thread. The inertia is paced by a
// timer: a release that resumes it takes the first step at once, then one
// step every period (30 ms) until the motion dies down, and each step is
// converted to a DragView call. A press, a new release or ClearDragState stop
// the timer, so no step of an earlier run fights the new drag.

#include <QObject>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

#include <chrono>
#include <string_view>

#include "kinetta/shell/movie_pointer.h"
#include "kinetta/shell/movie_view_host.h"

class QMouseEvent;

namespace kinetta {

// What a movie area tells the pointer about itself and how the pointer reports
// back to the main window. UI thread only.
class MovieAreaHost : public MovieViewHost {
public:
    // Camera index the area shows (engine, or stream of a combined file).
    virtual int Camera() const = 0;
    // The area's display model (1..4).
    virtual int DisplayModel() const = 0;
    // The area's current zoom factor (1.0 when not zoomed).
    virtual double ZoomFactor() const = 0;
    // The area's client size in pixels.
    virtual QSize ClientSize() const = 0;
    // The pointer's position now, in the area's client coordinates.
    virtual QPoint CursorPosition() const = 0;
    // The area's cursor: the hand while dragging a turnable model, else the arrow.
    virtual void SetPointerCursor(Qt::CursorShape shape) = 0;
    // Zoom mode of the main window (command 38009) is on.
    virtual bool InZoomMode() const = 0;
    // Playback is near the end of the movie (full screen is refused there).
    virtual bool NearEnd() const = 0;

    // A single click at point (client coordinates) that no second click followed.
    virtual void ReportClick(QPoint point) = 0;
    // Double-click: set the view scale back to 1.0.
    virtual void ResetViewScale() = 0;
    // Double-click outside zoom mode: make this area's camera the shown one and
    // toggle full screen.
    virtual void RequestFullScreen() = 0;
    // Right button: open the context menu at globalPoint (screen coordinates).
    virtual void OpenMenu(QPoint globalPoint) = 0;
};

class MovieAreaPointer : public QObject {
public:
    static constexpr int kGuardMs = 500; // after a double-click, pointer input is ignored

    // host must outlive the pointer.
    explicit MovieAreaPointer(MovieAreaHost& host, QObject* parent = nullptr);

    // Dispatches a mouse event of the area; true when it was one of ours.
    bool HandleMouseEvent(QMouseEvent* event);

    // The individual events, in the area's client coordinates.
    void Press(QPoint pos);
    void Move(QPoint pos);
    void Release(QPoint pos);
    void DoubleClick(QPoint pos);
    void RightPress(QPoint globalPos);

    // Clears the drag delta and the accumulated offset and stops any inertia
    // (the controller bar and the display-model switch do this).
    void ClearDragState();
    PixelDelta DragDelta() const { return delta_; }
    PixelDelta DragOffset() const { return offset_; }
    bool Dragging() const { return pressed_; }

    // Whether an inertia run is in progress (resumed and not yet died down).
    bool InertiaRunning() const { return inertiaTimer_.isActive(); }
    // Period of the inertia steps; 30 ms unless a test shortens it.
    void SetInertiaPeriod(std::chrono::milliseconds period);

    bool ClickTimerActive() const { return clickTimer_.isActive(); }
    bool GuardActive() const { return guardTimer_.isActive(); }
    // The click timer's period: the platform's double-click time.
    int ClickIntervalMs() const;

    MovieAreaHost& Host() const { return host_; }

private:
    void DragStep(PixelDelta delta);
    void StartInertia(int model, PixelDelta last);
    void StopInertia();
    void InertiaStep();
    void ClickTimerFired();

    MovieAreaHost& host_;

    // Drag state: UI thread only.
    bool pressed_ = false;
    int dragModel_ = 0; // display model at the press
    QPoint pressPos_;
    QPoint prevPos_;
    QPoint releasePos_;
    PixelDelta delta_;  // last move, clamped to -100..100 per axis
    PixelDelta offset_; // sum of the moves since the press
    QTimer clickTimer_;
    QTimer guardTimer_;

    // Inertia: UI thread only. The timer runs exactly while a run is in progress.
    int inertiaModel_ = 0; // display model at the release that started the run
    Inertia inertia_{3, {}};
    QTimer inertiaTimer_;
};

// The text an area shows while its camera has no movie: area 0 by recorder
// family ("メインカメラ…" / "フロントカメラ…"), area 1 the rear camera's.
std::string_view NoDataText(int area);
// Draws that text centred in rect with the 13-point shared font.
void PaintNoDataText(QPainter& painter, const QRect& rect, int area);

} // namespace kinetta
