#pragma once
// Opening a movie area's context menu from a window that has its own command
// names: the request in plain numbers, so that the caller need not see the
// menu's command list.

#include <QPoint>

#include <functional>

class QWidget;

namespace kinetta {

class CommandTarget;

struct MovieMenuRequest {
    int engineState = 0;      // the master engine's state: 0 Closed .. 3 Paused
    int area = 0;             // 0 main movie area, 1 second movie area
    int camera = 0;           // camera the clicked area shows
    int displayModel = 4;     // the clicked area's display model
    bool areaHasMovie = true; // false while the area shows its no-data text
    // Whether a command's flow exists in this build (empty: every one).
    std::function<bool(int command)> hasFlow;
};

// Shows the menu at globalPoint without blocking; the chosen command goes to
// owner. The menu deletes itself when closed. Returns the menu.
QWidget* OpenMovieMenu(const MovieMenuRequest& request, CommandTarget* owner, QWidget* parent,
                       QPoint globalPoint);

} // namespace kinetta
