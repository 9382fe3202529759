// The GPS and acceleration block: where it is found, how its records and
// header decode, record times, and the time base.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "container/mp4_builder.h"
#include "playcore/container/gps_block.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"

using namespace playcore;
using namespace testmp4;

namespace {

// Sets TZ for the life of the object.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

struct Decoded {
    std::vector<GpsRecord> gps;
    std::vector<AccelRecord> accel;
    GpsBlockInfo info;
};

Decoded Decode(RecorderFamily family, const Bytes& block) {
    Decoded d;
    EXPECT_TRUE(DecodeRecords(family, block.data(), block.size(), &d.gps, &d.accel, &d.info));
    return d;
}

RecordTime Time(std::string_view dateTime, std::string_view add) {
    return DecodeRecordTime(reinterpret_cast<const uint8_t*>(dateTime.data()),
                            reinterpret_cast<const uint8_t*>(add.data()));
}

RecordTime At(int y, int mo, int d, int h, int mi, int s, int dow) {
    RecordTime t;
    t.year = uint16_t(y);
    t.month = uint16_t(mo);
    t.day = uint16_t(d);
    t.hour = uint16_t(h);
    t.minute = uint16_t(mi);
    t.second = uint16_t(s);
    t.dayOfWeek = uint16_t(dow);
    return t;
}

// A reader holding n TX40 or TX50 records decoded from a block.
void Fill(sGPSREADER& reader, RecorderFamily family, const std::vector<Bytes>& records) {
    reader.family = family;
    const Bytes block = family == RecorderFamily::TX40
                            ? Block(Header40{}.Build(uint16_t(records.size())), records)
                            : Block(Header50{}.Build(uint16_t(records.size())), records);
    ASSERT_TRUE(DecodeRecords(family, block.data(), block.size(), &reader.gps, &reader.accel,
                              &reader.info));
}

std::vector<int> TableIndices(const sGPSREADER& r) {
    std::vector<int> out;
    for (const AccelRecord* a : r.frameTable)
        out.push_back(a ? a->index : -1);
    return out;
}

} // namespace

