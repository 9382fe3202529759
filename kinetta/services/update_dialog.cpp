#include "kinetta/base/ui_text.h"
#include "kinetta/services/update_dialog.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "kinetta/services/link_ctrl.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"

namespace kinetta {

CUpdateDialog::CUpdateDialog(bool compact, QWidget* parent)
    : CSkinDialog(parent), compact_(compact) {
    setObjectName(QStringLiteral("CUpdateDialog"));
    setWindowFlag(Qt::Window, true);
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    link_ = new CLinkCtrl(kLinkControl, this);
    QPalette pal = link_->palette();
    pal.setColor(QPalette::WindowText, kSkinTextColor);
    pal.setColor(QPalette::Link, kSkinAccentColor);
    link_->setPalette(pal);
    close_ = new QPushButton(Text(kStrOk), this);
    close_->setObjectName(QString::number(kCloseControl));
    connect(close_, &QPushButton::clicked, this, [this] { OnCommand(kCloseControl); });
    Rescale();

    // Normal form: centred on the monitor of the dialog; compact: on the desktop.
    QScreen* screen = compact_
                          ? QGuiApplication::primaryScreen()
                          : (this->screen() ? this->screen() : QGuiApplication::primaryScreen());
    if (screen) {
        const QRect area = compact_ ? screen->virtualGeometry() : screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void CUpdateDialog::SetMessage(const std::string& markup) {
    link_->SetMarkup(markup);
}

void CUpdateDialog::Rescale() {
    const double s = SkinScale();
    SetDesignSize(QSize(Scaled(s, 640), Scaled(s, compact_ ? 320 : 480)));
    resize(DesignSize());
    link_->setFont(SharedFont(kFont10));
    close_->setFont(SharedFont(kFont10));
    CSkinDialog::Rescale();
    PlaceControls();
}

void CUpdateDialog::resizeEvent(QResizeEvent* event) {
    CSkinDialog::resizeEvent(event);
    PlaceControls();
}

void CUpdateDialog::PlaceControls() {
    if (!link_ || !close_) return;
    const double s = SkinScale();
    const int margin = Scaled(s, 20);
    const int buttonW = Scaled(s, 100), buttonH = Scaled(s, 30);
    const int top = TitleStripHeight(s) + margin;
    close_->setGeometry(width() - Scaled(s, 15) - buttonW, height() - Scaled(s, 15) - buttonH,
                        buttonW, buttonH);
    link_->setGeometry(margin, top, std::max(0, width() - 2 * margin),
                       std::max(0, close_->y() - Scaled(s, 10) - top));
}

} // namespace kinetta
