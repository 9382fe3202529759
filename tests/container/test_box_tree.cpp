// The box tree: reading the recorder's layout, writing it back, the
// movie-header-first rewrite, table edits, and hostile input.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "container/mp4_builder.h"
#include "playcore/container/box_types.h"
#include "playcore/container/boxes/stco_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/gps_block.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/mp4_write.h"
#include "playcore/container/sample_tables.h"

using namespace playcore;
using namespace testmp4;

namespace {

std::vector<std::string> TypesOf(const sTAGNODE& node) {
    std::vector<std::string> out;
    for (const auto& c : node.children)
        out.emplace_back(c->Type());
    return out;
}

std::vector<uint32_t> Entries(const sTAGNODE& stco) {
    StcoBox t;
    std::vector<uint32_t> out;
    if (!t.Read(stco)) return out;
    for (uint32_t i = 0; i < t.Count(); ++i)
        out.push_back(t.ChunkOffset(i));
    return out;
}

Bytes Tx40Recording(uint16_t records = 3) {
    std::vector<Bytes> recs;
    for (uint16_t i = 0; i < records; ++i)
        recs.push_back(Rec40{}.Build());
    return Cat({Movie(ThreeTracks()), Gps0Box(Block(Header40{}.Build(records), recs))});
}

bool FileExists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

} // namespace

TEST(KnownBoxTypes, ListAndExactLookup) {
    EXPECT_EQ(KnownBoxTypes.size(), 172u);
    EXPECT_EQ(KnownBoxTypes.front(), "ainf");
    EXPECT_EQ(KnownBoxTypes[53], "jP  ");
    EXPECT_EQ(KnownBoxTypes[164], "xml ");
    EXPECT_EQ(KnownBoxTypes[165], "xml ");
    EXPECT_EQ(KnownBoxTypes[166], "udat");
    EXPECT_EQ(KnownBoxTypes.back(), "Xtra");
    for (std::string_view t : {"moov", "gps0", "ID32", "UITS", "url ", "xml ", "jP  ", "Xtra"})
        EXPECT_TRUE(IsKnownBoxType(t)) << t;
    // Exact and case-sensitive on all four bytes.
    for (std::string_view t : {"MOOV", "id32", "xtra", "url", "moov ", "avc1", "CSOD"})
        EXPECT_FALSE(IsKnownBoxType(t)) << t;
}