TEST(GpsDecode, Tx40RecordsAndHeader) {
    ZoneScope utc("UTC");
    Rec40 a;
    Rec40 b;
    b.status = 'V';
    b.lat = "3540.0000";
    b.latSign = 0;
    b.lon = "0000000000";
    b.lonSign = 0;
    b.speed = " 7.5";
    b.add = "005";
    b.a1 = "-1500";
    b.a2 = "  250";
    b.a3 = "+0020";
    b.byte72 = 'D';
    b.axis = 'Z';
    b.byte74 = 'D';
    b.extra = 'R';
    Rec40 c;
    c.byte74 = 'D';
    c.axis = 'Y';
    c.extra = 0;
    Rec40 d;
    d.axis = '?';
    const Decoded r =
        Decode(RecorderFamily::TX40,
               Block(Header40{}.Build(4), {a.Build(), b.Build(), c.Build(), d.Build()}));
    ASSERT_EQ(r.gps.size(), 4u);
    ASSERT_EQ(r.accel.size(), 4u);

    EXPECT_EQ(r.gps[0].valid, 1);
    EXPECT_NEAR(r.gps[0].latitude, 35 + 40.1234 / 60, 1e-12);
    EXPECT_NEAR(r.gps[0].longitude, 139 + 45.6789 / 60, 1e-12);
    EXPECT_EQ(r.gps[0].speed, 42);
    EXPECT_EQ(r.gps[0].direction, 0);
    EXPECT_EQ(r.gps[0].time, At(2025, 1, 1, 0, 0, 0, 3));
    EXPECT_EQ(r.gps[0].nibbleHigh, 0);
    EXPECT_EQ(r.gps[0].nibbleLow, 0);
    EXPECT_EQ(r.accel[0].gy, 1.0);
    EXPECT_EQ(r.accel[0].gx, -0.25);
    EXPECT_EQ(r.accel[0].gz, 10.0 / 1000);
    EXPECT_EQ(r.accel[0].kind, -1);
    EXPECT_EQ(r.accel[0].axis, 2);
    EXPECT_EQ(r.accel[0].code2, -1);
    EXPECT_EQ(r.accel[0].number, 0);
    EXPECT_EQ(r.accel[0].extra, 'F');

    EXPECT_EQ(r.gps[1].valid, 0);
    EXPECT_NEAR(r.gps[1].latitude, -(35 + 40.0 / 60), 1e-12);
    EXPECT_EQ(r.gps[1].longitude, 0.0); // -0 reads as 0 (the map skips 0, 0)
    EXPECT_EQ(r.gps[1].speed, 7.5);
    EXPECT_EQ(r.gps[1].time, At(2025, 1, 1, 0, 0, 5, 3));
    EXPECT_EQ(r.accel[1].gy, -1.5);
    EXPECT_EQ(r.accel[1].gx, 0.25);
    EXPECT_EQ(r.accel[1].gz, 20.0 / 1000);
    EXPECT_EQ(r.accel[1].kind, 5); // byte 72 wins over byte 74
    EXPECT_EQ(r.accel[1].axis, 1);
    EXPECT_EQ(r.accel[1].extra, 'R');

    EXPECT_EQ(r.accel[2].kind, 7);
    EXPECT_EQ(r.accel[2].axis, 3);
    EXPECT_EQ(r.accel[2].extra, 0);
    EXPECT_EQ(r.accel[3].axis, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.gps[i].index, i);
        EXPECT_EQ(r.accel[i].index, i);
        EXPECT_EQ(r.gps[i].framePos, i);
    }

    EXPECT_FLOAT_EQ(r.info.level1, 0.5f);
    EXPECT_FLOAT_EQ(r.info.level2, 1.0f);
    EXPECT_FLOAT_EQ(r.info.level3, 2.5f);
    EXPECT_EQ(r.info.letter, 'N');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.info.id), 6), "ID0001");
    EXPECT_EQ(r.info.flagA, 1);
    EXPECT_EQ(r.info.flagB, 1);

    Header40 p;
    p.letter = 'P';
    EXPECT_EQ(Decode(RecorderFamily::TX40, Block(p.Build(0), {})).info.flagB, 1);
    Header40 q;
    q.letter = 'Q';
    const GpsBlockInfo bad = Decode(RecorderFamily::TX40, Block(q.Build(0), {})).info;
    EXPECT_EQ(bad.level1, -1);
    EXPECT_EQ(bad.level2, -1);
    EXPECT_EQ(bad.level3, -1);
    EXPECT_EQ(bad.flagA, 0);
    EXPECT_EQ(bad.flagB, 0);
}

