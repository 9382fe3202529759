// The main window on a generated card, driven in-process under a display:
// start-up, quick list clicks, play and the frame shown, seeking to the end,
// continuous play into the next date folder, the shorter rear movie, the
// time-lapse speed, the speed buttons, losing the source, the product
// selection and closing the window at every stage; and the views: the
// display-model cycle against off-screen renderings, pointer drags, the
// controller bar, zoom mode, full screen and the aspect setting.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleHints>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "kinetta/app/kinetta_app.h"
#include "kinetta/base/display_scale.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/qt_message_sink.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/window_message.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/file_list_ctrl.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/catalogue/folder_tree_ctrl.h"
#include "kinetta/map/google_map_dlg2.h"
#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/map_feature.h"
#include "kinetta/map/map_scripts.h"
#include "kinetta/map/map_window.h"
#include "kinetta/map/track_array.h"
#include "kinetta/shell/controller_dlg.h"
#include "kinetta/shell/controller_logic.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/model_select_dlg.h"
#include "kinetta/shell/playback_rules.h"
#include "kinetta/skin/movie_dialog.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_context.h"
#include "kinetta/skin/skin_pictures.h"
#include "kinetta/skin/skin_slider.h"
#include "platform/file_io.h"
#include "playcore/container/gps_reader.h"
#include "playcore/player/audio_output.h"
#include "playcore/present/presenter.h"
#include "playcore/session/playback_session.h"
#include "skin/gui_support.h"
#include "support/command_run.h"
#include "support/fat_card.h"
#include "support/picture_code.h"
#include "support/slow_card.h"
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
    std::unique_ptr<CkinettaDlg> dlg;
    int prompts = 0;
    std::vector<QString> messages;
    std::string cardRoot;
    SourceKind promptKind = kSourceNone; // what the source dialog answers
    std::string promptPath;
    bool tracing = false; // the viewer's ordered steps go to trace meanwhile
    std::vector<std::string> trace;

    std::string homePath;

    // homeDir: the folder to start in (the settings folder); empty: a fresh one.
    // productAnswer: what the product selection answers; kCloseProductDialog
    // shows the real dialog and closes it with Escape.
    static constexpr int kCloseProductDialog = -100;
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
        session.Configure(std::move(config));
        CkinettaDlg::Hooks hooks;
        hooks.productPrompt = [this, productAnswer] {
            ++prompts;
            if (productAnswer != kCloseProductDialog) return productAnswer;
            CModelSelectDlg product(dlg.get());
            QTimer::singleShot(100, &product,
                               [&product] { QTest::keyClick(&product, Qt::Key_Escape); });
            return product.exec();
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
        hooks.trace = [this](std::string_view step) {
            if (tracing) trace.emplace_back(step);
        };
        dlg = std::make_unique<CkinettaDlg>(session, hooks);
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
            return dlg->State().Loaded() && !dlg->State().Busy() &&
                   (row < 0 || dlg->State().SelectedIndex() == row);
        });
    }
    void Click(int row) {
        CFileListCtrl* list = dlg->Filer()->List();
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    void Command(int id) { dlg->ToolbarButton(id)->click(); }
    long long Position() { return session.GetPosition(dlg->State().CameraSelection()); }
    int State() { return session.GetState(dlg->State().CameraSelection()); }
};

TEST(MainWindow, ACardIsListedByItsNamesFirstAndReadWholeBehindTheList) {
    // Behind a slow reader the first folder is listed, and its recording
    // opens, while the rest of the card is still being read; the tree is then
    // the whole read's: a folder of an unfinished recording only drops out,
    // and the recording open stays open. Twice: that folder there and not.
    const std::string layer = ktest::BuiltTool("tests/support/slowcard/slowcard");
    if (const std::string why = ktest::SlowCard::Unavailable(layer); !why.empty()) {
        if (ktest::FuseRequired()) FAIL() << why;
        GTEST_SKIP() << why;
    }
    for (const bool unfinishedFolder : {true, false}) {
        SCOPED_TRACE(unfinishedFolder ? "a folder of an unfinished recording" : "a whole card");
        ktest::TempDir dir;
        const std::string files = dir / "files";
        fs::copy(CardEnvironment::card, files, fs::copy_options::recursive);
        if (unfinishedFolder) {
            fs::create_directories(files + "/20230527_001");
            std::ofstream(files + "/20230527_001/001_080000ANN_F.MP4") << "being written";
        }
        Catalogue whole(RecorderFamily::TX50, ContainerProbe(RecorderFamily::TX50));
        ASSERT_TRUE(whole.OpenSource(files, kSourceCard));
        const std::string mount = dir.Mkdir("card");
        ktest::SlowCard slow;
        // 25 ms a call: the whole read takes seconds, the open of the first
        // recording well under one.
        ASSERT_TRUE(slow.Start(layer, files, mount, 25, true));
        ForgetFileFacts();
        Viewer v(mount);
        bool listedBeforeRead = false; // rows and a tree by names, the card still being read
        unsigned opened = 0; // the open of the first recording, made while the card was read
        ASSERT_TRUE(WaitFor(
            [&] {
                const Catalogue* source = v.dlg->State().Source();
                const bool byNames = source && source->NamesOnly() && v.dlg->ReadingSource();
                if (byNames && v.dlg->Filer()->RowCount() > 0 && !v.dlg->Filer()->Loading())
                    listedBeforeRead = true;
                if (byNames && v.dlg->State().Loaded() && opened == 0)
                    opened = v.dlg->State().OpenSerial();
                return !v.dlg->ReadingSource() && v.dlg->State().Loaded();
            },
            60000));
        EXPECT_TRUE(listedBeforeRead);
        const Catalogue& shown = v.dlg->SourceCatalogue();
        EXPECT_FALSE(shown.NamesOnly());
        ASSERT_EQ(shown.Tree().size(), whole.Tree().size());
        for (size_t i = 0; i < whole.Tree().size(); ++i) {
            EXPECT_EQ(shown.Tree()[i].path.substr(mount.size()),
                      whole.Tree()[i].path.substr(files.size()));
            EXPECT_EQ(shown.Tree()[i].filterBits, whole.Tree()[i].filterBits);
        }
        EXPECT_EQ(v.dlg->Filer()->Tree()->Items().size(), whole.Tree().size());
        EXPECT_EQ(shown.Entries().size(), whole.Entries().size());
        EXPECT_EQ(shown.FirmwareVersion(), whole.FirmwareVersion());
        EXPECT_EQ(v.dlg->Filer()->RowCount(), 5);
        // The recording open was not opened again.
        EXPECT_NE(opened, 0u);
        EXPECT_EQ(v.dlg->State().OpenSerial(), opened);
        EXPECT_EQ(v.dlg->Filer()->SelectedFolderItem(), 0);
    }
}

