// The conversion's arithmetic: the unwrap mapping against the polar form of
// the lens written out here, the camera that makes the mesh fill the target,
// the remap table, masks and their pixelation, colour, streams and progress.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "playcore/convert/convert_rules.h"
#include "playcore/convert/unwrap.h"
#include "playcore/models/video_frame.h"

using namespace playcore;

namespace {

// The panorama written out independently: output pixel (X, Y) of W x H looks
// in direction d (0 ahead = up in the picture, growing to the right...) at
// radius r from the image centre.
void PolarPoint(double X, double Y, int W, int H, bool flip, double* u, double* v) {
    const double x = (W - X) / W, y = (H - Y) / H;
    const double h = flip ? 2 * x + 1 : 1 - 2 * x; // turns / 2
    const double l = flip ? y / 2 : 0.5 - y / 2;
    const double r = 0.572 * std::cos(l * kPi);
    *u = 0.5 + r * std::sin(h * kPi);
    *v = 0.5 - r * std::cos(h * kPi);
}

} // namespace

TEST(Unwrap, MappingLooksRoundTheImageCentre) {
    for (bool flip : {false, true}) {
        for (int j = 0; j <= 16; ++j)
            for (int i = 0; i <= 16; ++i) {
                const double x = i / 16.0, y = j / 16.0;
                double u = 0, v = 0, pu = 0, pv = 0;
                UnwrapTexcoord(x, y, flip, &u, &v);
                PolarPoint((1 - x) * 1920, (1 - y) * 960, 1920, 960, flip, &pu, &pv);
                EXPECT_NEAR(u, pu, 1e-9) << flip << " " << x << "," << y;
                EXPECT_NEAR(v, pv, 1e-9) << flip << " " << x << "," << y;
            }
    }
    double u = 0, v = 0;
    // Middle column, upper rows: straight ahead (up in the picture).
    UnwrapTexcoord(0.5, 0.6, false, &u, &v);
    EXPECT_NEAR(u, 0.5, 1e-12);
    EXPECT_LT(v, 0.5);
    // A quarter from the left: the left side; a quarter from the right: the right.
    UnwrapTexcoord(0.75, 0.6, false, &u, &v); // column W / 4
    EXPECT_LT(u, 0.5);
    EXPECT_NEAR(v, 0.5, 1e-12);
    UnwrapTexcoord(0.25, 0.6, false, &u, &v); // column 3 W / 4
    EXPECT_GT(u, 0.5);
    // Bottom row: the image centre; top row: radius 0.572.
    UnwrapTexcoord(0.3, 0.0, false, &u, &v);
    EXPECT_NEAR(std::hypot(u - 0.5, v - 0.5), 0, 1e-12);
    UnwrapTexcoord(0.3, 1.0, false, &u, &v);
    EXPECT_NEAR(std::hypot(u - 0.5, v - 0.5), 0.572, 1e-9);
    // Flipped: upside down and mirrored.
    UnwrapTexcoord(0.3, 1.0, true, &u, &v);
    EXPECT_NEAR(std::hypot(u - 0.5, v - 0.5), 0, 1e-12);
    UnwrapTexcoord(0.75, 0.4, true, &u, &v);
    EXPECT_GT(u, 0.5);
}

