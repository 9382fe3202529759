// The test-preset cards as written by mkcard (the CTest fixture writes them):
// read by ffprobe and ffmpeg as ordinary movies, laid out as the recorder lays
// out its files, listed by the viewer's own grammar as the manifest says, and
// the same bytes on every run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "kinetta/catalogue/delete_folder.h"
#include "kinetta/catalogue/partner_search.h"
#include "kinetta/catalogue/recording_names.h"
#include "mkcard/box_reader.h"
#include "mkcard/media_tools.h"
#include "tools/mkcard/card.h"
#include "tools/mkcard/framecode.h"

namespace {

using playcore::RecorderFamily;
using namespace mkcard;
using namespace mkcard_test;
namespace fs = std::filesystem;

// The parameter is the card's folder, "tx40" or "tx50".
class CardFiles : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        family_ = GetParam() == "tx50" ? RecorderFamily::TX50 : RecorderFamily::TX40;
        plan_ = MakeCardPlan(family_, Preset::Test);
        root_ = CardRoot(GetParam().c_str());
        ASSERT_TRUE(fs::exists(root_ + "/" + kManifestName))
            << "the fixture did not write " << root_;
    }
    bool Tx50() const { return family_ == RecorderFamily::TX50; }
    std::string Path(const PlannedFile& f) const { return root_ + "/" + f.path; }
    // Movies that ffmpeg must read: every .MP4 written (finished or not).
    std::vector<const PlannedFile*> Movies() const {
        std::vector<const PlannedFile*> out;
        for (const PlannedFile& f : plan_.files)
            if (f.generated && !f.recipe.unfinished) out.push_back(&f);
        return out;
    }
    RecorderFamily family_ = RecorderFamily::TX40;
    CardPlan plan_;
    std::string root_;
};

std::map<std::string, std::string> Fields(const std::string& line) {
    std::map<std::string, std::string> out;
    size_t at = 0;
    while (at < line.size()) {
        size_t bar = line.find('|', at);
        if (bar == std::string::npos) bar = line.size();
        const std::string item = line.substr(at, bar - at);
        const size_t eq = item.find('=');
        if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
        at = bar + 1;
    }
    return out;
}

TEST_P(CardFiles, FfprobeCountsTheSamplesOfEveryTrack) {
    for (const PlannedFile* f : Movies()) {
        const RecordingSpec& s = f->recipe;
        const CommandResult r =
            RunCommand("ffprobe -v error -count_packets -show_entries "
                       "stream=codec_type,codec_name,width,height,nb_read_packets,duration "
                       "-of compact=p=0 " +
                       Quote(Path(*f)));
        ASSERT_EQ(r.status, 0) << f->path;
        std::vector<std::map<std::string, std::string>> streams;
        size_t at = 0;
        while (at < r.output.size()) {
            size_t nl = r.output.find('\n', at);
            if (nl == std::string::npos) nl = r.output.size();
            if (nl > at) streams.push_back(Fields(r.output.substr(at, nl - at)));
            at = nl + 1;
        }
        const bool combined = s.content == FileContent::Combined;
        ASSERT_EQ(streams.size(), combined ? 3u : 2u) << f->path;
        const int frames = FrameCount(s.durationSeconds, s.frameUs);
        for (size_t i = 0; i + 1 < streams.size(); ++i) {
            EXPECT_EQ(streams[i]["codec_type"], "video");
            EXPECT_EQ(streams[i]["codec_name"], "h264");
            EXPECT_EQ(std::atoi(streams[i]["nb_read_packets"].c_str()), frames) << f->path;
            const bool rearPicture = s.content == FileContent::Rear || i == 1;
            EXPECT_EQ(std::atoi(streams[i]["width"].c_str()),
                      rearPicture ? s.rearWidth : s.frontWidth);
            EXPECT_EQ(std::atoi(streams[i]["height"].c_str()),
                      rearPicture ? s.rearHeight : s.frontHeight);
        }
        auto& audio = streams.back();
        EXPECT_EQ(audio["codec_type"], "audio");
        EXPECT_EQ(audio["codec_name"], "aac");
        // The sound lasts as long as the picture, to within one AAC frame.
        EXPECT_NEAR(std::atof(audio["duration"].c_str()), frames * s.frameUs / 1e6, 0.03)
            << f->path;
    }
}

