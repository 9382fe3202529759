// The flows' machinery in the viewer: a flow stops playback and closes the
// movies, holds the toolbar and the list, shows its progress with the
// percentage, ends with the completion message or its failure once, is
// cancelled by the progress window's button, runs one at a time, and the
// viewer closes during a flow only after the worker stopped. The folder
// prompt's start folder and its failure message.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

#include "fileops/fileops_support.h"
#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/base/ui_strings.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "kinetta/shell/main_window_rules.h"
#include "kinetta/skin/skin_button.h"
#include "kinetta/skin/skin_progress.h"
#include "platform/files.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "support/command_run.h"
#include "tools/mkcard/framecode.h"

namespace kinetta {
namespace {

using ktest::FileOpsViewer;
using ktest::WaitFor;

class Card : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        card = dir->path() + "/card";
        const std::string folder = card + "/20230525_001/";
        ASSERT_TRUE(ktest::WriteMovie(folder + "001_101500A_M.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Front, 15));
        ASSERT_TRUE(ktest::WriteMovie(folder + "001_101500A_R.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Rear, 15));
        ASSERT_TRUE(ktest::WriteMovie(folder + "002_101600_A.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Combined, 16));
        ASSERT_TRUE(ktest::WriteMovie(folder + "003_101700_G.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Combined, 17));
        ASSERT_TRUE(ktest::WriteMovie(folder + "004_101800A_M.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Front, 18));
        ASSERT_TRUE(ktest::WriteMovie(folder + "004_101800A_R.MP4", RecorderFamily::TX40,
                                      mkcard::FileContent::Rear, 18));
        std::filesystem::create_directories(card + "/Delete Folder");
        ktest::WriteModelMarker(card, RecorderFamily::TX40);
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
    static inline std::string card;
};
const auto* const kCard = ::testing::AddGlobalTestEnvironment(new Card);

// A work that reports progress, then waits for the test (or a cancel).
struct Gate {
    std::atomic<bool> open{false};
    std::atomic<bool> returned{false};
    JobControl::Work Work(int done, int total, bool complete, std::string failure = {}) {
        return [=, this](JobControl& job) -> std::uint32_t {
            job.Progress(done, total);
            while (!open.load() && job.Running())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (!failure.empty()) job.SetFailure(failure);
            if (complete && job.Running()) job.SetCompleted();
            returned.store(true);
            return UM_FILEOP_DONE;
        };
    }
};

TEST(FlowMachinery, ProgressHoldsTheWindowAndTheEndShowsTheCompletionOnce) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    Gate gate;
    bool closedFirst = false;
    ASSERT_TRUE(v.Ops().Run([&]() -> JobControl::Work {
        // Asked only after playback stopped and the movies closed.
        closedFirst = !v.session.Opened(0) && !v.session.Opened(1) && !v.dlg->State().Loaded();
        return gate.Work(1, 4, true);
    }));
    EXPECT_TRUE(closedFirst);
    CFileOpProgressWnd* progress = v.Ops().ProgressWindow();
    ASSERT_TRUE(WaitFor([&] { return progress->Bar()->Pos() == 25; }));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->Bar()->Text(), QStringLiteral("25 %"));
    EXPECT_TRUE(progress->CancelButton()->isEnabled());
    EXPECT_EQ(progress->CancelButton()->text(), QStringLiteral("キャンセル"));
    // One flow at a time; nothing opens a movie meanwhile.
    EXPECT_FALSE(v.Ops().Run([] { return JobControl::Work([](JobControl&) { return 0u; }); }));
    for (int c = kFirstToolbarCommand; c < kFirstToolbarCommand + kToolbarCommandCount; ++c)
        EXPECT_FALSE(v.dlg->Toolbar().Enabled(c)) << c;
    EXPECT_FALSE(v.dlg->Filer()->isEnabled());
    EXPECT_TRUE(v.shown.empty());

    gate.open = true;
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text, QStringLiteral("完了しました。")); // no outputs: no more lines
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("終了"));
    EXPECT_EQ(v.shown[0].type, 0);
    EXPECT_FALSE(progress->isVisible());
    // The window comes back: the list takes clicks and the recording opens again.
    EXPECT_TRUE(v.dlg->Filer()->isEnabled());
    EXPECT_TRUE(v.WaitLoaded());
}

TEST(FlowMachinery, AFailureIsShownOnceWithErrorAndNoCompletion) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    Gate gate;
    gate.open = true;
    ASSERT_TRUE(v.Ops().Run([&] { return gate.Work(0, 1, true, "動画の連結に失敗しました。"); }));
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text, QStringLiteral("動画の連結に失敗しました。"));
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("ERROR"));
    EXPECT_EQ(v.Ops().CompletedFlows(), 0);
}

TEST(FlowMachinery, TheCancelButtonStopsTheWorkWithoutAMessage) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    Gate gate;
    ASSERT_TRUE(v.Ops().Run([&] { return gate.Work(0, 3, true); }));
    CSkinButton* cancel = v.Ops().ProgressWindow()->CancelButton();
    ASSERT_TRUE(WaitFor([&] { return cancel->isVisible(); }));
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(gate.returned.load());
    EXPECT_TRUE(v.shown.empty());
    EXPECT_FALSE(v.Ops().ProgressWindow()->isVisible());
}

TEST(FlowMachinery, APrepareThatIsCancelledEndsSilentlyAndReopens) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    EXPECT_FALSE(v.Ops().Run([] { return JobControl::Work{}; }));
    EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    EXPECT_TRUE(v.shown.empty());
    EXPECT_TRUE(v.WaitLoaded());
}

TEST(FlowMachinery, ClosingTheViewerWaitsForTheWorker) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    Gate gate;
    ASSERT_TRUE(v.Ops().Run([&] { return gate.Work(0, 3, true); }));
    v.dlg->OnCommand(kCmdClose);
    // The worker saw the cleared flag and returned before the close went on.
    EXPECT_TRUE(gate.returned.load());
    EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    QApplication::processEvents(); // the late end message is dropped
    EXPECT_TRUE(v.shown.empty());
}

TEST(FolderPrompt, StartsInTheStoredFolderAndReportsAChoiceWithoutAPath) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    v.folder = std::nullopt; // cancelled: silent
    EXPECT_EQ(v.Ops().AskFolder(kDownloadFolderKey, kStrSelectBackupFolder), "");
    ASSERT_EQ(v.folderPrompts.size(), 1u);
    EXPECT_EQ(v.folderPrompts[0].first,
              QStringLiteral("バックアップフォルダーを選択してください。"));
    EXPECT_EQ(v.folderPrompts[0].second, home.path()); // nothing stored: the settings directory
    EXPECT_TRUE(v.shown.empty());

