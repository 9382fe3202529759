// The 4:2:0 conversion against FFmpeg's scaler: same bytes for any picture,
// any chunking of its rows, with and without AVX2.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "playcore/convert/yuv420.h"

using namespace playcore;

namespace {

struct Planes {
    std::vector<uint8_t> y, u, v;
    Planes(int w, int h)
        : y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)), v(u.size()) {}
};

} // namespace

TEST(Yuv420, SameBytesAsTheScalerForEveryChunkingWithAndWithoutSimd) {
    struct Case {
        int width, height;
        int chunk; // rows per call
    };
    // Widths off the 32-pixel and 16-pair steps; the smallest height (the
    // first and last chroma rows neighbours) and chunks that split the rows
    // a chroma row reads.
    const Case cases[] = {{1920, 960, 32}, {1920, 960, 960}, {64, 8, 2},
                          {2, 8, 4},       {98, 10, 4},      {130, 66, 6}};
    std::mt19937 random(7);
    for (const Case& c : cases)
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " chunk " << c.chunk
                                              << " picture " << kind);
            std::vector<uint8_t> bgra(static_cast<size_t>(c.width) * c.height * 4);
            for (size_t i = 0; i < bgra.size(); ++i) {
                const uint8_t noise = static_cast<uint8_t>(random());
                // noise; the extremes only (saturation at both ends); a gradient
                bgra[i] = kind == 0   ? noise
                          : kind == 1 ? ((noise & 1) ? 255 : 0)
                                      : static_cast<uint8_t>(i / 4 % 256);
                if (i % 4 == 3) bgra[i] = 255;
            }
            // The scaler writes whole vectors: its picture has padded rows.
            AVFrame* want = av_frame_alloc();
            ASSERT_NE(want, nullptr);
            want->format = AV_PIX_FMT_YUV420P;
            want->width = c.width;
            want->height = c.height;
            ASSERT_GE(av_frame_get_buffer(want, 0), 0);
            SwsContext* sws =
                sws_getContext(c.width, c.height, AV_PIX_FMT_BGRA, c.width, c.height,
                               AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
            ASSERT_NE(sws, nullptr);
            const uint8_t* in[1] = {bgra.data()};
            const int inStride[1] = {c.width * 4};
            ASSERT_EQ(sws_scale(sws, in, inStride, 0, c.height, want->data, want->linesize),
                      c.height);
            sws_freeContext(sws);
            // The scaler's planes without their padding.
            std::vector<uint8_t> wanted[3];
            for (int p = 0; p < 3; ++p) {
                const int w = p ? c.width / 2 : c.width, h = p ? c.height / 2 : c.height;
                for (int y = 0; y < h; ++y)
                    wanted[p].insert(wanted[p].end(), want->data[p] + y * want->linesize[p],
                                     want->data[p] + y * want->linesize[p] + w);
            }
            av_frame_free(&want);

            for (bool simd : {true, false}) {
                Planes got(c.width, c.height);
                const Yuv420Planes planes{got.y.data(), got.u.data(), got.v.data(),
                                          c.width,      c.width / 2,  c.width / 2};
                for (int row = 0; row < c.height; row += c.chunk)
                    BgraToYuv420Rows(bgra.data(), c.width * 4, c.width, c.height, row, c.chunk,
                                     planes, simd);
                EXPECT_EQ(got.y, wanted[0]) << "luma, simd " << simd;
                EXPECT_EQ(got.u, wanted[1]) << "blue difference, simd " << simd;
                EXPECT_EQ(got.v, wanted[2]) << "red difference, simd " << simd;
            }
        }
}
