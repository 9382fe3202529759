#include "kinetta/shell/movie_static.h"

#include <QCursor>
#include <QMouseEvent>
#include <QOpenGLPaintDevice>
#include <QPainter>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

CMovieStatic::CMovieStatic(int camera, MovieAreaOwner* owner, MovieViewState& view, QWidget* parent)
    : playcore::VideoWidget(parent), camera_(camera), owner_(owner), view_(view) {
    setObjectName(camera == 0 ? "movieArea0" : "movieArea1");
    setAttribute(Qt::WA_OpaquePaintEvent);
    pointer_ = new MovieAreaPointer(*this, this);
}

CMovieStatic::~CMovieStatic() {
    // The pointer's inertia timer asks this area questions: end it first.
    delete pointer_;
    pointer_ = nullptr;
}

void CMovieStatic::SetNoData(const QString& text) {
    if (noData_ == text) return;
    noData_ = text;
    RequestUpdate();
}

void CMovieStatic::Reset() {
    noData_.clear();
    RequestUpdate();
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

void CMovieStatic::resizeEvent(QResizeEvent* event) {
    // The engine places the picture in pixels of the area's size: it is told
    // first, so that the paint of the new size (inside the base class's
    // resizeEvent) already uses the new placement.
    if (owner_) owner_->AreaResized(camera_);
    playcore::VideoWidget::resizeEvent(event);
}

// ---- pointer -------------------------------------------------------------------

void CMovieStatic::mousePressEvent(QMouseEvent* event) {
    if (!pointer_->HandleMouseEvent(event)) playcore::VideoWidget::mousePressEvent(event);
}
void CMovieStatic::mouseMoveEvent(QMouseEvent* event) {
    if (!pointer_->HandleMouseEvent(event)) playcore::VideoWidget::mouseMoveEvent(event);
}
void CMovieStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (!pointer_->HandleMouseEvent(event)) playcore::VideoWidget::mouseReleaseEvent(event);
}
void CMovieStatic::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!pointer_->HandleMouseEvent(event)) playcore::VideoWidget::mouseDoubleClickEvent(event);
}

bool CMovieStatic::DragView(int camera, float dx, float dy, float scale) {
    return owner_ && owner_->DragView(camera, dx, dy, scale);
}
void CMovieStatic::CommitViewRotation(int camera) {
    if (owner_) owner_->CommitViewRotation(camera);
}
void CMovieStatic::ResetModelPose(int camera) {
    if (owner_) owner_->ResetModelPose(camera);
}
int CMovieStatic::CameraState(int camera) const {
    return owner_ ? owner_->CameraState(camera) : 0;
}
void CMovieStatic::Redraw(int camera) {
    if (owner_) owner_->Redraw(camera);
}
double CMovieStatic::ZoomFactor() const {
    return owner_ ? owner_->AreaZoom(camera_) : 1.0;
}
QPoint CMovieStatic::CursorPosition() const {
    return mapFromGlobal(QCursor::pos());
}
bool CMovieStatic::InZoomMode() const {
    return owner_ && owner_->InZoomMode();
}
bool CMovieStatic::NearEnd() const {
    return owner_ && owner_->PlaybackNearEnd();
}
void CMovieStatic::ReportClick(QPoint point) {
    if (owner_) owner_->AreaClicked(camera_, point);
}
void CMovieStatic::ResetViewScale() {
    if (owner_) owner_->AreaResetViewScale(camera_);
}
void CMovieStatic::RequestFullScreen() {
    if (owner_) owner_->AreaFullScreen(camera_);
}
void CMovieStatic::OpenMenu(QPoint globalPoint) {
    if (owner_) owner_->AreaMenu(camera_, globalPoint);
}

void CMovieStatic::PaintSurface(unsigned framebuffer) {
    if (noData_.isEmpty()) {
        playcore::VideoWidget::PaintSurface(framebuffer);
        return;
    }
    ClearSurface(framebuffer);
    // The text is drawn in the area's own units, into the bound framebuffer.
    QOpenGLPaintDevice device(SurfaceSize());
    device.setDevicePixelRatio(devicePixelRatioF());
    QPainter painter(&device);
    painter.setPen(Qt::white);
    painter.setFont(SharedFont(kFont13));
    painter.drawText(rect(), Qt::AlignCenter, noData_);
}

} // namespace kinetta