    ASSERT_TRUE(RememberFolder(kConnectFolderKey, Card::dir->path()));
    v.folder = std::string(); // an item without a file-system path
    EXPECT_EQ(v.Ops().AskFolder(kConnectFolderKey, kStrSelectBackupFolder), "");
    EXPECT_EQ(v.folderPrompts[1].second, Card::dir->path());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text, QStringLiteral("フォルダパスの取得に失敗しました。"));
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("ERROR"));

    v.folder = home.path();
    EXPECT_EQ(v.Ops().AskFolder(kCsvFolderKey, kStrSelectOutputFolder), home.path());
    EXPECT_EQ(v.folderPrompts[2].first, QStringLiteral("出力先フォルダーを選択してください。"));

    // A question: "確認" with Yes/No; "はい" only counts as yes.
    v.answers = {6, 7};
    EXPECT_TRUE(v.Ops().AskYesNo(kStrSplitFileExists));
    EXPECT_FALSE(v.Ops().AskYesNo(kStrSplitFileExists));
    EXPECT_EQ(v.shown.back().caption, QStringLiteral("確認"));
    EXPECT_EQ(v.shown.back().type, 4);
}

// ---- save ------------------------------------------------------------------------

namespace fs = std::filesystem;

const RecordingEntry& Row(FileOpsViewer& v, const std::string& name) {
    for (const RecordingEntry& e : v.dlg->SourceCatalogue().Entries())
        if (e.DisplayedName() == name) return e;
    throw std::runtime_error(name + " is not in the list");
}