TEST(MainWindow, QtsOwnDialogsAndMenusSpeakJapanese) {
    // The folder prompts of the flows are Qt's file dialog; its buttons and a
    // text field's context menu come from Qt's own translations.
    ASSERT_TRUE(kinetta::InstallQtTranslations(ktest::App()));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text().section('\t', 0, 0); // the shortcut follows a tab
    EXPECT_TRUE(texts.contains(QStringLiteral("コピー(&C)"))) << texts.join('|').toStdString();
}

TEST(MainWindow, StartsOnTheCardWithTheFirstRecordingOpen) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_EQ(v.prompts, 0); // the card's marker decided the family
    EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
    EXPECT_EQ(v.dlg->windowTitle(), QStringLiteral("VistrelS"));
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 5);
    EXPECT_EQ(v.dlg->Filer()->SelectedFolderItem(), 0);
    EXPECT_TRUE(v.dlg->Toolbar().Enabled(kCmdPlayPause));
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

TEST(MainWindow, StartUpShowsTheWindowWhileTheCardIsReadThenListsTheSameRows) {
    Viewer v;
    // Start-up has returned and the window is shown before the card's
    // result can have arrived (it comes through the event loop): the list
    // says so and takes no click.
    EXPECT_TRUE(v.dlg->isVisible());
    EXPECT_TRUE(v.dlg->ReadingSource());
    CFilerContainerDlg* filer = v.dlg->Filer();
    EXPECT_EQ(filer->RowCount(), 0);
    EXPECT_FALSE(filer->List()->isEnabled());
    auto* loading = filer->List()->viewport()->findChild<QLabel*>(QStringLiteral("loading"));
    ASSERT_NE(loading, nullptr);
    EXPECT_FALSE(loading->isHidden());
    EXPECT_EQ(loading->text(), QStringLiteral("読み込み中…"));
    ASSERT_TRUE(WaitFor([&] { return !v.dlg->ReadingSource(); }));
    EXPECT_TRUE(filer->List()->isEnabled());
    EXPECT_TRUE(loading->isHidden());
    // The first date folder, exactly as a scan of it on this thread lists it.
    Catalogue card(RecorderFamily::TX50, ContainerProbe(RecorderFamily::TX50));
    ASSERT_TRUE(card.OpenSource(CardEnvironment::card, kSourceCard));
    ASSERT_FALSE(card.Tree().empty());
    Catalogue folder(RecorderFamily::TX50, ContainerProbe(RecorderFamily::TX50));
    folder.OpenSource(card.Tree()[0].path, kSourceFolder);
    EXPECT_EQ(filer->SelectedFolderItem(), 0);
    EXPECT_EQ(v.dlg->SourceCatalogue().Tree().size(), card.Tree().size());
    const std::vector<RecordingEntry>& shown = filer->ScanResult();
    ASSERT_EQ(shown.size(), folder.Entries().size());
    ASSERT_EQ(filer->RowCount(), 5);
    for (size_t i = 0; i < shown.size(); ++i) {
        const RecordingEntry& a = shown[i];
        const RecordingEntry& b = folder.Entries()[i];
        EXPECT_EQ(a.frontPath, b.frontPath) << i;
        EXPECT_EQ(a.rearPath, b.rearPath) << i;
        EXPECT_EQ(a.listNumber, b.listNumber) << i;
        EXPECT_EQ(a.frontSize, b.frontSize) << i;
        EXPECT_EQ(a.frontFrames, b.frontFrames) << i;
        EXPECT_EQ(a.rearFrames, b.rearFrames) << i;
    }
    ASSERT_TRUE(v.WaitLoaded(0));
}

TEST(MainWindow, QuickClicksOpenOnlyTheLastAndPlayShowsTheFrames) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    const int opens = v.dlg->State().OpenSerial();
    for (int row : {1, 2, 3, 0, 4}) {
        v.Click(row);
        QTest::qWait(60);
    }
    ASSERT_TRUE(v.WaitLoaded(4));
    EXPECT_EQ(v.dlg->State().OpenSerial(), opens + 1);

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
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().SliderLast() > 0; }));
    const long long length = v.session.GetLength(0);
    v.dlg->Control().SeekFromSlider(v.dlg->Control().SliderLast());
    ASSERT_TRUE(WaitFor([&] { return v.Position() > length / 2; }));
    const int margin = SeekMargin(1, v.session.GetFrameDuration(0));
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
    // The position at which the window switched the area.
    const long long at = v.dlg->Control().PairEndShownAt(1);
    const long long rearFrames = v.dlg->Filer()->Rows()[1].rearFrames; // 3 s: 87 frames
    EXPECT_GT(rearFrames, 80);
    EXPECT_GT(at, rearFrames + 60); // past the rear's frames and the tolerance
    EXPECT_EQ(v.dlg->Control().PairEndShownAt(0), -1);
    EXPECT_EQ(v.State(), kEnginePlaying);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > at + 10; }));
    EXPECT_FALSE(v.dlg->MovieArea(0)->NoData());
}

