// The file queries: completeness, the frame-timing probe and the table reads
// of the file operations.

#include <gtest/gtest.h>

#include "container/mp4_builder.h"
#include "playcore/container/file_queries.h"

using namespace playcore;
using namespace testmp4;

TEST(IsRecordingComplete, EndMarkerInTheLastRecordAndFtyp) {
    TempDir dir;
    const Bytes movie = Movie({TrackLayout{}});
    const Bytes tx40 = Cat({movie, Gps0Box(Block(Header40{}.Build(1), {Rec40{}.Build()}))});
    EXPECT_TRUE(IsRecordingComplete(dir.Write("a.mp4", tx40), RecorderFamily::TX40));

    // "CSOEND" just inside the last 85 / 97 bytes.
    const Bytes at85 = Cat({movie, Text("CSOEND"), Bytes(79, 0)});
    EXPECT_TRUE(IsRecordingComplete(dir.Write("b.mp4", at85), RecorderFamily::TX40));
    const Bytes at86 = Cat({movie, Text("CSOEND"), Bytes(80, ' ')});
    EXPECT_FALSE(IsRecordingComplete(dir.Write("c.mp4", at86), RecorderFamily::TX40));
    EXPECT_TRUE(IsRecordingComplete(dir.File("c.mp4"), RecorderFamily::TX50));
    const Bytes at98 = Cat({movie, Text("CSOEND"), Bytes(92, ' ')});
    EXPECT_FALSE(IsRecordingComplete(dir.Write("d.mp4", at98), RecorderFamily::TX50));

    // Zero bytes read as blanks, so a marker split by one is no marker.
    const Bytes split = Cat({movie, Text("CSO"), Bytes(1, 0), Text("END"), Bytes(10, ' ')});
    EXPECT_FALSE(IsRecordingComplete(dir.Write("e.mp4", split), RecorderFamily::TX40));

    // Ends well but does not start with ftyp.
    Bytes noFtyp = tx40;
    noFtyp[4] = 'x';
    EXPECT_FALSE(IsRecordingComplete(dir.Write("f.mp4", noFtyp), RecorderFamily::TX40));

    EXPECT_FALSE(IsRecordingComplete(dir.Write("empty.mp4", {}), RecorderFamily::TX40));
    EXPECT_FALSE(IsRecordingComplete(dir.Write("short.mp4", Text("CSOEND")), RecorderFamily::TX40));
    EXPECT_FALSE(IsRecordingComplete(dir.File("missing.mp4"), RecorderFamily::TX40));
    EXPECT_FALSE(IsRecordingComplete(dir.path(), RecorderFamily::TX40)); // a folder
}

