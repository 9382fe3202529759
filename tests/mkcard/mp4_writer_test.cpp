// The recorder's file layout as mkcard writes it, checked with the tests' own
// box reader on movies of made-up samples (no encoder involved).

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "mkcard/box_reader.h"
#include "tools/mkcard/mp4_writer.h"

namespace {

using namespace mkcard;
using namespace mkcard_test;

// Sample bytes tell their track and number: track, number high, number low, ...
Mp4Track FakeTrack(TrackKind kind, int trackTag, uint32_t timescale, uint32_t delta, int count) {
    Mp4Track t;
    t.kind = kind;
    t.timescale = timescale;
    t.sampleDelta = delta;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> s(size_t(20 + (i * 37) % 50), uint8_t(trackTag));
        s[1] = uint8_t(i >> 8);
        s[2] = uint8_t(i);
        t.samples.push_back(s);
        t.sync.push_back(i % 10 == 0);
    }
    if (kind == TrackKind::Video) {
        t.width = 320;
        t.height = 180;
        t.sampleEntry =
            AvcSampleEntry(320, 180, {1, 66, 0, 13, 0xFF, 0xE1, 0, 1, 0x67, 1, 0, 1, 0x68});
    } else {
        t.sync.clear();
        t.mediaTime = 1024;
        t.sampleEntry = Mp4aSampleEntry(1, 48000, {0x11, 0x88}, 64000, 70000, 400);
    }
    return t;
}

Mp4Movie ThreeTracks() {
    Mp4Movie m;
    m.tracks.push_back(FakeTrack(TrackKind::Video, 0xA0, 1000000, 34364, 90));
    m.tracks.push_back(FakeTrack(TrackKind::Video, 0xB0, 1000000, 34364, 90));
    m.tracks.push_back(FakeTrack(TrackKind::Audio, 0xC0, 48000, 1024, 146));
    m.creationTime = 3767767767u;
    m.trailer = {'g', 'p', 's'};
    return m;
}

TEST(Mp4Writer, TopLevelLayoutOfTheRecorder) {
    Mp4Summary summary;
    const std::vector<uint8_t> file = BuildMp4(ThreeTracks(), &summary);
    ASSERT_FALSE(file.empty());
    size_t stopped = 0;
    const auto top = ParseBoxes(file, 0, file.size(), &stopped);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].type, "ftyp");
    EXPECT_EQ(top[0].size, 24u);
    EXPECT_EQ(top[1].type, "mdat");
    EXPECT_EQ(top[1].offset, 24u);
    EXPECT_EQ(top[2].type, "moov");
    // The trailer follows the last box unchanged.
    EXPECT_EQ(stopped, file.size() - 3);
    EXPECT_EQ(Text(file, stopped, 3), "gps");
    EXPECT_EQ(summary.fileSize, file.size());

    const Box& moov = top[2];
    EXPECT_EQ(moov.ChildTypes(), (std::vector<std::string>{"mvhd", "trak", "trak", "trak"}));
    const Box& mvhd = moov.Child("mvhd");
    EXPECT_EQ(Be32(file, mvhd.Payload() + 12), 1000u);      // movie time scale
    EXPECT_EQ(Be32(file, mvhd.Payload() + 16), 3093u);      // 90 x 34.364 ms
    EXPECT_EQ(Be32(file, mvhd.Payload() + 96), 4u);         // next track ID
    EXPECT_EQ(Be32(file, mvhd.Payload() + 4), 3767767767u); // creation time
    for (const Box* trak : moov.All("trak")) {
        EXPECT_EQ(trak->ChildTypes(), (std::vector<std::string>{"tkhd", "edts", "mdia"}));
        const Box& mdia = trak->Child("mdia");
        EXPECT_EQ(mdia.ChildTypes(), (std::vector<std::string>{"mdhd", "hdlr", "minf"}));
        const Box& minf = mdia.Child("minf");
        const bool video = Text(file, mdia.Child("hdlr").Payload() + 8, 4) == "vide";
        EXPECT_EQ(minf.ChildTypes(),
                  (std::vector<std::string>{video ? "vmhd" : "smhd", "dinf", "stbl"}));
        const std::vector<std::string> videoTables = {"stsd", "stts", "stss",
                                                      "stsz", "stsc", "stco"};
        const std::vector<std::string> audioTables = {"stsd", "stts", "stsz", "stsc", "stco"};
        EXPECT_EQ(minf.Child("stbl").ChildTypes(), video ? videoTables : audioTables);
    }
}

