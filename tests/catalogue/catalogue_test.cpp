// Walking sources into the catalogue, the folder tree, source choice and watch.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "kinetta/catalogue/card_settings.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/source.h"
#include "support/temp_dir.h"
#include "util/text.h"

using namespace kinetta;
constexpr auto TX40 = RecorderFamily::TX40;
constexpr auto TX50 = RecorderFamily::TX50;

namespace {

// Stand-in for the container toolkit: files holding "UNFINISHED" are not
// complete; "COMBINED" files carry both cameras, each stream half the file.
RecordingProbe FakeProbe() {
    RecordingProbe p;
    p.isComplete = [](const std::string& path) {
        return ktest::ReadFile(path).rfind("UNFINISHED", 0) != 0;
    };
    p.frameCount = [](const std::string& path) {
        return static_cast<int64_t>(ktest::ReadFile(path).size());
    };
    p.cameraStream = [](const std::string& path, int, int64_t* size, int64_t* frames) {
        std::string data = ktest::ReadFile(path);
        if (data.rfind("COMBINED", 0) != 0) return false;
        *size = static_cast<int64_t>(data.size() / 2);
        *frames = 7;
        return true;
    };
    p.firmwareVersion = [](const std::string&) { return std::string("1.2.3"); };
    return p;
}

std::vector<std::string> DisplayNames(const Catalogue& c) {
    std::vector<std::string> out;
    for (const RecordingEntry& e : c.Entries())
        out.push_back(e.DisplayedName());
    return out;
}

} // namespace

TEST(Catalogue, CardDateFoldersPairsAndTree) {
    ktest::TempDir card;
    card.Write("20230525_001/012_153012A_M.MP4", "front-data");
    card.Write("20230525_001/012_153014A_R.MP4", "rear"); // +2 s
    card.Write("20230525_001/013_160000G_R.MP4", "rear-only");
    card.Write("20230525_001/20230526_001/020_080000M_M.MP4", "nested");
    card.Write("20230525_001_old/030_090000A_M.MP4", "old");
    card.Write("2023_05_25/040_100000A_M.MP4", "not a date folder");
    card.Write("DCIM/20230525_001/050_110000A_M.MP4", "below DCIM");
    card.Write("20230527_001/060_120000P_M.MP4", "UNFINISHED");
    card.Write("011_000000A_M.MP4", "root files are listed too");

    Catalogue c(TX40, FakeProbe());
    ASSERT_TRUE(c.OpenSource(card.path() + "/", kSourceCard));
    EXPECT_EQ(DisplayNames(c), (std::vector<std::string>{"011_000000A_M.MP4", "012_153012A_M.MP4",
                                                         "013_160000G_R.MP4", "020_080000M_M.MP4",
                                                         "030_090000A_M.MP4"}));
    const RecordingEntry& pair = c.Entries()[1];
    EXPECT_EQ(pair.rearName, "012_153014A_R.MP4");
    EXPECT_EQ(pair.frontSize, 10);
    EXPECT_EQ(pair.rearSize, 4);
    EXPECT_EQ(pair.frontFrames, 10);
    EXPECT_EQ(pair.knownTrigger, '0');
    const RecordingEntry& rearOnly = c.Entries()[2];
    EXPECT_TRUE(rearOnly.frontPath.empty());
    EXPECT_EQ(rearOnly.knownTrigger, 0);

    // Tree: date folders with recordings, nested ones below their parent.
    ASSERT_EQ(c.Tree().size(), 3u);
    EXPECT_EQ(c.Tree()[0].name, "20230525_001");
    EXPECT_EQ(c.Tree()[0].filterBits, 0x01 | 0x04);
    EXPECT_EQ(c.Tree()[1].name, "20230526_001");
    EXPECT_EQ(c.Tree()[1].parent, 0);
    EXPECT_EQ(c.Tree()[1].filterBits, 0x02);
    EXPECT_EQ(c.Tree()[2].name, "20230525_001_old");
    EXPECT_EQ(c.Folders().size(), 3u);
    EXPECT_EQ(c.FirmwareVersion(), "1.2.3");

    // List numbers in order of discovery; running numbers keep counting.
    int32_t firstRunning = c.Entries()[0].runningNumber;
    ASSERT_TRUE(c.OpenSource(card.path(), kSourceCard));
    EXPECT_EQ(c.Entries()[0].listNumber, 0);
    EXPECT_GT(c.Entries()[0].runningNumber, firstRunning);
}

