// The panorama's place on the sphere, worked out from the unwrap mapping and
// the equisolid lens: the row and column formulas the written file's
// spherical metadata rests on, for both mounting directions, against the
// exact mapping and against the remap table the writer draws with.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "playcore/convert/panorama_geometry.h"
#include "playcore/convert/unwrap.h"

using namespace playcore;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int W = kConvertWidth, H = kConvertHeight;

// Elevation and azimuth (degrees) of the ray the lens maps to texture point
// (u, v): upright the axis points down and ahead is up in the picture;
// flipped the axis points up and the camera is turned over about the car's
// long axis (ahead still up in the picture, right and left swapped).
void RayOfTexturePoint(double u, double v, bool flip, double* elevation, double* azimuth) {
    const double a = LensAngleOfRadiusDeg(std::hypot(u - 0.5, v - 0.5));
    const double direction = std::atan2(u - 0.5, 0.5 - v) * 180 / kPi;
    *elevation = flip ? 90 - a : a - 90;
    *azimuth = flip ? -direction : direction;
}

double AngleGap(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360 - d);
}

} // namespace

TEST(PanoramaGeometry, RowsAndColumnsAreUniformInAngleOverTheWholeSphere) {
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flipped" : "upright");
        double worstElevation = 0, worstAzimuth = 0;
        for (int Y = 0; Y < H; Y += 7)
            for (int X = 0; X < W; X += 13) {
                // Output pixel centre (X + 0.5, Y + 0.5) shows mesh point (x, y).
                const double x = (W - (X + 0.5)) / W, y = (H - (Y + 0.5)) / H;
                double u = 0, v = 0;
                UnwrapTexcoord(x, y, flip, &u, &v);
                double e = 0, a = 0;
                RayOfTexturePoint(u, v, flip, &e, &a);
                worstElevation =
                    std::max(worstElevation, std::fabs(e - PanoramaElevationDeg(Y + 0.5, H)));
                // The azimuth has no meaning at the poles.
                if (std::fabs(e) < 89)
                    worstAzimuth =
                        std::max(worstAzimuth, AngleGap(a, PanoramaAzimuthDeg(X + 0.5, W)));
            }
        EXPECT_LT(worstElevation, 1e-6);
        EXPECT_LT(worstAzimuth, 1e-6);
        // Whole sphere: the bounds crop nothing; the band is at the pole away from the axis.
        EXPECT_EQ(PanoramaBounds(flip), EquirectBounds{});
        EXPECT_DOUBLE_EQ(PanoramaElevationDeg(0, H), 90);
        EXPECT_DOUBLE_EQ(PanoramaElevationDeg(H, H), -90);
        int first = 0, last = 0;
        BandRows(H, flip, &first, &last);
        const ElevationSpan content = PanoramaContentElevations(flip);
        EXPECT_DOUBLE_EQ(flip ? PanoramaElevationDeg(first, H) : PanoramaElevationDeg(last, H),
                         flip ? content.lowest : content.highest);
    }
}

TEST(PanoramaGeometry, RemapTableKeepsToTheFormulasWithinTheMeshError) {
    // The writer samples the source through the mesh's linear interpolation
    // (128 x 128 quads), at 1/256 texel. Within a quad it reads the chord
    // between two vertices of one radius, up to 0.063 degrees nearer the
    // axis at the band's edge; the azimuth keeps within 0.05 degrees except
    // near the axis, where the quads' triangles bend the columns.
    constexpr int sw = 1280, sh = 720;
    for (bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "flipped" : "upright");
        RemapTable table;
        ASSERT_TRUE(BuildRemapTable(W, H, sw, sh, flip, &table));
        double worstElevation = 0, worstAzimuth = 0;
        for (int Y = 0; Y < H; ++Y) {
            if (Y >= table.bandFirst && Y < table.bandLast) continue;
            for (int X = 0; X < W; X += 3) {
                const RemapEntry& m = table.entries[static_cast<size_t>(Y) * W + X];
                const double u = (m.x + m.fx / 256.0 + 0.5) / sw;
                const double v = (m.y + m.fy / 256.0 + 0.5) / sh;
                double e = 0, a = 0;
                RayOfTexturePoint(u, v, flip, &e, &a);
                worstElevation =
                    std::max(worstElevation, std::fabs(e - PanoramaElevationDeg(Y + 0.5, H)));
                if (std::fabs(e) < 67.5)
                    worstAzimuth =
                        std::max(worstAzimuth, AngleGap(a, PanoramaAzimuthDeg(X + 0.5, W)));
            }
        }
        EXPECT_LT(worstElevation, 0.07);
        EXPECT_LT(worstAzimuth, 0.05);
    }
}

TEST(PanoramaGeometry, SphericalV1XmpDeclaresAMonoWholeSpherePicture) {
    const std::string xmp = SphericalV1Xmp(1920, 960);
    for (const char* part :
         {"<GSpherical:Spherical>true</GSpherical:Spherical>",
          "<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>",
          "<GSpherical:StereoMode>mono</GSpherical:StereoMode>",
          "<GSpherical:FullPanoWidthPixels>1920</GSpherical:FullPanoWidthPixels>",
          "<GSpherical:CroppedAreaImageHeightPixels>960</GSpherical:CroppedAreaImageHeightPixels>"})
        EXPECT_NE(xmp.find(part), std::string::npos) << part;
}
