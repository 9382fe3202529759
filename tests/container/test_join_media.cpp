// Join and split of real recordings written by mkcard, checked where a user's
// other tools meet the outputs: ffprobe counts the frames, ffmpeg decodes
// without a complaint, the frame-number code of every picture runs on across
// the seams, and the GPS records of every file are there in order.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <map>
#include <numeric>

#include "container/mp4_builder.h"
#include "mkcard/media_tools.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tracks.h"
#include "playcore/container/mp4_tree.h"
#include "tools/mkcard/framecode.h"
#include "tools/mkcard/recording.h"

using namespace playcore;
using namespace mkcard_test;
using mkcard::FileContent;
using mkcard::RecordingReport;
using mkcard::RecordingSpec;

extern "C" {
#include <libavutil/log.h>
}

namespace {

// The encoders' statistics would fill the test log.
const bool kQuietEncoders = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

struct Recordings {
    std::vector<std::string> paths;
    std::vector<RecordingReport> reports;
    int Frames() const {
        int n = 0;
        for (const auto& r : reports)
            n += r.frames;
        return n;
    }
    // Samples of the last track (the sound) over every file.
    uint32_t SoundFrames() const {
        uint32_t n = 0;
        for (const auto& r : reports)
            n += r.tracks.back().samples;
        return n;
    }
};

// Writes count consecutive recordings into dir: each starts where the one
// before ended, in movie frames (the code in the pictures runs on) and in time.
Recordings Consecutive(const std::string& dir, RecordingSpec recipe, int count,
                       const std::string& stem) {
    Recordings out;
    for (int k = 0; k < count; ++k) {
        const std::string path = dir + "/" + stem + std::to_string(k) + ".MP4";
        RecordingReport report;
        std::string error;
        EXPECT_TRUE(mkcard::WriteRecording(recipe, path, &report, &error)) << error;
        recipe.firstFrame += report.frames;
        recipe.start = mkcard::AddSeconds(recipe.start, 60);
        out.paths.push_back(path);
        out.reports.push_back(std::move(report));
    }
    return out;
}

// ffprobe's view of each stream, with frames counted by decoding and packets
// by reading. The edit lists are set aside here, so that every sample in the
// file is counted: each file's sound starts with the encoder's priming frame,
// which its edit list leaves out, and a joined edit list (the files' edits
// added up) leaves out as much again at the end.
std::vector<std::map<std::string, std::string>> Probe(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -ignore_editlist 1 -count_frames -count_packets "
        "-show_entries stream=codec_type,width,nb_read_frames,nb_read_packets -of flat " +
        Quote(path));
    std::vector<std::map<std::string, std::string>> streams;
    size_t at = 0;
    while (at < r.output.size()) {
        size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(at, end - at);
        at = end + 1;
        // streams.stream.N.key="value"
        const size_t dot = line.find('.', 15), eq = line.find('=');
        if (line.rfind("streams.stream.", 0) != 0 || dot == std::string::npos || eq < dot) continue;
        const size_t n = std::stoul(line.substr(15, dot - 15));
        if (streams.size() <= n) streams.resize(n + 1);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        streams[n][line.substr(dot + 1, eq - dot - 1)] = value;
    }
    return streams;
}

// What ffmpeg says while decoding the whole file (nothing when all is well).
std::string DecodeComplaints(const std::string& path) {
    const CommandResult r =
        RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) + " -f null - 2>&1");
    return r.status == 0 ? r.output : "exit status " + std::to_string(r.status) + ": " + r.output;
}

// MD5 of the packets of one stream, copied out without decoding.
std::string PacketHash(const std::string& path, const std::string& stream) {
    return RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) + " -map " + stream +
                      " -c copy -f md5 -")
        .output;
}

// The frame numbers the pictures of one video track show.
std::vector<int> FrameCodes(const std::string& path, int track) {
    LumaFrames frames;
    std::vector<int> codes;
    if (!DecodeVideo(path, track, &frames)) return {-2};
    for (const auto& luma : frames.frames)
        codes.push_back(
            kframecode::ReadFrameCode(luma.data(), frames.width, frames.height, frames.width));
    return codes;
}

std::vector<int> Counting(int from, int n) {
    std::vector<int> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), from);
    return v;
}

struct RecordKey {
    double latitude, longitude;
    RecordTime time;
    bool operator==(const RecordKey&) const = default;
};

std::vector<RecordKey> Records(const std::string& path, RecorderFamily family) {
    sGPSREADER reader;
    std::vector<RecordKey> out;
    EXPECT_TRUE(LoadRecords(reader, path, family)) << path;
    for (const GpsRecord& g : reader.gps)
        out.push_back({g.latitude, g.longitude, g.time});
    return out;
}

uint64_t Duration(const sTAGNODE* box) {
    FieldAt at;
    return box && DurationField(*box, &at) ? LoadField(box->data, at) : ~0ull;
}