FileSelectAnswer Ticked(std::vector<RecordingEntry> entries, bool front = true, bool rear = true) {
    return FileSelectAnswer{std::move(entries), front, rear, false};
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

size_t Tracks(const std::string& path) {
    auto movie = playcore::OpenMp4Movie(path, true, RecorderFamily::TX40);
    return movie ? movie->List(playcore::kTkhdList).size() : 0;
}

TEST(SaveFlow, CombinedRecordingGivesTheTwoCameraNamesOrOnlyTheFront) {
    ktest::TempDir home, out, frontOnly;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    v.selection = Ticked({Row(v, "002_101600_A.MP4")});
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(Names(out.path()),
              (std::vector<std::string>{"002_101600A_M.MP4", "002_101600A_R.MP4"}));
    EXPECT_EQ(Tracks(out / "002_101600A_M.MP4"), 2u);
    EXPECT_EQ(Tracks(out / "002_101600A_R.MP4"), 2u);
    EXPECT_TRUE(v.Finished());
    EXPECT_EQ(v.folderPrompts.at(0).first,
              QStringLiteral("バックアップフォルダーを選択してください。"));
    ASSERT_EQ(v.selections.size(), 1u);
    EXPECT_EQ(v.selections[0].mode, FileSelectMode::Save);
    EXPECT_EQ(v.selections[0].current.size(), 4u);
    EXPECT_EQ(SettingsStore(home.path()).Read("FOLDERPATH", "DOWNLOAD_FOLDER"), out.path());
    EXPECT_EQ(Row(v, "002_101600_A.MP4").marked, 1); // the processed mark
    EXPECT_EQ(Row(v, "001_101500A_M.MP4").marked, 0);

    v.folder = frontOnly.path();
    v.selection = Ticked({Row(v, "002_101600_A.MP4")}, true, false);
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(Names(frontOnly.path()), std::vector<std::string>{"002_101600A_M.MP4"});
    // The next prompt starts in the folder of the last save.
    EXPECT_EQ(v.folderPrompts.at(1).second, out.path());
}

TEST(SaveFlow, PairIsCopiedUnderItsOwnNamesAndAnExistingNameAsks) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    v.selection = Ticked({Row(v, "001_101500A_M.MP4"), Row(v, "002_101600_A.MP4")});
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(Names(out.path()),
              (std::vector<std::string>{"001_101500A_M.MP4", "001_101500A_R.MP4",
                                        "002_101600A_M.MP4", "002_101600A_R.MP4"}));
    EXPECT_EQ(fs::file_size(out / "001_101500A_R.MP4"),
              fs::file_size(Card::card + "/20230525_001/001_101500A_R.MP4"));

    // Again: the separated names exist; "いいえ" ends with nothing written.
    fs::remove(out / "001_101500A_M.MP4");
    std::ofstream(out / "002_101600A_M.MP4") << "mine";
    v.shown.clear();
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text,
              QStringLiteral("同名の分割済みファイルが存在します。続行しますか？"));
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("確認"));
    EXPECT_FALSE(fs::exists(out / "001_101500A_M.MP4"));
    EXPECT_EQ(fs::file_size(out / "002_101600A_M.MP4"), 4u);

    // "はい", then the copies' question "はい": everything is written again.
    v.shown.clear();
    v.answers = {6, 6};
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 3u);
    EXPECT_EQ(v.shown[1].text,
              QStringLiteral("同名のアップロード変換済みファイルが存在します。続行しますか？"));
    EXPECT_TRUE(v.Finished());
    EXPECT_TRUE(fs::exists(out / "001_101500A_M.MP4"));
    EXPECT_EQ(Tracks(out / "002_101600A_M.MP4"), 2u);
}

// Many recordings, so that the work is still running when the test acts.
std::vector<RecordingEntry> Repeated(const RecordingEntry& e, int n) {
    return std::vector<RecordingEntry>(static_cast<size_t>(n), e);
}

// Every file in folder is a complete movie (no temporary, nothing cut short).
void ExpectOnlyCompleteOutputs(const std::string& folder) {
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename();
        EXPECT_FALSE(name.starts_with(".kinetta-tmp-")) << name;
        EXPECT_EQ(Tracks(e.path()), 2u) << name;
    }
}

TEST(SaveFlow, CancelDuringASaveLeavesOnlyCompleteFilesAndNoCompletion) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    v.answers = std::deque<int>(4, 6);
    v.selection = Ticked(Repeated(Row(v, "002_101600_A.MP4"), 400));
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    QTest::mouseClick(v.Ops().ProgressWindow()->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(v.Count(QStringLiteral("完了しました。")), 0);
    ExpectOnlyCompleteOutputs(out.path());
}

TEST(SaveFlow, ClosingTheViewerDuringASaveLeavesOnlyCompleteFiles) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    v.selection = Ticked(Repeated(Row(v, "002_101600_A.MP4"), 400));
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    QElapsedTimer closing;
    closing.start();
    v.dlg->OnCommand(kCmdClose);
    // Reported, not asserted: the close waits for the file being written.
    std::printf("closing during a save took %lld ms\n", static_cast<long long>(closing.elapsed()));
    EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    ExpectOnlyCompleteOutputs(out.path());
}

// ---- delete ----------------------------------------------------------------------

