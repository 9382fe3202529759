// The main window's movie area and its picture follow the window: after a
// resize, a maximise and full screen on and off, the area has the layout's
// rectangle for the new size and the picture (display model 2, the aspect
// kept) spans it, as drawn and as the screen shows it. Once on the bare X
// server the test is started on, once with a real window manager (openbox,
// started here and stopped again), which answers the window's configure
// requests itself and maximises it.
//
// The area's picture is a GL window of its own over the area, in a main
// window that stays a raster window; a right click of the display's pointer
// (XTEST) on the picture still reaches the area and opens its menu, in the
// window as shown and in full screen.
//
// The managed case changes the shared display for every window on it, and
// the clicks use its one pointer, so ctest runs this file's cases alone
// (RUN_SERIAL).

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "kinetta/base/command_ids.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/main_layout.h"
#include "kinetta/skin/skin_context.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"
#include "support/temp_dir.h"
#include "tools/mkcard/recording.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

// The X display's window-manager check (EWMH): the root's
// _NET_SUPPORTING_WM_CHECK names a window that names itself in the same
// property while a manager runs. A stale root property left by a manager that
// ended names a window that is gone, and does not count.
class WmCheck {
public:
    WmCheck() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        root_ = screen_->root;
        atom_ = Atom("_NET_SUPPORTING_WM_CHECK");
        wmState_ = Atom("WM_STATE");
    }
    ~WmCheck() {
        if (probe_) xcb_destroy_window(c_, probe_);
        xcb_disconnect(c_);
    }
    bool Connected() const { return root_ != 0 && atom_ != 0 && wmState_ != 0; }
    bool ManagerRuns() {
        const xcb_window_t w = WindowIn(root_);
        return w != 0 && WindowIn(w) == w;
    }
    // Maps a small window of its own and tells whether the manager has taken
    // it (its WM_STATE is set). A manager that has just set its check property
    // may still drop a map request while it starts; the probe is mapped again
    // each time (remap = true) until one is taken.
    bool ManagesProbe(bool remap) {
        if (!probe_) {
            probe_ = xcb_generate_id(c_);
            xcb_create_window(c_, XCB_COPY_FROM_PARENT, probe_, root_, 0, 0, 8, 8, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
        }
        if (remap) {
            xcb_unmap_window(c_, probe_);
            xcb_map_window(c_, probe_);
            xcb_flush(c_);
        }
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, probe_, wmState_, XCB_GET_PROPERTY_TYPE_ANY, 0, 2),
            nullptr);
        const bool taken = r && xcb_get_property_value_length(r) > 0;
        free(r);
        return taken;
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto* r =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    }
    xcb_window_t WindowIn(xcb_window_t w) {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, atom_, XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t out = 0;
        if (r && xcb_get_property_value_length(r) == 4)
            std::memcpy(&out, xcb_get_property_value(r), 4);
        free(r);
        return out;
    }
    xcb_connection_t* c_;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t root_ = 0, probe_ = 0;
    xcb_atom_t atom_ = 0, wmState_ = 0;
};

// openbox on the test's display for the life of the object. It ends with the
// object, and with the test process should that die first (parent-death
// signal), so no run leaves it behind.
class Openbox {
public:
    // Empty when it runs and manages the display; otherwise why not.
    std::string Start() {
        pid_ = fork();
        if (pid_ < 0) return std::string("fork: ") + std::strerror(errno);
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 1);
                dup2(null, 2);
            }
            execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            _exit(127);
        }
        WmCheck check;
        if (!check.Connected()) return "the X display cannot be reached";
        int status = 0;
        bool ended = false;
        const bool managed = QTest::qWaitFor(
            [&] {
                if (waitpid(pid_, &status, WNOHANG) == pid_) ended = true;
                return ended || check.ManagerRuns();
            },
            15000);
        if (ended) {
            pid_ = -1;
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "openbox is not installed";
            return "openbox ended at start-up (status " + std::to_string(status) + ")";
        }
        if (!managed || !check.ManagerRuns()) {
            Stop();
            return "openbox did not take the display within 15 s";
        }
        // Ready once it manages a new window.
        int polls = 0;
        if (!QTest::qWaitFor([&] { return check.ManagesProbe(polls++ % 50 == 0); }, 15000)) {
            Stop();
            return "openbox did not manage a new window within 15 s";
        }
        return {};
    }
    ~Openbox() { Stop(); }

private:
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        // openbox leaves at once on SIGTERM; a stuck one is killed.
        if (!QTest::qWaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 5000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    pid_t pid_ = -1;
};

class CardEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        card = *dir / "card";
        mkcard::RecordingSpec s;
        s.family = RecorderFamily::TX50;
        // The rear camera's ordinary view fills its frame (the front's fisheye
        // circle leaves black corners), so the picture's bounds are the frame's.
        s.content = mkcard::FileContent::Rear;
        s.durationSeconds = 3;
        s.frontWidth = s.rearWidth = 160;
        s.frontHeight = s.rearHeight = 90;
        s.frameCode = false; // its black bars along the top would cut the bounds
        const std::string path = card + "/20230525_001/001_101500ANN_R.MP4";
        fs::create_directories(fs::path(path).parent_path());
        mkcard::RecordingReport report;
        std::string error;
        ASSERT_TRUE(mkcard::WriteRecording(s, path, &report, &error)) << error;
        std::ofstream(card + "/TX50_download.url") << "[InternetShortcut]\n";
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string card;
};
const auto* const kCards = ::testing::AddGlobalTestEnvironment(new CardEnvironment);

// The viewer on the card, its recording (a rear movie alone, shown in the
// main area) open at frame 0, the picture as recorded with the aspect kept.
struct Viewer {
    ktest::TempDir home;
    QtMessageSink sink;
    playcore::PlaybackSession session;
    std::unique_ptr<CkinettaDlg> dlg;
    bool prepared = false; // the recording's views were prepared (placed at the area's size)

    Viewer() {
        ktest::App();
        QDir::setCurrent(QString::fromStdString(home.path()));
        playcore::SessionConfig config;
        config.sink = &sink;
        config.makeAudioOutput = [] {
            return std::make_unique<playcore::SimulatedAudioOutput>(40 * 10000);
        };
        session.Configure(std::move(config));
        CkinettaDlg::Hooks hooks;
        hooks.productPrompt = [] { return 2; };
        hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
        hooks.sourcePrompt = [](SourceKind*, std::string*) { return false; };
        hooks.removableRoots = [] { return std::vector<std::string>{CardEnvironment::card}; };
        dlg = std::make_unique<CkinettaDlg>(session, hooks);
        QObject::connect(&dlg->State(), &ViewerState::RecordingPrepared,
                         [this] { prepared = true; });
        dlg->StartupStage1();
        dlg->MovieArea(0)->SetDisplayModel(2);
        dlg->MovieArea(1)->SetDisplayModel(2);
        dlg->show();
    }
    ~Viewer() {
        dlg.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    bool WaitLoaded() {
        return QTest::qWaitFor(
            [&] { return prepared && dlg->State().Loaded() && !dlg->State().Busy(); }, 10000);
    }
};

// The movie area's rectangle for the window's present size: the layout's, or
// the whole window in full screen.
QRect ExpectedMovieRect(const CkinettaDlg& dlg) {
    if (dlg.View().FullScreen()) return dlg.rect();
    MainLayoutInput in;
    in.clientWidth = dlg.width();
    in.clientHeight = dlg.height();
    in.s = SkinScale();
    in.family = dlg.Family();
    in.mode = kBuildMode;
    const Rect r = ComputeMainLayout(in).movie;
    return QRect(r.left, r.top, r.width, r.height);
}

// Bounding box of the pixels brighter than the black the area is cleared to.
QRect PictureBounds(const QImage& image) {
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            if (qRed(p) + qGreen(p) + qBlue(p) <= 3 * 24) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Empty when the area has its rectangle and the picture spans it with the
// recording's shape; otherwise what is wrong.
std::string AreaFault(const CkinettaDlg& dlg) {
    CMovieStatic* area = dlg.MovieArea(dlg.State().ShownCamera());
    const QRect expected = ExpectedMovieRect(dlg);
    auto text = [](QRect r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
               std::to_string(r.width()) + "x" + std::to_string(r.height());
    };
    if (area->geometry() != expected)
        return "area at " + text(area->geometry()) + ", layout " + text(expected);
    // What the area draws, and what the screen shows of it (a paint that was
    // not asked for leaves the old picture there).
    const QPoint at = area->mapToGlobal(QPoint(0, 0));
    const QImage screen =
        area->screen()->grabWindow(0, at.x(), at.y(), area->width(), area->height()).toImage();
    for (const auto& [what, picture] :
         {std::pair{"drawn", area->GrabPicture()}, std::pair{"on screen", screen}}) {
        const QSize size = picture.size();
        if (size != area->SurfaceSize())
            return std::string(what) + ": " + text(picture.rect()) + " of an area of " +
                   text(QRect({}, area->SurfaceSize()));
        const QRect b = PictureBounds(picture.convertToFormat(QImage::Format_RGB32));
        // The picture as recorded keeps the recording's shape: the engine fits
        // a rectangle of 16:9 into the area, centred, and the picture reaches
        // two opposite sides of it.
        const int w = size.width(), h = size.height();
        const bool wide = w * 9 > h * 16;
        const int fitW = wide ? h * 16 / 9 : w, fitH = wide ? h : w * 9 / 16;
        const QRect fit((w - fitW) / 2, (h - fitH) / 2, fitW, fitH);
        // The fitted rectangle is rounded and 2 pixels larger on the right and at the bottom.
        constexpr int kSlack = 3;
        auto near = [](int a, int b) { return std::abs(a - b) <= kSlack; };
        const bool sideToSide = near(b.left(), fit.left()) && near(b.right(), fit.right());
        const bool topToBottom = near(b.top(), fit.top()) && near(b.bottom(), fit.bottom());
        const bool centred = std::abs(b.left() + b.right() - (w - 1)) <= 2 * kSlack &&
                             std::abs(b.top() + b.bottom() - (h - 1)) <= 2 * kSlack;
        if (!(sideToSide || topToBottom) || !centred)
            return std::string(what) + ": picture at " + text(b) + " in an area of " +
                   text(QRect({}, size));
    }
    return {};
}

// Empty when a right click of the display's pointer at the centre of the
// shown area opens the area's menu; otherwise what is wrong. The menu is
// closed again.
std::string PointerFault(CkinettaDlg& dlg) {
    if (dlg.windowHandle()->surfaceType() != QSurface::RasterSurface)
        return "the main window is composed in GL";
    CMovieStatic* area = dlg.MovieArea(dlg.State().ShownCamera());
    const QPoint at = area->mapToGlobal(area->rect().center());
    QProcess xdotool;
    xdotool.start("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                              QString::number(at.y()), "click", "3"});
    if (!xdotool.waitForStarted()) return "no xdotool (scripts/install-deps.sh installs it)";
    if (!QTest::qWaitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 5000) ||
        xdotool.exitCode() != 0)
        return "xdotool failed: " + xdotool.readAllStandardError().toStdString();
    QMenu* menu = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] {
            menu = dlg.findChild<QMenu*>(QStringLiteral("movie menu"));
            return menu && menu->isVisible();
        },
        5000);
    if (!shown) return "no menu after a right click at the area's centre";
    menu->close();
    if (!QTest::qWaitFor([&] { return !menu->isVisible(); }, 5000)) return "the menu stays";
    return {};
}

