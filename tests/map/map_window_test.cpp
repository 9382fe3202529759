// The map window in the viewer, with the real browser engine, on generated
// cards of both families and a tile server on 127.0.0.1 that the test starts
// and stops: the plain logo while the server is away, the map once it
// answers, the notice when it goes, the logo for recordings the map cannot
// show, the page loaded once across off and on, the marker following play,
// pause and seeks, a pin click seeking the player, the group track and pins
// following the list filter and the detector switches, and closing at every
// stage of the bring-up, and a page whose console stays silent from start-up
// through play to close.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTest>
#include <QWebEnginePage>
#include <QWindow>

#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_scheme.h"
#include "kinetta/map/map_window.h"
#include "kinetta/map/page_state.h"
#include "kinetta/services/services_feature.h"
#include "kinetta/services/setting_dlg.h"
#include "kinetta/skin/logo_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/telemetry/telemetry_feature.h"
#include "kinetta/telemetry/telemetry_views.h"
#include "support/picture_code.h"
#include "support/temp_dir.h"
#include "support/viewer_rig.h"
#include "tools/map-bench/local_tile_server.h"
#include "tools/mkcard/recording.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using kinetta::maptest::LocalTileServer;
using mkcard::EventKind;

constexpr int kWait = 60000; // ms: the browser engine is slow on a loaded machine

// TX40: row 0 an 8-s recording with three events, row 1 a parking recording,
// row 2 a recording without GPS. TX50: one recording whose flag byte B is 0.
class Cards : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        tx40 = *dir / "tx40";
        const std::string f40 = tx40 + "/20230525_001/";
        fs::create_directories(f40);
        const char* names[3] = {"001_101500A_M.MP4", "002_101600P_M.MP4", "003_101700A_M.MP4"};
        for (int i = 0; i < 3; ++i) {
            mkcard::RecordingSpec s;
            s.family = RecorderFamily::TX40;
            s.start = {2023, 5, 25, 10, 15 + i, 0};
            s.durationSeconds = i == 0 ? 8 : 4;
            if (i == 0)
                s.events = {
                    {2, EventKind::ShockX}, {4, EventKind::UserPoint}, {6, EventKind::Parking}};
            s.parked = i == 1;
            if (i == 2) s.recordCount = 0; // a block without a single sample
            std::string error;
            ASSERT_TRUE(mkcard::WriteRecording(s, f40 + names[i], nullptr, &error)) << error;
        }
        ktest::WriteModelMarker(tx40, RecorderFamily::TX40);

        tx50 = *dir / "tx50";
        const std::string f50 = tx50 + "/20230525_001/";
        fs::create_directories(f50);
        mkcard::RecordingSpec s;
        s.family = RecorderFamily::TX50;
        s.start = {2023, 5, 25, 10, 15, 0};
        s.durationSeconds = 4;
        s.header.flagB = 0;
        std::string error;
        ASSERT_TRUE(mkcard::WriteRecording(s, f50 + "001_101500ANN_F.MP4", nullptr, &error))
            << error;
        ktest::WriteModelMarker(tx50, RecorderFamily::TX50);

        // TX50, shown on the map: a speeding stretch and a user point.
        tx50Speeding = *dir / "tx50-speeding";
        const std::string fs50 = tx50Speeding + "/20230525_001/";
        fs::create_directories(fs50);
        mkcard::RecordingSpec sp;
        sp.family = RecorderFamily::TX50;
        sp.start = {2023, 5, 25, 10, 15, 0};
        sp.durationSeconds = 6;
        sp.events = {{2, EventKind::Speeding},
                     {3, EventKind::Speeding},
                     {4, EventKind::Speeding},
                     {5, EventKind::UserPoint}};
        ASSERT_TRUE(mkcard::WriteRecording(sp, fs50 + "001_101500ANN_F.MP4", nullptr, &error))
            << error;
        ktest::WriteModelMarker(tx50Speeding, RecorderFamily::TX50);
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string tx40, tx50, tx50Speeding;
};
const auto* const kCards = ::testing::AddGlobalTestEnvironment(new Cards);

using ktest::WaitFor;

// The settings folder, with the tile server's template, outlives the viewer.
struct Home {
    ktest::TempDir home;
    Home(const std::string& tileTemplate) {
        SettingsStore(home.path()).Write("MAP", "TILEURL", tileTemplate);
        SettingsStore(home.path()).Write("MAP", "ATTRIBUTION", "test tiles");
    }
};

