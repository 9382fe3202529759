#include "kinetta/skin/skin_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/command_target.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

int FrameCount(int pictureId, int fallback) {
    const SkinPictureInfo* info = FindSkinPicture(pictureId);
    return info && info->frames > 0 ? info->frames : fallback;
}

} // namespace

CSkinButton::CSkinButton(int pictureId, const QRect& rect, QWidget* parent, int controlId,
                         bool reportHold)
    : QAbstractButton(parent), pictureId_(pictureId), controlId_(controlId),
      reportHold_(reportHold) {
    setObjectName(QString::number(controlId));
    setFocusPolicy(Qt::NoFocus);
    setGeometry(rect);
    RebuildFrames();
    connect(this, &QAbstractButton::clicked, this,
            [this] { SendCommandToParent(this, controlId_); });
}

void CSkinButton::SetPicture(int pictureId, const QRect& rect) {
    rebuilding_ = true;
    pictureId_ = pictureId;
    setGeometry(rect);
    RebuildFrames();
    rebuilding_ = false;
    update();
}

void CSkinButton::RebuildFrames() {
    const int frames = FrameCount(pictureId_, kButtonFrameCount);
    strip_ = RenderSkinPicture(pictureId_, QSize(width() * frames, height()));
}

void CSkinButton::SetPressedLook(bool on) {
    if (pressedLook_ == on) return;
    pressedLook_ = on;
    update();
}

int CSkinButton::CurrentFrame() const {
    ButtonLook look;
    look.enabled = isEnabled();
    look.down = isDown();
    look.checked = isCheckable() && isChecked();
    look.pressedLook = pressedLook_;
    look.hover = hover_;
    look.rebuilding = rebuilding_;
    return ButtonFrame(look);
}

void CSkinButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int frames = FrameCount(pictureId_, kButtonFrameCount);
    const int frame = CurrentFrame();
    if (!strip_.isNull() && frame < frames) p.drawPixmap(0, 0, PictureFrame(strip_, frame, frames));
    if (!text().isEmpty()) {
        p.setFont(SharedFont(kFont10));
        p.setPen(frame == kFrameDisabled ? QColor(0x8A, 0x8A, 0x8A) : kSkinTextColor);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
}

void CSkinButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    // No hover frame while the pressed look shows or the frames are rebuilt.
    if (!pressedLook_ && !rebuilding_) update();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && reportHold_ && !held_ && isEnabled()) {
        held_ = true;
        PostWindowMessage(parentWidget(), UM_BUTTON_HELD, 0, controlId_);
        pressedLook_ = true;
        repaint();
    }
    // The base class takes the pointer (Qt grabs it for the pressed button).
    QAbstractButton::mousePressEvent(event);
}

void CSkinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && held_) {
        held_ = false;
        PostWindowMessage(parentWidget(), UM_BUTTON_RELEASED, 0, controlId_);
        pressedLook_ = false;
        repaint();
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void CSkinButton::changeEvent(QEvent* event) {
    // A disabled button receives no more pointer input, so a hold in progress
    // would never see its release: report the release now so that the owner
    // stops what the hold started.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && held_) {
        held_ = false;
        pressedLook_ = false;
        PostWindowMessage(parentWidget(), UM_BUTTON_RELEASED, 0, controlId_);
    }
    if (event->type() == QEvent::EnabledChange) update();
    QAbstractButton::changeEvent(event);
}

CSkinCheckButton::CSkinCheckButton(int pictureId, const QString& caption, const QRect& rect,
                                   QWidget* parent, int controlId)
    : QAbstractButton(parent), pictureId_(pictureId), controlId_(controlId) {
    setObjectName(QString::number(controlId));
    setCheckable(true);
    setText(caption);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(rect);
    Rescale();
    connect(this, &QAbstractButton::clicked, this,
            [this] { SendCommandToParent(this, controlId_); });
    show(); // created visible, like the platform's WS_VISIBLE child
}

void CSkinCheckButton::Rescale() {
    const double s = SkinScale();
    const int side = CheckBoxRect(s).Width();
    const int frames = FrameCount(pictureId_, kCheckFrameCount);
    strip_ = RenderSkinPicture(pictureId_, QSize(side * frames, side));
    update();
}

int CSkinCheckButton::CurrentFrame() const {
    return CheckBoxFrame(isChecked(), hoverBox_, isEnabled());
}

void CSkinCheckButton::paintEvent(QPaintEvent*) {
    const double s = SkinScale();
    const PixelRect box = CheckBoxRect(s);
    QPainter p(this);
    const int frames = FrameCount(pictureId_, kCheckFrameCount);
    const int frame = CurrentFrame();
    if (!strip_.isNull() && frame < frames)
        p.drawPixmap(box.left, box.top, PictureFrame(strip_, frame, frames));
    p.setFont(SharedFont(kFont10));
    p.setPen(isEnabled() ? palette().color(QPalette::WindowText) : QColor(0x8A, 0x8A, 0x8A));
    const int x = CheckCaptionX(s);
    // The caption's line is centred on the box.
    QRect textRect(x, 0, std::max(0, width() - x), box.top + box.bottom);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

void CSkinCheckButton::mouseMoveEvent(QMouseEvent* event) {
    const PixelRect box = CheckBoxRect(SkinScale());
    const QPoint pos = event->position().toPoint();
    const bool over = box.Contains({pos.x(), pos.y()});
    if (over != hoverBox_) {
        hoverBox_ = over;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CSkinCheckButton::leaveEvent(QEvent* event) {
    if (hoverBox_) {
        hoverBox_ = false;
        update();
    }
    QAbstractButton::leaveEvent(event);
}

} // namespace kinetta
