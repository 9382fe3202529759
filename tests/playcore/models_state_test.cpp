// The 640-byte model state and the decoded-frame type.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "playcore/models/sphere_model.h"
#include "playcore/models/video_frame.h"

using namespace playcore;

namespace {

template <typename T> T At(const ModelStateBlock& b, size_t off) {
    T v;
    std::memcpy(&v, b.data() + off, sizeof v);
    return v;
}
template <typename T> void Put(ModelStateBlock& b, size_t off, T v) {
    std::memcpy(b.data() + off, &v, sizeof v);
}

} // namespace

TEST(ModelState, InitialBlockLayout) {
    const ModelStateBlock b = CSphereModel::InitialState();
    static_assert(sizeof(b) == 640);
    EXPECT_EQ(At<int32_t>(b, 0), 2);
    EXPECT_FLOAT_EQ(At<float>(b, 8), 0.1f);  // sphere upY
    EXPECT_FLOAT_EQ(At<float>(b, 12), 1.0f); // sphere zoom
    EXPECT_EQ(At<double>(b, 16), 1.0);       // q0.w
    EXPECT_EQ(At<double>(b, 48), 1.0);       // q.w
    EXPECT_EQ(At<double>(b, 80), 1.0);       // rotation[0][0]
    EXPECT_EQ(At<double>(b, 80 + 5 * 8), 1.0);
    EXPECT_EQ(At<double>(b, 80 + 1 * 8), 0.0);
    EXPECT_FLOAT_EQ(At<float>(b, 400), 0.5f); // first probe
    EXPECT_FLOAT_EQ(At<float>(b, 404), std::sqrt(0.5f));
    for (size_t off : {496u, 516u, 536u}) { // RawNormal, Divide, RawPlain
        EXPECT_FLOAT_EQ(At<float>(b, off), 0.1f);
        EXPECT_FLOAT_EQ(At<float>(b, off + 4), -1.1f);
        EXPECT_FLOAT_EQ(At<float>(b, off + 8), 1.0f);
    }
    EXPECT_FLOAT_EQ(At<float>(b, 556), 1.0f); // WideScreen position
    EXPECT_FLOAT_EQ(At<float>(b, 568), 0.0f); // previous zoom
    EXPECT_FLOAT_EQ(At<float>(b, 572), 1.0f); // zoom
    for (size_t i = 584; i < 640; ++i)
        EXPECT_EQ(b[i], 0) << i;
}

TEST(ModelState, CarriesTheViewToTheNextPresenter) {
    CSphereModel a;
    a.SetDisplayMode(kModeSphere);
    a.DragView(0.05f, 0.02f, 1.5f);
    a.CommitViewRotation();
    a.FlipView();
    a.SetDisplayMode(kModeWideScreen);
    a.DragView(0.02f, 0, 1.0f);
    a.DragView(-0.1f, 0, 1.0f);
    a.SetDisplayMode(kModeRawPlain);
    a.DragView(0.1f, 0.1f, 2.0f);
    const ModelStateBlock saved = a.SaveState();

    CSphereModel b;
    b.LoadState(saved);
    EXPECT_EQ(b.SaveState(), saved);
    EXPECT_EQ(b.DisplayMode(), kModeRawPlain);
    auto la = a.Lock();
    auto lb = b.Lock();
    EXPECT_EQ(b.SphereLocked().Params().orientation.q, a.SphereLocked().Params().orientation.q);
    EXPECT_EQ(b.SphereLocked().Params().orientation.rotation,
              a.SphereLocked().Params().orientation.rotation);
    EXPECT_EQ(b.WideScreenLocked().Params(), a.WideScreenLocked().Params());
    EXPECT_EQ(b.RawPlainLocked().Params(), a.RawPlainLocked().Params());
}

