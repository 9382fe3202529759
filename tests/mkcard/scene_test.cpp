// The pictures follow the lens model the display models assume: checked by
// looking for the landmarks where the model puts them, worked out here from
// the model itself (radius 0.572 x sin(a / 2), ahead up, right to the right).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "tools/mkcard/framecode.h"
#include "tools/mkcard/scene.h"

namespace {

using namespace mkcard;

constexpr double kPi = 3.14159265358979323846;

struct Picture {
    int w, h;
    std::vector<uint8_t> y, u, v;
    Picture(int width, int height)
        : w(width), h(height), y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u.size()) {}
    PictureRef Ref() { return {y.data(), u.data(), v.data(), w, w / 2, w / 2}; }
    // Luma and chroma at a texture point.
    void At(double tu, double tv, int* Y, int* U, int* V) const {
        const int x = std::clamp(int(tu * w), 0, w - 1), yy = std::clamp(int(tv * h), 0, h - 1);
        *Y = y[size_t(yy) * w + x];
        *U = u[size_t(yy / 2) * (w / 2) + x / 2];
        *V = v[size_t(yy / 2) * (w / 2) + x / 2];
    }
};

Picture Render(Lens lens, int w, int h, double distance, int frame) {
    Picture p(w, h);
    ScenePlan(lens, w, h).Render(p.Ref(), distance, frame, frame * 0.034364);
    return p;
}

TEST(Scene, FisheyeShowsTheLandmarksWhereTheLensModelPutsThem) {
    const Picture p = Render(Lens::Fisheye, 640, 360, 0, 0);
    for (const Landmark& m : Landmarks()) {
        // 6 degrees below the horizon (84 degrees from the lens axis), below the
        // frame-code strip at every azimuth.
        const double a = 84 * kPi / 180, psi = m.azimuthDeg * kPi / 180;
        const double r = 0.572 * std::sin(a / 2);
        const double tu = 0.5 + r * std::sin(psi), tv = 0.5 - r * std::cos(psi);
        double mu, mv;
        FisheyeTexturePoint(90 + kLandmarkReferenceElevation, m.azimuthDeg, &mu, &mv);
        EXPECT_NEAR(mu, tu, 1e-12);
        EXPECT_NEAR(mv, tv, 1e-12);
        uint8_t ey, eu, ev;
        RgbToYuv(m.r, m.g, m.b, &ey, &eu, &ev);
        int Y, U, V;
        p.At(tu, tv, &Y, &U, &V);
        EXPECT_NEAR(Y, ey, 6) << m.name;
        EXPECT_NEAR(U, eu, 6) << m.name;
        EXPECT_NEAR(V, ev, 6) << m.name;
        // Beside the landmark, below the horizon, it is road or pavement: grey.
        const double rb = 0.572 * std::sin(84 * kPi / 360);
        const double beside = psi + 12 * kPi / 180;
        p.At(0.5 + rb * std::sin(beside), 0.5 - rb * std::cos(beside), &Y, &U, &V);
        EXPECT_NEAR(U, 128, 12) << m.name;
        EXPECT_NEAR(V, 128, 12) << m.name;
        // Above the horizon the landmark's top shows (ahead it lies under the strip).
        if (m.azimuthDeg == 0) continue;
        const double rt = 0.572 * std::sin(100 * kPi / 360);
        p.At(0.5 + rt * std::sin(psi), 0.5 - rt * std::cos(psi), &Y, &U, &V);
        EXPECT_NEAR(U, eu, 6) << m.name;
        EXPECT_NEAR(V, ev, 6) << m.name;
    }
    // Outside the image circle, in the corners beside the text, the picture is black.
    int Y, U, V;
    p.At(0.3, 0.99, &Y, &U, &V);
    EXPECT_EQ(Y, 16);
    p.At(0.7, 0.99, &Y, &U, &V);
    EXPECT_EQ(Y, 16);
    // Straight down is the car's cabin: dark.
    p.At(0.5, 0.55, &Y, &U, &V);
    EXPECT_LT(Y, 60);
    // The landmarks differ from each other in colour.
    int u0, v0, u1, v1;
    const double r = 0.572 * std::sin(42 * kPi / 180);
    p.At(0.5, 0.5 - r, &Y, &u0, &v0);
    p.At(0.5, 0.5 + r, &Y, &u1, &v1);
    EXPECT_GT(std::abs(u0 - u1) + std::abs(v0 - v1), 100);
}

