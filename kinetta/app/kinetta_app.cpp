#include "kinetta/app/kinetta_app.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

#include <memory>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_location.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

bool InstallQtTranslations(QCoreApplication& app) {
    // Every text of the interface is Japanese, so Qt's own texts are too,
    // also on a desktop set to another language. The translator lives as
    // long as the application; installing twice keeps the first one.
    static QTranslator* installed = nullptr;
    if (installed) return true;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder)) {
        std::fprintf(stderr, "kinetta: Qt's Japanese texts (qtbase_ja.qm) are not in %s\n",
                     qPrintable(folder));
        return false;
    }
    installed = translator.release();
    installed->setParent(&app);
    app.installTranslator(installed);
    return true;
}

int CkinettaApp::Run(const char* programName, const AppStart& start) {
    // Qt sees the program's name only: the viewer's own arguments are read by main.
    int argc = 1;
    char name[256] = "kinetta";
    if (programName) {
        std::snprintf(name, sizeof name, "%s", programName);
    }
    char* argv[] = {name, nullptr};
    // The map's browser: its private scheme, before the application exists.
    map::PrepareWebEngineProcess();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat::setDefaultFormat(playcore::PresenterSurfaceFormat());
    QApplication qt(argc, argv);
    InstallQtTranslations(qt);

    QtMessageSink sink;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? static_cast<int>(screen->logicalDotsPerInchY()) : 96;
    playcore::SessionConfig config;
    config.sink = &sink;
    config.logicalDpi = dpi;
    playcore::Session().Configure(std::move(config));
    CkinettaDlg::Hooks hooks;
    const SettingsLocation location =
        ChooseSettingsLocation(start.desktop, QDir::currentPath().toStdString(),
                               std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (!location.note.empty())
        std::fprintf(stderr, "kinetta: settings kept in %s: %s\n", location.directory.c_str(),
                     location.note.c_str());
    hooks.settingsDirectory = location.directory;
    hooks.openPath = start.openPath;
    {
        auto dlg = std::make_unique<CkinettaDlg>(playcore::Session(), std::move(hooks));
        dlg->StartupStage1();
        dlg->show();
        qt.exec();
        dlg->Shutdown();
    }
    return 0;
}

} // namespace kinetta
