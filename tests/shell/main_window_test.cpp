// The main window on a generated card, driven in-process under a display:
// start-up, quick list clicks, play and the frame shown, seeking to the end,
// continuous play into the next date folder, the shorter rear movie, the
// time-lapse speed, the speed buttons, losing the source, the product
// selection and closing the window at every stage.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QStyleHints>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/shell/qt_message_sink.h"
#include "kinetta/shell/session_port.h"
#include "kinetta/shell/settings_store.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_slider.h"
#include "playcore/player/audio_output.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"
#include "support/temp_dir.h"
#include "tools/mkcard/recording.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

// One recording of the test card.
struct Take {
    std::string folder, name;
    mkcard::FileContent content = mkcard::FileContent::Front;
    double seconds = 3;
    uint32_t frameUs = mkcard::kFrameUs29_1;
};

// The card: a TX50 marker, five recordings in the first date folder (a pair,
// a pair whose rear is 5 s shorter, a time-lapse recording, two more) and
// two in the next one.
const std::vector<Take>& Takes() {
    static const std::vector<Take> takes = {
        {"20230525_001", "001_101500ANN_F.MP4", mkcard::FileContent::Front, 4},
        {"20230525_001", "001_101502ANN_R.MP4", mkcard::FileContent::Rear, 4},
        {"20230525_001", "002_101600ANN_F.MP4", mkcard::FileContent::Front, 8},
        {"20230525_001", "002_101601ANN_R.MP4", mkcard::FileContent::Rear, 3},
        {"20230525_001", "003_101700ATN_F.MP4", mkcard::FileContent::Front, 4,
         mkcard::kFrameUsTimeLapse},
        {"20230525_001", "004_101800ANN_F.MP4", mkcard::FileContent::Front, 3},
        {"20230525_001", "005_101900ANN_F.MP4", mkcard::FileContent::Front, 3},
        {"20230526_001", "001_090000ANN_F.MP4", mkcard::FileContent::Front, 3},
        {"20230526_001", "002_090100ANN_F.MP4", mkcard::FileContent::Front, 3},
    };
    return takes;
}

class CardEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        card = *dir / "card";
        for (const Take& t : Takes()) {
            mkcard::RecordingSpec s;
            s.family = RecorderFamily::TX50;
            s.content = t.content;
            s.durationSeconds = t.seconds;
            s.frameUs = t.frameUs;
            s.frontWidth = s.rearWidth = 160;
            s.frontHeight = s.rearHeight = 90;
            const std::string path = card + "/" + t.folder + "/" + t.name;
            fs::create_directories(fs::path(path).parent_path());
            mkcard::RecordingReport report;
            std::string error;
            ASSERT_TRUE(mkcard::WriteRecording(s, path, &report, &error)) << error;
        }
        std::ofstream(card + "/TX50_download.url") << "[InternetShortcut]\n";
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string card;
};
const auto* const kCards = ::testing::AddGlobalTestEnvironment(new CardEnvironment);

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    return QTest::qWaitFor(done, ms);
}

// A viewer started in a fresh settings folder on a source.
struct Viewer {
    ktest::TempDir home;
    QtMessageSink sink;
    playcore::PlaybackSession session;
    std::unique_ptr<SessionPlaybackPort> port;
    std::unique_ptr<CkinettaDlg> dlg;
    int prompts = 0;
    std::vector<QString> messages;
    std::string cardRoot;
    SourceKind promptKind = kSourceNone; // what the source dialog answers
    std::string promptPath;

    std::string homePath;