TEST(GpsDecode, Tx50RecordsAndHeader) {
    ZoneScope utc("UTC");
    std::vector<Rec50> recs(7);
    recs[0].nibbles = 0xA5;
    recs[0].number = "042";
    recs[0].latSign = 0;
    recs[1].byte81 = 'D';
    recs[1].byte78 = 'D';
    recs[1].byte82 = 'D';
    recs[1].letter = 'A'; // byte 81 wins
    recs[2].byte78 = 'D';
    recs[2].byte82 = 'D';
    recs[3].byte82 = 'D';
    recs[3].letter = 'H';
    recs[4].letter = 'A';
    recs[4].byte83 = 'D';
    recs[5].letter = 'B';
    recs[6].letter = 'H';
    recs[6].dateTime = "241231235959";
    recs[6].add = "001";
    std::vector<Bytes> built;
    for (const auto& r : recs)
        built.push_back(r.Build());
    const Decoded r = Decode(RecorderFamily::TX50, Block(Header50{}.Build(7), built));
    ASSERT_EQ(r.accel.size(), 7u);
    EXPECT_EQ(r.gps[0].nibbleHigh, 0xA);
    EXPECT_EQ(r.gps[0].nibbleLow, 0x5);
    EXPECT_LT(r.gps[0].latitude, 0);
    EXPECT_EQ(r.accel[0].number, 42);
    EXPECT_EQ(r.accel[1].number, -1); // three blanks
    EXPECT_EQ(r.accel[0].extra, 'R');
    EXPECT_EQ(r.accel[0].kind, -1); // "N"
    EXPECT_EQ(r.accel[1].kind, 6);
    EXPECT_EQ(r.accel[2].kind, 5);
    EXPECT_EQ(r.accel[3].kind, 7);
    EXPECT_EQ(r.accel[4].kind, 12);
    EXPECT_EQ(r.accel[5].kind, 13);
    EXPECT_EQ(r.accel[6].kind, 11);
    EXPECT_EQ(r.accel[0].code2, 0);
    EXPECT_EQ(r.accel[4].code2, 8);
    EXPECT_EQ(r.gps[6].time, At(2025, 1, 1, 0, 0, 0, 3));
    EXPECT_FLOAT_EQ(r.info.level1, 0.3f);
    EXPECT_FLOAT_EQ(r.info.level3, 0.9f);
    EXPECT_EQ(r.info.tx50Letter, 'J');
    EXPECT_EQ(r.info.letter, 0);
    Header50 h;
    h.flagA = 0;
    h.flagB = 7;
    const GpsBlockInfo info = Decode(RecorderFamily::TX50, Block(h.Build(0), {})).info;
    EXPECT_EQ(info.flagA, 0);
    EXPECT_EQ(info.flagB, 7);
}

TEST(GpsDecode, RecordTimeInZonesWithoutDaylightSaving) {
    for (const char* zone : {"UTC", "Asia/Tokyo"}) {
        ZoneScope z(zone);
        EXPECT_EQ(Time("250101000000", "*99"), At(2025, 1, 1, 0, 0, 0, 3)) << zone;
        EXPECT_EQ(Time("250101000000", "005"), At(2025, 1, 1, 0, 0, 5, 3)) << zone;
        EXPECT_EQ(Time("240229235930", "045"), At(2024, 3, 1, 0, 0, 15, 5)) << zone;
        EXPECT_EQ(Time("991231235959", "000"), At(2099, 12, 31, 23, 59, 59, 4)) << zone;
    }
    // Read with daylight saving off and shown in local time: in a summer
    // month of a zone with daylight saving the hour moves on by one.
    ZoneScope berlin("Europe/Berlin");
    EXPECT_EQ(Time("250701120000", "*  "), At(2025, 7, 1, 13, 0, 0, 2));
    EXPECT_EQ(Time("250101120000", "*  "), At(2025, 1, 1, 12, 0, 0, 3));
}

TEST(GpsDecode, RepeatedHeaderAndShortBlocks) {
    // "@CS" + capital at 36..39 makes the header be read again 34 bytes on,
    // and so on while it holds; a lower-case letter ends the repetition.
    Bytes area(79 * 3, ' ');
    Put(area, 0, "xx@CSA");
    Put(area, 12, "1111");
    Put(area, 16, "2222");
    Put(area, 20, "3333");
    area[24] = 'P';
    Put(area, 34, "xx@CSb");
    Put(area, 34 + 12, "9999");
    const Bytes block = Cat({Header40{}.Build(3), area, Text("CSOEND")});
    const Decoded d = Decode(RecorderFamily::TX40, block);
    EXPECT_FLOAT_EQ(d.info.level1, 1.111f);
    EXPECT_FLOAT_EQ(d.info.level3, 3.333f);
    EXPECT_EQ(d.info.letter, 'P');
    EXPECT_EQ(d.gps.size(), 3u); // records still start at 34

    // A count larger than the block: only the whole records present.
    Bytes cut = Block(Header40{}.Build(500), {Rec40{}.Build(), Rec40{}.Build()});
    EXPECT_EQ(Decode(RecorderFamily::TX40, cut).gps.size(), 2u);
    cut.resize(34 + 79 + 40);
    EXPECT_EQ(Decode(RecorderFamily::TX40, cut).gps.size(), 1u);
    for (size_t n : {0, 5, 33}) {
        Bytes tiny(cut.begin(), cut.begin() + long(n));
        EXPECT_TRUE(Decode(RecorderFamily::TX40, tiny).gps.empty());
    }
    Bytes tx50 = Block(Header50{}.Build(65535), {Rec50{}.Build()});
    EXPECT_EQ(Decode(RecorderFamily::TX50, tx50).gps.size(), 1u);
}

