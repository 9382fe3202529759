// Event detection, click navigation and the graph's geometry, without a window.

#include <gtest/gtest.h>

#include <cmath>

#include "kinetta/telemetry/event_list.h"
#include "kinetta/telemetry/graph_plan.h"

namespace kinetta {
namespace {

using playcore::AccelRecord;
using playcore::GpsRecord;
using playcore::RecorderFamily;

// A recording's records with a per-frame table of framesPerRecord frames per
// record; framePos as the time base sets it.
struct Telemetry {
    std::vector<GpsRecord> gps;
    std::vector<AccelRecord> accel;
    std::vector<AccelRecord*> table;

    explicit Telemetry(size_t n, int framesPerRecord = 1) : gps(n), accel(n) {
        for (size_t i = 0; i < n; ++i) {
            accel[i].index = gps[i].index = static_cast<int>(i);
            accel[i].framePos = gps[i].framePos = static_cast<int>(i) * framesPerRecord;
            accel[i].gps = &gps[i];
            gps[i].accel = &accel[i];
            for (int f = 0; f < framesPerRecord; ++f)
                table.push_back(&accel[i]);
        }
    }
    EventList Events(const DetectorFlags& flags = {},
                     RecorderFamily family = RecorderFamily::TX50) {
        return BuildEventList(table, accel, flags.listing, family);
    }
};

// ---- detection ----------------------------------------------------------------

TEST(EventDetection, ARunOfRecordsGivesOneEventAtItsFirstRecord) {
    Telemetry t(12, 3);
    for (int i = 4; i < 9; ++i)
        t.accel[static_cast<size_t>(i)].axis = 2;
    const EventList events = t.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].record, 4);
    EXPECT_EQ(events[0].kind, 2);
    EXPECT_EQ(events[0].entry, 1);
    EXPECT_EQ(events[0].accel, &t.accel[4]);
    // Two runs of one kind separated by a gap are two events; a run that
    // starts at frame 0 counts too.
    t.accel[0].axis = 2;
    t.accel[10].axis = 2;
    EXPECT_EQ(t.Events().size(), 3u);
}

TEST(EventDetection, EntriesMapToTheirKinds) {
    Telemetry t(20);
    t.accel[0].axis = 1;                                // X: kind 0
    t.accel[2].axis = 3;                                // Z lane: kind 3
    t.accel[4].kind = 5;                                // user point
    t.accel[6].kind = 6;                                // emergency stop
    t.accel[8].kind = 7;                                // parking
    t.accel[10].code2 = 8;                              // speeding
    t.gps[12].nibbleHigh = 10, t.gps[12].nibbleLow = 9; // speed camera
    t.gps[14].nibbleHigh = 9, t.gps[14].nibbleLow = 8;  // radar
    t.accel[16].kind = 12;                              // drive assist DA
    t.accel[18].kind = 13;
    std::vector<std::pair<int, int>> got; // (kind, entry)
    for (const GraphEvent& e : t.Events())
        got.emplace_back(e.kind, e.entry);
    const std::vector<std::pair<int, int>> want{{0, 0}, {3, 2}, {5, 3},  {6, 4},  {7, 5},
                                                {8, 6}, {9, 7}, {10, 8}, {12, 9}, {13, 9}};
    EXPECT_EQ(got, want);
}

TEST(EventDetection, Tx40RecordsNeverGiveCameraEvents) {
    Telemetry t(4);
    t.gps[1].nibbleHigh = 10, t.gps[1].nibbleLow = 9;
    t.gps[2].nibbleHigh = 8, t.gps[2].nibbleLow = 8;
    EXPECT_TRUE(t.Events({}, RecorderFamily::TX40).empty());
    EXPECT_EQ(t.Events({}, RecorderFamily::TX50).size(), 2u);
}

TEST(EventDetection, ClaimedRecordsLoseTheirKindForThisAndLaterPasses) {
    Telemetry t(6);
    t.accel[2].axis = 1; // a shock that is also a user point
    t.accel[2].kind = 5;
    t.accel[4].code2 = 8; // speeding that is also parking
    t.accel[4].kind = 7;
    EventList events = t.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, 0);
    EXPECT_EQ(events[1].kind, 8);
    EXPECT_EQ(t.accel[2].kind, -1);
    EXPECT_EQ(t.accel[4].kind, -1);
    // With the shock and speeding entries off, the records stay claimed.
    DetectorFlags flags;
    flags.Set(0, false);
    flags.Set(6, false);
    EXPECT_TRUE(t.Events(flags).empty());
}