TEST(Unwrap, MeshAndCameraFillTheTarget) {
    D3DRawObj1 mesh;
    mesh.Init(1920, 960);
    ASSERT_EQ(mesh.Vertices().size(), 65536u);
    ASSERT_EQ(mesh.Indices().size(), 98304u);
    EXPECT_EQ(mesh.GetViewport().width, 3840.0f);
    EXPECT_EQ(mesh.GetViewport().height, 1920.0f);
    // Mesh point -> target pixel through view, projection and the viewport
    // of twice the target at its corner (y downwards).
    auto pixel = [&](float mx, float my) {
        auto c = Transform(Transform({mx, my, 0, 1}, mesh.View()), mesh.Projection());
        const float nx = c[0] / c[3], ny = c[1] / c[3];
        return std::array<float, 2>{(nx + 1) / 2 * 3840.0f, (1 - ny) / 2 * 1920.0f};
    };
    auto origin = pixel(0, 0);
    EXPECT_NEAR(origin[0], 1920, 0.5);
    EXPECT_NEAR(origin[1], 960, 0.5);
    auto far = pixel(kMeshWidth, kMeshHeight);
    EXPECT_NEAR(far[0], 0, 1.5);
    EXPECT_NEAR(far[1], 0, 1.5);
    // A pixel rectangle's mesh rectangle lands back on it.
    const MeshRect r = PixelRectToMesh(768, 384, 192, 192, 1920, 960);
    auto a = pixel(r.x, r.y), b = pixel(r.x + r.width, r.y + r.height);
    EXPECT_NEAR(a[0], 768, 1.0);
    EXPECT_NEAR(a[1], 384, 1.0);
    EXPECT_NEAR(b[0], 960, 1.0);
    EXPECT_NEAR(b[1], 576, 1.0);
    // Vertices carry the mapping: the last quad's far corner is the top-left pixel.
    const Vertex& last = mesh.Vertices().back();
    double u = 0, v = 0;
    UnwrapTexcoord(1, 1, false, &u, &v);
    EXPECT_NEAR(last.texcoord[0], u, 1e-6);
    EXPECT_NEAR(last.texcoord[1], v, 1e-6);
}

TEST(Unwrap, RemapTableFollowsTheMappingWithTheBand) {
    for (bool flip : {false, true}) {
        RemapTable t;
        ASSERT_TRUE(BuildRemapTable(1920, 960, 640, 360, flip, &t));
        EXPECT_EQ(t.bandLast - t.bandFirst, 320);
        EXPECT_EQ(flip ? t.bandLast : t.bandFirst, flip ? 960 : 0);
        // Source picture whose luma grows with the column and whose blue
        // chroma grows with the row: the output's colour tells where it looked.
        std::vector<uint8_t> ys(640 * 360), us(320 * 180), vs(320 * 180, 128);
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 640; ++x)
                ys[y * 640 + x] = static_cast<uint8_t>(16 + x * 219 / 639);
        for (int y = 0; y < 180; ++y)
            for (int x = 0; x < 320; ++x)
                us[y * 320 + x] = static_cast<uint8_t>(16 + y * 224 / 179);
        std::vector<uint8_t> out(1920 * 960 * 4, 0xAB);
        RemapRows(t, YuvPlanes{ys.data(), us.data(), vs.data(), 640, 320, 320}, out.data(),
                  1920 * 4, 0, 960);
        for (int Y = 0; Y < 960; Y += 7)
            for (int X = 0; X < 1920; X += 13) {
                const uint8_t* p = &out[(Y * 1920 + X) * 4];
                ASSERT_EQ(p[3], 255);
                if (Y >= t.bandFirst && Y < t.bandLast) {
                    ASSERT_EQ(p[0] | p[1] | p[2], 0) << X << "," << Y;
                    continue;
                }
                double u = 0, v = 0;
                PolarPoint(X + 0.5, Y + 0.5, 1920, 960, flip, &u, &v);
                const double sx = std::clamp(u * 640 - 0.5, 0.0, 639.0);
                const double sy = std::clamp(v * 360 - 0.5, 0.0, 359.0);
                const uint32_t want =
                    Bt601ToArgb(static_cast<int>(std::lround(16 + sx * 219 / 639)),
                                static_cast<int>(std::lround(16 + sy / 2 * 224 / 179)), 128);
                // Within the mesh's interpolation (a source pixel and a half)
                // and a chroma row.
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(p[c], (want >> (8 * c)) & 0xFF, 6)
                        << X << "," << Y << " channel " << c << " flip " << flip;
            }
    }
    RemapTable t;
    EXPECT_FALSE(BuildRemapTable(0, 960, 640, 360, false, &t));
    EXPECT_FALSE(BuildRemapTable(1920, 960, 640, 100000, false, &t));
}

