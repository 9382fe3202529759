// The graph's picture on mkcard recordings with known events: the cursor,
// each event's line in its kind's colour at its column, the speeding band over
// exactly the speeding run, and nothing where a detector is off.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "kinetta/skin/skin_context.h"
#include "kinetta/telemetry/event_list.h"
#include "kinetta/telemetry/graph_painter.h"
#include "kinetta/telemetry/panel_state.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/gps_reader.h"

namespace kinetta {
namespace {

namespace fs = std::filesystem;
using playcore::AccelRecord;
using playcore::RecorderFamily;

const fs::path kDir = fs::path(KINETTA_TEST_BINARY_DIR) / "tests/telemetry/recordings";

// A recording written by mkcard with the given options (once per run).
std::string Recording(const std::string& name, const std::string& options) {
    fs::create_directories(kDir);
    const fs::path out = kDir / name;
    if (!fs::exists(out)) {
        const std::string cmd = std::string(KINETTA_TEST_BINARY_DIR) +
                                "/tools/mkcard/mkcard recording --out '" + out.string() + "' " +
                                options + " >/dev/null";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return out.string();
}

// A 12-s recording with known events of every kind the family carries.
std::string EventsRecording(RecorderFamily family) {
    const bool tx50 = family == RecorderFamily::TX50;
    const std::string events =
        tx50 ? "--event shock-y@2 --event user-point@4 --event speeding@5 --event speeding@6 "
               "--event speeding@7 --event parking@9 --event assist-b@10"
             : "--event shock-x@2 --event user-point@4 --event parking@7 --event shock-z@9";
    return Recording(tx50 ? "events50.mp4" : "events40.mp4", std::string("--family ") +
                                                                 (tx50 ? "tx50" : "tx40") +
                                                                 " --duration 12 " + events);
}

struct Loaded {
    playcore::sGPSREADER reader;
    bool ok = false;
    Loaded(const std::string& path, RecorderFamily family) {
        ok = !path.empty() && playcore::LoadRecords(reader, path, family) &&
             playcore::BuildTimeBase(reader, playcore::FirstSampleCount(path, family));
    }
};

QRgb Rgb(uint32_t c) {
    return qRgb((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

class GraphPixels : public ::testing::TestWithParam<RecorderFamily> {
protected:
    static void SetUpTestSuite() {
        if (!qApp) {
            static int argc = 1;
            static char name[] = "graph_pixels_test";
            static char* argv[] = {name, nullptr};
            qputenv("QT_QPA_PLATFORM", "offscreen");
            new QGuiApplication(argc, argv);
        }
    }
};

TEST_P(GraphPixels, CursorMarksAndBandStandWhereTheirRecordsAre) {
    const RecorderFamily family = GetParam();
    const bool tx50 = family == RecorderFamily::TX50;
    const std::string path = EventsRecording(family);
    Loaded t(path, family);
    ASSERT_TRUE(t.ok);
    const int64_t n = static_cast<int64_t>(t.reader.frameTable.size());
    ASSERT_GT(n, 300);

    GraphGeometry g;
    g.family = family;
    g.clientWidth = 709;
    g.clientHeight = 93;
    g.entries = n;
    g.current = 123;
    g.rangeIndex = RangeIndexFor(t.reader.maxAccel);
    const int left = tx50 ? 41 : 52;
    const int plotWidth = 709 - left - (tx50 ? 1 : 0);
    const double s = double(plotWidth) / double(n); // > 1: one column per frame
    ASSERT_GT(s, 1.0);

    EventList list =
        BuildEventList(t.reader.frameTable, t.reader.accel, DetectorFlags{}.listing, family);
    ASSERT_EQ(list.size(), tx50 ? 5u : 4u);

    GraphPainter painter;
    QImage image;
    painter.Paint(&image, g, true, t.reader.frameTable, t.reader.accel, DetectorFlags{});
    ASSERT_EQ(image.size(), QSize(709, 93));

    // The cursor: left margin + position x (plot width / entries).
    const int cursor = left + static_cast<int>(123 * (double(plotWidth) / double(n)));
    for (int y : {3, 40, 90})
        EXPECT_EQ(image.pixel(cursor, y), qRgb(255, 255, 255)) << y;

    // Each event: a full-height line in its kind's colour at its frame's column.
    for (const GraphEvent& e : list) {
        const int x = left + static_cast<int>(e.accel->framePos * s);
        if (x == cursor) continue;
        EXPECT_EQ(image.pixel(x, 45), Rgb(MarkColour(e.kind))) << "kind " << e.kind;
        EXPECT_EQ(image.pixel(x, 1), Rgb(MarkColour(e.kind))) << "kind " << e.kind;
    }

    // The band: over exactly the columns whose record is speeding.
    const int bandY = 93 - 4;
    int banded = 0;
    for (int64_t c = 0; c < n; ++c) {
        const int x0 = left + static_cast<int>(c * s);
        const int x1 = left + static_cast<int>((c + 1) * s);
        if (x1 - x0 < 2) continue;
        const int x = x0 + 1; // inside the column, off its mark line
        if (x == cursor) continue;
        const bool speeding = t.reader.frameTable[static_cast<size_t>(c)]->code2 == 8;
        const QColor px = image.pixelColor(x, bandY);
        const bool red = px.red() > 60 && px.red() < 110 && px.green() < 10 && px.blue() < 10;
        EXPECT_EQ(red, speeding) << "column " << c;
        banded += speeding;
    }
    EXPECT_EQ(banded > 0, tx50);

    // With the speeding and user-point entries off: no band and no marks.
    DetectorFlags off;
    off.Set(6, false);
    off.Set(3, false);
    painter.Paint(&image, g, true, t.reader.frameTable, t.reader.accel, off);
    for (const GraphEvent& e : list) {
        if (e.entry != 6 && e.entry != 3) continue;
        const int x = left + static_cast<int>(e.accel->framePos * s);
        EXPECT_NE(image.pixel(x, 1), Rgb(MarkColour(e.kind))) << "entry " << e.entry;
        EXPECT_EQ(image.pixelColor(x + 1, bandY).red(), 0);
    }

    // Without a movie the graph only erases.
    painter.Paint(&image, g, false, t.reader.frameTable, t.reader.accel, DetectorFlags{});
    EXPECT_EQ(image.pixel(cursor, 40), qRgb(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Families, GraphPixels,
                         ::testing::Values(RecorderFamily::TX40, RecorderFamily::TX50));

// A parking recording is plotted by record: 6p pixels per record.
TEST_F(GraphPixels, ParkingRecordingUsesTheRecordMapping) {
    const std::string path =
        Recording("parking50.mp4", "--family tx50 --duration 8 --parked --event parking@3");
    Loaded t(path, RecorderFamily::TX50);
    ASSERT_TRUE(t.ok);
    GraphGeometry g;
    g.family = RecorderFamily::TX50;
    g.clientWidth = 709;
    g.clientHeight = 93;
    g.entries = static_cast<int64_t>(t.reader.frameTable.size());
    g.parking = true;
    GraphPainter painter;
    QImage image;
    painter.Paint(&image, g, true, t.reader.frameTable, t.reader.accel, DetectorFlags{});
    const double p = 667.0 / (double(t.reader.accel.size()) * 6);
    ASSERT_GE(p, 1.0);
    const int x = 41 + static_cast<int>(3 * 6 * p);
    EXPECT_EQ(image.pixel(x, 45), qRgb(255, 255, 255)); // kind 7: white
    ASSERT_EQ(painter.LastPlan().marks[5].size(), 1u);
    EXPECT_EQ(static_cast<int>(painter.LastPlan().marks[5][0].x), x);
}

// Runs kinetta-cli; its standard output.
std::string Cli(const std::string& args) {
    const std::string cmd = std::string(KINETTA_TEST_BINARY_DIR) +
                            "/tools/kinetta-cli/kinetta-cli " + args + " 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The command line lists the viewer's events, draws the viewer's picture and
// prints the panel's texts.
TEST_F(GraphPixels, CommandLineMatchesTheViews) {
    const std::string path = EventsRecording(RecorderFamily::TX50);
    Loaded t(path, RecorderFamily::TX50);
    ASSERT_TRUE(t.ok);
    DetectorFlags flags;
    flags.Set(3, false);
    const EventList list =
        BuildEventList(t.reader.frameTable, t.reader.accel, flags.listing, RecorderFamily::TX50);
    std::string want;
    for (const GraphEvent& e : list)
        want += "{\"record\":" + std::to_string(e.record) +
                ",\"frame\":" + std::to_string(e.accel->framePos) +
                ",\"kind\":" + std::to_string(e.kind) + ",\"entry\":" + std::to_string(e.entry) +
                "}\n";
    EXPECT_EQ(Cli("events --family tx50 '" + path + "' --off 3"), want);
    EXPECT_EQ(Cli("events --family tx50 '" + path + "' --off 12"), ""); // no such entry

    const std::string png = (kDir / "cli-graph.png").string();
    ASSERT_NE(Cli("graph --family tx50 '" + path + "' --frame 200 --size 709x93 --out '" + png +
                  "' --off 3"),
              "");
    GraphGeometry g;
    g.family = RecorderFamily::TX50;
    g.clientWidth = 709;
    g.clientHeight = 93;
    g.entries = static_cast<int64_t>(t.reader.frameTable.size());
    g.current = 200;
    g.rangeIndex = RangeIndexFor(t.reader.maxAccel);
    GraphPainter painter;
    QImage image;
    painter.Paint(&image, g, true, t.reader.frameTable, t.reader.accel, flags);
    EXPECT_EQ(QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32), image);

    const std::string panel = Cli("panel --family tx50 '" + path + "' --frame 292");
    PanelState s;
    s.hasData = true;
    s.startTime = t.reader.gps.front().time;
    s.frameDurationMs = 34.364f; // mkcard's 34,364 us frames, as the player reports them
    s.frameIndex = 292;          // 10.03 s; whole milliseconds (34 ms) would show 9.93 s
    EXPECT_NE(panel.find("\"dateTime\":\"" + PanelDateTimeText(s) + "\""), std::string::npos)
        << panel;
    const AccelRecord* rec = t.reader.frameTable[292];
    EXPECT_NE(panel.find("\"gx\":\"" + AccelText(rec->gx) + "\""), std::string::npos) << panel;
}

} // namespace
} // namespace kinetta
