// Meshes and texture mapping of the five display models.

#include <gtest/gtest.h>

#include <cmath>

#include "playcore/models/flat_models.h"
#include "playcore/models/sphere.h"

using namespace playcore;

namespace {

double TexRadius(const Vertex& v) {
    return std::hypot(v.texcoord[0] - 0.5, v.texcoord[1] - 0.5);
}

template <typename M> void ExpectIndicesInRange(const M& m) {
    for (uint16_t i : m.Indices())
        ASSERT_LT(i, m.Vertices().size());
}

} // namespace

TEST(SphereMesh, SizesRingsAndEquisolidMapping) {
    CSphere s;
    s.Init(1280, 720);
    ASSERT_EQ(s.Vertices().size(), 4753u);
    ASSERT_EQ(s.Indices().size(), 27360u);
    ExpectIndicesInRange(s);

    for (int i = 0; i < 97; ++i) {
        const Vertex& pole0 = s.Vertices()[i];
        EXPECT_NEAR(pole0.position[1], -1.0f, 1e-6);
        // Ring 0 has no coordinate of its own; it must lie at or beyond the circle.
        EXPECT_GE(TexRadius(pole0), 0.5);
        const Vertex& pole48 = s.Vertices()[48 * 97 + i];
        EXPECT_NEAR(pole48.position[1], 1.0f, 1e-6);
        EXPECT_NEAR(pole48.texcoord[0], 0.5f, 1e-6);
        EXPECT_NEAR(pole48.texcoord[1], 0.5f, 1e-6);
    }
    for (int b = 1; b < 49; ++b)
        for (int i = 0; i < 97; i += 8) {
            const Vertex& v = s.Vertices()[b * 97 + i];
            const double alpha = kPi - b * kPi / 48; // angle from the lens axis (+y)
            EXPECT_NEAR(TexRadius(v), 0.572 * std::sin(alpha / 2), 1e-5) << b << " " << i;
            EXPECT_NEAR(std::hypot(v.position[0], v.position[1], v.position[2]), 1.0, 1e-6);
            EXPECT_EQ(v.normal[0], v.position[0]);
            EXPECT_EQ(v.normal[2], v.position[2]);
        }
    // On the equator straight ahead (+z, phi = 3 pi / 2) the picture's top
    // shows at radius 0.572 sin 45 degrees.
    const Vertex& ahead = s.Vertices()[24 * 97 + 72];
    EXPECT_NEAR(ahead.position[2], 1.0f, 1e-6);
    EXPECT_NEAR(ahead.texcoord[0], 0.5f, 1e-6);
    EXPECT_NEAR(ahead.texcoord[1], 0.5 - 0.572 * std::sin(kPi / 4), 1e-6);

    // The fan from the pole, then the first band.
    const auto& idx = s.Indices();
    EXPECT_EQ((std::vector<uint16_t>(idx.begin(), idx.begin() + 3)),
              (std::vector<uint16_t>{0, 98, 97}));
    EXPECT_EQ((std::vector<uint16_t>(idx.begin() + 288, idx.begin() + 294)),
              (std::vector<uint16_t>{97, 98, 194, 98, 195, 194}));
    EXPECT_EQ(idx.back(), 4751); // last band's last triangle ends on ring 48
}

TEST(RawMeshes, SquareAndSixteenByNineShapes) {
    RawNormal n;
    n.Init(1280, 720); // the square of the shorter side: x scaled by 720 / 1280
    ASSERT_EQ(n.Vertices().size(), 4u);
    EXPECT_EQ(n.Indices(), (std::vector<uint16_t>{0, 3, 1, 0, 2, 3}));
    EXPECT_FLOAT_EQ(n.Vertices()[0].position[0], -0.5625f);
    EXPECT_FLOAT_EQ(n.Vertices()[0].position[1], -1.0f);
    EXPECT_FLOAT_EQ(n.Vertices()[0].texcoord[1], 1.0f); // bottom left shows the frame's bottom
    EXPECT_FLOAT_EQ(n.Vertices()[3].texcoord[0], 1.0f);
    EXPECT_FLOAT_EQ(n.Vertices()[3].texcoord[1], 0.0f);
    n.Init(600, 800);
    EXPECT_FLOAT_EQ(n.Vertices()[1].position[0], -1.0f);
    EXPECT_FLOAT_EQ(n.Vertices()[1].position[1], 0.75f);

    RawPlain p;
    p.Init(1280, 720); // band 1279.44 wide: x scaled by 720 * 1.777 / 1280
    EXPECT_NEAR(p.Vertices()[2].position[0] * 1280, 1279.44, 1e-3);
    EXPECT_FLOAT_EQ(p.Vertices()[2].position[1], -1.0f);
    p.Init(800, 800); // 800 x 450: y scaled by 800 / (800 * 1.777)
    EXPECT_FLOAT_EQ(p.Vertices()[2].position[0], 1.0f);
    EXPECT_NEAR(p.Vertices()[1].position[1] * 800, 450.2, 0.1);
}

