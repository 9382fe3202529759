// A FAT32 card through a real FAT driver (fusefat): outputs never replace a
// file, also one whose name differs only in case, where the file system has
// neither RENAME_NOREPLACE nor hard links; a file of 4 GiB is refused before
// anything is written; a card whose size the driver does not report is
// written to; the settings file is written and rewritten there; every
// command of kinetta-cli writes into a folder on the card; and a card pulled
// while a command reads it ends the command with status 1, its reason, and
// no file in its output folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kinetta/base/settings_store.h"
#include "kinetta/fileops/output_files.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "support/command_run.h"
#include "support/fat_card.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ktest::FatCard;

const std::string kFolder = "20230525_001";

// Recordings of the TX40 family made once by mkcard, copied onto each card:
// a camera pair, a combined recording and a second front movie. 640x360 for
// 10 s at a high quality: a few MB each, read by the card in many pieces.
class Recordings : public ::testing::Environment {
public:
    void SetUp() override {
        dir = std::make_unique<ktest::TempDir>();
        const std::string mkcard = ktest::BuiltTool("tools/mkcard/mkcard");
        struct Spec {
            const char* name;
            const char* content;
            const char* start;
        };
        for (const Spec& s : {Spec{"001_101500A_M.MP4", "front", "2023-05-25T10:15:00"},
                              Spec{"001_101500A_R.MP4", "rear", "2023-05-25T10:15:00"},
                              Spec{"002_101600_A.MP4", "combined", "2023-05-25T10:16:00"},
                              Spec{"003_101700A_M.MP4", "front", "2023-05-25T10:17:00"}}) {
            const std::string out = dir->Mkdir(kFolder) + "/" + s.name;
            ASSERT_EQ(ktest::RunProgram({mkcard,        "recording", "--family",      "tx40",
                                         "--out",       out,         "--content",     s.content,
                                         "--start",     s.start,     "--size",        "640x360",
                                         "--rear-size", "640x360",   "--duration",    "10",
                                         "--crf",       "10",        "--x264-preset", "ultrafast"}),
                      0)
                << s.name;
        }
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
};
const auto* const kRecordings = ::testing::AddGlobalTestEnvironment(new Recordings);

// A card holding the recordings in its date folder, put in again so that
// nothing of them is cached.
std::unique_ptr<FatCard> FilledCard() {
    auto card = std::make_unique<FatCard>();
    if (!card->Mounted()) return nullptr;
    // Copied by bytes: FAT keeps no modes, which std::filesystem::copy would set.
    fs::create_directories(*card / kFolder);
    for (const auto& e : fs::directory_iterator(Recordings::dir->path() + "/" + kFolder)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::ofstream out(*card / kFolder + "/" + e.path().filename().string(), std::ios::binary);
        out << in.rdbuf();
        if (!out.flush()) return nullptr;
    }
    if (!card->Remount()) return nullptr;
    return card;
}

std::string Cli() {
    return ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");
}

// Names in folder (temporaries included); an unreadable folder gives none.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        out.push_back(e.path().filename().string());
    return out;
}

TEST(FatCardFiles, NoRenameReplacesAnEntryAlsoWhenItsNameDiffersInCase) {
    KTEST_NEED_FAT_CARD();
    FatCard card;
    ASSERT_TRUE(card.Mounted());
    const std::string kept = card / "X.MP4";
    std::ofstream(kept) << "kept";
    std::ofstream(card / "new") << "new";
    // The driver has neither RENAME_NOREPLACE (EINVAL) nor hard links (EPERM).
    errno = 0;
    EXPECT_FALSE(platform::RenameNoReplace(card / "new", card / "x.mp4"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ktest::ReadFile(kept), "kept");
    EXPECT_EQ(ktest::ReadFile(card / "new"), "new");
    EXPECT_TRUE(platform::RenameNoReplace(card / "new", card / "Y.MP4"));
    EXPECT_EQ(ktest::ReadFile(card / "Y.MP4"), "new");
    EXPECT_FALSE(platform::Exists(card / "new"));
    // A folder is never moved over an entry, nor left half moved.
    fs::create_directories(card / "d1/inner");
    fs::create_directories(card / "D2");
    EXPECT_FALSE(platform::RenameNoReplace(card / "d1", card / "d2"));
    EXPECT_FALSE(platform::RenameNoReplace(card / "d1", card / "Y.MP4"));
    EXPECT_TRUE(platform::IsDirectory(card / "d1/inner"));
    EXPECT_EQ(ktest::ReadFile(card / "Y.MP4"), "new");
    // A copy that must not replace meets the other case of its name.
    ktest::TempDir elsewhere;
    const std::string source = elsewhere.Write("a", "copy");
    EXPECT_EQ(kinetta::CopyFileAtomic(source, card / "x.Mp4", false), kinetta::CopyResult::Exists);
    EXPECT_EQ(ktest::ReadFile(kept), "kept");
    EXPECT_EQ(kinetta::CopyFileAtomic(source, card / "z.mp4", false), kinetta::CopyResult::Written);
    EXPECT_EQ(ktest::ReadFile(card / "Z.MP4"), "copy");
    // No placeholder or temporary is left by the refusals.
    std::vector<std::string> names = Names(card.root());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"D2", "X.MP4", "Y.MP4", "d1", "z.mp4"}));
}