TEST_P(CardFiles, FfmpegDecodesEveryMovieWithoutAnError) {
    // One ffmpeg run decodes every movie of the card; a file is named only when
    // that run reports an error.
    std::string command = "ffmpeg -v error -nostdin";
    const auto movies = Movies();
    for (const PlannedFile* f : movies)
        command += " -i " + Quote(Path(*f));
    for (size_t i = 0; i < movies.size(); ++i)
        command += " -map " + std::to_string(i) + " -f null -";
    const CommandResult all = RunCommand(command + " 2>&1");
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.output, "");
    if (all.status == 0 && all.output.empty()) return;
    for (const PlannedFile* f : movies)
        EXPECT_EQ(
            RunCommand("ffmpeg -v error -nostdin -i " + Quote(Path(*f)) + " -map 0 -f null - 2>&1")
                .output,
            "")
            << f->path;
}

TEST_P(CardFiles, BoxesTablesAndGpsBlockAreTheRecordersLayout) {
    const size_t recordSize = Tx50() ? 91 : 79, headerSize = Tx50() ? 43 : 34;
    for (const PlannedFile& f : plan_.files) {
        if (!f.generated) continue;
        SCOPED_TRACE(f.path);
        const RecordingSpec& s = f.recipe;
        const std::vector<uint8_t> file = ReadFile(Path(f));
        size_t stopped = 0;
        const auto top = ParseBoxes(file, 0, file.size(), &stopped);
        ASSERT_GE(top.size(), 2u);
        EXPECT_EQ(top[0].type, "ftyp");
        EXPECT_EQ(top[0].size, 24u);
        EXPECT_EQ(top[1].type, "mdat");
        if (s.unfinished) {
            // A recording still being written: no movie header, no GPS block.
            EXPECT_EQ(top.size(), 2u);
            EXPECT_EQ(stopped, file.size());
            continue;
        }
        ASSERT_GE(top.size(), 3u);
        EXPECT_EQ(top[2].type, "moov");

        // The GPS block: TX40 in a last "gps0" box, TX50 right after the last box.
        size_t block = 0, blockEnd = file.size();
        if (!Tx50()) {
            if (s.gps) {
                ASSERT_EQ(top.size(), 4u);
                EXPECT_EQ(top[3].type, "gps0");
                EXPECT_EQ(top[3].offset + top[3].size, file.size());
                block = top[3].Payload();
            } else {
                EXPECT_EQ(top.size(), 3u);
            }
        } else {
            EXPECT_EQ(top.size(), 3u);
            EXPECT_EQ(stopped, top[2].offset + top[2].size);
            if (s.gps) block = stopped;
        }
        if (!s.gps) {
            EXPECT_EQ(stopped, file.size());
        } else {
            EXPECT_EQ(Text(file, block, 6), "CSODAT");
            const size_t n = Be16(file, block + headerSize - 2);
            const int movieSeconds = static_cast<int>(
                std::ceil(FrameCount(s.durationSeconds, s.frameUs) * s.frameUs / 1e6 - 1e-9));
            EXPECT_EQ(n, size_t(movieSeconds)); // one record per second of movie
            EXPECT_EQ(blockEnd - block, headerSize + n * recordSize + (s.endMarker ? 6 : 0));
            if (!Tx50()) {
                EXPECT_EQ(top[3].size, n * 79 + (s.endMarker ? 48 : 42));
            }
            EXPECT_EQ(Text(file, block + 6, 6), s.header.identification);
            const size_t statusAt = Tx50() ? 8 : 5, timeAt = Tx50() ? 34 : 31,
                         extraAt = Tx50() ? 87 : 78;
            for (size_t i = 0; i < n; ++i) {
                const size_t r = block + headerSize + i * recordSize;
                bool noFix = false;
                for (auto [a, b] : s.noFix)
                    noFix |= int(i) >= a && int(i) <= b;
                EXPECT_EQ(file[r + statusAt], noFix ? 'V' : 'A');
                const CivilTime t = AddSeconds(s.start, int64_t(i * s.realSecondsPerRecord));
                char stamp[16];
                std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d", t.year % 100,
                              t.month, t.day, t.hour, t.minute, t.second);
                EXPECT_EQ(Text(file, r + timeAt, 12), stamp);
                EXPECT_EQ(file[r + extraAt], s.content == FileContent::Rear ? 'R' : 'M');
            }
            for (const GpsEvent& e : s.events) {
                const size_t r = block + headerSize + size_t(e.record) * recordSize;
                switch (e.kind) {
                case EventKind::ShockX:
                    EXPECT_EQ(file[r + (Tx50() ? 79 : 73)], 'X');
                    break;
                case EventKind::ShockY:
                    EXPECT_EQ(file[r + (Tx50() ? 79 : 73)], 'Y');
                    break;
                case EventKind::ShockZ:
                    EXPECT_EQ(file[r + (Tx50() ? 79 : 73)], 'Z');
                    break;
                case EventKind::UserPoint:
                    EXPECT_EQ(file[r + (Tx50() ? 78 : 72)], 'D');
                    break;
                case EventKind::Parking:
                    EXPECT_EQ(file[r + (Tx50() ? 82 : 74)], 'D');
                    break;
                case EventKind::EmergencyStop:
                    EXPECT_EQ(file[r + 81], 'D');
                    break;
                case EventKind::Speeding:
                    EXPECT_EQ(file[r + 83], 'D');
                    break;
                case EventKind::SpeedCamera:
                    EXPECT_EQ(file[r + 50], 0xA9);
                    break;
                case EventKind::Radar:
                    EXPECT_EQ(file[r + 50], 0x88);
                    break;
                case EventKind::AssistH:
                    EXPECT_EQ(file[r + 80], 'H');
                    break;
                case EventKind::AssistA:
                    EXPECT_EQ(file[r + 80], 'A');
                    break;
                case EventKind::AssistB:
                    EXPECT_EQ(file[r + 80], 'B');
                    break;
                }
            }
        }
        // The viewer's completeness test: "CSOEND" in the last record and marker.
        std::string tail = Text(file, file.size() - (Tx50() ? 97 : 85), Tx50() ? 97 : 85);
        std::replace(tail.begin(), tail.end(), '\0', ' ');
        EXPECT_EQ(tail.find("CSOEND") != std::string::npos, s.gps && s.endMarker);

        // Tracks: video (front, then rear in a combined file), then audio.
        const Box& moov = top[2];
        const auto traks = moov.All("trak");
        const size_t videos = s.content == FileContent::Combined ? 2 : 1;
        ASSERT_EQ(traks.size(), videos + 1);
        EXPECT_EQ(Be32(file, moov.Child("mvhd").Payload() + 96), videos + 2); // next track ID
        uint64_t chunkBytes = 0;
        for (size_t ti = 0; ti < traks.size(); ++ti) {
            const TrackTables t = ReadTrack(file, *traks[ti]);
            const bool video = ti < videos;
            EXPECT_EQ(t.handler, video ? "vide" : "soun");
            EXPECT_EQ(t.sampleEntry, video ? "avc1" : "mp4a");
            ASSERT_EQ(t.stts.size(), 1u);
            if (video) {
                EXPECT_EQ(t.timescale, 1000000u); // microseconds
                EXPECT_EQ(t.stts[0].second, s.frameUs);
                EXPECT_TRUE(t.hasStss);
                for (size_t k = 0; k < t.stss.size(); ++k)
                    EXPECT_EQ(t.stss[k], 1 + k * size_t(s.gop));
                // The viewer's timing probe accepts the movie.
                const double total = double(t.stts[0].first) * t.stts[0].second;
                const double frameMs = std::floor(std::floor(total / t.stts[0].first) / 1000);
                EXPECT_TRUE(total / 1e6 > 2.0 || std::floor(1000 / frameMs) == 15);
            } else {
                EXPECT_FALSE(t.hasStss);
                EXPECT_EQ(t.timescale, 48000u);
                EXPECT_EQ(t.stts[0].second, 1024u);
                EXPECT_EQ(t.editMediaTime, 1024); // the encoder's priming is skipped
            }
            ASSERT_EQ(t.stsc.size(), t.stco.size()); // one stsc entry per chunk
            size_t sample = 0;
            for (size_t c = 0; c < t.stsc.size(); ++c) {
                EXPECT_EQ(t.stsc[c][0], c + 1);
                EXPECT_GE(t.stco[c], top[1].Payload());
                size_t bytes = 0;
                for (uint32_t k = 0; k < t.stsc[c][1]; ++k)
                    bytes += t.sizes.at(sample++);
                EXPECT_LE(t.stco[c] + bytes, top[1].offset + top[1].size);
                chunkBytes += bytes;
            }
            EXPECT_EQ(sample, t.sizes.size());
        }
        EXPECT_EQ(chunkBytes, top[1].PayloadSize());
    }
}