struct Viewer : Home, ktest::ViewerRig {
    Viewer(const std::string& card, RecorderFamily family, const std::string& tileTemplate)
        : Home(tileTemplate),
          ViewerRig(
              home.path(), card, family,
              [this](CkinettaDlg::Hooks& h) {
                  h.startMapBrowser = [] { return true; };
                  h.mapStorageRoot = std::string(home.path()) + "/browser";
                  h.browserComponentMissing = [] { return !map::BrowserComponentAvailable(); };
              },
              [](CkinettaDlg& d) { d.MovieArea(0)->SetDisplayModel(2); }) {}

    map::MapWindow& Map() { return *dlg->Features().Find<MapFeature>()->Window(); }
    map::CGoogleMapDlgWrap& Wrap() { return Map().Wrap(); }
    QWebEnginePage* Page() { return Map().Dialog()->Holder().Page(); }
    QJsonObject PageState() { return map::ReadMapPageState(Page()); }
    bool MapShown() { return !Map().Dialog()->isHidden() && Map().Frame()->isVisible(); }
    bool LogoShown() { return Map().Logo()->isVisible(); }

    bool WaitPrepared(int row) {
        return WaitFor(
            [&] {
                return dlg->State().Loaded() && !dlg->State().Busy() &&
                       dlg->State().SelectedIndex() == row && dlg->Control().SliderLast() > 0;
            },
            kWait);
    }
    void Command(int id) { dlg->ToolbarButton(id)->click(); }
    void Select(int row) {
        CFileListCtrl* list = dlg->Filer()->List();
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    int State() { return session.GetState(dlg->State().CameraSelection()); }
    long long Position() { return session.GetPosition(dlg->State().CameraSelection()); }
    // The frame number the main area shows (as recorded: the frame code in
    // the square in the middle).
    int Shown() { return ktest::PictureCode(dlg->MovieArea(0)->GrabPicture(), true); }
    // The map is on screen with the page ready and the tracks drawn.
    bool WaitMapWithTracks() {
        return WaitFor(
            [&] {
                if (!MapShown() || LogoShown()) return false;
                const QJsonObject s = PageState();
                return s.value("state").toString() == "ready" && s.value("gridPoints").toInt() > 0;
            },
            kWait);
    }
    QJsonObject Marker() { return PageState().value("marker").toObject(); }
};

// Map on, the first recording prepared, the map shown with its tracks.
void BringUpOnline(Viewer& v) {
    ASSERT_TRUE(v.WaitPrepared(0));
    v.Command(kCmdMapDisplay);
    ASSERT_TRUE(v.dlg->Features().Find<MapFeature>()->MapOn());
    ASSERT_TRUE(v.Map().Revealed());
    ASSERT_TRUE(v.WaitMapWithTracks()) << "the map did not appear";
}

TEST(MapWindow, OfflineStartShowsThePlainLogoThenTheMapThenTheNoticeWhenTheServerGoes) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    tiles.Stop(); // its port stays reserved for the template
    Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
    // Unseen while unrevealed: transparent, and off screen until placed.
    EXPECT_FALSE(v.Map().Revealed());
    EXPECT_EQ(v.Map().Frame()->windowOpacity(), 0.0);
    ASSERT_TRUE(v.WaitPrepared(0));
    v.Command(kCmdMapDisplay);
    EXPECT_EQ(v.Map().Frame()->windowOpacity(), 1.0);
    // A few reachability rounds without a server: the logo, never the notice.
    const long rounds = v.Wrap().Connection().Rounds();
    bool notice = false;
    ASSERT_TRUE(WaitFor(
        [&] {
            notice = notice || (v.LogoShown() && v.Map().Logo()->LogoPicture() == 0);
            return v.Wrap().Connection().Rounds() >= rounds + 3 && v.LogoShown();
        },
        kWait));
    EXPECT_FALSE(notice);
    EXPECT_EQ(v.Map().Logo()->LogoPicture(), 1);
    EXPECT_FALSE(v.MapShown());
    EXPECT_FALSE(v.Map().MapUsed());

    // The server answers: the page reports ready by itself; the next
    // position update (playing) shows the map.
    ASSERT_TRUE(tiles.Start());
    ASSERT_TRUE(WaitFor([&] { return v.Map().MapUsed(); }, kWait));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(v.WaitMapWithTracks());
    EXPECT_EQ(v.PageState().value("pins").toArray().size(), 3);