TEST(BoxTree, ReadsRecorderLayout) {
    TempDir dir;
    const std::string path = dir.Write("rec.mp4", Tx40Recording());
    auto movie = OpenMp4Movie(path, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    const sTAGNODE& root = movie->root;
    EXPECT_EQ(root.depth, 0);
    EXPECT_EQ(root.size, movie->fileSize);
    EXPECT_EQ(TypesOf(root), (std::vector<std::string>{"ftyp", "mdat", "moov", "gps0"}));
    const sTAGNODE& mdat = *root.children[1];
    EXPECT_EQ(mdat.leaf, 1u);
    EXPECT_TRUE(mdat.data.empty());
    EXPECT_EQ(mdat.offset, 32u);

    const auto& l = movie->lists;
    EXPECT_EQ(l[kMdatList].size(), 1u);
    EXPECT_EQ(l[kGps0List].size(), 1u);
    EXPECT_TRUE(l[kUnusedList2].empty());
    EXPECT_TRUE(l[kUnusedList8].empty());
    for (BoxListSlot s :
         {kStszList, kStcoList, kStscList, kSttsList, kMdhdList, kTkhdList, kElstList, kStsdList})
        EXPECT_EQ(l[s].size(), 3u) << s;
    EXPECT_EQ(l[kStssList].size(), 2u); // the audio track has none
    EXPECT_EQ(l[kMvhdList].size(), 1u);
    EXPECT_EQ(movie->duration, 4u * 33333 / 1000);

    const sTAGNODE& stsd = *l[kStsdList][0];
    EXPECT_EQ(stsd.leaf, 1u);
    EXPECT_EQ(stsd.data.size(), stsd.size);
    EXPECT_EQ(stsd.copied, stsd.size);
    EXPECT_EQ(stsd.depth, 6); // moov trak mdia minf stbl stsd

    const sTAGNODE& gps = *l[kGps0List][0];
    ASSERT_TRUE(gps.gps);
    EXPECT_EQ(gps.gps->recordCount, 3u);
    EXPECT_EQ(gps.gps->recordBytes, 3u * 79);
    EXPECT_EQ(gps.gps->blockBytes, 3u * 79 + 40);
    EXPECT_EQ(NodeSize(gps), 3u * 79 + 48);
    EXPECT_TRUE(gps.data.empty());
}

TEST(BoxTree, WritesBackByteForByte) {
    TempDir dir;
    // udta whose first child is of an unknown type is a leaf; a container
    // with an unknown box after a known one keeps the rest as its tail.
    const Bytes udta = Box("udta", Box("abcd", Text("hello")));
    const Bytes meta =
        Box("dinf", Cat({Box("free", Text("xy")), Box("zzzz", Text("tail")), Text("odd")}));
    const std::vector<Bytes> inputs = {
        Movie({TrackLayout{}, TrackLayout{}}),
        Tx40Recording(),
        Movie(ThreeTracks(), Cat({udta, meta})),
        Cat({Movie({TrackLayout{}}), Box("free", Zeros(20))}),
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string in = dir.Write("in" + std::to_string(i), inputs[i]);
        auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
        ASSERT_TRUE(movie) << i;
        const std::string out = dir.File("out" + std::to_string(i));
        ASSERT_TRUE(WriteTreeToPath(movie->root, out)) << i;
        EXPECT_EQ(ReadAll(out), inputs[i]) << i;
    }
    auto movie = OpenMp4Movie(dir.File("in2"), true, RecorderFamily::TX40);
    std::vector<sTAGNODE*> found;
    CollectBoxes(movie->root, "udta", found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->leaf, 1u);
    found.clear();
    CollectBoxes(movie->root, "dinf", found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->leaf, 0u);
    EXPECT_EQ(TypesOf(*found[0]), std::vector<std::string>{"free"});
    EXPECT_EQ(found[0]->tailSize, 8u + 4 + 3);
    EXPECT_EQ(NodeSize(*found[0]), meta.size());
}

TEST(BoxTree, MoovFirstMovesMediaAndChunkOffsets) {
    TempDir dir;
    const Bytes source = Movie(ThreeTracks(6));
    const std::string in = dir.Write("in.mp4", source);
    auto movie = OpenMp4ConvertMovie(in, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    ASSERT_EQ(movie->moovList.size(), 1u);
    EXPECT_EQ(movie->moovList[0], movie->root.children[2].get());
    const uint64_t moovSize = NodeSize(*movie->moovList[0]);
    std::vector<std::vector<uint32_t>> before;
    for (sTAGNODE* stco : movie->List(kStcoList))
        before.push_back(Entries(*stco));

    const std::string out = dir.File("out.mp4");
    ASSERT_TRUE(WriteTreeToPath(movie->root, out, true));
    const Bytes written = ReadAll(out);
    EXPECT_EQ(written.size(), source.size());

    auto result = OpenMp4Movie(out, true, RecorderFamily::TX40);
    ASSERT_TRUE(result);
    EXPECT_EQ(TypesOf(result->root), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
    const auto& stcos = result->List(kStcoList);
    ASSERT_EQ(stcos.size(), before.size());
    for (size_t t = 0; t < stcos.size(); ++t) {
        const auto after = Entries(*stcos[t]);
        ASSERT_EQ(after.size(), before[t].size());
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i], before[t][i] + moovSize);
            // The chunk still holds the same media bytes.
            EXPECT_EQ(0, std::memcmp(&written[after[i]], &source[before[t][i]], 4));
        }
    }

    // A tree whose moov already comes first is written unchanged.
    const std::string again = dir.File("again.mp4");
    ASSERT_TRUE(WriteTreeToPath(result->root, again, true));
    EXPECT_EQ(ReadAll(again), written);
}

TEST(BoxTree, MoovFirstOutputDecodesWithFfmpeg) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    TempDir dir;
    const std::string src = dir.File("src.mp4");
    const std::string make =
        "ffmpeg -v error -nostdin -y -f lavfi -i testsrc=duration=1:size=96x64:rate=15 "
        "-f lavfi -i sine=duration=1 -c:v mpeg4 -c:a aac -shortest " +
        src;
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "ffmpeg cannot make a sample";
    auto movie = OpenMp4Movie(src, false, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    const std::string out = dir.File("moovfirst.mp4");
    ASSERT_TRUE(WriteTreeToPath(movie->root, out, true));
    auto result = OpenMp4Movie(out, false, RecorderFamily::TX40);
    ASSERT_TRUE(result);
    std::vector<std::string> top = TypesOf(result->root);
    auto moov = std::find(top.begin(), top.end(), "moov");
    auto mdat = std::find(top.begin(), top.end(), "mdat");
    ASSERT_TRUE(moov != top.end() && mdat != top.end());
    EXPECT_LT(moov - top.begin(), mdat - top.begin());
    const std::string errors = dir.File("errors.txt");
    const std::string check = "ffmpeg -v error -nostdin -i " + out + " -f null - 2>" + errors;
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_TRUE(ReadAll(errors).empty())
        << std::string(ReadAll(errors).begin(), ReadAll(errors).end());
}

