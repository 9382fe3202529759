// The presenter draws a synthetic fisheye picture through each display model
// off-screen; pixels at known places must show the expected part of the circle.

#include "gl_support.h"

#include <QOpenGLContext>

#include <algorithm>

#include "playcore/present/gl_pipeline.h"
#include "playcore/present/presenter.h"

using namespace playcore;
using namespace ktest;

namespace {

const auto* const kGuiEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// An off-screen surface of w x h with a presenter in `mode` showing the fisheye picture.
struct Scene {
    OffscreenSurface surface;
    std::unique_ptr<Presenter> presenter;

    bool Make(int w, int h, int mode, VideoFrame frame = FisheyeI420(640, 480)) {
        if (!surface.Create(QSize(w, h))) return false;
        presenter = std::make_unique<Presenter>(&surface);
        presenter->SetDisplayMode(mode);
        return presenter->PresentFrame(Share(std::move(frame)));
    }
    QImage Picture() { return surface.GrabPicture(); }
};

#define MAKE_SCENE(scene, ...)                                                                     \
    KTEST_NEED_GL();                                                                               \
    Scene scene;                                                                                   \
    ASSERT_TRUE(scene.Make(__VA_ARGS__)) << "no GL 3.3 core context"

} // namespace

TEST(PresentModes, RawNormalShowsTheFrameOnACentredSquare) {
    MAKE_SCENE(s, 1280, 720, kModeRawNormal);
    QImage img = s.Picture();
    ASSERT_EQ(img.size(), QSize(1280, 720));
    EXPECT_TRUE(ColourNear(img, 640, 360, ColourOf(kCentre)));
    EXPECT_TRUE(ColourNear(img, 640, 160, ColourOf(kAhead)));
    EXPECT_TRUE(ColourNear(img, 840, 360, ColourOf(kRight)));
    EXPECT_TRUE(ColourNear(img, 640, 560, ColourOf(kBehind)));
    EXPECT_TRUE(ColourNear(img, 440, 360, ColourOf(kLeft)));
    // The square is the window's height wide (a little more: 84 degrees at 1.1).
    EXPECT_TRUE(ColourNear(img, 250, 360, Qt::black, 0));
    EXPECT_TRUE(ColourNear(img, 1030, 360, Qt::black, 0));
    int first = 0;
    while (first < 640 && img.pixelColor(first, 360) == QColor(Qt::black))
        ++first;
    EXPECT_NEAR(1280 - 2 * first, 720 * 1.1106 / 1.1, 3); // circle touches the square's sides
}

TEST(PresentModes, RawPlainFillsASixteenByNineBand) {
    MAKE_SCENE(s, 800, 800, kModeRawPlain);
    QImage img = s.Picture();
    // 800 x 450 band in the middle (a little taller by the 84-degree view).
    EXPECT_TRUE(ColourNear(img, 400, 100, Qt::black, 0));
    EXPECT_TRUE(ColourNear(img, 400, 700, Qt::black, 0));
    EXPECT_TRUE(ColourNear(img, 400, 400, ColourOf(kCentre)));
    EXPECT_TRUE(ColourNear(img, 400, 230, ColourOf(kAhead)));
    EXPECT_TRUE(ColourNear(img, 700, 400, ColourOf(kRight)));
}

TEST(PresentModes, WideScreenPutsAheadInTheMiddleColumn) {
    MAKE_SCENE(s, 1280, 720, kModeWideScreen);
    QImage img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 250, ColourOf(kAhead)));
    EXPECT_TRUE(ColourNear(img, 640, 712, ColourOf(kCentre))); // bottom row: the centre
    EXPECT_TRUE(ColourNear(img, 963 + 40, 250, ColourOf(kRight)));
    EXPECT_TRUE(ColourNear(img, 317 - 40, 250, ColourOf(kLeft)));
    // The panorama scrolls: a drag of -0.25 moves the camera by half a turn,
    // which brings "behind" to the middle.
    s.presenter->DragView(0.0f, 0, 1.0f); // the first drag only settles the zoom
    s.presenter->DragView(-0.25f, 0, 1.0f);
    img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 250, ColourOf(kBehind)));
}