TEST(Masks, EditingActions) {
    MaskEditor e(MaskEditor::ScaleFor(1.0));
    EXPECT_DOUBLE_EQ(MaskEditor::ScaleFor(1.0), 1.92);
    EXPECT_DOUBLE_EQ(MaskEditor::ScaleFor(1.5), 1.28);
    // Dragged up and left: corners ordered.
    e.Edit(MaskEditor::kPress, 500, 300);
    e.Edit(MaskEditor::kMove, 450, 250);
    ASSERT_TRUE(e.Current());
    EXPECT_EQ(*e.Current(), (MaskRect{960, 576, 864, 480}));
    EXPECT_EQ(e.FrameMasks().size(), 1u); // the rectangle being drawn is drawn too
    e.Edit(MaskEditor::kRelease, 400, 200);
    ASSERT_EQ(e.Masks().size(), 1u);
    EXPECT_EQ(e.Masks()[0], (MaskRect{768, 384, 960, 576}));
    EXPECT_FALSE(e.Current());
    EXPECT_EQ(e.FrameMasks().size(), 1u);
    // A click without movement, or a line, adds nothing.
    e.Edit(MaskEditor::kPress, 10, 10);
    e.Edit(MaskEditor::kRelease, 10, 10);
    e.Edit(MaskEditor::kPress, 10, 10);
    e.Edit(MaskEditor::kRelease, 10, 90);
    EXPECT_EQ(e.Masks().size(), 1u);
    // Move or release without a press changes nothing.
    e.Edit(MaskEditor::kMove, 30, 30);
    e.Edit(MaskEditor::kRelease, 90, 90);
    EXPECT_EQ(e.Masks().size(), 1u);
    // Undo one, undo on an empty list, delete all.
    e.Edit(MaskEditor::kPress, 0, 0);
    e.Edit(MaskEditor::kRelease, 5, 5);
    EXPECT_EQ(e.Masks().size(), 2u);
    e.Edit(MaskEditor::kUndo, 0, 0);
    EXPECT_EQ(e.Masks().size(), 1u);
    e.Edit(MaskEditor::kUndo, 0, 0);
    e.Edit(MaskEditor::kUndo, 0, 0);
    EXPECT_TRUE(e.Masks().empty());
    e.Edit(MaskEditor::kPress, 1, 1);
    e.Edit(MaskEditor::kRelease, 50, 50);
    e.Edit(MaskEditor::kPress, 60, 60);
    e.Edit(MaskEditor::kDeleteAll, 0, 0);
    EXPECT_TRUE(e.Masks().empty());
    EXPECT_TRUE(e.FrameMasks().empty());
}

TEST(Masks, PixelationIsConstantPerNineByNineBlock) {
    const int w = 100, h = 60, stride = w * 4 + 8;
    std::vector<uint8_t> pic(stride * h);
    std::mt19937 rng(7);
    for (auto& b : pic)
        b = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> before = pic;
    // Corners given reversed; the last blocks are cut by the picture's edge.
    PixelateRect(pic.data(), w, h, stride, MaskRect{99, 59, 80, 40});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &pic[y * stride + x * 4];
            const uint8_t* q = &before[y * stride + x * 4];
            EXPECT_EQ(p[3], q[3]);
            if (x < 80 || y < 40) {
                ASSERT_EQ(0, std::memcmp(p, q, 4)) << x << "," << y;
                continue;
            }
            const int bx = 80 + (x - 80) / 9 * 9, by = 40 + (y - 40) / 9 * 9;
            const uint8_t* corner = &pic[by * stride + bx * 4];
            ASSERT_EQ(0, std::memcmp(p, corner, 3)) << x << "," << y;
        }
    // The first block holds the averages of its 81 pixels.
    for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int y = 40; y < 49; ++y)
            for (int x = 80; x < 89; ++x)
                sum += before[y * stride + x * 4 + c];
        EXPECT_EQ(pic[40 * stride + 80 * 4 + c], sum / 81);
    }
    // Rectangles outside or far beyond the picture touch nothing outside it.
    std::vector<uint8_t> copy = pic;
    PixelateRect(pic.data(), w, h, stride, MaskRect{200, 200, 300, 300});
    PixelateRect(pic.data(), w, h, stride, MaskRect{-5000, -5000, -1, -1});
    EXPECT_EQ(pic, copy);
    PixelateRect(pic.data(), w, h, stride, MaskRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    // Blocks anchored at the far corner still tile the picture in nines.
    const uint8_t* a = &pic[0];
    const uint8_t* b = &pic[1 * stride + 1 * 4];
    EXPECT_EQ(a[0], b[0]);
}

