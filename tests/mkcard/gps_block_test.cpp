// The GPS block bytes, read back here by their documented offsets rather than
// through the writer's own structures, and the records of the drive.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/mkcard/gps_block.h"
#include "tools/mkcard/telemetry.h"

namespace {

using playcore::RecorderFamily;
using namespace mkcard;

std::string At(const std::vector<uint8_t>& b, size_t offset, size_t n) {
    EXPECT_LE(offset + n, b.size());
    if (offset + n > b.size()) return {};
    return std::string(b.begin() + long(offset), b.begin() + long(offset + n));
}

// The viewer's position rule: fmod(v, 100) / 60 + whole degrees, signed by the sign byte.
double Degrees(const std::string& text, uint8_t sign) {
    const double v = std::atof(text.c_str());
    const double d = std::fmod(v, 100) / 60 + static_cast<int>(v) / 100;
    return sign == 0 ? -d : d;
}

GpsRecordValues Sample() {
    GpsRecordValues r;
    r.time = {2023, 5, 25, 10, 15, 7};
    r.latitude = 35.6812345;
    r.longitude = 139.7671234;
    r.speedKmh = 42.5;
    r.accel = {-123, 45, 1008};
    r.axis = 'Y';
    r.userPoint = true;
    r.parking = true;
    r.emergencyStop = true;
    r.speeding = true;
    r.assist = 'B';
    r.nibbles = 0xA9;
    r.number = 124;
    r.extra = 'R';
    return r;
}

TEST(GpsBlock, Tx40BoxAndRecordsLieAtTheirOffsets) {
    GpsBlockSpec recipe;
    recipe.family = RecorderFamily::TX40;
    recipe.header.identification = "V10203";
    recipe.header.levels = {300, 250, 1200};
    recipe.header.letter = 'P';
    recipe.records = {Sample(), Sample()};
    recipe.records[1].valid = false;
    const std::vector<uint8_t> box = EncodeGps0Box(recipe);

    ASSERT_EQ(box.size(), 2 * 79 + 48u);
    EXPECT_EQ((box[0] << 24 | box[1] << 16 | box[2] << 8 | box[3]), 2 * 79 + 48);
    EXPECT_EQ(At(box, 4, 4), "gps0");
    const size_t b = 8; // block start
    EXPECT_EQ(At(box, b, 6), "CSODAT");
    EXPECT_EQ(At(box, b + 6, 6), "V10203");
    EXPECT_EQ(At(box, b + 12, 4), "0300");
    EXPECT_EQ(At(box, b + 16, 4), "0250");
    EXPECT_EQ(At(box, b + 20, 4), "1200");
    EXPECT_EQ(box[b + 24], 'P');
    EXPECT_EQ(box[b + 32] << 8 | box[b + 33], 2);
    EXPECT_EQ(At(box, box.size() - 6, 6), "CSOEND");

    const size_t r = b + 34;
    EXPECT_EQ(box[r + 5], 'A');
    EXPECT_EQ(At(box, r + 6, 9), "3540.8741");
    EXPECT_NEAR(Degrees(At(box, r + 6, 9), box[r + 15]), 35.6812345, 2e-6);
    EXPECT_NEAR(Degrees(At(box, r + 16, 10), box[r + 26]), 139.7671234, 2e-6);
    EXPECT_DOUBLE_EQ(std::atof(At(box, r + 27, 4).c_str()), 42.5);
    EXPECT_EQ(At(box, r + 31, 12), "230525101507");
    EXPECT_EQ(box[r + 44], '*');
    EXPECT_EQ(At(box, r + 57, 5), "-0123");
    EXPECT_EQ(At(box, r + 62, 5), "+0045");
    EXPECT_EQ(At(box, r + 67, 5), "+1008");
    EXPECT_EQ(box[r + 72], 'D');
    EXPECT_EQ(box[r + 73], 'Y');
    EXPECT_EQ(box[r + 74], 'D');
    EXPECT_EQ(box[r + 78], 'R');
    // The second record has no fix.
    EXPECT_EQ(box[r + 79 + 5], 'V');
    // The completeness test reads the last record and the end marker.
    EXPECT_NE(At(box, box.size() - 85, 85).find("CSOEND"), std::string::npos);
}

TEST(GpsBlock, Tx50BlockAndRecordsLieAtTheirOffsets) {
    GpsBlockSpec recipe;
    recipe.family = RecorderFamily::TX50;
    recipe.header.identification = "V20415";
    recipe.header.levels = {100, 200, 300};
    recipe.header.tx50Letter = 'Q';
    recipe.header.flagA = 1;
    recipe.header.flagB = 0;
    recipe.records = {Sample(), Sample(), Sample()};
    recipe.records[2].number = -1;
    recipe.records[2].latitude = -33.5;
    recipe.records[2].longitude = -70.25;
    const std::vector<uint8_t> block = EncodeGpsBlock(recipe);

    ASSERT_EQ(block.size(), 3 * 91 + 49u);
    EXPECT_EQ(At(block, 0, 6), "CSODAT");
    EXPECT_EQ(At(block, 6, 6), "V20415");
    EXPECT_EQ(At(block, 14, 4), "0100");
    EXPECT_EQ(At(block, 18, 4), "0200");
    EXPECT_EQ(At(block, 22, 4), "0300");
    EXPECT_EQ(block[33], 'Q');
    EXPECT_EQ(block[36], 1);
    EXPECT_EQ(block[37], 0);
    EXPECT_EQ(block[41] << 8 | block[42], 3);
    EXPECT_EQ(At(block, block.size() - 6, 6), "CSOEND");

    const size_t r = 43;
    EXPECT_EQ(block[r + 8], 'A');
    EXPECT_NEAR(Degrees(At(block, r + 9, 9), block[r + 18]), 35.6812345, 2e-6);
    EXPECT_NEAR(Degrees(At(block, r + 19, 10), block[r + 29]), 139.7671234, 2e-6);
    EXPECT_EQ(At(block, r + 30, 4), "42.5");
    EXPECT_EQ(At(block, r + 34, 12), "230525101507");
    EXPECT_EQ(block[r + 47], '*');
    EXPECT_EQ(block[r + 50], 0xA9); // camera codes 10 and 9: speed camera
    EXPECT_EQ(At(block, r + 63, 15), "-0123+0045+1008");
    EXPECT_EQ(At(block, r + 78, 6), "DYBDDD");
    EXPECT_EQ(block[r + 87], 'R');
    EXPECT_EQ(At(block, r + 88, 3), "124");
    // Third record: blank number, south and west written as zero sign bytes.
    const size_t r3 = 43 + 2 * 91;
    EXPECT_EQ(At(block, r3 + 88, 3), "   ");
    EXPECT_EQ(block[r3 + 18], 0);
    EXPECT_EQ(block[r3 + 29], 0);
    EXPECT_NEAR(Degrees(At(block, r3 + 9, 9), block[r3 + 18]), -33.5, 2e-6);
    EXPECT_NEAR(Degrees(At(block, r3 + 19, 10), block[r3 + 29]), -70.25, 2e-6);
    EXPECT_NE(At(block, block.size() - 97, 97).find("CSOEND"), std::string::npos);
}

// The viewer's header loop: while the four bytes 34 (TX50: 43) further on from
// the current reading's start + 2 are "@CS" and an upper-case letter, read again there.
TEST(GpsBlock, RepeatedHeadersAreWhereTheReaderLooks) {
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        const bool tx50 = family == RecorderFamily::TX50;
        const size_t h = tx50 ? 43 : 34, levels = tx50 ? 14 : 12;
        GpsBlockSpec recipe;
        recipe.family = family;
        recipe.records.assign(4, Sample());
        GpsHeader second, third;
        second.levels = {400, 400, 400};
        third.levels = {777, 888, 999};
        recipe.repeatedHeaders = {second, third};
        const std::vector<uint8_t> block = EncodeGpsBlock(recipe);
        size_t base = 0;
        int readings = 1;
        auto marked = [&](size_t at) {
            return At(block, at, 3) == "@CS" && block[at + 3] >= 'A' && block[at + 3] <= 'Z';
        };
        while (marked(base + h + 2)) {
            base += h;
            ++readings;
        }
        EXPECT_EQ(readings, 3);
        EXPECT_EQ(At(block, base + levels, 12), "077708880999");
        EXPECT_EQ(block.size(), h + 4 * (tx50 ? 91 : 79) + 6); // the record area stays where it was
        // Records after the overlaid bytes are intact.
        EXPECT_EQ(block[h + 3 * (tx50 ? 91 : 79) + (tx50 ? 8 : 5)], 'A');
    }
}