TEST(PresentModes, DivideShowsTwoHalfPanoramas) {
    MAKE_SCENE(s, 1280, 720, kModeDivide);
    QImage img = s.Picture();
    // Upper panel through the image's top, lower panel through its bottom.
    EXPECT_TRUE(ColourNear(img, 640, 180, ColourOf(kAhead)));
    EXPECT_TRUE(ColourNear(img, 40, 180, ColourOf(kLeft)));
    EXPECT_TRUE(ColourNear(img, 1240, 180, ColourOf(kRight)));
    EXPECT_TRUE(ColourNear(img, 640, 540, ColourOf(kBehind)));
    EXPECT_TRUE(ColourNear(img, 40, 540, ColourOf(kRight)));
    EXPECT_TRUE(ColourNear(img, 1240, 540, ColourOf(kLeft)));
}

TEST(PresentModes, SphereLooksAheadAndTurnsWithADrag) {
    MAKE_SCENE(s, 1280, 720, kModeSphere);
    QImage img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 360, ColourOf(kAhead)));
    EXPECT_TRUE(ColourNear(img, 640, 700, ColourOf(kAhead)));
    // A quarter turn about the lens axis (2 pi x 0.25): the image's left comes to the middle.
    ASSERT_TRUE(s.presenter->DragView(0.25f, 0, 1.0f));
    img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 360, ColourOf(kLeft)));
    // Flipped, the same turn goes the other way.
    s.presenter->ResetModelPose();
    s.presenter->FlipView();
    s.presenter->DragView(0.25f, 0, 1.0f);
    img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 360, ColourOf(kRight)));
}

TEST(PresentModes, FlipAndDestinationRectangle) {
    MAKE_SCENE(s, 1280, 720, kModeRawNormal);
    s.presenter->FlipView(); // upside down
    QImage img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 640, 160, ColourOf(kBehind)));
    EXPECT_TRUE(ColourNear(img, 840, 360, ColourOf(kLeft)));
    s.presenter->FlipView();
    // The picture goes into the destination rectangle only.
    s.presenter->SetVideoRect({0, 0, 640, 360});
    img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 320, 180, ColourOf(kCentre)));
    EXPECT_TRUE(ColourNear(img, 640, 360, Qt::black, 0));
    EXPECT_TRUE(ColourNear(img, 960, 540, Qt::black, 0));
}

TEST(PresentModes, InvalidModeAndResize) {
    MAKE_SCENE(s, 640, 360, 0);
    QImage img = s.Picture();
    EXPECT_TRUE(ColourNear(img, 320, 180, Qt::black, 0)); // mode 0 draws nothing
    s.presenter->SetDisplayMode(kModeRawNormal);
    ASSERT_TRUE(s.surface.Resize(QSize(300, 600)));
    img = s.Picture();
    ASSERT_EQ(img.size(), QSize(300, 600));
    // Rebuilt for the tall window: the square is the width, centred vertically.
    EXPECT_TRUE(ColourNear(img, 150, 300, ColourOf(kCentre)));
    EXPECT_TRUE(ColourNear(img, 150, 100, Qt::black, 0));
    EXPECT_TRUE(ColourNear(img, 150, 500, Qt::black, 0));
}