TEST(EventDetection, SpeedingIsEvaluatedFirstAndTheFirstMatchEndsTheFrame) {
    Telemetry t(5);
    // Speeding with a shock on the same record: both events, speeding first.
    t.accel[1].code2 = 8;
    t.accel[1].axis = 2;
    // Shock X and a drive-assist letter: the shock entry ends the frame.
    t.accel[3].axis = 1;
    t.accel[3].kind = 11;
    EventList events = t.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].entry, 6);
    EXPECT_EQ(events[1].entry, 1);
    EXPECT_EQ(events[2].entry, 0);
    // A listing flag that is off lets the next entry speak.
    Telemetry u(3);
    u.accel[1].axis = 1;
    u.accel[1].kind = 11;
    DetectorFlags flags;
    flags.Set(0, false);
    events = u.Events(flags);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, 11);
}

TEST(EventDetection, FramesWithoutRecordsAndRecordsOutsideTheListArePassedOver) {
    Telemetry t(3);
    t.accel[1].axis = 1;
    AccelRecord stray;
    stray.axis = 1;
    std::vector<AccelRecord*> table{nullptr, &t.accel[1], &stray, nullptr, &t.accel[1]};
    const EventList events =
        BuildEventList(table, t.accel, DetectorFlags{}.listing, RecorderFamily::TX50);
    // Frame 4 follows a frame without a record: a new start.
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].record, 1);
    EXPECT_EQ(events[1].record, 1);
    EXPECT_TRUE(BuildEventList({}, t.accel, DetectorFlags{}.listing, RecorderFamily::TX50).empty());
}

TEST(EventDetection, SwitchIndicesAddressTheirEntries) {
    EXPECT_EQ(SettingsSwitchEntry(0), 9);
    EXPECT_EQ(SettingsSwitchEntry(1), 4);
    EXPECT_EQ(SettingsSwitchEntry(2), 5);
    EXPECT_EQ(SettingsSwitchEntry(3), 6);
    EXPECT_EQ(SettingsSwitchEntry(4), 7);
    EXPECT_EQ(SettingsSwitchEntry(5), 8);
    EXPECT_EQ(SettingsSwitchEntry(6), -1);
    EXPECT_EQ(SettingsSwitchEntry(-1), -1);
    EXPECT_EQ(AxisButtonEntry(2), 2);
    EXPECT_EQ(AxisButtonEntry(3), -1);
    DetectorFlags f;
    f.Set(10, false); // ignored
    f.Set(4, false);
    EXPECT_FALSE(f.drawing[4]);
    EXPECT_FALSE(f.listing[4]);
}

// ---- click navigation ---------------------------------------------------------------

TEST(ClickNavigation, WrapsAroundAtBothEnds) {
    Telemetry t(100, 10);
    t.accel[10].axis = 1; // frame 100
    t.accel[40].kind = 5; // frame 400
    t.accel[70].axis = 2; // frame 700
    const EventList events = t.Events();
    DetectorFlags flags;
    EXPECT_EQ(PreviousEventFrame(events, flags.drawing, 50), 700);  // before the first: last
    EXPECT_EQ(NextEventFrame(events, flags.drawing, 800), 100);     // after the last: first
    EXPECT_EQ(PreviousEventFrame(events, flags.drawing, 400), 100); // strictly before
    EXPECT_EQ(NextEventFrame(events, flags.drawing, 400), 700);     // strictly after
    EXPECT_EQ(NextEventFrame(events, flags.drawing, 0), 100);
    // Only events whose entry draws take part.
    flags.drawing[1] = false;
    EXPECT_EQ(PreviousEventFrame(events, flags.drawing, 50), 400);
    EXPECT_EQ(NextEventFrame(events, flags.drawing, 400), 100);
    EXPECT_FALSE(PreviousEventFrame({}, flags.drawing, 5).has_value());
    EXPECT_FALSE(NextEventFrame({}, flags.drawing, 5).has_value());
}

// ---- vertical mapping -----------------------------------------------------------------

