#pragma once
// ServicesFeature: the viewer's services as a feature: the settings dialog
// (created at start-up, laid out with the window, opened by command 38016
// at any time, even near the end of a movie), the update check (started in
// the second start-up stage, stopped first of all at shutdown) and its
// notice (UM_UPDATE_FOUND, its row of the message table), the
// browser-component notice in the notice's compact form at the end of the
// first start-up stage, and the redraw when the display comes back on.
//
// UI thread, except the update check's worker, which only posts UM_UPDATE_FOUND.

#include <functional>
#include <memory>
#include <string>

#include "kinetta/services/update_check.h"
#include "kinetta/shell/viewer_feature.h"

namespace kinetta {

class CSettingDlg;
class CUpdateDialog;
class CUpdateCheckAsync;
class DisplayPowerWatch;

class ServicesFeature : public ViewerFeature {
public:
    struct Options {
        UpdateEndpoints endpoints; // the update check's addresses
        // Whether the browser component that shows the map is missing.
        std::function<bool()> browserComponentMissing;
        // The address the notice links to; empty: the Debian package's page.
        std::string browserComponentPage;
    };

    ServicesFeature(ViewerState& viewer, Options options);
    ~ServicesFeature() override;

    // The settings dialog, the update notice (null until one is shown) and the check.
    CSettingDlg* SettingsDialog() const { return settingDlg_; }
    CUpdateDialog* UpdateNotice() const { return updateDlg_.get(); }
    CUpdateCheckAsync* UpdateCheck() const { return inet_.get(); }
    // The display came back on: the current cameras are drawn again.
    void OnDisplayPowerOn();

    void OnMessage(const WindowMessage& message) override;
    void OnCommand(int id) override;

private:
    void ShowBrowserComponentNotice();
    // The update check, once per run: after start-up stage 2 and once the
    // start-up source has been read (its versions and model key are inputs).
    void StartUpdateCheckOnce();

    Options options_;
    // The settings dialog is a child deleted with the window; the notice is
    // a top-level window owned here.
    CSettingDlg* settingDlg_ = nullptr;
    std::unique_ptr<CUpdateDialog> updateDlg_;
    std::unique_ptr<CUpdateCheckAsync> inet_;
    std::unique_ptr<DisplayPowerWatch> displayPower_;
    bool stage2Done_ = false;    // start-up stage 2 has run
    bool updateChecked_ = false; // the update check has been started
};

} // namespace kinetta
