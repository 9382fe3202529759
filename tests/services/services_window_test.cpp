// The services in the viewer, on generated cards: the settings dialog's
// switches by family and their effect on the graph, the update notice fed by a
// local HTTP server (fetched markup shown as text, only http(s) links opened),
// a silent server that does not hold up the exit, and the size multipliers
// saved at shutdown and restored at the next start.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "kinetta/base/display_scale.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/services/link_ctrl.h"
#include "kinetta/services/services_feature.h"
#include "kinetta/services/setting_dlg.h"
#include "kinetta/services/update_check_async.h"
#include "kinetta/services/update_dialog.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/telemetry_feature.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"
#include "support/command_run.h"
#include "support/local_http_server.h"
#include "support/slow_card.h"
#include "support/temp_dir.h"
#include "support/viewer_rig.h"
#include "tools/mkcard/recording.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using mkcard::EventKind;

// A card of each family with one 6-s recording; the TX50 one carries a
// speeding stretch.
class Cards : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
            const bool tx50 = family == RecorderFamily::TX50;
            const std::string card = *dir / (tx50 ? "tx50" : "tx40");
            const std::string folder = card + "/20230525_001/";
            fs::create_directories(folder);
            mkcard::RecordingSpec s;
            s.family = family;
            s.start = {2023, 5, 25, 10, 15, 0};
            s.durationSeconds = 6;
            if (tx50)
                s.events = {
                    {2, EventKind::Speeding}, {3, EventKind::Speeding}, {4, EventKind::Speeding}};
            else
                s.events = {{2, EventKind::Parking}};
            mkcard::RecordingReport report;
            std::string error;
            ASSERT_TRUE(mkcard::WriteRecording(
                s, folder + (tx50 ? "001_101500ANN_F.MP4" : "001_101500A_M.MP4"), &report, &error))
                << error;
            ktest::WriteModelMarker(card, family);
            (tx50 ? tx50Card : tx40Card) = card;
        }
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string tx40Card, tx50Card;
};
const auto* const kCards = ::testing::AddGlobalTestEnvironment(new Cards);

using ktest::WaitFor;

struct Viewer : ktest::ViewerRig {
    Viewer(const std::string& home, std::string cardRoot, RecorderFamily family,
           UpdateEndpoints endpoints = {})
        : ViewerRig(home, std::move(cardRoot), family, [endpoints](CkinettaDlg::Hooks& hooks) {
              hooks.updateEndpoints = [endpoints] { return endpoints; };
          }) {}
    bool WaitPrepared() {
        return WaitFor([&] {
            return dlg->State().Loaded() && !dlg->State().Busy() &&
                   dlg->Features().Find<TelemetryFeature>()->Graph()->HasMovie() &&
                   dlg->Control().SliderLast() > 0;
        });
    }
};

std::vector<int> ShownSwitches(CSettingDlg* d) {
    std::vector<int> shown;
    for (int i = 0; i < 6; ++i)
        if (!d->Switch(i)->isHidden()) shown.push_back(i);
    return shown;
}

TEST(SettingsDialog, Tx40CardShowsTheParkingSwitchOnly) {
    ktest::TempDir home;
    Viewer v(home.path(), Cards::tx40Card, RecorderFamily::TX40);
    CSettingDlg* d = v.dlg->Features().Find<ServicesFeature>()->SettingsDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->isVisible()); // created at start-up, shown on demand
    v.dlg->OnCommand(38016);
    ASSERT_TRUE(WaitFor([&] { return d->isVisible(); }));
    EXPECT_EQ(d->windowTitle(), QStringLiteral("設定"));
    EXPECT_EQ(ShownSwitches(d), std::vector<int>{2});
    EXPECT_EQ(d->Switch(2)->text(), QStringLiteral("駐車監視衝撃"));
    EXPECT_TRUE(d->Switch(2)->isChecked());
    EXPECT_EQ(d->Switch(2)->ControlId(), 32970);
    EXPECT_EQ(d->DesignSize(), QSize(Scaled(SkinScale(), 720), Scaled(SkinScale(), 480)));
    // The whole explanation after the layout pass, and the version line.
    EXPECT_TRUE(d->Explanation()->text().endsWith(
        QStringLiteral("ご確認ください。\n\n\n現在使用中のビューワソフト：VistrelS")))
        << d->Explanation()->text().toStdString();
    EXPECT_EQ(d->VersionLine()->text(), QStringLiteral("Version 2.0.1\nCopyright (C) 2023 NORVAK"));
}