TEST(Scene, RoadMovesWithDistanceAndTheRestStands) {
    for (Lens lens : {Lens::Fisheye, Lens::Rear}) {
        const Picture a = Render(lens, 320, 180, 100.02, 7);
        const Picture b = Render(lens, 320, 180, 101.32, 7);
        const Picture c = Render(lens, 320, 180, 110.26, 7); // one texture period (10.24 m) on
        int changed = 0;
        for (size_t i = 0; i < a.y.size(); ++i)
            changed += a.y[i] != b.y[i];
        EXPECT_GT(changed, int(a.y.size() / 20));
        EXPECT_EQ(a.y, c.y);
        EXPECT_EQ(a.u, b.u); // the road's colour does not change, only its pattern
        // The sky does not move: for the fisheye, above the horizon at every azimuth.
        if (lens == Lens::Fisheye)
            for (int deg = 0; deg < 360; deg += 15) {
                const double r = 0.572 * std::sin(100 * kPi / 360), psi = deg * kPi / 180;
                const int x = int((0.5 + r * std::sin(psi)) * 320),
                          y = int((0.5 - r * std::cos(psi)) * 180);
                if (y < kframecode::StripRows(180) + 2)
                    continue; // the code strip changes with the frame
                EXPECT_EQ(a.y[size_t(y) * 320 + x], b.y[size_t(y) * 320 + x]) << deg;
            }
    }
}

TEST(Scene, RearViewLooksBackAndCarriesTheCode) {
    const Picture p = Render(Lens::Rear, 640, 360, 0, 4321);
    EXPECT_EQ(kframecode::ReadFrameCode(p.y.data(), 640, 360, 640), 4321);
    // The landmark behind stands in the middle, just above the horizon.
    const Landmark& behind = Landmarks()[2];
    uint8_t ey, eu, ev;
    RgbToYuv(behind.r, behind.g, behind.b, &ey, &eu, &ev);
    int Y, U, V;
    p.At(0.5, 0.3, &Y, &U, &V);
    EXPECT_NEAR(U, eu, 6);
    EXPECT_NEAR(V, ev, 6);
    // The bottom middle is road.
    p.At(0.5, 0.85, &Y, &U, &V);
    EXPECT_NEAR(U, 128, 4);
    EXPECT_LT(Y, 140);
    const Picture f = Render(Lens::Fisheye, 160, 90, 0, 65535);
    EXPECT_EQ(kframecode::ReadFrameCode(f.y.data(), 160, 90, 160), 65535);
    // Without the strip (the demo's pictures) the top shows the scene, the
    // rest of the picture is the same.
    Picture plain(160, 90);
    ScenePlan(Lens::Fisheye, 160, 90).Render(plain.Ref(), 0, 65535, 65535 * 0.034364, false);
    EXPECT_NE(kframecode::ReadFrameCode(plain.y.data(), 160, 90, 160), 65535);
    const size_t stripBytes = size_t(kframecode::StripRows(90)) * 160;
    EXPECT_FALSE(std::equal(plain.y.begin(), plain.y.begin() + long(stripBytes), f.y.begin()));
    EXPECT_TRUE(std::equal(plain.y.begin() + long(stripBytes), plain.y.end(),
                           f.y.begin() + long(stripBytes)));
    EXPECT_EQ(FrameText(123), "#00123");
    EXPECT_EQ(TimeText(64.2261), "01:04.226");
    EXPECT_THROW(ScenePlan(Lens::Fisheye, 161, 90), std::invalid_argument);
}

} // namespace