    // The server goes away while the map is shown: the notice picture.
    v.Command(kCmdPlayPause);
    tiles.Stop();
    ASSERT_TRUE(WaitFor(
        [&] {
            v.dlg->Control().SeekFromSlider(10); // a position update
            return v.LogoShown() && v.Map().Logo()->LogoPicture() == 0;
        },
        kWait));
    EXPECT_TRUE(v.Map().Dialog()->isHidden());
}

TEST(MapWindow, RecordingsTheMapCannotShowGetTheLogoPanel) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    {
        Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
        BringUpOnline(v);
        // A parking recording, then one without GPS samples.
        for (int row : {1, 2}) {
            v.Select(row);
            ASSERT_TRUE(v.WaitPrepared(row));
            ASSERT_TRUE(WaitFor([&] { return v.LogoShown() && !v.MapShown(); }, kWait)) << row;
            EXPECT_EQ(v.Map().Logo()->LogoPicture(), 1) << row;
        }
        // Back to a recording with a track: the map again.
        v.Select(0);
        ASSERT_TRUE(v.WaitPrepared(0));
        v.dlg->Control().SeekFromSlider(20);
        ASSERT_TRUE(WaitFor([&] { return v.MapShown() && !v.LogoShown(); }, kWait));
    }
    {
        // TX50 with flag byte B 0.
        Viewer v(Cards::tx50, RecorderFamily::TX50, tiles.TileTemplate().toStdString());
        ASSERT_TRUE(v.WaitPrepared(0));
        v.Command(kCmdMapDisplay);
        v.dlg->Control().SeekFromSlider(10);
        ASSERT_TRUE(WaitFor([&] { return v.LogoShown(); }, kWait));
        EXPECT_FALSE(v.MapShown());
    }
}

TEST(MapWindow, OffAndOnKeepsThePageAndSendsTheTracksAgain) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
    int loads = 0;
    QObject::connect(&v.Map().Dialog()->Holder(), &map::CWebView2Holder::PageLoadFinished,
                     [&](bool) { ++loads; });
    BringUpOnline(v);
    ASSERT_TRUE(WaitFor([&] { return loads == 1; }, kWait));
    const long calls = v.Map().Dialog()->Holder().Scheme()->HostCalls();

    v.Command(kCmdMapDisplay); // off
    EXPECT_FALSE(v.Map().Frame()->isVisible());
    EXPECT_EQ(v.Wrap().MapShown(), 0);
    // The page drops its map while the window is off, and a position update
    // reaches it as the offline sentinel.
    v.dlg->Control().SeekFromSlider(15);
    ASSERT_TRUE(
        WaitFor([&] { return v.PageState().value("state").toString() == "offline"; }, kWait));
    v.Command(kCmdMapDisplay); // on
    ASSERT_TRUE(WaitFor([&] { return v.Wrap().PageInitialised() != 0; }, kWait));
    v.dlg->Control().SeekFromSlider(30);
    ASSERT_TRUE(v.WaitMapWithTracks());
    EXPECT_EQ(v.PageState().value("pins").toArray().size(), 3);
    EXPECT_EQ(loads, 1);
    EXPECT_GT(v.Map().Dialog()->Holder().Scheme()->HostCalls(), calls);
}

