#include "kinetta/skin/skin_progress.h"

#include <QPainter>

#include <algorithm>

#include "kinetta/base/display_scale.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_picture.h"

namespace kinetta {

namespace {
const QColor kBarBlue{0, 0, 255};
const QColor kBarWhite{255, 255, 255};
} // namespace

CSkinProgressBarCtrl::CSkinProgressBarCtrl(int controlId, QWidget* parent)
    : QWidget(parent), controlId_(controlId) {
    setObjectName(QString::number(controlId));
    setProperty("windowClass", QString::fromLatin1(kClassName));
    resize(width(), ProgressBarHeight(SkinScale()));
}

void CSkinProgressBarCtrl::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    update();
}

void CSkinProgressBarCtrl::SetPos(int position) {
    position_ = position;
    update();
}

void CSkinProgressBarCtrl::SetDetail(const QString& text) {
    if (text == detail_) return;
    detail_ = text;
    update();
}

QString CSkinProgressBarCtrl::Text() const {
    return QStringLiteral("%1 %").arg(position_);
}

void CSkinProgressBarCtrl::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    const int fill = ProgressFillWidth(position_, min_, max_, w);
    const PixelRect box = ProgressTextBox(w, h, SkinScale());
    const QRect textRect(box.left, box.top, box.Width(), box.Height());
    const QRect blue(0, 0, fill, h);
    const QRect white(fill, 0, w - fill, h);

    COffScreenDC dc(size(), kBarWhite);
    QPainter& p = dc.Painter();
    p.fillRect(blue, kBarBlue);
    p.setFont(SharedFont(kFont10));
    const QString text = Text();
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    // The same text twice, each clipped to the part whose colour it contrasts with.
    // The detail line from the percentage's box to the bar's end, cut short
    // with an ellipsis where the bar is narrow.
    const int gap = Scaled(SkinScale(), 8);
    const QRect detailRect(box.right + gap, 0, std::max(0, w - box.right - 2 * gap), h);
    const QString detail = p.fontMetrics().elidedText(detail_, Qt::ElideRight, detailRect.width());
    const int detailFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    p.setClipRect(blue);
    p.setPen(kBarWhite);
    p.drawText(textRect, flags, text);
    if (!detail.isEmpty()) p.drawText(detailRect, detailFlags, detail);
    p.setClipRect(white);
    p.setPen(kBarBlue);
    p.drawText(textRect, flags, text);
    if (!detail.isEmpty()) p.drawText(detailRect, detailFlags, detail);
    p.setClipping(false);
    QPainter window(this);
    dc.CopyTo(window);
}

} // namespace kinetta
