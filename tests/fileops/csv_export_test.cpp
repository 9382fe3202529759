// CSV rows of built recordings: the frame-rate snapping and the length it
// gives, the short row, missing GPS, both families' cells, a combined
// recording's sizes, quoting, and the file's all-or-nothing writing.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "container/mp4_builder.h"
#include "kinetta/fileops/csv_export.h"

using namespace kinetta;
using namespace testmp4;

namespace {

constexpr auto TX40 = RecorderFamily::TX40;
constexpr auto TX50 = RecorderFamily::TX50;

Bytes Tx40Gps(const std::string& dateTime = "230525101500") {
    Rec40 r;
    r.dateTime = dateTime;
    return Gps0Box(Block(Header40{}.Build(1), {r.Build()}));
}

Bytes Tx50Gps(char letter, const std::string& dateTime = "230525101500") {
    Rec50 r;
    r.dateTime = dateTime;
    Header50 h;
    h.letter = letter;
    return Block(h.Build(1), {r.Build()});
}

// One video track of samples frames lasting delta µs each, and a sound track.
Bytes Video(uint32_t samples, uint32_t delta, uint32_t width, const Bytes& gps) {
    TrackLayout video{samples, delta, width, {}, true, false, {}};
    TrackLayout sound{4, 21333, 0, {}, false, false, {}};
    return Cat({Movie({video, sound}), gps});
}

RecordingEntry Pair(const TempDir& dir, const std::string& front, const Bytes& frontBytes,
                    const std::string& rear, const Bytes& rearBytes) {
    RecordingEntry e;
    if (!front.empty()) {
        e.frontName = front;
        e.frontPath = dir.Write(front, frontBytes);
    }
    if (!rear.empty()) {
        e.rearName = rear;
        e.rearPath = dir.Write(rear, rearBytes);
    }
    return e;
}

std::string Row(const RecordingEntry& e, RecorderFamily family) {
    return CsvRow(MeasureRecording(e, family), family);
}

std::string ReadText(const std::string& path) {
    const Bytes b = ReadAll(path);
    return std::string(b.begin(), b.end());
}

} // namespace

TEST(CsvFrameRate, SnapsTheNominalRatesOnly) {
    EXPECT_EQ(SnapFrameRate(4.75f), 5.0f);
    EXPECT_EQ(SnapFrameRate(5.2499f), 5.0f);
    EXPECT_EQ(SnapFrameRate(5.25f), 5.25f);
    EXPECT_EQ(SnapFrameRate(27.25f), 27.5f);
    EXPECT_EQ(SnapFrameRate(27.75f), 28.0f);
    EXPECT_EQ(SnapFrameRate(28.25f), 28.25f);
    EXPECT_FLOAT_EQ(SnapFrameRate(29.1f), 29.1f);
}