TEST(VerticalMapping, ValuesBeyondTwoGAreDrawnAtTheTwoGLevels) {
    for (int range = 0; range < 4; ++range) {
        const VerticalScale v = Tx50Scale(200, range, 1.0);
        EXPECT_EQ(v.Offset(2.5), v.Offset(2.0)) << range;
        EXPECT_EQ(v.Offset(-3.0), v.Offset(-2.0)) << range;
    }
    // At range 3 the 2 G level lies inside the plot, away from the limit.
    const VerticalScale v = Tx50Scale(93, 3, 1.0);
    EXPECT_LT(v.Offset(2.0), v.limit);
    EXPECT_EQ(v.Offset(2.0), static_cast<int>(std::trunc(2.0 * v.pixelsPerG)));
    EXPECT_EQ(v.Offset(2.5), v.Offset(2.0));
    EXPECT_EQ(v.Offset(-3.0), -v.Offset(2.0));
    // The range index divides the scale: 0.5 G at range 0 is 2 G at range 3.
    EXPECT_NEAR(Tx50Scale(93, 0, 1.0).pixelsPerG * 0.5, v.pixelsPerG * 2.0, 1e-9);
    // Offsets stay 3 units inside the plot half.
    const VerticalScale big = Tx50Scale(93, 0, 1.0);
    EXPECT_EQ(big.Offset(2.0), static_cast<int>((93 - 21.5) / 2 - 3));
    EXPECT_EQ(ClampG(std::nan("")), 0.0);
}

TEST(VerticalMapping, Tx40ValuesAreCutToTenthsTowardsZero) {
    EXPECT_DOUBLE_EQ(QuantiseTx40(0.19), 0.1);
    EXPECT_DOUBLE_EQ(QuantiseTx40(-0.19), -0.1);
    EXPECT_DOUBLE_EQ(QuantiseTx40(0.09), 0.0);
    EXPECT_DOUBLE_EQ(QuantiseTx40(0.305), 0.3); // a difference nudged by 0.005
    const VerticalScale v = Tx40Scale(2.0);
    EXPECT_EQ(v.Offset(QuantiseTx40(0.19)), v.Offset(0.1));
    EXPECT_GT(v.Offset(0.1), 0);
    // Three lanes one lane apart, inside the 70-unit background.
    EXPECT_NEAR(Tx40ZeroLine(0, 1.0), 35.0 / 3 + 2, 1e-9);
    EXPECT_NEAR(Tx40ZeroLine(2, 1.0) - Tx40ZeroLine(1, 1.0), 70.0 / 3 - 1, 1e-9);
    EXPECT_LT(Tx40ZeroLine(2, 1.0) + v.limit / 2, 70.0);
}

TEST(VerticalMapping, RangeIndexAndLabels) {
    EXPECT_EQ(RangeIndexFor(0.49), 0);
    EXPECT_EQ(RangeIndexFor(0.5), 1);
    EXPECT_EQ(RangeIndexFor(1.0), 2);
    EXPECT_EQ(RangeIndexFor(1.4999), 2);
    EXPECT_EQ(RangeIndexFor(1.5), 3);
    EXPECT_STREQ(RangeLabelsFor(0).positive, " 0.5G");
    EXPECT_STREQ(RangeLabelsFor(0).negative, "-0.5G");
    EXPECT_STREQ(RangeLabelsFor(1).positive, "   1G");
    EXPECT_STREQ(RangeLabelsFor(2).negative, "-1.5G");
    EXPECT_STREQ(RangeLabelsFor(3).positive, "   2G");
    EXPECT_STREQ(RangeLabelsFor(3).negative, "  -2G");
    EXPECT_STREQ(RangeLabelsFor(7).negative, "  -1G");
}

// ---- horizontal mapping ---------------------------------------------------------------

