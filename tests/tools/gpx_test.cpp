// kinetta-cli gpx on mkcard recordings: the file is GPX 1.1 by the schema of
// tests/tools/gpx/gpx11.xsd, and reads back with Python's XML parser to the
// points, UTC times, speeds and segments of kinetta-cli telemetry; failures
// leave nothing under the output name.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

using ktest::BuiltTool;
using ktest::RunCommand;

const std::string kCli = BuiltTool("tools/kinetta-cli/kinetta-cli");
const std::string kMkcard = BuiltTool("tools/mkcard/mkcard");
const std::string kGpxData = std::string(KINETTA_SOURCE_DIR) + "/tests/tools/gpx";

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

class GpxExport : public ::testing::Test {
protected:
    // A recording of 8 s whose records 1 and 2 have no fix, record 5 jumps
    // away and back, with a user point and a shock.
    std::string Recording(const std::string& name, const std::string& family,
                          const std::string& extra = "") {
        const std::string path = dir_ / name;
        const auto r = RunCommand(kMkcard + " recording --family " + family + " --out '" + path +
                                  "' --duration 8 --start 2024-03-31T01:30:00 " + extra);
        EXPECT_EQ(r.status, 0) << r.err;
        return path;
    }
    // Runs a command with the machine in Tokyo's zone.
    static ktest::CommandRun InTokyo(const std::string& command) {
        return RunCommand("TZ=Asia/Tokyo " + command);
    }
    ktest::TempDir dir_;
};

TEST_F(GpxExport, ValidatesAndReadsBackToTelemetry) {
    const std::string a = Recording("001_013000A_M.MP4", "tx50",
                                    "--no-fix 1-2 --jump 5-5 --event user-point@6 "
                                    "--event shock-x@4 --event shock-y@5 --event parking@7");
    const std::string b = Recording("002_013100A_M.MP4", "tx50");
    const std::string out = dir_ / "drive.gpx";
    const auto gpx =
        InTokyo(kCli + " gpx --family tx50 '" + a + "' '" + b + "' --out '" + out + "'");
    ASSERT_EQ(gpx.status, 0) << gpx.err;
    EXPECT_TRUE(Has(gpx.out, R"("ok":true)")) << gpx.out;

    const auto xsd =
        RunCommand("xmllint --noout --schema '" + kGpxData + "/gpx11.xsd' '" + out + "'");
    EXPECT_EQ(xsd.status, 0) << xsd.err;

    std::string telemetry;
    for (const auto& [file, json] :
         {std::pair{a, dir_ / "a.json"}, std::pair{b, dir_ / "b.json"}}) {
        const auto t = InTokyo(kCli + " telemetry --family tx50 '" + file + "' > '" + json + "'");
        ASSERT_EQ(t.status, 0) << t.err;
        telemetry += " '" + json + "'";
    }
    const auto back = InTokyo("python3 '" + kGpxData + "/readback.py' '" + out + "'" + telemetry);
    ASSERT_EQ(back.status, 0) << back.out << back.err;
    // Records 1 and 2 have no fix: record 3 starts a segment (the fix was
    // lost, however near it lies); the jump at 5 and the way back at 6 each
    // start a stretch; the second recording is one stretch.
    EXPECT_TRUE(Has(back.out, R"("segmentStarts": [[0, 3, 5, 6], [0]])")) << back.out;
    // The events in the order of the event list, named by their marks; the
    // shock at record 4 is pinned to record 2, which has no fix: no waypoint.
    EXPECT_TRUE(Has(back.out, R"("waypoints": ["G", "M", "P"])")) << back.out;
    // Local 01:30 on the first recording is 16:30 UTC the day before in Tokyo.
    EXPECT_TRUE(Has(ktest::ReadFile(out), "<time>2024-03-30T16:30:00Z</time>"));
}

