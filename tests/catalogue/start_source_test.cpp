// The start-up's own choices: the source named on the command line (a card's
// root, a folder, a file, refusals) and where the settings file is kept when
// started from the desktop entry or a shell.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "kinetta/base/settings_location.h"
#include "kinetta/catalogue/open_with.h"
#include "support/temp_dir.h"

namespace {

using namespace kinetta;

TEST(OpenWithSource, KindsOfPath) {
    ktest::TempDir dir;
    const std::string card = dir.Mkdir("media/CARD");
    const std::string folder = dir.Mkdir("footage");
    const std::string file = dir.Write("footage/001_120000A_M.MP4");
    const std::vector<std::string> roots{card};

    // A removable card's root is a card, also when named through a link or
    // with a trailing separator; a folder on it is a folder.
    std::filesystem::create_directory_symlink(card, dir / "card-link");
    for (const std::string& p : {card, card + "/", dir / "card-link"}) {
        const OpenWithChoice c = ChooseOpenWithSource(p, "/", roots);
        EXPECT_EQ(c.choice.kind, kSourceCard) << p;
        EXPECT_EQ(c.choice.path, card) << p;
        EXPECT_TRUE(c.refusal.empty());
    }
    EXPECT_EQ(ChooseOpenWithSource(dir.Mkdir("media/CARD/DCIM"), "/", roots).choice.kind,
              kSourceFolder);
    // A folder and a file; relative paths from the current directory.
    const OpenWithChoice f = ChooseOpenWithSource("footage/", dir.path(), roots);
    EXPECT_EQ(f.choice.kind, kSourceFolder);
    EXPECT_EQ(f.choice.path, folder);
    const OpenWithChoice m = ChooseOpenWithSource(file, "/", roots);
    EXPECT_EQ(m.choice.kind, kSourceFile);
    EXPECT_EQ(m.choice.path, file);
}

TEST(OpenWithSource, RefusalsNameThePath) {
    ktest::TempDir dir;
    const OpenWithChoice missing = ChooseOpenWithSource(dir / "gone.MP4", "/", {});
    EXPECT_EQ(missing.choice.kind, kSourceNone);
    EXPECT_EQ(missing.refusal, std::string(kOpenPathMissingText) + "\n" + dir / "gone.MP4");
    EXPECT_FALSE(ChooseOpenWithSource("", "/", {}).refusal.empty());
    // A FIFO is neither file nor folder: refused without being opened.
    const std::string fifo = dir / "pipe.MP4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const OpenWithChoice pipe = ChooseOpenWithSource(fifo, "/", {});
    EXPECT_EQ(pipe.choice.kind, kSourceNone);
    EXPECT_EQ(pipe.refusal, std::string(kOpenPathNotSourceText) + "\n" + fifo);
}

TEST(SettingsLocation, ShellAndDesktopStarts) {
    ktest::TempDir dir;
    const std::string cwd = dir.Mkdir("cwd");
    // From a shell: the current directory, whatever the environment says.
    EXPECT_EQ(
        ChooseSettingsLocation(false, cwd, (dir / "xdg").c_str(), dir.path().c_str()).directory,
        cwd);
    // From the desktop: $XDG_CONFIG_HOME/kinetta, created (private) with
    // every missing folder on the way.
    const SettingsLocation xdg =
        ChooseSettingsLocation(true, cwd, (dir / "a/b/xdg/").c_str(), dir.path().c_str());
    EXPECT_EQ(xdg.directory, dir / "a/b/xdg/kinetta");
    EXPECT_TRUE(xdg.note.empty());
    struct stat st {};
    ASSERT_EQ(::stat(xdg.directory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing folder is used as it is.
    EXPECT_EQ(ChooseSettingsLocation(true, cwd, (dir / "a/b/xdg").c_str(), nullptr).directory,
              xdg.directory);
    // Unset, empty or relative XDG_CONFIG_HOME: ~/.config/kinetta.
    for (const char* x : {static_cast<const char*>(nullptr), "", "relative/dir"})
        EXPECT_EQ(ChooseSettingsLocation(true, cwd, x, dir.path().c_str()).directory,
                  dir / ".config/kinetta");
}

TEST(SettingsLocation, DesktopFolderUnusableFallsBackToCurrentDirectory) {
    ktest::TempDir dir;
    const std::string cwd = dir.Mkdir("cwd");
    // A file where the folder should be.
    dir.Write("xdg/kinetta", "not a folder");
    const SettingsLocation blocked =
        ChooseSettingsLocation(true, cwd, (dir / "xdg").c_str(), nullptr);
    EXPECT_EQ(blocked.directory, cwd);
    EXPECT_NE(blocked.note.find("not a folder"), std::string::npos) << blocked.note;
    // Neither variable usable.
    const SettingsLocation none = ChooseSettingsLocation(true, cwd, nullptr, "relative");
    EXPECT_EQ(none.directory, cwd);
    EXPECT_FALSE(none.note.empty());
}

} // namespace
