#include "playcore/present/offscreen_surface.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include "playcore/present/presenter.h"

namespace playcore {

QSurfaceFormat PresenterSurfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(3, 3);
    f.setProfile(QSurfaceFormat::CoreProfile);
    f.setDepthBufferSize(24);
    f.setStencilBufferSize(8);
    return f;
}

QOpenGLFramebufferObjectFormat PresenterFramebufferFormat() {
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    format.setInternalTextureFormat(GL_RGBA8);
    return format;
}

OffscreenSurface::OffscreenSurface() = default;

OffscreenSurface::~OffscreenSurface() {
    if (context_ && MakeCurrent()) {
        if (presenter_) presenter_->SurfaceGone();
        fbo_.reset();
        DoneCurrent();
    } else if (presenter_) {
        presenter_->SurfaceGone();
    }
}

bool OffscreenSurface::Create(QSize size) {
    if (size.isEmpty()) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(PresenterSurfaceFormat());
    if (!context->create()) return false;
    const QSurfaceFormat got = context->format();
    if (context->isOpenGLES() || got.version() < qMakePair(3, 3)) return false;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(got);
    surface->create();
    if (!surface->isValid() || !context->makeCurrent(surface.get())) return false;
    context_ = std::move(context);
    surface_ = std::move(surface);
    const bool ok = Resize(size);
    context_->doneCurrent();
    return ok;
}

bool OffscreenSurface::Resize(QSize size) {
    if (size.isEmpty() || !MakeCurrent()) return false;
    auto fbo = std::make_unique<QOpenGLFramebufferObject>(size, PresenterFramebufferFormat());
    if (!fbo->isValid()) return false;
    fbo_ = std::move(fbo);
    size_ = size;
    updatePending_ = true;
    return true;
}

bool OffscreenSurface::Render() {
    if (!fbo_ || !MakeCurrent()) return false;
    updatePending_ = false;
    if (presenter_) {
        presenter_->Paint(fbo_->handle(), size_);
    } else {
        QOpenGLFunctions* f = context_->functions();
        fbo_->bind();
        f->glClearColor(0, 0, 0, 1);
        f->glClear(GL_COLOR_BUFFER_BIT);
    }
    context_->functions()->glFinish();
    return true;
}

QImage OffscreenSurface::GrabPicture() {
    if (!Render()) return QImage();
    return fbo_->toImage(true).convertToFormat(QImage::Format_RGB32);
}

bool OffscreenSurface::MakeCurrent() {
    return context_ && surface_ && context_->makeCurrent(surface_.get());
}

void OffscreenSurface::DoneCurrent() {
    if (context_) context_->doneCurrent();
}

} // namespace playcore
