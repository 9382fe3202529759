#pragma once
// CUpdateDialog: the update notice (dialog 220), a skinned, resizable dialog
// without caption bar and frame, with a link control (1011) showing the notice
// and a close button (2). Normal form 640 x 480 design units centred on the
// monitor of the dialog; compact form (the browser-component notice)
// 640 x 320 units centred on the desktop. Shown modeless.

#include <string>

#include "kinetta/skin/skin_dialog.h"

class QPushButton;

namespace kinetta {

class CLinkCtrl;

class CUpdateDialog : public CSkinDialog {
public:
    static constexpr int kDialogResource = 220;
    static constexpr int kLinkControl = 1011;
    static constexpr int kCloseControl = 2;

    explicit CUpdateDialog(bool compact = false, QWidget* parent = nullptr);

    // The notice text (link markup, UTF-8) and the caption.
    void SetMessage(const std::string& markup);
    bool Compact() const { return compact_; }
    CLinkCtrl* Link() const { return link_; }
    QPushButton* CloseControl() const { return close_; }

    void Rescale() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceControls();

    bool compact_;
    CLinkCtrl* link_ = nullptr;
    QPushButton* close_ = nullptr;
};

} // namespace kinetta
