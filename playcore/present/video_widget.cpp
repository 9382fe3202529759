#include "playcore/present/video_widget.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <cmath>

#include "playcore/present/offscreen_surface.h"
#include "playcore/present/presenter.h"

namespace playcore {

VideoWidget::VideoWidget(QWidget* parent) : QOpenGLWidget(parent) {
    setFormat(PresenterSurfaceFormat());
}

VideoWidget::~VideoWidget() {
    disconnect(contextGone_);
    if (presenter_) {
        makeCurrent();
        presenter_->SurfaceGone();
        doneCurrent();
    }
}

QSize VideoWidget::SurfaceSize() const {
    const qreal dpr = devicePixelRatioF();
    return QSize(static_cast<int>(std::lround(width() * dpr)),
                 static_cast<int>(std::lround(height() * dpr)));
}

void VideoWidget::RequestUpdate() {
    // Queued to the widget's thread; dropped if the widget is gone by then.
    // One call is in flight at a time: frames that arrive before it runs are
    // shown by the same paint (update() would merge them anyway).
    if (updateQueued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updateQueued_ = false;
            update();
        },
        Qt::QueuedConnection);
}

QImage VideoWidget::GrabPicture() {
    const QImage picture = grabFramebuffer();
    return picture.isNull() ? picture : picture.convertToFormat(QImage::Format_RGB32);
}

bool VideoWidget::MakeCurrent() {
    if (!context()) return false;
    makeCurrent();
    return true;
}

void VideoWidget::DoneCurrent() {
    doneCurrent();
}

void VideoWidget::initializeGL() {
    // The context goes away when the widget moves to another top-level window;
    // the presenter's GL objects go with it and are made again on the next paint.
    disconnect(contextGone_);
    contextGone_ = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        if (!presenter_) return;
        makeCurrent();
        presenter_->ReleaseGl();
        doneCurrent();
    });
}

void VideoWidget::paintGL() {
    if (presenter_) {
        presenter_->Paint(defaultFramebufferObject(), SurfaceSize());
        return;
    }
    QOpenGLFunctions* f = context()->functions();
    f->glClearColor(0, 0, 0, 1);
    f->glClear(GL_COLOR_BUFFER_BIT);
}

} // namespace playcore
