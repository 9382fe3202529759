#pragma once
// FloatingWindows: the main window's two floating frames (CMovieDialog): the
// map window's frame, made and owned by the map window and registered here,
// and the second movie window, made and owned here (in Full mode it holds
// movie area 1). It puts them at their default places beside the main
// window, tells which frame a notification came from, and saves their size
// multipliers at exit. UI thread only.

#include <QRect>

class QWidget;
class QObject;

namespace kinetta {

class CMovieDialog;
class CMovieStatic;

class FloatingWindows {
public:
    FloatingWindows() = default;
    // Deletes the second movie window (EndSecondMovie first, in Full mode).
    ~FloatingWindows();
    FloatingWindows(const FloatingWindows&) = delete;
    FloatingWindows& operator=(const FloatingWindows&) = delete;

    // Makes the second movie window (a top-level frame over owner); in Full
    // mode area1 moves into it.
    void CreateSecondMovie(QWidget* owner, CMovieStatic* area1, bool fullMode);
    // Gives area1 back to owner (freed with it) and deletes the second movie window.
    void EndSecondMovie(QWidget* owner, CMovieStatic* area1, bool fullMode);
    // The map window's frame; null before the map exists and after it ends.
    void SetMapFrame(CMovieDialog* frame) { map_ = frame; }

    CMovieDialog* MapFrame() const { return map_; }
    CMovieDialog* SecondMovie() const { return second_; }
    bool IsMapFrame(const QObject* window) const;
    bool IsSecondMovie(const QObject* window) const;

    // Start-up: the frames' top-left corners at their default places (screen
    // coordinates); the second movie window is shown in Full mode.
    void PlaceAtStart(const QRect& map, const QRect& second, bool fullMode);
    // UM_WINDOW_RESET: both frames back at their default places and sizes;
    // a map the user has switched off stays hidden.
    void PutAtDefaultPlaces(const QRect& map, const QRect& second, bool fullMode);
    // Exit: each frame writes its size multipliers for the next run.
    void SaveMultipliers();

private:
    CMovieDialog* map_ = nullptr;    // owned by the map window
    CMovieDialog* second_ = nullptr; // owned here
};

} // namespace kinetta