TEST(MainWindow, KeysActWhateverChildHasTheFocusButATextFieldKeepsItsOwn) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Click(1); // the 8-s pair, paused at its start
    ASSERT_TRUE(v.WaitLoaded(1));
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().SliderLast() > 0; }));
    // Keys reach whichever child has the focus; the test sends them there
    // directly, so it needs no active window (other tests share the display).
    QWidget* list = v.dlg->Filer()->List();
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(list, k, m); };
    const long long fiveSeconds = std::llround(5000.0 / v.session.GetFrameDuration(0));

    // Seeks while paused: 5 s, one frame, the end and the start.
    struct Seek {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        long long from, to; // expected positions before and after
    };
    const long long last = v.dlg->Control().SliderLast();
    for (const Seek& s : {Seek{Qt::Key_Right, {}, 0, fiveSeconds},
                          Seek{Qt::Key_Right, Qt::ShiftModifier, fiveSeconds, fiveSeconds + 1},
                          Seek{Qt::Key_Left, Qt::ShiftModifier, fiveSeconds + 1, fiveSeconds},
                          Seek{Qt::Key_Left, {}, fiveSeconds, 0}}) {
        ASSERT_TRUE(WaitFor([&] { return v.Position() == s.from; })) << v.Position();
        key(s.key, s.mods);
        EXPECT_TRUE(WaitFor([&] { return v.Position() == s.to; }))
            << s.key << " at " << s.from << ": " << v.Position();
    }
    key(Qt::Key_End);
    EXPECT_TRUE(WaitFor([&] { return v.Position() > last / 2; }));
    key(Qt::Key_Home);
    EXPECT_TRUE(WaitFor([&] { return v.Position() == 0; }));

    // Play and pause, the next and previous recording.
    key(Qt::Key_Space);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying; }));
    key(Qt::Key_Space);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePaused; }));
    key(Qt::Key_PageDown);
    ASSERT_TRUE(v.WaitLoaded(2));
    key(Qt::Key_PageUp);
    ASSERT_TRUE(v.WaitLoaded(1));

    // Full screen by F11 or Enter, left by Escape (which never closes the viewer).
    for (Qt::Key on : {Qt::Key_F11, Qt::Key_Return}) {
        key(on);
        EXPECT_TRUE(WaitFor([&] { return v.dlg->View().FullScreen(); })) << on;
        QTest::keyClick(v.dlg->MovieArea(0), Qt::Key_Escape);
        EXPECT_TRUE(WaitFor([&] { return !v.dlg->View().FullScreen(); })) << on;
    }
    EXPECT_TRUE(v.dlg->isVisible());
    key(Qt::Key_M);
    EXPECT_TRUE(WaitFor([&] { return v.dlg->MapWindow()->isVisible(); }));
    key(Qt::Key_M);
    EXPECT_TRUE(WaitFor([&] { return !v.dlg->MapWindow()->isVisible(); }));

    // A text field keeps the keys it edits with.
    const int state = v.State();
    auto* field = new QLineEdit(v.dlg.get());
    field->show();
    QTest::keyClicks(field, QStringLiteral("m +"));
    QTest::keyClick(field, Qt::Key_Left);
    EXPECT_EQ(field->text(), QStringLiteral("m +"));
    EXPECT_EQ(field->cursorPosition(), 2);
    EXPECT_EQ(v.State(), state);
    EXPECT_FALSE(v.dlg->MapWindow()->isVisible());

    // Every toolbar tool tip of a command with a key names it.
    for (auto [command, name] :
         {std::pair{kCmdPlayPause, Qt::Key_Space}, std::pair{kCmdNext, Qt::Key_PageDown},
          std::pair{kCmdPrevious, Qt::Key_PageUp}, std::pair{kCmdMapDisplay, Qt::Key_M}}) {
        const QString keyName = QKeySequence(name).toString(QKeySequence::NativeText);
        EXPECT_TRUE(v.dlg->ToolbarButton(command)->toolTip().endsWith("(" + keyName + ")"))
            << command << " " << v.dlg->ToolbarButton(command)->toolTip().toStdString();
    }

    // The speed while playing (last: the speed applies on a timer of its own).
    key(Qt::Key_Space);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying; }));
    key(Qt::Key_Plus);
    EXPECT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() == QStringLiteral("再生速度x2.0"); }));
    key(Qt::Key_Minus);
    EXPECT_TRUE(
        WaitFor([&] { return v.dlg->SpeedLabel()->text() == QStringLiteral("再生速度x1.0"); }));
}

TEST(MainWindow, ACardsCopyShowsItsNewestFolderAndTheLastRecordingComesBack) {
    // The card's root opened as a folder (a copy, or a card not seen as
    // removable), with settings that hold only a [MAP] section: the marker
    // decides the family, and the newest date folder is shown with its first
    // recording open instead of the root's empty list.
    ktest::TempDir home;
    SettingsStore(home.path()).Write("MAP", "TILEURL", "http://127.0.0.1:1/{z}/{x}/{y}.png");
    SettingsStore(home.path()).Write("SOURCE", "FOLDER", CardEnvironment::card);
    {
        Viewer v("", home.path(), 0);
        EXPECT_EQ(v.prompts, 0);
        EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
        ASSERT_TRUE(v.WaitLoaded(0));
        EXPECT_EQ(v.dlg->SourceCatalogue().Kind(), kSourceFolder);
        EXPECT_EQ(v.dlg->Filer()->RowCount(), 2); // 20230526_001
        EXPECT_EQ(v.State(), kEngineStopped);
        EXPECT_EQ(v.Position(), 0);
        // Another recording, paused at a position, when the viewer closes...
        v.Click(1);
        ASSERT_TRUE(v.WaitLoaded(1));
        ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().SliderLast() > 40; }));
        v.dlg->Control().SeekInPlace(40);
        ASSERT_TRUE(WaitFor([&] { return v.Position() == 40; }));
        v.dlg->Shutdown();
    }
    SettingsStore settings(home.path());
    EXPECT_EQ(settings.Read("SOURCE", "LASTRECORDING"),
              CardEnvironment::card + "/20230526_001/002_090100ANN_F.MP4");
    EXPECT_EQ(settings.Read("SOURCE", "LASTPOSITION"), "40");
    {
        // ...is where the next start stands.
        Viewer v("", home.path(), 0);
        ASSERT_TRUE(v.WaitLoaded(1));
        EXPECT_TRUE(WaitFor([&] { return v.Position() == 40; })) << v.Position();
    }
    // A remembered recording that is gone is skipped.
    settings.Write("SOURCE", "LASTRECORDING", CardEnvironment::card + "/20230526_001/gone.MP4");
    Viewer v("", home.path(), 0);
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_EQ(v.Position(), 0);
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
        // No settings file and no card: the product selection decides, and
        // the session reads the chosen family's GPS layout.
        SetCurrentFamily(RecorderFamily::TX40); // nothing decided yet in this process
        Viewer v("", "", 2);
        EXPECT_EQ(v.prompts, 1);
        EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
        EXPECT_FALSE(v.session.FamilyFlag());
        EXPECT_EQ(SettingsStore(v.homePath).Read("DISPLAY", "MODELSELECT"), "3");
    }
    {
        // Closing the dialog (Escape) is its cancel result: the second button's.
        SetCurrentFamily(RecorderFamily::TX40);
        Viewer v("", "", Viewer::kCloseProductDialog);
        EXPECT_EQ(v.prompts, 1);
        EXPECT_TRUE(v.messages.empty());
        EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
        EXPECT_FALSE(v.session.FamilyFlag());
        EXPECT_EQ(SettingsStore(v.homePath).Read("DISPLAY", "MODELSELECT"), "3");
    }
    // A later run opens the remembered folder without asking.
    ktest::TempDir home;
    SettingsStore(home.path()).Write("SOURCE", "FOLDER", CardEnvironment::card + "/20230526_001");
    SettingsStore(home.path()).Write("DISPLAY", "MODELSELECT", "3");
    Viewer v("", home.path(), 1);
    EXPECT_EQ(v.prompts, 0);
    EXPECT_EQ(v.dlg->Family(), RecorderFamily::TX50);
    ASSERT_TRUE(WaitFor([&] { return !v.dlg->ReadingSource(); })); // read on the worker
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 2);
    // After start-up a card of the other family is silently refused.
    ASSERT_TRUE(WaitFor([&] { return v.dlg->StartupComplete() && v.dlg->State().Loaded(); }));
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
        Viewer v; // while the card is read
    }
    {
        Viewer v; // while the first open waits for its timer
        WaitFor([&] { return !v.dlg->ReadingSource(); });
    }
    {
        Viewer v; // while the movies open
        WaitFor([&] { return v.dlg->State().OpenSerial() > 0; });
    }
    {
        Viewer v; // while the prefetch runs (it sleeps 80 ms before reading)
        WaitFor([&] { return v.dlg->MovieArea(0)->isVisible() && !v.dlg->State().Busy(); }, 3000);
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

// ---- views ------------------------------------------------------------------

// A mouse event straight to a widget, with the button state a real pointer has.
void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button,
           Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void DoubleClick(QWidget* w, QPoint p) {
    Mouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    Mouse(w, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

// Frame `frame` of `file` drawn off-screen through display model `mode` at
// `size`, as the command-line renderer draws it.
QImage Rendered(const std::string& file, long long frame, int mode, QSize size,
                const std::string& dir) {
    const std::string out = dir + "/model" + std::to_string(mode) + ".png";
    const std::string cmd = std::string(KINETTA_TEST_BINARY_DIR) +
                            "/tools/kinetta-cli/kinetta-cli render '" + file + "' --frame " +
                            std::to_string(frame) + " --mode " + std::to_string(mode) + " --size " +
                            std::to_string(size.width()) + "x" + std::to_string(size.height()) +
                            " --out " + out + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return {};
    return QImage(QString::fromStdString(out));
}

// Plays the first recording for a moment and pauses it, both areas in `model`.
void PausedIn(Viewer& v, int model) {
    ASSERT_TRUE(v.WaitLoaded(0));
    for (int k = 0; k < 2; ++k) {
        v.dlg->MovieArea(k)->SetDisplayModel(model);
        v.session.SetDisplayMode(k, model);
    }
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > 20; }));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePaused; }));
    QTest::qWait(200);
}