// A copy of the card that a test may change, reported as the removable card,
// with a trash of the test's own.
struct CardCopy {
    ktest::TempDir dir;
    std::string card = dir / "card";
    CardCopy() {
        fs::copy(Card::card, card, fs::copy_options::recursive);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        platform::SetRemovableRootsProvider([this] { return std::vector<std::string>{card}; });
    }
    ~CardCopy() {
        platform::SetRemovableRootsProvider({});
        ::unsetenv("XDG_DATA_HOME");
    }
};

TEST(DeleteFlow, ThreeRowsDisappearTheListIsRebuiltAndTheRestIsUntouched) {
    CardCopy copy;
    ktest::TempDir home;
    FileOpsViewer v(home.path(), copy.card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.dlg->Filer()->RowCount(), 4);
    v.selection = Ticked(
        {Row(v, "001_101500A_M.MP4"), Row(v, "002_101600_A.MP4"), Row(v, "003_101700_G.MP4")});
    v.answers = {6};
    v.dlg->OnCommand(kCmdDelete);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(v.selections.at(0).mode, FileSelectMode::Delete);
    // Asked first, naming how many go where: the combined recordings to the
    // card's delete folder, the pair to the trash; the completion says the same.
    const QString folder = QString::fromStdString(copy.card + "/Delete Folder");
    ASSERT_EQ(v.shown.size(), 2u);
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("確認"));
    EXPECT_EQ(v.shown[0].type, 4);
    EXPECT_EQ(v.shown[0].text, QStringLiteral("3件の録画を削除します。よろしいですか？\n"
                                              "2件: カードの「Delete Folder」（%1）へ移動します。\n"
                                              "1件: ごみ箱へ移動します。")
                                   .arg(folder));
    EXPECT_EQ(v.shown[1].caption, QStringLiteral("終了"));
    EXPECT_EQ(v.shown[1].type, 0);
    EXPECT_EQ(v.shown[1].text,
              QStringLiteral("完了しました。\n"
                             "2件の録画をカードの「Delete Folder」（%1）へ移動しました。\n"
                             "1件の録画をごみ箱へ移動しました。")
                  .arg(folder));
    EXPECT_EQ(v.Ops().Job().Done(), 3);
    EXPECT_EQ(v.Ops().Job().Total(), 3);
    EXPECT_TRUE(v.Finished());
    ASSERT_EQ(v.dlg->Filer()->RowCount(), 1);
    EXPECT_EQ(v.dlg->Filer()->Rows()[0].frontName, "004_101800A_M.MP4");
    EXPECT_EQ(v.dlg->SourceCatalogue().Entries().size(), 1u);
    EXPECT_EQ(v.dlg->SourceCatalogue().Entries()[0].listNumber, 0);
    EXPECT_EQ(v.dlg->State().SelectedIndex(), 0);
    // Combined recordings by number, last row first; the pair in the trash.
    const std::string deleted = copy.card + "/Delete Folder/";
    EXPECT_EQ(fs::file_size(deleted + "TEMP0000.DAT"),
              fs::file_size(Card::card + "/20230525_001/003_101700_G.MP4"));
    EXPECT_EQ(fs::file_size(deleted + "TEMP0001.DAT"),
              fs::file_size(Card::card + "/20230525_001/002_101600_A.MP4"));
    EXPECT_TRUE(fs::exists(copy.dir / "data/Trash/files/001_101500A_R.MP4"));
    EXPECT_TRUE(fs::exists(copy.card + "/20230525_001/004_101800A_R.MP4"));
    EXPECT_TRUE(v.WaitLoaded()); // the remaining recording opens
}

// Plays the opened recording, pauses it, and seeks it to frame once its
// views are prepared (the slider's range, which limits a seek, is set then);
// its position afterwards.
long long PausedAt(FileOpsViewer& v, long long frame) {
    v.dlg->OnCommand(kCmdPlayPause);
    WaitFor([&] { return v.session.GetState(0) == kEnginePlaying; });
    v.dlg->OnCommand(kCmdPlayPause);
    WaitFor([&] {
        v.dlg->State().Ask().seek(frame);
        return v.session.GetPosition(0) > 0;
    });
    return v.session.GetPosition(0);
}