TEST(MapWindow, MarkerFollowsPlayPauseAndSeeksAndAPinClickSeeksThePlayer) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
    BringUpOnline(v);

    // Playing: the page moves its marker by itself.
    const double startLat = v.Marker().value("lat").toDouble();
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Marker().value("lat").toDouble() != startLat; }, kWait));
    EXPECT_EQ(v.PageState().value("status").toString(), "");

    // Paused: the marker stays through two of the page's rounds.
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePaused; }, kWait));
    ASSERT_TRUE(
        WaitFor([&] { return v.PageState().value("status").toString() == "pause"; }, kWait));
    const QJsonObject held = v.Marker();
    const QString frameText = QString::number(v.Wrap().CurrentFrame());
    ASSERT_TRUE(WaitFor(
        [&] { return v.PageState().value("lastJpgNum").toVariant().toString() == frameText; },
        kWait));
    // Two of the page's once-a-second rounds (each asks for the frame and
    // the state message).
    const long calls = v.Map().Dialog()->Holder().Scheme()->HostCalls();
    ASSERT_TRUE(WaitFor(
        [&] { return v.Map().Dialog()->Holder().Scheme()->HostCalls() >= calls + 6; }, kWait));
    EXPECT_EQ(v.Marker().value("lat").toDouble(), held.value("lat").toDouble());
    EXPECT_EQ(v.Marker().value("lng").toDouble(), held.value("lng").toDouble());

    // A seek while paused moves it.
    const long long back = v.Position() > 120 ? 20 : 200;
    v.dlg->Control().SeekFromSlider(back);
    ASSERT_TRUE(WaitFor(
        [&] { return v.Marker().value("lat").toDouble() != held.value("lat").toDouble(); }, kWait));

    // A click on a pin seeks the player to its event's frame.
    QJsonObject s = v.PageState();
    QJsonObject pin;
    for (const auto& p : s.value("pins").toArray()) {
        const QJsonObject o = p.toObject();
        if (std::abs(o.value("frame").toInt() - back) > 40) pin = o;
    }
    ASSERT_FALSE(pin.isEmpty());
    const int target = pin.value("frame").toInt();
    // Centre the map on the pin's frame first so that it is in view and
    // the marker is elsewhere.
    v.dlg->Control().SeekFromSlider(back);
    // The marker is moved (and the map centred) by a script that runs after
    // the seek returns: wait until the page has read the new frame, is not
    // panning, and the pin stands still over two reads of its state.
    const QString seekText = QString::number(v.Wrap().CurrentFrame());
    auto pinAt = [&](const QJsonObject& state) {
        for (const auto& p : state.value("pins").toArray())
            if (p.toObject().value("frame").toInt() == target) return p.toObject();
        return QJsonObject();
    };
    QJsonObject before;
    ASSERT_TRUE(WaitFor(
        [&] {
            s = v.PageState();
            const QJsonObject now = pinAt(s);
            const bool settled = s.value("lastJpgNum").toVariant().toString() == seekText &&
                                 !s.value("moving").toBool() && !now.isEmpty() && now == before;
            before = now;
            return settled;
        },
        kWait));
    for (const auto& p : s.value("pins").toArray())
        if (p.toObject().value("frame").toInt() == target) pin = p.toObject();
    QWidget* view = v.Map().Dialog()->Holder().View();
    QWidget* top = v.Map().Frame();
    const QPoint at(int(pin.value("x").toDouble() * map::kMapZoomFactor),
                    int((pin.value("y").toDouble() - 20) * map::kMapZoomFactor));
    ASSERT_TRUE(view->rect().contains(at)) << "the pin is out of view";
    const QPoint inWindow = view->mapTo(top, at);
    QTest::mouseMove(top->windowHandle(), inWindow);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, inWindow);
    ASSERT_TRUE(WaitFor([&] { return std::llabs(v.Position() - target) <= 3; }, kWait))
        << "position " << v.Position() << ", pin frame " << target;
    ASSERT_TRUE(WaitFor([&] { return std::abs(v.Shown() - target) <= 3; }, kWait))
        << "shown " << v.Shown() << ", pin frame " << target;
}

TEST(MapWindow, FilterToggleRebuildsTheGroupAndADetectorSwitchRemovesItsPins) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
    BringUpOnline(v);
    const int all = v.PageState().value("groupPoints").toInt();
    EXPECT_EQ(static_cast<int>(v.Wrap().Group().Copy().size()) > 0, true);

    // Parking switch of the trigger filter off: the parking row leaves the
    // list, and with it its samples from the group track.
    ASSERT_EQ(v.dlg->Filer()->Rows().size(), 3u);
    v.dlg->Filer()->OnCommand(39003);
    ASSERT_EQ(v.dlg->Filer()->Rows().size(), 2u);
    ASSERT_TRUE(v.WaitPrepared(0));
    ASSERT_TRUE(WaitFor(
        [&] {
            const int n = v.PageState().value("groupPoints").toInt();
            return n > 0 && n < all;
        },
        kWait));

    // The parking detector off: its pin goes at once.
    ASSERT_TRUE(WaitFor([&] { return v.PageState().value("pins").toArray().size() == 3; }, kWait));
    PostWindowMessage(v.dlg.get(), UM_SETTINGS_NOTIFY, 2, 0);
    ASSERT_TRUE(WaitFor([&] { return v.PageState().value("pins").toArray().size() == 2; }, kWait));
    for (const auto& p : v.PageState().value("pins").toArray())
        EXPECT_NE(p.toObject().value("kind").toInt(), 7);
}

