#include "kinetta/skin/msg_box.h"
#include "kinetta/base/ui_text.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"

namespace kinetta {

namespace {

constexpr int kTextControlId = 1013;

QRect ToQRect(const PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The button's text from the interface-text table.
QString ButtonText(int type, int button) {
    switch (MessageBoxButtonResult(type, button)) {
    case kIdOk:
        return Text(kStrOk);
    case kIdCancel:
        return Text(kStrCancel);
    case kIdYes:
        return Text(kStrYes);
    default:
        return Text(kStrNo);
    }
}

} // namespace

CMsgDlg::CMsgDlg(const QString& text, const QString& caption, int type, QWidget* owner)
    : CSkinDialog(owner), type_(type) {
    setModal(true);
    setWindowTitle(caption);
    SetBackground(Qt::white);
    const double s = SkinScale();

    // The text's size as drawn with the dialog's font, lines and all.
    const QFont& font = SharedFont(kFont10);
    const QRect measured = QFontMetrics(font).boundingRect(
        QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::TextExpandTabs, text);
    layout_ = LayoutMessageBox({measured.width(), measured.height()}, type, s);

    // Messages carry file and folder names: shown as written, never as markup.
    text_ = new QLabel(this);
    text_->setTextFormat(Qt::PlainText);
    text_->setText(text);
    text_->setObjectName(QString::number(kTextControlId));
    text_->setFont(font);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = text_->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    text_->setPalette(pal);
    text_->setGeometry(ToQRect(layout_.text));

    first_ = new CSkinButton(kPicTextButton, ToQRect(layout_.first), this,
                             MessageBoxButtonResult(type, 0));
    first_->setText(ButtonText(type, 0));
    if (layout_.hasSecond) {
        second_ = new CSkinButton(kPicTextButton, ToQRect(layout_.second), this,
                                  MessageBoxButtonResult(type, 1));
        second_->setText(ButtonText(type, 1));
    }

    const QSize box(layout_.box.width, layout_.box.height);
    SetDesignSize(box);
    resize(box);
    // Centred over the owner, or over the screen when there is none.
    QRect over;
    if (owner && owner->isVisible())
        over = owner->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        over = screen->geometry();
    if (over.isValid()) move(over.center() - QPoint(box.width() / 2, box.height() / 2));
}

void CMsgDlg::OnCommand(int id) {
    if (id == kSkinCloseButtonId) return reject();
    if (id == kIdOk || id == kIdCancel || id == kIdYes || id == kIdNo) done(id);
}

void CMsgDlg::reject() {
    done(MessageBoxEscapeResult(type_));
}

void CMsgDlg::keyPressEvent(QKeyEvent* event) {
    // Enter answers with the first button; Escape reaches reject().
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        done(MessageBoxButtonResult(type_, 0));
        return;
    }
    CSkinDialog::keyPressEvent(event);
}

int CMsgBox::Show(QWidget* owner, const QString& text, const QString& caption, int type) {
    CMsgDlg dlg(text, caption, type, owner);
    return dlg.exec();
}

} // namespace kinetta