TEST(Colour, SoftwareConversionOfVideoRange) {
    // A picture of one colour comes out as that colour by the BT.601
    // video-range rule, exactly: Y 16 black, Y 235 white (U = V = 128).
    RemapTable t;
    ASSERT_TRUE(BuildRemapTable(96, 48, 33, 19, false, &t));
    std::mt19937 rng(3);
    std::vector<std::array<int, 3>> colours = {{16, 128, 128}, {235, 128, 128}};
    for (int i = 0; i < 30; ++i)
        colours.push_back({int(rng() % 256), int(rng() % 256), int(rng() % 256)});
    for (const auto& [cy, cu, cv] : colours) {
        std::vector<uint8_t> ys(33 * 19, uint8_t(cy)), us(17 * 10, uint8_t(cu)),
            vs(17 * 10, uint8_t(cv)), out(96 * 48 * 4);
        RemapRows(t, YuvPlanes{ys.data(), us.data(), vs.data(), 33, 17, 17}, out.data(), 96 * 4, 0,
                  48);
        const uint32_t want = Bt601ToArgb(cy, cu, cv);
        for (int y = t.bandLast; y < 48; ++y)
            for (int x = 0; x < 96; ++x) {
                uint32_t got = 0;
                std::memcpy(&got, &out[(y * 96 + x) * 4], 4);
                ASSERT_EQ(got, want) << cy << "," << cu << "," << cv;
            }
    }
    EXPECT_EQ(Bt601ToArgb(16, 128, 128), 0xFF000000u);
    EXPECT_EQ(Bt601ToArgb(235, 128, 128), 0xFFFFFFFFu);
}