TEST(MapWindow, SpeedingSwitchOfTheSettingsDialogRemovesAndRestoresGraphMarksAndPins) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    Viewer v(Cards::tx50Speeding, RecorderFamily::TX50, tiles.TileTemplate().toStdString());
    BringUpOnline(v);
    constexpr int kSpeedingKind = 8;
    constexpr size_t kSpeedingEntry = 6;
    auto speedingPins = [&] {
        int n = 0;
        for (const auto& p : v.PageState().value("pins").toArray())
            n += p.toObject().value("kind").toInt() == kSpeedingKind;
        return n;
    };
    auto pins = [&] { return v.PageState().value("pins").toArray().size(); };
    CGSensorDlg* graph = v.dlg->Features().Find<TelemetryFeature>()->Graph();
    auto graphShowsSpeeding = [&] {
        return !graph->LastPlan().marks[kSpeedingEntry].empty() && !graph->LastPlan().band.empty();
    };
    ASSERT_TRUE(WaitFor([&] { return pins() == 2 && speedingPins() == 1; }, kWait))
        << pins() << " pins";
    ASSERT_TRUE(WaitFor(graphShowsSpeeding));

    // The dialog as the settings command shows it; its "速度超過" switch clicked.
    v.dlg->OnCommand(kCmdSettings);
    CSettingDlg* d = v.dlg->Features().Find<ServicesFeature>()->SettingsDialog();
    ASSERT_TRUE(WaitFor([&] { return d->isVisible(); }));
    CSkinCheckButton* speeding = d->Switch(3);
    ASSERT_EQ(speeding->text(), QStringLiteral("速度超過"));
    ASSERT_TRUE(speeding->isChecked());
    QTest::mouseClick(speeding, Qt::LeftButton, {}, speeding->rect().center());
    EXPECT_FALSE(speeding->isChecked());
    ASSERT_TRUE(WaitFor([&] { return pins() == 1 && speedingPins() == 0; }, kWait))
        << pins() << " pins";
    ASSERT_TRUE(WaitFor([&] {
        return graph->LastPlan().marks[kSpeedingEntry].empty() && graph->LastPlan().band.empty();
    }));

    QTest::mouseClick(speeding, Qt::LeftButton, {}, speeding->rect().center());
    EXPECT_TRUE(speeding->isChecked());
    ASSERT_TRUE(WaitFor([&] { return pins() == 2 && speedingPins() == 1; }, kWait))
        << pins() << " pins";
    ASSERT_TRUE(WaitFor(graphShowsSpeeding));
}

TEST(MapWindow, WithoutTheBrowserComponentTheNoticeIsShownAndTheLogoStays) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    QString caption;
    ktest::WhenModal([&](QWidget* notice) {
        caption = notice->windowTitle();
        notice->close();
    });
    struct Missing : Home, ktest::ViewerRig {
        explicit Missing(const std::string& tmpl)
            : Home(tmpl), ViewerRig(home.path(), Cards::tx40, RecorderFamily::TX40,
                                    [this](CkinettaDlg::Hooks& h) {
                                        h.startMapBrowser = [] { return true; };
                                        h.mapStorageRoot = std::string(home.path()) + "/browser";
                                        h.browserComponentMissing = [] { return true; };
                                    }) {}
    } v(tiles.TileTemplate().toStdString());
    // The start-up waited for the notice.
    EXPECT_EQ(caption, QString::fromUtf8("Qt WebEngine のヘルパープロセス（QtWebEngineProcess）が"
                                         "インストールされていません。"));
    map::MapWindow& m = *v.dlg->Features().Find<MapFeature>()->Window();
    EXPECT_TRUE(m.NoRuntime());
    EXPECT_FALSE(m.Dialog()->Holder().Created());
    ASSERT_TRUE(WaitFor([&] { return v.dlg->State().Loaded() && !v.dlg->State().Busy(); }, kWait));
    v.dlg->ToolbarButton(kCmdMapDisplay)->click();
    v.dlg->Control().SeekFromSlider(20);
    ASSERT_TRUE(WaitFor([&] { return m.Logo()->isVisible(); }, kWait));
    EXPECT_TRUE(m.Dialog()->isHidden());
    EXPECT_EQ(m.Logo()->LogoPicture(), 1);
}

