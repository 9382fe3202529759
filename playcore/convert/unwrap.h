#pragma once
// The conversion's unwrap mapping: the circular fisheye picture becomes a 2:1
// panorama in which each output column is one direction around the image
// centre (a full turn across the width) and each output row one distance from
// it.
//
// D3DRawObj1 is the mapping as a display-model mesh: 128 x 128 quads over
// the unit square, with a camera that makes the mesh rectangle exactly fill
// the target. The CPU writer draws the same mesh from a remap table
// (BuildRemapTable): the texture point of every output pixel interpolated
// linearly over the mesh's triangles, as a rasteriser interpolates it.
//
// Pure code; not thread-safe (one owner).

#include <cstdint>
#include <vector>

#include "playcore/models/model_base.h"

namespace playcore {

inline constexpr int kConvertWidth = 1920; // output picture, pixels
inline constexpr int kConvertHeight = 960;

// Mesh extent: x in 0..kMeshWidth, y in 0..kMeshHeight.
inline constexpr float kMeshWidth = 0.1801f;
inline constexpr float kMeshHeight = 0.0901f;

// Texture point (u, v; 0..1, v downwards) for the unit-square point (x, y)
// of the mesh: radius 0.572 cos(l pi) from (0.5, 0.5) in the direction h pi,
// with h = (m ? -x - 0.5 : x - 0.5) * -2 and l = 0.25 - (m ? 0.5 - y : y - 0.5) * 0.5.
void UnwrapTexcoord(double x, double y, bool flip, double* u, double* v);

class D3DRawObj1 : public CModelBase {
public:
    static constexpr int kGrid = 128;
    static constexpr int kVertexCount = kGrid * kGrid * 4; // 65536
    static constexpr int kIndexCount = kGrid * kGrid * 6;  // 98304

    explicit D3DRawObj1(bool flip = false) : flip_(flip) {}

    void BuildVertices() override;
    void BuildIndices() override;
    // Viewport at the target's corner, twice the target's width and height.
    void Resize() override;
    // Eye (0, 0, 0.1) looking at the origin, up (0, 1, 0).
    Mat4 View() const override;
    // 84 degrees vertically, aspect = target width / height, near 0.1, far 100.
    Mat4 Projection() const override;
    bool Drag(float, float, float) override { return false; }
    void Flip() override { flip_ = !flip_; }
    bool Flipped() const { return flip_; }

private:
    bool flip_;
};

// The mesh rectangle of a pixel rectangle (x, y, width, height) of a W x H
// target: corner ((W - x) / W * 0.1801, (H - y) / H * 0.0901), extent
// (-width / W * 0.1801, -height / H * 0.0901).
struct MeshRect {
    float x, y, width, height;
};
MeshRect PixelRectToMesh(int x, int y, int width, int height, int targetWidth, int targetHeight);

// Rows covered by the fixed black band: the top floor(H / 3) rows, or the
// bottom ones when flipped. [first, last) row range.
void BandRows(int height, bool flip, int* first, int* last);

// For every output pixel, where the unwrap mesh samples the source picture:
// the top-left of the 2 x 2 texels of a linear filter with clamp addressing
// and their weights in 1/256 steps. Built once per source size.
struct RemapEntry {
    uint16_t x, y;  // column and row of the top-left texel
    uint8_t dx, dy; // 1, or 0 at the last column / row (clamp)
    uint8_t fx, fy; // weights of the right and lower texels, 0..255 / 256
};
struct RemapTable {
    int width = 0, height = 0;             // output size
    int sourceWidth = 0, sourceHeight = 0; // picture the offsets index
    bool flip = false;
    int bandFirst = 0, bandLast = 0; // rows left black
    std::vector<RemapEntry> entries; // width x height, rows top first
};
// Interpolates the mesh's texture points at each pixel centre over the
// mesh triangles ((0, 3, 1) and (0, 2, 3) of each quad). False for a size out
// of range.
bool BuildRemapTable(int width, int height, int sourceWidth, int sourceHeight, bool flip,
                     RemapTable* table);

// Planes of a decoded picture: planar 4:2:0, video range (IYUV).
struct YuvPlanes {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int yStride, uStride, vStride; // bytes
};

// Draws a source picture through the table into a 32-bit output of the
// table's size (stride in bytes; bytes blue, green, red, 255): the band black,
// every other pixel the linear filter of the picture at its texture point
// with the picture's colour rule (IyuvToBgra: each 2 x 2 block of pixels
// shares one chroma sample). Luma and chroma are filtered with the same four
// texels and weights and then converted, as the display models' shader does.
// Rows [rowBegin, rowEnd) only.
void RemapRows(const RemapTable& table, const YuvPlanes& source, uint8_t* out, int outStride,
               int rowBegin, int rowEnd);

} // namespace playcore
