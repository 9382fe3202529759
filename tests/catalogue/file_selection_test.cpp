// Main-list filter and sorts; ticks, totals and limits of the file-selection dialog.

#include <gtest/gtest.h>

#include "kinetta/catalogue/file_selection.h"

using namespace kinetta;

namespace {

RecordingEntry Entry(const std::string& front, int64_t frontMiB, int64_t rearMiB, int running = 0) {
    RecordingEntry e;
    if (!front.empty()) {
        e.frontPath = "/card/" + front;
        e.frontName = front;
    }
    if (rearMiB > 0) {
        e.rearName = front.empty() ? "001_000000A_R.MP4" : front + ".rear";
        e.rearPath = "/card/" + e.rearName;
    }
    e.frontSize = frontMiB << 20;
    e.rearSize = rearMiB << 20;
    e.runningNumber = running;
    return e;
}

std::vector<RecordingEntry> Rows(int n, int missingRearAt = -1) {
    std::vector<RecordingEntry> rows;
    for (int i = 0; i < n; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%03d_120000A_M.MP4", i);
        rows.push_back(Entry(name, 10, i == missingRearAt ? 0 : 10, i));
    }
    return rows;
}

std::vector<size_t> TickedRows(const FileSelection& s) {
    std::vector<size_t> out;
    for (size_t i = 0; i < s.RowCount(); ++i)
        if (s.Ticked(i)) out.push_back(i);
    return out;
}

} // namespace

TEST(MainList, FilterSwitchesAndSorts) {
    std::vector<RecordingEntry> scan = {Entry("001_120000A_M.MP4", 1, 1, 2),
                                        Entry("002_120000G_M.MP4", 1, 1, 1),
                                        Entry("readme.MP4", 1, 0, 0)};
    scan[0].knownTrigger = '0';
    scan[1].knownTrigger = '0' - 1;
    TriggerFilter filter;
    filter.on[0] = false; // "常時" off
    auto rows = FilterRows(scan, filter, RecorderFamily::TX40);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].frontName, "002_120000G_M.MP4");
    EXPECT_EQ(rows[1].frontName, "readme.MP4"); // unrecognised names stay

    SortRowsByColumn(scan, 0);
    EXPECT_EQ(scan[0].frontName, "readme.MP4");
    SortRowsByColumn(scan, 1);
    EXPECT_EQ(scan[0].knownTrigger, 0);

    TriggerFilter tx50;
    tx50.on[5] = false; // speed cameras off: enforcement position O
    EXPECT_FALSE(tx50.Keeps("012_153012ANO_F.MP4", RecorderFamily::TX50));
    EXPECT_TRUE(tx50.Keeps("012_153012ANN_F.MP4", RecorderFamily::TX50));
    TriggerFilter parking;
    parking.on[3] = false; // TX40 T uses the parking switch
    EXPECT_FALSE(parking.Keeps("012_153012T_M.MP4", RecorderFamily::TX40));

    EXPECT_EQ(ItemCountText(12), "12個");
    EXPECT_EQ(SizeText((5LL << 20) + 1000), "5 MB");
    EXPECT_EQ(SizeText((5LL << 30)), "5120 MB");
}

TEST(FileSelection, AtMost1500RowsAndOnlyMoviesForSaveAndJoin) {
    FileSelection many(FileSelectMode::Delete, Rows(1501));
    EXPECT_TRUE(many.Truncated());
    EXPECT_EQ(many.RowCount(), 1500u);
    FileSelection exact(FileSelectMode::Delete, Rows(1500));
    EXPECT_FALSE(exact.Truncated());

    std::vector<RecordingEntry> rows = Rows(2);
    rows.push_back(Entry("003_120000A_F.DAT", 1, 0));
    EXPECT_EQ(FileSelection(FileSelectMode::Save, rows).RowCount(), 2u);
    EXPECT_EQ(FileSelection(FileSelectMode::Delete, rows).RowCount(), 3u);
}

TEST(FileSelection, JoinSelectAllStopsAtAMissingRear) {
    FileSelection s(FileSelectMode::Join, Rows(10, 5));
    EXPECT_FALSE(s.Selectable(5));
    EXPECT_TRUE(s.SelectAllShown(true, 2)); // bounded by row 5: notice
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(s.Click(8)); // extends only up to row 4
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{0, 1, 2, 3, 4}));
    s.SetCameras(true, false); // row 5 becomes selectable without the rear camera
    EXPECT_FALSE(s.Click(8));
    EXPECT_EQ(TickedRows(s).back(), 8u);
    EXPECT_EQ(TickedRows(s).size(), 9u);
}

TEST(FileSelection, JoinRangeRules) {
    FileSelection s(FileSelectMode::Join, Rows(10, 0));
    EXPECT_TRUE(s.Click(0)); // unselectable: nothing ticked
    EXPECT_TRUE(TickedRows(s).empty());
    EXPECT_FALSE(s.Click(3));
    EXPECT_FALSE(s.Click(6)); // extends 3..6
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{3, 4, 5, 6}));
    EXPECT_FALSE(s.Click(5)); // inside: ends just before the clicked row
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{3, 4}));
    EXPECT_FALSE(s.Click(3)); // the first row leaves the range
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{4}));
    EXPECT_TRUE(s.Click(0)); // extends down to row 1, stopped by row 0
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{1, 2, 3, 4}));
    s.SelectAllShown(false, 0);
    EXPECT_TRUE(TickedRows(s).empty());
    EXPECT_FALSE(s.Click(9));
    EXPECT_FALSE(s.Click(9)); // the only row: the range is cleared
    EXPECT_TRUE(TickedRows(s).empty());
}

