#pragma once
// CMsgBox (shown in a CMsgDlg): the program's own message box.
//
// The program's own modal message box. Types: 0 one button "OK"; 1 "OK" and
// "キャンセル"; 4 "はい" and "いいえ". Results: 1 "OK", 2 "キャンセル", 6 "はい",
// 7 "いいえ"; Escape (and the close button) count as the second button, 2 or 7.

#include <QLabel>
#include <QString>

#include "kinetta/skin/skin_dialog.h"
#include "kinetta/skin/skin_geometry.h"

namespace kinetta {

class CSkinButton;

// The message box dialog (resource 326): white client area, caption in the
// title strip, the text (control 1013) in the 10-point font, one or two buttons.
class CMsgDlg : public CSkinDialog {
public:
    CMsgDlg(const QString& text, const QString& caption, int type, QWidget* owner = nullptr);

    void OnCommand(int id) override;
    void reject() override;

    int Type() const { return type_; }
    const MessageBoxLayout& Layout() const { return layout_; }
    CSkinButton* FirstButton() const { return first_; }
    CSkinButton* SecondButton() const { return second_; }
    QLabel* TextLabel() const { return text_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int type_;
    MessageBoxLayout layout_;
    QLabel* text_ = nullptr;
    CSkinButton* first_ = nullptr;
    CSkinButton* second_ = nullptr;
};

class CMsgBox {
public:
    // Shows the box centred over owner (the screen when there is none) and
    // returns the result once the user has closed it.
    static int Show(QWidget* owner, const QString& text, const QString& caption, int type);
};

} // namespace kinetta
