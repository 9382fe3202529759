#include "kinetta/skin/movie_dialog.h"
#include "kinetta/base/ui_text.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

QRect CloseRect(int clientWidth, double s) {
    const PixelRect r = CloseButtonRect(clientWidth, s); // t(13) x t(12), t(20) from the right
    return QRect(r.left, r.top, r.Width(), r.Height());
}

} // namespace

QSize FloatingDesignSize(FloatingKind kind, double s) {
    const int w = Scaled(s, 375);
    if (kind == FloatingKind::Map) {
        const int h = Scaled(s, 4) - (w - Scaled(s, 1100) + 2 * Scaled(s, 8)) * 9 / 16 +
                      Scaled(s, 20) - static_cast<int>(s);
        return {w, h};
    }
    return {w, Scaled(s, 20) + Scaled(s, 4) + (9 * w - 18 * Scaled(s, 4)) / 16};
}

QString CMovieDialog::SectionFor(FloatingKind kind) {
    return kind == FloatingKind::Map ? QStringLiteral("MAPDISPLAY")
                                     : QStringLiteral("MOVIEDISPLAY");
}

CMovieDialog::CMovieDialog(FloatingKind kind, QObject* owner)
    : CResizeDialog(nullptr), kind_(kind), owner_(owner) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setObjectName(SectionFor(kind));
    setWindowTitle(Text(kind == FloatingKind::Map ? kStrMapCaption : kStrCameraRear));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSkinWindowColor);
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    setPalette(pal);
    const double s = SkinScale();
    SetDesignSize(FloatingDesignSize(kind, s));
    SetSettingsSection(SectionFor(kind)); // reads "SCALEX"/"SCALEY"
    ApplyMultipliers();
    close_ = new CSkinButton(kPicFloatingClose, CloseRect(width(), s), this, kSkinCloseButtonId);
}

QRect CMovieDialog::InnerRect() const {
    const double s = SkinScale();
    const int border = Scaled(s, 4);
    const int strip = Scaled(s, 20);
    return QRect(border, strip, std::max(0, width() - 2 * border),
                 std::max(0, height() - strip - border));
}

void CMovieDialog::PutAtDefaultPlace(const QRect& rect) {
    setGeometry(rect);
    const QSize monitor = MonitorSize();
    SetMultipliers(MultipliersForSize({rect.width(), rect.height()},
                                      {DesignSize().width(), DesignSize().height()},
                                      {monitor.width(), monitor.height()}));
    SaveMultipliers();
    show();
    raise();
}

void CMovieDialog::SetLayeredAlpha(int alpha) {
    setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

void CMovieDialog::OnCommand(int id) {
    if (id != kSkinCloseButtonId) return;
    if (closeAction_)
        closeAction_();
    else
        hide();
}

void CMovieDialog::Rescale() {
    SetDesignSize(FloatingDesignSize(kind_, SkinScale()));
    ApplyMultipliers();
    PlaceCloseButton();
}

void CMovieDialog::PlaceCloseButton() {
    if (close_) close_->SetPicture(kPicFloatingClose, CloseRect(width(), SkinScale()));
}

void CMovieDialog::Notify(int message) {
    PostWindowMessage(owner_.data(), message, 0, reinterpret_cast<std::intptr_t>(this));
}

void CMovieDialog::paintEvent(QPaintEvent*) {
    const double s = SkinScale();
    const int border = Scaled(s, 4);
    const int strip = Scaled(s, 20);
    QPainter p(this);
    p.fillRect(rect(), kSkinWindowColor);
    p.fillRect(0, 0, width(), strip, kSkinFrameColor);
    // A pen of 2 x t(4) centred on the window's edge: t(4) of it lies inside.
    QPen pen(kSkinFrameColor);
    pen.setWidth(2 * border);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, width(), height()));
    p.setFont(SharedFont(kFont10));
    p.setPen(kSkinTextColor);
    const int x = CaptionTextX(s, false);
    const int closeLeft = CloseRect(width(), s).left();
    p.drawText(QRect(x, 0, std::max(0, closeLeft - x), strip),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());
    p.end();
    Notify(UM_WINDOW_PAINTED);
}

void CMovieDialog::resizeEvent(QResizeEvent* event) {
    PlaceCloseButton();
    CResizeDialog::resizeEvent(event);
    Notify(UM_WINDOW_SIZED);
}

void CMovieDialog::mouseReleaseEvent(QMouseEvent* event) {
    const bool left = event->button() == Qt::LeftButton;
    CResizeDialog::mouseReleaseEvent(event);
    if (left) Notify(UM_RELAYOUT);
}

void CMovieDialog::changeEvent(QEvent* event) {
    // The window's maximised size and place are its current ones: maximising
    // leaves it as it is.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
    CResizeDialog::changeEvent(event);
}

void CMovieDialog::closeEvent(QCloseEvent* event) {
    SaveMultipliers();
    CResizeDialog::closeEvent(event);
}

void CMovieDialog::OnDoubleClickRegion(HitRegion region) {
    if (region == HitRegion::Caption) Notify(UM_WINDOW_RESET);
}

} // namespace kinetta