TEST(Mp4Writer, SampleTablesDescribeTheInterleavedChunks) {
    const Mp4Movie movie = ThreeTracks();
    const std::vector<uint8_t> file = BuildMp4(movie);
    const auto top = ParseBoxes(file, 0, file.size());
    const Box& mdat = top[1];
    struct Chunk {
        uint32_t offset;
        double start;
    };
    std::vector<Chunk> all;
    uint64_t mediaBytes = 0;
    bool equalNeighbours = false;
    const auto traks = top[2].All("trak");
    for (size_t ti = 0; ti < traks.size(); ++ti) {
        const TrackTables t = ReadTrack(file, *traks[ti]);
        const Mp4Track& src = movie.tracks[ti];
        EXPECT_EQ(t.trackId, ti + 1);
        EXPECT_EQ(t.timescale, src.timescale);
        ASSERT_EQ(t.stts.size(), 1u);
        EXPECT_EQ(t.stts[0].first, src.samples.size());
        EXPECT_EQ(t.stts[0].second, src.sampleDelta);
        EXPECT_EQ(t.mediaDuration, src.samples.size() * src.sampleDelta);
        EXPECT_EQ(t.editMediaTime, src.mediaTime);
        EXPECT_EQ(t.sampleEntry, ti < 2 ? "avc1" : "mp4a");
        if (ti < 2) {
            EXPECT_EQ(t.width, 320u);
            EXPECT_EQ(t.stss, (std::vector<uint32_t>{1, 11, 21, 31, 41, 51, 61, 71, 81}));
        }
        // stsc: one entry per chunk, numbered 1, 2, 3, ... even where the
        // sample counts of neighbouring chunks are equal.
        ASSERT_EQ(t.stsc.size(), t.stco.size());
        uint32_t sample = 0;
        for (size_t c = 0; c < t.stsc.size(); ++c) {
            EXPECT_EQ(t.stsc[c][0], c + 1);
            EXPECT_EQ(t.stsc[c][2], 1u);
            if (c > 0 && t.stsc[c][1] == t.stsc[c - 1][1]) equalNeighbours = true;
            // The chunk's bytes are its samples, in order, inside the mdat.
            uint32_t at = t.stco[c];
            EXPECT_GE(at, mdat.Payload());
            all.push_back({at, double(sample) * src.sampleDelta / src.timescale});
            for (uint32_t k = 0; k < t.stsc[c][1]; ++k, ++sample) {
                ASSERT_LE(at + t.sizes[sample], mdat.offset + mdat.size);
                EXPECT_EQ(file[at], src.samples[sample][0]);
                EXPECT_EQ(file[at + 1] << 8 | file[at + 2], int(sample));
                at += t.sizes[sample];
                mediaBytes += t.sizes[sample];
            }
        }
        EXPECT_EQ(sample, src.samples.size());
    }
    EXPECT_TRUE(equalNeighbours);
    // Every byte of the mdat belongs to one chunk, and chunks run in time order.
    EXPECT_EQ(mediaBytes, mdat.PayloadSize());
    std::sort(all.begin(), all.end(),
              [](const Chunk& a, const Chunk& b) { return a.offset < b.offset; });
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_LE(all[i - 1].start, all[i].start + 1e-9);
}

