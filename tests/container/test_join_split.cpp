// Box-level join and split on small built recordings: the joined tables,
// durations, media and GPS blocks; failures that must leave no output and no
// half-joined tree; the separation of a combined recording.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "container/mp4_builder.h"
#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tracks.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"

using namespace playcore;
using namespace testmp4;

namespace {

std::vector<uint32_t> Column(const sTAGNODE& table, uint32_t stride, uint32_t field = 0) {
    std::vector<uint32_t> out;
    if (table.data.size() < 8) return out;
    const uint32_t count = LoadBE32(table.data.data() + 4);
    if (uint64_t(count) * stride * 4 > table.data.size() - 8) return out;
    for (uint32_t i = 0; i < count; ++i)
        out.push_back(LoadBE32(table.data.data() + 8 + (size_t(i) * stride + field) * 4));
    return out;
}

std::vector<uint32_t> Sizes(const sTAGNODE& stsz) {
    std::vector<uint32_t> out;
    StszBox box;
    if (!box.Read(stsz)) return out;
    for (uint32_t i = 0; i < box.SampleCount(); ++i)
        out.push_back(box.SampleSize(i));
    return out;
}

uint64_t Duration(const sTAGNODE& box) {
    FieldAt at;
    return DurationField(box, &at) ? LoadField(box.data, at) : ~0ull;
}

// A recording opened again after writing, with its layout.
struct Opened {
    std::unique_ptr<sMP4MOVIE> movie;
    MovieLayout layout;
    explicit Opened(const std::string& path, RecorderFamily family = RecorderFamily::TX40)
        : movie(OpenMp4Movie(path, true, family)) {
        if (movie) ReadMovieLayout(*movie, &layout);
    }
    const TrackBoxes& Track(size_t i) const { return layout.tracks.at(i); }
};

// A built movie whose media bytes carry another mark, so that the samples of
// different files can be told apart in a joined output.
Bytes Marked(Bytes movie, uint8_t mark) {
    const uint32_t mdatSize = LoadBE32(&movie[24]);
    for (size_t i = 32 + 3; i < 24 + size_t(mdatSize); i += 4)
        movie[i] = mark;
    return movie;
}

Bytes At(const Bytes& file, uint32_t offset) {
    return offset + 4 <= file.size() ? Bytes(file.begin() + offset, file.begin() + offset + 4)
                                     : Bytes{};
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Bytes> Records40(int n, const std::string& speed) {
    std::vector<Bytes> recs;
    for (int i = 0; i < n; ++i) {
        Rec40 r;
        r.speed = speed;
        char dt[16];
        std::snprintf(dt, sizeof dt, "2501010000%02d", i % 60);
        r.dateTime = dt;
        recs.push_back(r.Build());
    }
    return recs;
}

std::vector<Bytes> Records50(int n, const std::string& speed) {
    Rec50 r;
    r.speed = speed;
    return std::vector<Bytes>(size_t(n), r.Build());
}

std::vector<double> Speeds(const std::string& path, RecorderFamily family) {
    sGPSREADER reader;
    std::vector<double> out;
    if (!LoadRecords(reader, path, family)) return {-1};
    for (const GpsRecord& g : reader.gps)
        out.push_back(g.speed);
    return out;
}

} // namespace

// Two one-minute files of 1800 samples per track: tables concatenated with
// their numbers shifted, durations summed, media following each other.
TEST(Join, TablesDurationsAndMediaOfTwoFiles) {
    TempDir dir;
    const Bytes a = Movie(ThreeTracks(1800));
    const Bytes b = Marked(Movie(ThreeTracks(1800)), 0xBB);
    const std::string pa = dir.Write("a.mp4", a), pb = dir.Write("b.mp4", b);
    const std::string out = dir.File("joined.mp4");
    std::string why;
    ASSERT_EQ(JoinFiles({pa, pb}, out, RecorderFamily::TX40, nullptr, &why), kJoinWritten) << why;

    Opened ia(pa), ib(pb), o(out);
    ASSERT_TRUE(o.movie);
    ASSERT_EQ(o.layout.tracks.size(), 3u);
    const uint32_t mediaA = 3 * 1800 * 4; // the first file's mdat payload
    EXPECT_EQ(o.layout.mdat->size, 2u * mediaA);
    const Bytes bytes = ReadAll(out);
    for (uint32_t t = 0; t < 3; ++t) {
        const TrackBoxes& ta = ia.Track(t);
        const TrackBoxes& tb = ib.Track(t);
        const TrackBoxes& to = o.Track(t);
        EXPECT_EQ(Sizes(*to.stsz).size(), 3600u);
        // Chunk offsets of the second file move by the first file's media.
        std::vector<uint32_t> expected = Column(*ta.stco, 1);
        for (uint32_t off : Column(*tb.stco, 1))
            expected.push_back(off + mediaA);
        const std::vector<uint32_t> offsets = Column(*to.stco, 1);
        ASSERT_EQ(offsets, expected);
        for (uint32_t i = 0; i < 3600; i += 599)
            EXPECT_EQ(At(bytes, offsets[i]), SampleBytes(t, i % 1800, i < 1800 ? 0xEE : 0xBB))
                << t << " " << i;
        // Sync samples of the second file are numbered after the first's.
        if (t < 2) {
            EXPECT_EQ(Column(*to.stss, 1), (std::vector<uint32_t>{1, 1801}));
        }
        EXPECT_EQ(Column(*to.stts, 2, 0), (std::vector<uint32_t>{1800, 1800}));
        // The second file's chunks are numbered after the first file's 1800.
        EXPECT_EQ(Column(*to.stsc, 3, 0), (std::vector<uint32_t>{1, 1801}));
        EXPECT_EQ(Duration(*to.tkhd), Duration(*ta.tkhd) + Duration(*tb.tkhd));
        EXPECT_EQ(Duration(*to.mdhd), 2u * 1800 * (t < 2 ? 33333 : 21333));
        EXPECT_EQ(Duration(*to.elst), Duration(*ta.elst) + Duration(*tb.elst));
    }
    EXPECT_EQ(Duration(*o.layout.mvhd), 2u * 59999);
    EXPECT_EQ(o.movie->duration, 2u * 59999);
    // The sources are untouched.
    EXPECT_EQ(ReadAll(pa), a);
    EXPECT_EQ(ReadAll(pb), b);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a.mp4", "b.mp4", "joined.mp4"}));
}

TEST(Join, Tx40GpsBoxHoldsTheRecordsOfEveryFile) {
    TempDir dir;
    const int counts[3] = {3, 2, 4};
    const char* speeds[3] = {"  10", "  20", "  30"};
    std::vector<std::string> inputs;
    for (int k = 0; k < 3; ++k) {
        const Bytes block =
            Block(Header40{}.Build(uint16_t(counts[k])), Records40(counts[k], speeds[k]));
        inputs.push_back(dir.Write("in" + std::to_string(k) + ".mp4",
                                   Cat({Movie({TrackLayout{}}), Gps0Box(block)})));
    }
    const std::string out = dir.File("joined.mp4");
    ASSERT_EQ(JoinFiles(inputs, out, RecorderFamily::TX40), kJoinWritten);
    const Bytes bytes = ReadAll(out);
    const size_t gps = FindType(bytes, "gps0");
    ASSERT_GT(gps, 0u);
    EXPECT_EQ(LoadBE32(&bytes[gps - 4]), 9u * 79 + 48);
    EXPECT_EQ(bytes.size(), gps + 4 + 9u * 79 + 40);
    EXPECT_EQ(Speeds(out, RecorderFamily::TX40),
              (std::vector<double>{10, 10, 10, 20, 20, 30, 30, 30, 30}));
    // The media of the three files follow each other.
    Opened o(out);
    EXPECT_EQ(Column(*o.Track(0).stco, 1),
              (std::vector<uint32_t>{32, 36, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76}));
}

TEST(Join, Tx50BlockFollowsTheBoxesWithTheSummedCount) {
    TempDir dir;
    const std::vector<Bytes> ra = Records50(3, "  11"), rb = Records50(2, "  22");
    const Bytes headerA = Header50{}.Build(3);
    Header50 other;
    other.id = "OTHER0";
    const std::string pa = dir.Write("a.mp4", Cat({Movie({TrackLayout{}}), Block(headerA, ra)}));
    const std::string pb =
        dir.Write("b.mp4", Cat({Movie({TrackLayout{}}), Block(other.Build(2), rb)}));
    const std::string out = dir.File("joined.mp4");
    ASSERT_EQ(JoinFiles({pa, pb}, out, RecorderFamily::TX50), kJoinWritten);
    const Bytes bytes = ReadAll(out);
    // The first file's header with the count 5, the records, the end marker.
    Bytes tail = Header50{}.Build(5);
    for (const Bytes& r : ra)
        Append(tail, r);
    for (const Bytes& r : rb)
        Append(tail, r);
    Append(tail, Text("CSOEND"));
    ASSERT_GT(bytes.size(), tail.size());
    EXPECT_EQ(Bytes(bytes.end() - long(tail.size()), bytes.end()), tail);
    Opened o(out, RecorderFamily::TX50);
    ASSERT_TRUE(o.movie);
    EXPECT_EQ(o.movie->tx50Gps.fileOffset, bytes.size() - tail.size());
    EXPECT_EQ(Speeds(out, RecorderFamily::TX50), (std::vector<double>{11, 11, 11, 22, 22}));
}

// The record count is a 16-bit field: a join reaching 65536 records fails,
// in both families, and nothing is written.
TEST(Join, GpsRecordCountOf65536Fails) {
    TempDir dir;
    const std::string a50 = dir.Write(
        "a50.mp4",
        Cat({Movie({TrackLayout{}}), Block(Header50{}.Build(32768), Records50(32768, "  50"))}));
    const std::string b50 = dir.Write(
        "b50.mp4",
        Cat({Movie({TrackLayout{}}), Block(Header50{}.Build(32768), Records50(32768, "  51"))}));
    std::string why;
    EXPECT_EQ(JoinFiles({a50, b50}, dir.File("out50.mp4"), RecorderFamily::TX50, nullptr, &why),
              kJoinFailed);
    EXPECT_NE(why.find("65536"), std::string::npos) << why;

    const std::string a40 = dir.Write(
        "a40.mp4", Cat({Movie({TrackLayout{}}),
                        Gps0Box(Block(Header40{}.Build(40000), Records40(40000, "  1")))}));
    const std::string b40 = dir.Write(
        "b40.mp4", Cat({Movie({TrackLayout{}}),
                        Gps0Box(Block(Header40{}.Build(30000), Records40(30000, "  2")))}));
    EXPECT_EQ(JoinFiles({a40, b40}, dir.File("out40.mp4"), RecorderFamily::TX40), kJoinFailed);
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"a40.mp4", "a50.mp4", "b40.mp4", "b50.mp4"}));
}

