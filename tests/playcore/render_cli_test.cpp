// kinetta-cli render on a movie made by ffmpeg: the right frame, drawn at the
// asked size, written as PNG or JPEG; clean failures otherwise.

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "playcore/models/video_frame.h"
#include "support/temp_dir.h"

namespace {

const std::string kCli = std::string(KINETTA_TEST_BINARY_DIR) + "/tools/kinetta-cli/kinetta-cli";

bool HaveDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

struct Result {
    int status = -1;
    std::string out;
};

Result Sh(const std::string& cmd) {
    Result r;
    FILE* p = ::popen((cmd + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class RenderCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no display for GL";
        // Ten 320 x 240 frames, frame N a flat grey of Y = 16 + 40 N, lossless.
        movie_ = dir_ / "grey.mp4";
        const Result made = Sh("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                               "\"color=c=black:s=320x240:r=10:d=1,format=yuv420p,"
                               "geq=lum='16+mod(N*40\\,200)':cb=128:cr=128\" "
                               "-c:v libx264 -qp 0 -pix_fmt yuv420p " +
                               movie_);
        if (made.status != 0) GTEST_SKIP() << "ffmpeg with libx264 is not available";
    }
    Result Render(const std::string& args) { return Sh(kCli + " render " + movie_ + " " + args); }

    ktest::TempDir dir_;
    std::string movie_;
};

} // namespace

TEST_F(RenderCli, DrawsTheAskedFrameAtTheAskedSize) {
    const std::string png = dir_ / "f3.png";
    const Result r = Render("--frame 3 --mode 5 --size 64x36 --out " + png);
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"videoWidth\":320"), std::string::npos) << r.out;
    const QImage img(QString::fromStdString(png));
    ASSERT_EQ(img.size(), QSize(64, 36));
    EXPECT_EQ(img.pixel(32, 18), playcore::Bt601ToArgb(16 + 3 * 40, 128, 128));

    const std::string jpg = dir_ / "turned.jpg";
    ASSERT_EQ(Render("--frame 0 --mode 3 --size 1280x720 --zoom 1.5 --drag 0.1,0 --commit "
                     "--drag 0,0.05 --flip --aspect 16,9 --out " +
                     jpg)
                  .status,
              0);
    QImageReader reader(QString::fromStdString(jpg));
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(1280, 720));
}

TEST_F(RenderCli, FailuresLeaveNoPicture) {
    const std::string out = dir_ / "x.png";
    EXPECT_EQ(Render("--frame 10 --mode 2 --size 64x64 --out " + out).status, 1); // past the end
    EXPECT_EQ(Sh(kCli + " render " + (dir_ / "none.mp4") +
                 " --frame 0 --mode 2 --size 64x64 "
                 "--out " +
                 out)
                  .status,
              1);
    EXPECT_EQ(Render("--frame 0 --mode 6 --size 64x64 --out " + out).status, 2);
    EXPECT_EQ(Render("--frame 0 --mode 2 --size 0x64 --out " + out).status, 2);
    EXPECT_EQ(Render("--frame 0 --mode 2 --size 64x64 --out " + (dir_ / "x.bmp")).status, 2);
    EXPECT_EQ(Render("--frame 0 --mode 2 --size 64x64 --out " + (dir_ / "no/x.jpg")).status, 1);
    EXPECT_FALSE(std::ifstream(out).good());
}
