#include "playcore/present/video_widget.h"

#include <QEvent>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QResizeEvent>
#include <QWindow>

#include <cmath>

#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"

namespace playcore {

// The native window the picture is drawn into. It takes no input (the mouse
// reaches the widget under it) and no focus.
class VideoWidget::SurfaceWindow : public QWindow {
public:
    explicit SurfaceWindow(VideoWidget* owner) : owner_(owner) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFormat(PresenterSurfaceFormat());
        setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest) {
            owner_->Render();
            return true;
        }
        return QWindow::event(e);
    }
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) owner_->Render();
    }

private:
    VideoWidget* const owner_;
};

VideoWidget::VideoWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    window_ = new SurfaceWindow(this);
    container_ = QWidget::createWindowContainer(window_, this);
    // The mouse goes to this widget, whose subclasses handle it.
    container_->setAttribute(Qt::WA_TransparentForMouseEvents);
    container_->setFocusPolicy(Qt::NoFocus);
    container_->setGeometry(rect());
}

VideoWidget::~VideoWidget() {
    if (presenter_) {
        const bool current = MakeCurrent();
        presenter_->SurfaceGone();
        if (current) DoneCurrent();
    }
    // The window goes with the container, before the context.
    delete container_;
    container_ = nullptr;
    window_ = nullptr;
}

QSize VideoWidget::SurfaceSize() const {
    const qreal dpr = devicePixelRatioF();
    return QSize(static_cast<int>(std::lround(width() * dpr)),
                 static_cast<int>(std::lround(height() * dpr)));
}

void VideoWidget::RequestUpdate() {
    // Queued to the widget's thread; dropped if the widget is gone by then.
    // One call is in flight at a time: frames that arrive before it runs are
    // shown by the same draw (update requests merge as well).
    if (updateQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateQueued_ = false;
            if (window_) window_->requestUpdate();
        },
        Qt::QueuedConnection);
}

bool VideoWidget::EnsureContext() {
    if (context_) return true;
    if (glFailed_) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(PresenterSurfaceFormat());
    auto offscreen = std::make_unique<QOffscreenSurface>();
    if (!context->create()) {
        glFailed_ = true;
        return false;
    }
    offscreen->setFormat(context->format());
    offscreen->create();
    context_ = std::move(context);
    offscreen_ = std::move(offscreen);
    return true;
}

QImage VideoWidget::GrabPicture() {
    const QSize size = SurfaceSize();
    if (size.isEmpty() || !MakeCurrent()) return QImage();
    QImage picture;
    {
        QOpenGLFramebufferObject fbo(size, PresenterFramebufferFormat());
        if (fbo.isValid()) {
            fbo.bind();
            PaintSurface(fbo.handle());
            picture = fbo.toImage(true);
            fbo.release();
        }
    }
    DoneCurrent();
    return picture.isNull() ? picture : picture.convertToFormat(QImage::Format_RGB32);
}

bool VideoWidget::MakeCurrent() {
    if (!EnsureContext()) return false;
    // The GL window when it is on the screen, else the off-screen surface:
    // a hidden or not yet shown area still grabs and releases.
    if (window_ && window_->isExposed() && context_->makeCurrent(window_)) return true;
    return offscreen_->isValid() && context_->makeCurrent(offscreen_.get());
}

void VideoWidget::DoneCurrent() {
    if (context_) context_->doneCurrent();
}

void VideoWidget::Render() {
    if (!window_ || !window_->isExposed() || !EnsureContext()) return;
    if (!context_->makeCurrent(window_)) return;
    PaintSurface(context_->defaultFramebufferObject());
    context_->swapBuffers(window_);
}

void VideoWidget::PaintSurface(unsigned framebuffer) {
    if (presenter_) {
        presenter_->Paint(framebuffer, SurfaceSize());
        return;
    }
    ClearSurface(framebuffer);
}

void VideoWidget::ClearSurface(unsigned framebuffer) {
    QOpenGLFunctions* f = context_->functions();
    const QSize size = SurfaceSize();
    f->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    f->glViewport(0, 0, size.width(), size.height());
    f->glClearColor(0, 0, 0, 1);
    f->glClear(GL_COLOR_BUFFER_BIT);
}

void VideoWidget::resizeEvent(QResizeEvent* event) {
    container_->setGeometry(QRect(QPoint(0, 0), event->size()));
    // The window shows the new size at its next draw.
    if (window_) window_->requestUpdate();
}

void VideoWidget::paintEvent(QPaintEvent*) {
    if (window_) window_->requestUpdate();
}

} // namespace playcore