TEST(MainWindowViews, DisplayModelCycleShowsEachModel) {
    Viewer v;
    PausedIn(v, 4);
    CMovieStatic* area = v.dlg->MovieArea(0);
    const long long frame = v.Position();
    const std::string file = v.dlg->Filer()->Rows()[0].frontPath;
    ktest::TempDir out;
    // The panorama is a 24:7 band centred in the movie rectangle; the other
    // models fill the rectangle. Each model is rendered at its own area size.
    const QRect band = area->geometry();
    std::array<QImage, 5> rendered;
    auto render = [&](int m) {
        rendered[static_cast<size_t>(m)] = Rendered(file, frame, m, area->size(), out.path());
        return !rendered[static_cast<size_t>(m)].isNull();
    };
    ASSERT_TRUE(render(4));
    QRect full;
    for (int expected : {1, 3, 2, 4}) {
        v.Command(kCmdDisplayMode);
        ASSERT_TRUE(WaitFor([&] { return area->isVisible(); })); // UM_SHOW_MOVIE
        if (expected == 1) {
            full = area->geometry();
            EXPECT_EQ(band.width(), full.width());
            EXPECT_EQ(band.height(), static_cast<int>(full.width() / 3.43));
            // Centred: the rows above and below differ by at most the one
            // row an odd difference leaves over.
            const int above = band.top() - full.top(), below = full.bottom() - band.bottom();
            EXPECT_LE(std::abs(above - below), 1) << above << " above, " << below << " below";
            for (int m = 1; m <= 3; ++m)
                ASSERT_TRUE(render(m)) << "render of model " << m;
        }
        EXPECT_EQ(area->DisplayModel(), expected);
        EXPECT_EQ(v.dlg->MovieArea(1)->DisplayModel(), expected);
        const QImage shown = area->GrabPicture();
        int best = 0;
        double bestDiff = 1e9;
        std::string diffs;
        for (int m = 1; m <= 4; ++m) {
            const double d = ktest::PictureDifference(shown, rendered[static_cast<size_t>(m)]);
            diffs += " " + std::to_string(d);
            if (d < bestDiff) bestDiff = d, best = m;
        }
        EXPECT_EQ(best, expected) << "differences to models 1..4:" << diffs;
        // The controller bar: every button in model 3, left and right in model 4.
        EXPECT_EQ(v.dlg->Controller()->Button(0)->isEnabled(), expected == 3);
        EXPECT_EQ(v.dlg->Controller()->Button(1)->isEnabled(), expected >= 3);
    }
    // The panorama moves the list column's top down to the area's bottom.
    EXPECT_EQ(area->geometry(), band);
    EXPECT_EQ(v.dlg->Filer()->geometry().top(), full.bottom() + 1);
}

