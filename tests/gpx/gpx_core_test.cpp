// The stretch rule and the GPX document's own rules: which records become
// points, the break distance scaled by latitude, times across a daylight
// saving change, text that XML cannot carry, and the atomic write.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "kinetta/gpx/gpx_export.h"
#include "kinetta/map/stretches.h"
#include "support/temp_dir.h"

namespace {

using namespace kinetta::gpx;
using namespace kinetta::map; // the stretches the segments follow
using playcore::GpsRecord;

GpsRecord Fix(double lat, double lon, int valid = 1) {
    GpsRecord r;
    r.valid = valid;
    r.latitude = lat;
    r.longitude = lon;
    r.time = {2024, 1, 0, 1, 0, 0, 0, 0};
    return r;
}

// Sets TZ for one test and restores it.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        had_ ? setenv("TZ", old_.c_str(), 1) : unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

TEST(Stretches, BreakDistanceScalesLongitudeByLatitude) {
    EXPECT_TRUE(SplitStretches({}).empty());
    const LatLon one[] = {{35, 139}};
    ASSERT_EQ(SplitStretches(one).size(), 1u);
    // 0.0025 degrees of longitude: more than the break at the equator, less
    // at 60 degrees north (cos 60 = 0.5) and in the south alike.
    const LatLon equator[] = {{0.1, 10}, {0.1, 10.0025}};
    const LatLon north[] = {{60, 10}, {60, 10.0025}};
    const LatLon south[] = {{-60, 10}, {-60, 10.0025}};
    EXPECT_EQ(SplitStretches(equator).size(), 2u);
    EXPECT_EQ(SplitStretches(north).size(), 1u);
    EXPECT_EQ(SplitStretches(south).size(), 1u);
    // Latitude is not scaled; just under and over the distance.
    const LatLon under[] = {{35, 139}, {35.00138, 139}};
    const LatLon over[] = {{35, 139}, {35.00139, 139}};
    EXPECT_EQ(SplitStretches(under).size(), 1u);
    EXPECT_EQ(SplitStretches(over).size(), 2u);
    // A jump and the way back: three stretches covering every index.
    const LatLon jump[] = {{35, 139}, {35.0001, 139}, {35.5, 139}, {35.0002, 139}, {35.0003, 139}};
    const auto s = SplitStretches(jump);
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].start, 0u);
    EXPECT_EQ(s[0].end, 1u);
    EXPECT_EQ(s[1].start, 2u);
    EXPECT_EQ(s[1].end, 2u);
    EXPECT_EQ(s[2].start, 3u);
    EXPECT_EQ(s[2].end, 4u);
}

TEST(GpxExportRules, WhichRecordsBecomePoints) {
    std::vector<GpsRecord> records{Fix(35, 139),  Fix(35.0001, 139, 0), Fix(0, 0),
                                   Fix(0, 139.5), Fix(NAN, 139),        Fix(35, 200),
                                   Fix(-35, 180), Fix(35.0001, 139)};
    for (size_t i = 0; i < records.size(); ++i)
        records[i].index = static_cast<int32_t>(i);
    const auto segments = TrackSegments(records);
    std::vector<int32_t> kept;
    for (const auto& s : segments)
        for (const auto& p : s)
            kept.push_back(p.record);
    // Invalid fix, (0,0), non-finite and out-of-range positions are left out;
    // a point on the equator or the meridian alone stays.
    EXPECT_EQ(kept, (std::vector<int32_t>{0, 3, 6, 7}));
    // 180 degrees east is written as 180 west (GPX longitudes are < 180).
    EXPECT_EQ(segments[2][0].lon, -180.0);
    EXPECT_TRUE(TrackSegments({Fix(1, 1, 0)}).empty());
}

TEST(GpxExportRules, LocalTimesBecomeUtcAcrossDaylightSaving) {
    ZoneGuard zone("Europe/Berlin");
    // 31 March 2024: clocks go from 02:00 CET to 03:00 CEST.
    EXPECT_EQ(LocalRecordTimeToUtc({2024, 3, 0, 31, 1, 30, 0, 0}), 1711845000); // 00:30Z
    EXPECT_EQ(LocalRecordTimeToUtc({2024, 3, 0, 31, 3, 30, 0, 0}), 1711848600); // 01:30Z
    EXPECT_EQ(LocalRecordTimeToUtc({2024, 7, 0, 1, 12, 0, 0, 0}), 1719828000);  // 10:00Z
}

TEST(GpxExportRules, DocumentEscapesNamesAndOrdersWaypointsFirst) {
    GpxRecording r;
    r.track.name = std::string("a&b<c>\"d'\x01") + "\xFF.MP4";
    GpxPoint p;
    p.lat = 35;
    p.lon = 139;
    p.utc = 0;
    r.track.segments = {{p}};
    r.waypoints.push_back({p, 5, WaypointName(5)});
    const std::string doc = GpxDocument({r}, "kinetta");
    // Markup is escaped; a control byte and bytes that are not UTF-8 become U+FFFD.
    EXPECT_NE(doc.find("<name>a&amp;b&lt;c&gt;&quot;d&#39;\xEF\xBF\xBD\xEF\xBF\xBD.MP4</name>"),
              std::string::npos)
        << doc;
    EXPECT_LT(doc.find("<wpt "), doc.find("<trk>"));
    EXPECT_NE(doc.find("<time>1970-01-01T00:00:00Z</time><name>M</name>"), std::string::npos);
    EXPECT_EQ(WaypointName(0), "G");
    EXPECT_EQ(WaypointName(11), "\u2605");
    EXPECT_EQ(WaypointName(6), "\u203B");
    EXPECT_EQ(WaypointName(42), "#42");
}

TEST(GpxExportRules, WriteIsAtomic) {
    ktest::TempDir dir;
    const std::string out = dir / "x.gpx";
    std::string error;
    ASSERT_TRUE(WriteGpxFile(out, "<gpx/>", &error)) << error;
    EXPECT_EQ(ktest::ReadFile(out), "<gpx/>");
    // Cancelled before the rename: the earlier file stays, no temporary is left.
    const std::atomic<bool> running{false};
    EXPECT_FALSE(WriteGpxFile(out, "<other/>", &error, &running));
    EXPECT_EQ(ktest::ReadFile(out), "<gpx/>");
    EXPECT_FALSE(WriteGpxFile(dir / "missing/x.gpx", "<gpx/>", &error));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

} // namespace
