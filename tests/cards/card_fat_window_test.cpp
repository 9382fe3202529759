// The viewer on a FAT32 card through a real FAT driver (fusefat): every flow
// with the card as its source and as its destination; and the card pulled
// in the middle of a read (or a move) while a recording plays, while the
// card is scanned, while a save, a join, a conversion, the CSV export and a
// still picture read it, and while a delete moves its files. A pull never
// crashes or hangs the viewer: the window keeps answering, it drops to no
// recording, a flow ends with its failure shown once, its destination on
// another disk holds nothing, and the card, put in again, holds what it held.

#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "fileops/fileops_support.h"
#include "kinetta/base/command_ids.h"
#include "kinetta/catalogue/filer_container_dlg.h"
#include "kinetta/shell/kinetta_dlg.h"
#include "platform/files.h"
#include "support/command_run.h"
#include "support/fat_card.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using ktest::FatCard;
using ktest::FileOpsViewer;
using ktest::WaitFor;

const std::string kFolder = "20230525_001";

// TX40 recordings made once by mkcard: a camera pair, a combined recording
// and a second front movie, 640x360 for 4 s: the card reads each in many pieces.
class Recordings : public ::testing::Environment {
public:
    void SetUp() override {
        av_log_set_level(AV_LOG_ERROR);
        dir = std::make_unique<ktest::TempDir>();
        const std::string mkcard = ktest::BuiltTool("tools/mkcard/mkcard");
        struct Recording {
            const char* name;
            const char* content;
            const char* start;
        };
        for (const Recording& s :
             {Recording{"001_101500A_M.MP4", "front", "2023-05-25T10:15:00"},
              Recording{"001_101500A_R.MP4", "rear", "2023-05-25T10:15:00"},
              Recording{"002_101600_A.MP4", "combined", "2023-05-25T10:16:00"},
              Recording{"003_101700A_M.MP4", "front", "2023-05-25T10:17:00"}}) {
            const std::string out = dir->Mkdir(kFolder) + "/" + s.name;
            ASSERT_EQ(ktest::RunProgram({mkcard,        "recording", "--family",      "tx40",
                                         "--out",       out,         "--content",     s.content,
                                         "--start",     s.start,     "--size",        "640x360",
                                         "--rear-size", "640x360",   "--duration",    "4",
                                         "--crf",       "10",        "--x264-preset", "ultrafast"}),
                      0)
                << s.name;
        }
    }
    void TearDown() override { dir.reset(); }
    static inline std::unique_ptr<ktest::TempDir> dir;
};
const auto* const kRecordings = ::testing::AddGlobalTestEnvironment(new Recordings);

// Every file below root with its size, paths relative to root.
std::map<std::string, uintmax_t> Contents(const std::string& root) {
    std::map<std::string, uintmax_t> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec))
        if (it->is_regular_file(ec))
            out[fs::relative(it->path(), root).string()] = it->file_size(ec);
    return out;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The card with the recordings, the model marker and the delete folder, put
// in again so that nothing of it is cached; its trash is the card's own.
struct CardRig {
    FatCard card;
    ktest::TempDir home, data, disk;
    bool ready = false;
    CardRig() {
        if (!card.Mounted()) return;
        fs::create_directories(card / kFolder);
        fs::create_directories(card / "Delete Folder");
        for (const auto& e : fs::directory_iterator(Recordings::dir->path() + "/" + kFolder)) {
            std::ifstream in(e.path(), std::ios::binary);
            std::ofstream out(card / kFolder + "/" + e.path().filename().string(),
                              std::ios::binary);
            out << in.rdbuf();
            if (!out.flush()) return;
        }
        ktest::WriteModelMarker(card.root(), RecorderFamily::TX40);
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        platform::SetRemovableRootsProvider(
            [this] { return std::vector<std::string>{card.root()}; });
        ready = card.Remount();
    }
    ~CardRig() {
        platform::SetRemovableRootsProvider({});
        ::unsetenv("XDG_DATA_HOME");
    }
};

