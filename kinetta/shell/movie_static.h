#pragma once
// CMovieStatic: a movie area. The playback engine of its camera draws into it
// (it is the engine's VideoSurface) and posts its milestones to it; the area
// forwards UM_MOVIE_READY and UM_MOVIE_ENDED to its owner, the main window,
// with its camera index (UM_MOVIE_PAUSED needs no action). While its camera has
// no movie, or the shorter movie of a pair has ended, it shows the no-data text
// centred in the 13-point shared font instead of a picture.
//
// Its mouse events go to its MovieAreaPointer (drag, inertia, click,
// double-click, menu), which reaches the engine and the main window through
// the area (MovieAreaHost) and so through the owner.
//
// UI thread only, except RequestUpdate (any thread) and the posted messages.

#include <QString>

#include "kinetta/shell/movie_area_pointer.h"
#include "kinetta/shell/movie_view_state.h"
#include "platform/message_sink.h"
#include "playcore/present/video_widget.h"

namespace kinetta {

// What a movie area reports to the window that owns it, and the view
// operations it asks of it (MovieViewHost, per camera).
class MovieAreaOwner : public MovieViewHost {
public:
    virtual void MovieReady(int camera) = 0;
    virtual void MovieEnded(int camera) = 0;
    // Zoom mode (command 38009) is on.
    virtual bool InZoomMode() const = 0;
    // Playback is within its last frames (full screen is refused there).
    virtual bool PlaybackNearEnd() = 0;
    // The zoom factor of the area showing camera (1.0 when not zoomed).
    virtual double AreaZoom(int camera) const = 0;
    // A single click at point (area pixels).
    virtual void AreaClicked(int camera, QPoint point) = 0;
    // Double-click: the view scale goes back to 1.0.
    virtual void AreaResetViewScale(int camera) = 0;
    // Double-click outside zoom mode: full screen on or off for the area.
    virtual void AreaFullScreen(int camera) = 0;
    // The area has its new size (in resizeEvent, before it draws at that size).
    virtual void AreaResized(int camera) = 0;
    // Right button: the context menu at globalPoint.
    virtual void AreaMenu(int camera, QPoint globalPoint) = 0;
};

class CMovieStatic : public playcore::VideoWidget, public MovieAreaHost {
public:
    // camera: 0 front (main) camera, 1 rear camera. view: where the area's
    // display model is kept (it outlives the area).
    CMovieStatic(int camera, MovieAreaOwner* owner, MovieViewState& view, QWidget* parent);
    ~CMovieStatic() override;

    int Camera() const override { return camera_; }
    MovieAreaPointer* Pointer() const { return pointer_; }
    // The message target the engine posts to (this area).
    platform::MessageTarget Target() { return static_cast<QObject*>(this); }

    // Shows text instead of the picture; an empty text shows the picture again.
    void SetNoData(const QString& text);
    bool NoData() const { return !noData_.isEmpty(); }
    QString NoDataText() const { return noData_; }

    // Display model 1..5 of the area (the engine applies it), kept in the view state.
    int DisplayModel() const override { return view_.DisplayModel(camera_); }
    void SetDisplayModel(int model) { view_.SetDisplayModel(camera_, model); }

    // Clears the no-data text and repaints: no recording is open.
    void Reset();

    // ---- MovieAreaHost: the pointer's questions, answered by the owner ----
    bool DragView(int camera, float dx, float dy, float scale) override;
    void CommitViewRotation(int camera) override;
    void ResetModelPose(int camera) override;
    int CameraState(int camera) const override;
    void Redraw(int camera) override;
    double ZoomFactor() const override;
    QSize ClientSize() const override { return size(); }
    QPoint CursorPosition() const override;
    void SetPointerCursor(Qt::CursorShape shape) override { setCursor(shape); }
    bool InZoomMode() const override;
    bool NearEnd() const override;
    void ReportClick(QPoint point) override;
    void ResetViewScale() override;
    void RequestFullScreen() override;
    void OpenMenu(QPoint globalPoint) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void PaintSurface(unsigned framebuffer) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const int camera_;
    MovieAreaOwner* const owner_;
    MovieViewState& view_;
    MovieAreaPointer* pointer_ = nullptr; // a child object; its inertia timer ends with it
    QString noData_;
};

} // namespace kinetta