TEST(FatCardFiles, SizeLimitAndUnknownFreeSpace) {
    KTEST_NEED_FAT_CARD();
    FatCard card;
    ASSERT_TRUE(card.Mounted());
    fs::create_directories(card / "out");
    EXPECT_EQ(platform::LargestFileBytes(card / "out"), 0xFFFFFFFFull);
    ktest::TempDir elsewhere;
    EXPECT_EQ(platform::LargestFileBytes(elsewhere.path()), std::nullopt);
    // fusefat reports no size for this card: its free space is unknown, not none.
    EXPECT_EQ(kinetta::FreeBytes(card / "out"), std::nullopt);
    EXPECT_TRUE(kinetta::HasRoomFor(card / "out", 1u << 20));
    EXPECT_TRUE(kinetta::FitsInFileSystem(card / "out", 0xFFFFFFFFull));
    EXPECT_FALSE(kinetta::FitsInFileSystem(card / "out", 0x100000000ull));
}

TEST(FatCardFiles, SettingsAreWrittenAndRewrittenOnTheCard) {
    KTEST_NEED_FAT_CARD();
    FatCard card;
    ASSERT_TRUE(card.Mounted());
    {
        kinetta::SettingsStore store(card.root());
        ASSERT_TRUE(store.Write("FOLDERPATH", "CSV_FOLDER", "/a"));
        ASSERT_TRUE(store.Write("FOLDERPATH", "CSV_FOLDER", "/b")); // replaces the file
        ASSERT_TRUE(store.Write("SOURCE", "SELECT", "SD"));
    }
    ASSERT_TRUE(card.Remount());
    kinetta::SettingsStore store(card.root());
    EXPECT_EQ(store.Read("FOLDERPATH", "CSV_FOLDER"), "/b");
    EXPECT_EQ(store.Read("SOURCE", "SELECT"), "SD");
    EXPECT_EQ(Names(card.root()), std::vector<std::string>{"Default_Folder.ini"});
}

// One command of kinetta-cli: its arguments after the program, with {card}
// for the card's date folder and {out} for its output folder.
struct CliCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> outputs; // names it writes into {out}
    bool keeps = true;                // refuses to replace its outputs (gpx replaces)
};

std::vector<std::string> Expand(const std::vector<std::string>& args, const std::string& card,
                                const std::string& out) {
    std::vector<std::string> r;
    for (std::string a : args) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{card}", card},
                                         std::pair<std::string, std::string>{"{out}", out}})
            for (size_t at; (at = a.find(key)) != std::string::npos;)
                a.replace(at, key.size(), value);
        r.push_back(a);
    }
    return r;
}

const std::vector<CliCase>& CliCases() {
    static const std::vector<CliCase> cases = {
        {"save pair",
         {"save", "--family", "tx40", "--out", "{out}", "{card}/001_101500A_M.MP4"},
         {"001_101500A_M.MP4", "001_101500A_R.MP4"}},
        {"save combined",
         {"save", "--family", "tx40", "--out", "{out}", "{card}/002_101600_A.MP4"},
         {"002_101600A_M.MP4", "002_101600A_R.MP4"}},
        {"join",
         {"join", "--family", "tx40", "{out}/J.MP4", "{card}/001_101500A_M.MP4",
          "{card}/003_101700A_M.MP4"},
         {"J.MP4"}},
        {"split",
         {"split", "--family", "tx40", "{card}/002_101600_A.MP4", "{out}/F.MP4", "{out}/R.MP4"},
         {"F.MP4", "R.MP4"}},
        {"csv",
         {"csv", "--family", "tx40", "--kind", "folder", "{card}", "--out", "{out}"},
         {"Dv_20230525_101500.csv"}},
        {"gpx",
         {"gpx", "--family", "tx40", "{card}/001_101500A_M.MP4", "{card}/002_101600_A.MP4", "--out",
          "{out}/T.gpx"},
         {"T.gpx"},
         false},
    };
    return cases;
}