const RecordingEntry* Row(FileOpsViewer& v, const std::string& name) {
    for (const RecordingEntry& e : v.dlg->SourceCatalogue().Entries())
        if (e.DisplayedName() == name) return &e;
    return nullptr;
}

FileSelectAnswer Ticked(std::vector<RecordingEntry> entries, bool front = true, bool rear = true) {
    return FileSelectAnswer{std::move(entries), front, rear, false};
}

void ConvertFast(FileOpsViewer& v) {
    v.Ops().SetConvertPrompt(
        [](const std::string&, int, float, bool, playcore::ConvertSettings* settings) {
            settings->preset = "ultrafast";
            return 0;
        });
}

void Play(FileOpsViewer& v) {
    if (v.session.GetState(0) != kEnginePlaying) v.dlg->OnCommand(kCmdPlayPause);
    WaitFor([&] { return v.session.GetPosition(0) > 10; });
}

std::string Texts(const FileOpsViewer& v) {
    std::string all;
    for (const ktest::Shown& s : v.shown)
        all += "[" + s.caption.toStdString() + "] " + s.text.toStdString() + "\n";
    return all;
}

TEST(FatCardFlows, EveryFlowReadsFromTheCardAndWritesOntoIt) {
    KTEST_NEED_FAT_CARD();
    CardRig rig;
    ASSERT_TRUE(rig.ready);
    FileOpsViewer v(rig.home.path(), rig.card.root(), RecorderFamily::TX40);
    ASSERT_TRUE(v.WaitLoaded());
    ASSERT_EQ(v.dlg->SourceCatalogue().Kind(), kSourceCard);
    ASSERT_EQ(v.dlg->Filer()->RowCount(), 3);
    const RecordingEntry pair = *Row(v, "001_101500A_M.MP4");
    const RecordingEntry combined = *Row(v, "002_101600_A.MP4");
    const RecordingEntry third = *Row(v, "003_101700A_M.MP4");
    struct Step {
        const char* name;
        std::function<void(const std::string& out)> run;
        std::vector<std::string> written;
    };
    const std::vector<Step> steps = {
        {"save pair",
         [&](const std::string&) {
             v.selection = Ticked({pair});
             v.dlg->OnCommand(kCmdSaveSplit);
         },
         {"001_101500A_M.MP4", "001_101500A_R.MP4"}},
        {"save combined",
         [&](const std::string&) {
             v.selection = Ticked({combined});
             v.dlg->OnCommand(kCmdSaveSplit);
         },
         {"002_101600A_M.MP4", "002_101600A_R.MP4"}},
        {"join",
         [&](const std::string&) {
             v.selection = Ticked({pair, third}, true, false);
             v.dlg->OnCommand(kCmdJoin);
         },
         {"JM02_001_101500A_M.MP4"}},
        {"csv", [&](const std::string&) { v.dlg->OnCommand(kCmdCsv); }, {"Dv_20230525_101500.csv"}},
        {"still",
         [&](const std::string&) {
             Play(v);
             v.dlg->OnCommand(kCmdStill);
         },
         {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const std::string out = rig.card / (std::string("OUT-") + s.name);
        fs::create_directories(out);
        ASSERT_TRUE(v.WaitLoaded());
        v.shown.clear();
        v.folder = out;
        s.run(out);
        ASSERT_TRUE(v.WaitEnded());
        EXPECT_TRUE(v.Finished()) << (v.shown.empty() ? "" : v.shown[0].text.toStdString());
        if (!s.written.empty()) {
            EXPECT_EQ(Names(out), s.written);
        } else { // the still pictures of both cameras
            ASSERT_EQ(Names(out).size(), 2u);
            EXPECT_EQ(fs::path(Names(out)[0]).extension(), ".jpg");
        }
        for (const std::string& name : Names(out))
            EXPECT_GT(fs::file_size(out + "/" + name), 0u) << name;
    }

    // The upload conversion of the current recording of a folder source on the card.
    const std::string converted = rig.card / "OUT-convert";
    fs::create_directories(converted);
    v.source = {kSourceFolder, rig.card / kFolder};
    v.dlg->OnCommand(kCmdBrowse);
    ASSERT_TRUE(v.WaitLoaded());
    ConvertFast(v);
    v.shown.clear();
    v.folder = converted;
    v.dlg->OnCommand(kCmdJoin);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished()) << (v.shown.empty() ? "" : v.shown[0].text.toStdString());
    EXPECT_EQ(Names(converted), std::vector<std::string>{"YM01_001_101500A_M.MP4"});

    // Delete on the card: the combined recording into its delete folder, the
    // pair into the card's own trash.
    v.source = {kSourceCard, rig.card.root()};
    v.dlg->OnCommand(kCmdBrowse);
    ASSERT_TRUE(v.WaitLoaded());
    v.shown.clear();
    v.selection = Ticked({*Row(v, "001_101500A_M.MP4"), *Row(v, "002_101600_A.MP4")});
    v.answers = {6};
    v.dlg->OnCommand(kCmdDelete);
    ASSERT_TRUE(v.WaitEnded());
    EXPECT_TRUE(v.Finished()) << (v.shown.empty() ? "" : v.shown.back().text.toStdString());
    EXPECT_EQ(Names(rig.card / "Delete Folder"), std::vector<std::string>{"TEMP0000.DAT"});
    const std::string trash = rig.card / (".Trash-" + std::to_string(::getuid()));
    EXPECT_EQ(Names(trash + "/files"),
              (std::vector<std::string>{"001_101500A_M.MP4", "001_101500A_R.MP4"}));
    EXPECT_EQ(Names(rig.card / kFolder), std::vector<std::string>{"003_101700A_M.MP4"});
    EXPECT_EQ(v.dlg->Filer()->RowCount(), 1);
}

// What is pulled: a thread of the viewer waiting for the card in a read
// (or, for the delete, a move), while the action runs.
struct PullCase {
    const char* name;
    const std::set<long>& calls;
    bool flow;         // a flow: it ends with its failure shown once (the still: with
                       // its failure, or its completion for pictures read before)
    bool paused;       // playback paused before the action, so only it reads
    bool folderSource; // the date folder as the source (the upload conversion)
    std::function<void(FileOpsViewer&, const std::string& card, const std::string& out)> act;
};

TEST(PulledCard, TheViewerLosesTheSourceAndEveryFlowFailsCleanly) {
    KTEST_NEED_FAT_CARD();
    const std::vector<PullCase> cases = {
        {"playing", ktest::ReadCalls(), false, false, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) { Play(v); }},
        {"scan", ktest::ReadCalls(), false, true, false,
         [](FileOpsViewer& v, const std::string& card, const std::string&) {
             v.source = {kSourceCard, card};
             v.dlg->OnCommand(kCmdBrowse);
         }},
        {"save", ktest::ReadCalls(), true, true, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             v.selection = Ticked({*Row(v, "001_101500A_M.MP4"), *Row(v, "002_101600_A.MP4")});
             v.dlg->OnCommand(kCmdSaveSplit);
         }},
        {"join", ktest::ReadCalls(), true, true, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             v.selection = Ticked({*Row(v, "001_101500A_M.MP4"), *Row(v, "003_101700A_M.MP4")});
             v.dlg->OnCommand(kCmdJoin);
         }},
        {"convert", ktest::ReadCalls(), true, true, true,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             ConvertFast(v);
             v.dlg->OnCommand(kCmdJoin);
         }},
        {"delete", ktest::MoveCalls(), true, true, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             v.selection = Ticked({*Row(v, "001_101500A_M.MP4"), *Row(v, "002_101600_A.MP4")});
             v.answers = {6};
             v.dlg->OnCommand(kCmdDelete);
         }},
        {"csv", ktest::ReadCalls(), true, true, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             v.dlg->OnCommand(kCmdCsv);
         }},
        {"still", ktest::ReadCalls(), true, false, false,
         [](FileOpsViewer& v, const std::string&, const std::string&) {
             v.dlg->OnCommand(kCmdStill);
         }},
    };
    for (const PullCase& c : cases) {
        SCOPED_TRACE(c.name);
        CardRig rig;
        ASSERT_TRUE(rig.ready);
        const std::map<std::string, uintmax_t> before = Contents(rig.card.root());
        const std::string out = rig.disk.Mkdir("out");
        FileOpsViewer v(rig.home.path(), rig.card.root(), RecorderFamily::TX40);
        ASSERT_TRUE(v.WaitLoaded());
        if (c.folderSource) {
            v.source = {kSourceFolder, rig.card / kFolder};
            v.dlg->OnCommand(kCmdBrowse);
            ASSERT_TRUE(v.WaitLoaded());
        }
        if (c.paused) { // shown and still: nothing reads until the action
            Play(v);
            v.dlg->OnCommand(kCmdPlayPause);
            ASSERT_TRUE(WaitFor([&] { return v.session.GetState(0) == kEnginePaused; }));
        }
        v.shown.clear();
        v.folder = out;
        // A flow's pull lands only once it runs: not in a read of the
        // viewer's own before it (the next recording's GPS block, say).
        // The delete's moves are the only moves: armed from the start, or
        // its worker may have moved everything before the command returns.
        const bool movesOnly = &c.calls == &ktest::MoveCalls();
        std::atomic<bool> pulled{false}, tried{false}, armed{!c.flow || movesOnly};
        std::thread puller([&] {
            pulled = rig.card.PullDuring(::getpid(), c.calls, 60000, &armed);
            tried = true;
        });
        // The still runs in the window's own thread: armed from within it.
        if (std::string(c.name) == "still") QTimer::singleShot(0, [&] { armed = true; });
        c.act(v, rig.card.root(), out);
        armed = true;
        // The window keeps answering while the pull lands and after it.
        WaitFor([&] { return tried.load(); }, 70000);
        puller.join();
        ASSERT_TRUE(pulled) << "never pulled; shown: " << Texts(v);
        if (c.flow) {
            ASSERT_TRUE(v.WaitEnded());
        }
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        EXPECT_TRUE(WaitFor([&] { return answered; }));
        // The removed source's handling: no recording, no rows.
        EXPECT_TRUE(WaitFor([&] {
            return v.dlg->Filer()->RowCount() == 0 && !v.dlg->State().Loaded() &&
                   !v.session.Opened(0) && !v.session.Opened(1);
        }));
        const bool still = std::string(c.name) == "still";
        if (c.flow) {
            int errors = 0;
            for (const ktest::Shown& s : v.shown)
                errors += s.caption == QStringLiteral("ERROR");
            const int completed = v.Count(QStringLiteral("完了しました。"));
            EXPECT_EQ(errors + completed, 1) << Texts(v);
            if (!still) {
                EXPECT_EQ(errors, 1) << Texts(v);
            }
        }
        if (still) { // only whole pictures: a JPEG from its start to its end marker
            for (const std::string& name : Names(out)) {
                const std::string jpeg = ktest::ReadFile(out + "/" + name);
                EXPECT_TRUE(jpeg.size() > 4 && jpeg.compare(0, 2, "\xFF\xD8") == 0 &&
                            jpeg.compare(jpeg.size() - 2, 2, "\xFF\xD9") == 0)
                    << name;
            }
        } else {
            EXPECT_TRUE(Names(out).empty()) << Names(out).front();
        }
        v.dlg.reset();
        // The card put in again holds what it held (a delete: each file in
        // place or wholly moved).
        ASSERT_TRUE(rig.card.Remount());
        std::map<std::string, uintmax_t> after = Contents(rig.card.root());
        if (std::string(c.name) == "delete") {
            uintmax_t total = 0, totalBefore = 0;
            for (const auto& [name, size] : after)
                if (name.find(".trashinfo") == std::string::npos) total += size;
            for (const auto& [name, size] : before)
                totalBefore += size;
            EXPECT_EQ(total, totalBefore);
        } else {
            EXPECT_EQ(after, before);
        }
    }
}

} // namespace
} // namespace kinetta
