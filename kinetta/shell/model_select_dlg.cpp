#include "kinetta/shell/model_select_dlg.h"
#include "kinetta/base/ui_text.h"

#include <QGuiApplication>
#include <QScreen>

#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_geometry.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

CModelSelectDlg::CModelSelectDlg(QWidget* parent) : CSkinDialog(parent) {
    setObjectName("CModelSelectDlg");
    setModal(true);
    setWindowTitle(Text(kStrProductSelectCaption));
    const double s = SkinScale();
    const int w = Scaled(s, 640);
    const int h = Scaled(s, 270) / 2;
    SetDesignSize(QSize(w, h));
    resize(w, h);

    const int strip = TitleStripHeight(s);
    const int margin = Scaled(s, 20);
    const int buttonH = Scaled(s, 32);
    prompt_ = new QLabel(this);
    prompt_->setTextFormat(Qt::PlainText);
    prompt_->setText(QStringLiteral("\n") + Text(kStrProductSelectPrompt));
    prompt_->setFont(SharedFont(kFont12));
    prompt_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    prompt_->setGeometry(margin, strip, w - 2 * margin, h - strip - buttonH - margin);

    const int buttonW = (w - 3 * margin) / 2;
    const int top = h - margin / 2 - buttonH;
    tx40_ =
        new CSkinButton(kPicTextButton, QRect(margin, top, buttonW, buttonH), this, kButtonTX40);
    tx40_->setText(Text(kStrProductTX40));
    tx40_->setObjectName("productTX40");
    tx50_ = new CSkinButton(kPicTextButton, QRect(2 * margin + buttonW, top, buttonW, buttonH),
                            this, kButtonTX50);
    tx50_->setText(Text(kStrProductTX50));
    tx50_->setObjectName("productTX50");
}

void CModelSelectDlg::OnCommand(int id) {
    if (id == kButtonTX40) return done(kResultTX40);
    if (id == kButtonTX50) return done(kResultTX50);
    if (id == kSkinCloseButtonId) return reject();
}

void CModelSelectDlg::reject() {
    // A shown dialog always answers: closing it is the cancel result, which
    // the family decision reads as its second button.
    done(kResultCancel);
}

void CModelSelectDlg::showEvent(QShowEvent* event) {
    CSkinDialog::showEvent(event);
    // Placed once the window exists on its monitor.
    PostWindowMessage(this, UM_MODELDLG_PLACE);
}

bool CModelSelectDlg::event(QEvent* event) {
    if (const WindowMessage* m = AsWindowMessage(event); m && m->Message() == UM_MODELDLG_PLACE) {
        PlaceOnMonitor();
        return true;
    }
    return CSkinDialog::event(event);
}

void CModelSelectDlg::PlaceOnMonitor() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

} // namespace kinetta
