#pragma once
// What the converted panorama shows of the sphere around the camera, and how
// the written file declares it (Spherical Video V2 "sv3d" / "st3d" boxes and
// the older V1 "uuid" XMP block).
//
// The fisheye lens is equisolid: a ray at angle a from the lens axis lands at
// texture radius 0.572 sin(a / 2) from the picture centre, in the direction
// of its azimuth. The unwrap samples radius 0.572 cos(pi Y' / (2 H)) on
// output row centre Y' (= Y + 0.5; flipped: 0.572 sin(pi Y' / (2 H))), so the
// angle from the axis is a = 180 (1 - Y' / H) degrees (flipped: 180 Y' / H):
// every row is the same angle tall, and the 960 rows span the whole
// 180 degrees from one pole to the other. The 1920 columns span one full
// turn. The picture is therefore a whole-sphere equirectangular picture in
// both mounting directions: lens axis down (the upright picture: nadir at the
// bottom row) or lens axis up (the flipped picture: zenith at the top row).
// What the direction changes is where the picture has content: the band of
// the upright picture (its top third, the sky beyond the image circle) is the
// bottom third when flipped. playcore/convert/README.md works this through.
//
// Pure code, no state.

#include <cstdint>
#include <string>

namespace playcore {

// Texture radius of a ray at 180 degrees from the lens axis (the lens
// constant of the fisheye display models and of the unwrap).
inline constexpr double kFisheyeLensRadius = 0.572;

// Angle from the lens axis, degrees, of a texture radius (0..kFisheyeLensRadius).
double LensAngleOfRadiusDeg(double radius);

// Elevation (degrees above the horizon) shown at vertical position rowY of
// a picture of `height` rows, rowY in pixels from the top edge (a row's
// centre is its index + 0.5): 90 - 180 rowY / height, for both mounting
// directions.
double PanoramaElevationDeg(double rowY, int height);
// Azimuth (degrees clockwise from ahead, -180..180) shown at horizontal
// position columnX of a picture `width` columns wide: 360 columnX / width
// - 180; ahead in the middle, right to the right.
double PanoramaAzimuthDeg(double columnX, int width);

// Elevations, degrees, between which the picture has content (outside them
// the band is black): upright -90..+30, flipped -30..+90.
struct ElevationSpan {
    double lowest, highest;
};
ElevationSpan PanoramaContentElevations(bool flip);

// Spherical Video V2 projection bounds: the share of the full
// equirectangular projection (360 x 180 degrees) that lies beyond each edge
// of the picture, 0.32 fixed point. The picture covers the whole sphere in
// both mounting directions, so every bound is 0.
struct EquirectBounds {
    uint32_t top = 0, bottom = 0, left = 0, right = 0;
    bool operator==(const EquirectBounds&) const = default;
};
EquirectBounds PanoramaBounds(bool flip);

// Spherical Video V1: the "uuid" box of this type in the video track holds
// the XMP text of SphericalV1Xmp.
inline constexpr uint8_t kSphericalV1Uuid[16] = {0xff, 0xcc, 0x82, 0x63, 0xf8, 0x55, 0x4a, 0x93,
                                                 0x88, 0x14, 0x58, 0x7a, 0x02, 0x52, 0x1f, 0xdd};
// XMP of a stitched, monoscopic, whole-sphere equirectangular picture of
// width x height pixels (cropped area = full panorama).
std::string SphericalV1Xmp(int width, int height);

} // namespace playcore