TEST(DeleteFlow, TheQuestionAnsweredNoRemovesNothingAndTheRecordingStaysWhereItWas) {
    CardCopy copy;
    ktest::TempDir home;
    FileOpsViewer v(home.path(), copy.card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    const long long at = PausedAt(v, 40);
    ASSERT_GT(at, 0);
    const unsigned serial = v.dlg->State().OpenSerial();
    v.selection = Ticked({Row(v, "001_101500A_M.MP4"), Row(v, "002_101600_A.MP4")});
    v.answers = {7};
    v.dlg->OnCommand(kCmdDelete);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].type, 4);
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 4);
    EXPECT_TRUE(fs::exists(copy.card + "/20230525_001/001_101500A_R.MP4"));
    EXPECT_TRUE(fs::exists(copy.card + "/20230525_001/002_101600_A.MP4"));
    EXPECT_TRUE(fs::is_empty(copy.card + "/Delete Folder"));
    // The movies were closed for the flow and open again where they stood.
    ASSERT_TRUE(WaitFor([&] {
        return v.dlg->State().OpenSerial() != serial && v.dlg->State().Loaded() &&
               v.session.GetPosition(0) == at;
    }));
    EXPECT_EQ(v.session.GetState(0), kEnginePaused);
}

TEST(DeleteFlow, ACancelledDialogChangesNothingAndReselectsTheRow) {
    CardCopy copy;
    ktest::TempDir home;
    FileOpsViewer v(home.path(), copy.card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.selection = std::nullopt;
    v.dlg->OnCommand(kCmdDelete);
    EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    EXPECT_TRUE(v.shown.empty());
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 4);
    EXPECT_EQ(v.dlg->State().SelectedIndex(), 0);
    EXPECT_TRUE(v.WaitLoaded());
}

TEST(DeleteFlow, ClosingTheViewerDuringADeleteLeavesEveryFileInPlaceOrFullyMoved) {
    CardCopy copy;
    // Many combined recordings (links to one file, so that each is complete
    // and of known size), so that the work is still running at the close.
    const std::string folder = copy.card + "/20230525_001/";
    const std::string source = Card::card + "/20230525_001/002_101600_A.MP4";
    const uintmax_t size = fs::file_size(source);
    constexpr int kMany = 600;
    std::vector<std::string> names;
    for (int i = 0; i < kMany; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d_1%d%02d%02d_A.MP4", 100 + i, 1 + i / 3600,
                      i / 60 % 60, i % 60);
        fs::create_hard_link(source, folder + name);
        names.push_back(name);
    }
    ktest::TempDir home;
    FileOpsViewer v(home.path(), copy.card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    std::vector<RecordingEntry> ticked;
    for (const std::string& n : names)
        ticked.push_back(Row(v, n));
    v.selection = Ticked(ticked);
    v.answers = {6}; // yes to the question before anything moves
    v.dlg->OnCommand(kCmdDelete);
    ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    // Under way: the first recording has moved (watched without handling
    // events, so that the close follows at once).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (v.Ops().Job().Done() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    ASSERT_GT(v.Ops().Job().Done(), 0);
    QElapsedTimer closing;
    closing.start();
    v.dlg->OnCommand(kCmdClose);
    const long long ms = closing.elapsed();
    EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    v.dlg.reset();

    // Each recording is either where it was or complete in the delete
    // folder, never both, never neither; nothing else was written.
    int inPlace = 0, moved = 0;
    for (const std::string& n : names)
        inPlace += fs::exists(folder + n) ? 1 : 0;
    for (const auto& e : fs::directory_iterator(copy.card + "/Delete Folder")) {
        const std::string name = e.path().filename();
        EXPECT_TRUE(name.starts_with("TEMP") && name.ends_with(".DAT")) << name;
        EXPECT_EQ(fs::file_size(e.path()), size) << name;
        ++moved;
    }
    EXPECT_EQ(inPlace + moved, kMany);
    const fs::path trash = copy.dir / "data/Trash/files";
    EXPECT_TRUE(!fs::exists(trash) || fs::is_empty(trash));
    // Reported, not asserted: the close waits for the recording being moved.
    std::printf("closing during a delete took %lld ms (%d of %d recordings moved)\n", ms, moved,
                kMany);
}

// ---- join and upload conversion ---------------------------------------------------

// Frame numbers read from every decoded picture of a movie (ffmpeg decodes it).
std::vector<int> FrameCodes(const std::string& path, int width, int height) {
    ktest::TempDir dir;
    const std::string raw = dir / "frames.gray";
    const ktest::CommandRun r = ktest::RunCommand(
        "ffmpeg -v error -i '" + path + "' -map 0:v:0 -f rawvideo -pix_fmt gray '" + raw + "'");
    std::vector<int> codes;
    if (r.status != 0) return codes;
    const std::string bytes = ktest::ReadFile(raw);
    const size_t frame = static_cast<size_t>(width * height);
    for (size_t at = 0; at + frame <= bytes.size(); at += frame)
        codes.push_back(kframecode::ReadFrameCode(
            reinterpret_cast<const uint8_t*>(bytes.data() + at), width, height, width));
    return codes;
}

