// The README's screenshot: the viewer playing a source with the map shown.
//
//   viewer-screenshot SETTINGS_DIR OUT.png
//
// SETTINGS_DIR holds the "Default_Folder.ini" the viewer starts with (its
// source and product); the run adds section "MAP" pointing at a tile server
// of its own on 127.0.0.1, so nothing is fetched from the internet. The
// viewer is the application's own main window, set up as `kinetta` sets it
// up. The run switches the map window on (command 38013), starts playback
// (38002) and, once the recording has played a few seconds and the page
// reports every tile in view loaded, saves the screen's rectangle that holds
// the main window and the map window as OUT.png (written beside it and
// renamed into place). Each wait has a deadline; the exit status is 1, with
// the reason on stderr, when one passes. Needs a display (xvfb-run).

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QJsonObject>
#include <QPixmap>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/app/kinetta_app.h"
#include "kinetta/base/command_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/map_window.h"
#include "kinetta/map/page_state.h"
#include "kinetta/map/web_view_holder.h"
#include "kinetta/services/update_check.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "playcore/present/offscreen_surface.h"
#include "playcore/session/playback_session.h"
#include "playcore/session/session_rules.h"
#include "tools/map-bench/local_tile_server.h"

namespace {

// ms per wait: the browser engine starts slowly on a busy machine.
constexpr int kWait = 120000;
// Frames played before the picture is taken (a few seconds of movie), so
// that the map's track is split visibly at the playback position.
constexpr long long kPlayedFrames = 120;

int Fail(const char* why) {
    std::fprintf(stderr, "viewer-screenshot: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SETTINGS_DIR OUT.png\n", argv[0]);
        return 2;
    }
    const std::string settingsDir = argv[1];
    const QString out = QString::fromLocal8Bit(argv[2]);
    using namespace kinetta;

    // As CkinettaApp::Run: the map's scheme before the application, shared
    // GL contexts, the presenter's surface format, Qt's Japanese texts.
    map::PrepareWebEngineProcess();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat::setDefaultFormat(playcore::PresenterSurfaceFormat());
    int qtArgc = 1;
    QApplication qt(qtArgc, argv);
    InstallQtTranslations(qt);

    maptest::LocalTileServer tiles;
    if (!tiles.Start()) return Fail("no port for the tile server on 127.0.0.1");
    {
        SettingsStore settings(settingsDir);
        settings.Write("MAP", "TILEURL", tiles.TileTemplate().toStdString());
        settings.Write("MAP", "ATTRIBUTION", "generated tiles (no map data)");
    }

    QtMessageSink sink;
    const QScreen* screen = QGuiApplication::primaryScreen();
    playcore::SessionConfig config;
    config.sink = &sink;
    config.logicalDpi = screen ? static_cast<int>(screen->logicalDotsPerInchY()) : 96;
    playcore::Session().Configure(std::move(config));

    CkinettaDlg::Hooks hooks;
    hooks.settingsDirectory = settingsDir;
    // No card of this machine, no update check, no question left open: a
    // message box would hold the run in its own event loop.
    hooks.removableRoots = [] { return std::vector<std::string>{}; };
    hooks.updateEndpoints = [] { return UpdateEndpoints{}; };
    hooks.messageBox = [](const QString& text, const QString& caption, int) {
        std::fprintf(stderr, "viewer-screenshot: message \"%s\": %s\n", qPrintable(caption),
                     qPrintable(text));
        return 1;
    };
    hooks.mapStorageRoot = settingsDir + "/browser";
    auto dlg = std::make_unique<CkinettaDlg>(playcore::Session(), std::move(hooks));
    dlg->StartupStage1();
    dlg->show();

    auto done = [&](const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kWait);
    };
    if (!done([&] {
            return dlg->StartupComplete() && dlg->State().Loaded() && !dlg->State().Busy() &&
                   dlg->State().SelectedIndex() >= 0;
        }))
        return Fail("no recording was opened");

    map::MapWindow* m = dlg->Features().Find<MapFeature>()->Window();
    dlg->ToolbarButton(kCmdMapDisplay)->click();
    dlg->ToolbarButton(kCmdPlayPause)->click();
    const int cam = dlg->State().CameraSelection();
    const long long start = dlg->Playback().GetPosition(cam);
    if (!done([&] {
            return dlg->Playback().GetState(cam) == playcore::kEnginePlaying &&
                   dlg->Playback().GetPosition(cam) >= start + kPlayedFrames;
        }))
        return Fail("the recording did not play");

    QWebEnginePage* page = m->Dialog()->Holder().Page();
    if (!done([&] {
            if (m->Dialog()->isHidden() || !m->Frame()->isVisible() || m->Logo()->isVisible())
                return false;
            const QJsonObject s = map::ReadMapPageState(page);
            return map::MapSettled(s) && s.value("gridPoints").toInt() > 0 && tiles.Tiles() > 0;
        }))
        return Fail("the map did not show its tiles");
    // One more round of events, so that the last tiles are on screen.
    QTest::qWait(0);

    // The screen's rectangle holding both windows (the map window is a
    // window of its own beside the main window).
    const QRect rect = dlg->frameGeometry().united(m->Frame()->frameGeometry());
    QScreen* shot = dlg->screen();
    const QImage picture =
        shot->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
    if (picture.isNull()) return Fail("the screen could not be read");
    const QString temporary = out + QStringLiteral(".part");
    if (!picture.save(temporary, "PNG")) return Fail("the picture could not be written");
    std::error_code error;
    std::filesystem::rename(temporary.toStdString(), out.toStdString(), error);
    if (error) return Fail("the picture could not be renamed into place");
    std::printf("viewer-screenshot: %s (%dx%d), %ld tiles served\n", qPrintable(out),
                picture.width(), picture.height(), tiles.Tiles());

    dlg->Shutdown();
    dlg.reset();
    return 0;
}
