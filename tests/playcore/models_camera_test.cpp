// Cameras of the display models against hand-computed matrices.

#include <gtest/gtest.h>

#include <cmath>

#include "playcore/models/flat_models.h"
#include "playcore/models/sphere.h"

using namespace playcore;

namespace {

void ExpectMat(const Mat4& m, const std::array<std::array<float, 4>, 4>& want, float tol = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(m.m[i][j], want[i][j], tol) << i << "," << j;
}

// Normalised device x, y of a point through view and projection.
std::array<float, 2> Ndc(const CModelBase& m, float x, float y, float z) {
    auto c = Transform(Transform(Transform({x, y, z, 1}, m.World()), m.View()), m.Projection());
    return {c[0] / c[3], c[1] / c[3]};
}

} // namespace

TEST(Camera, FlatModelsLookAlongZWithEightyFourDegrees) {
    RawNormal n;
    n.Init(1280, 720);
    ExpectMat(n.View(), {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 1.1f, 1}}});
    const float ys = 1.0f / std::tan(static_cast<float>(42 * kPi / 180)); // 1.1106125
    ExpectMat(n.Projection(),
              {{{ys, 0, 0, 0}, {0, ys, 0, 0}, {0, 0, 1.0101010f, 1}, {0, 0, -0.1010101f, 0}}});
    // The constant buffer holds each matrix transposed.
    const ShaderConstants c = n.UpdateConstants();
    EXPECT_FLOAT_EQ(c.view.m[2][3], 1.1f);
    EXPECT_EQ(c.projection.m[3][2], 1.0f);
    EXPECT_EQ(c.world, Mat4::Identity());
    // The square's right edge (x = 720/1280) lands just inside 0.57 of the half width.
    auto p = Ndc(n, 0.5625f, 1, 0);
    EXPECT_NEAR(p[0], 0.5625f * ys / 1.1f, 1e-5);
    EXPECT_NEAR(p[1], ys / 1.1f, 1e-5);

    Divide d;
    d.Init(1280, 720);
    EXPECT_NEAR(Ndc(d, 0.5f, 0, 0)[0], 0, 1e-6); // centred on x = 0.5
    WideScreen w;
    w.Init(1280, 720);
    EXPECT_NEAR(Ndc(w, 2.0f, 0, 0)[0], 0, 1e-6); // position 1: the camera at x = 2
    // RawPlain's flip moves the eye behind the picture: a mirror image.
    RawPlain r;
    r.Init(1280, 720);
    r.Flip();
    EXPECT_NEAR(Ndc(r, 0.5f, 0.5f, 0)[0], -0.5f * ys / 1.1f, 1e-5);
    EXPECT_NEAR(Ndc(r, 0.5f, 0.5f, 0)[1], 0.5f * ys / 1.1f, 1e-5);
    // The others turn upside down.
    n.Flip();
    EXPECT_NEAR(Ndc(n, 0.5f, 0.5f, 0)[0], -0.5f * ys / 1.1f, 1e-5);
    EXPECT_NEAR(Ndc(n, 0.5f, 0.5f, 0)[1], -0.5f * ys / 1.1f, 1e-5);
}

TEST(Camera, SphereFollowsWindowAspectAndQuaternion) {
    CSphere s;
    s.Init(1280, 720);
    EXPECT_FLOAT_EQ(s.Aspect(), 1280.0f / 720.0f);
    const float ys = 1.7320508f; // cot 30 degrees
    ExpectMat(s.Projection(), {{{ys / (1280.0f / 720.0f), 0, 0, 0},
                                {0, ys, 0, 0},
                                {0, 0, 1.00001f, 1},
                                {0, 0, -0.0100001f, 0}}});
    // Up is -y: the screen's x runs along -x and its y along -y.
    ExpectMat(s.View(), {{{-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0.1f, 1}}});
    EXPECT_EQ(s.World(), Mat4::Identity());
    s.SetAspect(2.0f);
    EXPECT_FLOAT_EQ(s.Aspect(), 2.0f);
    s.SetAspect(0);
    EXPECT_FLOAT_EQ(s.Aspect(), 2.0f);

    // 90 degrees about y: q = (cos 45, 0, sin 45, 0).
    const double h = std::sqrt(0.5);
    DMat4 r = RotationFromQuat({h, 0, h, 0});
    ExpectMat(ToFloat(r), {{{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}}});
    // Quaternion product: two quarter turns about z make a half turn.
    Quat z90{h, 0, 0, h};
    Quat z180 = z90 * z90;
    EXPECT_NEAR(z180.w, 0, 1e-12);
    EXPECT_NEAR(z180.z, 1, 1e-12);
}

TEST(Camera, DestinationRectangleIsTheDrawingArea) {
    RawNormal n;
    n.Init(1280, 720);
    EXPECT_FLOAT_EQ(n.GetViewport().width, 1280);
    EXPECT_FLOAT_EQ(n.GetViewport().height, 720);
    EXPECT_FLOAT_EQ(n.GetViewport().maxDepth, 1);
    n.SetVideoRect({100, 50, 740, 410});
    EXPECT_FLOAT_EQ(n.GetViewport().x, 100);
    EXPECT_FLOAT_EQ(n.GetViewport().y, 50);
    EXPECT_FLOAT_EQ(n.GetViewport().width, 640);
    EXPECT_FLOAT_EQ(n.GetViewport().height, 360);
    n.Init(800, 600); // a rebuild keeps the rectangle
    EXPECT_FLOAT_EQ(n.GetViewport().width, 640);
    n.SetVideoRect({});
    EXPECT_FLOAT_EQ(n.GetViewport().width, 800);
}