TEST(FileSelection, SaveTicksFreely) {
    FileSelection s(FileSelectMode::Save, Rows(5, 2));
    s.Click(0);
    s.Click(4);
    EXPECT_EQ(TickedRows(s), (std::vector<size_t>{0, 4}));
    EXPECT_TRUE(s.OkEnabled());
    s.SelectAllShown(true, 0);
    EXPECT_EQ(TickedRows(s).size(), 5u);
    EXPECT_EQ(s.FrontBytes(), 50ull << 20);
    EXPECT_EQ(s.RearBytes(), 40ull << 20);
    s.SetCameras(true, false);
    EXPECT_EQ(s.RearBytes(), 0u);
    s.SetCameras(false, false);
    EXPECT_FALSE(s.OkEnabled());
}

TEST(FileSelection, JoinLimits) {
    // 1025 MiB of front files is refused, exactly 1024 accepted.
    std::vector<RecordingEntry> rows = {Entry("001_120000A_M.MP4", 1000, 0),
                                        Entry("002_120000A_M.MP4", 25, 0)};
    FileSelection ok(FileSelectMode::Join, rows);
    ok.SetCameras(true, false);
    ok.SelectAllShown(true, 0);
    EXPECT_TRUE(ok.OkEnabled());
    EXPECT_EQ(ok.CheckOk(), FileSelection::OkCheck::SizeOver);
    rows[1].frontSize = 24LL << 20;
    FileSelection exact(FileSelectMode::Join, rows);
    exact.SetCameras(true, false);
    exact.SelectAllShown(true, 0);
    EXPECT_EQ(exact.CheckOk(), FileSelection::OkCheck::Accept);

    // 100 files are too many, 99 are fine.
    std::vector<RecordingEntry> hundred;
    for (int i = 0; i < 100; ++i)
        hundred.push_back(Entry("f" + std::to_string(i) + ".MP4", 1, 0));
    FileSelection h(FileSelectMode::Join, hundred);
    h.SetCameras(true, false);
    h.SelectAllShown(true, 0);
    EXPECT_EQ(h.CheckOk(), FileSelection::OkCheck::TooManyFiles);
    hundred.pop_back();
    FileSelection n(FileSelectMode::Join, hundred);
    n.SetCameras(true, false);
    n.SelectAllShown(true, 0);
    EXPECT_EQ(n.CheckOk(), FileSelection::OkCheck::Accept);
}

TEST(FileSelection, OkNeedsTheMinimumCount) {
    FileSelection join(FileSelectMode::Join, Rows(3));
    join.Click(1);
    EXPECT_FALSE(join.OkEnabled()); // a join needs two recordings
    join.SetUploadConversion(true);
    EXPECT_TRUE(join.OkEnabled()); // one is enough for an upload conversion
    join.SetUploadConversion(false);
    join.Click(2);
    EXPECT_TRUE(join.OkEnabled());
    EXPECT_EQ(join.TickedEntries().size(), 2u);
    EXPECT_EQ(join.TickedEntries()[0].frontName, "001_120000A_M.MP4");

    // Delete: at least one ticked row with a size.
    std::vector<RecordingEntry> rows = {Entry("001_120000A_M.MP4", 0, 0)};
    FileSelection del(FileSelectMode::Delete, rows);
    del.Click(0);
    EXPECT_FALSE(del.OkEnabled());
}

TEST(ListTexts, TotalsFolderPathsAndSelectionNames) {
    // Totals are whole MiB of a signed 64-bit value; 3 TiB still prints whole.
    EXPECT_EQ(TotalText((1024ULL << 20) + (1 << 19)), "1024 MB");
    EXPECT_EQ(TotalText(3ULL << 40), "3145728 MB");
    EXPECT_EQ(TotalText(0), "0 MB");

    EXPECT_EQ(ShownFilterSwitches(RecorderFamily::TX40), 5);
    EXPECT_EQ(ShownFilterSwitches(RecorderFamily::TX50), 6);

    // A card's tree: two top items, one nested below the first.
    std::vector<TreeItem> tree = {{"20230525_001", "/card/20230525_001", -1, 0, 0x01},
                                  {"20230526_001", "/card/20230525_001/20230526_001", 0, 1, 0x04},
                                  {"20230527_001", "/card/20230527_001", -1, 0, 0}};
    EXPECT_EQ(FolderPathText(tree, 1), "20230525_001\\20230526_001");
    EXPECT_EQ(FolderPathText(tree, 2), "20230527_001");
    EXPECT_EQ(FolderPathText(tree, 3), "");
    EXPECT_EQ(FolderPathText(tree, -1), "");
    // A parent index pointing at itself or downwards ends the walk.
    std::vector<TreeItem> damaged = {{"a", "", 1, 0, 0}, {"b", "", 1, 0, 0}};
    EXPECT_EQ(FolderPathText(damaged, 1), "b");
    EXPECT_EQ(FolderPathText(damaged, 0), "a");

    RecordingEntry e = Entry("012_153012A_M.MP4", 1, 1);
    e.frontPath = "/card/20230525_001/012_153012A_M.MP4";
    EXPECT_EQ(SelectionNameText(e, false), "012_153012A");
    EXPECT_EQ(SelectionNameText(e, true), "20230525_001/012_153012A");
    RecordingEntry rearOnly = Entry("", 0, 1);
    EXPECT_EQ(SelectionNameText(rearOnly, true), "card/001_000000A");
    rearOnly.rearPath = "bare_R.MP4"; // no folder part
    EXPECT_EQ(SelectionNameText(rearOnly, true), "/001_000000A");
}