TEST(GpsLocate, Tx40BoxWithAndWithoutStartMarker) {
    TempDir dir;
    sGPSREADER reader;
    // Payload starting with "CSODAT": the block follows the box header.
    const Bytes a = Cat({Movie({TrackLayout{}}),
                         Gps0Box(Block(Header40{}.Build(2), {Rec40{}.Build(), Rec40{}.Build()}))});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("a.mp4", a), RecorderFamily::TX40));
    EXPECT_EQ(reader.gps.size(), 2u);
    EXPECT_TRUE(reader.loaded);

    // Payload not starting with it: the last 238620 bytes, a full block.
    std::vector<Bytes> full(3020, Rec40{}.Build());
    Rec40 last;
    last.speed = " 123";
    full.back() = last.Build();
    const Bytes fullBlock = Block(Header40{}.Build(3020), full);
    ASSERT_EQ(fullBlock.size(), 238620u);
    const Bytes b = Cat({Movie({TrackLayout{}}), BE32(uint32_t(8 + 16 + fullBlock.size())),
                         Text("gps0"), Text("PREFIX-PREFIX-16"), fullBlock});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("b.mp4", b), RecorderFamily::TX40));
    ASSERT_EQ(reader.gps.size(), 3020u);
    EXPECT_EQ(reader.gps.back().speed, 123);

    // Neither: no records, and the box is an ordinary leaf.
    const Bytes c = Cat({Movie({TrackLayout{}}), Box("gps0", Text("no block here"))});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("c.mp4", c), RecorderFamily::TX40));
    EXPECT_TRUE(reader.gps.empty());
    auto movie = OpenMp4Movie(dir.File("c.mp4"), true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(movie->List(kGps0List)[0]->gps);

    // No GPS box at all: loads with empty lists.
    ASSERT_TRUE(
        LoadRecords(reader, dir.Write("d.mp4", Movie({TrackLayout{}})), RecorderFamily::TX40));
    EXPECT_TRUE(reader.gps.empty());
    EXPECT_TRUE(reader.loaded);
    EXPECT_FALSE(LoadRecords(reader, dir.File("missing.mp4"), RecorderFamily::TX40));
    EXPECT_FALSE(reader.loaded);
}

TEST(GpsLocate, Tx50BlockAtTheEndOrAfterTheLastBox) {
    TempDir dir;
    sGPSREADER reader;
    std::vector<Bytes> full(1000, Rec50{}.Build());
    Rec50 first;
    first.number = "777";
    full.front() = first.Build();
    const Bytes fullBlock = Block(Header50{}.Build(1000), full);
    ASSERT_EQ(fullBlock.size(), 91049u);
    // Bytes between the boxes and the block: only the last-91049-bytes rule finds it.
    const Bytes a = Cat({Movie({TrackLayout{}}), Text("junk"), fullBlock});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("a.mp4", a), RecorderFamily::TX50));
    ASSERT_EQ(reader.accel.size(), 1000u);
    EXPECT_EQ(reader.accel.front().number, 777);

    const Bytes b =
        Cat({Movie({TrackLayout{}}), Block(Header50{}.Build(2), {Rec50{}.Build(), first.Build()})});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("b.mp4", b), RecorderFamily::TX50));
    ASSERT_EQ(reader.accel.size(), 2u);
    EXPECT_EQ(reader.accel[1].number, 777);
    EXPECT_FLOAT_EQ(reader.info.level2, 0.6f);

    const Bytes c = Cat({Movie({TrackLayout{}}), Text("no block")});
    ASSERT_TRUE(LoadRecords(reader, dir.Write("c.mp4", c), RecorderFamily::TX50));
    EXPECT_TRUE(reader.accel.empty());
    std::optional<RecordTime> t;
    auto movie = OpenMp4Movie(dir.File("c.mp4"), true, RecorderFamily::TX50);
    ASSERT_TRUE(movie);
    EXPECT_TRUE(ReadRecordingStartTime(*movie, &t));
    EXPECT_FALSE(t.has_value());
}