TEST(Catalogue, AFolderByItsNamesReadsNoFileAndListsTheSameRowsInOrder) {
    ktest::TempDir d;
    d.Write("f/012_153012ANN_F.MP4", "front-data");
    d.Write("f/012_153012ANN_R.MP4", "rear");
    d.Write("f/013_160000GNN_R.MP4", "rear-only");
    d.Write("f/014_170000PNN_F.MP4", "UNFINISHED");
    d.Write("f/010_150000MNN_F.MP4", "front-only");
    d.Write("f/notes.txt");
    d.Write("f/sub/020_080000ANN_F.MP4");
    Catalogue read(TX50, FakeProbe());
    ASSERT_TRUE(read.OpenSource(d / "f", kSourceFolder));
    int asked = 0; // every probe call counts: names alone must ask none
    RecordingProbe counting;
    counting.isComplete = [&](const std::string&) { return ++asked, true; };
    counting.readable = [&](const std::string&, int64_t*) { return ++asked, true; };
    counting.frameCount = [&](const std::string&) { return ++asked, int64_t{1}; };
    counting.isTimeLapse = [&](const std::string&) { return ++asked, false; };
    Catalogue names(TX50, counting);
    names.SetNamesOnly(true);
    ASSERT_TRUE(names.OpenSource(d / "f", kSourceFolder));
    EXPECT_EQ(asked, 0);
    // The same rows in the same order; the unfinished file, which only reading
    // it tells, is there until the folder has been read.
    std::vector<std::string> expected = DisplayNames(read);
    expected.insert(expected.end(), "014_170000PNN_F.MP4");
    EXPECT_EQ(DisplayNames(names), expected);
    for (size_t i = 0; i < read.Entries().size(); ++i) {
        EXPECT_EQ(names.Entries()[i].frontPath, read.Entries()[i].frontPath) << i;
        EXPECT_EQ(names.Entries()[i].rearPath, read.Entries()[i].rearPath) << i;
        EXPECT_EQ(names.Entries()[i].parking, read.Entries()[i].parking) << i;
        EXPECT_EQ(names.Entries()[i].knownTrigger, read.Entries()[i].knownTrigger) << i;
        EXPECT_EQ(names.Entries()[i].frontSize, 0) << i;
    }
}

TEST(Catalogue, AWalkGivenUpReadsNoFurtherFileNorFolder) {
    ktest::TempDir card;
    card.Write("20230525_001/012_153012A_M.MP4", "a");
    card.Write("20230525_001/013_153012A_M.MP4", "b");
    card.Write("20230526_001/014_153012A_M.MP4", "c");
    RecordingProbe probe = FakeProbe();
    std::vector<std::string> read; // every file the walk asked about
    probe.isComplete = [&read, complete = probe.isComplete](const std::string& path) {
        read.push_back(std::string(kutil::FileNameOf(path)));
        return complete(path);
    };
    Catalogue c(TX40, probe);
    c.SetCancel([&] { return !read.empty(); }); // given up once one file has been read
    ASSERT_TRUE(c.OpenSource(card.path(), kSourceCard));
    EXPECT_EQ(DisplayNames(c), std::vector<std::string>{"012_153012A_M.MP4"});
    EXPECT_EQ(read, std::vector<std::string>{"012_153012A_M.MP4"});
}

