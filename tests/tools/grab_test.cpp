// kinetta-cli grab on mkcard recordings: the JPEG shows the frame asked for
// (read back by its frame-number code), for the first, a middle and the last
// frame, in a one-camera and a combined recording; the default size; clean
// failures for a frame past the end, a file that is no movie, and prompt ones
// for a movie whose pictures cannot be decoded.

#include <gtest/gtest.h>

#include <QImage>

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "support/command_run.h"
#include "support/picture_code.h"
#include "support/temp_dir.h"
#include "tools/mkcard/recording.h"

namespace {

using ktest::RunCommand;

const std::string kCli = ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// Rewrites the bytes of every video packet of the movie at path (found by
// ffprobe: "packet|size=N|pos=P" lines): `damage` gets the packet's bytes.
bool DamagePictures(const std::string& path, void (*damage)(std::string& packet)) {
    const ktest::CommandRun probe = RunCommand(
        "ffprobe -v error -select_streams v -show_entries packet=pos,size -of compact '" + path +
        "'");
    if (probe.status != 0) return false;
    std::string bytes = ktest::ReadFile(path);
    std::istringstream lines(probe.out);
    std::string line;
    int packets = 0;
    while (std::getline(lines, line)) {
        long long size = -1, pos = -1;
        if (std::sscanf(line.c_str(), "packet|size=%lld|pos=%lld", &size, &pos) != 2) continue;
        if (pos < 0 || size < 5 || static_cast<size_t>(pos + size) > bytes.size()) return false;
        std::string packet = bytes.substr(static_cast<size_t>(pos), static_cast<size_t>(size));
        damage(packet);
        bytes.replace(static_cast<size_t>(pos), packet.size(), packet);
        ++packets;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return packets > 0;
}

class Grab : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
            GTEST_SKIP() << "no display for GL";
    }
    // A recording of mkcard (frame code in every picture); its frame count.
    int Make(const std::string& name, mkcard::FileContent content) {
        av_log_set_level(AV_LOG_ERROR);
        mkcard::RecordingSpec recipe;
        recipe.content = content;
        recipe.durationSeconds = 2;
        mkcard::RecordingReport report;
        std::string error;
        EXPECT_TRUE(mkcard::WriteRecording(recipe, dir_ / name, &report, &error)) << error;
        return report.frames;
    }
    ktest::CommandRun Run(const std::string& args) {
        return RunCommand(kCli + " grab --family tx40 " + args);
    }
    // The frame code of the JPEG at `path`; -1 when unreadable.
    static int CodeOf(const std::string& path, QSize* size = nullptr) {
        QImage picture(QString::fromStdString(path), "JPEG");
        if (size) *size = picture.size();
        return ktest::PictureCode(picture);
    }

    ktest::TempDir dir_;
};

} // namespace

TEST_F(Grab, StillShowsTheFrameAskedFor) {
    const int frames = Make("001_120000A_M.MP4", mkcard::FileContent::Front);
    ASSERT_GT(frames, 40);
    for (int n : {0, 1, 37, frames - 1}) {
        SCOPED_TRACE(n);
        const std::string out = dir_ / ("still-" + std::to_string(n) + ".jpg");
        const ktest::CommandRun r =
            Run(dir_ / "001_120000A_M.MP4" + " --frame " + std::to_string(n) +
                " --mode 5 --size 640x360 --out " + out);
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        EXPECT_TRUE(Has(r.out, R"({"ok":true,)")) << r.out;
        EXPECT_TRUE(Has(r.out, R"("mode":5,"width":640,"height":360,)")) << r.out;
        QSize size;
        EXPECT_EQ(CodeOf(out, &size), n);
        EXPECT_EQ(size, QSize(640, 360));
    }

    // Without --size the still has the size of a 1280x720 movie area.
    const std::string big = dir_ / "big.jpg";
    const ktest::CommandRun r =
        Run(dir_ / "001_120000A_M.MP4" + " --frame 12 --mode 5 --out " + big);
    ASSERT_EQ(r.status, 0) << r.err;
    QSize size;
    EXPECT_EQ(CodeOf(big, &size), 12);
    EXPECT_EQ(size, QSize(1280, 720));
}

TEST_F(Grab, CombinedRecordingGivesTheFrontCamera) {
    const int frames = Make("004_120000_A.MP4", mkcard::FileContent::Combined);
    const std::string out = dir_ / "combined.jpg";
    const ktest::CommandRun r =
        Run(dir_ / "004_120000_A.MP4" + " --frame " + std::to_string(frames - 1) +
            " --mode 5 --size 640x360 --out " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CodeOf(out), frames - 1);
}

TEST_F(Grab, FailuresAreReported) {
    const int frames = Make("001_120000A_M.MP4", mkcard::FileContent::Front);
    const std::string out = dir_ / "none.jpg";
    const ktest::CommandRun past =
        Run(dir_ / "001_120000A_M.MP4" + " --frame " + std::to_string(frames) + " --out " + out);
    EXPECT_EQ(past.status, 1);
    EXPECT_TRUE(Has(past.out, R"({"ok":false,"error":")")) << past.out;
    EXPECT_TRUE(Has(past.out, "past the end")) << past.out;
    EXPECT_TRUE(Has(past.err, "kinetta-cli grab: ")) << past.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    const std::string junk = dir_.Write("junk.MP4", "not a movie at all");
    const ktest::CommandRun bad = Run(junk + " --frame 0 --out " + out);
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Has(bad.out, R"({"ok":false,"error":")")) << bad.out;
    EXPECT_FALSE(std::filesystem::exists(out));

    EXPECT_EQ(Run(dir_ / "001_120000A_M.MP4" + " --frame 0 --out x.png").status, 2);
    EXPECT_EQ(Run("--frame 0 --out " + out).status, 2);
}

// A movie whose container is sound but whose pictures cannot be shown: the
// grab ends as soon as the player reports it, with the reason.
TEST_F(Grab, UndecodablePicturesFailAtOnce) {
    struct Case {
        const char* name;
        void (*damage)(std::string& packet);
        const char* reason;
    };
    const Case cases[] = {
        // Every byte 0xff: NAL lengths past the packet, the decoder refuses each.
        {"broken", [](std::string& p) { p.assign(p.size(), '\xff'); }, "cannot be decoded"},
        // The first NAL unit's length kept, everything behind it garbled:
        // the decoder finds no picture in any packet.
        {"garbled",
         [](std::string& p) {
             for (size_t i = 4; i < p.size(); ++i)
                 p[i] = char((i * 37 + 11) & 0xff);
         },
         "cannot be decoded"},
    };
    Make("001_120000A_M.MP4", mkcard::FileContent::Front);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string movie = dir_ / (std::string(c.name) + "_M.MP4");
        std::filesystem::copy_file(dir_ / "001_120000A_M.MP4", movie);
        ASSERT_TRUE(DamagePictures(movie, c.damage));
        const std::string out = dir_ / (std::string(c.name) + ".jpg");
        QElapsedTimer took;
        took.start();
        const ktest::CommandRun r = Run(movie + " --frame 20 --out " + out);
        // Reported, not asserted: the player's time to report the failure.
        std::printf("grab of a movie with %s pictures failed after %lld ms\n", c.name,
                    static_cast<long long>(took.elapsed()));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(Has(r.out, R"({"ok":false,"error":")")) << r.out;
        EXPECT_TRUE(Has(r.out, c.reason)) << r.out;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}
