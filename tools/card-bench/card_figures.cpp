// Responsiveness of the viewer on a card, in-process under a display:
//   card-figures CARD [FOLDER_ITEM]
// CARD is a card root (a TX50 family card: its model marker in the root, date
// folders below). A probe timer fires every 5 ms on the UI thread; its worst
// lateness over a stretch is the longest the UI thread was kept from its
// events there. Prints, as JSON lines (all times in ms):
//   - startup_to_playing: from the window's creation to the first recording
//     loaded and, the play button pressed then, playing; the probe's worst
//     lateness to the recording loaded (startup), also from the window's
//     first paint (on screen: without the building of the window before it
//     is shown), and over the play button's press;
//     then to the whole card read (the first folder is listed before), and
//     the worst lateness while the rest of the card was read (paused);
//   - folder_switch: a click on tree item FOLDER_ITEM (default 1) to the list
//     painted with that folder's rows (as their names give them), to the
//     folder read (the rows filled in), and the worst lateness until the map's
//     group track of the new list has been read;
//   - filter_toggle (each shown trigger switch, off and on again): the click
//     to the list painted, and the worst lateness until the group track is
//     read;
//   - group_rebuild: the group track's reading after the last toggle, from the
//     toggle to the whole track, the worst lateness meanwhile, and the time the
//     page's host call takes to turn the whole group into its array (UI thread).
// The map's browser control stays off: no page asks for tiles.
//
// KINETTA_STALL_TRACE=MS (a diagnostic, on stderr): every event the UI
// thread took MS ms or longer to handle (its receiver's class and name, the
// event type), every probe tick that came MS ms or more late, and every file
// the UI thread opens for reading, with the functions that opened it. With
// KINETTA_PAINT_TRACE=1 also every widget paint (rectangle and time), printed
// before the event that held it.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <execinfo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/folder_tree_ctrl.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_window.h"
#include "kinetta/map/track_array.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/skin_button.h"
#include "platform/file_io.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "support/temp_dir.h"

namespace {

// The trace of KINETTA_STALL_TRACE.
std::thread::id g_uiThread;
double g_traceMs = -1; // < 0: no trace
QElapsedTimer g_traceClock;

// A 5 ms timer on the UI thread that keeps its worst lateness since Mark().
class StallProbe : public QObject {
public:
    static constexpr int kPeriodMs = 5;
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kPeriodMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            const double late = since_.nsecsElapsed() / 1e6 - kPeriodMs;
            worst_ = std::max(worst_, late);
            if (g_traceMs >= 0 && late >= g_traceMs)
                std::fprintf(stderr, "[%9.1f] probe tick %.1f ms late\n",
                             g_traceClock.nsecsElapsed() / 1e6, late);
            since_.restart();
        });
    }
    void Start() {
        since_.start();
        timer_.start();
    }
    void Mark() {
        worst_ = 0;
        since_.restart();
    }
    // The worst lateness so far, counting the wait since the last tick.
    double Worst() const { return std::max(worst_, since_.nsecsElapsed() / 1e6 - kPeriodMs); }

private:
    QTimer timer_;
    QElapsedTimer since_;
    double worst_ = 0;
};

// Counts the paint events of a widget; `first`, when given, is called at the
// first one.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w, std::function<void()> first = {}) : first_(std::move(first)) {
        w->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Paint) return false;
        if (++paints == 1 && first_) first_();
        return false;
    }

private:
    std::function<void()> first_;
};

void TraceUiOpen(const std::string& path) {
    if (std::this_thread::get_id() != g_uiThread) return;
    std::fprintf(stderr, "[%9.1f] UI thread opens %s\n", g_traceClock.nsecsElapsed() / 1e6,
                 path.c_str());
    void* frames[24];
    const int n = backtrace(frames, 24);
    backtrace_symbols_fd(frames + 1, n - 1, 2);
}

// Times each event the UI thread handles at the outermost level.
class TracingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        // KINETTA_PAINT_TRACE=1 as well: every widget paint, its rectangle
        // and its time (what else an update request takes is the window's
        // flush).
        if (g_traceMs >= 0 && depth_ > 0 && event->type() == QEvent::Paint && paintTrace_) {
            const QRect r = static_cast<QPaintEvent*>(event)->rect();
            const auto start = std::chrono::steady_clock::now();
            const bool handled = QApplication::notify(receiver, event);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            std::fprintf(stderr, "    paint %s %dx%d %.1f ms\n",
                         receiver->metaObject()->className(), r.width(), r.height(), ms);
            return handled;
        }
        if (g_traceMs < 0 || depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        const auto start = std::chrono::steady_clock::now();
        const int type = event->type();
        const char* cls = receiver->metaObject()->className();
        const std::string name = receiver->objectName().toStdString();
        const bool handled = QApplication::notify(receiver, event);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        --depth_;
        if (ms >= g_traceMs)
            std::fprintf(stderr, "[%9.1f] %.1f ms: event %d to %s \"%s\"\n",
                         g_traceClock.nsecsElapsed() / 1e6, ms, type, cls, name.c_str());
        return handled;
    }

