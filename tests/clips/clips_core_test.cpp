// Event clips, pure parts: SHA-256, the settings, the names, the span over
// consecutive recordings, the follow test, the merge of overlapping events,
// and whole clips cut from labelled recordings (every sample's bytes name
// its file, track and number), checked sample by sample.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "clips/fake_recordings.h"
#include "clips/private_cache.h"
#include "kinetta/catalogue/catalogue.h"
#include "kinetta/catalogue/container_probe.h"
#include "kinetta/catalogue/recording_names.h"
#include "kinetta/clips/clip_job.h"
#include "kinetta/clips/source_digests.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_trim.h"
#include "playcore/container/mp4_write.h"
#include "support/temp_dir.h"
#include "util/sha256.h"
#include "util/text.h"

using namespace kinetta;
using playcore::RecorderFamily;

namespace {

std::string Hex(std::string_view text) {
    kutil::Sha256 h;
    h.Update(text);
    return kutil::Sha256::Hex(h.Finish());
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(Sha256, StandardVectorsFilesAndBothRoundFunctions) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (bool portable : {false, true}) {
        kutil::Sha256::ForcePortableForTesting(portable);
        for (const auto& [text, digest] : vectors)
            EXPECT_EQ(Hex(text), digest) << text.size() << " bytes, portable " << portable;
    }
    // Lengths around the block and padding boundaries, fed in uneven pieces:
    // the processor's rounds and the portable ones agree.
    std::mt19937 random(7);
    for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 1000, 4097}) {
        std::string data(length, 0);
        for (char& c : data)
            c = char(random());
        std::string digests[2];
        for (int portable = 0; portable < 2; ++portable) {
            kutil::Sha256::ForcePortableForTesting(portable == 1);
            kutil::Sha256 h;
            for (size_t at = 0; at < length; at += 1 + at % 70)
                h.Update(data.data() + at, std::min(length - at, 1 + at % 70));
            digests[portable] = kutil::Sha256::Hex(h.Finish());
        }
        EXPECT_EQ(digests[0], digests[1]) << length;
    }
    kutil::Sha256::ForcePortableForTesting(false);

    ktest::TempDir dir;
    const std::string path = dir.Write("f.bin", std::string(3u << 20, 'a') + "tail");
    EXPECT_EQ(kutil::Sha256OfFile(path), Hex(ReadAll(path)));
    EXPECT_EQ(kutil::Sha256OfFile(dir / "missing"), "");
    EXPECT_EQ(kutil::Sha256OfFile(dir.path()), ""); // a folder is not read
    std::atomic<bool> stopped{false};
    EXPECT_EQ(kutil::Sha256OfFile(path, &stopped), "");
}

TEST(ClipSettings, TextsGiveSecondsInTheRange) {
    const std::pair<const char*, int> cases[] = {
        {"", 10},
        {"10", 10},
        {" 30 ", 30},
        {"1", 1},
        {"120", 120},
        {"0", 1},
        {"121", 120},
        {"-5", 1},
        {"+7", 7},
        {"abc", 10},
        {"15s", 10},
        {"1.5", 10},
        {"99999999999999", 120},
    };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(ClipSecondsFromText(text), seconds) << '"' << text << '"';
}

TEST(ClipNames, FormsGrammarAndPartners) {
    ClipMomentName gps;
    gps.fromGps = true;
    gps.time = {2025, 3, 0, 9, 7, 5, 4, 0};
    ClipMomentName name;
    name.fileNumber = 12;
    name.secondsOfDay = 86400 + 3723; // the day after: wraps
    EXPECT_EQ(ClipStem(gps, "shock"), "EV_20250309_070504_shock");
    EXPECT_EQ(ClipStem(name, "moment", 3), "EV_N012_010203_moment_3");
    EXPECT_EQ(ClipFileName("EV_x", ClipCamera::Rear), "EV_x_R.MP4");
    EXPECT_EQ(ClipIndexName("EV_x"), "EV_x.txt");

    struct Case {
        const char* name;
        ClipNameKind kind;
        const char* partner;
    };
    const Case cases[] = {
        {"EV_20250309_070504_shock_F.MP4", ClipNameKind::Front, "EV_20250309_070504_shock_R.MP4"},
        {"EV_20250309_070504_shock_2_R.mp4", ClipNameKind::Rear,
         "EV_20250309_070504_shock_2_F.mp4"},
        {"EV_N012_010203_moment.MP4", ClipNameKind::Combined, ""},
        {"EV_20250309_070504_shock_X.MP4", ClipNameKind::None, ""},
        {"EV_2025030_070504_shock_F.MP4", ClipNameKind::None, ""},
        {"EV_20250309_070504_Shock_F.MP4", ClipNameKind::None, ""},
        {"EV_20250309_070504_shock_F.MP4.txt", ClipNameKind::None, ""},
        {"EV_20250309_070504_shock_FxMP4", ClipNameKind::None, ""},
        {"012_153012A_M.MP4", ClipNameKind::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClassifyClipName(c.name), c.kind);
        EXPECT_EQ(ClipPartnerName(c.name), c.partner);
        for (RecorderFamily f : {RecorderFamily::TX40, RecorderFamily::TX50}) {
            // A combined clip is opened as one file for both cameras; the
            // recorder's grammar itself is not widened.
            if (c.kind != ClipNameKind::None) {
                EXPECT_EQ(IsCombinedName(c.name, f), c.kind == ClipNameKind::Combined);
                EXPECT_FALSE(IsFrontName(c.name, f) || IsRearName(c.name, f) ||
                             IsRecordingName(c.name, f));
            }
        }
    }
    EXPECT_TRUE(IsCombinedName("012_153012_A.MP4", RecorderFamily::TX40));
    EXPECT_TRUE(IsFrontName("012_153012A_M.MP4", RecorderFamily::TX40));
}

