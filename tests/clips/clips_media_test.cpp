// Event clips of real recordings written by mkcard, cut with kinetta-cli and
// checked where a user's other tools meet them: every decoded picture of a
// clip is the source's picture of its span (per-frame digests from FFmpeg),
// the sound covers the picture to within one sound frame, ffprobe and ffmpeg
// have nothing to say, the GPS records are exactly those of the span, the
// clip's own event list holds the event at its frame, and the index's
// digests check out with sha256sum.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "clips/private_cache.h"
#include "container/mp4_builder.h"
#include "mkcard/media_tools.h"
#include "playcore/container/gps_reader.h"
#include "tools/mkcard/recording.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace mkcard_test;
using mkcard::EventKind;
using mkcard::FileContent;
using playcore::RecorderFamily;
using Json = nlohmann::json;

namespace {

const bool kQuietEncoders = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

CommandResult Cli(const std::string& args, const std::string& folder = ".") {
    return RunCommand("cd " + Quote(folder) + " && " + std::string(KINETTA_TEST_BINARY_DIR) +
                      "/tools/kinetta-cli/kinetta-cli " + args + " 2>&1");
}

int ExitCode(const CommandResult& r) {
    return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1;
}

const char* FamilyArg(RecorderFamily f) {
    return f == RecorderFamily::TX50 ? "tx50" : "tx40";
}

// One recording: its files and what mkcard reported of them.
struct Recording {
    std::string front, rear; // rear empty for a combined file
    int frames = 0;
};

struct RecordingPlan {
    int startSecond; // after 12:00:00
    double seconds = 3;
    std::vector<mkcard::GpsEvent> events;
};

// Recordings of one family into dir, numbered from 1, named as the recorder
// names them (a TX50 time-lapse one with its flag).
std::vector<Recording> WriteRecordings(const std::string& dir, RecorderFamily family, bool combined,
                                       bool timeLapse, const std::vector<RecordingPlan>& plans) {
    std::vector<Recording> out;
    int firstFrame = 0;
    for (size_t k = 0; k < plans.size(); ++k) {
        mkcard::RecordingSpec s;
        s.family = family;
        s.start = mkcard::AddSeconds({2025, 1, 1, 12, 0, 0}, plans[k].startSecond);
        s.durationSeconds = plans[k].seconds;
        s.frontWidth = 192;
        s.frontHeight = 108;
        s.rearWidth = 160;
        s.rearHeight = 90;
        s.gop = 10;
        s.events = plans[k].events;
        s.firstFrame = firstFrame;
        if (timeLapse) {
            s.frameUs = mkcard::kFrameUsTimeLapse;
            s.realSecondsPerRecord = 15;
        }
        const bool tx50 = family == RecorderFamily::TX50;
        char stem[64];
        std::snprintf(stem, sizeof stem, "%s/%03d_%02d%02d%02d", dir.c_str(), int(k) + 1,
                      s.start.hour, s.start.minute, s.start.second);
        const std::string flags = tx50 ? (timeLapse ? "TN" : "NN") : "";
        Recording r;
        mkcard::RecordingReport report;
        std::string error;
        if (combined) {
            s.content = FileContent::Combined;
            r.front = std::string(stem) + (tx50 ? "_A" + flags + "_.MP4" : "_A.MP4");
            EXPECT_TRUE(mkcard::WriteRecording(s, r.front, &report, &error)) << error;
        } else {
            s.content = FileContent::Front;
            r.front = std::string(stem) + "A" + flags + (tx50 ? "_F.MP4" : "_M.MP4");
            EXPECT_TRUE(mkcard::WriteRecording(s, r.front, &report, &error)) << error;
            s.content = FileContent::Rear;
            r.rear = std::string(stem) + "A" + flags + "_R.MP4";
            EXPECT_TRUE(mkcard::WriteRecording(s, r.rear, &report, &error)) << error;
        }
        r.frames = report.frames;
        firstFrame += report.frames;
        out.push_back(r);
    }
    return out;
}

// MD5 of every decoded picture of one video track.
std::vector<std::string> FrameDigests(const std::string& path, int track) {
    const CommandResult r = RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) + " -map 0:v:" +
                                       std::to_string(track) + " -f framemd5 - 2>&1");
    std::vector<std::string> out;
    size_t at = 0;
    while (at < r.output.size()) {
        size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        std::string md5 = line.substr(line.rfind(',') + 1);
        md5.erase(0, md5.find_first_not_of(' '));
        out.push_back(md5);
    }
    return out;
}