TEST(SampleTables, EditsRespectCountsAndPayload) {
    sTAGNODE stco;
    std::memcpy(stco.type, "stco", 4);
    stco.data = Cat({BE32(0), BE32(2), BE32(100), BE32(0xFFFFFFFF)});
    stco.size = stco.data.size();
    EXPECT_TRUE(AddToEntries(stco, 5, 1));
    EXPECT_EQ(Entries(stco), (std::vector<uint32_t>{105, 4})); // wraps at 32 bits

    sTAGNODE stsc;
    stsc.data = Cat({BE32(0), BE32(2), BE32(1), BE32(7), BE32(1), BE32(3), BE32(7), BE32(1)});
    EXPECT_TRUE(AddToEntries(stsc, 10, 3));
    EXPECT_EQ(LoadBE32(&stsc.data[8]), 11u);
    EXPECT_EQ(LoadBE32(&stsc.data[12]), 7u);
    EXPECT_EQ(LoadBE32(&stsc.data[20]), 13u);

    // Count 0, top bit set, or more entries than the payload holds: unchanged.
    for (uint32_t count : {0u, 0x80000001u, 3u}) {
        sTAGNODE t;
        t.data = Cat({BE32(0), BE32(count), BE32(1), BE32(2)});
        const Bytes copy = t.data;
        EXPECT_FALSE(AddToEntries(t, 1, 1)) << count;
        EXPECT_EQ(t.data, copy);
    }
    sTAGNODE shortBox;
    shortBox.data = {0, 0, 0};
    EXPECT_FALSE(AddToEntries(shortBox, 1, 1));

    sTAGNODE a, b;
    a.data = Cat({Zeros(16), BE32(0xFFFFFFF0)});
    b.data = Cat({Zeros(16), BE32(0x20)});
    EXPECT_TRUE(AddBE32At(a, b, 16));
    EXPECT_EQ(LoadBE32(&a.data[16]), 0x10u);
    sTAGNODE tiny;
    tiny.data = Zeros(18);
    EXPECT_FALSE(AddBE32At(a, tiny, 16));
    EXPECT_FALSE(AddBE32At(tiny, b, 16));
    EXPECT_EQ(LoadBE32(&a.data[16]), 0x10u);
}

TEST(BoxTree, AppendChainsAreWrittenFromTheirSources) {
    TempDir dir;
    std::vector<Bytes> recsA(2, Rec40{}.Build()), recsB;
    Rec40 other;
    other.speed = " 999";
    recsB.assign(3, other.Build());
    const Bytes a = Cat({Movie({TrackLayout{}}), Gps0Box(Block(Header40{}.Build(2), recsA))});
    const Bytes b = Cat({Movie({TrackLayout{}}), Gps0Box(Block(Header40{}.Build(3), recsB))});
    auto ma = OpenMp4Movie(dir.Write("a.mp4", a), true, RecorderFamily::TX40);
    auto mb = OpenMp4Movie(dir.Write("b.mp4", b), true, RecorderFamily::TX40);
    ASSERT_TRUE(ma && mb);
    sTAGNODE& mdatA = *ma->List(kMdatList)[0];
    sTAGNODE& mdatB = *mb->List(kMdatList)[0];
    mdatA.appendHead = &mdatB;
    mdatA.size += mdatB.size;
    sTAGNODE& gpsA = *ma->List(kGps0List)[0];
    sTAGNODE& gpsB = *mb->List(kGps0List)[0];
    gpsA.appendHead = &gpsB;
    gpsA.gps->joinedCount = gpsA.gps->recordCount + gpsB.gps->recordCount;

    const std::string out = dir.File("joined.mp4");
    ASSERT_TRUE(WriteTreeToPath(ma->root, out));
    auto joined = OpenMp4Movie(out, true, RecorderFamily::TX40);
    ASSERT_TRUE(joined);
    const sTAGNODE& mdat = *joined->List(kMdatList)[0];
    EXPECT_EQ(mdat.size, mdatA.size);
    const Bytes bytes = ReadAll(out);
    EXPECT_EQ(
        0, std::memcmp(&bytes[mdat.offset + mdatB.origSize], &b[mdatB.origOffset], mdatB.origSize));
    const sTAGNODE& gps = *joined->List(kGps0List)[0];
    EXPECT_EQ(gps.gps->recordCount, 5u);
    EXPECT_EQ(LoadBE32(&bytes[gps.offset - 8]), 5u * 79 + 48);
    GpsBlockBytes block;
    ASSERT_TRUE(LocateBlock(*joined, &block));
    std::vector<GpsRecord> records;
    ASSERT_TRUE(DecodeRecords(RecorderFamily::TX40, block.bytes.data(), block.bytes.size(),
                              &records, nullptr, nullptr));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1].speed, 42);
    EXPECT_EQ(records[2].speed, 999);

    // An mdat whose size disagrees with its chain fails the write, and
    // nothing is left under the final name.
    mdatA.size += 1;
    const std::string bad = dir.File("bad.mp4");
    EXPECT_FALSE(WriteTreeToPath(ma->root, bad));
    EXPECT_FALSE(FileExists(bad));
}

