#pragma once
// VideoWidget: the widget that shows a presenter's picture. Movie areas build
// on it.
//
// The picture is drawn into a native GL window of its own (SurfaceWindow),
// held by a window container that fills the widget; the widget itself draws
// nothing. So the window that holds movie areas stays a raster window: its
// other widgets' paints are put on the screen as they are, not composed with
// the movie areas' pictures in GL on each paint, which on a software renderer
// costs tens of milliseconds per repaint of the window. The GL window lets
// mouse input through, so the widget gets its mouse events as before.
//
// GrabPicture draws the picture again into a framebuffer of the widget's size
// in device pixels, so a still is what the area shows, shown or not.
//
// UI thread only, except RequestUpdate, which any thread may call.

#include <QWidget>

#include <atomic>
#include <memory>

#include "playcore/present/video_surface.h"

class QOffscreenSurface;
class QOpenGLContext;

namespace playcore {

class VideoWidget : public QWidget, public VideoSurface {
public:
    explicit VideoWidget(QWidget* parent = nullptr);
    ~VideoWidget() override;

    QSize SurfaceSize() const override;
    void RequestUpdate() override;
    QImage GrabPicture() override;
    bool MakeCurrent() override;
    void DoneCurrent() override;
    void AttachPresenter(Presenter* presenter) override { presenter_ = presenter; }

protected:
    // Draws the area's picture into `framebuffer`, of SurfaceSize(), with the
    // area's context current. The default draws the presenter's picture, or
    // black without a presenter.
    virtual void PaintSurface(unsigned framebuffer);
    // Binds `framebuffer` over the whole surface and fills it with black.
    void ClearSurface(unsigned framebuffer);

    void resizeEvent(QResizeEvent* event) override;
    // update() on the widget redraws the GL window.
    void paintEvent(QPaintEvent* event) override;

private:
    class SurfaceWindow;
    // Makes the context if there is none yet; false when GL is not there.
    bool EnsureContext();
    // Draws into the GL window and puts it on the screen (an expose or an
    // update request of the window).
    void Render();

    Presenter* presenter_ = nullptr;          // UI thread only
    SurfaceWindow* window_ = nullptr;         // owned by container_
    QWidget* container_ = nullptr;            // a child filling the widget
    std::unique_ptr<QOpenGLContext> context_; // UI thread only
    // Where the context is made current outside a draw on the screen (grabs,
    // the release of GL objects), also while the GL window is hidden.
    std::unique_ptr<QOffscreenSurface> offscreen_; // UI thread only
    bool glFailed_ = false;                        // no context could be made; UI thread
    std::atomic<bool> updateQueued_{false};        // a queued repaint has not run yet; any thread
};

} // namespace playcore
