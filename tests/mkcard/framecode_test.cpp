// The frame-number strip: drawn, then read back from pictures as tests will
// meet them: scaled, noisy, blocky like a JPEG, or inside a larger window grab.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/mkcard/framecode.h"

namespace {

struct Gray {
    int w = 0, h = 0;
    std::vector<uint8_t> p;
    Gray(int width, int height, uint8_t fill = 0)
        : w(width), h(height), p(size_t(width) * height, fill) {}
    uint8_t& at(int x, int y) { return p[size_t(y) * w + x]; }
    uint8_t at(int x, int y) const { return p[size_t(y) * w + x]; }
};

// A busy picture (a gradient with stripes), then the strip over its top.
Gray Coded(int w, int h, int number) {
    Gray g(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            g.at(x, y) = static_cast<uint8_t>(40 + (x * 7 + y * 3) % 170);
    kframecode::DrawFrameCode(g.p.data(), w, h, w, number);
    return g;
}

Gray Resize(const Gray& s, int w, int h) { // bilinear
    Gray d(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double sx = std::clamp((x + 0.5) * s.w / w - 0.5, 0.0, s.w - 1.0);
            const double sy = std::clamp((y + 0.5) * s.h / h - 0.5, 0.0, s.h - 1.0);
            const int x0 = int(sx), y0 = int(sy), x1 = std::min(x0 + 1, s.w - 1),
                      y1 = std::min(y0 + 1, s.h - 1);
            const double fx = sx - x0, fy = sy - y0;
            const double v = (s.at(x0, y0) * (1 - fx) + s.at(x1, y0) * fx) * (1 - fy) +
                             (s.at(x0, y1) * (1 - fx) + s.at(x1, y1) * fx) * fy;
            d.at(x, y) = static_cast<uint8_t>(std::lround(v));
        }
    return d;
}

// JPEG-like damage: each 8 x 8 block pulled towards its mean, plus noise.
void Damage(Gray& g, int noise) {
    uint32_t state = 12345;
    for (int by = 0; by < g.h; by += 8)
        for (int bx = 0; bx < g.w; bx += 8) {
            int sum = 0, n = 0;
            for (int y = by; y < std::min(by + 8, g.h); ++y)
                for (int x = bx; x < std::min(bx + 8, g.w); ++x)
                    sum += g.at(x, y), ++n;
            const int mean = sum / n;
            for (int y = by; y < std::min(by + 8, g.h); ++y)
                for (int x = bx; x < std::min(bx + 8, g.w); ++x) {
                    state = state * 1664525u + 1013904223u;
                    const int r = int(state >> 24) % (2 * noise + 1) - noise;
                    g.at(x, y) =
                        static_cast<uint8_t>(std::clamp((g.at(x, y) * 3 + mean) / 4 + r, 0, 255));
                }
        }
}

int Read(const Gray& g) {
    return kframecode::ReadFrameCode(g.p.data(), g.w, g.h, g.w);
}

const int kNumbers[] = {0, 1, 2, 0x8000, 0xFFFF, 0xAAAA, 0x5555, 1234, 40};

TEST(FrameCode, ReadsBackEveryPatternAtTheMovieSizes) {
    for (auto [w, h] : {std::pair{160, 90}, {320, 180}, {1280, 720}, {1920, 1080}, {64, 36}})
        for (int n : kNumbers)
            EXPECT_EQ(Read(Coded(w, h, n)), n) << w << "x" << h;
    // The strip covers exactly the top twelfth: the row below is untouched.
    Gray g = Coded(320, 180, 0xFFFF);
    EXPECT_EQ(kframecode::StripRows(180), 15);
    EXPECT_EQ(g.at(5, 14), kframecode::kWhite);
    EXPECT_NE(g.at(5, 15), kframecode::kWhite);
}

TEST(FrameCode, SurvivesScalingAndJpegLikeNoise) {
    for (int n : kNumbers) {
        const Gray source = Coded(320, 180, n);
        for (auto [w, h] : {std::pair{100, 56}, {213, 120}, {640, 360}, {1280, 720}}) {
            Gray g = Resize(source, w, h);
            Damage(g, 12);
            EXPECT_EQ(Read(g), n) << "scaled to " << w << "x" << h;
        }
    }
    // Full-range pictures (a capture converted to RGB and back) read the same.
    Gray g = Coded(320, 180, 0x1234);
    for (uint8_t& v : g.p)
        v = static_cast<uint8_t>(std::clamp((v - 16) * 255 / 219, 0, 255));
    EXPECT_EQ(Read(g), 0x1234);
}

TEST(FrameCode, ReadsTheFrameInsideAWindowGrab) {
    const Gray frame = Coded(320, 180, 777);
    Gray window(500, 300, 0);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 320; ++x)
            window.at(x + 90, y + 60) = frame.at(x, y);
    EXPECT_EQ(kframecode::ReadFrameCode(window.p.data(), 500, 300, 500, {90, 60, 320, 180}), 777);
    // The whole window is not a frame: its top rows are black borders.
    EXPECT_NE(kframecode::ReadFrameCode(window.p.data(), 500, 300, 500), 777);
}

TEST(FrameCode, RefusesWhatItCannotRead) {
    Gray grey(320, 180, 128);
    EXPECT_EQ(Read(grey), -1);
    Gray coded = Coded(320, 180, 5);
    EXPECT_EQ(kframecode::ReadFrameCode(coded.p.data(), 20, 180, 320),
              -1); // too narrow for 16 blocks
    EXPECT_EQ(kframecode::ReadFrameCode(nullptr, 320, 180, 320), -1);
    EXPECT_EQ(kframecode::ReadFrameCode(coded.p.data(), 320, 180, 320, {300, 0, 320, 180}), -1);
    EXPECT_EQ(kframecode::ReadFrameCode(coded.p.data(), 320, 180, 320, {-1, 0, 100, 100}), -1);
    // Numbers outside 16 bits are drawn modulo 65536.
    EXPECT_EQ(Read(Coded(160, 90, 65536 + 9)), 9);
    EXPECT_EQ(Read(Coded(160, 90, -1)), 0xFFFF);
}

} // namespace