// Every check is made before the first movie's tree changes; a failed append
// marks the join invalid, later appends do nothing and nothing is written.
TEST(Join, FailedAppendLeavesTheTreeUntouchedAndWritesNothing) {
    TempDir dir;
    const Bytes first = Movie(ThreeTracks(6));
    const std::string pt = dir.Write("first.mp4", first);
    Bytes emptyStts = Movie(ThreeTracks(6));
    std::memset(&emptyStts[FindType(emptyStts, "stts", 2) + 8], 0, 4); // sound: no entries
    Bytes constantSizes = Movie(ThreeTracks(6));
    StoreBE32(&constantSizes[FindType(constantSizes, "stsz", 1) + 8], 4); // rear: constant 4
    Bytes otherUnits = Movie(ThreeTracks(6));
    StoreBE32(&otherUnits[FindType(otherUnits, "mdhd", 1) + 16], 90000); // rear: 90 kHz
    Bytes moovFirst = Movie(ThreeTracks(6));
    {
        // ftyp, moov, mdat: the first file's media would move as the moov grows.
        const size_t mdatEnd = 24 + LoadBE32(&moovFirst[24]);
        Bytes reordered(moovFirst.begin(), moovFirst.begin() + 24);
        reordered.insert(reordered.end(), moovFirst.begin() + long(mdatEnd), moovFirst.end());
        reordered.insert(reordered.end(), moovFirst.begin() + 24,
                         moovFirst.begin() + long(mdatEnd));
        moovFirst = reordered;
    }
    struct Case {
        const char* name;
        Bytes appended;
        Bytes target;
        bool appendFirst; // one good append before the failing one
        const char* reason;
    } cases[] = {
        {"two tracks", Movie({TrackLayout{}, TrackLayout{}}), first, true, "numbers of tracks"},
        {"empty stts", emptyStts, first, true, "stts has no entries"},
        {"constant sizes", constantSizes, first, true, "cannot be combined"},
        {"time scale", otherUnits, first, true, "different units"},
        {"moov first", first, moovFirst, false, "would move"},
        {"not a movie", Text("this is no movie"), first, true, "cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string target = dir.Write("target.mp4", c.target);
        const std::string appended = dir.Write("appended.mp4", c.appended);
        auto join = OpenJoin(target, "", RecorderFamily::TX40);
        ASSERT_TRUE(join);
        if (c.appendFirst) {
            ASSERT_TRUE(AppendToJoin(*join, pt, ""));
        }
        // What the joined tree holds before the failing append.
        const std::string before = dir.File("before.mp4");
        ASSERT_TRUE(WriteTreeToPath(join->front->root, before));
        std::string why;
        EXPECT_FALSE(AppendToJoin(*join, appended, "", &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(join->valid, 0);
        EXPECT_TRUE(AppendToJoin(*join, pt, "")); // an invalid join takes nothing more
        EXPECT_EQ(join->frontAppended.size(), c.appendFirst ? 1u : 0u);
        const std::string after = dir.File("after.mp4");
        ASSERT_TRUE(WriteTreeToPath(join->front->root, after));
        EXPECT_EQ(ReadAll(after), ReadAll(before));
        EXPECT_FALSE(WriteJoined(*join, JoinCamera::Front, dir.File("out.mp4"), nullptr, &why));
        EXPECT_FALSE(join->front);
        EXPECT_EQ(FilesIn(dir.path()),
                  (std::vector<std::string>{"after.mp4", "appended.mp4", "before.mp4", "first.mp4",
                                            "target.mp4"}));
        ::unlink(before.c_str());
        ::unlink(after.c_str());
    }
}

TEST(Join, InputThatCannotBeOpenedFailsWithNoOutput) {
    TempDir dir;
    const std::string a = dir.Write("a.mp4", Movie({TrackLayout{}}));
    const std::string c = dir.Write("c.mp4", Movie({TrackLayout{}}));
    const std::string out = dir.File("out.mp4");
    std::string why;
    EXPECT_EQ(JoinFiles({a, dir.File("missing.mp4"), c}, out, RecorderFamily::TX40, nullptr, &why),
              kJoinFailed);
    EXPECT_NE(why.find("missing.mp4"), std::string::npos) << why;
    EXPECT_EQ(JoinFiles({dir.File("missing.mp4"), a}, out, RecorderFamily::TX40), kJoinFailed);
    EXPECT_EQ(JoinFiles({}, out, RecorderFamily::TX40), kJoinFailed);
    // A folder that does not exist cannot take the output.
    EXPECT_EQ(JoinFiles({a, c}, dir.File("no/out.mp4"), RecorderFamily::TX40), kJoinFailed);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a.mp4", "c.mp4"}));
}

TEST(Join, CancelWritesNothing) {
    TempDir dir;
    const std::string a = dir.Write("a.mp4", Movie(ThreeTracks(8)));
    const std::string b = dir.Write("b.mp4", Movie(ThreeTracks(8)));
    const std::string out = dir.File("out.mp4");
    std::atomic<bool> running{false};
    EXPECT_EQ(JoinFiles({a, b}, out, RecorderFamily::TX40, &running), kJoinCancelled);
    // Cleared while writing: the output is abandoned, nothing is renamed.
    auto join = OpenJoin(a, "", RecorderFamily::TX40);
    ASSERT_TRUE(join && AppendToJoin(*join, b, ""));
    std::string why;
    EXPECT_FALSE(WriteJoined(*join, JoinCamera::Front, out, &running, &why));
    EXPECT_EQ(why, "cancelled");
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a.mp4", "b.mp4"}));
    running = true;
    EXPECT_EQ(JoinFiles({a, b}, out, RecorderFamily::TX40, &running), kJoinWritten);
}

TEST(Join, OutputNeverReplacesASource) {
    TempDir dir;
    const Bytes a = Movie(ThreeTracks(4)), b = Marked(Movie(ThreeTracks(4)), 0xBB);
    const std::string pa = dir.Write("a.mp4", a), pb = dir.Write("b.mp4", b);
    EXPECT_EQ(JoinFiles({pa, pb}, pa, RecorderFamily::TX40), kJoinFailed);
    ASSERT_EQ(::link(pb.c_str(), dir.File("b-link.mp4").c_str()), 0);
    std::string why;
    EXPECT_EQ(JoinFiles({pa, pb}, dir.File("b-link.mp4"), RecorderFamily::TX40, nullptr, &why),
              kJoinFailed);
    EXPECT_NE(why.find("replace"), std::string::npos) << why;
    EXPECT_EQ(ReadAll(pa), a);
    EXPECT_EQ(ReadAll(pb), b);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"a.mp4", "b-link.mp4", "b.mp4"}));
}

