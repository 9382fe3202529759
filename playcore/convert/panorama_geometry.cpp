#include "playcore/convert/panorama_geometry.h"

#include <algorithm>
#include <cmath>

namespace playcore {

namespace {

constexpr double kPi = 3.14159265358979323846;

} // namespace

double LensAngleOfRadiusDeg(double radius) {
    const double s = std::clamp(radius / kFisheyeLensRadius, 0.0, 1.0);
    return 2 * std::asin(s) * 180 / kPi;
}

double PanoramaElevationDeg(double rowY, int height) {
    return 90 - 180 * rowY / height;
}

double PanoramaAzimuthDeg(double columnX, int width) {
    return 360 * columnX / width - 180;
}

ElevationSpan PanoramaContentElevations(bool flip) {
    // The band covers a third of the rows: 60 degrees at the pole away from
    // the lens axis.
    return flip ? ElevationSpan{-30, 90} : ElevationSpan{-90, 30};
}

EquirectBounds PanoramaBounds(bool) {
    return EquirectBounds{};
}

std::string SphericalV1Xmp(int width, int height) {
    const std::string w = std::to_string(width), h = std::to_string(height);
    return "<?xml version=\"1.0\"?>"
           "<rdf:SphericalVideo xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
           "xmlns:GSpherical=\"http://ns.google.com/videos/1.0/spherical/\">"
           "<GSpherical:Spherical>true</GSpherical:Spherical>"
           "<GSpherical:Stitched>true</GSpherical:Stitched>"
           "<GSpherical:StitchingSoftware>kinetta</GSpherical:StitchingSoftware>"
           "<GSpherical:ProjectionType>equirectangular</GSpherical:ProjectionType>"
           "<GSpherical:StereoMode>mono</GSpherical:StereoMode>"
           "<GSpherical:CroppedAreaImageWidthPixels>" +
           w +
           "</GSpherical:CroppedAreaImageWidthPixels>"
           "<GSpherical:CroppedAreaImageHeightPixels>" +
           h +
           "</GSpherical:CroppedAreaImageHeightPixels>"
           "<GSpherical:FullPanoWidthPixels>" +
           w +
           "</GSpherical:FullPanoWidthPixels>"
           "<GSpherical:FullPanoHeightPixels>" +
           h +
           "</GSpherical:FullPanoHeightPixels>"
           "<GSpherical:CroppedAreaLeftPixels>0</GSpherical:CroppedAreaLeftPixels>"
           "<GSpherical:CroppedAreaTopPixels>0</GSpherical:CroppedAreaTopPixels>"
           "</rdf:SphericalVideo>";
}

} // namespace playcore
