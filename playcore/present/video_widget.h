#pragma once
// VideoWidget: a QOpenGLWidget that shows a presenter's picture. Movie areas
// build on it. Its paintGL lets the presenter draw into the widget's
// framebuffer; GrabPicture is grabFramebuffer(), so a still is what the widget
// shows, at its size in device pixels.
//
// UI thread only, except RequestUpdate, which any thread may call.

#include <QOpenGLWidget>

#include <atomic>

#include "playcore/present/video_surface.h"

namespace playcore {

class VideoWidget : public QOpenGLWidget, public VideoSurface {
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
    void initializeGL() override;
    void paintGL() override;

private:
    Presenter* presenter_ = nullptr;        // UI thread only
    std::atomic<bool> updateQueued_{false}; // a queued update() has not run yet; any thread
    // The context's aboutToBeDestroyed handler. QOpenGLWidget's own destructor
    // destroys the context after ours has run, so the handler is cut first.
    QMetaObject::Connection contextGone_; // UI thread only
};

} // namespace playcore
