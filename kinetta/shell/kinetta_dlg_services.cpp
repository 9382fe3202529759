// The main window's side of the services: the settings dialog (created at
// start-up, laid out with the window, opened by command 38016), the update
// check (started in the second start-up stage, stopped first at shutdown) and
// its notice, the browser-component notice in the notice's compact form, and
// the redraw when the display comes back on.

#include <QGuiApplication>
#include <QScreen>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/base/window_message.h"
#include "kinetta/services/display_power_watch.h"
#include "kinetta/services/inet_connection_async.h"
#include "kinetta/services/setting_dlg.h"
#include "kinetta/services/update_dialog.h"
#include "kinetta/shell/kinetta_dlg.h"

namespace kinetta {

namespace {
// Where the browser component that shows the map comes from on this system.
constexpr std::string_view kBrowserComponentPage =
    "https://packages.debian.org/bookworm/libqt6webenginecore6";

QString Utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

CSettingDlg* CkinettaDlg::SettingsDialog() const {
    return settingDlg_;
}

CUpdateDialog* CkinettaDlg::UpdateNotice() const {
    return updateDlg_.get();
}

CInetConnectionAsync* CkinettaDlg::UpdateCheck() const {
    return inet_.get();
}

void CkinettaDlg::CreateServices() {
    const UpdateEndpoints endpoints =
        hooks_.updateEndpoints ? hooks_.updateEndpoints() : InstalledUpdateEndpoints();
    inet_ = std::make_unique<CInetConnectionAsync>(this, endpoints);
    settingDlg_ = new CSettingDlg(this, endpoints.viewerPage); // deleted with the window
    displayPower_ = std::make_unique<DisplayPowerWatch>([this] { OnDisplayPowerOn(); });
}

void CkinettaDlg::StartUpdateCheck() {
    if (!inet_ || !catalogue_) return;
    // The versions the recording list gathered from the card, and its model key.
    inet_->StartUpdateCheck(catalogue_->FirmwareVersion(), catalogue_->GpsDataVersion(), modelKey_);
}

void CkinettaDlg::StopServices() {
    displayPower_.reset();
    if (inet_) inet_->Stop();
}

void CkinettaDlg::EndServiceWindows() {
    updateDlg_.reset();
    if (settingDlg_) settingDlg_->hide();
}

void CkinettaDlg::OnUpdateFound() {
    if (!inet_) return;
    // A child of the desktop, owned by the main window; shown modeless.
    updateDlg_ = std::make_unique<CUpdateDialog>(false, nullptr);
    updateDlg_->SetMessage(inet_->Message());
    updateDlg_->setWindowTitle(Utf8(UiString(kStrUpdateCaption))); // "ソフトの更新情報"
    updateDlg_->show();
}

void CkinettaDlg::ShowBrowserComponentNotice() {
    // The compact form of the notice; start-up waits until the user closes it.
    CUpdateDialog notice(true, nullptr);
    const std::string page = hooks_.browserComponentPage.empty()
                                 ? std::string(kBrowserComponentPage)
                                 : hooks_.browserComponentPage;
    const std::string text = std::string(UiString(kStrWebViewMissingText));
    notice.SetMessage(text + "URL : <a href=\"" + EscapeMarkup(page) + "\">" + EscapeMarkup(page) +
                      "</a>\r\n");
    notice.setWindowTitle(Utf8(UiString(kStrWebViewMissingCaption)));
    notice.exec();
}

void CkinettaDlg::ShowSettingsDialog() {
    if (!settingDlg_) return;
    LayOutSettingsDialog();
    settingDlg_->show();
    settingDlg_->raise();
    settingDlg_->activateWindow();
}

void CkinettaDlg::LayOutSettingsDialog() {
    if (settingDlg_) settingDlg_->LayOutFor(CurrentFamily(), geometry().topLeft());
}

void CkinettaDlg::OnDisplayPowerOn() {
    if (shutDown_ || !stage1Done_) return;
    Redraw(cameraSelection_);
}

} // namespace kinetta