TEST(GpsReader, InfoTracksAndStartTime) {
    ZoneScope tokyo("Asia/Tokyo");
    TempDir dir;
    Rec40 r;
    r.dateTime = "250315081500";
    r.add = "010";
    const std::string withGps = dir.Write(
        "a.mp4", Cat({Movie({TrackLayout{}}),
                      Gps0Box(Block(Header40{}.Build(2), {r.Build(), Rec40{}.Build()}))}));
    const std::string noGps = dir.Write("b.mp4", Movie({TrackLayout{}}));

    GpsBlockInfo info;
    ASSERT_TRUE(ReadBlockInfo(withGps, &info, RecorderFamily::TX40));
    EXPECT_FLOAT_EQ(info.level2, 1.0f);
    EXPECT_FALSE(ReadBlockInfo(dir.File("none.mp4"), &info, RecorderFamily::TX40));

    auto movie = OpenMp4Movie(withGps, false, RecorderFamily::TX40);
    std::optional<RecordTime> t;
    ASSERT_TRUE(ReadRecordingStartTime(*movie, &t));
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(*t, At(2025, 3, 15, 8, 15, 10, 6));
    auto bare = OpenMp4Movie(noGps, false, RecorderFamily::TX40);
    ASSERT_TRUE(ReadRecordingStartTime(*bare, &t));
    EXPECT_FALSE(t.has_value());

    std::vector<GpsRecord> all;
    ASSERT_TRUE(ReadAllTracks({{withGps, ""}, {"", withGps}, {noGps, withGps}}, &all,
                              RecorderFamily::TX40));
    EXPECT_EQ(all.size(), 4u);
    EXPECT_FALSE(ReadAllTracks({{withGps, ""}, {dir.File("gone.mp4"), ""}, {withGps, ""}}, &all,
                               RecorderFamily::TX40));
    EXPECT_EQ(all.size(), 2u); // the records read before the failure
}

TEST(TimeBase, FrameTableForFewerEqualAndMoreRecords) {
    std::vector<Bytes> recs(10, Rec50{}.Build());
    {
        sGPSREADER r; // R = 3 < N = 7
        Fill(r, RecorderFamily::TX50, {recs[0], recs[1], recs[2]});
        ASSERT_TRUE(BuildTimeBase(r, 7));
        EXPECT_EQ(r.accel[1].framePos, 2);
        EXPECT_EQ(r.accel[2].framePos, 4);
        EXPECT_EQ(r.gps[2].framePos, 4);
        EXPECT_EQ(TableIndices(r), (std::vector<int>{0, 0, 1, 1, 2, 2, 2}));
    }
    {
        sGPSREADER r; // R = N
        Fill(r, RecorderFamily::TX50, std::vector<Bytes>(recs.begin(), recs.begin() + 5));
        ASSERT_TRUE(BuildTimeBase(r, 5));
        EXPECT_EQ(TableIndices(r), (std::vector<int>{0, 1, 2, 3, 4}));
    }
    {
        sGPSREADER r; // R = 10 > N = 4: every second record
        Fill(r, RecorderFamily::TX50, recs);
        ASSERT_TRUE(BuildTimeBase(r, 4));
        EXPECT_EQ(TableIndices(r), (std::vector<int>{0, 2, 4, 6}));
        sGPSREADER s; // R = 6 > N = 5
        Fill(s, RecorderFamily::TX50, std::vector<Bytes>(recs.begin(), recs.begin() + 6));
        ASSERT_TRUE(BuildTimeBase(s, 5));
        EXPECT_EQ(TableIndices(s), (std::vector<int>{0, 2, 4, 4, 5}));
    }
    {
        sGPSREADER r; // no records
        r.family = RecorderFamily::TX40;
        ASSERT_TRUE(BuildTimeBase(r, 3));
        EXPECT_EQ(TableIndices(r), (std::vector<int>{-1, -1, -1}));
        EXPECT_EQ(r.maxAccel, 0);
        EXPECT_FALSE(BuildTimeBase(r, -1));
        EXPECT_FALSE(BuildTimeBase(r, kMaxTimeBaseFrames + 1));
    }
}

