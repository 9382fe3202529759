#pragma once
// CSettingDlg: the settings dialog (dialog 175). Six event switches (commands
// 32968..32973) choose which recorded event kinds the acceleration graph marks
// and the map shows; which are shown depends on the recorder family. A click
// toggles the switch and posts UM_SETTINGS_NOTIFY (wParam the switch index,
// lParam the new state) to the parent. Below them the explanation of the three
// viewer variants, the link to the viewer's download page (control 39100) and
// the version line (control 32981). Created once by the main window, hidden,
// and shown on demand; the switch states live for the run only.

#include <QGroupBox>
#include <QLabel>

#include <array>
#include <string>

#include "kinetta/base/recorder_family.h"
#include "kinetta/skin/skin_dialog.h"

namespace kinetta {

class CLinkCtrl;
class CSkinCheckButton;

class CSettingDlg : public CSkinDialog {
public:
    // notify: the window that receives UM_SETTINGS_NOTIFY (the main window).
    // viewerPage: the address of the viewer's download page.
    CSettingDlg(QWidget* notify, const std::string& viewerPage);

    void OnCommand(int id) override;

    // The layout pass the main window runs whenever it lays itself out: the
    // family's switches and size, centred on the monitor nearest to anchor
    // (the main window's top-left corner), and the whole explanation text.
    void LayOutFor(RecorderFamily family, const QPoint& anchor);

    CSkinCheckButton* Switch(int index) const;
    QLabel* Explanation() const { return explanation_; }
    CLinkCtrl* Link() const { return link_; }
    QLabel* VersionLine() const { return version_; }
    QGroupBox* EventGroup() const { return eventGroup_; }
    QGroupBox* AboutGroup() const { return aboutGroup_; }
    bool SwitchState(int index) const;

private:
    QWidget* notify_;
    std::array<CSkinCheckButton*, 6> switches_{};
    std::array<bool, 6> states_{true, true, true, true, true, true}; // UI thread
    QGroupBox* eventGroup_ = nullptr;
    QGroupBox* aboutGroup_ = nullptr;
    QLabel* explanation_ = nullptr;
    CLinkCtrl* link_ = nullptr;
    QLabel* version_ = nullptr;
};

} // namespace kinetta