TEST(Catalogue, NestingDepthAndFullTreeLevels) {
    ktest::TempDir card;
    card.Write("20230101_001/20230101_002/20230101_003/001_000000A_M.MP4");
    card.Write("20230101_001/20230101_002/20230101_003/20230101_004/002_000000A_M.MP4");
    Catalogue c(TX40, FakeProbe());
    c.OpenSource(card.path(), kSourceCard);
    EXPECT_EQ(DisplayNames(c), std::vector<std::string>{"001_000000A_M.MP4"});
    EXPECT_EQ(c.Tree().size(), 3u); // the parents stay so that the folder can be reached

    ktest::TempDir many;
    for (int i = 0; i < 1200; ++i) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "2023%04d_001/%03d_120000A_M.MP4", i, i % 1000);
        many.Write(folder);
    }
    Catalogue m(TX40, FakeProbe());
    m.OpenSource(many.path(), kSourceCard);
    EXPECT_EQ(m.Tree().size(), 999u);
    EXPECT_EQ(m.Tree().back().name, "20230998_001");
    EXPECT_EQ(m.Entries().size(), 1200u);
}

TEST(Catalogue, CombinedFilesAreMeasuredInside) {
    ktest::TempDir card;
    card.Write("20230525_001/012_153012_G.MP4", "COMBINED-0123456789");
    Catalogue c(TX40, FakeProbe());
    c.OpenSource(card.path(), kSourceCard);
    ASSERT_EQ(c.Entries().size(), 1u);
    const RecordingEntry& e = c.Entries()[0];
    EXPECT_EQ(e.frontSize, 9);
    EXPECT_EQ(e.rearSize, 9);
    EXPECT_EQ(e.frontFrames, 7);
    EXPECT_TRUE(e.rearPath.empty());
}

TEST(Catalogue, FolderSourceListsSubfoldersWithoutScanning) {
    ktest::TempDir d;
    d.Write("copies/012_153012ANN_F.MP4");
    d.Write("copies/012_153012ANN_R.MP4");
    d.Write("copies/sub/020_080000ANN_F.MP4");
    d.Write("copies/notes.txt");
    Catalogue c(TX50, FakeProbe());
    ASSERT_TRUE(c.OpenSource(d / "copies", kSourceFolder));
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.Entries()[0].rearName, "012_153012ANN_R.MP4");
    ASSERT_EQ(c.Tree().size(), 2u);
    EXPECT_EQ(c.Tree()[0].name, "copies");
    EXPECT_EQ(c.Tree()[1].name, "sub");
    EXPECT_EQ(c.Tree()[1].parent, 0);
    EXPECT_TRUE(c.Folders().empty());
    EXPECT_EQ(c.ShownPath(), d.path());
}

TEST(Catalogue, SingleFileSource) {
    ktest::TempDir d;
    std::string front = d.Write("012_153012A_M.MP4");
    d.Write("012_153012A_R.MP4");
    std::string broken = d.Write("013_153012A_M.MP4", "UNFINISHED");
    Catalogue c(TX40, FakeProbe());
    ASSERT_TRUE(c.OpenSource(front, kSourceFile));
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_FALSE(c.Entries()[0].rearPath.empty());
    EXPECT_FALSE(c.OpenSource(broken, kSourceFile));
    EXPECT_TRUE(c.Entries().empty());
    EXPECT_FALSE(c.OpenSource(d / "missing.MP4", kSourceFile));
}

TEST(Catalogue, OddFoldersDoNotHarm) {
    ktest::TempDir card;
    card.Write("20230525_001/012_153012A_M.MP4");
    card.Write("20230525_001/\xff\xfe_bad.MP4"); // not UTF-8: skipped
    // A link back to the card root named like a date folder: no loop, no duplicates.
    std::filesystem::create_directory_symlink(card.path(), card / "20230525_001/20230525_002");
    card.Write("20230525_001/014_153012A_M.MP4", ""); // empty: no data, left out
    Catalogue c(TX40, FakeProbe());
    c.OpenSource(card.path(), kSourceCard);
    EXPECT_EQ(DisplayNames(c), std::vector<std::string>{"012_153012A_M.MP4"});
    Catalogue gone(TX40, FakeProbe());
    EXPECT_TRUE(gone.OpenSource(card / "no-such-folder", kSourceCard));
    EXPECT_TRUE(gone.Entries().empty());
}