TEST(FrameTimingProbe, AcceptsRefusesOrDoesNotKnow) {
    TempDir dir;
    auto probe = [&](std::vector<TrackLayout> tracks) {
        return ProbeFrameTiming(dir.Write("p.mp4", Movie(std::move(tracks))), RecorderFamily::TX40);
    };
    TrackLayout audio{10, 21333, 0, {}, false, false, {}};

    // 2.0 s at 30 frames per second: too short.
    FrameTimingProbe p = probe({TrackLayout{60, 33333, 640, {}, true, false, {}}, audio});
    EXPECT_EQ(p.result, kProbeTooShort);
    ASSERT_EQ(p.cameras.size(), 1u);
    EXPECT_FLOAT_EQ(p.cameras[0].frameDurationMs, 33.0f);
    EXPECT_NEAR(p.cameras[0].durationS, 1.99998, 1e-5);

    // 1.8 s of 66 ms frames: ⌊1000 ÷ 66⌋ = 15, accepted.
    p = probe({TrackLayout{27, 66666, 640, {}, true, false, {}}, audio});
    EXPECT_EQ(p.result, kProbeAccepted);
    EXPECT_FLOAT_EQ(p.cameras[0].frameDurationMs, 66.0f);
    EXPECT_NEAR(p.cameras[0].durationS, 1.799982, 1e-5);

    // Two cameras and the audio, both long enough; several stts entries.
    TrackLayout front{91, 33333, 1920, {}, true, false, {}};
    TrackLayout rear{91, 0, 1280, {}, true, false, {{90, 33000}, {1, 36000}}};
    p = probe({front, rear, audio});
    EXPECT_EQ(p.result, kProbeAccepted);
    ASSERT_EQ(p.cameras.size(), 2u);
    EXPECT_FLOAT_EQ(p.cameras[1].frameDurationMs, 33.0f); // ⌊⌊3,006,000 ÷ 91⌋ ÷ 1000⌋
    EXPECT_NEAR(p.cameras[1].durationS, 3.006, 1e-6);

    // A second camera too short ends the probe with 2.
    rear.stts = {{10, 33333}};
    EXPECT_EQ(probe({front, rear, audio}).result, kProbeTooShort);

    // No entries, or counts adding up to zero: unknown.
    TrackLayout empty{0, 0, 640, {}, true, false, {}};
    empty.stts = {};
    TrackLayout none = front;
    none.stts = {{0, 33333}};
    EXPECT_EQ(probe({none, audio}).result, kProbeUnknown);
    // One track only (its stts is taken as the audio's): unknown.
    EXPECT_EQ(probe({front}).result, kProbeUnknown);
    EXPECT_EQ(ProbeFrameTiming(dir.File("missing.mp4"), RecorderFamily::TX40).result, kProbeUnknown);
    // A table whose entry count does not fit its box: unknown.
    Bytes bad = Movie({front, audio});
    const auto at = std::search(bad.begin(), bad.end(), std::begin("stts"), std::end("stts") - 1);
    ASSERT_NE(at, bad.end());
    const size_t count = size_t(at - bad.begin()) + 8;
    bad[count] = 0x7F;
    EXPECT_EQ(ProbeFrameTiming(dir.Write("bad.mp4", bad), RecorderFamily::TX40).result, kProbeUnknown);
}

TEST(FileQueries, TablesAndTrackWidths) {
    TempDir dir;
    const auto three = ThreeTracks(30);
    const std::string path = dir.Write("three.mp4", Movie(three));
    EXPECT_EQ(FirstSampleCount(path, RecorderFamily::TX40), 30);
    EXPECT_EQ(StszCount(path, RecorderFamily::TX40), 3);
    EXPECT_EQ(TrackWidth(path, 0, RecorderFamily::TX40), 1920);
    EXPECT_EQ(TrackWidth(path, 1, RecorderFamily::TX40), 1280);
    EXPECT_NEAR(FramesPerSecond(path, RecorderFamily::TX40), 1e6 / 33333, 1e-9);
    EXPECT_FLOAT_EQ(ProbedFrameDuration(path, RecorderFamily::TX40), 33.0f);

    // Fewer than three tkhd boxes: no width.
    const std::string two = dir.Write("two.mp4", Movie({three[0], three[2]}));
    EXPECT_EQ(TrackWidth(two, 0, RecorderFamily::TX40), -1);
    EXPECT_EQ(StszCount(two, RecorderFamily::TX40), 2);

    // No stts box: -1.0; an unreadable file: -1 everywhere.
    const std::string bare = dir.Write("bare.mp4", Cat({Ftyp(), Box("moov", Mvhd(1))}));
    EXPECT_EQ(FramesPerSecond(bare, RecorderFamily::TX40), -1.0);
    EXPECT_EQ(FirstSampleCount(bare, RecorderFamily::TX40), -1);
    EXPECT_EQ(ProbedFrameDuration(bare, RecorderFamily::TX40), -1.0f);
    const std::string junk = dir.Write("junk.mp4", Text("not a movie at all"));
    EXPECT_EQ(FirstSampleCount(junk, RecorderFamily::TX40), -1);
    EXPECT_EQ(StszCount(junk, RecorderFamily::TX40), -1);
    EXPECT_EQ(TrackWidth(junk, 0, RecorderFamily::TX40), -1);
    EXPECT_EQ(FramesPerSecond(junk, RecorderFamily::TX40), -1.0);
}