// Collects every console message of the pages (the browser engine writes
// them to the "js" logging category, errors and warnings as well as
// console.log) while it lives; other messages go on as before.
class PageConsole {
public:
    PageConsole() {
        std::lock_guard lock(mutex_);
        lines_.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("js=true"));
        previous_ = qInstallMessageHandler(&PageConsole::Handle);
    }
    ~PageConsole() {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules({});
    }
    std::string Lines() const {
        std::lock_guard lock(mutex_);
        std::string all;
        for (const std::string& l : lines_)
            all += l + "\n";
        return all;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (context.category && std::strcmp(context.category, "js") == 0) {
            std::lock_guard lock(mutex_);
            lines_.push_back((context.file ? std::string(context.file) + ": " : std::string()) +
                             text.toStdString());
            return;
        }
        if (previous_) previous_(type, context, text);
    }
    static inline std::mutex mutex_;
    static inline std::vector<std::string> lines_; // guarded by mutex_
    static inline QtMessageHandler previous_ = nullptr;
};

TEST(MapWindow, ThePageLogsNothingFromStartUpThroughPlayAndSeeksToClose) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    PageConsole console;
    {
        Viewer v(Cards::tx40, RecorderFamily::TX40, tiles.TileTemplate().toStdString());
        // Start-up: the page is requested and the prepared recording's
        // scripts are sent while its document loads.
        BringUpOnline(v);
        const double startLat = v.Marker().value("lat").toDouble();
        v.Command(kCmdPlayPause);
        ASSERT_TRUE(WaitFor([&] { return v.Marker().value("lat").toDouble() != startLat; }, kWait));
        v.Command(kCmdPlayPause);
        ASSERT_TRUE(
            WaitFor([&] { return v.PageState().value("status").toString() == "pause"; }, kWait));
        // A seek while paused runs the marker's script.
        const QJsonObject held = v.Marker();
        v.dlg->Control().SeekFromSlider(v.Position() > 120 ? 20 : 200);
        ASSERT_TRUE(WaitFor(
            [&] { return v.Marker().value("lat").toDouble() != held.value("lat").toDouble(); },
            kWait));
        // The next recording: its tracks and pins are sent again.
        v.Select(1);
        ASSERT_TRUE(v.WaitPrepared(1));
    }
    QApplication::processEvents();
    EXPECT_EQ(console.Lines(), "");
}

TEST(MapWindow, ClosingAtEveryStageOfTheBringUpEndsCleanly) {
    LocalTileServer tiles;
    ASSERT_TRUE(tiles.Start());
    const std::string tmpl = tiles.TileTemplate().toStdString();
    QElapsedTimer t;
    {
        // Before the controller's message is handled.
        Viewer v(Cards::tx40, RecorderFamily::TX40, tmpl);
        t.start();
    }
    std::printf("closed before the controller: %lld ms\n", static_cast<long long>(t.elapsed()));
    {
        // While the page loads.
        Viewer v(Cards::tx40, RecorderFamily::TX40, tmpl);
        ASSERT_TRUE(v.WaitPrepared(0));
        v.Command(kCmdMapDisplay);
        ASSERT_TRUE(WaitFor([&] { return v.Map().PageRequested(); }, kWait));
        t.start();
    }
    std::printf("closed while the page loads: %lld ms\n", static_cast<long long>(t.elapsed()));
    {
        // While the reachability test waits on a server that accepts and
        // never answers.
        QTcpServer silent;
        ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
        const std::string dead =
            "http://127.0.0.1:" + std::to_string(silent.serverPort()) + "/{z}/{x}/{y}.png";
        Viewer v(Cards::tx40, RecorderFamily::TX40, dead);
        ASSERT_TRUE(v.WaitPrepared(0));
        v.Command(kCmdMapDisplay);
        ASSERT_TRUE(WaitFor([&] { return silent.hasPendingConnections(); }, kWait));
        EXPECT_EQ(v.Wrap().Connection().Reachable(), 0);
        t.start();
    }
    std::printf("closed during a reachability test: %lld ms\n",
                static_cast<long long>(t.elapsed()));
}

} // namespace
} // namespace kinetta

int main(int argc, char** argv) {
    kinetta::map::PrepareWebEngineProcess();
    // Software drawing: a virtual X server has no GPU.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ktest::App();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
