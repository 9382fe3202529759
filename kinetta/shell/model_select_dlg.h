#pragma once
// CModelSelectDlg: the product selection asked on the first run when the card
// names no family. Button 1 "TX40/40L" ends it with 1, button 2 "TX50" with 2;
// closing it (its close button or Escape) ends it with the dialog's cancel
// result, 2, the same as button 2. trunc(640S) wide and trunc(270S) / 2 high,
// centred on its monitor after its first layout (UM_MODELDLG_PLACE).

#include <QLabel>

#include "kinetta/skin/skin_dialog.h"

namespace kinetta {

class CSkinButton;

class CModelSelectDlg : public CSkinDialog {
public:
    static constexpr int kResultTX40 = 1;
    static constexpr int kResultTX50 = 2;
    static constexpr int kResultCancel = 2; // closed without a button: as "TX50"
    static constexpr int kButtonTX40 = 1001;
    static constexpr int kButtonTX50 = 1002;

    explicit CModelSelectDlg(QWidget* parent = nullptr);

    void OnCommand(int id) override;
    CSkinButton* Button(int result) const { return result == kResultTX50 ? tx50_ : tx40_; }
    QLabel* Prompt() const { return prompt_; }

    // The close button and Escape.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceOnMonitor();

    QLabel* prompt_ = nullptr;
    CSkinButton* tx40_ = nullptr;
    CSkinButton* tx50_ = nullptr;
};

} // namespace kinetta