TEST(SettingsDialog, SpeedingSwitchRemovesAndRestoresTheMarks) {
    ktest::TempDir home;
    Viewer v(home.path(), Cards::tx50Card, RecorderFamily::TX50);
    ASSERT_TRUE(v.WaitPrepared());
    CSettingDlg* d = v.dlg->Features().Find<ServicesFeature>()->SettingsDialog();
    v.dlg->OnCommand(38016);
    EXPECT_EQ(ShownSwitches(d), (std::vector<int>{0, 1, 2, 3, 4}));
    for (int i : ShownSwitches(d))
        EXPECT_TRUE(d->Switch(i)->isChecked()) << i;
    EXPECT_EQ(d->DesignSize(), QSize(Scaled(SkinScale(), 720), Scaled(SkinScale(), 520)));

    constexpr size_t kSpeedingEntry = 6;
    CGSensorDlg* graph = v.dlg->Features().Find<TelemetryFeature>()->Graph();
    auto marks = [&] { return graph->LastPlan().marks[kSpeedingEntry].size(); };
    ASSERT_TRUE(WaitFor([&] { return marks() > 0 && !graph->LastPlan().band.empty(); }));
    const size_t before = marks();
    const size_t events = v.dlg->Features().Find<TelemetryFeature>()->Views().Events().size();

    QTest::mouseClick(d->Switch(3), Qt::LeftButton);
    EXPECT_FALSE(d->Switch(3)->isChecked());
    ASSERT_TRUE(WaitFor([&] { return marks() == 0 && graph->LastPlan().band.empty(); }));
    for (const GraphEvent& e : v.dlg->Features().Find<TelemetryFeature>()->Views().Events())
        EXPECT_NE(e.entry, static_cast<int>(kSpeedingEntry));

    QTest::mouseClick(d->Switch(3), Qt::LeftButton);
    EXPECT_TRUE(d->Switch(3)->isChecked());
    ASSERT_TRUE(WaitFor([&] { return marks() == before && !graph->LastPlan().band.empty(); }));
    EXPECT_EQ(v.dlg->Features().Find<TelemetryFeature>()->Views().Events().size(), events);
}

class OpenedLinks {
public:
    OpenedLinks() {
        saved_ = CLinkCtrl::Opener();
        CLinkCtrl::Opener() = [this](const QUrl& url) { urls.push_back(url.toString()); };
    }
    ~OpenedLinks() { CLinkCtrl::Opener() = saved_; }
    std::vector<QString> urls;

private:
    std::function<void(const QUrl&)> saved_;
};

// The endpoints of a local update server answering body for the viewer's version.
UpdateEndpoints ServedViewerVersion(ktest::LocalHttpServer& server, const std::string& body) {
    server.Set("/viewer.txt", body);
    UpdateEndpoints ep;
    ep.viewerVersion = server.Url("/viewer.txt");
    ep.viewerPage = "https://example.invalid/viewer";
    return ep;
}

TEST(UpdateNotice, FetchedMarkupIsShownAsTextInTheNotice) {
    ktest::LocalHttpServer server;
    const UpdateEndpoints ep =
        ServedViewerVersion(server, "VER:<b>2.0.9</b><a href=\"file:///etc/passwd\">x</a>");
    ktest::TempDir home;
    Viewer v(home.path(), Cards::tx40Card, RecorderFamily::TX40, ep);
    ASSERT_TRUE(WaitFor(
        [&] { return v.dlg->Features().Find<ServicesFeature>()->UpdateNotice() != nullptr; }));
    CUpdateDialog* notice = v.dlg->Features().Find<ServicesFeature>()->UpdateNotice();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("ソフトの更新情報"));
    EXPECT_EQ(notice->DesignSize(), QSize(Scaled(SkinScale(), 640), Scaled(SkinScale(), 480)));
    const QString shown = notice->Link()->ShownText();
    EXPECT_TRUE(shown.contains(
        QStringLiteral("更新バージョン：<b>2.0.9</b><a href=\"file:///etc/passwd\">x</a>")))
        << shown.toStdString();
    // One link: the page the notice itself wrote.
    ASSERT_EQ(notice->Link()->Links().size(), 1u);
    OpenedLinks opened;
    notice->Link()->ActivateLink(0);
    EXPECT_EQ(opened.urls, std::vector<QString>{QStringLiteral("https://example.invalid/viewer")});
    // The check ran once: the settings dialog links the same page.
    EXPECT_EQ(server.RequestCount("/viewer.txt"), 1);
    EXPECT_EQ(v.dlg->Features().Find<ServicesFeature>()->SettingsDialog()->Link()->Links(),
              std::vector<std::string>{"https://example.invalid/viewer"});
}