// Every duration of the output is the sum of the inputs'.
void ExpectSummedDurations(const std::string& out, const std::vector<std::string>& inputs,
                           RecorderFamily family) {
    auto movie = OpenMp4Movie(out, true, family);
    ASSERT_TRUE(movie);
    MovieLayout lo;
    ASSERT_TRUE(ReadMovieLayout(*movie, &lo));
    std::vector<uint64_t> sums(1 + 3 * lo.tracks.size(), 0);
    for (const std::string& in : inputs) {
        auto m = OpenMp4Movie(in, true, family);
        MovieLayout li;
        ASSERT_TRUE(m && ReadMovieLayout(*m, &li));
        ASSERT_EQ(li.tracks.size(), lo.tracks.size());
        sums[0] += Duration(li.mvhd);
        for (size_t t = 0; t < li.tracks.size(); ++t) {
            sums[1 + 3 * t] += Duration(li.tracks[t].tkhd);
            sums[2 + 3 * t] += Duration(li.tracks[t].mdhd);
            sums[3 + 3 * t] += Duration(li.tracks[t].elst);
        }
    }
    EXPECT_EQ(Duration(lo.mvhd), sums[0]);
    for (size_t t = 0; t < lo.tracks.size(); ++t) {
        EXPECT_EQ(Duration(lo.tracks[t].tkhd), sums[1 + 3 * t]) << t;
        EXPECT_EQ(Duration(lo.tracks[t].mdhd), sums[2 + 3 * t]) << t;
        EXPECT_EQ(Duration(lo.tracks[t].elst), sums[3 + 3 * t]) << t;
    }
}

// A joined output checked with the outside tools and against its inputs.
void ExpectJoined(const std::string& out, const Recordings& in, RecorderFamily family,
                  int firstFrame = 0) {
    const auto streams = Probe(out);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_type"), "video");
    EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(in.Frames()));
    EXPECT_EQ(streams[1].at("codec_type"), "audio");
    EXPECT_EQ(streams[1].at("nb_read_packets"), std::to_string(in.SoundFrames()));
    EXPECT_EQ(streams[1].at("nb_read_frames"), std::to_string(in.SoundFrames()));
    EXPECT_EQ(DecodeComplaints(out), "");
    EXPECT_EQ(FrameCodes(out, 0), Counting(firstFrame, in.Frames()));
    ExpectSummedDurations(out, in.paths, family);
    std::vector<RecordKey> expected;
    for (const std::string& p : in.paths)
        for (const RecordKey& r : Records(p, family))
            expected.push_back(r);
    EXPECT_FALSE(expected.empty());
    EXPECT_TRUE(Records(out, family) == expected);
}

CommandResult Cli(const std::string& args) {
    return RunCommand(std::string(KINETTA_TEST_BINARY_DIR) + "/tools/kinetta-cli/kinetta-cli " +
                      args + " 2>&1");
}

int ExitCode(const CommandResult& r) {
    return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1;
}

RecordingSpec SmallSpec(RecorderFamily family, FileContent content, double seconds) {
    RecordingSpec recipe;
    recipe.family = family;
    recipe.content = content;
    recipe.durationSeconds = seconds;
    recipe.frontWidth = 192;
    recipe.frontHeight = 108;
    recipe.rearWidth = 160;
    recipe.rearHeight = 90;
    recipe.gop = 10;
    return recipe;
}

} // namespace

TEST(JoinRecordings, Tx40FrontFilesRunOnAcrossTheSeams) {
    testmp4::TempDir dir;
    const Recordings in = Consecutive(
        dir.path(), SmallSpec(RecorderFamily::TX40, FileContent::Front, 2.5), 4, "front");
    const std::string out = dir.path() + "/joined.MP4";
    std::string why;
    ASSERT_EQ(JoinFiles(in.paths, out, RecorderFamily::TX40, nullptr, &why), kJoinWritten) << why;
    ExpectJoined(out, in, RecorderFamily::TX40);
}

TEST(JoinRecordings, Tx50RearFilesRunOnAcrossTheSeams) {
    testmp4::TempDir dir;
    RecordingSpec recipe = SmallSpec(RecorderFamily::TX50, FileContent::Rear, 3);
    recipe.frameUs = mkcard::kFrameUs27_5;
    recipe.firstFrame = 500;
    const Recordings in = Consecutive(dir.path(), recipe, 2, "rear");
    const std::string out = dir.path() + "/joined.MP4";
    std::string why;
    ASSERT_EQ(JoinFiles(in.paths, out, RecorderFamily::TX50, nullptr, &why), kJoinWritten) << why;
    ExpectJoined(out, in, RecorderFamily::TX50, 500);
}

