#include "kinetta/shell/movie_static.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>

#include "kinetta/shell/message_ids.h"
#include "kinetta/shell/window_message.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

CMovieStatic::CMovieStatic(int camera, MovieAreaOwner* owner, QWidget* parent)
    : playcore::VideoWidget(parent), camera_(camera), owner_(owner) {
    setObjectName(camera == 0 ? "movieArea0" : "movieArea1");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CMovieStatic::SetNoData(const QString& text) {
    if (noData_ == text) return;
    noData_ = text;
    update();
}

void CMovieStatic::Reset() {
    noData_.clear();
    update();
}

bool CMovieStatic::event(QEvent* event) {
    if (const WindowMessage* m = AsWindowMessage(event)) {
        switch (m->Message()) {
        case UM_MOVIE_READY:
            if (owner_) owner_->MovieReady(camera_);
            return true;
        case UM_MOVIE_ENDED:
            if (owner_) owner_->MovieEnded(camera_);
            return true;
        case UM_MOVIE_PAUSED:
            return true;
        default:
            break;
        }
    }
    return playcore::VideoWidget::event(event);
}

void CMovieStatic::paintGL() {
    if (noData_.isEmpty()) {
        playcore::VideoWidget::paintGL();
        return;
    }
    QOpenGLFunctions* f = context()->functions();
    f->glClearColor(0, 0, 0, 1);
    f->glClear(GL_COLOR_BUFFER_BIT);
    QPainter painter(this);
    painter.setPen(Qt::white);
    painter.setFont(SharedFont(kFont13));
    painter.drawText(rect(), Qt::AlignCenter, noData_);
}

} // namespace kinetta