TEST(CsvRows, Tx40FullRowsShortRowsAndMissingGps) {
    TempDir dir;
    // 60 s at 27.5 fps (36,364 µs a frame) with a 1920-wide rear file.
    const Bytes front = Video(1650, 36364, 1920, Tx40Gps());
    const Bytes rear = Video(1650, 36364, 1920, Tx40Gps());
    RecordingEntry e = Pair(dir, "012_153012A_M.MP4", front, "012_153013A_R.MP4", rear);
    EXPECT_EQ(Row(e, TX40), "012_153012A_M.MP4,2023/05/25,10:15:00,00:01:00,常時,Full HD,"
                            "27.5fps,0MB,0MB\r\n");

    // 27.8 fps is written 28.0 and the length uses 28.0: 1668 / 28 = 59.6 s
    // (with 27.8 it would read a whole minute).
    e = Pair(dir, "013_153112G_M.MP4", Video(1668, 35971, 640, Tx40Gps()), "", {});
    EXPECT_EQ(Row(e, TX40),
              "013_153112G_M.MP4,2023/05/25,10:15:00,00:00:59,衝撃,-,28.0fps,0MB,0MB\r\n");

    // One second: the short row.
    e = Pair(dir, "014_153212A_M.MP4", Video(27, 36364, 640, Tx40Gps()), "", {});
    EXPECT_EQ(Row(e, TX40), "014_153212A_M.MP4,-,-,-,-,-,fps,0MB,0MB\r\n");

    // No GPS block: dashes for date and time in an otherwise full row.
    e = Pair(dir, "015_153312M_M.MP4", Video(100, 36364, 640, {}), "", {});
    EXPECT_EQ(Row(e, TX40),
              "015_153312M_M.MP4,--/--/--,--:--:--,00:00:03,マニュアル,-,27.5fps,0MB,0MB\r\n");

    // Only a rear file: the first cell is "-", the rear file is measured and
    // its own width is the rear picture size.
    e = Pair(dir, "", {}, "016_153412A_R.MP4", Video(100, 36364, 1280, Tx40Gps()));
    EXPECT_EQ(Row(e, TX40), "-,2023/05/25,10:15:00,00:00:03,常時,HD,27.5fps,0MB,0MB\r\n");

    // Sizes of the two files in MiB, rounded down.
    Bytes big = Cat({Video(100, 36364, 640, Tx40Gps()), Box("free", Zeros((3u << 20) + 5))});
    e = Pair(dir, "019_153712A_M.MP4", big, "019_153713A_R.MP4",
             Cat({rear, Box("free", Zeros(2u << 20))}));
    EXPECT_EQ(Row(e, TX40),
              "019_153712A_M.MP4,2023/05/25,10:15:00,00:00:03,常時,Full HD,27.5fps,3MB,2MB\r\n");

    // Not a movie, and a movie without timing: short rows, not failures.
    e = Pair(dir, "017_153512A_M.MP4", Text("not a movie at all"), "", {});
    EXPECT_EQ(Row(e, TX40), "017_153512A_M.MP4,-,-,-,-,-,fps,0MB,0MB\r\n");
    e = Pair(dir, "018_153612A_M.MP4", Video(100, 0, 640, {}), "", {});
    EXPECT_EQ(Row(e, TX40), "018_153612A_M.MP4,-,-,-,-,-,fps,0MB,0MB\r\n");
}

// The length cell: frames that make N whole seconds within half a frame read
// N; otherwise the whole seconds they fill. 29.1 fps recordings (34,364 µs a
// frame) are a hair short of their whole seconds.
TEST(CsvRows, LengthReadsTheWholeSecondsWithinHalfAFrame) {
    struct Case {
        uint32_t frames, deltaUs;
        const char* length;
    };
    const Case cases[] = {
        {582, 34364, "00:00:20"},    // 19.9998 s
        {1746, 34364, "00:01:00"},   // 59.9995 s
        {581, 34364, "00:00:19"},    // a whole frame short of 20 s
        {583, 34364, "00:00:20"},    // 20.0342 s
        {1650, 36364, "00:01:00"},   // 27.5 fps, snapped: 60 s exactly
        {52380, 34364, "00:30:00"},  // 0.4 frames short of 30 minutes
        {104760, 34364, "00:59:59"}, // 0.8 frames short of an hour
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames of " + std::to_string(c.deltaUs) + " us");
        const RecordingEntry e =
            Pair(dir, "020_153812A_M.MP4", Video(c.frames, c.deltaUs, 640, {}), "", {});
        const std::string row = Row(e, TX40);
        EXPECT_NE(row.find(std::string(",--:--:--,") + c.length + ","), std::string::npos) << row;
    }
}

TEST(CsvRows, Tx50CellsAndFileSizes) {
    TempDir dir;
    // A speed-camera name; the sizes are the files' sizes in MiB.
    RecordingEntry e = Pair(dir, "012_153012GTO_F.MP4", Video(100, 36364, 1920, Tx50Gps('H')),
                            "012_153012GTO_R.MP4", Video(100, 36364, 1280, Tx50Gps('L')));
    EXPECT_EQ(Row(e, TX50), "012_153012GTO_F.MP4,2023/05/25,10:15:00,00:00:03,衝撃,速度取締機,HD,"
                            "高画質,27.5fps,0MB,0MB\r\n");

    e = Pair(dir, "013_153112ANN_F.MP4", Video(100, 36364, 1920, Tx50Gps('H')), "", {});
    EXPECT_EQ(Row(e, TX50), "013_153112ANN_F.MP4,2023/05/25,10:15:00,00:00:03,常時,-,-,高画質,"
                            "27.5fps,0MB,0MB\r\n");
    e = Pair(dir, "014_153212ANN_F.MP4", Video(100, 36364, 1920, Tx50Gps('L')), "", {});
    EXPECT_NE(Row(e, TX50).find(",低画質,"), std::string::npos);
    e = Pair(dir, "015_153312ANN_F.MP4", Video(10, 36364, 1920, Tx50Gps('L')), "", {});
    EXPECT_EQ(Row(e, TX50), "015_153312ANN_F.MP4,-,-,-,-,-,-,-,fps,0MB,0MB\r\n");
}

