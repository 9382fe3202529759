// Decoded pictures handed to the presenter: drawable formats pass without a
// copy; full-range YUV and bottom-up rows are converted to video-range I420.

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <cstring>

#include "playcore/player/frame_convert.h"

namespace playcore {
namespace {

struct Frame {
    AVFrame* f = av_frame_alloc();
    Frame(AVPixelFormat format, int w, int h, int y, int uv) {
        f->format = format;
        f->width = w;
        f->height = h;
        EXPECT_EQ(av_frame_get_buffer(f, 0), 0);
        for (int row = 0; row < h; ++row)
            std::memset(f->data[0] + row * f->linesize[0], y, static_cast<size_t>(w));
        for (int p = 1; p < 3; ++p)
            for (int row = 0; row < h / 2; ++row)
                std::memset(f->data[p] + row * f->linesize[p], uv, static_cast<size_t>(w / 2));
    }
    ~Frame() { av_frame_free(&f); }
};

TEST(FrameConvert, DrawableFormatsPassAndOthersBecomeVideoRangeI420) {
    Frame plain(AV_PIX_FMT_YUV420P, 16, 16, 200, 128);
    auto same = ToVideoFrame(plain.f);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->format, PixelFormat::I420);
    EXPECT_EQ(same->data[0], plain.f->data[0]); // a reference, not a copy

    // Full-range white and black become the video range's 235 and 16.
    for (auto [in, out] : {std::pair{255, 235}, std::pair{0, 16}}) {
        Frame full(AV_PIX_FMT_YUVJ420P, 16, 16, in, 128);
        auto converted = ToVideoFrame(full.f);
        ASSERT_TRUE(converted);
        EXPECT_EQ(converted->format, PixelFormat::I420);
        EXPECT_NE(converted->data[0], full.f->data[0]);
        EXPECT_NEAR(converted->data[0][5 * converted->stride[0] + 5], out, 1) << in;
    }

    // Bottom-up rows (negative line sizes) come out top-down.
    Frame rows(AV_PIX_FMT_YUV420P, 16, 16, 50, 128);
    for (int x = 0; x < 16; ++x)
        rows.f->data[0][15 * rows.f->linesize[0] + x] = 180; // the last row in memory
    for (int p = 0; p < 3; ++p) {
        const int h = p == 0 ? 16 : 8;
        rows.f->data[p] += (h - 1) * rows.f->linesize[p];
        rows.f->linesize[p] = -rows.f->linesize[p];
    }
    auto flipped = ToVideoFrame(rows.f);
    for (int p = 0; p < 3; ++p) { // restore before the frame is freed
        const int h = p == 0 ? 16 : 8;
        rows.f->linesize[p] = -rows.f->linesize[p];
        rows.f->data[p] -= (h - 1) * rows.f->linesize[p];
    }
    ASSERT_TRUE(flipped);
    EXPECT_GT(flipped->stride[0], 0);
    EXPECT_NEAR(flipped->data[0][3], 180, 2); // now the first row
    EXPECT_NEAR(flipped->data[0][15 * flipped->stride[0] + 3], 50, 2);
}

} // namespace
} // namespace playcore
