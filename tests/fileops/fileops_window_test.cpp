// The flows' machinery in the viewer: a flow stops playback and closes the
// movies, holds the toolbar and the list, shows its progress with the
// percentage, ends with the completion message or its failure once, is
// cancelled by the progress window's button, runs one at a time, and the
// viewer closes during a flow only after the worker stopped. The folder
// prompt's start folder and its failure message.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <atomic>
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
        closedFirst = !v.session.Opened(0) && !v.session.Opened(1) && !v.dlg->Loaded();
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
    EXPECT_EQ(v.shown[0].text, QStringLiteral("完了しました。"));
    EXPECT_EQ(v.shown[0].caption, QStringLiteral("終了"));
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
    EXPECT_FALSE(v.dlg->FileOpRunning());
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
    EXPECT_FALSE(v.dlg->FileOpRunning());
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

} // namespace
} // namespace kinetta