namespace {

// A file of 3 s at 10 frames a second: key frames every 5, records at frames
// 0, 10, 20 (one a second).
MovieFacts Facts(const std::string& path, int startSecond = 0, bool valid = true) {
    MovieFacts f;
    f.path = path;
    for (int i = 0; i <= 30; ++i)
        f.frameStart.push_back(i * 0.1);
    for (uint32_t k = 0; k < 30; k += 5)
        f.keyFrames.push_back(k);
    f.recordFrames = {0, 10, 20};
    f.firstTime = AddSeconds({2025, 1, 0, 1, 12, 0, 0, 0}, startSecond);
    f.lastTime = AddSeconds(*f.firstTime, 2);
    f.firstValid = f.lastValid = valid;
    return f;
}

} // namespace

TEST(ClipSpan, PartsFramesAndRecordsOverAChain) {
    struct Case {
        const char* what;
        int files, current;
        double t, before, after;
        std::vector<ClipPart> parts; // file, firstFrame, lastFrame, firstRecord, recordCount
        bool cutAtStart, cutAtEnd;
        double startSeconds, endSeconds;
    };
    const Case cases[] = {
        {"inside one file", 1, 0, 1.55, 0.5, 0.5, {{0, 10, 20, 1, 2}}, false, false, -0.55, 0.55},
        {"back to the key frame",
         1,
         0,
         1.85,
         0.5,
         0.1,
         {{0, 10, 19, 1, 1}},
         false,
         false,
         -0.85,
         0.15},
        {"into the file before",
         3,
         1,
         0.3,
         1.0,
         0.2,
         {{0, 20, 29, 2, 1}, {1, 0, 5, 0, 1}},
         false,
         false,
         -1.3,
         0.3},
        {"no file before", 1, 0, 0.3, 1.0, 0.2, {{0, 0, 5, 0, 1}}, true, false, -0.3, 0.3},
        {"into the file after",
         2,
         0,
         2.9,
         0.4,
         0.5,
         {{0, 25, 29, 3, 0}, {1, 0, 4, 0, 1}},
         false,
         false,
         -0.4,
         0.6},
        {"no file after", 1, 0, 2.9, 0.4, 0.5, {{0, 25, 29, 3, 0}}, false, true, -0.4, 0.1},
        {"through a whole file",
         3,
         0,
         2.9,
         0.4,
         3.5,
         {{0, 25, 29, 3, 0}, {1, 0, 29, 0, 3}, {2, 0, 4, 0, 1}},
         false,
         false,
         -0.4,
         3.6},
        {"end on a file's first frame",
         2,
         0,
         2.5,
         0.5,
         0.5,
         {{0, 20, 29, 2, 1}, {1, 0, 0, 0, 1}},
         false,
         false,
         -0.5,
         0.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<MovieFacts> chain;
        for (int k = 0; k < c.files; ++k)
            chain.push_back(Facts("f" + std::to_string(k)));
        ClipSpan span;
        ASSERT_TRUE(PlanSpan(chain, size_t(c.current), c.t, c.before, c.after, &span));
        ASSERT_EQ(span.parts.size(), c.parts.size());
        for (size_t k = 0; k < c.parts.size(); ++k) {
            const ClipPart& a = span.parts[k];
            const ClipPart& e = c.parts[k];
            EXPECT_EQ(a.file, e.file) << k;
            EXPECT_EQ(a.firstFrame, e.firstFrame) << k;
            EXPECT_EQ(a.lastFrame, e.lastFrame) << k;
            EXPECT_EQ(a.firstRecord, e.firstRecord) << k;
            EXPECT_EQ(a.recordCount, e.recordCount) << k;
        }
        EXPECT_EQ(span.cutAtStart, c.cutAtStart);
        EXPECT_EQ(span.cutAtEnd, c.cutAtEnd);
        EXPECT_NEAR(span.startSeconds, c.startSeconds, 1e-9);
        EXPECT_NEAR(span.endSeconds, c.endSeconds, 1e-9);
    }
}

TEST(ClipSpan, FollowTestByGpsAndByName) {
    struct Case {
        const char* what;
        int startA, startB; // first record seconds
        bool validA, validB;
        const char *nameA, *nameB;
        bool follows, byGps;
    };
    const Case cases[] = {
        {"gps: next second after the end", 0, 3, true, true, "x", "y", true, true},
        {"gps: two seconds late", 0, 5, true, true, "x", "y", true, true},
        {"gps: a gap", 0, 6, true, true, "001_120000A_M.MP4", "002_120003A_M.MP4", false, true},
        {"gps: overlapping", 0, 0, true, true, "x", "y", false, true},
        {"names when a fix is missing", 0, 50, true, false, "001_120000A_M.MP4",
         "002_120003A_M.MP4", true, false},
        {"names: not the next number", 0, 0, false, false, "001_120000A_M.MP4", "003_120003A_M.MP4",
         false, false},
        {"names: over midnight and 999", 0, 0, false, false, "999_235958A_M.MP4",
         "000_000001G_M.MP4", true, false},
        {"names: a gap", 0, 0, false, false, "001_120000A_M.MP4", "002_120010A_M.MP4", false,
         false},
        {"names the grammar cannot read", 0, 0, false, false, "a.MP4", "b.MP4", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FollowTest t = Follows(Facts("a", c.startA, c.validA), c.nameA,
                                     Facts("b", c.startB, c.validB), c.nameB);
        EXPECT_EQ(t.follows, c.follows) << t.gapSeconds;
        EXPECT_EQ(t.byGps, c.byGps);
    }
}

TEST(ClipEvents, OverlappingSpansOfOneRecordingMerge) {
    ClipRequest recording;
    recording.before = 2;
    recording.after = 3;
    const std::vector<ClipEvent> events = {
        {0, 0, 2, 1, 1.0},    // shock
        {5, 0, 5, 3, 5.5},    // user: 3.5..8.5 overlaps 1.0's -1..4
        {9, 0, 8, 6, 9.0},    // speeding, not chosen
        {12, 0, 0, 0, 20.0},  // shock alone
        {14, 0, 11, 9, 25.0}, // assist: 23..28 does not overlap 18..23 (touching)
    };
    const std::vector<ClipRequest> clips =
        RequestsForEvents(recording, events, {"shock", "user", "assist"});
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_EQ(clips[0].kindWord, "shock");
    EXPECT_DOUBLE_EQ(clips[0].moment, 1.0);
    EXPECT_DOUBLE_EQ(clips[0].after, 7.5); // to 5.5 + 3
    EXPECT_EQ(clips[0].events.size(), 2u);
    EXPECT_DOUBLE_EQ(clips[1].moment, 20.0);
    EXPECT_DOUBLE_EQ(clips[1].after, 3.0);
    EXPECT_EQ(clips[2].kindWord, "assist");
    EXPECT_TRUE(RequestsForEvents(recording, events, {"radar"}).empty());
}

namespace {

std::string FileName(RecorderFamily family, mkcard::FileContent content, int number,
                     const mkcard::CivilTime& t, char camera, bool lapse) {
    char name[64];
    const bool tx50 = family == RecorderFamily::TX50;
    if (content == mkcard::FileContent::Combined)
        std::snprintf(name, sizeof name,
                      tx50 ? "%03d_%02d%02d%02d_ANN_.MP4" : "%03d_%02d%02d%02d_A.MP4", number,
                      t.hour, t.minute, t.second);
    else
        std::snprintf(name, sizeof name,
                      tx50 ? (lapse ? "%03d_%02d%02d%02dATN_%c.MP4" : "%03d_%02d%02d%02dANN_%c.MP4")
                           : "%03d_%02d%02d%02dA_%c.MP4",
                      number, t.hour, t.minute, t.second, camera);
    return name;
}

struct Card {
    std::vector<std::string> front, rear; // per recording; rear empty for combined
};

// Recordings of 3 s starting at the given seconds after 12:00:00, numbered 1, 2, ...
Card WriteCard(const std::string& dir, RecorderFamily family, bool combined,
               const std::vector<int>& starts, bool lapse = false) {
    Card card;
    for (size_t k = 0; k < starts.size(); ++k) {
        fakerec::Recipe s;
        s.family = family;
        s.start = mkcard::AddSeconds({2025, 1, 1, 12, 0, 0}, starts[k]);
        s.realPerRecord = lapse ? 15 : 1;
        const char frontLetter = family == RecorderFamily::TX50 ? 'F' : 'M';
        if (combined) {
            s.content = mkcard::FileContent::Combined;
            s.fileId = int(k);
            card.front.push_back(dir + "/" +
                                 FileName(family, s.content, int(k) + 1, s.start, 0, lapse));
            EXPECT_TRUE(fakerec::Write(card.front.back(), s));
            continue;
        }
        s.content = mkcard::FileContent::Front;
        s.fileId = int(2 * k);
        card.front.push_back(dir + "/" +
                             FileName(family, s.content, int(k) + 1, s.start, frontLetter, lapse));
        EXPECT_TRUE(fakerec::Write(card.front.back(), s));
        s.content = mkcard::FileContent::Rear;
        s.fileId = int(2 * k + 1);
        card.rear.push_back(dir + "/" +
                            FileName(family, s.content, int(k) + 1, s.start, 'R', lapse));
        EXPECT_TRUE(fakerec::Write(card.rear.back(), s));
    }
    return card;
}

struct RecordKey {
    double latitude, longitude, speed;
    playcore::RecordTime time;
    bool operator==(const RecordKey&) const = default;
};

std::vector<RecordKey> Records(const std::string& path, RecorderFamily family) {
    playcore::sGPSREADER reader;
    std::vector<RecordKey> out;
    if (!playcore::LoadRecords(reader, path, family)) return out;
    for (const playcore::GpsRecord& g : reader.gps)
        out.push_back({g.latitude, g.longitude, g.speed, g.time});
    return out;
}

// A file's samples laid out as their labels say: {file, track, number}.
struct Label {
    int file, track;
    uint32_t number;
};
Label LabelOf(const std::vector<uint8_t>& b) {
    return {b[1], b[2], (uint32_t(b[3]) << 8) | b[4]};
}

} // namespace

// Whole clips of labelled recordings: each camera's clip holds exactly the
// samples of its span (the picture from a key frame, the sound covering it
// and in step to the sample), the GPS records whose frames lie in it, and
// durations that agree; the index names every file with its SHA-256; the
// clip opens as one recording; a taken name is never replaced.
TEST(ClipWrite, CamerasSpansRecordsAndIndex) {
    struct Case {
        const char* what;
        RecorderFamily family;
        bool combined;
        std::vector<int> starts; // the recordings' start seconds
        int recording;           // the one the moment is in
        double moment, before, after;
        // Expected of every camera: (recording, first frame, last frame) per part.
        std::vector<std::array<int, 3>> parts;
        bool cutAtStart, cutAtEnd;
        const char* note; // a text the index holds
        bool lapse = false;
    };
    // clang-format off
    const Case cases[] = {
        {"tx40 pair, middle", RecorderFamily::TX40, false, {0, 3, 6}, 1, 1.5, 1, 1,
         {{1, 5, 25}}, false, false, "前方カメラ"},
        {"tx40 pair, first second with a recording before", RecorderFamily::TX40, false,
         {0, 3, 6}, 1, 0.3, 1, 1, {{0, 20, 29}, {1, 0, 13}}, false, false, "後方カメラ"},
        {"tx50 pair, first second without one", RecorderFamily::TX50, false, {0, 3}, 0, 0.3, 1, 1,
         {{0, 0, 13}}, true, false, "前に続く録画がないため"},
        {"tx50 pair, last second with one after", RecorderFamily::TX50, false, {0, 3, 6}, 1, 2.8,
         0.5, 1, {{1, 20, 29}, {2, 0, 8}}, false, false, "イベント: 指定位置"},
        {"tx40 combined, a gap after", RecorderFamily::TX40, true, {0, 20}, 0, 2.8, 0.5, 1,
         {{0, 20, 29}}, false, true, "との間に 17.0 秒の空きがあるため"},
        {"tx40 combined, through a whole recording", RecorderFamily::TX40, true, {0, 3, 6}, 0, 2.9,
         0.4, 3.5, {{0, 25, 29}, {1, 0, 29}, {2, 0, 4}}, false, false, "前方・後方カメラ"},
        {"tx50 time-lapse pair", RecorderFamily::TX50, false, {0}, 0, 1.5, 1, 1, {{0, 5, 25}},
         false, false, "日時: 2025/01/01 12:00:23", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ktest::TempDir dir;
        const std::string in = dir.Mkdir("card"), out = dir.Mkdir("out");
        const Card card = WriteCard(in, c.family, c.combined, c.starts, c.lapse);
        ClipRequest r;
        r.family = c.family;
        r.combined = c.combined;
        r.frontPath = card.front[size_t(c.recording)];
        r.rearPath = c.combined ? "" : card.rear[size_t(c.recording)];
        r.telemetryPath = r.frontPath;
        r.moment = c.moment;
        r.before = c.before;
        r.after = c.after;
        r.folder = out;
        ClipPlan plan;
        std::string why;
        ASSERT_TRUE(PlanClip(r, &plan, &why)) << why;
        ClipWritten written;
        std::vector<std::pair<int, int>> steps;
        ASSERT_EQ(WriteClip(
                      plan, nullptr, [&](int d, int n) { steps.emplace_back(d, n); }, true,
                      &written, &why),
                  ClipResult::Written)
            << why;
        const int cameras = c.combined ? 1 : 2;
        ASSERT_EQ(plan.cameras.size(), size_t(cameras));
        EXPECT_EQ(steps.back(), std::make_pair(cameras + 1, cameras + 1));
        EXPECT_EQ(FilesIn(out).size(),
                  size_t(cameras + 1)); // the clips and the index, no temporary

        const std::string index = ReadAll(plan.indexPath);
        EXPECT_NE(index.find(c.note), std::string::npos) << index;
        for (int cam = 0; cam < cameras; ++cam) {
            SCOPED_TRACE(cam);
            const ClipCameraPlan& cp = plan.cameras[size_t(cam)];
            EXPECT_EQ(cp.span.cutAtStart, c.cutAtStart);
            EXPECT_EQ(cp.span.cutAtEnd, c.cutAtEnd);
            const std::vector<std::string>& files = cam == 0 ? card.front : card.rear;
            const auto samples = fakerec::Samples(cp.output, c.family);
            const size_t pictures = c.combined ? 2 : 1;
            ASSERT_EQ(samples.size(), pictures + 1);

            // Pictures: exactly the span's frames of every part, in order.
            for (size_t t = 0; t < pictures; ++t) {
                std::vector<std::vector<uint8_t>> expected;
                for (const auto& [rec, first, last] : c.parts) {
                    const int id = c.combined ? rec : 2 * rec + cam;
                    for (int i = first; i <= last; ++i)
                        expected.push_back(fakerec::Label(id, int(t), uint32_t(i)));
                }
                EXPECT_TRUE(samples[t] == expected) << "track " << t;
            }

            // Sound: consecutive samples of the sources, and in step: the
            // edit starts the sound at the time of the first frame.
            auto movie = playcore::OpenMp4Movie(cp.output, true, c.family);
            ASSERT_TRUE(movie);
            std::vector<playcore::TrackTiming> timings;
            ASSERT_TRUE(playcore::ReadTrackTimings(*movie, &timings, &why)) << why;
            const playcore::TrackTiming& video = timings[0];
            const playcore::TrackTiming& sound = timings.back();
            EXPECT_EQ(video.sync.front(), 0u);
            const auto& sounds = samples.back();
            ASSERT_FALSE(sounds.empty());
            const Label first = LabelOf(sounds.front());
            const int firstId = c.combined ? c.parts.front()[0] : 2 * c.parts.front()[0] + cam;
            EXPECT_EQ(first.file, firstId);
            // Presented at 0 in the clip: source sound time (its media time
            // less the source's edit of 1024) equal to the first frame's time.
            const double sourceTime =
                (double(first.number) * 1024 + double(sound.editMediaTime) - 1024) / 48000;
            EXPECT_NEAR(sourceTime, c.parts.front()[1] * 0.1, 1.0 / 48000);
            const double videoSeconds = double(video.start.back()) / video.timescale;
            const double soundSeconds =
                double(int64_t(sound.start.back()) - sound.editMediaTime) / sound.timescale;
            EXPECT_NEAR(soundSeconds, videoSeconds, 1024.0 / 48000 + 1e-9);
            for (size_t k = 1; k < sounds.size(); ++k) {
                const Label a = LabelOf(sounds[k - 1]), b = LabelOf(sounds[k]);
                EXPECT_TRUE((b.file == a.file && b.number == a.number + 1) ||
                            (b.file != a.file && b.number == 0))
                    << k;
            }

            // GPS records: those whose frames (frames × i ÷ 3 of each file)
            // lie in the part.
            std::vector<RecordKey> expected;
            for (const auto& [rec, first, last] : c.parts) {
                const auto all = Records(files[size_t(rec)], c.family);
                for (size_t i = 0; i < all.size(); ++i) {
                    const int64_t frame = 30 * int64_t(i) / int64_t(all.size());
                    if (frame >= first && frame <= last) expected.push_back(all[i]);
                }
            }
            EXPECT_TRUE(Records(cp.output, c.family) == expected);

            // The index: the clip's digest under its name, each source's under its path.
            EXPECT_NE(index.find(kutil::Sha256OfFile(cp.output) + "  " +
                                 std::string(kutil::FileNameOf(cp.output)) + "\n"),
                      std::string::npos);
            for (const auto& [rec, first, last] : c.parts)
                EXPECT_NE(index.find(kutil::Sha256OfFile(files[size_t(rec)]) + "  " +
                                     files[size_t(rec)] + "\n"),
                          std::string::npos);
        }

        // The viewer opens the clip as one recording (a pair, or one file for both).
        Catalogue catalogue(c.family, ContainerProbe(c.family));
        ASSERT_TRUE(catalogue.OpenSource(plan.cameras.back().output, kSourceFile));
        ASSERT_EQ(catalogue.Entries().size(), 1u);
        const RecordingEntry& e = catalogue.Entries()[0];
        EXPECT_EQ(e.frontPath, plan.cameras[0].output);
        EXPECT_EQ(e.rearPath, c.combined ? "" : plan.cameras[1].output);
        EXPECT_EQ(IsCombinedName(e.frontName, c.family), c.combined);
        EXPECT_GT(e.rearFrames, 0);
        EXPECT_EQ(e.timeLapse, c.lapse ? 1 : 0); // the panel's clock runs as the source's

        // Cut again: the clip takes the next free name; the first stays as it was.
        const std::string before = kutil::Sha256OfFile(plan.cameras[0].output);
        ClipPlan again;
        ASSERT_TRUE(PlanClip(r, &again, &why)) << why;
        EXPECT_EQ(again.stem, plan.stem + "_2");
        ClipWritten second;
        ASSERT_EQ(WriteClip(again, nullptr, nullptr, true, &second, &why), ClipResult::Written);
        EXPECT_EQ(kutil::Sha256OfFile(plan.cameras[0].output), before);
        EXPECT_EQ(second.clips[0].sha256, before);
    }
}

// A clip cancelled while it is written, or one whose name is taken while it
// is written, leaves nothing; a trim that cannot be made leaves the movie as
// it was.
TEST(ClipWrite, NothingPartialAndRefusals) {
    ktest::TempDir dir;
    const std::string in = dir.Mkdir("card"), out = dir.Mkdir("out");
    const Card card = WriteCard(in, RecorderFamily::TX40, false, {0, 3});
    ClipRequest r;
    r.family = RecorderFamily::TX40;
    r.frontPath = r.telemetryPath = card.front[1];
    r.rearPath = card.rear[1];
    r.moment = 0.5;
    r.before = r.after = 1;
    r.folder = out;
    ClipPlan plan;
    std::string why;
    ASSERT_TRUE(PlanClip(r, &plan, &why)) << why;

    std::atomic<bool> running{true};
    ClipWritten written;
    EXPECT_EQ(WriteClip(
                  plan, &running, [&](int, int) { running = false; }, true, &written, &why),
              ClipResult::Cancelled);
    EXPECT_TRUE(FilesIn(out).empty());

    // The rear clip's name taken by another file after the clip was
    // planned: no clip file and no index appear, and that file is untouched.
    std::ofstream(plan.cameras[1].output) << "mine";
    EXPECT_EQ(WriteClip(plan, nullptr, nullptr, true, &written, &why), ClipResult::Failed);
    EXPECT_EQ(FilesIn(out),
              std::vector<std::string>{std::string(kutil::FileNameOf(plan.cameras[1].output))});
    EXPECT_EQ(ReadAll(plan.cameras[1].output), "mine");

    // Trims that cannot be made.
    auto movie = playcore::OpenMp4Movie(card.front[0], true, RecorderFamily::TX40);
    ASSERT_TRUE(movie);
    const std::string untouched = dir / "untouched.MP4";
    ASSERT_TRUE(playcore::WriteTreeToPath(movie->root, untouched));
    const playcore::TrimRange refused[] = {
        {3, 10, 0, 1}, // not a key frame
        {10, 5, 0, 1}, // ends before it starts
        {0, 30, 0, 1}, // past the last frame
        {0, 10, 2, 2}, // past the last record
    };
    for (const playcore::TrimRange& range : refused) {
        EXPECT_FALSE(playcore::TrimMovie(*movie, range, &why));
        const std::string again = dir / "again.MP4";
        ASSERT_TRUE(playcore::WriteTreeToPath(movie->root, again));
        EXPECT_EQ(ReadAll(again), ReadAll(untouched)) << why;
        std::filesystem::remove(again);
    }
}

// A recording without GPS records: the clip is named by the file number and
// the time in the recording's name plus the moment, and says so.
TEST(ClipWrite, NameWithoutGps) {
    ktest::TempDir dir;
    const std::string out = dir.Mkdir("out");
    fakerec::Recipe s;
    s.gps = false;
    const std::string front = dir / "007_235959A_M.MP4";
    ASSERT_TRUE(fakerec::Write(front, s));
    ClipRequest r;
    r.frontPath = r.telemetryPath = front;
    r.moment = 1.4;
    r.before = r.after = 1;
    r.folder = out;
    ClipPlan plan;
    std::string why;
    ASSERT_TRUE(PlanClip(r, &plan, &why)) << why;
    EXPECT_EQ(plan.stem, "EV_N007_000000_moment"); // 23:59:59 + 1 s, over midnight
    ClipWritten written;
    ASSERT_EQ(WriteClip(plan, nullptr, nullptr, true, &written, &why), ClipResult::Written) << why;
    EXPECT_TRUE(Records(plan.cameras[0].output, RecorderFamily::TX40).empty());
    const std::string index = ReadAll(plan.indexPath);
    EXPECT_NE(index.find("GPS の記録なし (ファイル番号 007, 名前の時刻から 00:00:00)"),
              std::string::npos)
        << index;
}

namespace {

using ktest::WaitUntilSettled;

// New bytes in place of some of the file's, its size and times of access and
// modification as they were (only the change time tells).
void RewriteKeepingTimes(const std::string& path, uint64_t offset, std::string_view bytes) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), off_t(offset)), ssize_t(bytes.size()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

std::string Sha256sum(const std::string& path) {
    std::string out;
    if (FILE* p = ::popen(("sha256sum < '" + path + "'").c_str(), "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, p)) out.assign(line, strnlen(line, 64));
        ::pclose(p);
    }
    return out;
}

bool OnTrustedFileSystem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool trusted = fd >= 0 && TrustedFileSystem(fd);
    if (fd >= 0) ::close(fd);
    return trusted;
}

} // namespace

// The digest cache: a digest kept is sha256sum's and is found again, by
// another program too; a rewrite that keeps size, inode and modification
// time misses and is read anew (and is kept only once its change is
// settled); a damaged or foreign cache file is ignored, the digest is right
// and the file is replaced by a sound one.
TEST(SourceDigests, EveryChangeMissesAndADamagedCacheIsIgnored) {
    ktest::TempDir dir;
    std::string bytes(3 << 20, '\0');
    std::mt19937 random(7);
    for (char& b : bytes)
        b = char(random());
    const std::string path = dir.Write("card/001_120000A_M.MP4", bytes);
    if (!OnTrustedFileSystem(path))
        GTEST_SKIP() << "the temporary folder's file system is not one digests are kept for";
    DigestCache cache(dir / "cache/kinetta/source-digests");

    WaitUntilSettled(path);
    const SourceDigest first = DigestOfSource(path, &cache);
    EXPECT_EQ(first.from, DigestFrom::Read);
    EXPECT_TRUE(first.stored);
    EXPECT_EQ(first.sha256, Sha256sum(path));
    EXPECT_EQ(DigestOfSource(path, &cache).from, DigestFrom::Cache);
    DigestCache other(cache.path()); // another program's
    const SourceDigest again = DigestOfSource(path, &other);
    EXPECT_EQ(again.from, DigestFrom::Cache);
    EXPECT_EQ(again.sha256, first.sha256);
    struct stat st {};
    ASSERT_EQ(::stat(cache.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    RewriteKeepingTimes(path, 1 << 20, "changed");
    const SourceDigest changed = DigestOfSource(path, &cache);
    EXPECT_EQ(changed.from, DigestFrom::Read);
    EXPECT_FALSE(changed.stored); // changed a moment ago
    EXPECT_EQ(changed.sha256, Sha256sum(path));
    EXPECT_NE(changed.sha256, first.sha256);
    EXPECT_EQ(DigestOfSource(path, &other).from, DigestFrom::Read);
    WaitUntilSettled(path);
    EXPECT_TRUE(DigestOfSource(path, &cache).stored);
    EXPECT_EQ(DigestOfSource(path, &other).sha256, changed.sha256);

    const std::string sound = ReadAll(cache.path());
    const size_t line = sound.find('\n') + 1;
    const struct Damage {
        const char* what;
        std::string text;
    } damages[] = {
        {"a digit of the digest",
         sound.substr(0, line) + (sound[line] == '0' ? "1" : "0") + sound.substr(line + 1)},
        {"cut short", sound.substr(0, sound.size() / 2)},
        {"its last line lost", sound.substr(0, sound.size() - 69)},
        {"another version", "kinetta source digests 2" + sound.substr(line - 1)},
        {"empty", ""},
        {"not text", std::string(4096, '\xff')},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::ofstream(cache.path(), std::ios::binary | std::ios::trunc) << d.text;
        DigestCache fresh(cache.path());
        const SourceDigest read = DigestOfSource(path, &fresh);
        EXPECT_EQ(read.from, DigestFrom::Read);
        EXPECT_EQ(read.sha256, changed.sha256);
        EXPECT_TRUE(read.stored);
        std::vector<DigestEntry> entries;
        EXPECT_TRUE(ParseDigestCache(ReadAll(cache.path()), &entries));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].sha256, changed.sha256);
    }

    // Paths with line breaks and backslashes come back as they were.
    DigestEntry odd;
    odd.file.path = "/a\nb\\n\r c";
    odd.file.modifiedNs = -5;
    odd.sha256 = first.sha256;
    std::vector<DigestEntry> back;
    ASSERT_TRUE(ParseDigestCache(DigestCacheText({odd, odd}), &back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].file, odd.file);
}

// A clip whose sources' digests are known takes them from the cache, and its
// index still gives every file's true digest, also after a source was
// rewritten behind the cache's back.
TEST(ClipWrite, SourceDigestsComeFromTheCacheAndFollowChanges) {
    ktest::TempDir dir;
    const std::string in = dir.Mkdir("card");
    const Card card = WriteCard(in, RecorderFamily::TX40, false, {0, 3});
    if (!OnTrustedFileSystem(card.front[0]))
        GTEST_SKIP() << "the temporary folder's file system is not one digests are kept for";
    DigestCache cache(dir / "cache/source-digests");
    std::vector<std::string> sources; // of the first clip
    const auto cut = [&](const std::string& out) {
        ClipRequest r;
        r.frontPath = r.telemetryPath = card.front[0];
        r.rearPath = card.rear[0];
        r.moment = 2.5;
        r.before = r.after = 1; // on into the second recording
        r.folder = dir.Mkdir(out);
        ClipPlan plan;
        std::string why;
        ASSERT_TRUE(PlanClip(r, &plan, &why)) << why;
        ClipWritten written;
        ASSERT_EQ(WriteClip(plan, nullptr, nullptr, true, &written, &why, &cache),
                  ClipResult::Written)
            << why;
        const std::string index = ReadAll(plan.indexPath);
        for (const ClipCameraPlan& c : plan.cameras)
            EXPECT_NE(index.find(kutil::Sha256OfFile(c.output) + "  " +
                                 std::string(kutil::FileNameOf(c.output)) + "\n"),
                      std::string::npos)
                << index;
        ASSERT_EQ(written.sources.size(), 4u);
        for (const ClipFileDigest& d : written.sources) {
            EXPECT_NE(index.find(kutil::Sha256OfFile(d.path) + "  " + d.path + "\n"),
                      std::string::npos)
                << index;
            if (sources.size() < 4) sources.push_back(d.path);
        }
    };
    for (const std::string& s : {card.front[0], card.front[1], card.rear[0], card.rear[1]})
        WaitUntilSettled(s);
    cut("first");
    for (const std::string& s : sources) {
        FileIdentity id;
        const int fd = ::open(s.c_str(), O_RDONLY);
        ASSERT_TRUE(IdentifyFile(fd, s, &id));
        ::close(fd);
        EXPECT_EQ(cache.Find(id), kutil::Sha256OfFile(s)) << s;
    }
    cut("second");
    // A sample's bytes of the second rear recording changed in place.
    const std::string rear = ReadAll(card.rear[1]);
    const size_t mdat = rear.find("mdat");
    ASSERT_NE(mdat, std::string::npos);
    RewriteKeepingTimes(card.rear[1], mdat + 8, "other");
    cut("third");
}