// OnExisting::Keep is decided when the complete output is put in place, so it
// holds for an entry that appeared after any check: a link there is neither
// written through nor replaced, and a split whose rear name is taken takes
// its front file back.
TEST(Join, KeepLeavesAnEntryAtTheOutputName) {
    TempDir dir;
    const std::string a = dir.Write("a.mp4", Movie(ThreeTracks(4)));
    const std::string b = dir.Write("b.mp4", Movie(ThreeTracks(4)));
    const std::string victim = dir.Write("victim", Text("keep me"));
    ASSERT_EQ(::symlink(victim.c_str(), dir.File("out.mp4").c_str()), 0);
    std::string why;
    EXPECT_EQ(JoinFiles({a, b}, dir.File("out.mp4"), RecorderFamily::TX40, nullptr, &why,
                        OnExisting::Keep),
              kJoinFailed);
    EXPECT_NE(why.find("out.mp4: exists"), std::string::npos) << why;
    EXPECT_EQ(std::filesystem::read_symlink(dir.File("out.mp4")), victim);
    EXPECT_EQ(ReadAll(victim), Text("keep me"));

    dir.Write("r.mp4", Text("old rear"));
    auto movie = OpenMp4Movie(a, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(SeparateTracks(*movie, dir.File("f.mp4"), dir.File("r.mp4"), nullptr, &why,
                                OnExisting::Keep));
    EXPECT_NE(why.find("r.mp4: exists"), std::string::npos) << why;
    EXPECT_EQ(ReadAll(dir.File("r.mp4")), Text("old rear"));
    EXPECT_EQ(FilesIn(dir.path()),
              (std::vector<std::string>{"a.mp4", "b.mp4", "out.mp4", "r.mp4", "victim"}));
}

// Media bytes go from file to file in the kernel where both files lie on one
// file system, and through read-only views otherwise; both give the same file.
// A source cut short after it was opened fails the write instead.
TEST(Join, MediaCopyAcrossFileSystemsAndFromShortenedSources) {
    TempDir disk, memory("/dev/shm");
    const Bytes a = Movie(ThreeTracks(300)), b = Marked(Movie(ThreeTracks(300)), 0xBB);
    const std::string pa = memory.Write("a.mp4", a), pb = memory.Write("b.mp4", b);
    const std::string near = memory.File("joined.mp4"), far = disk.File("joined.mp4");
    ASSERT_EQ(JoinFiles({pa, pb}, near, RecorderFamily::TX40), kJoinWritten);
    ASSERT_EQ(JoinFiles({pa, pb}, far, RecorderFamily::TX40), kJoinWritten);
    EXPECT_EQ(ReadAll(near), ReadAll(far));
    Opened o(far);
    ASSERT_TRUE(o.movie);
    EXPECT_EQ(o.layout.mdat->size, 2u * 3 * 300 * 4);

    for (const TempDir* out : {&memory, &disk}) {
        auto join = OpenJoin(pa, "", RecorderFamily::TX40);
        ASSERT_TRUE(join && AppendToJoin(*join, pb, ""));
        ASSERT_EQ(::truncate(pb.c_str(), off_t(32 + 3 * 300 * 4 - 100)), 0);
        std::string why;
        EXPECT_FALSE(WriteJoined(*join, JoinCamera::Front, out->File("cut.mp4"), nullptr, &why));
        EXPECT_NE(why.find("failed"), std::string::npos) << why;
        EXPECT_EQ(::access(out->File("cut.mp4").c_str(), F_OK), -1);
        memory.Write("b.mp4", b);
    }
    EXPECT_EQ(FilesIn(disk.path()), (std::vector<std::string>{"joined.mp4"}));
    EXPECT_EQ(FilesIn(memory.path()), (std::vector<std::string>{"a.mp4", "b.mp4", "joined.mp4"}));
}

// Joined media that would reach 4 GiB fail before anything changes, instead
// of leaving 32-bit sizes and chunk offsets to wrap. The media are holes.
TEST(Join, OutputsOf4GiBFailCleanly) {
    TempDir dir;
    constexpr uint32_t kMedia = 0x88000000; // 2.125 GiB
    TrackLayout t;
    t.samples = 2;
    t.chunkOffsets = {32, 32 + kMedia - 4};
    const Bytes head = Cat({Ftyp(), BE32(8 + kMedia), Text("mdat")});
    const Bytes moov = Box("moov", Cat({Mvhd(133), Trak(t)}));
    std::vector<std::string> paths;
    for (const char* name : {"big-a.mp4", "big-b.mp4"}) {
        const std::string p = dir.Write(name, head);
        FILE* f = std::fopen(p.c_str(), "r+b");
        ASSERT_TRUE(f);
        ASSERT_EQ(::fseeko(f, off_t(32) + kMedia, SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(moov.data(), 1, moov.size(), f), moov.size());
        std::fclose(f);
        paths.push_back(p);
    }
    auto join = OpenJoin(paths[0], "", RecorderFamily::TX40);
    ASSERT_TRUE(join);
    std::string why;
    EXPECT_FALSE(AppendToJoin(*join, paths[1], "", &why));
    EXPECT_NE(why.find("4 GiB"), std::string::npos) << why;
    EXPECT_EQ(Column(*join->front->List(kStcoList)[0], 1),
              (std::vector<uint32_t>{32, 32 + kMedia - 4}));
    EXPECT_EQ(join->front->List(kMdatList)[0]->size, kMedia);
    EXPECT_FALSE(WriteJoined(*join, JoinCamera::Front, dir.File("out.mp4")));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"big-a.mp4", "big-b.mp4"}));
}