TEST(HorizontalMapping, LongRecordingsScrollAndShortOnesStretch) {
    // 10,000 entries over 600 pixels: one entry per pixel in a moving window.
    ColumnMap m = MapColumns(600, 10000, 1.0, 5000);
    EXPECT_DOUBLE_EQ(m.s, 1.0);
    EXPECT_EQ(m.columns, 600);
    EXPECT_EQ(m.Entry(0), static_cast<int64_t>(std::floor((1 - 0.06) * 5000)));
    EXPECT_EQ(m.Entry(1) - m.Entry(0), 1);
    // The column at the cursor shows the current entry.
    GraphGeometry g{RecorderFamily::TX40, 1.0, 652, 93, 10000, 5000, 0, false, 1.0};
    EXPECT_EQ(PlotWidth(g), 600);
    const int cursor = CursorX(g);
    EXPECT_EQ(cursor, 52 + 300);
    EXPECT_EQ(m.Entry(cursor - 52), 5000);
    // 100 entries over 600 pixels: 6 pixels per entry, from the start.
    m = MapColumns(600, 100, 1.0, 70);
    EXPECT_DOUBLE_EQ(m.s, 6.0);
    EXPECT_EQ(m.Entry(70), 70);
    EXPECT_DOUBLE_EQ(m.X(70, 52), 52 + 420);
    // A stretch ratio of 2 leaves the second half of the width to the longer movie.
    m = MapColumns(600, 100, 2.0, 0);
    EXPECT_DOUBLE_EQ(m.s, 3.0);
    EXPECT_EQ(m.columns, 200);
    EXPECT_EQ(MapColumns(600, 0, 1.0, 0).columns, 0);
    // TX50 margins: 41 units and one unit more.
    g.family = RecorderFamily::TX50;
    g.scale = 1.5;
    EXPECT_EQ(LeftMargin(RecorderFamily::TX50, 1.5), 61);
    EXPECT_EQ(PlotWidth(g), 652 - 61 - 1);
}

// ---- line merging -----------------------------------------------------------------------

TEST(LineMerging, Tx50JoinsFlatRunsUpToSevenColumns) {
    std::vector<PlotSegment> out;
    Tx50LineMerger m;
    for (int c = 0; c < 20; ++c)
        m.Add({double(c), 5}, c == 19, &out);
    // Segments at counters 7 and 14 and one to the last column.
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].a, (PlotPoint{0, 5}));
    EXPECT_EQ(out[0].b, (PlotPoint{6, 5}));
    EXPECT_EQ(out[2].b, (PlotPoint{19, 5}));
    // A change after a long flat run: the flat run, then the step.
    out.clear();
    Tx50LineMerger n;
    for (int c = 0; c < 10; ++c)
        n.Add({double(c), 0}, false, &out);
    n.Add({10, 8}, true, &out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2].b, (PlotPoint{9, 0}));
    EXPECT_EQ(out.back().a, (PlotPoint{9, 0}));
    EXPECT_EQ(out.back().b, (PlotPoint{10, 8}));
    // Changes every column: one segment per column, each from the previous.
    out.clear();
    Tx50LineMerger z;
    for (int c = 0; c < 5; ++c)
        z.Add({double(c), double(c % 2)}, c == 4, &out);
    ASSERT_EQ(out.size(), 4u);
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_EQ(out[i].b.x, double(i + 1));
}

TEST(LineMerging, Tx40DrawsOnlyWhereTheLevelChangesAndHoldsItFlat) {
    std::vector<PlotSegment> out;
    Tx40LineTracer t;
    const double ys[] = {0, 0, 0, 0, 3, 3, 0, 0};
    for (int c = 0; c < 8; ++c)
        t.Add({double(c), ys[c]}, c == 7, &out);
    // flat 0..3, step 3->4, flat 4..5, step 5->6, flat 6..7.
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].a, (PlotPoint{0, 0}));
    EXPECT_EQ(out[0].b, (PlotPoint{3, 0}));
    EXPECT_EQ(out[1].b, (PlotPoint{4, 3}));
    EXPECT_EQ(out[4].b, (PlotPoint{7, 0}));
}

// ---- whole plans ------------------------------------------------------------------------