TEST(GpsBlock, EndMarkerCountAndFirmwareChoices) {
    GpsBlockSpec recipe;
    recipe.family = RecorderFamily::TX40;
    recipe.records.assign(2, Sample());
    recipe.endMarker = false;
    recipe.countOverride = 9;
    std::vector<uint8_t> box = EncodeGps0Box(recipe);
    EXPECT_EQ(box.size(), 2 * 79 + 42u); // the box covers what is written
    EXPECT_EQ(box[8 + 32] << 8 | box[8 + 33], 9);
    EXPECT_EQ(At(box, box.size() - 85, 85).find("CSOEND"), std::string::npos);

    recipe.records.clear();
    recipe.countOverride = -1;
    recipe.endMarker = true;
    EXPECT_EQ(EncodeGps0Box(recipe).size(), 48u);

    EXPECT_EQ(IdentificationFor(1, 2, 3), "V10203");
    EXPECT_EQ(FirmwareText("V10203"), "1.2.3");
    EXPECT_EQ(FirmwareText("X91299"), "9.12.99");
    EXPECT_EQ(FirmwareText("V1x203"), "");
    // Minutes that round to 60 carry into the degrees.
    EXPECT_EQ(LatitudeText(35.9999999), "3600.0000");
    EXPECT_EQ(LongitudeText(5.5), "00530.0000");
}