// Media durations are counted in microseconds by the recorder: past 71.6
// minutes they no longer fit 32 bits, and the joined mdhd becomes version 1.
TEST(Join, LongMediaDurationMovesToA64BitField) {
    TempDir dir;
    TrackLayout t;
    t.samples = 4;
    t.delta = 750000000; // mdhd duration 3,000,000,000 per file
    const std::string p = dir.Write("long.mp4", Movie({t}));
    const std::string out = dir.File("joined.mp4");
    ASSERT_EQ(JoinFiles({p, p, p}, out, RecorderFamily::TX40), kJoinWritten);
    Opened o(out);
    ASSERT_TRUE(o.movie);
    const sTAGNODE& mdhd = *o.Track(0).mdhd;
    ASSERT_EQ(mdhd.data.size(), 36u);
    EXPECT_EQ(mdhd.data[0], 1);
    EXPECT_EQ(LoadBE32(&mdhd.data[20]), 1000000u); // time scale kept
    EXPECT_EQ(Duration(mdhd), 9000000000ull);
    EXPECT_EQ(Duration(*o.Track(0).tkhd), 9000000u);
    EXPECT_EQ(Column(*o.Track(0).stts, 2, 0), (std::vector<uint32_t>{4, 4, 4}));
}

// A combined recording of three tracks: two files, each with its camera's
// video and the sound, renumbered, their chunks packed from offset 32.
TEST(Split, ThreeTrackRecordingGivesOneFilePerCamera) {
    TempDir dir;
    const Bytes gps = Gps0Box(Block(Header40{}.Build(2), Records40(2, "  77")));
    const Bytes source = Combined({6, 5, 9}, gps);
    const std::string in = dir.Write("combined.mp4", source);
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    const std::string front = dir.File("front.mp4"), rear = dir.File("rear.mp4");
    std::string why;
    ASSERT_TRUE(SeparateTracks(*movie, front, rear, nullptr, &why)) << why;
    EXPECT_EQ(ReadAll(in), source);

    const uint32_t kept[2][2] = {{0, 2}, {1, 2}};
    for (int f = 0; f < 2; ++f) {
        SCOPED_TRACE(f);
        const std::string path = f ? rear : front;
        Opened o(path);
        ASSERT_TRUE(o.movie);
        ASSERT_EQ(o.layout.tracks.size(), 2u);
        const Bytes bytes = ReadAll(path);
        uint32_t samples = 0, first = ~0u;
        for (uint32_t k = 0; k < 2; ++k) {
            const TrackBoxes& t = o.Track(k);
            TkhdBox tkhd;
            ASSERT_TRUE(tkhd.Read(*t.tkhd));
            EXPECT_EQ(tkhd.TrackId(), k + 1);
            const std::vector<uint32_t> offsets = Column(*t.stco, 1);
            for (uint32_t i = 0; i < offsets.size(); ++i)
                EXPECT_EQ(At(bytes, offsets[i]), SampleBytes(kept[f][k], i)) << k << " " << i;
            samples += uint32_t(offsets.size());
            first = std::min(first, offsets.empty() ? first : offsets[0]);
        }
        EXPECT_EQ(first, 32u);
        // The mdat holds exactly the kept samples.
        EXPECT_EQ(o.layout.mdat->size, samples * 4);
        MvhdBox mvhd;
        ASSERT_TRUE(mvhd.Read(*o.layout.mvhd));
        EXPECT_EQ(mvhd.Load(mvhd.NextTrackIdField()), 3u);
        // The front file keeps the movie's duration, the rear file lasts as
        // long as the rear track.
        EXPECT_EQ(Duration(*o.layout.mvhd), f ? 5u * 33333 / 1000 : 6u * 33333 / 1000);
        EXPECT_EQ(Speeds(path, RecorderFamily::TX40), (std::vector<double>{77, 77}));
    }
}