TEST(PresentColour, ConversionIsTheSoftwareRuleExactly) {
    KTEST_NEED_GL();
    OffscreenSurface surface;
    ASSERT_TRUE(surface.Create(QSize(8, 8)));
    ASSERT_TRUE(surface.MakeCurrent());
    GlPipeline gl;
    ASSERT_TRUE(gl.Create());
    // Every byte value in odd-sized planes with padded rows, as I420 and NV12.
    const int w = 37, h = 23, cw = 19, ch = 12;
    std::vector<uint8_t> y(48 * h), u(24 * ch), v(24 * ch), uv(40 * ch);
    uint32_t seed = 12345;
    auto next = [&] { return static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16); };
    for (auto& b : y)
        b = next();
    for (int r = 0; r < ch; ++r)
        for (int c = 0; c < cw; ++c) {
            u[r * 24 + c] = uv[r * 40 + 2 * c] = next();
            v[r * 24 + c] = uv[r * 40 + 2 * c + 1] = next();
        }
    VideoFrame i420{PixelFormat::I420, w, h,      {y.data(), u.data(), v.data()},
                    {48, 24, 24},      0, nullptr};
    VideoFrame nv12{PixelFormat::NV12, w, h,      {y.data(), uv.data(), nullptr},
                    {48, 40, 0},       0, nullptr};
    for (const VideoFrame& f : {i420, nv12}) {
        ASSERT_TRUE(gl.UploadFrame(f));
        const QImage img = gl.ReadPicture();
        ASSERT_EQ(img.size(), QSize(w, h));
        int wrong = 0;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const uint32_t want =
                    Bt601ToArgb(y[r * 48 + c], u[(r / 2) * 24 + c / 2], v[(r / 2) * 24 + c / 2]);
                wrong += img.pixel(c, r) != want;
            }
        EXPECT_EQ(wrong, 0) << "format " << static_cast<int>(f.format);
    }
    EXPECT_FALSE(gl.UploadFrame(VideoFrame{})); // refused; the picture stays
    EXPECT_EQ(gl.PictureSize(), QSize(w, h));
    gl.Destroy();
    surface.DoneCurrent();
}

TEST(PresentColour, VideoRangeAndEveryInputFormatAgree) {
    KTEST_NEED_GL();
    for (auto [c, want] :
         {std::pair{kOutside, QColor(0, 0, 0)}, std::pair{kCentre, QColor(255, 255, 255)},
          std::pair{Yuv{0, 128, 128}, QColor(0, 0, 0)}, std::pair{kAhead, ColourOf(kAhead)}}) {
        Scene s;
        ASSERT_TRUE(s.Make(64, 36, kModeRawPlain, Uniform(c, 32, 18)));
        EXPECT_TRUE(ColourNear(s.Picture(), 32, 18, want, 0)) << c.y;
    }

    // The same picture as I420, NV12 and packed colour (made by the software
    // rule, with a stride that is not a whole number of pixels) draws identically.
    const int w = 91, h = 67;
    VideoFrame i420 = FisheyeI420(w, h);
    std::array<uint8_t*, 3> nvp;
    VideoFrame nv12 = AllocateFrame(PixelFormat::NV12, w, h, &nvp);
    for (int y = 0; y < h; ++y)
        std::copy_n(i420.data[0] + y * i420.stride[0], w, nvp[0] + y * w);
    for (int y = 0; y < (h + 1) / 2; ++y)
        for (int x = 0; x < (w + 1) / 2; ++x) {
            nvp[1][y * nv12.stride[1] + 2 * x] = i420.data[1][y * i420.stride[1] + x];
            nvp[1][y * nv12.stride[1] + 2 * x + 1] = i420.data[2][y * i420.stride[2] + x];
        }
    auto packed = [&](PixelFormat format, int bpp, std::array<int, 4> order) {
        const int stride = w * bpp + 1;
        auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(stride) * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t argb = Bt601ToArgb(i420.data[0][y * i420.stride[0] + x],
                                                  i420.data[1][(y / 2) * i420.stride[1] + x / 2],
                                                  i420.data[2][(y / 2) * i420.stride[2] + x / 2]);
                const uint8_t rgba[4] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb),
                                         255};
                for (int k = 0; k < bpp; ++k)
                    (*bytes)[static_cast<size_t>(y) * stride + x * bpp + k] = rgba[order[k]];
            }
        VideoFrame f;
        f.format = format;
        f.width = w;
        f.height = h;
        f.data[0] = bytes->data();
        f.stride[0] = stride;
        f.owner = bytes;
        return f;
    };
    // YUV pictures are filtered before their conversion to colour, packed ones
    // after it: the two kinds agree up to rounding and the clamping of
    // saturated colours at region edges; within a kind they are identical.
    QImage yuvReference, packedReference;
    for (VideoFrame f :
         {i420, nv12, packed(PixelFormat::BGRA, 4, {2, 1, 0, 3}),
          packed(PixelFormat::RGBA, 4, {0, 1, 2, 3}), packed(PixelFormat::RGB24, 3, {0, 1, 2, 3}),
          packed(PixelFormat::BGR24, 3, {2, 1, 0, 3})}) {
        Scene s;
        const auto format = static_cast<int>(f.format);
        const bool yuv = f.format == PixelFormat::I420 || f.format == PixelFormat::NV12;
        ASSERT_TRUE(s.Make(320, 240, kModeSphere, f)) << format;
        s.presenter->DragView(0.05f, 0.03f, 1.3f);
        const QImage img = s.Picture();
        QImage& reference = yuv ? yuvReference : packedReference;
        if (reference.isNull())
            reference = img;
        else
            EXPECT_TRUE(img == reference) << "format " << format;
    }
    int worst = 0, beyondRounding = 0;
    for (int y = 0; y < yuvReference.height(); ++y)
        for (int x = 0; x < yuvReference.width(); ++x) {
            const QColor a = yuvReference.pixelColor(x, y), b = packedReference.pixelColor(x, y);
            const int d = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                    std::abs(a.blue() - b.blue())});
            worst = std::max(worst, d);
            beyondRounding += d > 2;
        }
    EXPECT_LE(worst, 16);
    EXPECT_LE(beyondRounding, yuvReference.width() * yuvReference.height() / 1000);
}