// Ten files through the command-line front end; a file that cannot be
// opened fails the whole join and leaves no output.
TEST(JoinRecordings, TenFilesThroughTheCommandLine) {
    testmp4::TempDir dir;
    const Recordings in =
        Consecutive(dir.path(), SmallSpec(RecorderFamily::TX40, FileContent::Front, 2), 10, "f");
    const std::string out = dir.path() + "/joined.MP4";
    std::string args = "join --family tx40 " + Quote(out);
    for (const std::string& p : in.paths)
        args += " " + Quote(p);
    const CommandResult ok = Cli(args);
    ASSERT_EQ(ExitCode(ok), 0) << ok.output;
    EXPECT_NE(ok.output.find(R"("ok":true,"inputs":10)"), std::string::npos) << ok.output;
    ExpectJoined(out, in, RecorderFamily::TX40);

    const std::string out2 = dir.path() + "/second.MP4";
    const CommandResult bad = Cli("join --family tx40 " + Quote(out2) + " " + Quote(in.paths[0]) +
                                  " " + Quote(dir.path() + "/gone.MP4") + " " + Quote(in.paths[1]));
    EXPECT_EQ(ExitCode(bad), 1);
    EXPECT_NE(bad.output.find("gone.MP4: cannot be opened"), std::string::npos) << bad.output;
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().filename() != "joined.MP4";
    EXPECT_EQ(files, in.paths.size()); // no second output, no temporary file
    EXPECT_EQ(ExitCode(Cli("join --family tx40 " + Quote(out2))), 2);
}

// A combined recording separated into one file per camera: each plays with
// the right frame count, and its packets are the source stream's packets.
TEST(SplitRecordings, CombinedFileGivesTwoPlayableFiles) {
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        SCOPED_TRACE(family == RecorderFamily::TX40 ? "TX40" : "TX50");
        testmp4::TempDir dir;
        const Recordings in =
            Consecutive(dir.path(), SmallSpec(family, FileContent::Combined, 3), 1, "combined");
        const std::string src = in.paths[0];
        const std::string front = dir.path() + "/front.MP4", rear = dir.path() + "/rear.MP4";
        const CommandResult r = Cli(std::string("split --family ") +
                                    (family == RecorderFamily::TX40 ? "tx40" : "tx50") + " " +
                                    Quote(src) + " " + Quote(front) + " " + Quote(rear));
        ASSERT_EQ(ExitCode(r), 0) << r.output;
        const int frames = in.reports[0].frames;
        const char* widths[2] = {"192", "160"};
        const std::string sourceStreams[2] = {"0:v:0", "0:v:1"};
        for (int camera = 0; camera < 2; ++camera) {
            const std::string& path = camera ? rear : front;
            SCOPED_TRACE(path);
            const auto streams = Probe(path);
            ASSERT_EQ(streams.size(), 2u);
            EXPECT_EQ(streams[0].at("width"), widths[camera]);
            EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(frames));
            EXPECT_EQ(streams[1].at("nb_read_packets"), std::to_string(in.SoundFrames()));
            EXPECT_EQ(streams[1].at("nb_read_frames"), std::to_string(in.SoundFrames()));
            EXPECT_EQ(DecodeComplaints(path), "");
            EXPECT_EQ(PacketHash(path, "0:v:0"), PacketHash(src, sourceStreams[camera]));
            EXPECT_EQ(PacketHash(path, "0:a:0"), PacketHash(src, "0:a:0"));
            EXPECT_EQ(FrameCodes(path, 0), Counting(0, frames));
            LumaFrames a, b;
            ASSERT_TRUE(DecodeVideo(path, 0, &a) && DecodeVideo(src, camera, &b));
            EXPECT_TRUE(a.frames == b.frames);
            // The TX40 family's GPS box goes with both files.
            if (family == RecorderFamily::TX40) {
                EXPECT_TRUE(Records(path, family) == Records(src, family));
            }
        }
    }
}

// How the join flow treats combined recordings: each is first separated into
// temporary files, whose fronts and rears are then joined.
TEST(SplitRecordings, SeparatedCombinedFilesJoinPerCamera) {
    testmp4::TempDir dir;
    const Recordings in = Consecutive(
        dir.path(), SmallSpec(RecorderFamily::TX40, FileContent::Combined, 2), 2, "combined");
    Recordings fronts, rears;
    for (size_t k = 0; k < in.paths.size(); ++k) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "/tempsplit%04zu", k);
        fronts.paths.push_back(dir.path() + stem + "_M.MP4");
        rears.paths.push_back(dir.path() + stem + "_R.MP4");
        fronts.reports.push_back(in.reports[k]);
        rears.reports.push_back(in.reports[k]);
        auto movie = OpenMp4Movie(in.paths[k], true, RecorderFamily::TX40);
        ASSERT_TRUE(movie);
        ASSERT_TRUE(SeparateTracks(*movie, fronts.paths[k], rears.paths[k]));
    }
    auto join = OpenJoin(fronts.paths[0], rears.paths[0], RecorderFamily::TX40);
    ASSERT_TRUE(join);
    std::string why;
    ASSERT_TRUE(AppendToJoin(*join, fronts.paths[1], rears.paths[1], &why)) << why;
    const std::string frontOut = dir.path() + "/B002_front.MP4";
    const std::string rearOut = dir.path() + "/B002_rear.MP4";
    ASSERT_TRUE(WriteJoined(*join, JoinCamera::Front, frontOut, nullptr, &why)) << why;
    ASSERT_TRUE(WriteJoined(*join, JoinCamera::Rear, rearOut, nullptr, &why)) << why;
    ExpectJoined(frontOut, fronts, RecorderFamily::TX40);
    ExpectJoined(rearOut, rears, RecorderFamily::TX40);
}