int GpsRecordCount(const std::string& path) {
    playcore::sGPSREADER reader;
    if (!playcore::LoadRecords(reader, path, RecorderFamily::TX40)) return -1;
    return static_cast<int>(reader.gps.size());
}

TEST(JoinFlow, ThreeRecordingsJoinWithEveryFrameAcrossTheSeamsAndTheirGpsRecords) {
    ktest::TempDir home, out, src;
    // Three consecutive front movies whose pictures number on across the files.
    std::vector<RecordingEntry> ticked;
    int first = 0, records = 0;
    for (int k = 0; k < 3; ++k) {
        const std::string path =
            src / ("00" + std::to_string(k + 5) + "_10" + std::to_string(20 + k) + "00A_M.MP4");
        ASSERT_TRUE(ktest::WriteMovie(path, RecorderFamily::TX40, mkcard::FileContent::Front,
                                      20 + k, 0, 2.0, first));
        RecordingEntry e;
        e.frontPath = path;
        e.frontName = fs::path(path).filename();
        e.frontFrames = playcore::FirstSampleCount(path, RecorderFamily::TX40);
        first += static_cast<int>(e.frontFrames);
        records += GpsRecordCount(path);
        ticked.push_back(e);
    }
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    v.selection = Ticked(ticked, true, false);
    // On a card command 38007 is the join.
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdJoin)->toolTip(), QStringLiteral("連結"));
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    EXPECT_EQ(v.selections.at(0).mode, FileSelectMode::Join);
    const std::string joined = out / "JM03_005_102000A_M.MP4";
    ASSERT_EQ(Names(out.path()), std::vector<std::string>{"JM03_005_102000A_M.MP4"});
    const std::vector<int> codes = FrameCodes(joined, 160, 90);
    ASSERT_EQ(static_cast<int>(codes.size()), first);
    for (int i = 0; i < first; ++i)
        ASSERT_EQ(codes[static_cast<size_t>(i)], i) << "picture " << i;
    EXPECT_EQ(GpsRecordCount(joined), records);
    EXPECT_EQ(SettingsStore(home.path()).Read("FOLDERPATH", "CONNECT_FOLDER"), out.path());
}

TEST(JoinFlow, AnUnreadableRecordingFailsAndAnExistingOutputAnsweredNoWritesNothing) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    RecordingEntry missing = Row(v, "004_101800A_M.MP4");
    missing.frontPath += ".gone";
    missing.rearPath += ".gone";
    v.selection = Ticked({Row(v, "001_101500A_M.MP4"), missing, Row(v, "004_101800A_M.MP4")});
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text, QStringLiteral("動画の連結に失敗しました。"));
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("ERROR"));
    EXPECT_TRUE(fs::is_empty(out.path()));

    // A join of combined recordings whose output exists: "いいえ" ends it.
    std::ofstream(out / "JB02_002_101600A_R.MP4") << "mine";
    v.shown.clear();
    v.selection = Ticked({Row(v, "002_101600_A.MP4"), Row(v, "003_101700_G.MP4")});
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_EQ(v.shown.size(), 1u);
    EXPECT_EQ(v.shown[0].text,
              QStringLiteral("同名の連結済みファイルが存在します。続行しますか？"));
    EXPECT_EQ(Names(out.path()), std::vector<std::string>{"JB02_002_101600A_R.MP4"});

    // "はい": both outputs, through stand-ins that are gone afterwards.
    v.shown.clear();
    v.answers = {6};
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    EXPECT_EQ(Names(out.path()),
              (std::vector<std::string>{"JB02_002_101600A_M.MP4", "JB02_002_101600A_R.MP4"}));
    EXPECT_EQ(Tracks(out / "JB02_002_101600A_R.MP4"), 2u);
}

