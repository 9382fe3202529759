// The unwrap drawn with the display-model GL code and the CPU writer's remap
// table agree pixel for pixel, up to the rounding of the two colour paths
// (the GL path filters the planes and converts, the table converts and
// filters), upright and flipped, the band included.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "playcore/convert/convert_rules.h"
#include "playcore/convert/gl_unwrap.h"
#include "playcore/convert/unwrap.h"
#include "tests/playcore/gl_support.h"

using namespace playcore;
using namespace ktest;

namespace {

const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// A 640 x 360 I420 picture with smooth gradients, a ring and hard-edged
// blocks, so that both the mapping and the filtering show.
VideoFrame TestPicture(std::array<uint8_t*, 3>* planes) {
    VideoFrame f = AllocateFrame(PixelFormat::I420, 640, 360, planes);
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 640; ++x) {
            const double r = std::hypot(x - 320.0, (y - 180.0) * 16 / 9);
            int luma = 16 + (x * 219) / 639;
            if (std::fmod(r, 60) < 8) luma = 235;
            if ((x / 40 + y / 40) % 5 == 0) luma = 40;
            (*planes)[0][y * 640 + x] = static_cast<uint8_t>(luma);
        }
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 320; ++x) {
            (*planes)[1][y * 320 + x] = static_cast<uint8_t>(60 + (y * 140) / 179);
            (*planes)[2][y * 320 + x] = static_cast<uint8_t>((x / 20) % 2 ? 200 : 70);
        }
    return f;
}

} // namespace

TEST(ConvertGl, GlPathAndRemapTableAgree) {
    KTEST_NEED_GL();
    std::array<uint8_t*, 3> planes{};
    const VideoFrame frame = TestPicture(&planes);
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flipped" : "upright");
        GlUnwrapRenderer gl;
        ASSERT_TRUE(gl.Create(QSize(kConvertWidth, kConvertHeight), flip));
        std::vector<uint8_t> drawn;
        ASSERT_TRUE(gl.Render(frame, &drawn));
        ASSERT_EQ(drawn.size(), size_t(kConvertWidth) * kConvertHeight * 4);

        RemapTable table;
        ASSERT_TRUE(BuildRemapTable(kConvertWidth, kConvertHeight, 640, 360, flip, &table));
        std::vector<uint8_t> cpu(drawn.size());
        RemapRows(table, YuvPlanes{planes[0], planes[1], planes[2], 640, 320, 320}, cpu.data(),
                  kConvertWidth * 4, 0, kConvertHeight);

        // Channel differences over the whole picture.
        long long sum = 0;
        size_t far = 0;
        for (size_t i = 0; i < cpu.size(); i += 4)
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(cpu[i + c] - drawn[i + c]);
                sum += d;
                far += d > 48;
            }
        const double channels = double(cpu.size() / 4 * 3);
        EXPECT_LT(sum / channels, 1.0);
        // Hard edges magnified by the unwrap may differ by the two paths'
        // sub-texel precision, but rarely by more than a fifth of the range.
        EXPECT_LT(far / channels, 0.005);
        // And the pictures are aligned: moving one by a pixel either way
        // makes them differ more.
        auto differing = [&](int dx, int dy) {
            size_t n = 0;
            for (int y = 400; y < 900; ++y)
                for (int x = 2; x < kConvertWidth - 2; ++x) {
                    const size_t i = (size_t(y) * kConvertWidth + x) * 4;
                    const size_t j = (size_t(y + dy) * kConvertWidth + x + dx) * 4;
                    n += std::abs(cpu[j + 1] - drawn[i + 1]) > 8;
                }
            return n;
        };
        const size_t aligned = differing(0, 0);
        EXPECT_LT(aligned, differing(-1, 0));
        EXPECT_LT(aligned, differing(1, 0));
        EXPECT_LT(aligned, differing(0, -1));
        EXPECT_LT(aligned, differing(0, 1));
        // The band is black on both.
        const int row = flip ? kConvertHeight - 1 : 0;
        for (int x = 0; x < kConvertWidth; x += 97) {
            const size_t i = (size_t(row) * kConvertWidth + x) * 4;
            EXPECT_EQ(drawn[i] | drawn[i + 1] | drawn[i + 2], 0);
            EXPECT_EQ(cpu[i] | cpu[i + 1] | cpu[i + 2], 0);
        }
    }
}