TEST(Split, TwoTrackRecordingGivesTheFrontFileOnly) {
    TempDir dir;
    const Bytes source = Combined({4, 7});
    const std::string in = dir.Write("two.mp4", source);
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX50);
    ASSERT_TRUE(movie);
    ASSERT_TRUE(SeparateTracks(*movie, dir.File("front.mp4"), dir.File("rear.mp4")));
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"front.mp4", "two.mp4"}));
    Opened o(dir.File("front.mp4"), RecorderFamily::TX50), s(in, RecorderFamily::TX50);
    ASSERT_EQ(o.layout.tracks.size(), 2u);
    // Nothing was left out: the same media in the same places.
    const Bytes out = ReadAll(dir.File("front.mp4"));
    ASSERT_EQ(o.layout.mdat->size, s.layout.mdat->size);
    EXPECT_EQ(0, std::memcmp(&out[32], &source[32], s.layout.mdat->size));
    for (size_t t = 0; t < 2; ++t)
        EXPECT_EQ(Column(*o.Track(t).stco, 1), Column(*s.Track(t).stco, 1));
}

TEST(Split, ChunksMergeByOffsetWithSoundFirstOnTies) {
    TempDir dir;
    std::vector<TrackLayout> tracks = ThreeTracks(2);
    tracks[0].chunkOffsets = {32, 44};
    tracks[1].chunkOffsets = {48, 52};
    tracks[2].chunkOffsets = {32, 40};
    Bytes moov = Mvhd(66);
    for (const auto& t : tracks)
        Append(moov, Trak(t));
    const std::string in =
        dir.Write("ties.mp4", Cat({Ftyp(), Box("mdat", Zeros(32)), Box("moov", moov)}));
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    std::vector<ChunkRecord> chunks;
    ASSERT_TRUE(BuildChunkList(*movie, 0, 2, &chunks));
    std::vector<std::pair<int, uint32_t>> order;
    for (const ChunkRecord& c : chunks)
        order.emplace_back(c.track, c.index);
    EXPECT_EQ(order, (std::vector<std::pair<int, uint32_t>>{{1, 0}, {0, 0}, {1, 1}, {0, 1}}));
    EXPECT_EQ(chunks[1].sourceLength, 12u); // to the video track's next chunk
    EXPECT_EQ(chunks[3].sourceLength, 20u); // to the end of the media data
    EXPECT_EQ(chunks[3].written, 4u);
    EXPECT_EQ(chunks[3].sizes, (std::vector<uint32_t>{4}));
}