TEST(BoxTree, WriteNeverReplacesASource) {
    TempDir dir;
    const Bytes source = Movie({TrackLayout{}});
    const std::string in = dir.Write("in.mp4", source);
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(WriteTreeToPath(movie->root, in));
    EXPECT_EQ(ReadAll(in), source);
    // A leaf whose copied payload no longer matches its size fails the write.
    movie->List(kStcoList)[0]->data.push_back(0);
    const std::string out = dir.File("out.mp4");
    EXPECT_FALSE(WriteTreeToPath(movie->root, out));
    EXPECT_FALSE(FileExists(out));
    // No temporary files are left in the folder.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(BoxTree, HostileInputFailsCleanly) {
    TempDir dir;
    auto opens = [&](const Bytes& bytes) {
        return OpenMp4Movie(dir.Write("x.mp4", bytes), true, RecorderFamily::TX40) != nullptr;
    };
    const Bytes good = Movie({TrackLayout{}});
    EXPECT_TRUE(opens(good));
    EXPECT_FALSE(OpenMp4Movie(dir.File("missing.mp4"), true, RecorderFamily::TX40) != nullptr);
    EXPECT_FALSE(opens({}));                                               // empty file
    EXPECT_FALSE(opens(Text("this is a text file, not a movie")));         // not MP4
    EXPECT_FALSE(opens(Cat({BE32(0x18), Text("ftyp")})));                  // box cut off
    EXPECT_FALSE(opens(Cat({Ftyp(), BE32(4), Text("free")})));             // size below 8
    EXPECT_FALSE(opens(Cat({Ftyp(), BE32(0), Text("mdat")})));             // to-end-of-file form
    EXPECT_FALSE(opens(Cat({Ftyp(), BE32(1), Text("mdat"), Zeros(8)})));   // 64-bit form
    EXPECT_FALSE(opens(Cat({Ftyp(), BE32(100), Text("mdat"), Zeros(8)}))); // past the file
    // Children that add up past their parent (but not past the file).
    EXPECT_FALSE(opens(Cat({Box("moov", Cat({BE32(40), Text("free"), Zeros(8)})), Zeros(64)})));
    // Nesting deeper than any real file.
    Bytes deep = Box("free", Text("x"));
    for (int i = 0; i < 200; ++i)
        deep = Box("moov", deep);
    EXPECT_FALSE(opens(deep));
    // A mvhd too short for the duration, a stsd of one byte: opens, no duration.
    {
        auto m = OpenMp4Movie(
            dir.Write(
                "short.mp4",
                Cat({Ftyp(), Box("moov", Cat({Box("mvhd", Zeros(10)), Box("stsd", Zeros(1))}))})),
            true, RecorderFamily::TX40);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->duration, 0u);
        EXPECT_EQ(m->List(kStsdList).size(), 1u);
    }
    // A table whose count does not fit its payload reads as no table.
    {
        sTAGNODE t;
        std::memcpy(t.type, "stts", 4);
        t.data = Cat({BE32(0), BE32(1000), BE32(1), BE32(2)});
        SttsBox v;
        EXPECT_FALSE(v.Read(t));
        EXPECT_EQ(v.Count(), 0u);
        t.data = Cat({BE32(0), BE32(1), BE32(1), BE32(2)});
        EXPECT_TRUE(v.Read(t));
        EXPECT_EQ(v.Sums().total, 2u);
        std::memcpy(t.type, "stco", 4);
        EXPECT_FALSE(v.Read(t)); // a view reads only its own box type
    }
}