    // homeDir: the folder to start in (the settings folder); empty: a fresh one.
    explicit Viewer(std::string card = CardEnvironment::card, std::string homeDir = "",
                    int productAnswer = 2)
        : cardRoot(std::move(card)), homePath(homeDir.empty() ? home.path() : homeDir) {
        ktest::App();
        QDir::setCurrent(QString::fromStdString(homePath));
        playcore::SessionConfig config;
        config.sink = &sink;
        config.makeAudioOutput = [] {
            return std::make_unique<playcore::SimulatedAudioOutput>(40 * 10000);
        };
        port = std::make_unique<SessionPlaybackPort>(session, std::move(config));
        CkinettaDlg::Hooks hooks;
        hooks.productPrompt = [this, productAnswer] {
            ++prompts;
            return productAnswer;
        };
        hooks.messageBox = [this](const QString& text, const QString&, int) {
            messages.push_back(text);
            return 1;
        };
        hooks.sourcePrompt = [this](SourceKind* kind, std::string* path) {
            *kind = promptKind;
            *path = promptPath;
            return promptKind != kSourceNone;
        };
        hooks.removableRoots = [this] {
            return cardRoot.empty() ? std::vector<std::string>{}
                                    : std::vector<std::string>{cardRoot};
        };
        dlg = std::make_unique<CkinettaDlg>(*port, hooks);
        dlg->StartupStage1();
        // The picture as recorded, so that the frame code stays readable.
        dlg->MovieArea(0)->SetDisplayModel(2);
        dlg->MovieArea(1)->SetDisplayModel(2);
        dlg->show();
    }
    ~Viewer() {
        dlg.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    bool WaitLoaded(int row = -1) {
        return WaitFor([&] {
            return dlg->Loaded() && !dlg->Busy() && (row < 0 || dlg->SelectedIndex() == row);
        });
    }
    void Click(int row) {
        CFileListCtrl* list = dlg->Filer()->List();
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    void Command(int id) { dlg->ToolbarButton(id)->click(); }
    long long Position() { return port->GetPosition(dlg->CameraSelection()); }
    int State() { return port->GetState(dlg->CameraSelection()); }
};

TEST(MainWindow, StartsOnTheCardWithTheFirstRecordingOpen) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_EQ(v.prompts, 0); // the card's marker decided the family
    EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
    EXPECT_EQ(v.dlg->windowTitle(), QStringLiteral("VistrelS"));
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 5);
    EXPECT_EQ(v.dlg->Filer()->SelectedFolderItem(), 0);
    EXPECT_TRUE(v.dlg->Toolbar().Enabled(kCmdPlayPause));
    EXPECT_FALSE(v.dlg->Toolbar().Enabled(kCmdSaveSplit)); // not in this build yet
    EXPECT_EQ(v.State(), kEngineStopped);
    // First run: the settings file with its first values.
    SettingsStore store(v.homePath);
    EXPECT_EQ(store.Read("DISPLAY", "INFOCHECK"), "31");
    EXPECT_EQ(store.Read("DISPLAY", "MODELSELECT"), "3");
    EXPECT_EQ(store.Read("DISPLAY", "LOWLOAD"), "1");
    // TX50: the split button is not shown, the rest closes up.
    EXPECT_FALSE(v.dlg->ToolbarButton(kCmdSaveSplit)->isVisible());
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdZoom)->geometry(),
              QRect(v.dlg->Layout().toolbar[8].rect.left, v.dlg->Layout().toolbar[8].rect.top,
                    v.dlg->Layout().toolbar[8].rect.width, v.dlg->Layout().toolbar[8].rect.height));
}

TEST(MainWindow, QuickClicksOpenOnlyTheLastAndPlayShowsTheFrames) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    const int opens = v.dlg->OpenCount();
    for (int row : {1, 2, 3, 0, 4}) {
        v.Click(row);
        QTest::qWait(60);
    }
    ASSERT_TRUE(v.WaitLoaded(4));
    EXPECT_EQ(v.dlg->OpenCount(), opens + 1);

    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > 30; }));
    EXPECT_EQ(v.State(), kEnginePlaying);
    // The picture in the movie area moves on with the position.
    const QImage first = v.dlg->MovieArea(0)->GrabPicture();
    const long long at = v.Position();
    ASSERT_TRUE(WaitFor([&] { return v.Position() > at + 10; }));
    const QImage later = v.dlg->MovieArea(0)->GrabPicture();
    ASSERT_FALSE(first.isNull());
    EXPECT_NE(first, later);
    EXPECT_FALSE(v.dlg->PositionLabel()->text().isEmpty());
    EXPECT_GT(v.dlg->PositionSlider()->Pos(), 0);
}

TEST(MainWindow, SeekingToTheEndStopsShortByTheMargin) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    ASSERT_TRUE(WaitFor([&] { return v.dlg->SliderLast() > 0; }));
    const long long length = v.port->GetLength(0);
    v.dlg->SeekFromSlider(v.dlg->SliderLast());
    ASSERT_TRUE(WaitFor([&] { return v.Position() > length / 2; }));
    const int margin = SeekMargin(1, v.port->GetFrameDuration(0));
    EXPECT_LE(v.Position(), length - 2 * margin);
    EXPECT_GE(v.Position(), length - 2 * margin - 25);
}

TEST(MainWindow, ContinuousPlayGoesIntoTheNextDateFolder) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    // The last recording of the folder, played to its end.
    v.Click(4);
    ASSERT_TRUE(v.WaitLoaded(4));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Filer()->SelectedFolderItem() == 1; }, 15000));
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 2);
    EXPECT_NE(v.dlg->Filer()->Rows()[0].frontPath.find("20230526_001"), std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying && v.Position() > 10; }));

    // Next by hand at the last recording of a folder does the same.
    Viewer w;
    ASSERT_TRUE(w.WaitLoaded(0));
    w.Click(4);
    ASSERT_TRUE(w.WaitLoaded(4));
    w.Command(kCmdNext);
    ASSERT_TRUE(WaitFor([&] { return w.dlg->Filer()->SelectedFolderItem() == 1; }));
    ASSERT_TRUE(w.WaitLoaded(0));
}