TEST(PresentFrames, StreamEnableAndDrawInterval) {
    MAKE_SCENE(s, 64, 36, kModeRawPlain, Uniform(kAhead, 16, 16));
    EXPECT_TRUE(ColourNear(s.Picture(), 32, 18, ColourOf(kAhead)));
    // Off: frames are taken but not drawn.
    s.presenter->EnableStream(false);
    EXPECT_TRUE(s.presenter->PresentFrame(Share(Uniform(kRight, 16, 16))));
    EXPECT_TRUE(ColourNear(s.Picture(), 32, 18, ColourOf(kAhead)));
    s.presenter->EnableStream(true);

    // Every second frame: the counter stands at 2 (two frames so far), so
    // frames 2 and 4 are drawn, 3 and 5 skipped.
    s.presenter->SetDrawInterval(2);
    const Yuv seq[4] = {kBehind, kLeft, kCentre, kRight};
    const Yuv shown[4] = {kBehind, kBehind, kCentre, kCentre};
    for (int i = 0; i < 4; ++i) {
        s.presenter->PresentFrame(Share(Uniform(seq[i], 16, 16)));
        EXPECT_TRUE(ColourNear(s.Picture(), 32, 18, ColourOf(shown[i]))) << i;
    }
    // Unreadable frames are refused.
    VideoFrame bad = Uniform(kAhead, 16, 16);
    bad.stride[1] = 1;
    EXPECT_FALSE(s.presenter->PresentFrame(Share(bad)));
    EXPECT_EQ(s.presenter->GetVideoSize(), QSize(16, 16));
}

TEST(PresentFrames, FramesReplacedBeforeAPaintAreCountedUnseen) {
    MAKE_SCENE(s, 64, 36, kModeRawPlain, Uniform(kAhead, 16, 16));
    ASSERT_TRUE(s.surface.Render());
    Presenter::Stats st = s.presenter->GetStats();
    EXPECT_EQ(st.taken, 1u);
    EXPECT_EQ(st.shown, 1u);
    // Three frames before the next paint: the paint shows the last one only.
    for (Yuv c : {kRight, kBehind, kLeft})
        ASSERT_TRUE(s.presenter->PresentFrame(Share(Uniform(c, 16, 16))));
    EXPECT_TRUE(s.surface.UpdatePending());
    EXPECT_TRUE(ColourNear(s.Picture(), 32, 18, ColourOf(kLeft)));
    st = s.presenter->GetStats();
    EXPECT_EQ(st.taken, 4u);
    EXPECT_EQ(st.shown, 2u);
    // Repainting the same picture uploads nothing new.
    ASSERT_TRUE(s.surface.Render());
    EXPECT_EQ(s.presenter->GetStats().shown, 2u);
    EXPECT_GE(s.presenter->GetStats().paints, 3u);
}