TEST(JoinFlow, CancelOrCloseDuringAJoinLeavesNothing) {
    ktest::TempDir home, out;
    {
        FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
        ASSERT_TRUE(v.WaitLoaded());
        v.folder = out.path();
        v.selection = Ticked(Repeated(Row(v, "002_101600_A.MP4"), 90));
        v.dlg->OnCommand(kCmdJoin);
        ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
        QTest::mouseClick(v.Ops().ProgressWindow()->CancelButton(), Qt::LeftButton);
        ASSERT_TRUE(v.WaitEnded());
        EXPECT_EQ(v.Count(QStringLiteral("完了しました。")), 0);
        EXPECT_TRUE(fs::is_empty(out.path()));

        ASSERT_TRUE(v.WaitLoaded());
        v.dlg->OnCommand(kCmdJoin);
        ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
        QElapsedTimer closing;
        closing.start();
        v.dlg->OnCommand(kCmdClose);
        std::printf("closing during a join took %lld ms\n",
                    static_cast<long long>(closing.elapsed()));
        EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST(UploadConversion, OnAFolderSourceTheCurrentRecordingIsWrittenAsYm01PlusItsFrontName) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    // The same recordings as a folder source: command 38007 converts.
    v.source = {kSourceFolder, Card::card + "/20230525_001"};
    v.dlg->OnCommand(kCmdBrowse);
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.dlg->SourceCatalogue().Kind(), kSourceFolder);
    EXPECT_EQ(v.dlg->ToolbarButton(kCmdJoin)->toolTip(), QStringLiteral("アップロード変換"));
    v.folder = out.path();
    float rate = 0;
    bool flip = false;
    v.dlg->OnCommand(kCmdFlip); // the picture turned: the conversion follows it
    v.Ops().SetConvertPrompt([&](const std::string&, int, float frameRate, bool flipped,
                                 playcore::ConvertSettings* settings) {
        rate = frameRate;
        flip = flipped;
        settings->preset = "ultrafast";
        return 0;
    });
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.selections.empty()); // no file-selection dialog: the selected recording
    // 1000 / the frame duration in whole milliseconds (34 at 29.1 frames per second).
    EXPECT_NEAR(rate, 1000.0 / 34, 0.01);
    EXPECT_TRUE(flip);
    EXPECT_EQ(v.folderPrompts.at(0).second, home.path());
    EXPECT_TRUE(v.Finished()) << (v.shown.empty() ? "" : v.shown[0].text.toStdString());
    EXPECT_EQ(Names(out.path()), std::vector<std::string>{"YM01_001_101500A_M.MP4"});
    EXPECT_EQ(SettingsStore(home.path()).Read("FOLDERPATH", "CONVERT_FOLDER"), out.path());
}

TEST(UploadConversion, ClosingTheViewerDuringAConversionLeavesNothingBehind) {
    ktest::TempDir home, out;
    {
        FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
        ASSERT_TRUE(v.WaitLoaded());
        v.source = {kSourceFolder, Card::card + "/20230525_001"};
        v.dlg->OnCommand(kCmdBrowse);
        ASSERT_TRUE(v.WaitLoaded());
        v.folder = out.path();
        v.Ops().SetConvertPrompt(
            [](const std::string&, int, float, bool, playcore::ConvertSettings*) { return 0; });
        v.dlg->OnCommand(kCmdJoin);
        ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
        // Under way: the conversion has reported a frame.
        ASSERT_TRUE(WaitFor([&] { return v.Ops().Job().Done() > 0; }, 60000));
        ASSERT_TRUE(v.dlg->Features().Find<FileOpsFeature>()->Running());
        QElapsedTimer closing;
        closing.start();
        v.dlg->OnCommand(kCmdClose);
        const long long ms = closing.elapsed();
        EXPECT_FALSE(v.dlg->Features().Find<FileOpsFeature>()->Running());
        // Reported, not asserted: the close waits for the frame being encoded.
        std::printf("closing during a conversion took %lld ms\n", ms);
    }
    // Neither the destination nor its temporaries.
    EXPECT_EQ(Names(out.path()), std::vector<std::string>{});
}

TEST(JoinFlow, WithUploadConversionTheJoinedFrontMovieIsConvertedToo) {
    ktest::TempDir home, out;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    v.folder = out.path();
    FileSelectAnswer answer = Ticked({Row(v, "001_101500A_M.MP4"), Row(v, "004_101800A_M.MP4")});
    answer.upload = true;
    v.selection = answer;
    std::string askedOn;
    v.Ops().SetConvertPrompt(
        [&](const std::string& source, int, float, bool, playcore::ConvertSettings* settings) {
            askedOn = source;
            settings->preset = "ultrafast";
            return 0;
        });
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished()) << (v.shown.empty() ? "" : v.shown[0].text.toStdString());
    EXPECT_EQ(askedOn, Row(v, "001_101500A_M.MP4").frontPath);
    EXPECT_EQ(Names(out.path()),
              (std::vector<std::string>{"JB02_001_101500A_M.MP4", "JB02_001_101500A_R.MP4",
                                        "YM01_JB02_001_101500A_M.MP4"}));
    EXPECT_GT(fs::file_size(out / "YM01_JB02_001_101500A_M.MP4"), 0u);
}

// ---- where the outputs went, and the recording after a flow ---------------------