// Waits for the area and its picture to follow the window, then reports.
void ExpectFollows(const CkinettaDlg& dlg, const char* step) {
    std::string fault;
    const bool followed = QTest::qWaitFor([&] { return (fault = AreaFault(dlg)).empty(); }, 5000);
    EXPECT_TRUE(followed) << step << ": " << fault << " (window " << dlg.width() << "x"
                          << dlg.height() << ")";
}

// Resize, maximise (under a window manager: a bare X server has nobody to
// maximise), full screen and back, each followed by the area and its picture.
void Exercise(bool managed) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded());
    CkinettaDlg& dlg = *v.dlg;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QScreen* screen = dlg.screen();
    ASSERT_NE(screen, nullptr);
    ExpectFollows(dlg, "shown");
    EXPECT_EQ(PointerFault(dlg), "") << "shown";

    const QSize larger = screen->availableGeometry().size() * 9 / 10;
    ASSERT_NE(larger, dlg.size());
    dlg.resize(larger);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.size() == larger; }, 5000))
        << dlg.width() << "x" << dlg.height();
    ExpectFollows(dlg, "resized");

    if (managed) {
        dlg.OnCommand(kCmdMaximise);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return dlg.isMaximized() && dlg.size() == screen->availableGeometry().size(); },
            5000))
            << dlg.width() << "x" << dlg.height();
        ExpectFollows(dlg, "maximised");
    }

    const QRect before = dlg.geometry();
    dlg.Views().ToggleFullScreen();
    ASSERT_TRUE(dlg.View().FullScreen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.geometry() == screen->geometry(); }, 5000))
        << dlg.width() << "x" << dlg.height();
    ExpectFollows(dlg, "full screen");
    EXPECT_EQ(PointerFault(dlg), "") << "full screen";

    dlg.Views().ToggleFullScreen();
    ASSERT_FALSE(dlg.View().FullScreen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.geometry() == before; }, 5000))
        << dlg.width() << "x" << dlg.height();
    ExpectFollows(dlg, "full screen left");
}

TEST(PictureFollowsWindow, OnABareXServer) {
    WmCheck check;
    ASSERT_TRUE(check.Connected()) << "no X display";
    if (check.ManagerRuns()) GTEST_SKIP() << "a window manager runs on this display";
    Exercise(false);
}

TEST(PictureFollowsWindow, UnderAWindowManager) {
    WmCheck check;
    ASSERT_TRUE(check.Connected()) << "no X display";
    Openbox openbox; // declared before the viewer: it outlives the window
    if (!check.ManagerRuns()) {
        const std::string why = openbox.Start();
        if (!why.empty()) GTEST_SKIP() << "no window manager: " << why;
    }
    Exercise(true);
}

} // namespace
} // namespace kinetta
