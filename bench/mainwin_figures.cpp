// Figures of the viewer's main window, in-process under a display:
//   mainwin_figures FOLDER
// FOLDER holds recordings (for example a date folder of mkcard's demo card,
// 1080p front and 720p rear pairs). Prints, as JSON lines:
//   - the time from a list click to the first picture of the recording, less
//     the window's own 500 ms selection delay (each of the folder's rows);
//   - how many times each file of the recording was opened on that way
//     (probe, player, telemetry), counted through the platform's open observer;
//   - the process's CPU use while the first pair plays at x1 for 10 s;
//   - the resident memory while playing.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "platform/file_io.h"
#include "playcore/session/playback_session.h"
#include "support/temp_dir.h"

namespace {

std::mutex gOpensLock;
std::map<std::string, int> gOpens; // opens of each path since the last click

void CountOpen(const std::string& path) {
    std::lock_guard lock(gOpensLock);
    ++gOpens[path];
}

int OpensOf(const std::string& path) {
    std::lock_guard lock(gOpensLock);
    return path.empty() ? 0 : gOpens[path];
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    using namespace kinetta;
    QApplication app(argc, argv);
    ktest::TempDir home;
    QDir::setCurrent(QString::fromStdString(home.path()));
    SettingsStore store(home.path());
    store.Write("SOURCE", "FOLDER", argv[1]);
    store.Write("DISPLAY", "MODELSELECT", "3");

    QtMessageSink sink;
    playcore::SessionConfig config;
    config.sink = &sink;
    playcore::Session().Configure(std::move(config));
    CkinettaDlg::Hooks hooks;
    hooks.removableRoots = [] { return std::vector<std::string>{}; };
    hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
    auto dlg = std::make_unique<CkinettaDlg>(playcore::Session(), hooks);
    dlg->StartupStage1();
    dlg->show();
    auto loaded = [&](int row) {
        return QTest::qWaitFor(
            [&] { return dlg->State().Loaded() && dlg->State().SelectedIndex() == row; }, 30000);
    };
    if (!loaded(0)) {
        std::fprintf(stderr, "the first recording did not load (%d rows, row %d selected)\n",
                     dlg->Filer() ? dlg->Filer()->RowCount() : -1, dlg->State().SelectedIndex());
        return 1;
    }

    CFileListCtrl* list = dlg->Filer()->List();
    const int rows = dlg->Filer()->RowCount();
    platform::SetOpenObserver(&CountOpen);
    for (int row = rows - 1; row >= 0; --row) {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        {
            std::lock_guard lock(gOpensLock);
            gOpens.clear();
        }
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        // The first picture: the movies are ready (the presenter shows frame 0).
        if (!QTest::qWaitFor(
                [&] { return !dlg->State().Busy() && dlg->State().SelectedIndex() == row; }, 30000))
            return 1;
        std::printf("{\"figure\":\"click_to_picture_ms\",\"row\":%d,\"value\":%lld}\n", row,
                    static_cast<long long>(t.elapsed()) - 500);
        const RecordingEntry& e = dlg->Filer()->Rows()[static_cast<size_t>(row)];
        std::printf("{\"figure\":\"file_opens_click_to_picture\",\"row\":%d,\"front\":%d,"
                    "\"rear\":%d}\n",
                    row, OpensOf(e.frontPath), OpensOf(e.rearPath));
    }
    platform::SetOpenObserver(nullptr);
    if (!loaded(0)) return 1;
    dlg->ToolbarButton(kCmdPlayPause)->click();
    QTest::qWait(1000);
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(10000);
    const double cpu = (CpuSeconds() - cpu0) / (wall.elapsed() / 1000.0) * 100.0;
    std::printf("{\"figure\":\"cpu_percent_playing_x1\",\"value\":%.1f,\"cores\":%d}\n", cpu,
                QThread::idealThreadCount());
    std::printf("{\"figure\":\"resident_kib\",\"value\":%ld}\n", ResidentKiB());
    dlg.reset();
    return 0;
}