TEST(Split, MalformedTablesFailWithNoOutput) {
    TempDir dir;
    Bytes badStsc = Combined({3, 3, 3});
    StoreBE32(&badStsc[FindType(badStsc, "stsc", 0) + 12], 2); // first entry names chunk 2
    Bytes shortStsz = Combined({3, 3, 3});
    StoreBE32(&shortStsz[FindType(shortStsz, "stsz", 2) + 12], 2); // sound: 2 of 3 samples
    Bytes outside = Combined({3, 3, 3});
    StoreBE32(&outside[FindType(outside, "stco", 0) + 16], 4000); // a chunk past the media
    for (const Bytes& source : {badStsc, shortStsz, outside}) {
        const std::string in = dir.Write("in.mp4", source);
        auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
        ASSERT_TRUE(movie);
        std::string why;
        EXPECT_FALSE(
            SeparateTracks(*movie, dir.File("front.mp4"), dir.File("rear.mp4"), nullptr, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"in.mp4"}));
    }
    // A TX50 family block lies outside the boxes and is not carried.
    const std::string in =
        dir.Write("in.mp4", Combined({3, 3, 3}, Block(Header50{}.Build(1), Records50(1, "  5"))));
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX50);
    ASSERT_TRUE(movie && movie->tx50Gps.present);
    ASSERT_TRUE(SeparateTracks(*movie, dir.File("front.mp4"), ""));
    EXPECT_EQ(Speeds(dir.File("front.mp4"), RecorderFamily::TX50), std::vector<double>{});
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"front.mp4", "in.mp4"}));
}
