// Single recordings with the options tests of later work ask for.

#include <gtest/gtest.h>

#include <filesystem>

#include "mkcard/box_reader.h"
#include "mkcard/media_tools.h"
#include "tools/mkcard/framecode.h"
#include "tools/mkcard/recording.h"

namespace {

using playcore::RecorderFamily;
using namespace mkcard;
using namespace mkcard_test;
namespace fs = std::filesystem;

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(MKCARD_TEST_CARDS) /
               ("single-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const RecordingSpec& recipe, const std::string& name,
                      RecordingReport* report = nullptr) {
        const std::string path = (dir_ / name).string();
        std::string error;
        EXPECT_TRUE(WriteRecording(recipe, path, report, &error)) << error;
        EXPECT_FALSE(fs::exists(path + ".mkcard-part"));
        return path;
    }
    fs::path dir_;
};

TEST_F(Recording, CombinedFileCarriesFrontRearAndSound) {
    RecordingSpec recipe;
    recipe.family = RecorderFamily::TX50;
    recipe.content = FileContent::Combined;
    recipe.frontWidth = 320;
    recipe.frontHeight = 180;
    recipe.rearWidth = 192;
    recipe.rearHeight = 108;
    recipe.durationSeconds = 2.5;
    recipe.frameUs = kFrameUs27_5;
    recipe.gop = 10;
    const std::vector<uint8_t> file = ReadFile(Write(recipe, "combined.mp4"));
    size_t stopped = 0;
    const auto top = ParseBoxes(file, 0, file.size(), &stopped);
    ASSERT_EQ(top.size(), 3u);
    const auto traks = top[2].All("trak");
    ASSERT_EQ(traks.size(), 3u);
    const TrackTables front = ReadTrack(file, *traks[0]), rear = ReadTrack(file, *traks[1]),
                      sound = ReadTrack(file, *traks[2]);
    EXPECT_EQ(front.width, 320u);
    EXPECT_EQ(rear.width, 192u);
    EXPECT_EQ(rear.height, 108u);
    EXPECT_EQ(sound.handler, "soun");
    EXPECT_EQ(front.stss, (std::vector<uint32_t>{1, 11, 21, 31, 41, 51, 61}));
    EXPECT_EQ(front.stts[0].second, 36364u);
    // TX50: the block follows the last box, three records for 2.5 s.
    EXPECT_EQ(Text(file, stopped, 6), "CSODAT");
    EXPECT_EQ(file.size() - stopped, 3 * 91 + 49u);
    // The rear picture carries its own frame numbers.
    const std::vector<uint8_t> luma = DecodeLuma((dir_ / "combined.mp4").string(), 1, 192, 108, 0);
    ASSERT_EQ(luma.size(), 192u * 108 * 69);
    EXPECT_EQ(kframecode::ReadFrameCode(luma.data() + 192 * 108 * 68, 192, 108, 192), 68);
}

TEST_F(Recording, HeaderReadingsUnknownUdtaAndSilentMovies) {
    RecordingSpec recipe;
    recipe.family = RecorderFamily::TX40;
    recipe.frontWidth = 160;
    recipe.frontHeight = 90;
    recipe.audio = false;
    recipe.unknownUdtaChild = true;
    GpsHeader later;
    later.levels = {500, 600, 700};
    recipe.repeatedHeaders = {later};
    recipe.secondsToAdd = 5;
    const std::vector<uint8_t> file = ReadFile(Write(recipe, "options.mp4"));
    const auto top = ParseBoxes(file, 0, file.size());
    ASSERT_EQ(top.size(), 4u);
    const Box& moov = top[2];
    EXPECT_EQ(moov.ChildTypes(), (std::vector<std::string>{"mvhd", "trak", "udta"}));
    EXPECT_EQ(moov.Child("udta").ChildTypes(), std::vector<std::string>{"vndr"});
    const size_t block = top[3].Payload();
    EXPECT_EQ(Text(file, block + 36, 4), "@CSA");
    EXPECT_EQ(Text(file, block + 34 + 12, 12), "050006000700");
    EXPECT_EQ(Text(file, block + 34 + 3 * 79 - 79 + 44, 3), "005"); // last record: seconds to add
    EXPECT_EQ(RunCommand("ffmpeg -v error -nostdin -i " + Quote((dir_ / "options.mp4").string()) +
                         " -f null - 2>&1")
                  .output,
              "");
}

TEST_F(Recording, RecordCountsAndTimeLapseTiming) {
    RecordingSpec recipe;
    recipe.family = RecorderFamily::TX40;
    recipe.frontWidth = 160;
    recipe.frontHeight = 90;
    recipe.recordCount = 0;
    std::vector<uint8_t> file = ReadFile(Write(recipe, "empty.mp4"));
    auto top = ParseBoxes(file, 0, file.size());
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[3].size, 48u); // n = 0: header, count and end marker

    recipe.recordCount = 2;
    recipe.countOverride = 7;
    file = ReadFile(Write(recipe, "short.mp4"));
    top = ParseBoxes(file, 0, file.size());
    EXPECT_EQ(top[3].size, 2 * 79 + 48u);
    EXPECT_EQ(Be16(file, top[3].Payload() + 32), 7);

    // Time lapse: 66,666 us frames, one record per movie second, 15 s apart.
    RecordingSpec lapse;
    lapse.family = RecorderFamily::TX50;
    lapse.frontWidth = 160;
    lapse.frontHeight = 90;
    lapse.frameUs = kFrameUsTimeLapse;
    lapse.realSecondsPerRecord = 15;
    lapse.parked = true;
    lapse.durationSeconds = 1.8;
    RecordingReport report;
    file = ReadFile(Write(lapse, "lapse.mp4", &report));
    top = ParseBoxes(file, 0, file.size());
    const TrackTables video = ReadTrack(file, *top[2].All("trak")[0]);
    EXPECT_EQ(video.stts[0].first, 27u);
    EXPECT_EQ(video.stts[0].second, 66666u);
    ASSERT_EQ(report.records.size(), 2u);
    EXPECT_EQ(EpochSeconds(report.records[1].time) - EpochSeconds(report.records[0].time), 15);
    EXPECT_EQ(report.records[1].speedKmh, 0);
}

TEST_F(Recording, SameSpecSameBytesOtherSeedOtherNoise) {
    RecordingSpec recipe;
    recipe.family = RecorderFamily::TX50;
    recipe.frontWidth = 192;
    recipe.frontHeight = 108;
    recipe.events = {{1, EventKind::Radar}};
    const std::vector<uint8_t> a = ReadFile(Write(recipe, "a.mp4"));
    const std::vector<uint8_t> b = ReadFile(Write(recipe, "b.mp4"));
    EXPECT_TRUE(a == b);
    recipe.seed = 2;
    const std::vector<uint8_t> c = ReadFile(Write(recipe, "c.mp4"));
    EXPECT_EQ(a.size(), c.size());
    EXPECT_FALSE(a == c); // the acceleration noise differs
    // Unfinished: ftyp and mdat only.
    recipe.unfinished = true;
    const std::vector<uint8_t> d = ReadFile(Write(recipe, "d.dat"));
    const auto top = ParseBoxes(d, 0, d.size());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[1].offset + top[1].size, d.size());
    // A file that cannot be created fails cleanly.
    std::string error;
    EXPECT_FALSE(WriteRecording(recipe, (dir_ / "missing" / "x.mp4").string(), nullptr, &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