TEST(TimeBase, LinksBetweenTheLists) {
    sGPSREADER r;
    Fill(r, RecorderFamily::TX50, std::vector<Bytes>(6, Rec50{}.Build()));
    ASSERT_TRUE(BuildTimeBase(r, 6));
    std::vector<int> links;
    for (const auto& a : r.accel)
        links.push_back(a.gps ? a.gps->index : -1);
    // j - 2 once j >= 2; the walk never passes the last GPS record.
    EXPECT_EQ(links, (std::vector<int>{0, 0, 0, 1, 2, 2}));
    for (int k = 0; k < 6; ++k) {
        ASSERT_NE(r.gps[k].accel, nullptr);
        EXPECT_EQ(r.gps[k].accel->index, k);
    }
}

TEST(TimeBase, Tx40DifferencesAndMaximum) {
    {
        sGPSREADER r; // constant 1000, 1000, 1000: all differences zero
        Rec40 c;
        c.a1 = c.a2 = c.a3 = " 1000";
        Fill(r, RecorderFamily::TX40, std::vector<Bytes>(4, c.Build()));
        ASSERT_TRUE(BuildTimeBase(r, 4));
        for (const auto& a : r.accel)
            EXPECT_TRUE(a.gx == 0 && a.gy == 0 && a.gz == 0);
        EXPECT_EQ(r.maxAccel, 0);
    }
    sGPSREADER r;
    Rec40 a, b, c;
    a.a1 = " 1000";
    a.a2 = "    0";
    a.a3 = "  500";
    b.a1 = " 1250";
    b.a2 = " -500";
    b.a3 = "  500";
    c.a1 = " 1000";
    c.a2 = " -500";
    c.a3 = " 2000";
    Fill(r, RecorderFamily::TX40, {a.Build(), b.Build(), c.Build()});
    ASSERT_TRUE(BuildTimeBase(r, 3));
    EXPECT_EQ(r.accel[0].gy, 0);
    EXPECT_NEAR(r.accel[1].gy, 0.25 + 0.005, 1e-12);
    EXPECT_NEAR(r.accel[1].gx, -0.5 - 0.005, 1e-12);
    EXPECT_EQ(r.accel[1].gz, 0);
    EXPECT_NEAR(r.accel[2].gy, -0.25 - 0.005, 1e-12);
    EXPECT_EQ(r.accel[2].gx, 0);
    EXPECT_NEAR(r.accel[2].gz, 1.5 + 0.005, 1e-12);
    EXPECT_NEAR(r.maxAccel, 1.505, 1e-12);
    // A second time base does not take differences of differences.
    ASSERT_TRUE(BuildTimeBase(r, 6));
    EXPECT_NEAR(r.accel[2].gz, 1.505, 1e-12);

    // The TX50 family's values stay as read.
    sGPSREADER s;
    Fill(s, RecorderFamily::TX50, {Rec50{}.Build(), Rec50{}.Build()});
    ASSERT_TRUE(BuildTimeBase(s, 2));
    EXPECT_EQ(s.accel[1].gy, 1.0);
    EXPECT_EQ(s.maxAccel, 1.0);

    // Moving to another reader keeps the table and links pointing at the lists.
    sGPSREADER moved;
    MoveReader(r, moved);
    EXPECT_TRUE(r.accel.empty());
    ASSERT_EQ(moved.frameTable.size(), 6u);
    EXPECT_EQ(moved.frameTable[5], &moved.accel[2]);
}