private:
    int depth_ = 0;
    const bool paintTrace_ = std::getenv("KINETTA_PAINT_TRACE") != nullptr;
};

void Print(const char* figure, const std::string& more) {
    std::printf("{\"figure\":\"%s\"%s}\n", figure, more.c_str());
    std::fflush(stdout);
}

std::string Ms(const char* key, double ms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, ",\"%s\":%.1f", key, ms);
    return buf;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CARD [FOLDER_ITEM]\n", argv[0]);
        return 2;
    }
    using namespace kinetta;
    const std::string card = argv[1];
    const int folderItem = argc > 2 ? std::atoi(argv[2]) : 1;
    TracingApplication app(argc, argv);
    if (const char* trace = std::getenv("KINETTA_STALL_TRACE")) {
        g_traceMs = std::atof(trace);
        g_uiThread = std::this_thread::get_id();
        g_traceClock.start();
        platform::SetOpenObserver(&TraceUiOpen);
    }
    ktest::TempDir home;
    QDir::setCurrent(QString::fromStdString(home.path()));
    SettingsStore store(home.path());
    store.Write("DISPLAY", "MODELSELECT", "3");

    StallProbe probe;
    probe.Start();
    QElapsedTimer clock;
    clock.start();

    QtMessageSink sink;
    playcore::SessionConfig config;
    config.sink = &sink;
    // No sound device is needed (nor always there): sound is simulated.
    config.makeAudioOutput = [] {
        return std::make_unique<playcore::SimulatedAudioOutput>(40 * 10000);
    };
    playcore::Session().Configure(std::move(config));
    CkinettaDlg::Hooks hooks;
    hooks.removableRoots = [card] { return std::vector<std::string>{card}; };
    hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
    hooks.productPrompt = [] { return 2; };
    hooks.startMapBrowser = [] { return false; };
    hooks.sourcePrompt = [](SourceKind*, std::string*) { return false; };
    QElapsedTimer stage;
    stage.start();
    auto dlg = std::make_unique<CkinettaDlg>(playcore::Session(), hooks);
    const double constructed = stage.nsecsElapsed() / 1e6;
    SetSettingsDirectory(home.path());
    dlg->StartupStage1();
    const double staged = stage.nsecsElapsed() / 1e6;
    // A second probe from the window's first paint: the stalls of a window
    // on the screen, without the building before it is shown.
    StallProbe onScreen;
    PaintCounter firstPaint(dlg.get(), [&] { onScreen.Start(); });
    dlg->show();
    const double shown = stage.nsecsElapsed() / 1e6;
    auto playing = [&] {
        return dlg->State().Loaded() &&
               playcore::Session().GetState(dlg->State().CameraSelection()) ==
                   playcore::kEnginePlaying;
    };
    if (!QTest::qWaitFor([&] { return dlg->State().Loaded(); }, 600000)) {
        std::fprintf(stderr, "no recording loaded (%d rows, row %d selected)\n",
                     dlg->Filer()->RowCount(), dlg->State().SelectedIndex());
        return 1;
    }
    const double toLoaded = clock.nsecsElapsed() / 1e6;
    const double stallToLoaded = probe.Worst();
    const double onScreenToLoaded = onScreen.Worst();
    // The first recording opens stopped: the play button at once. The play
    // command fades the sound out first, on the UI thread (16 steps of 10 ms).
    probe.Mark();
    if (!playing()) dlg->ToolbarButton(kCmdPlayPause)->click();
    if (!QTest::qWaitFor(playing, 60000)) return 1;
    const double toPlaying = clock.nsecsElapsed() / 1e6;
    const double playClickStall = probe.Worst();
    // The rest of the card is read behind the list: the figures below start
    // once it has been. Meanwhile the recording is paused: at each end of a
    // recording (3 s here) continuous play fades the sound out on the UI
    // thread, 160 ms, which is not the card's doing.
    dlg->ToolbarButton(kCmdPlayPause)->click();
    if (!QTest::qWaitFor(
            [&] {
                return playcore::Session().GetState(dlg->State().CameraSelection()) ==
                       playcore::kEnginePaused;
            },
            10000))
        return 1;
    // What the pause itself repaints (the play face, the panel) is over by then.
    QTest::qWait(500);
    probe.Mark();
    if (!QTest::qWaitFor([&] { return !dlg->ReadingSource(); }, 600000)) return 1;
    const double readingTheRest = probe.Worst();
    const double wholeCardRead = clock.nsecsElapsed() / 1e6;
    // Playing again, as before the figures below.
    dlg->ToolbarButton(kCmdPlayPause)->click();
    if (!QTest::qWaitFor(playing, 10000)) return 1;
    Print("startup_to_playing",
          Ms("ms", toPlaying) + Ms("to_loaded_ms", toLoaded) + Ms("worst_stall_ms", stallToLoaded) +
              Ms("worst_stall_on_screen_ms", onScreenToLoaded) +
              Ms("play_click_stall_ms", playClickStall) +
              Ms("to_whole_card_read_ms", wholeCardRead) +
              Ms("worst_stall_reading_the_rest_ms", readingTheRest) +
              Ms("window_built_ms", constructed) + Ms("stage1_ms", staged - constructed) +
              Ms("shown_ms", shown - staged) +
              ",\"rows\":" + std::to_string(dlg->Filer()->RowCount()));

    map::GroupTrack& group = dlg->Features().Find<MapFeature>()->Window()->Wrap().Group();
    CFilerContainerDlg* filer = dlg->Filer();
    // Settled: the folder has been read (the list no longer says it is
    // loading; the rows painted at once are those of the names) and the
    // group track of its rows is whole.
    auto settle = [&] {
        return QTest::qWaitFor([&] { return !filer->Loading(); }, 600000) &&
               QTest::qWaitFor([&] { return !group.Reading(); }, 600000);
    };
    settle();
    PaintCounter listPaints(filer->List()->viewport());

    // Folder switch: a click on the tree item.
    CFolderTreeCtrl* tree = filer->Tree();
    if (folderItem >= 0 && folderItem < static_cast<int>(tree->Items().size())) {
        QTreeWidgetItem* item = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it && !item; ++it)
            if ((*it)->data(0, CFolderTreeCtrl::kIndexRole).toInt() == folderItem) item = *it;
        if (!item) return 1;
        tree->scrollToItem(item);
        const QRect r = tree->visualItemRect(item);
        probe.Mark();
        clock.restart();
        const int paintsBefore = listPaints.paints;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
        if (!QTest::qWaitFor(
                [&] {
                    return filer->SelectedFolderItem() == folderItem &&
                           listPaints.paints > paintsBefore && dlg->State().Rows().size() > 0 &&
                           dlg->State().Rows()[0].frontPath.find(
                               tree->Items()[static_cast<size_t>(folderItem)].name) !=
                               std::string::npos;
                },
                600000))
            return 1;
        const double painted = clock.nsecsElapsed() / 1e6;
        if (!QTest::qWaitFor([&] { return !filer->Loading(); }, 600000)) return 1;
        const double read = clock.nsecsElapsed() / 1e6;
        settle();
        Print("folder_switch", ",\"rows\":" + std::to_string(filer->RowCount()) +
                                   Ms("click_to_painted_ms", painted) +
                                   Ms("click_to_read_ms", read) +
                                   Ms("worst_stall_ms", probe.Worst()));
    }

    // Each shown trigger switch off, then on again.
    double lastToggle = 0;
    for (int code = 0; code < CFilerContainerDlg::kFilterCount; ++code) {
        CSkinButton* button = filer->FilterSwitch(code);
        if (!button || !button->isVisible()) continue;
        for (const char* way : {"off", "on"}) {
            QTest::qWait(50);
            probe.Mark();
            clock.restart();
            const int paintsBefore = listPaints.paints;
            button->click();
            if (!QTest::qWaitFor([&] { return listPaints.paints > paintsBefore; }, 10000)) return 1;
            const double painted = clock.nsecsElapsed() / 1e6;
            settle();
            lastToggle = clock.nsecsElapsed() / 1e6;
            Print("filter_toggle", ",\"switch\":" + std::to_string(code) + ",\"to\":\"" + way +
                                       "\",\"rows\":" + std::to_string(filer->RowCount()) +
                                       Ms("click_to_painted_ms", painted) +
                                       Ms("worst_stall_ms", probe.Worst()));
        }
    }

    // The whole group track as the page's host call hands it over.
    probe.Mark();
    QElapsedTimer array;
    array.start();
    const std::string json = group.Array().ToJson();
    const double arrayMs = array.nsecsElapsed() / 1e6;
    Print("group_rebuild", ",\"samples\":" + std::to_string(group.Copy().size()) +
                               Ms("toggle_to_whole_track_ms", lastToggle) +
                               Ms("host_call_array_ms", arrayMs) +
                               ",\"json_bytes\":" + std::to_string(json.size()));
    dlg.reset();
    return 0;
}
