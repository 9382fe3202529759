// Figures of the viewer's map window, in-process under a display, against a
// tile server on 127.0.0.1:
//   map-window-figures FOLDER [ROWS]
// FOLDER holds recordings with GPS (for example a date folder of mkcard's
// demo card). With the map window on and its page ready, prints as JSON lines:
//   - list click to the open recording's track drawn by the page (its
//     CreateGridLine has run for that row), raw and less the window's own
//     500 ms selection delay, for up to ROWS rows (default 4);
//   - CPU use of the viewer and its browser processes while the first row
//     plays at x1 for 10 s, with the map shown and with the map window off;
//   - resident memory of the viewer and of its browser processes with the
//     map shown.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTest>
#include <QThread>
#include <QWebEnginePage>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/map_window.h"
#include "kinetta/map/page_state.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "playcore/session/playback_session.h"
#include "support/temp_dir.h"
#include "tools/map-bench/local_tile_server.h"

namespace {

struct ProcStat {
    int ppid = 0;
    double cpuSeconds = 0; // user + system
    long rssKiB = 0;
};

// Every process of the machine we may read: parent, CPU time, resident size.
std::map<int, ProcStat> ReadProcesses() {
    std::map<int, ProcStat> out;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    const long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text)) continue;
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        std::vector<std::string> f;
        for (std::string w; rest >> w;)
            f.push_back(w);
        // Fields after the name: state(0) ppid(1) ... utime(11) stime(12) ... rss(21).
        if (f.size() < 22) continue;
        ProcStat s;
        s.ppid = std::stoi(f[1]);
        s.cpuSeconds = (std::stod(f[11]) + std::stod(f[12])) / tick;
        s.rssKiB = std::stol(f[21]) * pageKiB;
        out[std::stoi(name)] = s;
    }
    return out;
}

// The viewer (this process) and its descendants (the browser's processes).
struct Tree {
    double selfCpu = 0, childCpu = 0;
    long selfRss = 0, childRss = 0;
};

