// The delete flow's work on a card laid out by the recorder: combined
// recordings into the delete folder by number, pairs to the trash, last row
// first; the number past 9999 refused; a pair is never left split; nothing
// that was not ticked is touched.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kinetta/base/message_ids.h"
#include "kinetta/catalogue/delete_folder.h"
#include "kinetta/fileops/delete_flow.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

// A card in a temporary folder that the removable-card lookup reports, with
// the trash of the test's own.
class DeleteCard : public ::testing::Test {
protected:
    void SetUp() override {
        card = dir / "card";
        folder = card + "/20230525_001/";
        fs::create_directories(folder);
        fs::create_directories(card + "/Delete Folder");
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        platform::SetRemovableRootsProvider([this] { return std::vector<std::string>{card}; });
    }
    void TearDown() override {
        platform::SetRemovableRootsProvider({});
        ::unsetenv("XDG_DATA_HOME");
    }
    std::string File(const std::string& name) {
        std::ofstream(folder + name) << name;
        return folder + name;
    }
    RecordingEntry Combined(const std::string& name) {
        RecordingEntry e;
        e.frontPath = File(name);
        e.frontName = name;
        return e;
    }
    RecordingEntry Pair(const std::string& front, const std::string& rear) {
        RecordingEntry e;
        e.frontPath = File(front);
        e.frontName = front;
        e.rearPath = File(rear);
        e.rearName = rear;
        return e;
    }
    std::string Trashed(const std::string& name) { return dir / ("data/Trash/files/" + name); }
    // Runs the delete on a worker as the viewer does; progress reports are kept.
    std::uint32_t Run(const std::vector<RecordingEntry>& ticked, RecorderFamily family,
                      JobControl::Outcome* outcome,
                      std::vector<RecordingEntry>* deleted = nullptr) {
        JobControl job({[this](int done, int total) { progress.emplace_back(done, total); }, {}});
        std::uint32_t end = 0;
        job.Start([&](JobControl& j) { return end = RunDelete(ticked, family, j, deleted); });
        job.Join();
        *outcome = job.TakeOutcome();
        return end;
    }

    ktest::TempDir dir;
    std::string card, folder;
    std::vector<std::pair<int, int>> progress;
};

TEST_F(DeleteCard, Tx40CombinedGoToTheDeleteFolderPairsToTheTrashLastRowFirst) {
    std::ofstream(card + "/Delete Folder/TEMP0000.DAT") << "old";
    const std::vector<RecordingEntry> ticked = {Combined("001_101500_A.MP4"),
                                                Pair("002_101600A_M.MP4", "002_101600A_R.MP4"),
                                                Combined("003_101700_G.MP4")};
    const std::string untouched = File("004_101800_A.MP4");
    JobControl::Outcome o;
    std::vector<RecordingEntry> deleted;
    EXPECT_EQ(Run(ticked, RecorderFamily::TX40, &o, &deleted), UM_FILEOP_RELOAD);
    EXPECT_TRUE(o.completed);
    // Last row first: 003 takes the first free number.
    EXPECT_EQ(deleted.front().frontName, "003_101700_G.MP4");
    EXPECT_EQ(ktest::ReadFile(card + "/Delete Folder/TEMP0001.DAT"), "003_101700_G.MP4");
    EXPECT_EQ(ktest::ReadFile(card + "/Delete Folder/TEMP0002.DAT"), "001_101500_A.MP4");
    EXPECT_EQ(ktest::ReadFile(card + "/Delete Folder/TEMP0000.DAT"), "old");
    EXPECT_EQ(ktest::ReadFile(Trashed("002_101600A_M.MP4")), "002_101600A_M.MP4");
    EXPECT_EQ(ktest::ReadFile(Trashed("002_101600A_R.MP4")), "002_101600A_R.MP4");
    EXPECT_TRUE(fs::exists(untouched));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(3, 3));
    EXPECT_EQ(progress.front(), std::make_pair(1, 3));
}

TEST_F(DeleteCard, ANumberPast9999StopsTheFlowAndMovesNothing) {
    for (int n = 0; n <= kMaxDeleteNumber; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/Delete Folder/TEMP%04d.DAT", n);
        std::ofstream(card + name);
    }
    const RecordingEntry e = Combined("001_101500_A.MP4");
    JobControl::Outcome o;
    EXPECT_EQ(Run({e}, RecorderFamily::TX40, &o), UM_FILEOP_DONE);
    EXPECT_EQ(o.failure, "動画ファイルの削除に失敗しました。");
    EXPECT_FALSE(o.completed);
    EXPECT_TRUE(fs::exists(e.frontPath));
    EXPECT_TRUE(progress.empty());
}

TEST_F(DeleteCard, AFailureAfterSomeRowsStillReloadsTheList) {
    // The last row goes first and succeeds; the first row's file is gone, so
    // its removal fails: the flow stops, and the list must lose the removed row.
    RecordingEntry gone = Combined("001_101500_A.MP4");
    fs::remove(gone.frontPath);
    JobControl::Outcome o;
    EXPECT_EQ(Run({gone, Combined("002_101600_A.MP4")}, RecorderFamily::TX40, &o),
              UM_FILEOP_RELOAD);
    EXPECT_EQ(o.failure, "動画ファイルの削除に失敗しました。");
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 2}}));
}

TEST_F(DeleteCard, Tx50PairWhoseRearCannotMoveLeavesTheFrontWhereItWas) {
    RecordingEntry e = Pair("012_153012ANN_F.MP4", "012_153012ANN_R.MP4");
    fs::remove(e.rearPath); // vanished after the list was made
    RecordingDeleter deleter(e.frontPath, RecorderFamily::TX50);
    ASSERT_TRUE(deleter.UsesDeleteFolder());
    EXPECT_FALSE(deleter.DeletePair(e.frontPath, e.rearPath));
    EXPECT_EQ(ktest::ReadFile(e.frontPath), "012_153012ANN_F.MP4");
    EXPECT_TRUE(fs::is_empty(card + "/Delete Folder"));
    EXPECT_TRUE(deleter.NumbersInUse().normal.empty());

    // The whole pair moves under one number.
    e = Pair("012_153012ANN_F.MP4", "012_153012ANN_R.MP4");
    JobControl::Outcome o;
    EXPECT_EQ(Run({e}, RecorderFamily::TX50, &o), UM_FILEOP_RELOAD);
    EXPECT_TRUE(o.completed);
    EXPECT_TRUE(fs::exists(card + "/Delete Folder/NTM0000F.DAT"));
    EXPECT_TRUE(fs::exists(card + "/Delete Folder/NTM0000R.DAT"));
    EXPECT_FALSE(fs::exists(card + "/20230525_001")); // the emptied folder went too
}

TEST_F(DeleteCard, TrashRestoresAFileWithoutReplacingAnything) {
    const std::string path = File("002_101600A_M.MP4");
    std::string as;
    ASSERT_TRUE(platform::MoveToTrash(path, &as));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(dir / "data/Trash/info/002_101600A_M.MP4.trashinfo"));
    std::ofstream(path) << "new";
    EXPECT_FALSE(platform::RestoreFromTrash(as, path)); // a file of that name came meanwhile
    EXPECT_EQ(ktest::ReadFile(path), "new");
    fs::remove(path);
    EXPECT_TRUE(platform::RestoreFromTrash(as, path));
    EXPECT_EQ(ktest::ReadFile(path), "002_101600A_M.MP4");
    EXPECT_FALSE(fs::exists(dir / "data/Trash/info/002_101600A_M.MP4.trashinfo"));
}

} // namespace
} // namespace kinetta
