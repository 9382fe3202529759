#pragma once
// VideoSurface: the place a presenter's picture is shown. A movie area (a
// VideoWidget) implements it for the viewer; OffscreenSurface implements it
// with an off-screen framebuffer for tests, the command line and conversion.
//
// The surface owns the GL context. It calls Presenter::Paint with its context
// current whenever it (re)draws, and Presenter::SurfaceGone before it goes away.

#include <QImage>
#include <QSize>

namespace playcore {

class Presenter;

class VideoSurface {
public:
    virtual ~VideoSurface() = default;

    // Size of the drawing surface in device pixels (the window's client size).
    virtual QSize SurfaceSize() const = 0;
    // Asks for a repaint soon. Any thread.
    virtual void RequestUpdate() = 0;
    // Exactly the picture the surface shows, at its size; a null image when
    // there is none. UI thread.
    virtual QImage GrabPicture() = 0;
    // Makes the surface's GL context current (false when it has none) and
    // releases it again; used to free GL objects outside a paint.
    virtual bool MakeCurrent() = 0;
    virtual void DoneCurrent() = 0;
    // The presenter that paints this surface, or null. Called by Presenter.
    virtual void AttachPresenter(Presenter* presenter) = 0;
};

} // namespace playcore
