// Figures of the recording list panel with a large card, in-process:
//   list_figures [ENTRIES] [RUNS]
// Fills the panel with ENTRIES recordings (5,000 by default; names of the
// TX40 family, five triggers in turn), then times, RUNS times each (5 by
// default), and prints the least and the median as JSON lines, in ms:
//   - fill: SetScanResult and the first paint of the rows in view;
//   - filter: one trigger switched off (command 39000), list rebuilt, painted;
//   - jump: selecting a row near the end and repainting the list.
// Without a display the panel runs on Qt's offscreen platform.

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/skin/skin_context.h"

namespace {

using kinetta::RecordingEntry;

std::vector<RecordingEntry> Card(int entries) {
    std::vector<RecordingEntry> scan;
    const char triggers[] = "AGMPS";
    for (int i = 0; i < entries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d_%06d%c_M.MP4", i % 1000, i, triggers[i % 5]);
        RecordingEntry e;
        e.frontName = name;
        e.frontPath = std::string("/card/20230525_001/") + name;
        e.runningNumber = i;
        e.frontSize = 10 << 20;
        scan.push_back(e);
    }
    return scan;
}

void Pump() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Print(const char* what, int entries, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("{\"figure\":\"list_%s\",\"entries\":%d,\"least_ms\":%.2f,\"median_ms\":%.2f}\n",
                what, entries, ms.front(), ms[ms.size() / 2]);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QApplication app(argc, argv);
    kinetta::SetSkinScale(1.0, 1.0, 96);
    const std::vector<RecordingEntry> scan = Card(entries);

    std::vector<double> fill, filter, jump;
    for (int r = 0; r < runs; ++r) {
        kinetta::CFilerContainerDlg panel;
        panel.resize(376, 600);
        panel.show();
        Pump();
        QElapsedTimer timer;
        timer.start();
        panel.SetScanResult(scan, kinetta::RecorderFamily::TX40);
        Pump();
        fill.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        panel.OnCommand(39000);
        Pump();
        filter.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        panel.SelectRow(std::max(0, panel.RowCount() - 100));
        panel.List()->viewport()->repaint();
        jump.push_back(timer.nsecsElapsed() / 1e6);
    }
    Print("fill", entries, fill);
    Print("filter_toggle", entries, filter);
    Print("jump_and_repaint", entries, jump);
    return 0;
}