TEST(MainWindowViews, DragsAreClampedThePanoramaTurnsOnlySideways) {
    Viewer v;
    PausedIn(v, 3);
    CMovieStatic* area = v.dlg->MovieArea(0);
    const QPoint c = area->rect().center();
    const QImage initial = area->GrabPicture();
    // One move of dx pixels; the picture while the button is still down.
    auto drag = [&](int dx) {
        const QPoint from = c - QPoint(150, 0), to = from + QPoint(dx, 0);
        Mouse(area, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Mouse(area, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        const QImage picture = area->GrabPicture();
        Mouse(area, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        v.dlg->OnCommand(38201); // the controller bar's reset sequence; ends the inertia
        return picture;
    };
    const QImage by100 = drag(100);
    EXPECT_LT(ktest::PictureDifference(area->GrabPicture(), initial),
              0.5); // reset restored the pose
    const QImage by300 = drag(300);
    const QImage by50 = drag(50);
    EXPECT_GT(ktest::PictureDifference(by100, initial), 1.0);
    EXPECT_LT(ktest::PictureDifference(by300, by100), 0.5); // applied as 100
    EXPECT_GT(ktest::PictureDifference(by50, by100), 1.0);

    // Panorama: a diagonal move turns as its horizontal part alone. Moving
    // back to the press point undoes it and leaves no inertia.
    for (int k = 0; k < 2; ++k) {
        area->SetDisplayModel(4);
        v.session.SetDisplayMode(k, 4);
    }
    QTest::qWait(100);
    area->GrabPicture(); // the panorama is built for the area
    auto there = [&](QPoint d) {
        Mouse(area, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        Mouse(area, QEvent::MouseMove, c + d, Qt::NoButton, Qt::LeftButton);
        const QImage picture = area->GrabPicture();
        Mouse(area, QEvent::MouseMove, c, Qt::NoButton, Qt::LeftButton);
        Mouse(area, QEvent::MouseButtonRelease, c, Qt::LeftButton, Qt::NoButton);
        return picture;
    };
    // The panorama's first drag only takes the zoom factor.
    there({60, 0});
    const QImage flat = area->GrabPicture();
    const QImage diagonal = there({60, 40});
    EXPECT_LT(ktest::PictureDifference(area->GrabPicture(), flat), 0.5);
    const QImage sideways = there({60, 0});
    EXPECT_GT(ktest::PictureDifference(diagonal, flat), 1.0);
    EXPECT_LT(ktest::PictureDifference(diagonal, sideways), 0.5);
}

TEST(MainWindowViews, ControllerBarTurnsResetsAndEndsWithTheWindow) {
    Viewer v;
    PausedIn(v, 1);
    CMovieStatic* area = v.dlg->MovieArea(0);
    v.Command(kCmdDisplayMode); // 1 -> 3
    ASSERT_TRUE(WaitFor([&] { return area->isVisible() && area->DisplayModel() == 3; }));
    CControllerDlg* bar = v.dlg->Controller();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry(),
              QRect(v.dlg->Layout().controller.left, v.dlg->Layout().controller.top,
                    v.dlg->Layout().controller.width, v.dlg->Layout().controller.height));
    ASSERT_TRUE(bar->Button(0)->isEnabled());
    const QImage initial = area->GrabPicture();
    // Holding "上" turns the view step by step.
    PostWindowMessage(bar, UM_BUTTON_HELD, 0, kControllerUp);
    QTest::qWait(300);
    PostWindowMessage(bar, UM_BUTTON_RELEASED, 0, kControllerUp);
    QTest::qWait(100);
    const QImage turned = area->GrabPicture();
    EXPECT_GT(ktest::PictureDifference(turned, initial), 1.0);
    QTest::qWait(100);
    EXPECT_LT(ktest::PictureDifference(area->GrabPicture(), turned),
              0.5); // nothing turns after release
    // "リセット" brings back the initial pose.
    PostWindowMessage(bar, UM_BUTTON_HELD, 0, kControllerReset);
    QTest::qWait(100);
    PostWindowMessage(bar, UM_BUTTON_RELEASED, 0, kControllerReset);
    QTest::qWait(100);
    EXPECT_LT(ktest::PictureDifference(area->GrabPicture(), initial), 0.5);
    // Closing while a button is held ends the stepping.
    PostWindowMessage(bar, UM_BUTTON_HELD, 0, kControllerLeft);
    QTest::qWait(100);
    ASSERT_EQ(bar->ActiveCommand(), kControllerLeft);
    v.dlg->OnCommand(kCmdClose);
    EXPECT_FALSE(bar->Stepping());
}

TEST(MainWindowViews, DoubleClickFullScreenZoomModeAndAspect) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.Position() > 10; }));
    CMovieStatic* area = v.dlg->MovieArea(0);
    const QRect normal = v.dlg->geometry();
    const QPoint c = area->rect().center();
    const int guardMs = MovieAreaPointer::kGuardMs + 100;

    // Zoom mode: a double-click does not enter full screen.
    v.Command(kCmdZoom);
    EXPECT_TRUE(v.dlg->Views().InZoomMode());
    EXPECT_TRUE(v.dlg->ToolbarButton(kCmdZoom)->PressedLook());
    DoubleClick(area, c);
    QTest::qWait(guardMs);
    EXPECT_FALSE(v.dlg->View().FullScreen());
    v.Command(kCmdZoom);
    EXPECT_FALSE(v.dlg->Views().InZoomMode());

    // Otherwise it does, pausing, and a second one leaves it again.
    DoubleClick(area, c);
    ASSERT_TRUE(v.dlg->View().FullScreen());
    EXPECT_EQ(v.State(), kEnginePaused);
    ASSERT_TRUE(WaitFor([&] { return area->size() == v.dlg->size(); }));
    EXPECT_FALSE(v.dlg->Filer()->isVisible());
    EXPECT_FALSE(v.dlg->Controller()->isVisible());
    EXPECT_FALSE(v.dlg->ToolbarButton(kCmdPlayPause)->isVisible());
    QTest::qWait(guardMs);
    DoubleClick(area, c);
    EXPECT_FALSE(v.dlg->View().FullScreen());
    ASSERT_TRUE(WaitFor([&] { return v.dlg->geometry() == normal; }));
    EXPECT_TRUE(v.dlg->Filer()->isVisible());
    EXPECT_TRUE(v.dlg->Controller()->isVisible());
    EXPECT_TRUE(v.dlg->ToolbarButton(kCmdPlayPause)->isVisible());

    // 38200 twice leaves the aspect setting as it was.
    const std::string before = SettingsStore(v.homePath).Read("DISPLAY", "ASPECT");
    v.dlg->OnCommand(38200);
    EXPECT_NE(SettingsStore(v.homePath).Read("DISPLAY", "ASPECT"), before);
    EXPECT_EQ(v.dlg->View().KeepAspect(), before == "off");
    v.dlg->OnCommand(38200);
    EXPECT_EQ(SettingsStore(v.homePath).Read("DISPLAY", "ASPECT"), before);

    // The map window's frame comes and goes with 38013.
    v.Command(kCmdMapDisplay);
    EXPECT_TRUE(v.dlg->Features().Find<MapFeature>()->MapOn());
    EXPECT_TRUE(v.dlg->MapWindow()->isVisible());
    v.Command(kCmdMapDisplay);
    EXPECT_FALSE(v.dlg->MapWindow()->isVisible());
}