TEST(Catalogue, SortPutsGrammarNamesFirstInUtf16Order) {
    EXPECT_TRUE(Utf16Less("a", "b"));
    EXPECT_TRUE(Utf16Less("ab", "abc"));
    EXPECT_FALSE(Utf16Less("abc", "abc"));
    // U+1F600 (a surrogate pair in UTF-16) sorts before U+FF5E, unlike in UTF-8 byte order.
    EXPECT_TRUE(Utf16Less("\xF0\x9F\x98\x80", "\xEF\xBD\x9E"));
    EXPECT_FALSE(Utf16Less("\xEF\xBD\x9E", "\xF0\x9F\x98\x80"));
    EXPECT_TRUE(Utf16Less("Z", "a")); // code units, not letters

    ktest::TempDir d;
    d.Write("JB02_001_120000A_M.MP4");
    d.Write("900_120000A_M.MP4");
    d.Write("100_120000A_M.MP4");
    Catalogue c(TX40, FakeProbe());
    c.OpenSource(d.path(), kSourceFolder);
    EXPECT_EQ(DisplayNames(c), (std::vector<std::string>{"100_120000A_M.MP4", "900_120000A_M.MP4",
                                                         "JB02_001_120000A_M.MP4"}));
}

TEST(CardSettings, GpsDataVersionField) {
    ktest::TempDir d;
    CardSettings s;
    EXPECT_FALSE(ReadCardSettings(d.path(), &s));
    d.Write("DRFormatConfig.dfc", std::string(41, 'x'));
    EXPECT_FALSE(ReadCardSettings(d.path(), &s));
    std::string bytes(42, '\0');
    bytes.replace(33, 6, "000123");
    d.Write("drformatconfig.DFC", bytes); // found without regard to case
    std::filesystem::remove(d / "DRFormatConfig.dfc");
    ASSERT_TRUE(ReadCardSettings(d.path(), &s));
    EXPECT_EQ(GpsDataVersionText(s.gpsDataVersion), "000123");
    EXPECT_EQ(GpsDataVersionText("      "), "");
    EXPECT_EQ(GpsDataVersionText("12345 "), "012345");
}

TEST(Catalogue, VersionTextsNeedTheFirmwareFirst) {
    ktest::TempDir card;
    card.Write("20230525_001/012_153012A_M.MP4");
    std::string bytes(42, ' ');
    bytes.replace(33, 6, "230101");
    card.Write("DRFormatConfig.dfc", bytes);
    Catalogue c(TX40, FakeProbe());
    c.OpenSource(card.path(), kSourceCard);
    EXPECT_EQ(c.GpsDataVersion(), "230101");

    RecordingProbe noFirmware = FakeProbe();
    noFirmware.firmwareVersion = [](const std::string&) { return std::string(); };
    Catalogue n(TX40, noFirmware);
    n.OpenSource(card.path(), kSourceCard);
    EXPECT_EQ(n.GpsDataVersion(), "");
}

TEST(SourceChoice, InitialSourceOrder) {
    ktest::TempDir e, f, d;
    SettingsStore settings(d.path());
    EXPECT_EQ(ChooseInitialSource({e.path(), f.path()}, settings).path, f.path());
    EXPECT_EQ(ChooseInitialSource({e.path(), f.path() + "/gone"}, settings).path, e.path());
    settings.Write("SOURCE", "FOLDER", d / "missing");
    settings.Write("SOURCE", "FILE", d.Write("001_000000A_M.MP4"));
    SourceChoice file = ChooseInitialSource({}, settings);
    EXPECT_EQ(file.kind, kSourceFile);
    settings.Write("SOURCE", "FOLDER", d.path());
    EXPECT_EQ(ChooseInitialSource({}, settings).kind, kSourceFolder);
    ktest::TempDir empty;
    EXPECT_EQ(ChooseInitialSource({}, SettingsStore(empty.path())).kind, kSourceNone);
}