// Where the fix is lost (records 5 to 7 of 12) the track goes on in a new
// segment, as two readers nobody here wrote see it: gpsbabel (written back as
// GPX, a <trkseg> per segment it read) and gpxpy (the points per segment).
TEST_F(GpxExport, LostFixStartsANewSegmentForGpsbabelAndGpxpy) {
    const std::string a = dir_ / "001_013000A_M.MP4";
    const auto made = RunCommand(kMkcard + " recording --family tx50 --out '" + a +
                                 "' --duration 12 --start 2024-03-31T01:30:00 --no-fix 5-7");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string out = dir_ / "lost.gpx";
    const auto gpx = InTokyo(kCli + " gpx --family tx50 '" + a + "' --out '" + out + "'");
    ASSERT_EQ(gpx.status, 0) << gpx.err;

    const auto babel = RunCommand("gpsbabel -t -i gpx -f '" + out + "' -o gpx -F -");
    ASSERT_EQ(babel.status, 0) << babel.err;
    size_t segments = 0, points = 0;
    for (size_t at = babel.out.find("<trkseg>"); at != std::string::npos;
         at = babel.out.find("<trkseg>", at + 1))
        ++segments;
    for (size_t at = babel.out.find("<trkpt "); at != std::string::npos;
         at = babel.out.find("<trkpt ", at + 1))
        ++points;
    EXPECT_EQ(segments, 2u) << babel.out;
    EXPECT_EQ(points, 9u) << babel.out;

    // Debian's gpxpy belongs to the system's interpreter.
    const auto py =
        RunCommand("/usr/bin/python3 -c 'import sys, gpxpy; g = gpxpy.parse(open(sys.argv[1])); "
                   "print([[len(s.points) for s in t.segments] for t in g.tracks])' '" +
                   out + "'");
    ASSERT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(py.out, "[[5, 4]]\n");
}

TEST_F(GpxExport, Tx40AndRecordingWithoutGps) {
    const std::string a = Recording("NO20240331-013000-000001F.MP4", "tx40", "--event shock-z@3");
    const std::string none = Recording("NO20240331-013100-000002F.MP4", "tx40", "--no-gps");
    const std::string out = dir_ / "tx40.gpx";
    const auto gpx =
        InTokyo(kCli + " gpx --family tx40 '" + a + "' '" + none + "' --out '" + out + "'");
    ASSERT_EQ(gpx.status, 0) << gpx.err;
    // The recording without GPS is an empty track and a note.
    EXPECT_TRUE(Has(gpx.err, "note: " + none + " has no GPS records")) << gpx.err;
    EXPECT_TRUE(Has(
        gpx.out, R"({"name":"NO20240331-013100-000002F.MP4","records":0,"points":0,"segments":0})"))
        << gpx.out;
    const auto xsd =
        RunCommand("xmllint --noout --schema '" + kGpxData + "/gpx11.xsd' '" + out + "'");
    EXPECT_EQ(xsd.status, 0) << xsd.err;
    const auto t =
        InTokyo(kCli + " telemetry --family tx40 '" + a + "' > '" + dir_ / "a.json" + "'");
    ASSERT_EQ(t.status, 0);
    const auto t2 =
        InTokyo(kCli + " telemetry --family tx40 '" + none + "' > '" + dir_ / "n.json" + "'");
    ASSERT_EQ(t2.status, 0);
    const auto back = InTokyo("python3 '" + kGpxData + "/readback.py' '" + out + "' '" +
                              dir_ / "a.json" + "' '" + dir_ / "n.json" + "'");
    ASSERT_EQ(back.status, 0) << back.out << back.err;
    EXPECT_TRUE(Has(back.out, R"("segmentStarts": [[0], []])")) << back.out;
    EXPECT_TRUE(Has(back.out, R"("waypoints": ["G"])")) << back.out;
}

TEST_F(GpxExport, FailuresLeaveTheOutputAsItWas) {
    const std::string a = Recording("001_013000A_M.MP4", "tx50");
    const std::string out = dir_ / "kept.gpx";
    dir_.Write("kept.gpx", "earlier file");
    // A missing input, a folder and a non-recording: exit 1, nothing written.
    for (const std::string& bad :
         {dir_ / "missing.MP4", dir_.path(), dir_.Write("junk.MP4", "junk")}) {
        const auto r =
            RunCommand(kCli + " gpx --family tx50 '" + a + "' '" + bad + "' --out '" + out + "'");
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(Has(r.err, "kinetta-cli gpx: ")) << r.err;
        EXPECT_EQ(ktest::ReadFile(out), "earlier file");
    }
    // A folder that cannot be written to.
    const auto r = RunCommand(kCli + " gpx --family tx50 '" + a + "' --out '" +
                              dir_ / "no/such/dir/x.gpx" + "'");
    EXPECT_EQ(r.status, 1);
    // Usage: no output, no input.
    EXPECT_EQ(RunCommand(kCli + " gpx --family tx50 '" + a + "'").status, 2);
    EXPECT_EQ(RunCommand(kCli + " gpx --family tx50 --out '" + out + "'").status, 2);
    // No temporary file is left beside the output.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
        files += Has(e.path().filename().string(), "kinetta-tmp") ? 1 : 0;
    EXPECT_EQ(files, 0u);
}

} // namespace
