// "Default_Folder.ini": reads and writes with the private-profile rules.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "kinetta/base/settings_location.h"
#include "kinetta/base/settings_store.h"
#include "support/temp_dir.h"

using kinetta::SettingsStore;

namespace {
std::string IniPath(const ktest::TempDir& d) {
    return d / "Default_Folder.ini";
}
} // namespace

TEST(SettingsStore, MissingFileSectionOrKeyReadsEmpty) {
    ktest::TempDir d;
    SettingsStore s(d.path());
    EXPECT_FALSE(s.FileExists());
    EXPECT_EQ(s.Read("DISPLAY", "VOLUME"), "");
    d.Write("Default_Folder.ini", "[DISPLAY]\r\nVOLUME=100\r\n");
    EXPECT_EQ(s.Read("DISPLAY", "ASPECT"), "");
    EXPECT_EQ(s.Read("SOURCE", "VOLUME"), "");
}

TEST(SettingsStore, ReadsAWindowsFileWithItsRules) {
    ktest::TempDir d;
    d.Write("Default_Folder.ini",
            "\xEF\xBB\xBF; written by hand\r\n"
            "[Display]\r\n"
            "  volume =  42  \r\n"
            "VOLUME=7\r\n"      // a duplicate key: the first wins
            "Aspect=\"on\"\r\n" // quotes around a value go
            "\r\n"
            "[ SOURCE ]\r\n"
            "FOLDER=/media/カード/20230525_001\r\n"
            "[DISPLAY]\r\n" // a duplicate section: the first wins
            "INFOCHECK=31\r\n"
            "[DECODE]\n"
            "HW=on"); // no final line break
    SettingsStore s(d.path());
    EXPECT_EQ(s.Read("DISPLAY", "VOLUME"), "42");
    EXPECT_EQ(s.Read("display", "Aspect"), "on");
    EXPECT_EQ(s.Read("SOURCE", "FOLDER"), "/media/カード/20230525_001");
    EXPECT_EQ(s.Read("DISPLAY", "INFOCHECK"), "");
    EXPECT_EQ(s.Read("DECODE", "HW"), "on");
}

TEST(SettingsStore, WriteCreatesFileAndSectionAndKeepsOtherLines) {
    ktest::TempDir d;
    SettingsStore s(d.path());
    ASSERT_TRUE(s.Write("DISPLAY", "VOLUME", "65535"));
    EXPECT_EQ(ktest::ReadFile(IniPath(d)), "[DISPLAY]\r\nVOLUME=65535\r\n");
    ASSERT_TRUE(s.Write("DISPLAY", "ASPECT", "on"));
    ASSERT_TRUE(s.Write("SOURCE", "SELECT", "2"));
    ASSERT_TRUE(s.Write("display", "volume", "100"));
    EXPECT_EQ(ktest::ReadFile(IniPath(d)),
              "[DISPLAY]\r\nvolume=100\r\nASPECT=on\r\n[SOURCE]\r\nSELECT=2\r\n");
}

TEST(SettingsStore, WriteLeavesForeignLinesByteForByte) {
    ktest::TempDir d;
    const std::string before = "; comment\n[A]\nx = 1\n\n[B]\ny=2\n\n\n[C]\nz=3";
    d.Write("Default_Folder.ini", before);
    SettingsStore s(d.path());
    ASSERT_TRUE(s.Write("B", "new", "v"));
    EXPECT_EQ(ktest::ReadFile(IniPath(d)),
              "; comment\n[A]\nx = 1\n\n[B]\ny=2\nnew=v\n\n\n[C]\nz=3");
    ASSERT_TRUE(s.Write("C", "w", "4")); // after a last line without a break
    EXPECT_EQ(s.Read("C", "z"), "3");
    EXPECT_EQ(s.Read("C", "w"), "4");
    ASSERT_TRUE(s.Write("D", "k", "5"));
    EXPECT_EQ(s.Read("D", "k"), "5");
    EXPECT_EQ(s.Read("A", "x"), "1");
}

TEST(SettingsStore, LongValuesStayWhole) {
    ktest::TempDir d;
    SettingsStore s(d.path());
    std::string folder = "/media/user/" + std::string(600, 'a') + "/録画";
    ASSERT_TRUE(s.Write("FOLDERPATH", "CSV_FOLDER", folder));
    EXPECT_EQ(s.Read("FOLDERPATH", "CSV_FOLDER"), folder);
}

TEST(SettingsStore, RefusesWhatTheFormatCannotHold) {
    ktest::TempDir d;
    SettingsStore s(d.path());
    EXPECT_FALSE(s.Write("DISPLAY", "VOLUME", "1\r\n[EVIL]"));
    EXPECT_FALSE(s.Write("DIS]PLAY", "VOLUME", "1"));
    EXPECT_FALSE(s.Write("DISPLAY", "VOL=UME", "1"));
    EXPECT_FALSE(s.Write("", "VOLUME", "1"));
    EXPECT_FALSE(s.Write("DISPLAY", "", "1"));
    EXPECT_FALSE(s.FileExists());
}

TEST(SettingsStore, UnwritableFolderFailsCleanly) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    ktest::TempDir d;
    ::chmod(d.path().c_str(), 0500);
    SettingsStore s(d.path());
    EXPECT_FALSE(s.Write("DISPLAY", "VOLUME", "1"));
    EXPECT_EQ(s.Read("DISPLAY", "VOLUME"), "");
    ::chmod(d.path().c_str(), 0700);
}