// The orders the features depend on, watched through the viewer's trace:
// each frame is read by the graph and the panel, then by the map, inside one
// telemetry bracket; the map is sent the 1000.0 sentinel while its window is
// off and the frame's position once it is on; closing stops the long work
// first (the file flows, then the update check), then ends the features'
// windows (the update notice, then the map: its monitor, its bridge, its
// windows) while the engines still run, ends the engines, and takes the
// locks last.
TEST(MainWindow, FeaturesReadEachFrameInOneTelemetryBracketAndCloseInOrder) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().SliderLast() > 0; }));
    map::MapWindow* map = v.dlg->Features().Find<MapFeature>()->Window();
    const std::vector<std::string> frameSteps = {"telemetry locked", "graph and panel at the frame",
                                                 "map at the frame", "telemetry unlocked"};
    v.tracing = true;
    v.dlg->Control().SeekFromSlider(30);
    EXPECT_EQ(v.trace, frameSteps);
    EXPECT_EQ(map->Dialog()->State().latitude, map::kMapOfflineSentinel);
    EXPECT_EQ(map->Dialog()->State().longitude, map::kMapOfflineSentinel);

    v.dlg->OnCommand(kCmdMapDisplay);
    ASSERT_TRUE(v.dlg->Features().Find<MapFeature>()->MapOn());
    v.trace.clear();
    v.dlg->Control().SeekFromSlider(40);
    EXPECT_EQ(v.trace, frameSteps);
    EXPECT_LT(std::abs(map->Dialog()->State().latitude), 90.0);
    EXPECT_LT(std::abs(map->Dialog()->State().longitude), 180.0);

    v.trace.clear();
    v.dlg->OnCommand(kCmdClose);
    EXPECT_EQ(v.trace, (std::vector<std::string>{"shutdown: stop work", "file flows stopped",
                                                 "update check stopped", "shutdown: end windows",
                                                 "update notice closed", "map: monitor stopped",
                                                 "map: bridge detached", "map: windows deleted",
                                                 "engines ended", "shutdown: take locks"}));
}

// ---- what a user met: telemetry, sliders, menu, product dialog, browse ------

TEST(MainWindow, Tx50TelemetryLoadsThroughStartUp) {
    // A fresh process: no family decided yet; the card's marker decides it.
    SetCurrentFamily(RecorderFamily::TX40);
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_FALSE(v.session.FamilyFlag());
    ASSERT_TRUE(v.session.LockTelemetry());
    const std::vector<playcore::GpsRecord>* gps = v.session.GetGpsRecords();
    const size_t records = gps ? gps->size() : 0;
    v.session.UnlockTelemetry();
    EXPECT_GE(records, 3u); // one record per second of the 4-s recording
    EXPECT_TRUE(v.session.HasTelemetry());
    // Any file of the card read through the session parses the same way.
    playcore::sGPSREADER other;
    ASSERT_EQ(v.session.ReadTelemetryOf(other, v.dlg->Filer()->Rows()[3].frontPath), 1);
    EXPECT_GE(other.gps.size(), 3u);
}

TEST(MainWindow, DraggingThePositionSliderWhilePlayingPlaysOn) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Click(1); // the 8-s pair
    ASSERT_TRUE(v.WaitLoaded(1));
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().SliderLast() > 200; }));
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying && v.Position() > 5; }));

    // Press beside the thumb, drag, release: the pointer as a user moves it.
    CSkinSliderCtrl* slider = v.dlg->PositionSlider();
    const int w = slider->width(), y = slider->height() / 2;
    Mouse(slider, QEvent::MouseButtonPress, QPoint(w / 5, y), Qt::LeftButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseMove, QPoint(w * 2 / 5, y), Qt::NoButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseMove, QPoint(w * 3 / 5, y), Qt::NoButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseButtonRelease, QPoint(w * 3 / 5, y), Qt::LeftButton, Qt::NoButton);
    const long long target = v.dlg->Control().SliderLast() * 3 / 5;
    ASSERT_TRUE(WaitFor([&] { return !slider->Dragging() && v.Position() >= target - 10; }));
    // Playback goes on from there, and the button shows it.
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePlaying; }));
    const long long at = v.Position();
    ASSERT_TRUE(WaitFor([&] { return v.Position() > at + 10; }));
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdPlayPause)->PictureId(), kPicPauseButton);
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdPlayPause)->toolTip(),
              QStringLiteral("一時停止 (%1)").arg(QKeySequence(Qt::Key_Space).toString()));

    // Paused, the same drag leaves it paused at the new place.
    v.Command(kCmdPlayPause);
    ASSERT_TRUE(WaitFor([&] { return v.State() == kEnginePaused; }));
    Mouse(slider, QEvent::MouseButtonPress, QPoint(w * 3 / 5, y), Qt::LeftButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseMove, QPoint(w / 5, y), Qt::NoButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseButtonRelease, QPoint(w / 5, y), Qt::LeftButton, Qt::NoButton);
    const long long back = v.dlg->Control().SliderLast() / 5;
    ASSERT_TRUE(
        WaitFor([&] { return !slider->Dragging() && std::llabs(v.Position() - back) < 10; }));
    QTest::qWait(300);
    EXPECT_EQ(v.State(), kEnginePaused);
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdPlayPause)->toolTip(),
              QStringLiteral("再生 (%1)").arg(QKeySequence(Qt::Key_Space).toString()));
}

TEST(MainWindow, VolumeDragWritesTheSettingOnceItSettles) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    auto stored = [&] { return SettingsStore(v.homePath).Read("DISPLAY", "VOLUME"); };
    const std::string before = stored();
    ASSERT_EQ(before, "65535");
    CSkinSliderCtrl* slider = v.dlg->VolumeSlider();
    const int w = slider->width(), y = slider->height() / 2;
    Mouse(slider, QEvent::MouseButtonPress, QPoint(w - 2, y), Qt::LeftButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseMove, QPoint(w / 2, y), Qt::NoButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseMove, QPoint(w / 4, y), Qt::NoButton, Qt::LeftButton);
    // The engines follow the drag; the file does not.
    ASSERT_TRUE(WaitFor([&] { return v.dlg->Control().Volume() < 30000; }));
    EXPECT_EQ(stored(), before);
    Mouse(slider, QEvent::MouseMove, QPoint(w / 3, y), Qt::NoButton, Qt::LeftButton);
    Mouse(slider, QEvent::MouseButtonRelease, QPoint(w / 3, y), Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(WaitFor([&] { return stored() != before; }));
    // The value the drag ended on, exactly.
    EXPECT_EQ(stored(), std::to_string(v.dlg->Control().Volume()));
    EXPECT_EQ(v.dlg->VolumeSlider()->Pos(), v.dlg->Control().Volume());
    EXPECT_GT(v.dlg->Control().Volume(), 15000);
    EXPECT_LT(v.dlg->Control().Volume(), 30000);
}

