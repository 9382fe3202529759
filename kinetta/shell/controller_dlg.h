#pragma once
// CControllerDlg: the controller bar, a child panel of the main window.
//
// The controller bar (dialog 355): up, left, right and down around a reset
// button. While a direction button is held, the bar turns the dewarped view
// (display model 3) of the main movie area by one step every 30 ms, or pans
// the panorama (model 4) left or right; reset brings the view back to its
// initial pose.
//
// Threads. Everything here runs on the UI thread. A press takes the first
// step at once and starts the step timer, which takes one more step every
// 30 ms (kStepMs) while the command stays active; each step is computed from
// the movie area's current size and zoom and handed to the engine. Release,
// a display model without buttons and the end of the bar stop the timer, so
// nothing turns after any of them.

#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>

#include "kinetta/shell/movie_view_host.h"

namespace kinetta {

class CSkinButton;
class MovieAreaPointer;

class CControllerDlg : public QWidget {
public:
    static constexpr int kStepMs = 30;

    // engine must outlive the bar. The buttons and tooltips are created here.
    CControllerDlg(MovieViewHost& engine, QWidget* parent = nullptr);

    // The main movie area whose view the bar turns (its size, and its drag
    // state, which the bar clears); null until the main window sets it. The
    // bar does nothing without it.
    void SetMovieArea(MovieAreaPointer* area) { area_ = area; }
    MovieAreaPointer* MovieArea() const { return area_; }

    // Ends any stepping (the main window's shutdown, before the engines go).
    void StopStepping();
    // Whether the step timer runs (a command is held).
    bool Stepping() const { return stepTimer_.isActive(); }
    // The step timer, so that a test can take its steps by a virtual clock.
    QTimer& StepTimer() { return stepTimer_; }
    // Period of the steps; kStepMs unless a test holds the real timer off.
    void SetStepPeriod(std::chrono::milliseconds period);

    // Model 3: all five buttons; model 4: left and right; otherwise none, and
    // any held command ends.
    void EnableForDisplayModel(int model);
    // Places the buttons for the bar's size and the display scale and rebuilds
    // their pictures at the new size.
    void LayoutButtons();
    // Turns camera's view back to its initial pose.
    void ResetTurnedView(int camera);

    // The main movie area's zoom factor, copied in whenever the area's zoom changes.
    void SetZoom(float zoom) { zoom_ = zoom; }
    float Zoom() const { return zoom_; }

    // Command id of the held button (29..33), 0 when none.
    int ActiveCommand() const { return activeCommand_; }
    // Button by index: 0 up, 1 left, 2 right, 3 down, 4 reset.
    CSkinButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Press(int command);
    void Release();
    void Step();
    void ClearDragState();
    void PlaceButtons(bool rebuildPictures);

    MovieViewHost& engine_;
    std::array<CSkinButton*, 5> buttons_{};

    // All fields: UI thread.
    MovieAreaPointer* area_ = nullptr;
    bool laidOut_ = false;
    int dx_ = 0, dy_ = 0; // step of the held direction button, pixels
    float zoom_ = 1.0f;
    const int camera_ = 0;  // the bar acts on the front camera
    int activeCommand_ = 0; // 29..33 while held, else 0
    QTimer stepTimer_;      // runs exactly while a command is held
};

} // namespace kinetta