TEST(Mp4Writer, OptionalBoxesAndUnfinishedFiles) {
    Mp4Movie movie = ThreeTracks();
    movie.unknownUdtaChild = true;
    std::vector<uint8_t> file = BuildMp4(movie);
    auto top = ParseBoxes(file, 0, file.size());
    ASSERT_EQ(top.size(), 3u);
    const Box& udta = top[2].children.back();
    EXPECT_EQ(udta.type, "udta");
    ASSERT_EQ(udta.children.size(), 1u);
    EXPECT_EQ(udta.children[0].type, "vndr");

    movie.omitMoov = true;
    file = BuildMp4(movie);
    top = ParseBoxes(file, 0, file.size());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[1].type, "mdat");
    EXPECT_EQ(top[1].offset + top[1].size, file.size());

    Mp4Movie empty;
    std::string error;
    EXPECT_FALSE(WriteMp4(
        empty, [](const uint8_t*, size_t) { return true; }, nullptr, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteMp4(
        ThreeTracks(), [](const uint8_t*, size_t) { return false; }, nullptr, &error));
}

TEST(Mp4Writer, H264AndAacSampleEntries) {
    // Annex B with 4- and 3-byte start codes becomes 4-byte lengths.
    const std::vector<uint8_t> annexB = {0, 0, 0,    1,    0x67, 0x64, 0, 0x1F, 0xAA, 0,
                                         0, 1, 0x68, 0xEE, 0,    0,    1, 0x65, 1,    2};
    EXPECT_EQ(AnnexBToLengthPrefixed(annexB.data(), annexB.size()),
              (std::vector<uint8_t>{0, 0, 0,    5,    0x67, 0x64, 0, 0x1F, 0xAA, 0, 0,
                                    0, 2, 0x68, 0xEE, 0,    0,    0, 3,    0x65, 1, 2}));
    const std::vector<uint8_t> avcC = AvcConfigFromAnnexB(annexB.data(), annexB.size());
    ASSERT_GE(avcC.size(), 11u);
    EXPECT_EQ(avcC[0], 1);
    EXPECT_EQ(avcC[1], 0x64); // High profile from the SPS
    EXPECT_EQ(avcC[3], 0x1F);
    EXPECT_EQ(avcC[4], 0xFF); // 4-byte lengths
    EXPECT_EQ(avcC[5], 0xE1);
    EXPECT_EQ(avcC.size(), 6 + 2 + 5 + 1 + 2 + 2 + 4u); // High profile adds the format bytes
    EXPECT_TRUE(AvcConfigFromAnnexB(annexB.data(), 9).empty()); // no PPS

    const std::vector<uint8_t> entry = AvcSampleEntry(1920, 1080, avcC);
    const auto boxes = ParseBoxes(entry, 0, entry.size());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, "avc1");
    EXPECT_EQ(Be16(entry, 8 + 24), 1920);
    EXPECT_EQ(Be16(entry, 8 + 26), 1080);
    EXPECT_EQ(Text(entry, 8 + 78 + 4, 4), "avcC");

    const std::vector<uint8_t> mp4a = Mp4aSampleEntry(1, 48000, {0x11, 0x88}, 64000, 70000, 400);
    EXPECT_EQ(Text(mp4a, 4, 4), "mp4a");
    EXPECT_EQ(Be32(mp4a, 8 + 24) >> 16, 48000u);
    EXPECT_EQ(Text(mp4a, 8 + 28 + 4, 4), "esds");
    // The AudioSpecificConfig closes the decoder-specific descriptor (tag 5).
    const uint8_t needle[] = {5, 0x80};
    const auto tag5 = std::search(mp4a.begin(), mp4a.end(), std::begin(needle), std::end(needle));
    ASSERT_NE(tag5, mp4a.end());
    EXPECT_EQ(*(tag5 + 5), 0x11);
    EXPECT_EQ(*(tag5 + 6), 0x88);
}

} // namespace
