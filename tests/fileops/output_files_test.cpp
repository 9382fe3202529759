// Safe outputs of the file operations: atomic copies that never leave a
// partial file or a temporary behind, refusal to replace what must stay, and
// the folder keys' start folders.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "kinetta/base/settings_store.h"
#include "kinetta/fileops/folder_keys.h"
#include "kinetta/fileops/output_files.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Names in folder other than the given ones: temporaries that were left.
int Leftovers(const std::string& folder, std::initializer_list<std::string> expected) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        bool known = false;
        for (const std::string& name : expected)
            known = known || e.path().filename() == name;
        n += known ? 0 : 1;
    }
    return n;
}

TEST(AtomicCopy, WritesReplacesOrKeepsAndLeavesNoTemporary) {
    ktest::TempDir dir;
    std::string big(20u << 20, '\0'); // more than one piece of the copy
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 131 + (i >> 13));
    const std::string src = dir / "src.MP4", dst = dir / "dst.MP4";
    Put(src, big);

    EXPECT_EQ(CopyFileAtomic(src, dst, false), CopyResult::Written);
    EXPECT_TRUE(Slurp(dst) == big);

    // Without replace an existing name stays as it was.
    Put(dst, "older");
    EXPECT_EQ(CopyFileAtomic(src, dst, false), CopyResult::Exists);
    EXPECT_EQ(Slurp(dst), "older");
    // With replace it is replaced whole.
    EXPECT_EQ(CopyFileAtomic(src, dst, true), CopyResult::Written);
    EXPECT_TRUE(Slurp(dst) == big);
    EXPECT_EQ(Leftovers(dir.path(), {"src.MP4", "dst.MP4"}), 0);

    // A target that is the source itself (also through another name) is refused.
    ASSERT_EQ(link(src.c_str(), (dir / "hard.MP4").c_str()), 0);
    std::string why;
    EXPECT_EQ(CopyFileAtomic(src, dir / "hard.MP4", true, nullptr, &why), CopyResult::Failed);
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(Slurp(src) == big);
}

TEST(AtomicCopy, CancelAndFailuresLeaveNothingUnderTheFinalName) {
    ktest::TempDir dir;
    const std::string src = dir / "src.MP4";
    Put(src, std::string(10u << 20, 'x'));
    std::atomic<bool> running{false};
    EXPECT_EQ(CopyFileAtomic(src, dir / "out.MP4", false, &running), CopyResult::Cancelled);
    EXPECT_FALSE(fs::exists(dir / "out.MP4"));
    // A missing source, a FIFO and an unwritable folder fail cleanly.
    EXPECT_EQ(CopyFileAtomic(dir / "missing.MP4", dir / "out.MP4", false), CopyResult::Failed);
    ASSERT_EQ(mkfifo((dir / "fifo.MP4").c_str(), 0600), 0);
    EXPECT_EQ(CopyFileAtomic(dir / "fifo.MP4", dir / "out.MP4", false), CopyResult::Failed);
    EXPECT_EQ(CopyFileAtomic(src, dir / "no/such/folder/out.MP4", false), CopyResult::Failed);
    EXPECT_FALSE(fs::exists(dir / "out.MP4"));
    EXPECT_EQ(Leftovers(dir.path(), {"src.MP4", "fifo.MP4"}), 0);
}

TEST(RenameNoReplace, NeverOverwritesAndMovesOtherwise) {
    ktest::TempDir dir;
    Put(dir / "a", "a");
    Put(dir / "b", "b");
    EXPECT_FALSE(platform::RenameNoReplace(dir / "a", dir / "b"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Slurp(dir / "b"), "b");
    EXPECT_EQ(Slurp(dir / "a"), "a");
    EXPECT_TRUE(platform::RenameNoReplace(dir / "a", dir / "c"));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(Slurp(dir / "c"), "a");
}

TEST(FreeSpace, AFolderHasRoomForLittleButNotForMoreThanTheDisk) {
    ktest::TempDir dir;
    const auto free = FreeBytes(dir.path());
    ASSERT_TRUE(free.has_value());
    EXPECT_TRUE(HasRoomFor(dir.path(), 1));
    EXPECT_FALSE(HasRoomFor(dir.path(), *free));                 // the margin stays free
    EXPECT_TRUE(HasRoomFor(dir / "no-such-folder", 1ull << 60)); // unknown: the write decides
}

TEST(FolderKeys, PromptStartsInTheStoredFolderOrTheSettingsDirectory) {
    ktest::TempDir home;
    SetSettingsDirectory(home.path());
    EXPECT_EQ(StartFolderFor(kDownloadFolderKey), home.path());
    ASSERT_TRUE(RememberFolder(kDownloadFolderKey, "/media/out"));
    EXPECT_EQ(StartFolderFor(kDownloadFolderKey), "/media/out");
    EXPECT_EQ(ReadSetting("FOLDERPATH", "DOWNLOAD_FOLDER"), "/media/out");
    EXPECT_EQ(StartFolderFor(kConnectFolderKey), home.path()); // one key per operation
}

} // namespace
} // namespace kinetta