TEST(UpdateNotice, RunsOnceTheStartupSourceHasBeenReadBehindASlowReader) {
    // The card is read in the background: behind a slow reader it arrives
    // after start-up's stage 2, and the check still runs with its versions.
    const std::string layer = ktest::BuiltTool("tests/support/slowcard/slowcard");
    if (const std::string why = ktest::SlowCard::Unavailable(layer); !why.empty())
        GTEST_SKIP() << why;
    ktest::TempDir dir;
    const std::string mount = dir.Mkdir("card");
    ktest::SlowCard slow;
    ASSERT_TRUE(slow.Start(layer, Cards::tx40Card, mount, 10, true));
    ktest::LocalHttpServer server;
    const UpdateEndpoints ep = ServedViewerVersion(server, "VER:2.0.9");
    ktest::TempDir home;
    Viewer v(home.path(), mount, RecorderFamily::TX40, ep);
    EXPECT_TRUE(WaitFor([&] { return !v.dlg->ReadingSource(); }, 60000));
    ASSERT_TRUE(WaitFor(
        [&] { return v.dlg->Features().Find<ServicesFeature>()->UpdateNotice() != nullptr; }));
    EXPECT_EQ(server.RequestCount("/viewer.txt"), 1);
}

TEST(UpdateNotice, OnlyWebAddressesAreOpened) {
    ktest::App();
    OpenedLinks opened;
    CUpdateDialog compact(true);
    EXPECT_EQ(compact.DesignSize(), QSize(Scaled(SkinScale(), 640), Scaled(SkinScale(), 320)));
    compact.SetMessage(
        "a <a href=\"file:///etc/passwd\">f</a> b <a href=\"javascript:alert(1)\">j</a> "
        "<a href=\"HTTPS://example.invalid/x\">h</a> <a href=\"http:///x\">n</a>\r\nend");
    ASSERT_EQ(compact.Link()->Links().size(), 4u);
    for (int i = 0; i < 4; ++i)
        compact.Link()->ActivateLink(i);
    EXPECT_EQ(opened.urls, std::vector<QString>{QStringLiteral("https://example.invalid/x")});
    EXPECT_EQ(compact.Link()->ShownText(), QStringLiteral("a f b j h n\nend"));
    // A real click on the label's anchor goes the same way.
    compact.Link()->linkActivated(QStringLiteral("#1"));
    EXPECT_EQ(opened.urls.size(), 1u);
    // The close button ends the dialog.
    compact.show();
    compact.CloseControl()->click();
    EXPECT_FALSE(compact.isVisible());
}