// ffprobe's start and duration of each stream, edit lists honoured.
std::vector<std::pair<double, double>> StreamTimes(const std::string& path) {
    const CommandResult r = RunCommand(
        "ffprobe -v error -show_entries stream=start_time,duration -of csv=p=0 " + Quote(path));
    std::vector<std::pair<double, double>> out;
    double a = 0, b = 0;
    for (const char* p = r.output.c_str(); std::sscanf(p, "%lf,%lf", &a, &b) == 2;) {
        out.emplace_back(a, b);
        p = std::strchr(p, '\n');
        if (!p) break;
        ++p;
    }
    return out;
}

struct RecordKey {
    double latitude, longitude, speed;
    playcore::RecordTime time;
    bool operator==(const RecordKey&) const = default;
};

std::vector<RecordKey> Records(const std::string& path, RecorderFamily family) {
    playcore::sGPSREADER reader;
    std::vector<RecordKey> out;
    EXPECT_TRUE(playcore::LoadRecords(reader, path, family)) << path;
    for (const playcore::GpsRecord& g : reader.gps)
        out.push_back({g.latitude, g.longitude, g.speed, g.time});
    return out;
}

std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line[0] == '{') out.push_back(Json::parse(line));
    }
    return out;
}

// Every check of one written clip (one JSON line of the command).
void ExpectClip(const Json& j, RecorderFamily family, bool combined, const Json* event,
                int eventKind) {
    const std::string index = j["index"];
    for (const Json& clip : j["clips"]) {
        const std::string path = clip["path"];
        SCOPED_TRACE(path);
        EXPECT_EQ(RunCommand("ffprobe -v error " + Quote(path) + " 2>&1").output, "");
        EXPECT_EQ(
            RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) + " -f null - 2>&1").output,
            "");

        // Pictures: the sources' pictures of the span, decoded the same.
        const Json& parts = clip["parts"];
        ASSERT_FALSE(parts.empty());
        EXPECT_EQ(int(parts[0]["firstFrame"]) % 10, 0); // mkcard's key frames: every 10
        for (int track = 0; track < (combined ? 2 : 1); ++track) {
            std::vector<std::string> expected;
            for (const Json& p : parts) {
                const auto all = FrameDigests(p["file"], track);
                for (int f = p["firstFrame"]; f <= int(p["lastFrame"]); ++f)
                    expected.push_back(f < int(all.size()) ? all[size_t(f)] : "missing");
            }
            EXPECT_EQ(expected.size(), size_t(clip["frames"]));
            for (const std::string& d : expected)
                ASSERT_EQ(d.size(), 32u) << d; // an MD5, not a message
            EXPECT_EQ(FrameDigests(path, track), expected) << "track " << track;
        }

        // Sound covers the picture to within one sound frame.
        const auto times = StreamTimes(path);
        ASSERT_EQ(times.size(), combined ? 3u : 2u);
        const auto& video = times.front();
        const auto& sound = times.back();
        EXPECT_NEAR(sound.first, video.first, 1024.0 / 48000);
        EXPECT_NEAR(sound.first + sound.second, video.first + video.second, 1024.0 / 48000);

        // GPS records: those of each part whose frames (frames x i / records)
        // lie inside it.
        std::vector<RecordKey> expected;
        for (const Json& p : parts) {
            const auto all = Records(p["file"], family);
            const long long frames = (long long)FrameDigests(p["file"], 0).size();
            for (size_t i = 0; i < all.size(); ++i) {
                const long long f = frames * (long long)i / (long long)all.size();
                if (f >= p["firstFrame"] && f <= p["lastFrame"]) expected.push_back(all[i]);
            }
        }
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(Records(path, family) == expected);

        // The clip's own event list: the event, at the frame of its record
        // under the clip's time base, within one record's frames of where it
        // lies in the span.
        if (event) {
            const CommandResult ev =
                Cli(std::string("events --family ") + FamilyArg(family) + " " + Quote(path));
            ASSERT_EQ(ExitCode(ev), 0) << ev.output;
            const auto events = JsonLines(ev.output);
            // Where the event's recording lies in the clip: after the frames
            // and records of the parts before it (a part of the same
            // recording: the same file number and time in its name).
            const auto recordingOf = [](const Json& file) {
                return std::filesystem::path(std::string(file)).filename().string().substr(0, 10);
            };
            long long frameOffset = 0, recordOffset = 0;
            for (const Json& p : parts) {
                if (recordingOf(p["file"]) == recordingOf(j["source"])) {
                    frameOffset -= (long long)p["firstFrame"];
                    recordOffset -= (long long)p["firstRecord"];
                    break;
                }
                frameOffset += (long long)p["lastFrame"] - (long long)p["firstFrame"] + 1;
                recordOffset += (long long)p["records"];
            }
            const long long clipRecord = recordOffset + (long long)(*event)["record"];
            const long long spanFrame = frameOffset + (long long)(*event)["frame"];
            const long long frames = clip["frames"], records = clip["records"];
            bool found = false;
            for (const Json& e : events) {
                if (int(e["kind"]) != eventKind || e["record"] != clipRecord) continue;
                found = true;
                EXPECT_EQ(e["frame"], frames * clipRecord / records);
                EXPECT_LE(std::llabs((long long)e["frame"] - spanFrame),
                          (frames + records - 1) / records);
            }
            EXPECT_TRUE(found) << ev.output;
        }
    }
    // Every digest in the index checks out (the clips beside it, the sources
    // by their paths).
    const std::string folder = std::filesystem::path(index).parent_path();
    const CommandResult check =
        RunCommand("cd " + Quote(folder) + " && sha256sum -c " +
                   Quote(std::filesystem::path(index).filename().string()) + " 2>/dev/null");
    EXPECT_EQ(ExitCode(check), 0) << check.output;
    EXPECT_EQ(size_t(std::count(check.output.begin(), check.output.end(), '\n')),
              j["clips"].size() + j["sources"].size())
        << check.output;
}

} // namespace