TEST(CompletionMessage, NamesTheFolderAndEveryFileWrittenAndItsYesOpensTheFolder) {
    ktest::TempDir home;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    struct Flow {
        const char* name;
        int command;
        std::vector<std::string> ticked; // rows of the file-selection dialog
    };
    const Flow flows[] = {
        {"save", kCmdSaveSplit, {"001_101500A_M.MP4", "002_101600_A.MP4"}},
        {"join", kCmdJoin, {"001_101500A_M.MP4", "004_101800A_M.MP4"}},
        {"csv", kCmdCsv, {}},
        {"still", kCmdStill, {}},
        {"gpx", kCmdGpxExport, {"001_101500A_M.MP4", "004_101800A_M.MP4"}},
    };
    for (const Flow& f : flows) {
        SCOPED_TRACE(f.name);
        ktest::TempDir out;
        std::vector<RecordingEntry> ticked;
        for (const std::string& n : f.ticked)
            ticked.push_back(Row(v, n));
        v.selection = Ticked(ticked);
        v.folder = out.path() + "/";
        v.shown.clear();
        v.opened.clear();
        v.answers = {6}; // the completion's "フォルダーを開きますか？"
        ASSERT_TRUE(v.WaitLoaded());
        v.dlg->OnCommand(f.command);
        ASSERT_TRUE(v.WaitEnded());
        ASSERT_EQ(v.shown.size(), 1u) << v.shown.front().text.toStdString();
        const ktest::Shown& done = v.shown[0];
        EXPECT_EQ(done.caption, QStringLiteral("終了"));
        EXPECT_EQ(done.type, 4);
        const QStringList lines = done.text.split(QLatin1Char('\n'));
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines.front(), QStringLiteral("完了しました。"));
        EXPECT_EQ(lines[1],
                  QStringLiteral("出力先フォルダー: ") + QString::fromStdString(out.path()));
        EXPECT_EQ(lines.back(), QStringLiteral("フォルダーを開きますか？"));
        // Every file the flow left in the folder is named, and nothing else.
        std::vector<std::string> named;
        for (const QString& line : lines)
            if (line.startsWith(QStringLiteral("ファイル: ")))
                named.push_back(line.mid(6).toStdString());
        std::sort(named.begin(), named.end());
        const std::vector<std::string> written = Names(out.path());
        EXPECT_FALSE(written.empty());
        EXPECT_EQ(named, written);
        ASSERT_EQ(v.opened.size(), 1u);
        EXPECT_EQ(v.opened[0], QUrl::fromLocalFile(QString::fromStdString(out.path())));
    }
    // "いいえ" (and Escape) opens nothing.
    ktest::TempDir out;
    v.folder = out.path();
    v.shown.clear();
    v.opened.clear();
    ASSERT_TRUE(v.WaitLoaded());
    v.dlg->OnCommand(kCmdCsv);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished());
    EXPECT_TRUE(v.opened.empty());
}

TEST(FlowRecording, GpxKeepsThePausedRecordingOpenAndASaveReopensItWhereItStood) {
    ktest::TempDir home, gpx, saved;
    FileOpsViewer v(home.path(), Card::card, RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    const long long at = PausedAt(v, 40);
    ASSERT_GT(at, 0);
    ASSERT_EQ(v.session.GetState(0), kEnginePaused);
    const unsigned serial = v.dlg->State().OpenSerial();

    // The GPX export reads only the GPS blocks: no close, no re-open.
    v.selection = Ticked({Row(v, "001_101500A_M.MP4")});
    v.folder = gpx.path();
    v.dlg->OnCommand(kCmdGpxExport);
    ASSERT_TRUE(v.WaitEnded());
    ASSERT_TRUE(v.Finished());
    EXPECT_EQ(v.selections.back().titleId, kStrGpxSave);
    EXPECT_EQ(v.dlg->State().OpenSerial(), serial);
    EXPECT_TRUE(v.dlg->State().Loaded());
    EXPECT_EQ(v.session.GetPosition(0), at);
    EXPECT_EQ(v.session.GetState(0), kEnginePaused);

    // A save closes the movies; afterwards the recording opens at the same frame, paused.
    v.folder = saved.path();
    v.dlg->OnCommand(kCmdSaveSplit);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_EQ(v.selections.back().titleId, -1); // the save's own title
    ASSERT_TRUE(WaitFor([&] {
        return v.dlg->State().OpenSerial() != serial && v.dlg->State().Loaded() &&
               v.session.GetPosition(0) == at;
    })) << v.session.GetPosition(0);
    EXPECT_EQ(v.session.GetState(0), kEnginePaused);
}

} // namespace
} // namespace kinetta
