#include "kinetta/skin/resize_dialog.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>

#include <charconv>
#include <string>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

namespace {

// The outline is redrawn at most this often while a border is dragged.
constexpr qint64 kOutlineStepNs = 88'880'000; // 0.08888 s

constexpr int kOutlineWidth = 3;

Qt::CursorShape ShapeFor(ResizeCursor c) {
    switch (c) {
    case ResizeCursor::SizeWE:
        return Qt::SizeHorCursor;
    case ResizeCursor::SizeNS:
        return Qt::SizeVerCursor;
    case ResizeCursor::SizeNWSE:
        return Qt::SizeFDiagCursor;
    case ResizeCursor::SizeNESW:
        return Qt::SizeBDiagCursor;
    case ResizeCursor::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

// "%f" of v, independent of the process locale (Qt sets the user's locale, in
// which "%f" may write a decimal comma).
std::string FormatMultiplier(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string("1.000000");
}

} // namespace

CResizeFrameWindow::CResizeFrameWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("resize frame"));
}

void CResizeFrameWindow::ShowAt(const QRect& rect) {
    setGeometry(rect);
    if (!isVisible()) show();
    update();
}

void CResizeFrameWindow::resizeEvent(QResizeEvent*) {
    // Only the frame itself is part of the window; the inside shows what lies below.
    const QRect outer = rect();
    const QRect inner =
        outer.adjusted(kOutlineWidth, kOutlineWidth, -kOutlineWidth, -kOutlineWidth);
    QRegion ring(outer);
    if (inner.isValid()) ring -= QRegion(inner);
    setMask(ring);
}

void CResizeFrameWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kSkinAccentColor);
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

CResizeDialog::CResizeDialog(QWidget* parent)
    : QDialog(parent), outline_(std::make_unique<CResizeFrameWindow>()) {
    setWindowFlag(Qt::FramelessWindowHint);
    setMouseTracking(true);
}

CResizeDialog::~CResizeDialog() = default;

void CResizeDialog::SetDesignSize(const QSize& pixels) {
    design_ = pixels;
    setMinimumSize(pixels);
}

void CResizeDialog::SetSettingsSection(const QString& section) {
    section_ = section;
    multipliers_ = {};
    if (section_.isEmpty()) return;
    const std::string sec = section_.toStdString();
    multipliers_.x = StoredMultiplier(ReadSetting(sec, "SCALEX").c_str());
    multipliers_.y = StoredMultiplier(ReadSetting(sec, "SCALEY").c_str());
}

void CResizeDialog::SaveMultipliers() const {
    if (section_.isEmpty()) return;
    const std::string sec = section_.toStdString();
    WriteSetting(sec, "SCALEX", FormatMultiplier(multipliers_.x));
    WriteSetting(sec, "SCALEY", FormatMultiplier(multipliers_.y));
}

void CResizeDialog::ApplyMultipliers() {
    const PixelSize size = SizeForMultipliers({design_.width(), design_.height()}, multipliers_);
    resize(size.width, size.height);
}

QSize CResizeDialog::MonitorSize() const {
    const QScreen* s = screen();
    return s ? s->geometry().size() : QSize(design_.width(), design_.height());
}

PixelRect CResizeDialog::WindowRect() const {
    const QRect g = frameGeometry();
    return PixelRect::FromSize(g.x(), g.y(), g.width(), g.height());
}

HitRegion CResizeDialog::HitTest(const QPoint& globalPos) const {
    return ResizeHitTest(WindowRect(), {globalPos.x(), globalPos.y()}, SkinScale(), fullScreen_);
}

PixelRect CResizeDialog::DraggedRect(const QPoint& globalPos) const {
    const QSize monitor = MonitorSize();
    return ResizeDragRect(WindowRect(), pressRegion_, {globalPos.x(), globalPos.y()},
                          {design_.width(), design_.height()}, {monitor.width(), monitor.height()});
}

bool CResizeDialog::event(QEvent* e) {
    // Children that set no cursor of their own would inherit a sizing arrow
    // left on the dialog by a border; give them the normal arrow.
    if (e->type() == QEvent::ChildPolished) {
        auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child());
        if (child && !child->isWindow() && !child->testAttribute(Qt::WA_SetCursor))
            child->setCursor(Qt::ArrowCursor);
    }
    return QDialog::event(e);
}

void CResizeDialog::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
    const QPoint global = e->globalPosition().toPoint();
    const HitRegion region = HitTest(global);
    if (region != HitRegion::Caption && !IsSizingRegion(region)) return QDialog::mousePressEvent(e);
    // Qt keeps the pointer with this window until release (the capture).
    pressed_ = true;
    pressRegion_ = region;
    pressGlobal_ = global;
    pressWindowPos_ = pos();
    stepped_ = false;
    stepTimer_.invalidate();
    outline_->hide();
}

void CResizeDialog::mouseMoveEvent(QMouseEvent* e) {
    const QPoint global = e->globalPosition().toPoint();
    if (!pressed_) {
        const HitRegion region = HitTest(global);
        if (IsSizingRegion(region))
            setCursor(ShapeFor(CursorForRegion(region)));
        else
            unsetCursor();
        return QDialog::mouseMoveEvent(e);
    }
    if (pressRegion_ == HitRegion::Caption) {
        const QPoint offset = global - pressGlobal_;
        move(pressWindowPos_ + offset);
        return;
    }
    if (stepTimer_.isValid() && stepTimer_.nsecsElapsed() < kOutlineStepNs) return;
    if (stepped_ && global == lastStepGlobal_) return;
    stepped_ = true;
    lastStepGlobal_ = global;
    stepTimer_.start();
    const PixelRect r = DraggedRect(global);
    outline_->ShowAt(QRect(r.left, r.top, r.Width(), r.Height()));
}

void CResizeDialog::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressed_) return QDialog::mouseReleaseEvent(e);
    pressed_ = false;
    const HitRegion region = pressRegion_;
    if (!IsSizingRegion(region)) return; // a move saves nothing
    const PixelRect r = DraggedRect(e->globalPosition().toPoint());
    outline_->hide();
    const QSize monitor = MonitorSize();
    multipliers_ = MultipliersForSize({r.Width(), r.Height()}, {design_.width(), design_.height()},
                                      {monitor.width(), monitor.height()});
    // The window has no system frame, so its geometry is its window rectangle.
    setGeometry(r.left, r.top, r.Width(), r.Height());
    SaveMultipliers();
    OnResizedByFrame();
}

void CResizeDialog::mouseDoubleClickEvent(QMouseEvent* e) {
    // The double-click ends the pressed state; it does not start another drag
    // (the base class would treat it as a second press).
    pressed_ = false;
    outline_->hide();
    OnDoubleClickRegion(HitTest(e->globalPosition().toPoint()));
    e->accept();
}

void CResizeDialog::OnDoubleClickRegion(HitRegion) {}

} // namespace kinetta