TEST(MainWindow, MovieMenuDisablesCommandsWithoutTheirFlows) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    v.dlg->Views().AreaMenu(0, v.dlg->MovieArea(0)->mapToGlobal(QPoint(10, 10)));
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (menu = v.dlg->findChild<QMenu*>(QStringLiteral("movie menu"))) != nullptr;
    }));
    auto enabled = [&](int command) {
        for (QAction* a : menu->actions())
            if (a->data().toInt() == command) return a->isEnabled() ? 1 : 0;
        return -1; // not listed
    };
    // "静止画" and "設定" as their toolbar buttons: disabled until their flows exist.
    for (int c : {38006, 38016}) {
        const bool flow = CommandHasFlow(c);
        EXPECT_EQ(enabled(c), flow ? 1 : 0) << c;
        if (!flow) {
            EXPECT_FALSE(v.dlg->Toolbar().Enabled(c)) << c;
        }
    }
    EXPECT_EQ(enabled(38002), 1);
    EXPECT_EQ(enabled(38014), 1);
    menu->close();
}

TEST(MainWindow, ProductDialogClosedByItsButtonOrEscapeAnswersAsItsSecondButton) {
    ktest::App();
    CModelSelectDlg escape;
    QTimer::singleShot(50, &escape, [&] { QTest::keyClick(&escape, Qt::Key_Escape); });
    EXPECT_EQ(escape.exec(), CModelSelectDlg::kResultTX50);
    CModelSelectDlg closed;
    QTimer::singleShot(50, &closed, [&] { closed.CloseButton()->click(); });
    EXPECT_EQ(closed.exec(), CModelSelectDlg::kResultTX50);
    CModelSelectDlg first;
    QTimer::singleShot(50, &first, [&] { first.Button(CModelSelectDlg::kResultTX40)->click(); });
    EXPECT_EQ(first.exec(), CModelSelectDlg::kResultTX40);
}

TEST(MainWindow, BrowseOpensTheChosenSourceThroughTheSourceChoice) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    const std::string folder = CardEnvironment::card + "/20230526_001";
    v.promptKind = kSourceFolder;
    v.promptPath = folder + "/"; // one trailing separator is dropped
    v.dlg->OnCommand(kCmdBrowse);
    // Read on the folder scanner's worker: the list says it is loading meanwhile.
    EXPECT_TRUE(v.dlg->ReadingSource());
    ASSERT_TRUE(WaitFor([&] { return !v.dlg->ReadingSource(); }));
    EXPECT_EQ(v.dlg->SourceCatalogue().SourcePath(), folder);
    EXPECT_EQ(v.dlg->SourceCatalogue().Kind(), kSourceFolder);
    ASSERT_TRUE(v.WaitLoaded(0));
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 2);
    EXPECT_FALSE(v.session.FamilyFlag());

    // A path that is gone ends the command; the source stays.
    v.promptPath = folder + "/gone";
    v.dlg->OnCommand(kCmdBrowse);
    EXPECT_EQ(v.dlg->SourceCatalogue().SourcePath(), folder);
    EXPECT_TRUE(v.messages.empty());

    // A single file that is no complete recording: the message, an empty list.
    ktest::TempDir junk;
    const std::string file = junk.Write("001_101500ANN_F.MP4", "not a movie");
    v.promptKind = kSourceFile;
    v.promptPath = file;
    // (the browse before closed the recording, as every browse does)
    EXPECT_FALSE(v.dlg->State().Loaded());
    v.dlg->OnCommand(kCmdBrowse);
    ASSERT_TRUE(WaitFor([&] { return !v.dlg->ReadingSource(); }));
    ASSERT_EQ(v.messages.size(), 1u);
    EXPECT_EQ(v.messages[0], QStringLiteral("動画のオープンに失敗しました。"));
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 0);
}

TEST(MainWindow, FolderNamesThatReadAsMarkupAreShownAsWritten) {
    // A card whose date folder is named like markup.
    ktest::TempDir dir;
    const std::string card = dir / "card";
    const std::string folder = "<b>BOLD<i>ital 20230525_001";
    mkcard::RecordingSpec s;
    s.family = RecorderFamily::TX50;
    s.content = mkcard::FileContent::Front;
    s.durationSeconds = 3;
    s.frontWidth = s.rearWidth = 160;
    s.frontHeight = s.rearHeight = 90;
    const std::string path = card + "/" + folder + "/001_101500ANN_F.MP4";
    fs::create_directories(fs::path(path).parent_path());
    std::string error;
    ASSERT_TRUE(mkcard::WriteRecording(s, path, nullptr, &error)) << error;
    std::ofstream(card + "/TX50_download.url") << "[InternetShortcut]\n";

    Viewer v(card);
    ASSERT_TRUE(v.WaitLoaded(0)) << v.dlg->Filer()->RowCount() << " rows, " << v.messages.size()
                                 << " messages";
    CFolderTreeCtrl* tree = v.dlg->Filer()->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QString::fromStdString(folder));
    ASSERT_EQ(v.dlg->Filer()->SelectedFolderItem(), 0);
    QLabel* label = v.dlg->Filer()->PathLabel();
    EXPECT_EQ(label->text(), QString::fromStdString(folder));
    EXPECT_TRUE(ktest::ShowsLiterally(label));
}

// The files the program opens for reading on one thread while armed (the
// open observer hears every open of the program, on any thread).
struct OpensOnThread {
    static inline std::atomic<bool> armed{false};
    static inline std::thread::id thread;
    static inline std::mutex lock;
    static inline std::vector<std::string> paths; // guarded by lock
    static void Observe(const std::string& path) {
        if (!armed.load() || std::this_thread::get_id() != thread) return;
        std::lock_guard guard(lock);
        paths.push_back(path);
    }
};