TEST(BoxTree, EveryPrefixAndManyCorruptionsAreHandled) {
    // Truncations at every length, and random byte changes, of a recording of
    // each family: the open fails or succeeds, and a tree that opened writes.
    TempDir dir("/dev/shm");
    const Bytes tx40 = Tx40Recording(2);
    const Bytes tx50 = Cat({Movie({TrackLayout{}, TrackLayout{}}),
                            Block(Header50{}.Build(2), {Rec50{}.Build(), Rec50{}.Build()})});
    std::mt19937 rng(12345);
    int opened = 0;
    for (const auto& [bytes, family] :
         {std::pair{tx40, RecorderFamily::TX40}, std::pair{tx50, RecorderFamily::TX50}}) {
        std::vector<Bytes> cases;
        for (size_t n = 0; n < bytes.size(); n += 7)
            cases.emplace_back(bytes.begin(), bytes.begin() + n);
        for (int i = 0; i < 150; ++i) {
            Bytes c = bytes;
            for (int k = 0; k < 4; ++k)
                c[rng() % c.size()] = uint8_t(rng());
            cases.push_back(std::move(c));
        }
        for (const Bytes& c : cases) {
            const std::string in = dir.Write("case.mp4", c);
            auto movie = OpenMp4Movie(in, true, family);
            if (!movie) continue;
            ++opened;
            GpsBlockBytes block;
            if (LocateBlock(*movie, &block)) {
                std::vector<GpsRecord> g;
                std::vector<AccelRecord> a;
                DecodeRecords(family, block.bytes.data(), block.bytes.size(), &g, &a, nullptr);
            }
            WriteTreeToPath(movie->root, dir.File("case-out.mp4"));
            WriteTreeToPath(movie->root, dir.File("case-out2.mp4"), true);
        }
    }
    EXPECT_GT(opened, 0);
}

TEST(MapFile, ViewsAndLargeFiles) {
    TempDir dir;
    Bytes bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7);
    const std::string p = dir.Write("f.bin", bytes);
    sMAPFILE f;
    ASSERT_TRUE(OpenMapFile(p, &f));
    EXPECT_GT(f.granularity, 0u);
    uint64_t got = 0;
    const uint8_t* v = MapRange(f, 5000, 100000, &got);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(got, 5000u); // cut at the end of the file
    EXPECT_EQ(f.viewDelta, 5000u % f.granularity);
    EXPECT_EQ(0, std::memcmp(v, &bytes[5000], 5000));
    UnmapRange(f, v);
    EXPECT_EQ(f.viewDelta, 0u);
    EXPECT_EQ(MapRange(f, 10000, 1, &got), nullptr);
    CloseMapFile(f);

    // 4 GiB and more is outside the supported range.
    const std::string big = dir.File("big.bin");
    FILE* b = std::fopen(big.c_str(), "wb");
    ASSERT_NE(b, nullptr);
    std::fclose(b);
    if (::truncate(big.c_str(), 0x100000008ll) != 0) GTEST_SKIP() << "no sparse files here";
    EXPECT_FALSE(OpenMapFile(big, &f));
}

TEST(BoxTree, LargeLeavesStayInTheSource) {
    TempDir dir;
    Bytes big(kMaxCopiedLeaf + 1, 0x5A);
    big[0] = 1; // not a box header inside
    const Bytes source = Cat({Movie({TrackLayout{}}), Box("free", big)});
    const std::string in = dir.Write("in.mp4", source);
    auto movie = OpenMp4Movie(in, true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    const sTAGNODE& free = *movie->root.children.back();
    EXPECT_TRUE(free.payloadInSource);
    EXPECT_TRUE(free.data.empty());
    EXPECT_LT(movie->copiedBytes, 4096u);
    ASSERT_TRUE(WriteTreeToPath(movie->root, dir.File("out.mp4")));
    EXPECT_EQ(ReadAll(dir.File("out.mp4")), source);
}