TEST(Colour, EveryPixelIsTheFilterOfItsFourTexelsOnAnySourceWidth) {
    // Noise planes packed without padding (stride = width), so that a read
    // past a row's or a plane's end shows; each output pixel against the
    // linear filter of its table entry's texels and the BT.601 rule written
    // out here, at widths where the wide path begins (7) and ends in a
    // partial group, and in both mounting directions.
    std::mt19937 rng(11);
    for (const auto& [sw, sh] :
         std::vector<std::pair<int, int>>{{6, 5}, {7, 5}, {8, 9}, {33, 19}, {641, 361}})
        for (bool flip : {false, true}) {
            SCOPED_TRACE(::testing::Message() << sw << "x" << sh << (flip ? " flipped" : ""));
            RemapTable t;
            ASSERT_TRUE(BuildRemapTable(203, 96, sw, sh, flip, &t));
            const int cw = (sw + 1) / 2, ch = (sh + 1) / 2;
            std::vector<uint8_t> ys(static_cast<size_t>(sw) * sh), us(static_cast<size_t>(cw) * ch),
                vs(us.size()), out(203 * 96 * 4);
            for (auto* plane : {&ys, &us, &vs})
                for (uint8_t& b : *plane)
                    b = static_cast<uint8_t>(rng());
            RemapRows(t, YuvPlanes{ys.data(), us.data(), vs.data(), sw, cw, cw}, out.data(),
                      203 * 4, 0, 96);
            int wrong = 0;
            for (int y = 0; y < 96; ++y)
                for (int x = 0; x < 203; ++x) {
                    uint32_t got = 0;
                    std::memcpy(&got, &out[(y * 203 + x) * 4], 4);
                    uint32_t want = 0xFF000000u;
                    if (y < t.bandFirst || y >= t.bandLast) {
                        const RemapEntry& e = t.entries[static_cast<size_t>(y) * 203 + x];
                        auto at = [](const std::vector<uint8_t>& p, int stride, int c, int r) {
                            return int{p[static_cast<size_t>(r) * stride + c]};
                        };
                        auto filter = [&](const std::vector<uint8_t>& p, int stride, int c0, int c1,
                                          int r0, int r1) {
                            const int top =
                                at(p, stride, c0, r0) * (256 - e.fx) + at(p, stride, c1, r0) * e.fx;
                            const int bottom =
                                at(p, stride, c0, r1) * (256 - e.fx) + at(p, stride, c1, r1) * e.fx;
                            return (top * (256 - e.fy) + bottom * e.fy + 128) >> 8;
                        };
                        const int x1 = e.x + e.dx, y1 = e.y + e.dy;
                        const int yq = filter(ys, sw, e.x, x1, e.y, y1);
                        const int uq = filter(us, cw, e.x / 2, x1 / 2, e.y / 2, y1 / 2);
                        const int vq = filter(vs, cw, e.x / 2, x1 / 2, e.y / 2, y1 / 2);
                        auto clamp = [](int v) {
                            return static_cast<uint32_t>(std::clamp(v, 0, 255));
                        };
                        want |= clamp((298 * yq + 409 * vq - 56992 * 256) >> 16) << 16 |
                                clamp((298 * yq - 100 * uq - 208 * vq + 34784 * 256) >> 16) << 8 |
                                clamp((298 * yq + 516 * uq - 70688 * 256) >> 16);
                    }
                    wrong += got != want;
                }
            EXPECT_EQ(wrong, 0);
        }
}

TEST(Streams, NumberingFoldingQueueAndProgress) {
    // One camera: video, sound in the file; combined: front, rear, sound.
    EXPECT_EQ(FoldStream(SourceStreamNumber(0, 2), false), 1);
    EXPECT_EQ(FoldStream(SourceStreamNumber(1, 2), false), 0);
    EXPECT_EQ(FoldStream(SourceStreamNumber(0, 3), true), 1);  // front
    EXPECT_EQ(FoldStream(SourceStreamNumber(1, 3), true), -1); // rear: not used
    EXPECT_EQ(FoldStream(SourceStreamNumber(2, 3), true), 0);
    EXPECT_EQ(SourceStreamNumber(3, 3), -1);
    EXPECT_EQ(EndReportsToFinish(false), 3);
    EXPECT_EQ(EndReportsToFinish(true), 4);

    SampleQueue<int> q;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(q.Push(i % 2, i));
    EXPECT_FALSE(q.WantsMore());
    EXPECT_FALSE(q.Push(0, 9));
    EXPECT_EQ(q.Head().second, 0);
    q.Pop();
    EXPECT_EQ(q.Head().first, 1);

    // T = 1000 from 0 %: L = 10; the first frame 20, the last 1010.
    EXPECT_EQ(ProgressDone(0, 1000, 0), 20);
    EXPECT_EQ(ProgressDone(500, 1000, 0), 515);
    EXPECT_EQ(ProgressDone(1000, 1000, 0), 1010);
    // T = 200 from 50 %: L = 2 + 100.
    EXPECT_EQ(ProgressDone(100, 200, 50), 2 + 98 * 100 / 200 + 102);
    EXPECT_EQ(ProgressDone(5, 0, 0), 0);
    EXPECT_EQ(ProgressDone(5, -3, 0), 0);
}