TEST(CsvRows, CombinedRecordingSizesComeFromTheSampleTables) {
    TempDir dir;
    Bytes file = Cat({Movie(ThreeTracks(60)), Tx40Gps()});
    // Front samples 1 MiB each, rear samples 256 KiB each (the tables only;
    // the media itself stays small).
    for (int track = 0; track < 2; ++track) {
        const size_t table = FindType(file, "stsz", track) + 16;
        const Bytes size = BE32(track == 0 ? 1u << 20 : 1u << 18);
        for (size_t i = 0; i < 60; ++i)
            std::copy(size.begin(), size.end(), file.begin() + long(table + 4 * i));
    }
    const RecordingEntry e = Pair(dir, "012_153012_A.MP4", file, "", {});
    // 60 frames of 33,333 µs: 1.99998 s, within half a frame of 2 s.
    EXPECT_EQ(Row(e, TX40),
              "012_153012_A.MP4,2023/05/25,10:15:00,00:00:02,常時,HD,30.0fps,60MB,15MB\r\n");
}

TEST(CsvRows, HeadersAndQuoting) {
    EXPECT_EQ(CsvHeader(TX40),
              "ファイル名,日付,開始時刻,録画時間,録画トリガー,リヤ録画サイズ,"
              "フレームレート,メインカメラデータサイズ,リヤカメラデータサイズ\r\n");
    EXPECT_EQ(CsvHeader(TX50), "ファイル名,日付,開始時刻,録画時間,録画トリガー,オービス,"
                               "リヤ録画サイズ,画質,フレームレート,フロントカメラデータサイズ,"
                               "リヤカメラデータサイズ\r\n");
    EXPECT_EQ(CsvCell("plain.MP4"), "plain.MP4");
    EXPECT_EQ(CsvCell("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvCell("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvCell("two\r\nlines"), "\"two\r\nlines\"");

    // A name of 400 bytes with a comma stays whole and in one cell.
    CsvFacts f;
    f.name = std::string(400, 'x') + ",y.MP4";
    const std::string row = CsvRow(f, TX40);
    EXPECT_EQ(row, "\"" + f.name + "\",-,-,-,-,-,fps,0MB,0MB\r\n");
}

TEST(CsvFile, NameFromTheFirstRecordAndAllOrNothingWriting) {
    TempDir dir;
    const RecordingEntry a =
        Pair(dir, "012_153012A_M.MP4", Video(100, 36364, 640, Tx40Gps("230525101502")), "", {});
    const RecordingEntry noGps = Pair(dir, "013_153112A_M.MP4", Video(100, 36364, 640, {}), "", {});
    EXPECT_EQ(CsvFileNameFor(a, TX40), "Dv_20230525_101502.csv");
    EXPECT_EQ(CsvFileNameFor(noGps, TX40), "");
    EXPECT_EQ(CsvFileNameFor(RecordingEntry{}, TX40), "");

    const std::string out = dir.File("out.csv");
    std::vector<std::pair<int, int>> steps;
    auto progress = [&](int done, int total) { steps.push_back({done, total}); };
    ASSERT_EQ(WriteCsvFile({a, noGps}, TX40, out, nullptr, progress), CsvWriteResult::Written);
    EXPECT_EQ(ReadText(out), CsvHeader(TX40) + Row(a, TX40) + Row(noGps, TX40));
    EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));

    // A cancelled export keeps the earlier file untouched and leaves no
    // temporary behind.
    std::atomic<bool> running{false};
    EXPECT_EQ(WriteCsvFile({a}, TX40, out, &running, nullptr), CsvWriteResult::Cancelled);
    EXPECT_EQ(ReadText(out), CsvHeader(TX40) + Row(a, TX40) + Row(noGps, TX40));
    int files = 0;
    for (const auto& item : std::filesystem::directory_iterator(dir.path()))
        files += item.path().extension() == ".csv" || item.path().filename().string()[0] == '.';
    EXPECT_EQ(files, 1);

    EXPECT_EQ(WriteCsvFile({a}, TX40, dir.File("missing/out.csv"), nullptr, nullptr),
              CsvWriteResult::Failed);
}
