#pragma once
// The controller bar (dialog 355): up, left, right and down around a reset
// button. While a direction button is held, the bar turns the dewarped view
// (display model 3) of the main movie area by one step every 30 ms, or pans
// the panorama (model 4) left or right; reset brings the view back to its
// initial pose.
//
// Threads. The stepping worker only paces: each pass it reads the active
// command (under lock_) and queues one step onto the UI thread
// (QMetaObject::invokeMethod, Qt::QueuedConnection on the bar), where the step
// is computed from the movie area's current size and zoom and handed to the
// engine. A queued step whose command is no longer active when it arrives is
// dropped, so nothing turns after a release. With no command the worker
// suspends itself until the next press; it ends when the bar ends (stop, wake,
// join), which also discards steps still queued.

#include <QWidget>

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "kinetta/shell/movie_view_host.h"

namespace kinetta {

class CSkinButton;
class MovieAreaPointer;

class CControllerDlg : public QWidget {
public:
    static constexpr int kStepMs = 30;
    using SleepFunction = std::function<void(std::chrono::milliseconds)>;

    // engine must outlive the bar. The buttons and tooltips are created here;
    // the worker is started by StartWorker.
    CControllerDlg(MovieViewHost& engine, QWidget* parent = nullptr);
    ~CControllerDlg() override;

    // The main movie area whose view the bar turns (its size, and its drag
    // state, which the bar clears); null until the main window sets it. The
    // bar does nothing without it.
    void SetMovieArea(MovieAreaPointer* area) { area_ = area; }
    MovieAreaPointer* MovieArea() const { return area_; }

    // Ends a previous worker and starts a new one; it suspends itself at once
    // while no command is active.
    void StartWorker();
    // Asks the worker to stop, wakes it and waits for it without a limit.
    void EndWorker();
    bool HasWorker() const { return worker_.joinable(); }
    // Whether the worker is waiting for a press (no command active).
    bool WorkerSuspended() const;

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
    int ActiveCommand() const;
    // Button by index: 0 up, 1 left, 2 right, 3 down, 4 reset.
    CSkinButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }

    // How the worker waits between steps (tests pace it by a virtual clock).
    // Set before StartWorker. The default waits 30 ms or until stopped.
    void SetSleepFunction(SleepFunction sleep) { sleep_ = std::move(sleep); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Press(int command);
    void Release();
    void Worker();
    void ApplyStep(int command);
    void ClearDragState();
    void PlaceButtons(bool rebuildPictures);

    MovieViewHost& engine_;
    std::array<CSkinButton*, 5> buttons_{};

    // UI thread.
    MovieAreaPointer* area_ = nullptr;
    bool laidOut_ = false;
    int dx_ = 0, dy_ = 0; // step of the held direction button, pixels
    float zoom_ = 1.0f;
    const int camera_ = 0; // the bar acts on the front camera

    // Shared with the worker, guarded by lock_.
    mutable std::mutex lock_;
    std::condition_variable wake_;
    int activeCommand_ = 0;
    bool stop_ = false;
    bool resumed_ = false;
    bool suspended_ = false;
    SleepFunction sleep_; // set before the worker starts, then only read by it
    std::thread worker_;  // UI thread starts and joins it
};

} // namespace kinetta
