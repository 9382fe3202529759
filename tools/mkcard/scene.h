#pragma once
// The pictures of mkcard's movies. The front camera is the recorder's 360-degree
// fisheye: lens axis pointing down from the windscreen, so the ground and the
// car's own hood and cabin fill the middle of the picture, the horizon lies at
// 90 degrees from the axis and the sky beyond it. A ray at angle a from the axis
// lands at radius 0.572 x sin(a / 2) from the picture centre (0.5, 0.5) in
// texture coordinates (u across the width, v down the height), in the direction
// of its azimuth: ahead is up (smaller v), right is right. The rear camera is an
// ordinary perspective view of the road behind. Both show landmarks of distinct
// colours at fixed azimuths, lane marks that move with the vehicle's speed, the
// frame-number strip at the top and the frame number and time as text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mkcard {

enum class Lens { Fisheye, Rear };

inline constexpr double kLensRadius = 0.572;      // texture radius at 180 degrees from the axis
inline constexpr double kImageCircle = 0.495;     // radius beyond which the picture is black
inline constexpr double kFrontCameraHeight = 1.3; // metres above the road
inline constexpr double kRearCameraHeight = 1.0;

// Texture point of a ray of the fisheye: angle from the lens axis and azimuth
// (degrees clockwise from ahead).
void FisheyeTexturePoint(double angleFromAxisDeg, double azimuthDeg, double* u, double* v);

struct Landmark {
    const char* name;    // "ahead", "right", "behind", "left"
    double azimuthDeg;   // clockwise from ahead
    double halfWidthDeg; // extent either side of the azimuth
    double bottomDeg;    // elevation of its foot (below the horizon: it stands near the road)
    double topDeg;       // elevation of its top
    uint8_t r, g, b;     // colour
};
// Ahead red, right green, behind blue, left yellow, each from 12 degrees below
// the horizon to 20 degrees above it in the fisheye picture (the rear view
// shows the part above the horizon). The strip of the frame code covers the
// top of the picture, and so the upper part of the landmark ahead: the point
// at 6 degrees below the horizon is visible for all four.
inline constexpr double kLandmarkReferenceElevation = -6.0;
const std::vector<Landmark>& Landmarks();

// BT.601 limited-range conversion, as the movies are encoded.
void RgbToYuv(uint8_t r, uint8_t g, uint8_t b, uint8_t* y, uint8_t* u, uint8_t* v);

struct PictureRef {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    std::ptrdiff_t strideY, strideU, strideV; // 4:2:0 chroma
};

// Everything of a picture that does not change from frame to frame, worked out
// once per lens and size: the static picture, and for every road pixel its
// place on the road surface, so that a frame costs one table look-up per pixel.
class ScenePlan {
public:
    ScenePlan(Lens lens, int width, int height);
    // Shared plans, built once per lens and size (thread-safe).
    static std::shared_ptr<const ScenePlan> Get(Lens lens, int width, int height);

    // distanceM: metres the vehicle has travelled (moves the road surface).
    // frameCode: draw the frame-number strip over the top of the picture.
    void Render(const PictureRef& out, double distanceM, int frameNumber, double movieSeconds,
                bool frameCode = true) const;

    Lens lens() const { return lens_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    void Build();
    void DrawText(const PictureRef& out, int frameNumber, double movieSeconds) const;

    Lens lens_;
    int width_, height_;
    std::vector<uint8_t> baseY_, baseU_, baseV_;
    struct Span {
        int row, x0, count;
        size_t first; // index of its first pixel in the road tables
    };
    std::vector<Span> spans_;
    std::vector<uint16_t> roadAlong_; // texel along the road, 4 cm each, wrapping
    std::vector<uint8_t> roadAcross_; // texel across the road, 8 cm each
    std::vector<uint8_t> roadWeight_; // detail left at this distance, 0..255
    int textScale_ = 1;
};

// Texture of the road surface: luma deviation from the surface's base shade,
// 256 texels along (4 cm) by 256 across (8 cm), lane marks included.
const std::vector<int8_t>& RoadTexture();
// Base luma of the surface at a texel across the road.
uint8_t RoadBase(int across);

// The text drawn in the picture's lower corners.
std::string FrameText(int frameNumber);
std::string TimeText(double movieSeconds);

} // namespace mkcard
