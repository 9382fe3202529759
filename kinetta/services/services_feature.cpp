#include "kinetta/services/services_feature.h"

#include <QWidget>

#include "kinetta/base/ui_strings.h"
#include "kinetta/services/display_power_watch.h"
#include "kinetta/services/setting_dlg.h"
#include "kinetta/services/update_check_async.h"
#include "kinetta/services/update_dialog.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

namespace {
// The Debian package that holds Qt WebEngine's helper process
// (/usr/lib/qt6/libexec/QtWebEngineProcess), whose absence the notice reports.
constexpr std::string_view kBrowserComponentPage =
    "https://packages.debian.org/bookworm/libqt6webenginecore6-bin";

QString Utf8(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

ServicesFeature::ServicesFeature(ViewerState& viewer, Options options)
    : ViewerFeature(viewer), options_(std::move(options)) {
    inet_ = std::make_unique<CUpdateCheckAsync>(viewer.Window(), options_.endpoints);
    settingDlg_ = new CSettingDlg(viewer.Window(), options_.endpoints.viewerPage);
    displayPower_ = std::make_unique<DisplayPowerWatch>([this] { OnDisplayPowerOn(); });

    connect(&viewer, &ViewerState::StartupStageDone, this, [this](int stage) {
        if (stage == 1) {
            // Start-up waits until the user closes the notice.
            if (options_.browserComponentMissing && options_.browserComponentMissing())
                ShowBrowserComponentNotice();
        } else if (stage == 2) {
            stage2Done_ = true;
            StartUpdateCheckOnce();
        }
    });
    // The start-up source is read in the background and may arrive after stage 2.
    connect(&viewer, &ViewerState::SourceOpened, this, [this] {
        if (stage2Done_) StartUpdateCheckOnce();
    });
    connect(&viewer, &ViewerState::LaidOut, this, [this](const FeaturePlaces& p) {
        settingDlg_->LayOutFor(CurrentFamily(), p.windowTopLeft);
    });
    connect(&viewer, &ViewerState::ShuttingDown, this, [this](ShutdownStep step) {
        if (step == ShutdownStep::kStopWork) {
            // A transfer in progress is aborted.
            displayPower_.reset();
            inet_->Stop();
            viewer_.Note("update check stopped");
        } else if (step == ShutdownStep::kEndWindows) {
            updateDlg_.reset();
            settingDlg_->hide();
            viewer_.Note("update notice closed");
        }
    });
}

ServicesFeature::~ServicesFeature() = default;

void ServicesFeature::StartUpdateCheckOnce() {
    // The versions the recording list gathered from the card, and its model key.
    const Catalogue* source = viewer_.Source();
    if (updateChecked_ || !source) return;
    updateChecked_ = true;
    inet_->StartUpdateCheck(source->FirmwareVersion(), source->GpsDataVersion(),
                            viewer_.ModelKey());
}

void ServicesFeature::OnMessage(const WindowMessage&) {
    // UM_UPDATE_FOUND. A child of the desktop, owned here; shown modeless.
    updateDlg_ = std::make_unique<CUpdateDialog>(false, nullptr);
    updateDlg_->SetMessage(inet_->Message());
    updateDlg_->setWindowTitle(Utf8(UiString(kStrUpdateCaption))); // "ソフトの更新情報"
    updateDlg_->show();
}

void ServicesFeature::OnCommand(int) {
    // Command 38016: the settings dialog, laid out for the window's place now.
    settingDlg_->LayOutFor(CurrentFamily(), viewer_.Window()->geometry().topLeft());
    settingDlg_->show();
    settingDlg_->raise();
    settingDlg_->activateWindow();
}

void ServicesFeature::ShowBrowserComponentNotice() {
    // The compact form of the notice.
    CUpdateDialog notice(true, nullptr);
    const std::string page = options_.browserComponentPage.empty()
                                 ? std::string(kBrowserComponentPage)
                                 : options_.browserComponentPage;
    const std::string text = std::string(UiString(kStrBrowserComponentMissingText));
    notice.SetMessage(text + "URL : <a href=\"" + EscapeMarkup(page) + "\">" + EscapeMarkup(page) +
                      "</a>\r\n");
    notice.setWindowTitle(Utf8(UiString(kStrBrowserComponentMissingCaption)));
    notice.exec();
}

void ServicesFeature::OnDisplayPowerOn() {
    if (viewer_.ShutDown() || !viewer_.Started()) return;
    viewer_.Session().Redraw(viewer_.CameraSelection());
}

} // namespace kinetta
