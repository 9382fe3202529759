#include "kinetta/shell/kinetta_app.h"

#include <QApplication>
#include <QScreen>
#include <QSurfaceFormat>

#include <cstdio>

#include <memory>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/session/playback_session.h"

namespace kinetta {

int CkinettaApp::Run(const char* programName) {
    // Qt sees the program's name only: the viewer takes no arguments.
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

    QtMessageSink sink;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? static_cast<int>(screen->logicalDotsPerInchY()) : 96;
    playcore::SessionConfig config;
    config.sink = &sink;
    config.logicalDpi = dpi;
    playcore::Session().Configure(std::move(config));
    {
        auto dlg = std::make_unique<CkinettaDlg>(playcore::Session());
        dlg->StartupStage1();
        dlg->show();
        qt.exec();
        dlg->Shutdown();
    }
    return 0;
}

} // namespace kinetta
