#pragma once
// CMovieStatic: a movie area. The playback engine of its camera draws into it
// (it is the engine's VideoSurface) and posts its milestones to it; the area
// forwards UM_MOVIE_READY and UM_MOVIE_ENDED to its owner, the main window,
// with its camera index (UM_MOVIE_PAUSED needs no action). While its camera has
// no movie, or the shorter movie of a pair has ended, it shows the no-data text
// centred in the 13-point shared font instead of a picture.
//
// UI thread only, except RequestUpdate (any thread) and the posted messages.

#include <QString>

#include "platform/message_sink.h"
#include "playcore/present/video_widget.h"

namespace kinetta {

// What a movie area reports to the window that owns it.
class MovieAreaOwner {
public:
    virtual ~MovieAreaOwner() = default;
    virtual void MovieReady(int camera) = 0;
    virtual void MovieEnded(int camera) = 0;
};

class CMovieStatic : public playcore::VideoWidget {
public:
    // camera: 0 front (main) camera, 1 rear camera.
    CMovieStatic(int camera, MovieAreaOwner* owner, QWidget* parent);

    int Camera() const { return camera_; }
    // The message target the engine posts to (this area).
    platform::MessageTarget Target() { return static_cast<QObject*>(this); }

    // Shows text instead of the picture; an empty text shows the picture again.
    void SetNoData(const QString& text);
    bool NoData() const { return !noData_.isEmpty(); }
    QString NoDataText() const { return noData_; }

    // Display model 1..4 of the area (the engine applies it).
    int DisplayModel() const { return displayModel_; }
    void SetDisplayModel(int model) { displayModel_ = model; }

    // Clears the no-data text and repaints: no recording is open.
    void Reset();

protected:
    bool event(QEvent* event) override;
    void paintGL() override;

private:
    const int camera_;
    MovieAreaOwner* const owner_;
    QString noData_;
    int displayModel_ = 4;
};

} // namespace kinetta