Tree ReadTree() {
    const std::map<int, ProcStat> all = ReadProcesses();
    const int self = static_cast<int>(getpid());
    Tree t;
    for (const auto& [pid, s] : all) {
        int p = pid;
        bool descendant = false;
        for (int hops = 0; hops < 16 && p > 1; ++hops) {
            auto it = all.find(p);
            if (it == all.end()) break;
            p = it->second.ppid;
            if (p == self) {
                descendant = true;
                break;
            }
        }
        if (pid == self) {
            t.selfCpu = s.cpuSeconds;
            t.selfRss = s.rssKiB;
        } else if (descendant) {
            t.childCpu += s.cpuSeconds;
            t.childRss += s.rssKiB;
        }
    }
    return t;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [ROWS]\n", argv[0]);
        return 2;
    }
    const int maxRows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    using namespace kinetta;
    map::PrepareWebEngineProcess();
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QApplication app(argc, argv);
    maptest::LocalTileServer tiles;
    if (!tiles.Start()) return 1;

    ktest::TempDir home;
    QDir::setCurrent(QString::fromStdString(home.path()));
    SettingsStore store(home.path());
    store.Write("SOURCE", "FOLDER", argv[1]);
    store.Write("DISPLAY", "MODELSELECT", "2"); // the TX40 family (a TX40 demo folder)
    store.Write("MAP", "TILEURL", tiles.TileTemplate().toStdString());

    QtMessageSink sink;
    playcore::SessionConfig config;
    config.sink = &sink;
    playcore::Session().Configure(std::move(config));
    CkinettaDlg::Hooks hooks;
    hooks.removableRoots = [] { return std::vector<std::string>{}; };
    hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
    hooks.mapStorageRoot = home.path() + "/browser";
    auto dlg = std::make_unique<CkinettaDlg>(playcore::Session(), hooks);
    dlg->StartupStage1();
    dlg->show();
    constexpr int kWait = 120000;
    auto loaded = [&](int row) {
        return QTest::qWaitFor(
            [&] {
                return dlg->State().Loaded() && !dlg->State().Busy() &&
                       dlg->State().SelectedIndex() == row;
            },
            kWait);
    };
    if (!loaded(0)) {
        std::fprintf(stderr, "the first recording did not load (loaded %d, busy %d, row %d)\n",
                     dlg->State().Loaded(), dlg->State().Busy(), dlg->State().SelectedIndex());
        return 1;
    }
    map::MapWindow* m = dlg->Features().Find<MapFeature>()->Window();
    QWebEnginePage* page = m->Dialog()->Holder().Page();
    dlg->ToolbarButton(kCmdMapDisplay)->click();
    const bool shown = QTest::qWaitFor(
        [&] {
            if (m->Dialog()->isHidden() || m->Logo()->isVisible()) return false;
            const QJsonObject s = map::ReadMapPageState(page);
            return s.value("state").toString() == "ready" && s.value("gridPoints").toInt() > 0;
        },
        kWait);
    if (!shown) {
        std::fprintf(stderr, "the map did not appear\n");
        return 1;
    }

    // Count the page's track drawings of the open recording.
    map::RunScriptAndWait(page, "(function(){var f=orbitgrplist.CreateGridLine;"
                                "window.__grid=0;window.__gridIndex=-1;"
                                "orbitgrplist.CreateGridLine=function(i){var r=f.apply(this,"
                                "arguments);window.__grid++;window.__gridIndex=i;return r;};})()");
    auto drawnFor = [&](int row, int after) {
        const auto v = map::RunScriptAndWait(page, "[window.__grid, window.__gridIndex]");
        if (!v) return false;
        const QVariantList l = v->toList();
        return l.size() == 2 && l[0].toInt() > after && l[1].toInt() == row;
    };
    CFileListCtrl* list = dlg->Filer()->List();
    const int rows = std::min(dlg->Filer()->RowCount(), maxRows);
    for (int row = rows - 1; row >= 0; --row) {
        const auto before = map::RunScriptAndWait(page, "window.__grid");
        const int after = before ? before->toInt() : 0;
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        if (!QTest::qWaitFor([&] { return drawnFor(row, after); }, kWait)) return 1;
        const long long ms = t.elapsed();
        std::printf("{\"figure\":\"click_to_track_drawn_ms\",\"row\":%d,\"value\":%lld,"
                    "\"less_selection_delay\":%lld}\n",
                    row, ms, ms - 500);
        std::fflush(stdout);
    }

    // CPU while playing x1, map shown, then map window off.
    auto measure = [&](const char* name) {
        const Tree a = ReadTree();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(10000);
        const Tree b = ReadTree();
        const double secs = wall.elapsed() / 1000.0;
        std::printf("{\"figure\":\"cpu_percent_playing_x1_%s\",\"viewer\":%.1f,\"browser\":%.1f,"
                    "\"total\":%.1f,\"cores\":%d}\n",
                    name, (b.selfCpu - a.selfCpu) / secs * 100.0,
                    (b.childCpu - a.childCpu) / secs * 100.0,
                    (b.selfCpu + b.childCpu - a.selfCpu - a.childCpu) / secs * 100.0,
                    QThread::idealThreadCount());
        std::fflush(stdout);
        return b;
    };
    if (!loaded(0)) return 1;
    dlg->ToolbarButton(kCmdPlayPause)->click();
    QTest::qWait(1000);
    const Tree withMap = measure("map_shown");
    std::printf("{\"figure\":\"resident_kib_map_shown\",\"viewer\":%ld,\"browser\":%ld,"
                "\"total\":%ld}\n",
                withMap.selfRss, withMap.childRss, withMap.selfRss + withMap.childRss);
    std::fflush(stdout);
    dlg->ToolbarButton(kCmdMapDisplay)->click(); // off
    dlg->Control().SeekFromSlider(0);
    QTest::qWait(1000);
    measure("map_off");
    dlg.reset();
    return 0;
}
