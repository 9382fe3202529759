#include "kinetta/skin/logo_dlg.h"

#include <QPainter>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_picture.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

CLogoDlg::CLogoDlg(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("logo panel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLogoDlg::ShowNow(bool visible) {
    // A deferred request still on its way is older than this one: it must
    // not undo it when it arrives.
    pendingVisible_ = visible;
    setVisible(visible);
}

void CLogoDlg::ShowDeferred(bool visible) {
    pendingVisible_ = visible;
    if (pending_) return; // the message on its way applies the latest request
    pending_ = true;
    PostWindowMessage(this, UM_LOGO_REFRESH);
}

bool CLogoDlg::SetLogoPicture(int picture) {
    picture = picture == 0 ? 0 : 1;
    if (picture == picture_) return false;
    picture_ = picture;
    if (isVisible()) repaint();
    return true;
}

int CLogoDlg::PictureId() const {
    return picture_ == 0 ? kPicMapLogoOffline : kPicMapLogo;
}

bool CLogoDlg::event(QEvent* e) {
    if (const auto* m = AsWindowMessage(e); m && m->Message() == UM_LOGO_REFRESH) {
        if (pending_) {
            pending_ = false;
            setVisible(pendingVisible_);
        }
        return true;
    }
    return QWidget::event(e);
}

void CLogoDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QSize stored = StoredPictureSize(PictureId());
    if (stored.isEmpty() || width() <= 0 || height() <= 0) return;
    const QSize fitted = stored.scaled(size(), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0,
                        fitted.width(), fitted.height());
    DrawSkinPicture(p, PictureId(), target);
}

} // namespace kinetta