TEST(SettingsStore, FolderInPlaceOfTheFileFailsCleanly) {
    ktest::TempDir d;
    d.Mkdir("Default_Folder.ini");
    SettingsStore s(d.path());
    EXPECT_FALSE(s.Write("DISPLAY", "VOLUME", "1"));
    EXPECT_EQ(s.Read("DISPLAY", "VOLUME"), "");
}

TEST(SettingsStore, NoTemporaryFileIsLeftBehind) {
    ktest::TempDir d;
    SettingsStore s(d.path());
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(s.Write("S", "k" + std::to_string(i), "v"));
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(d.path()))
        (void)e, ++files;
    EXPECT_EQ(files, 1);
}

// The temporary a write goes through is created exclusively under a name
// nobody can know beforehand: a link planted at the name an earlier version
// used ("Default_Folder.ini.tmp-<pid>") or at any other name is never written
// through, and the file keeps the mode it had.
TEST(SettingsStore, PlantedLinksAreNotWrittenThroughAndTheModeIsKept) {
    ktest::TempDir d;
    const std::string victim = d.Write("victim.txt", "keep me");
    const std::string planted = IniPath(d) + ".tmp-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    d.Write("Default_Folder.ini", "[S]\r\nk=v\r\n");
    ASSERT_EQ(::chmod(IniPath(d).c_str(), 0600), 0);
    SettingsStore s(d.path());
    ASSERT_TRUE(s.Write("S", "k", "w"));
    EXPECT_EQ(ktest::ReadFile(victim), "keep me");
    EXPECT_EQ(s.Read("S", "k"), "w");
    struct stat st {};
    ASSERT_EQ(::lstat(IniPath(d).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A new file gets the mode a new file gets under the umask.
    ktest::TempDir fresh;
    const mode_t previous = ::umask(027);
    const bool written = SettingsStore(fresh.path()).Write("S", "k", "v");
    ::umask(previous);
    ASSERT_TRUE(written);
    ASSERT_EQ(::stat(IniPath(fresh).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A FIFO in place of the file is neither waited on nor written.
TEST(SettingsStore, FifoInPlaceOfTheFileFailsWithoutWaiting) {
    ktest::TempDir d;
    ASSERT_EQ(::mkfifo(IniPath(d).c_str(), 0600), 0);
    std::atomic<bool> done{false};
    std::string read = "unset";
    bool written = true;
    std::thread worker([&] {
        SettingsStore s(d.path());
        read = s.Read("S", "k");
        written = s.Write("S", "k", "v");
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool byItself = done;
    while (!done) { // release an open that waits for a writer, so that the test ends
        const int fd = ::open(IniPath(d).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    EXPECT_TRUE(byItself);
    EXPECT_EQ(read, "");
    EXPECT_FALSE(written);
    struct stat st {};
    ASSERT_EQ(::lstat(IniPath(d).c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A link in place of the settings file, in the start-up directory or in the
// desktop start's XDG folder, wherever it points: the store neither reads
// through it nor replaces it. Reads give the defaults, writes fail, nothing
// of the target is copied into the folder, the link stays the same link, and
// one line on stderr says why.
TEST(SettingsStore, LinkInPlaceOfTheFileIsNeitherReadNorReplaced) {
    struct Case {
        const char* what;
        bool desktop;     // the XDG folder of a desktop start, else the current directory
        bool absolute;    // the link names its target by an absolute path
        bool targetThere; // false: a dangling link, whose target must not appear
    };
    const Case cases[] = {
        {"relative link to a key file", false, false, true},
        {"absolute link to a shadow file", false, true, true},
        {"link in the XDG folder", true, false, true},
        {"dangling link", false, true, false},
    };
    // Contents a store that read through the link would find and copy.
    const std::string secret = "root:$6$Zk8$Qm1:19000:0:99999:7:::\n[DISPLAY]\nVOLUME=4242\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ktest::TempDir top;
        const std::string target = top.Mkdir("secret") + "/key";
        if (c.targetThere) top.Write("secret/key", secret);
        const std::string folder =
            c.desktop ? kinetta::ChooseSettingsLocation(true, top.Mkdir("cwd"),
                                                        top.Mkdir("xdg").c_str(), nullptr)
                            .directory
                      : top.Mkdir("cwd");
        ASSERT_EQ(folder, top / (c.desktop ? "xdg/kinetta" : "cwd"));
        const std::string ini = folder + "/Default_Folder.ini";
        const std::string linked =
            c.absolute ? target : std::string(c.desktop ? "../../secret/key" : "../secret/key");
        ASSERT_EQ(::symlink(linked.c_str(), ini.c_str()), 0);

        testing::internal::CaptureStderr();
        SettingsStore s(folder);
        EXPECT_FALSE(s.FileExists());
        EXPECT_EQ(s.Read("DISPLAY", "VOLUME"), "");
        EXPECT_FALSE(s.Write("DISPLAY", "VOLUME", "65535"));
        EXPECT_FALSE(s.Write("DISPLAY", "ASPECT", "on"));
        const std::string said = testing::internal::GetCapturedStderr();

        char buf[4096];
        const ssize_t n = ::readlink(ini.c_str(), buf, sizeof buf);
        ASSERT_GT(n, 0) << "the link is gone";
        EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), linked);
        if (c.targetThere)
            EXPECT_EQ(ktest::ReadFile(target), secret);
        else
            EXPECT_FALSE(std::filesystem::exists(target));
        int entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            ++entries;
            EXPECT_EQ(e.path().filename(), "Default_Folder.ini") << "left behind: " << e.path();
        }
        EXPECT_EQ(entries, 1);
        // Said once, naming the file and why.
        const size_t first = said.find(ini + " is a symbolic link");
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find(ini, first + 1), std::string::npos) << said;
    }
}
