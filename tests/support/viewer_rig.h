#pragma once
// The viewer as the window tests start it: a main window over its own playback
// session with simulated sound, in a settings folder of the test's, on a card
// that the removable-card lookup reports. Prompts answer "not shown", message
// boxes their first button. Runs on the test's (UI) thread.

#include <QDir>
#include <QString>
#include <QTest>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/recorder_family.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"

namespace ktest {

inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, ms);
}

// Writes the model marker that names a card's family into its root.
inline void WriteModelMarker(const std::string& cardRoot, kinetta::RecorderFamily family) {
    std::ofstream(cardRoot + (family == kinetta::RecorderFamily::TX50
                                  ? "/TX50_download.url"
                                  : "/TX40_40L_Viewer_download.url"))
        << "[InternetShortcut]\n";
}

struct ViewerRig {
    kinetta::QtMessageSink sink;
    playcore::PlaybackSession session;
    std::unique_ptr<kinetta::CkinettaDlg> dlg;
    std::string card;

    // home: the folder of the settings file (current at start-up). adjust may
    // change the hooks; beforeShow runs after the first start-up stage.
    ViewerRig(const std::string& home, std::string cardRoot, kinetta::RecorderFamily family,
              const std::function<void(kinetta::CkinettaDlg::Hooks&)>& adjust = {},
              const std::function<void(kinetta::CkinettaDlg&)>& beforeShow = {})
        : card(std::move(cardRoot)) {
        App();
        session.SetFamilyFlag(family == kinetta::RecorderFamily::TX40);
        QDir::setCurrent(QString::fromStdString(home));
        playcore::SessionConfig config;
        config.sink = &sink;
        config.makeAudioOutput = [] {
            return std::make_unique<playcore::SimulatedAudioOutput>(40 * 10000);
        };
        session.Configure(std::move(config));
        kinetta::CkinettaDlg::Hooks hooks;
        hooks.productPrompt = [] { return 0; };
        hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
        hooks.sourcePrompt = [](kinetta::SourceKind*, std::string*) { return false; };
        hooks.removableRoots = [this] { return std::vector<std::string>{card}; };
        // The map's browser control stays off unless a test asks for it.
        hooks.startMapBrowser = [] { return false; };
        hooks.browserComponentMissing = [] { return false; };
        if (adjust) adjust(hooks);
        dlg = std::make_unique<kinetta::CkinettaDlg>(session, hooks);
        kinetta::SetSettingsDirectory(home);
        dlg->StartupStage1();
        if (beforeShow) beforeShow(*dlg);
        dlg->show();
    }
    ~ViewerRig() {
        dlg.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    ViewerRig(const ViewerRig&) = delete;
    ViewerRig& operator=(const ViewerRig&) = delete;
};

} // namespace ktest