TEST(ModelState, UnusablePartsFallBackToInitialValues) {
    // A camera without a picture saves a zeroed block; loading it must not
    // leave mode 0, a zero up vector or zoom 0 behind.
    CSphereModel m;
    m.FlipView();
    m.LoadState(ModelStateBlock{});
    EXPECT_EQ(m.SaveState(), CSphereModel::InitialState());

    // One broken part is replaced; the others are kept.
    CSphereModel a;
    a.SetDisplayMode(kModeDivide);
    a.DragView(0.1f, 0.1f, 2.0f);
    a.FlipView();
    ModelStateBlock b = a.SaveState();
    Put(b, 0, int32_t{9});          // mode out of range
    Put(b, 496 + 8, std::nanf("")); // RawNormal zoom
    Put(b, 48, 2.0);                // sphere q.w: not a rotation
    Put(b, 556 + 4, 0.0f);          // WideScreen upY zero
    CSphereModel c;
    c.LoadState(b);
    EXPECT_EQ(c.DisplayMode(), kModeRawNormal);
    auto la = a.Lock();
    auto lc = c.Lock();
    EXPECT_EQ(c.RawNormalLocked().Params(), FlatParams{});
    EXPECT_EQ(c.WideScreenLocked().Params(), WideParams{});
    EXPECT_FLOAT_EQ(c.SphereLocked().Params().upY, 0.1f);
    EXPECT_EQ(c.DivideLocked().Params(), a.DivideLocked().Params());
    EXPECT_EQ(c.RawPlainLocked().Params(), a.RawPlainLocked().Params());
}

TEST(VideoFrame, PlanesStridesAndValidation) {
    std::array<uint8_t*, 3> planes;
    VideoFrame f = AllocateFrame(PixelFormat::I420, 5, 3, &planes);
    ASSERT_TRUE(IsValidFrame(f));
    EXPECT_EQ(f.stride[0], 5);
    EXPECT_EQ(f.stride[1], 3); // odd sizes round the chroma up
    EXPECT_EQ(PlaneHeight(PixelFormat::I420, 2, 3), 2);
    EXPECT_EQ(planes[1] - planes[0], 15);
    EXPECT_EQ(planes[2] - planes[1], 6);

    VideoFrame nv = AllocateFrame(PixelFormat::NV12, 4, 4, nullptr);
    EXPECT_EQ(PlaneCount(nv.format), 2);
    EXPECT_EQ(nv.stride[1], 4); // two U,V pairs of two bytes
    VideoFrame rgb = AllocateFrame(PixelFormat::RGB24, 7, 2, nullptr);
    EXPECT_EQ(rgb.stride[0], 21);

    VideoFrame shortStride = f;
    shortStride.stride[1] = 2;
    EXPECT_FALSE(IsValidFrame(shortStride));
    VideoFrame missing = f;
    missing.data[2] = nullptr;
    EXPECT_FALSE(IsValidFrame(missing));
    EXPECT_FALSE(IsValidFrame(VideoFrame{}));
    EXPECT_EQ(AllocateFrame(PixelFormat::BGRA, kMaxFrameSide + 1, 2, nullptr).format,
              PixelFormat::None);
    EXPECT_EQ(AllocateFrame(PixelFormat::BGRA, 0, 2, nullptr).format, PixelFormat::None);
}

TEST(VideoFrame, Bt601VideoRange) {
    EXPECT_EQ(Bt601ToArgb(16, 128, 128), 0xFF000000u);
    EXPECT_EQ(Bt601ToArgb(235, 128, 128), 0xFFFFFFFFu);
    EXPECT_EQ(Bt601ToArgb(0, 128, 128), 0xFF000000u);   // clamped below
    EXPECT_EQ(Bt601ToArgb(255, 128, 128), 0xFFFFFFFFu); // clamped above
    EXPECT_EQ(Bt601ToArgb(81, 90, 240), 0xFFFF0000u);   // saturated red
    EXPECT_EQ(Bt601ToArgb(125, 128, 128), 0xFF7F7F7Fu); // mid grey
}