TEST(UpdateNotice, BrowserComponentNoticeWaitsForTheUser) {
    ktest::App();
    ktest::TempDir home;
    QDir::setCurrent(QString::fromStdString(home.path()));
    playcore::PlaybackSession session;
    QtMessageSink sink;
    playcore::SessionConfig config;
    config.sink = &sink;
    session.Configure(std::move(config));
    CkinettaDlg::Hooks hooks;
    hooks.productPrompt = [] { return 1; };
    hooks.messageBox = [](const QString&, const QString&, int) { return 1; };
    hooks.removableRoots = [] { return std::vector<std::string>{}; };
    hooks.updateEndpoints = [] { return UpdateEndpoints{}; };
    hooks.browserComponentMissing = [] { return true; };
    CkinettaDlg dlg(session, hooks);
    // Start-up stays in the notice until it is closed.
    QString caption, text;
    QSize design;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* notice = dynamic_cast<CUpdateDialog*>(w); notice && notice->isVisible()) {
                caption = notice->windowTitle();
                text = notice->Link()->ShownText();
                design = notice->DesignSize();
                notice->CloseControl()->click();
            }
    });
    dlg.StartupStage1();
    EXPECT_EQ(caption, QStringLiteral("Qt WebEngine のヘルパープロセス（QtWebEngineProcess）が"
                                      "インストールされていません。"));
    // What is missing here, the package that holds it and how to install it;
    // nothing of another platform's runtime.
    const QString package = QStringLiteral("libqt6webenginecore6-bin");
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("Qt WebEngine のヘルパープロセス（QtWebEngineProcess）"
                                       "がインストールされていないと")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Debian パッケージ「") + package + "」"));
    EXPECT_TRUE(text.endsWith(QStringLiteral("sudo apt install ") + package +
                              QStringLiteral("\nURL : https://packages.debian.org/bookworm/") +
                              package + "\n"))
        << text.toStdString();
    for (const char* foreign : {"WebView2", "エバーグリーン", "ブートストラップ", "microsoft"})
        EXPECT_FALSE(text.contains(QString::fromUtf8(foreign), Qt::CaseInsensitive)) << foreign;
    // The package named is the one that holds this Qt's helper process.
    QProcess owner;
    owner.start(QStringLiteral("dpkg"),
                {QStringLiteral("-S"), QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                                           QStringLiteral("/QtWebEngineProcess")});
    if (owner.waitForFinished(30000) && owner.exitCode() == 0) {
        EXPECT_TRUE(QString::fromUtf8(owner.readAllStandardOutput()).startsWith(package + ":"));
    }
    EXPECT_EQ(design, QSize(Scaled(SkinScale(), 640), Scaled(SkinScale(), 320)));
    QDir::setCurrent(QDir::tempPath());
}

TEST(UpdateNotice, ASilentServerDoesNotHoldUpTheExit) {
    ktest::LocalHttpServer server;
    server.Set("/viewer.txt", ktest::LocalHttpServer::Answer{200, "", true});
    UpdateEndpoints ep;
    ep.viewerVersion = server.Url("/viewer.txt");
    ktest::TempDir home;
    auto v = std::make_unique<Viewer>(home.path(), Cards::tx40Card, RecorderFamily::TX40, ep);
    ASSERT_TRUE(WaitFor([&] { return server.RequestCount("/viewer.txt") == 1; }));
    const auto start = std::chrono::steady_clock::now();
    v->dlg->OnCommand(kCmdClose);
    v.reset();
    // The transfer's own time-out is 30 s; the exit aborts it at once.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(Shutdown, SavesTheMultipliersThatTheNextStartRestores) {
    ktest::TempDir home;
    {
        Viewer v(home.path(), Cards::tx40Card, RecorderFamily::TX40);
        v.dlg->SetMultipliers({1.25, 1.125});
        v.dlg->MapWindow()->SetMultipliers({1.5, 1.25});
        v.dlg->SecondMovieWindow()->SetMultipliers({1.75, 1.5});
        v.dlg->OnCommand(kCmdClose);
    }
    SettingsStore store(home.path());
    EXPECT_EQ(store.Read("DISPLAY", "SCALEX"), "1.250000");
    EXPECT_EQ(store.Read("DISPLAY", "SCALEY"), "1.125000");
    EXPECT_EQ(store.Read("MAPDISPLAY", "SCALEX"), "1.500000");
    EXPECT_EQ(store.Read("MOVIEDISPLAY", "SCALEY"), "1.500000");

    Viewer next(home.path(), Cards::tx40Card, RecorderFamily::TX40);
    EXPECT_DOUBLE_EQ(next.dlg->Multipliers().x, 1.25);
    EXPECT_DOUBLE_EQ(next.dlg->Multipliers().y, 1.125);
    EXPECT_DOUBLE_EQ(next.dlg->MapWindow()->Multipliers().x, 1.5);
    EXPECT_DOUBLE_EQ(next.dlg->SecondMovieWindow()->Multipliers().y, 1.5);
}

TEST(DisplayPower, DisplayOnRedrawsWithoutFailing) {
    ktest::TempDir home;
    Viewer v(home.path(), Cards::tx40Card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitPrepared());
    v.dlg->Features()
        .Find<ServicesFeature>()
        ->OnDisplayPowerOn(); // the current cameras are drawn again
    EXPECT_TRUE(v.dlg->State().Loaded());
}

} // namespace
} // namespace kinetta