TEST(DivideMesh, TwoHalfPanoramasBetweenTheGivenRadii) {
    Divide d;
    d.Init(1280, 720);
    ASSERT_EQ(d.Vertices().size(), 32768u);
    ASSERT_EQ(d.Indices().size(), 49152u);
    ExpectIndicesInRange(d);
    float minX = 9, maxX = -9;
    for (const Vertex& v : d.Vertices()) {
        minX = std::min(minX, v.position[0]);
        maxX = std::max(maxX, v.position[0]);
    }
    EXPECT_NEAR(minX, -0.49f, 1e-6);
    EXPECT_NEAR(maxX, 1.49f, 1e-6);

    const int perPanel = 64 * 64 * 4;
    for (int p = 0; p < 2; ++p) {
        // Quad (row 0, column 5): corner 0 on the panel's bottom row, corner 1 one row up.
        const Vertex& bottom = d.Vertices()[p * perPanel + 5 * 4];
        EXPECT_FLOAT_EQ(bottom.position[1], p - 1.0f);
        EXPECT_NEAR(TexRadius(bottom), 0.2211, 1e-4);
        // Quad (row 63, column 5): corner 1 on the panel's top row.
        const Vertex& top = d.Vertices()[p * perPanel + (63 * 64 + 5) * 4 + 1];
        EXPECT_FLOAT_EQ(top.position[1], static_cast<float>(p));
        EXPECT_NEAR(TexRadius(top), 0.4840, 1e-4);
    }
    // Panel 0 starts at the image's right edge and passes the bottom; panel 1 passes the top.
    const Vertex& p0start = d.Vertices()[0];
    EXPECT_GT(p0start.texcoord[0], 0.7f);
    EXPECT_NEAR(p0start.texcoord[1], 0.5f, 1e-6);
    const Vertex& p0mid = d.Vertices()[32 * 4]; // column 32, x = 0.5
    EXPECT_NEAR(p0mid.texcoord[0], 0.5f, 1e-6);
    EXPECT_GT(p0mid.texcoord[1], 0.7f);
    const Vertex& p1mid = d.Vertices()[perPanel + 32 * 4];
    EXPECT_LT(p1mid.texcoord[1], 0.3f);
}

TEST(WideScreenMesh, FourSeamlessTurnsOfThePanorama) {
    WideScreen w;
    w.Init(1280, 720);
    ASSERT_EQ(w.Vertices().size(), 65536u);
    ASSERT_EQ(w.Indices().size(), 98304u);
    ExpectIndicesInRange(w);
    EXPECT_EQ(w.Indices().back(), 65535);

    const int perPanel = 64 * 64 * 4;
    const auto& v = w.Vertices();
    EXPECT_FLOAT_EQ(v[0].position[0], -0.5f);
    EXPECT_FLOAT_EQ(v[3 * perPanel + (63 * 64 + 63) * 4 + 3].position[0], 7.5f);
    // Bottom row: the image centre; top row: radius 0.4950.
    EXPECT_NEAR(v[0].texcoord[0], 0.5f, 1e-6);
    EXPECT_NEAR(v[0].texcoord[1], 0.5f, 1e-6);
    EXPECT_NEAR(TexRadius(v[(63 * 64) * 4 + 1]), 0.4950, 1e-4);
    // A quarter of the way across a panel is the image's top ("ahead").
    const Vertex& quarter = v[perPanel + (63 * 64 + 16) * 4 + 1];
    EXPECT_FLOAT_EQ(quarter.position[0], 2.0f);
    EXPECT_NEAR(quarter.texcoord[0], 0.5f, 1e-6);
    EXPECT_NEAR(quarter.texcoord[1], 0.5 - 0.35 * std::sqrt(2.0), 1e-6);
    // The end of each panel meets the start of the next at the same place and texel.
    for (int n = 0; n < 3; ++n)
        for (int g : {0, 40}) {
            const Vertex& end = v[n * perPanel + (g * 64 + 63) * 4 + 3];
            const Vertex& start = v[(n + 1) * perPanel + (g * 64) * 4 + 1];
            EXPECT_FLOAT_EQ(end.position[0], start.position[0]);
            EXPECT_FLOAT_EQ(end.position[1], start.position[1]);
            EXPECT_NEAR(end.texcoord[0], start.texcoord[0], 1e-6);
            EXPECT_NEAR(end.texcoord[1], start.texcoord[1], 1e-6);
        }
}