TEST(MainWindow, ShorterRearMovieShowsItsNoDataTextWhileTheFrontPlaysOn) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Click(1);
    ASSERT_TRUE(v.WaitLoaded(1));
    EXPECT_FALSE(v.dlg->MovieArea(1)->NoData());
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.dlg->MovieArea(1)->NoData(); }, 15000));
    EXPECT_EQ(v.dlg->MovieArea(1)->NoDataText(),
              QStringLiteral("リヤカメラの動画データがありません"));
    const long long at = v.Position();
    EXPECT_GT(at, 88 + 60); // past the rear's 88 frames and the tolerance
    EXPECT_EQ(v.State(), kEnginePlaying);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > at + 10; }));
    EXPECT_FALSE(v.dlg->MovieArea(0)->NoData());
}

TEST(MainWindow, SpeedOfTimeLapseAndTheSpeedButtons) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Click(2);
    ASSERT_TRUE(v.WaitLoaded(2));
    EXPECT_EQ(v.dlg->SpeedLabel()->text(), QStringLiteral("再生速度x0.5"));

    v.Click(1); // the 8-s pair
    ASSERT_TRUE(v.WaitLoaded(1));
    EXPECT_EQ(v.dlg->SpeedLabel()->text(), QStringLiteral("再生速度x1.0"));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying; }));
    const int half = QApplication::styleHints()->mouseDoubleClickInterval() / 2;
    // Twice quickly: one step.
    v.Command(kCmdFastForward);
    v.Command(kCmdFastForward);
    ASSERT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() != QStringLiteral("再生速度x1.0"); }));
    QTest::qWait(half + 100);
    EXPECT_EQ(v.dlg->SpeedLabel()->text(), QStringLiteral("再生速度x2.0"));
    // Back to x1.0, then twice slowly: two steps, and the button refuses a third.
    v.Command(kCmdSlow);
    ASSERT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() == QStringLiteral("再生速度x1.0"); }));
    v.Command(kCmdFastForward);
    ASSERT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() == QStringLiteral("再生速度x2.0"); }));
    v.Command(kCmdFastForward);
    ASSERT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() == QStringLiteral("再生速度x4.0"); }));
    EXPECT_FALSE(v.dlg->ToolbarButton(kCmdFastForward)->isEnabled());
}

TEST(MainWindow, LosingTheSourceWhilePlayingClearsTheList) {
    ktest::TempDir copy;
    const std::string card = copy / "card";
    fs::copy(CardEnvironment::card, card, fs::copy_options::recursive);
    Viewer v(card);
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > 5; }));
    fs::remove_all(card);
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Filer()->RowCount() == 0; }));
    EXPECT_EQ(v.State(), kEngineClosed);
    EXPECT_FALSE(v.dlg->Toolbar().Enabled(kCmdPlayPause));
    EXPECT_TRUE(v.dlg->Toolbar().Enabled(kCmdBrowse));
}

TEST(MainWindow, FirstRunWithoutAMarkerAsksForTheProduct) {
    {
        // No settings file and no card: the product selection decides.
        Viewer v("", "", 2);
        EXPECT_EQ(v.prompts, 1);
        EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
        EXPECT_EQ(SettingsStore(v.homePath).Read("DISPLAY", "MODELSELECT"), "3");
    }
    // A later run opens the remembered folder without asking.
    ktest::TempDir home;
    SettingsStore(home.path()).Write("SOURCE", "FOLDER", CardEnvironment::card + "/20230526_001");
    SettingsStore(home.path()).Write("DISPLAY", "MODELSELECT", "3");
    Viewer v("", home.path(), 1);
    EXPECT_EQ(v.prompts, 0);
    EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 2);
    // After start-up a card of the other family is silently refused.
    ASSERT_TRUE(WaitFor([&] { return v.dlg->StartupComplete() && v.dlg->Loaded(); }));
    ktest::TempDir card40;
    std::ofstream(card40 / "TX40_40L_Viewer_download.url") << "x";
    v.promptKind = kSourceCard;
    v.promptPath = card40.path();
    v.dlg->OnCommand(kCmdBrowse);
    EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
    EXPECT_NE(v.dlg->SourceCatalogue().SourcePath(), card40.path());
    EXPECT_TRUE(v.messages.empty());
}

TEST(MainWindow, ClosesAtEveryStage) {
    {
        Viewer v; // while the first open waits for its timer
    }
    {
        Viewer v; // while the movies open
        WaitFor([&] { return v.dlg->OpenCount() > 0; });
    }
    {
        Viewer v; // while the prefetch runs (it sleeps 80 ms before reading)
        WaitFor([&] { return v.dlg->MovieArea(0)->isVisible() && !v.dlg->Busy(); }, 3000);
    }
    {
        Viewer v; // while playing
        ASSERT_TRUE(v.WaitLoaded(0));
        v.Command(kCmdPlayPause);
        WaitFor([&] { return v.Position() > 5; });
        v.dlg->OnCommand(kCmdClose);
        EXPECT_FALSE(v.dlg->isVisible());
    }
    SUCCEED();
}

} // namespace
} // namespace kinetta