TEST(FatCardCli, EveryCommandWritesIntoAFolderOnTheCardAndNeverOverAnyCaseOfItsNames) {
    KTEST_NEED_FAT_CARD();
    auto card = FilledCard();
    ASSERT_TRUE(card);
    const std::string src = *card / kFolder;
    for (const CliCase& c : CliCases()) {
        SCOPED_TRACE(c.name);
        const std::string out = *card / (std::string("out-") + c.name);
        fs::create_directories(out);
        ktest::TempDir logs;
        const std::string log = logs / "log";
        std::vector<std::string> args = Expand(c.args, src, out);
        args.insert(args.begin(), Cli());
        ASSERT_EQ(ktest::RunProgram(args, log), 0) << ktest::ReadFile(log);
        for (const std::string& name : c.outputs)
            EXPECT_GT(kinetta::FileBytes(out + "/" + name), 0u) << name;
        if (!c.keeps) continue;
        // The same names in lower case are the same names on FAT: refused, kept.
        std::vector<std::string> lower;
        for (const std::string& a : args) {
            std::string l = a;
            if (l.rfind(out, 0) == 0)
                for (size_t i = out.size(); i < l.size(); ++i)
                    l[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(l[i])));
            lower.push_back(l);
        }
        std::vector<uint64_t> before;
        for (const std::string& name : c.outputs)
            before.push_back(kinetta::FileBytes(out + "/" + name));
        EXPECT_EQ(ktest::RunProgram(lower, log), 1) << ktest::ReadFile(log);
        EXPECT_NE(ktest::ReadFile(log).find("exists"), std::string::npos) << ktest::ReadFile(log);
        for (size_t i = 0; i < c.outputs.size(); ++i)
            EXPECT_EQ(kinetta::FileBytes(out + "/" + c.outputs[i]), before[i]) << c.outputs[i];
        EXPECT_EQ(Names(out).size(), c.outputs.size());
    }
}

TEST(FatCardCli, AnOutputOf4GiBIsRefusedBeforeAnyByteIsWritten) {
    KTEST_NEED_FAT_CARD();
    FatCard card;
    ASSERT_TRUE(card.Mounted());
    ktest::TempDir disk;
    // A front camera file of 4 GiB (sparse) on a disk that holds it.
    const std::string big = disk / "001_101500A_M.MP4";
    { std::ofstream(big, std::ios::binary) << "x"; }
    fs::resize_file(big, 0x100000000ull);
    const std::string out = *&card / "out";
    fs::create_directories(out);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{Cli(), "save", "--family", "tx40", "--out", out, big},
          std::vector<std::string>{Cli(), "join", "--family", "tx40", out + "/J.MP4", big}}) {
        SCOPED_TRACE(args[1]);
        const std::string log = disk / "log";
        EXPECT_EQ(ktest::RunProgram(args, log), 1);
        EXPECT_NE(ktest::ReadFile(log).find("FAT"), std::string::npos) << ktest::ReadFile(log);
        EXPECT_TRUE(Names(out).empty());
    }
}

TEST(FatCardCli, ASaveOntoACardOfUnreportedSizeIsWritten) {
    KTEST_NEED_FAT_CARD();
    FatCard card; // 250 MB free, 0 blocks reported
    ASSERT_TRUE(card.Mounted());
    ktest::TempDir disk;
    const std::string file = disk.Write("001_101500A_M.MP4", std::string(1 << 20, 'm'));
    const std::string log = disk / "log";
    ASSERT_EQ(
        ktest::RunProgram({Cli(), "save", "--family", "tx40", "--out", card.root(), file}, log), 0)
        << ktest::ReadFile(log);
    EXPECT_EQ(kinetta::FileBytes(card / "001_101500A_M.MP4"), 1u << 20);
}

// The commands reading from the card pulled in the middle of their reads,
// writing into a folder on another disk.
TEST(PulledCardCli, EveryCommandEndsWithStatusOneItsReasonAndNoPartialOutput) {
    KTEST_NEED_FAT_CARD();
    std::vector<CliCase> cases = CliCases();
    cases.push_back({"scan", {"scan", "--family", "tx40", "--kind", "folder", "{card}"}, {}});
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto card = FilledCard();
        ASSERT_TRUE(card);
        ktest::TempDir disk;
        const std::string out = disk.Mkdir("out");
        const std::string log = disk / "log";
        std::vector<std::string> args = Expand(c.args, *card / kFolder, out);
        args.insert(args.begin(), Cli());
        const pid_t pid = ktest::SpawnProgram(args, log);
        ASSERT_GT(pid, 0);
        const bool pulled = card->PullDuring(pid, ktest::ReadCalls());
        int st = 0;
        ASSERT_EQ(::waitpid(pid, &st, 0), pid);
        ASSERT_TRUE(pulled) << "the command ended before it read the card: "
                            << ktest::ReadFile(log);
        ASSERT_TRUE(WIFEXITED(st)) << "ended by signal " << WTERMSIG(st);
        EXPECT_EQ(WEXITSTATUS(st), 1) << ktest::ReadFile(log);
        EXPECT_NE(ktest::ReadFile(log).find("kinetta-cli"), std::string::npos)
            << ktest::ReadFile(log);
        EXPECT_TRUE(Names(out).empty()) << Names(out).front();
    }
}

} // namespace
