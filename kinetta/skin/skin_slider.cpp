#include "kinetta/skin/skin_slider.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/skin/skin_picture.h"

namespace kinetta {

CSkinSliderCtrl::CSkinSliderCtrl(int controlId, QWidget* parent, const std::array<int, 4>& pictures,
                                 bool interactive)
    : QWidget(parent), controlId_(controlId), pictures_(pictures), interactive_(interactive) {
    setObjectName(QString::number(controlId));
    setProperty("windowClass", QString::fromLatin1(kClassName));
    resize(width(), Scaled(SkinScale(), 10));
}

void CSkinSliderCtrl::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    update();
}

void CSkinSliderCtrl::SetPos(int position) {
    position_ = position;
    if (isVisible()) repaint();
}

void CSkinSliderCtrl::SetInteractive(bool on) {
    interactive_ = on;
}

void CSkinSliderCtrl::paintEvent(QPaintEvent*) {
    const double s = SkinScale();
    const SliderScale sc{min_, max_, width()};
    const QSize thumbStored = StoredPictureSize(pictures_[2]);
    const int th = Scaled(s, thumbStored.height());
    const int split = SliderSplitX(sc, position_);
    const PixelRect thumb =
        SliderThumbRect(sc, position_, {thumbStored.width(), thumbStored.height()}, s);

    COffScreenDC dc(size(), palette().color(QPalette::Window));
    QPainter& p = dc.Painter();
    DrawSkinPicture(p, pictures_[0], QRectF(0, 0, split, th));
    DrawSkinPicture(p, pictures_[1], QRectF(split + 1, 0, width() - split - 1, th));
    DrawSkinPicture(p, pictures_[dragging_ ? 3 : 2],
                    QRectF(thumb.left, thumb.top, thumb.Width(), thumb.Height()));
    QPainter window(this);
    dc.CopyTo(window);
}

void CSkinSliderCtrl::Post(int message) {
    PostWindowMessage(parentWidget(), message, static_cast<std::uintptr_t>(controlId_), tracked_);
}

void CSkinSliderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    // Qt keeps the pointer with this widget until release (the capture).
    const double s = SkinScale();
    const SliderScale sc{min_, max_, width()};
    const int x = static_cast<int>(std::floor(event->position().x()));
    if (!interactive_ || !SliderAcceptsX(sc, x, s)) return;
    const auto value = SliderValueAt(sc, x);
    if (!value) return;
    tracked_ = *value;
    const QSize thumbStored = StoredPictureSize(pictures_[2]);
    pressHitThumb_ = SliderHitsThumb(
        SliderThumbRect(sc, position_, {thumbStored.width(), thumbStored.height()}, s), x, s);
    dragging_ = true;
    Post(UM_SLIDER_BEGIN);
    update();
}

void CSkinSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    if (!interactive_) {
        dragging_ = false;
        releaseMouse();
        update();
        return;
    }
    const SliderScale sc{min_, max_, width()};
    const int x = static_cast<int>(std::floor(event->position().x()));
    if (!SliderAcceptsX(sc, x, SkinScale())) return;
    const auto value = SliderValueAt(sc, x);
    if (!value) return;
    tracked_ = *value;
    Post(UM_SLIDER_TRACK);
}

void CSkinSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (dragging_) {
        dragging_ = false;
        Post(UM_SLIDER_END);
        update();
    }
}

} // namespace kinetta