TEST(Telemetry, OneRecordPerSecondAlongTheRoute) {
    const Route route;
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        TelemetrySpec recipe;
        recipe.family = family;
        recipe.start = {2023, 5, 25, 23, 59, 0};
        recipe.recordCount = 120;
        const auto records = MakeRecords(recipe, route);
        ASSERT_EQ(records.size(), 120u);
        double fastest = 0, slowest = 1e9;
        for (size_t i = 0; i < records.size(); ++i) {
            const GpsRecordValues& r = records[i];
            EXPECT_EQ(EpochSeconds(r.time) - EpochSeconds(recipe.start), int64_t(i));
            EXPECT_NEAR(r.latitude, kRouteOriginLat, 0.01);
            EXPECT_NEAR(r.longitude, kRouteOriginLon, 0.01);
            fastest = std::max(fastest, r.speedKmh);
            slowest = std::min(slowest, r.speedKmh);
            // Vertical value: gravity for TX40 (raw readings), zero for TX50, plus noise.
            EXPECT_NEAR(r.accel[2], family == RecorderFamily::TX40 ? 1000 : 0, 15);
            EXPECT_EQ(r.axis, 'N');
            if (i > 0) {
                // The position moves by about the mean speed over the second.
                const double dn = (r.latitude - records[i - 1].latitude) * 110574;
                const double de = (r.longitude - records[i - 1].longitude) * 90400;
                const double mean = (r.speedKmh + records[i - 1].speedKmh) / 2 / 3.6;
                EXPECT_LE(std::hypot(dn, de), mean + 1.0) << i;
            }
        }
        EXPECT_EQ(slowest, 0);  // the cycle stops at lights
        EXPECT_GT(fastest, 45); // and cruises at about 48 km/h
        EXPECT_EQ(records[1].time.day, 25);
        EXPECT_EQ(records[60].time.day, 26); // midnight passes into the next day
    }
}

TEST(Telemetry, EventsParkingAndTimeLapse) {
    const Route route;
    TelemetrySpec recipe;
    recipe.family = RecorderFamily::TX50;
    recipe.recordCount = 14;
    for (int k = 0; k <= static_cast<int>(EventKind::AssistB); ++k)
        recipe.events.push_back({k, static_cast<EventKind>(k)});
    recipe.noFix = {{12, 13}};
    recipe.parked = true;
    recipe.secondsPerRecord = 15;
    recipe.voltageTenths = 121;
    const auto r = MakeRecords(recipe, route);
    EXPECT_EQ(r[0].axis, 'X');
    EXPECT_GT(r[0].accel[1], 700);
    EXPECT_EQ(r[1].axis, 'Y');
    EXPECT_LT(r[1].accel[0], -700);
    EXPECT_EQ(r[2].axis, 'Z');
    EXPECT_TRUE(r[3].userPoint);
    EXPECT_TRUE(r[4].emergencyStop);
    EXPECT_TRUE(r[5].parking);
    EXPECT_TRUE(r[6].speeding);
    EXPECT_EQ(r[7].nibbles, 0xA9);
    EXPECT_EQ(r[8].nibbles >> 4, 8);
    EXPECT_EQ(r[8].nibbles & 15, 8);
    EXPECT_EQ(r[9].assist, 'H');
    EXPECT_EQ(r[10].assist, 'A');
    EXPECT_EQ(r[11].assist, 'B');
    EXPECT_FALSE(r[12].valid);
    EXPECT_TRUE(r[11].valid);
    for (const auto& rec : r) {
        EXPECT_EQ(rec.speedKmh, 0);
        EXPECT_EQ(rec.latitude, r[0].latitude);
        EXPECT_EQ(rec.number, 121);
    }
    EXPECT_EQ(EpochSeconds(r[13].time) - EpochSeconds(r[0].time), 13 * 15);
    // Viewer kinds by axis code: Z 1 -> 0, X 2 -> 2, Y 3 -> 3.
    EXPECT_EQ(ViewerEventKind(EventKind::ShockZ), 0);
    EXPECT_EQ(ViewerEventKind(EventKind::ShockX), 2);
    EXPECT_EQ(ViewerEventKind(EventKind::AssistB), 13);

    // TX40 records have no place for the TX50-only marks.
    recipe.family = RecorderFamily::TX40;
    EXPECT_THROW(MakeRecords(recipe, route), std::invalid_argument);
    recipe.events = {{0, EventKind::ShockZ}, {1, EventKind::UserPoint}, {2, EventKind::Parking}};
    EXPECT_NO_THROW(MakeRecords(recipe, route));
    EventKind kind;
    EXPECT_TRUE(ParseEventName("speed-camera", &kind));
    EXPECT_EQ(kind, EventKind::SpeedCamera);
    EXPECT_FALSE(ParseEventName("speed camera", &kind));
}

} // namespace