// A filter toggle, a folder switch, the map's group track that follows
// every list rebuild and the open of the folder's first recording open no
// movie file on the UI thread: the group is read by its own worker, the
// folder by the folder scanner's, the recording's files by the open-ahead
// thread while the open waits. The list ends up with the folder's
// recordings and the group track as the recordings' tracks read directly,
// in list order.
TEST(MainWindow, ListRebuildsFolderSwitchesAndOpensOpenNoMovieFileOnTheUiThread) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    map::GroupTrack& group = v.dlg->Features().Find<MapFeature>()->Window()->Wrap().Group();
    auto groupIsTheRowsTracks = [&] {
        std::vector<playcore::TrackSource> sources;
        for (const RecordingEntry& e : v.dlg->Filer()->Rows())
            sources.push_back({e.frontPath, e.rearPath});
        std::vector<playcore::GpsRecord> expected;
        if (!playcore::ReadAllTracks(sources, &expected, RecorderFamily::TX50)) return false;
        const std::vector<playcore::GpsRecord> got = group.Copy();
        if (got.empty() || got.size() != expected.size()) return false;
        for (size_t i = 0; i < got.size(); ++i)
            if (got[i].index != expected[i].index || got[i].latitude != expected[i].latitude ||
                got[i].longitude != expected[i].longitude ||
                got[i].time.second != expected[i].time.second || got[i].accel != nullptr)
                return false;
        return true;
    };
    ASSERT_TRUE(WaitFor(groupIsTheRowsTracks));

    OpensOnThread::thread = std::this_thread::get_id();
    platform::SetOpenObserver(&OpensOnThread::Observe);
    // Files not known (as after a change on the card): the group track and
    // the folder's scan read them again, elsewhere.
    ForgetFileFacts();
    const unsigned opensBefore = v.dlg->State().OpenSerial();
    OpensOnThread::armed = true;
    v.dlg->Filer()->OnCommand(39000); // continuous recordings off: the list is empty
    const int hidden = v.dlg->Filer()->RowCount();
    v.dlg->Filer()->OnCommand(39000); // and on again
    const std::string next = v.dlg->State().Source()->Tree().at(1).path;
    emit v.dlg->Filer()->FolderSelected(1, QString::fromStdString(next));
    EXPECT_EQ(v.dlg->Filer()->SelectedFolderItem(), 1);
    // The folder's rows arrive from the scanner, then its first recording opens.
    const bool arrived = WaitFor([&] { return v.dlg->Filer()->RowCount() > 0; });
    const bool loaded = arrived && WaitFor([&] {
                            const RecordingEntry* e = v.dlg->State().SelectedEntry();
                            return v.dlg->State().OpenSerial() > opensBefore &&
                                   v.dlg->State().Loaded() && !v.dlg->State().Busy() && e &&
                                   e->frontPath.find("20230526_001") != std::string::npos;
                        });
    OpensOnThread::armed = false;
    platform::SetOpenObserver(nullptr);
    {
        std::lock_guard guard(OpensOnThread::lock);
        EXPECT_TRUE(OpensOnThread::paths.empty()) << OpensOnThread::paths.front();
    }
    EXPECT_EQ(hidden, 0);
    ASSERT_TRUE(arrived);
    ASSERT_EQ(v.dlg->Filer()->RowCount(), 2);
    EXPECT_NE(v.dlg->Filer()->Rows()[0].frontPath.find("20230526_001"), std::string::npos);
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(WaitFor(groupIsTheRowsTracks));

    // A source chosen in the source dialog is read, listed and opened the same way.
    ForgetFileFacts();
    const unsigned opensBeforeBrowse = v.dlg->State().OpenSerial();
    {
        std::lock_guard guard(OpensOnThread::lock);
        OpensOnThread::paths.clear();
    }
    platform::SetOpenObserver(&OpensOnThread::Observe);
    OpensOnThread::armed = true;
    v.promptKind = kSourceFolder;
    v.promptPath = CardEnvironment::card + "/20230525_001";
    v.dlg->OnCommand(kCmdBrowse);
    const bool browsed = WaitFor([&] {
        return !v.dlg->ReadingSource() && v.dlg->State().OpenSerial() > opensBeforeBrowse &&
               v.dlg->State().Loaded() && !v.dlg->State().Busy();
    });
    OpensOnThread::armed = false;
    platform::SetOpenObserver(nullptr);
    EXPECT_TRUE(browsed);
    {
        std::lock_guard guard(OpensOnThread::lock);
        EXPECT_TRUE(OpensOnThread::paths.empty()) << OpensOnThread::paths.front();
    }
    EXPECT_EQ(v.dlg->SourceCatalogue().Kind(), kSourceFolder);
}

TEST(MainWindowViews, ZoomModeKeepsTheEnginesDisplayModelWhenARecordingOpens) {
    Viewer v; // both areas in model 2
    ASSERT_TRUE(v.WaitLoaded(0));
    v.Command(kCmdZoom);
    ASSERT_TRUE(v.dlg->Views().InZoomMode());
    v.session.SetDisplayMode(0, 4); // the engine draws the panorama
    v.Click(3);
    ASSERT_TRUE(v.WaitLoaded(3));
    ASSERT_TRUE(v.session.Engine(0).player);
    EXPECT_EQ(v.session.Engine(0).player->PresenterOf(0)->DisplayMode(), 4);
    // Outside zoom mode the area's model is applied again.
    v.Command(kCmdZoom);
    v.Click(4);
    ASSERT_TRUE(v.WaitLoaded(4));
    EXPECT_EQ(v.session.Engine(0).player->PresenterOf(0)->DisplayMode(), 2);
}

TEST(MainWindowViews, AppBarNotificationRecomputesTheScaleAndTheFonts) {
    Viewer v;
    ASSERT_TRUE(v.WaitLoaded(0));
    const double s = SkinScale();
    const QSize design = v.dlg->DesignSize();
    const int font = SharedFont(kFont10).pixelSize();
    // As if the work area had been another when the scale was last worked out.
    SetSkinScale(s * 1.5, s * 1.5, 96);
    ASSERT_NE(SharedFont(kFont10).pixelSize(), font);
    PostWindowMessage(v.dlg.get(), UM_APPBAR_NOTIFY, kAppBarPositionChanged);
    ASSERT_TRUE(WaitFor([&] { return SkinScale() == s; }));
    EXPECT_EQ(SharedFont(kFont10).pixelSize(), font);
    EXPECT_EQ(v.dlg->DesignSize(), design);
    EXPECT_EQ(v.dlg->DesignSize(), QSize(Scaled(s, 1100), Scaled(s, 700)));
}

} // namespace
} // namespace kinetta
