#include "kinetta/skin/skin_dialog.h"

#include <QIcon>
#include <QPainter>
#include <QResizeEvent>

#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {
QRect ToQRect(const PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}
} // namespace

CSkinDialog::CSkinDialog(QWidget* parent) : CResizeDialog(parent), background_(kSkinWindowColor) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background_);
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    setPalette(pal);
    close_ = new CSkinButton(kPicDialogClose, ToQRect(CloseButtonRect(width(), SkinScale())), this,
                             kSkinCloseButtonId);
}

void CSkinDialog::OnCommand(int id) {
    if (id == 1)
        accept();
    else if (id == 2 || id == kSkinCloseButtonId)
        reject();
}

void CSkinDialog::SetBackground(const QColor& colour) {
    background_ = colour;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
    update();
}

void CSkinDialog::Rescale() {
    PlaceCloseButton();
}

void CSkinDialog::PlaceCloseButton() {
    if (close_) close_->SetPicture(kPicDialogClose, ToQRect(CloseButtonRect(width(), SkinScale())));
}

void CSkinDialog::resizeEvent(QResizeEvent* event) {
    PlaceCloseButton();
    CResizeDialog::resizeEvent(event);
}

void CSkinDialog::PaintTitleStrip(QPainter& p) {
    const double s = SkinScale();
    const int strip = TitleStripHeight(s);
    p.fillRect(0, 0, width(), strip, kSkinTitleColor);
    const QIcon icon = windowIcon();
    const bool hasIcon = !icon.isNull();
    if (hasIcon) {
        const int side = CaptionIconSize(s);
        icon.paint(&p, QRect(0, (strip - side) / 2, side, side));
    }
    p.setFont(SharedFont(kFont10));
    p.setPen(kSkinTextColor);
    const int x = CaptionTextX(s, hasIcon);
    const int closeLeft = CloseButtonRect(width(), s).left;
    p.drawText(QRect(x, 0, std::max(0, closeLeft - x), strip),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
}

void CSkinDialog::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background_);
    PaintTitleStrip(p);
}

} // namespace kinetta