TEST(GraphPlan, BandCoversExactlyTheSpeedingRunAndFlagsRemoveMarks) {
    Telemetry t(100);
    for (int i = 30; i < 40; ++i)
        t.accel[static_cast<size_t>(i)].code2 = 8;
    t.accel[60].axis = 1;
    GraphGeometry g{RecorderFamily::TX50, 1.0, 41 + 1 + 300, 93, 100, 0, 0, false, 1.0};
    GraphPlan plan;
    PlanGraph(g, t.table, t.accel, DetectorFlags{}, &plan);
    EXPECT_EQ(plan.columnsPlotted, 100);
    ASSERT_EQ(plan.band.size(), 1u);
    EXPECT_DOUBLE_EQ(plan.band[0].first, 41 + 30 * 3.0);
    EXPECT_DOUBLE_EQ(plan.band[0].second, 41 + 40 * 3.0);
    ASSERT_EQ(plan.marks[6].size(), 1u);
    EXPECT_DOUBLE_EQ(plan.marks[6][0].x, 41 + 90.0);
    EXPECT_EQ(plan.marks[6][0].kind, 8);
    ASSERT_EQ(plan.marks[0].size(), 1u);
    EXPECT_DOUBLE_EQ(plan.marks[0][0].x, 41 + 180.0);
    EXPECT_DOUBLE_EQ(plan.bandTop, 93 - 21.5);
    for (const auto& axis : plan.axes)
        EXPECT_FALSE(axis.empty());

    DetectorFlags off;
    off.Set(6, false);
    off.Set(0, false);
    PlanGraph(g, t.table, t.accel, off, &plan);
    EXPECT_TRUE(plan.band.empty());
    EXPECT_TRUE(plan.marks[6].empty());
    EXPECT_TRUE(plan.marks[0].empty());
    EXPECT_TRUE(plan.axes[0].empty()); // the X line goes with its entry
}

TEST(GraphPlan, WalkStopsAtMissingRecordsAndTableEnd) {
    Telemetry t(10);
    t.table[5] = nullptr;
    GraphGeometry g{RecorderFamily::TX40, 1.0, 52 + 100, 93, 10, 2, 0, false, 1.0};
    GraphPlan plan;
    PlanGraph(g, t.table, t.accel, DetectorFlags{}, &plan);
    EXPECT_EQ(plan.columnsPlotted, 5);
    EXPECT_EQ(plan.cursorX, 52 + 20);
    // More entries claimed than the table holds: the walk ends at its end.
    Telemetry u(10);
    g.entries = 1000;
    g.clientWidth = 52 + 2000;
    PlanGraph(g, u.table, u.accel, DetectorFlags{}, &plan);
    EXPECT_EQ(plan.columnsPlotted, 10);
    // A zero-width client area plans nothing.
    g.clientWidth = 0;
    PlanGraph(g, u.table, u.accel, DetectorFlags{}, &plan);
    EXPECT_EQ(plan.columnsPlotted, 0);
}

TEST(GraphPlan, ParkingRecordingsArePlottedByRecord) {
    Telemetry t(50, 4); // 200 frames
    t.accel[10].kind = 7;
    GraphGeometry g{RecorderFamily::TX50, 1.0, 41 + 1 + 600, 93, 200, 100, 0, true, 1.0};
    GraphPlan plan;
    PlanGraph(g, t.table, t.accel, DetectorFlags{}, &plan);
    // p = 600 / 300 = 2: every record 12 pixels apart, from the margin.
    EXPECT_EQ(plan.columnsPlotted, 50);
    ASSERT_EQ(plan.marks[5].size(), 1u);
    EXPECT_DOUBLE_EQ(plan.marks[5][0].x, 41 + 10 * 12.0);
    // Many records (p < 1) scroll with the record at the position.
    Telemetry many(400, 1);
    g.entries = 400;
    g.current = 200;
    PlanGraph(g, many.table, many.accel, DetectorFlags{}, &plan);
    const double p = 600.0 / 2400;
    const double offset = (1 - p) * 200;
    EXPECT_EQ(plan.columnsPlotted, 400 - static_cast<int>(std::ceil(offset)));
}

TEST(GraphPlan, MarkColoursAndGlyphs) {
    EXPECT_EQ(MarkColour(1), 0x00FF00u);
    EXPECT_EQ(MarkColour(2), 0xFF0000u);
    EXPECT_EQ(MarkColour(4), 0x8080FFu);
    EXPECT_EQ(MarkColour(10), 0xFFFFFFu);
    EXPECT_EQ(MarkColour(11), 0xFFFF00u);
    EXPECT_EQ(MarkColour(12), 0xFF00FFu);
    EXPECT_EQ(MarkColour(13), 0x00FFFFu);
    EXPECT_STREQ(MarkGlyph(3), "G");
    EXPECT_STREQ(MarkGlyph(6), "※");
    EXPECT_STREQ(MarkGlyph(11), "");
    EXPECT_STREQ(MarkGlyph(13), "▼");
}

} // namespace
} // namespace kinetta
