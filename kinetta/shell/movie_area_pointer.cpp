#include "kinetta/shell/movie_area_pointer.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

#include "kinetta/base/ui_strings.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

namespace {

bool ShowsStill(int state) {
    return state == 1 || state == 3; // Stopped or Paused: nothing repaints by itself
}

} // namespace

MovieAreaPointer::MovieAreaPointer(MovieAreaHost& host, QObject* parent)
    : QObject(parent), host_(host) {
    clickTimer_.setSingleShot(true);
    guardTimer_.setSingleShot(true);
    connect(&clickTimer_, &QTimer::timeout, this, [this] { ClickTimerFired(); });
    inertiaTimer_.setTimerType(Qt::PreciseTimer);
    inertiaTimer_.setInterval(Inertia::kPeriodMs);
    connect(&inertiaTimer_, &QTimer::timeout, this, [this] { InertiaStep(); });
}

int MovieAreaPointer::ClickIntervalMs() const {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

bool MovieAreaPointer::HandleMouseEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    switch (e->type()) {
    case QEvent::MouseButtonPress:
        if (e->button() == Qt::LeftButton) {
            Press(pos);
            return true;
        }
        if (e->button() == Qt::RightButton) {
            RightPress(e->globalPosition().toPoint());
            return true;
        }
        return false;
    case QEvent::MouseMove:
        if (!(e->buttons() & Qt::LeftButton)) return false;
        Move(pos);
        return true;
    case QEvent::MouseButtonRelease:
        if (e->button() != Qt::LeftButton) return false;
        Release(pos);
        return true;
    case QEvent::MouseButtonDblClick:
        if (e->button() != Qt::LeftButton) return false;
        DoubleClick(pos);
        return true;
    default:
        return false;
    }
}

void MovieAreaPointer::Press(QPoint pos) {
    if (guardTimer_.isActive() || host_.CameraState(host_.Camera()) == 0) return;
    clickTimer_.stop(); // a second press is no single click
    StopInertia();
    pressed_ = true;
    dragModel_ = host_.DisplayModel();
    pressPos_ = prevPos_ = pos;
    delta_ = {};
    offset_ = {};
    host_.CommitViewRotation(host_.Camera());
    host_.SetPointerCursor(ModelDrags(dragModel_) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void MovieAreaPointer::Move(QPoint pos) {
    if (!pressed_ || !ModelDrags(dragModel_)) return;
    const PixelDelta d = ClampedDelta(pos.x(), pos.y(), prevPos_.x(), prevPos_.y());
    prevPos_ = pos;
    delta_ = d;
    offset_.dx += d.dx;
    offset_.dy += d.dy;
    DragStep(d);
}

void MovieAreaPointer::DragStep(PixelDelta d) {
    const int cam = host_.Camera();
    const double zoom = host_.ZoomFactor();
    const QSize size = host_.ClientSize();
    const ViewDrag v = DragForMove(dragModel_, d, zoom, size.width(), size.height());
    const bool ok = host_.DragView(cam, v.dx, v.dy, static_cast<float>(zoom));
    if (!ok && v.dx == 0) {
        delta_ = {};
        offset_ = {};
        host_.CommitViewRotation(cam);
    } else if (ok && dragModel_ == 3) {
        // The dewarped view measures a drag from its committed pose: commit
        // each move so that the next one turns on from here, as the
        // controller bar's steps do. (The panorama scrolls incrementally.)
        host_.CommitViewRotation(cam);
    }
    if (ShowsStill(host_.CameraState(cam))) host_.Redraw(cam);
}

void MovieAreaPointer::Release(QPoint pos) {
    if (!pressed_) return;
    pressed_ = false;
    releasePos_ = pos;
    host_.SetPointerCursor(Qt::ArrowCursor);
    if (guardTimer_.isActive()) return;
    if (IsClickRelease(delta_)) clickTimer_.start(ClickIntervalMs());
    if (ModelDrags(dragModel_) && pos != pressPos_ &&
        ResumesInertia(pressPos_.x(), pressPos_.y(), pos.x(), pos.y(), delta_))
        StartInertia(dragModel_, delta_);
}

void MovieAreaPointer::ClickTimerFired() {
    // Only a click whose pointer stayed put: a press-and-move elsewhere is no
    // point to magnify.
    if (host_.CursorPosition() == releasePos_) host_.ReportClick(releasePos_);
}

void MovieAreaPointer::DoubleClick(QPoint) {
    if (guardTimer_.isActive() || host_.CameraState(host_.Camera()) == 0) return;
    clickTimer_.stop();
    pressed_ = false;
    host_.SetPointerCursor(Qt::ArrowCursor);
    host_.ResetViewScale();
    if (!host_.NearEnd() && !host_.InZoomMode()) host_.RequestFullScreen();
    // The release that follows and the events of the window changing size
    // must not start a click or a drag.
    guardTimer_.start(kGuardMs);
}

void MovieAreaPointer::RightPress(QPoint globalPos) {
    host_.OpenMenu(globalPos);
}

void MovieAreaPointer::ClearDragState() {
    delta_ = {};
    offset_ = {};
    StopInertia();
}

void MovieAreaPointer::SetInertiaPeriod(std::chrono::milliseconds period) {
    inertiaTimer_.setInterval(period);
}

void MovieAreaPointer::StartInertia(int model, PixelDelta last) {
    inertia_ = Inertia(model, last);
    inertiaModel_ = model;
    inertiaTimer_.start();
    InertiaStep(); // the first step at once, then one every period
}

void MovieAreaPointer::StopInertia() {
    inertiaTimer_.stop();
}

void MovieAreaPointer::InertiaStep() {
    const int cam = host_.Camera();
    if (!inertia_.Moving()) {
        // The motion died down: the engine is told the drag ended.
        StopInertia();
        host_.CommitViewRotation(cam);
        return;
    }
    const PixelDelta offset = inertia_.Step();
    const double zoom = host_.ZoomFactor();
    const QSize size = host_.ClientSize();
    const ViewDrag v = DragForMove(inertiaModel_, offset, zoom, size.width(), size.height());
    if (!host_.DragView(cam, v.dx, v.dy, static_cast<float>(zoom)) && v.dx == 0) {
        ClearDragState();
        host_.CommitViewRotation(cam);
        return;
    }
    if (ShowsStill(host_.CameraState(cam))) host_.Redraw(cam);
}

std::string_view NoDataText(int area) {
    if (area == 1) return UiString(kStrNoMovieDataRear);
    return CameraText(kStrNoMovieDataMain, kStrNoMovieDataFront);
}

void PaintNoDataText(QPainter& painter, const QRect& rect, int area) {
    const std::string_view text = NoDataText(area);
    painter.save();
    painter.setFont(SharedFont(kFont13));
    painter.setPen(kSkinTextColor);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine,
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    painter.restore();
}

} // namespace kinetta