TEST_P(CardFiles, FrameCodeReadsBackFromDecodedFrames) {
    int checked = 0;
    for (const PlannedFile* f : Movies()) {
        const RecordingSpec& s = f->recipe;
        const int frames = FrameCount(s.durationSeconds, s.frameUs);
        const int tracks = s.content == FileContent::Combined ? 2 : 1;
        for (int track = 0; track < tracks; ++track) {
            const bool rear = s.content == FileContent::Rear || track == 1;
            const int w = rear ? s.rearWidth : s.frontWidth,
                      h = rear ? s.rearHeight : s.frontHeight;
            // Every picture as decoded by libavcodec.
            LumaFrames decoded;
            ASSERT_TRUE(DecodeVideo(Path(*f), track, &decoded)) << f->path;
            ASSERT_EQ(decoded.frames.size(), size_t(frames)) << f->path;
            ASSERT_EQ(decoded.width, w);
            for (int i = 0; i < frames; ++i)
                ASSERT_EQ(kframecode::ReadFrameCode(decoded.frames[size_t(i)].data(), w, h, w), i)
                    << f->path << " track " << track;
            ++checked;
            // One front and one rear picture also scaled down and up by ffmpeg, and
            // through JPEG at two sizes, as stills and window grabs will meet them.
            if (f->path.find("001_") == std::string::npos) continue;
            struct Way {
                int w, h, jpeg;
            };
            for (const Way& way : {Way{w / 2, h / 2, 0}, Way{w * 3 / 2, h * 3 / 2, 0}, Way{w, h, 8},
                                   Way{w * 2, h * 2, 20}}) {
                const std::vector<uint8_t> luma =
                    DecodeLuma(Path(*f), track, way.w, way.h, way.jpeg);
                const size_t size = size_t(way.w) * way.h;
                ASSERT_EQ(luma.size(), size * frames) << f->path << " at " << way.w << "x" << way.h;
                for (int i = 0; i < frames; ++i)
                    ASSERT_EQ(
                        kframecode::ReadFrameCode(luma.data() + size * i, way.w, way.h, way.w), i)
                        << f->path << " at " << way.w << "x" << way.h << " jpeg " << way.jpeg;
            }
        }
    }
    EXPECT_GE(checked, 16);
}