TEST(ClipMedia, EventClipsOfRealRecordings) {
    struct Case {
        const char* what;
        RecorderFamily family;
        bool combined, timeLapse;
        std::vector<RecordingPlan> recordings;
        int recording;    // the one cut
        const char* at;   // "--event 0" or "--at S"
        const char* span; // "--before B --after A"
        int eventKind;    // of the event cut, -1 for --at
        size_t parts;     // files the clip runs through
        bool cutAtStart, cutAtEnd;
    };
    const std::vector<Case> cases = {
        {"tx40 pair, a shock in the middle",
         RecorderFamily::TX40,
         false,
         false,
         {{0, 4, {{2, EventKind::ShockX}}}},
         0,
         "--event 0",
         "--before 1 --after 1",
         2,
         1,
         false,
         false},
        {"tx50 combined, a user point",
         RecorderFamily::TX50,
         true,
         false,
         {{0, 4, {{2, EventKind::UserPoint}}}},
         0,
         "--event 0",
         "--before 1 --after 1",
         5,
         1,
         false,
         false},
        {"tx40 pair, first second with a recording before",
         RecorderFamily::TX40,
         false,
         false,
         {{0, 3, {}}, {3, 3, {{0, EventKind::ShockY}}}},
         1,
         "--event 0",
         "--before 2 --after 1",
         3,
         2,
         false,
         false},
        {"tx50 pair, first second without one",
         RecorderFamily::TX50,
         false,
         false,
         {{0, 3, {{0, EventKind::ShockZ}}}},
         0,
         "--event 0",
         "--before 2 --after 1",
         0,
         1,
         true,
         false},
        {"tx40 pair, last second with one after",
         RecorderFamily::TX40,
         false,
         false,
         {{0, 3, {{2, EventKind::ShockX}}}, {3, 3, {}}},
         0,
         "--event 0",
         "--before 1 --after 2",
         2,
         2,
         false,
         false},
        {"tx40 combined, a gap after",
         RecorderFamily::TX40,
         true,
         false,
         {{0, 3, {}}, {20, 3, {}}},
         0,
         "--at 2.5",
         "--before 1 --after 2",
         -1,
         1,
         false,
         true},
        {"tx50 time-lapse pair",
         RecorderFamily::TX50,
         false,
         true,
         {{0, 4, {{2, EventKind::Parking}}}},
         0,
         "--event 0",
         "--before 1 --after 1",
         7,
         1,
         false,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testmp4::TempDir dir;
        const std::string in = dir.path() + "/in", out = dir.path() + "/out";
        std::filesystem::create_directories(in);
        std::filesystem::create_directories(out);
        const auto recordings =
            WriteRecordings(in, c.family, c.combined, c.timeLapse, c.recordings);
        const Recording& r = recordings[size_t(c.recording)];
        const CommandResult run =
            Cli(std::string("clip --family ") + FamilyArg(c.family) + " " + Quote(r.front) + " " +
                c.at + " " + c.span + " --out " + Quote(out));
        ASSERT_EQ(ExitCode(run), 0) << run.output;
        const auto lines = JsonLines(run.output);
        ASSERT_EQ(lines.size(), 1u) << run.output;
        const Json& j = lines[0];
        ASSERT_EQ(j["clips"].size(), c.combined ? 1u : 2u);
        for (const Json& clip : j["clips"]) {
            EXPECT_EQ(clip["parts"].size(), c.parts);
            EXPECT_EQ(clip["cutAtStart"], c.cutAtStart);
            EXPECT_EQ(clip["cutAtEnd"], c.cutAtEnd);
        }
        std::optional<Json> event;
        if (c.eventKind >= 0) {
            ASSERT_EQ(j["events"].size(), 1u);
            event = j["events"][0];
            EXPECT_EQ(int((*event)["kind"]), c.eventKind);
        }
        ExpectClip(j, c.family, c.combined, event ? &*event : nullptr, c.eventKind);
    }
}

// `clips` over a folder: every event of the chosen kinds, overlapping ones of
// a recording in one clip; failures exit 1 with a reason, bad usage 2.
TEST(ClipMedia, ClipsOfAFolderAndFailures) {
    testmp4::TempDir dir;
    const std::string in = dir.path() + "/in", out = dir.path() + "/out";
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(out);
    const auto recordings =
        WriteRecordings(in, RecorderFamily::TX40, false, false,
                        {{0, 4, {{1, EventKind::ShockX}, {2, EventKind::ShockY}}},
                         {10, 3, {}},
                         {20, 3, {{1, EventKind::UserPoint}}}});

    const CommandResult shocks = Cli("clips --family tx40 --kind folder " + Quote(in) +
                                     " --kinds shock --before 1 --after 1 --out " + Quote(out));
    ASSERT_EQ(ExitCode(shocks), 0) << shocks.output;
    const auto merged = JsonLines(shocks.output);
    ASSERT_EQ(merged.size(), 1u) << shocks.output;
    EXPECT_EQ(merged[0]["events"].size(), 2u);
    EXPECT_EQ(merged[0]["kind"], "shock");

    // Given as paths relative to the current folder: the index names the
    // sources by their full paths all the same.
    const CommandResult all =
        Cli("clips --family tx40 --kind folder in --before 1 --after 1 --out out", dir.path());
    ASSERT_EQ(ExitCode(all), 0) << all.output;
    const auto lines = JsonLines(all.output);
    ASSERT_EQ(lines.size(), 2u) << all.output;
    EXPECT_EQ(lines[1]["kind"], "user");
    // The shock clip again: a new name, the first one kept.
    EXPECT_NE(lines[0]["index"], merged[0]["index"]);
    EXPECT_TRUE(std::filesystem::exists(
        dir.path() + "/out/" +
        std::filesystem::path(std::string(merged[0]["index"])).filename().string()));
    {
        // The lines give the paths as they were given: read them from there.
        const auto here = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        ExpectClip(lines[1], RecorderFamily::TX40, false, &lines[1]["events"][0], 5);
        std::filesystem::current_path(here);
    }

    const CommandResult missing =
        Cli("clip --family tx40 " + Quote(recordings[1].front) + " --event 0 --out " + Quote(out));
    EXPECT_EQ(ExitCode(missing), 1);
    EXPECT_NE(missing.output.find("event 0 does not exist"), std::string::npos) << missing.output;
    const CommandResult outside =
        Cli("clip --family tx40 " + Quote(recordings[1].front) + " --at 30 --out " + Quote(out));
    EXPECT_EQ(ExitCode(outside), 1);
    EXPECT_NE(outside.output.find("lies outside"), std::string::npos) << outside.output;
    for (const char* bad :
         {"clip --family tx40 X --at 1 --event 0 --out O", "clip --family tx40 X --at 1",
          "clip --family tx40 X --at 1 --before 0 --out O",
          "clips --family tx40 --kind file X --out O",
          "clips --family tx40 --kind folder X --kinds shock,crash --out O"})
        EXPECT_EQ(ExitCode(Cli(bad)), 2) << bad;
}
