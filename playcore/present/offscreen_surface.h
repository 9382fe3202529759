#pragma once
// OffscreenSurface: a VideoSurface without a window. It owns a GL 3.3 core
// context on a QOffscreenSurface and draws into a framebuffer object of the
// requested size (RGBA8 with depth and stencil), which GrabPicture reads back.
// Serves tests, the command line and the conversion's renderer.
//
// Create, Render, Resize and GrabPicture run on the thread that created the
// surface (Qt requires the GUI thread for QOffscreenSurface). RequestUpdate
// may come from any thread; it only marks the surface for the next Render.

#include <QOpenGLFramebufferObjectFormat>
#include <QSize>
#include <QSurfaceFormat>

#include <atomic>
#include <memory>

#include "playcore/present/video_surface.h"

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace playcore {

class OffscreenSurface : public VideoSurface {
public:
    OffscreenSurface();
    ~OffscreenSurface() override;
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    // Makes the context and a framebuffer of `size`. False when no GL 3.3 core
    // context can be had (no display, no driver) or the size is empty.
    bool Create(QSize size);
    // A new framebuffer of `size`; the presenter rebuilds its models for it on
    // the next Render.
    bool Resize(QSize size);
    // Lets the presenter draw into the framebuffer now.
    bool Render();
    // Whether an update was asked for since the last Render.
    bool UpdatePending() const { return updatePending_; }

    QSize SurfaceSize() const override { return size_; }
    void RequestUpdate() override { updatePending_ = true; }
    // Draws, then reads the framebuffer back, top row first.
    QImage GrabPicture() override;
    bool MakeCurrent() override;
    void DoneCurrent() override;
    void AttachPresenter(Presenter* presenter) override { presenter_ = presenter; }

private:
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    QSize size_;
    Presenter* presenter_ = nullptr; // owner's thread only
    std::atomic<bool> updatePending_{false};
};

// The surface format the presenter's GL needs: OpenGL 3.3 core, 24-bit depth,
// 8-bit stencil. A viewer sets it as the default format before creating its
// application object so that movie areas and Qt's compositor agree.
QSurfaceFormat PresenterSurfaceFormat();
// The framebuffer a presenter draws into off the screen: RGBA8 with depth
// and stencil.
QOpenGLFramebufferObjectFormat PresenterFramebufferFormat();

} // namespace playcore