TEST_P(CardFiles, TheViewersGrammarFindsWhatTheManifestPromises) {
    const RecorderFamily family = family_;
    // Scan as the viewer does: date folders to three levels, movie names of the
    // grammar, complete recordings only, pairs by the partner search.
    std::set<std::string> found, expected;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (!entry.is_regular_file()) continue;
        const std::string rel = fs::relative(entry.path(), root_).generic_string();
        bool inDateFolders = rel.find('/') != std::string::npos;
        for (fs::path p = fs::path(rel).parent_path(); !p.empty(); p = p.parent_path()) {
            const std::string name = p.filename().string();
            bool date = name.size() >= 12;
            for (size_t i = 0; date && i < 8; ++i)
                date = std::isdigit(static_cast<unsigned char>(name[i]));
            inDateFolders = inDateFolders && date && name[8] == '_';
        }
        if (!inDateFolders || !kinetta::IsRecordingMovieFile(rel, family)) continue;
        const std::vector<uint8_t> bytes = ReadFile(entry.path().string());
        const size_t tailSize = family == RecorderFamily::TX50 ? 97 : 85;
        if (bytes.size() < tailSize) continue;
        std::string tail(bytes.end() - long(tailSize), bytes.end());
        std::replace(tail.begin(), tail.end(), '\0', ' ');
        if (tail.find("CSOEND") == std::string::npos || Text(bytes, 4, 4) != "ftyp") continue;
        found.insert(rel);
    }
    for (const PlannedFile& f : plan_.files)
        if (f.listed) expected.insert(f.path);
    EXPECT_EQ(found, expected);

    for (const ExpectedEntry& e : plan_.catalogue) {
        const std::string shown = e.front.empty() ? e.rear : e.front;
        const std::string partner = kinetta::FindPartnerFile(root_ + "/" + shown, false, family);
        const std::string other = e.front.empty() ? e.front : e.rear;
        EXPECT_EQ(partner, other.empty() ? "" : root_ + "/" + other) << shown;
    }
    // The delete folder's numbers as the viewer reads them.
    const kinetta::DeleteNumbers numbers = kinetta::ScanDeleteFolder(root_ + "/" + kDeleteFolder);
    EXPECT_EQ(numbers.normal, plan_.deleteNormal);
    EXPECT_EQ(numbers.parking, plan_.deleteParking);
    EXPECT_EQ(numbers.temp, plan_.deleteTemp);
    // Root files: the family's marker, the card settings file, the trace marker.
    EXPECT_EQ(kinetta::ModelKeyOfRoot(root_),
              Tx50() ? std::string(kinetta::kModelKeyTX50) : std::string(kinetta::kModelKeyTX40));
    EXPECT_TRUE(kinetta::HasTraceMarker(root_));
    const std::vector<uint8_t> dfc = ReadFile(root_ + "/" + kCardSettingsName);
    ASSERT_GE(dfc.size(), 42u);
    EXPECT_EQ(Text(dfc, 33, 6), Tx50() ? "      " : "230401");
}

TEST_P(CardFiles, TwoRunsWriteTheSameBytes) {
    const std::string again = std::string(MKCARD_TEST_CARDS) + "/again-" + GetParam();
    CardOptions options;
    options.family = family_;
    options.preset = Preset::Test;
    options.outDir = again;
    options.force = true;
    std::string error;
    ASSERT_TRUE(WriteCard(options, nullptr, &error)) << error;
    size_t compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (!entry.is_regular_file()) continue;
        const std::string rel = fs::relative(entry.path(), root_).generic_string();
        ASSERT_TRUE(fs::exists(again + "/" + rel)) << rel;
        EXPECT_TRUE(ReadFile(entry.path().string()) == ReadFile(again + "/" + rel)) << rel;
        ++compared;
    }
    size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again))
        written += entry.is_regular_file();
    EXPECT_EQ(written, compared);
    EXPECT_GT(compared, plan_.files.size()); // the movies plus the root files
    fs::remove_all(again);
}

INSTANTIATE_TEST_SUITE_P(Families, CardFiles, ::testing::Values("tx40", "tx50"),
                         [](const auto& info) { return info.param; });

} // namespace