TEST(SourceChoice, RefusedFamilyKeepsTheCatalogue) {
    ktest::TempDir cfg, tx40card, tx50card;
    tx40card.Write("TX40_40L_Viewer_download.url");
    tx40card.Write("20230525_001/012_153012A_M.MP4");
    tx50card.Write("TX50_download.url");
    tx50card.Write("20230525_001/012_153012ANN_F.MP4");
    tx50card.Write("pvtrace.txt");
    SettingsStore settings(cfg.path());
    FamilyDecider decider(settings, OperatingMode::Single, false);
    Catalogue c(TX40, FakeProbe());

    BrowseOutcome first =
        ApplySourceChoice({kSourceCard, tx40card.path()}, decider, c, OperatingMode::Single);
    ASSERT_TRUE(first.opened);
    EXPECT_EQ(first.modelKey, "TX40_40L_Viewer_download");
    EXPECT_FALSE(first.traceMarker);
    decider.SetStartupComplete(true);
    BrowseOutcome second =
        ApplySourceChoice({kSourceCard, tx50card.path()}, decider, c, OperatingMode::Single);
    EXPECT_TRUE(second.refused);
    EXPECT_EQ(c.SourcePath(), tx40card.path());
    EXPECT_EQ(c.Entries().size(), 1u);
    EXPECT_FALSE(ApplySourceChoice({kSourceFolder, ""}, decider, c, OperatingMode::Single).opened);
    EXPECT_FALSE(
        ApplySourceChoice({kSourceFolder, cfg / "gone"}, decider, c, OperatingMode::Single).opened);
}

TEST(SourceChoice, FolderItemsNewestFirst) {
    auto item = [](const char* name, int bits) {
        TreeItem t;
        t.name = name;
        t.filterBits = bits;
        return t;
    };
    struct Case {
        std::vector<TreeItem> tree;
        std::vector<int> order;
    };
    for (const Case& c : std::vector<Case>{
             {{}, {}},
             // A card's scan: folders with recordings first, newest first.
             {{item("20230525_001", 1), item("20230601_001", 0), item("20230526_001", 4)},
              {2, 0, 1}},
             // A folder source knows nothing of its subfolders: by name alone.
             {{item("card", 0), item("20230525_001", 0), item("20230526_001", 0)}, {0, 2, 1}},
             {{item("20230525_001", 1), item("20230525_002", 2)}, {1, 0}},
         })
        EXPECT_EQ(FolderItemsNewestFirst(c.tree), c.order) << c.tree.size();
}

TEST(SourceChoice, AFolderWithAMarkerDecidesTheFamilyLikeACard) {
    // A copied card (or a card the system does not report as removable)
    // opened as a folder: its root's marker decides, the stored product does not.
    ktest::TempDir cfg, copy;
    copy.Write("TX50_download.url");
    copy.Write("20230525_001/012_153012ANN_F.MP4");
    SettingsStore settings(cfg.path());
    settings.Write("DISPLAY", "MODELSELECT", "1");
    FamilyDecider decider(settings, OperatingMode::Single, true);
    Catalogue c(TX40, FakeProbe());
    BrowseOutcome out =
        ApplySourceChoice({kSourceFolder, copy.path()}, decider, c, OperatingMode::Single);
    ASSERT_TRUE(out.opened);
    EXPECT_EQ(out.modelKey, "TX50_download");
    EXPECT_EQ(decider.Family(), RecorderFamily::TX50);
    EXPECT_FALSE(out.traceMarker); // the trace marker stays a card's
}

namespace {
struct RecordingSink : platform::MessageSink {
    std::atomic<int> posts{0};
    std::atomic<uint32_t> last{0};
    bool Post(platform::MessageTarget, uint32_t message, uintptr_t, intptr_t) override {
        last = message;
        ++posts;
        return true;
    }
};
} // namespace

TEST(SourceWatch, PostsOnceWhenTheSourceGoes) {
    ktest::TempDir d;
    std::string card = d.Mkdir("card");
    RecordingSink sink;
    {
        SourceWatch watch(sink, nullptr, std::chrono::milliseconds(5));
        watch.SetWatchedPath(card);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(sink.posts, 0);
        std::filesystem::remove(card);
        for (int i = 0; i < 400 && sink.posts == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(sink.posts, 1);
        EXPECT_EQ(sink.last, UM_SOURCE_LOST);
        EXPECT_EQ(watch.WatchedPath(), "");
    }
    EXPECT_FALSE(SourceWatch::ExecutableGone());
    EXPECT_TRUE(SourceWatch::ExecutableGone(d / "no-such-link") == false);
}
