#pragma once
// A decoded picture as the presenter receives it: up to three planes with
// their strides, independent of the decoder's own frame type. The decoder
// keeps its buffers alive through `owner` (an AVFrame reference, a vector...).

#include <array>
#include <cstdint>
#include <memory>

namespace playcore {

// The input formats the presenter draws. YUV formats are BT.601 video range
// (Y 16 black .. 235 white); alpha of the 32-bit formats is ignored.
enum class PixelFormat {
    None,
    I420,  // planar Y, U, V; chroma halved in both directions (FFmpeg yuv420p)
    NV12,  // planar Y, then interleaved U,V pairs at half size (FFmpeg nv12)
    BGRA,  // bytes B, G, R, A (FFmpeg bgra, bgr0)
    RGBA,  // bytes R, G, B, A (FFmpeg rgba, rgb0)
    RGB24, // bytes R, G, B
    BGR24, // bytes B, G, R
};

// Largest accepted picture side in pixels; larger frames are refused before
// any allocation or upload.
inline constexpr int kMaxFrameSide = 8192;

int PlaneCount(PixelFormat format);
// Bytes per pixel of a plane's samples (1 for Y/U/V, 2 for NV12's chroma pairs).
int PlaneBytesPerPixel(PixelFormat format, int plane);
// Width and height of a plane in samples for a picture of width x height.
int PlaneWidth(PixelFormat format, int plane, int width);
int PlaneHeight(PixelFormat format, int plane, int height);

struct VideoFrame {
    PixelFormat format = PixelFormat::None;
    int width = 0;
    int height = 0;
    std::array<const uint8_t*, 3> data{};
    std::array<int, 3> stride{}; // bytes from one row to the next, > 0
    int64_t pts = 0;             // presentation time, 100-ns units
    std::shared_ptr<const void> owner;
};

// Whether the frame can be read as described: a known format, 1..kMaxFrameSide
// pixels each way, every plane present with a stride of at least one row.
bool IsValidFrame(const VideoFrame& frame);

// A frame with tightly packed, zeroed planes owned by the frame itself. Returns
// a frame of format None for an unknown format or a size out of range.
// `planes` receives writable pointers to the planes.
VideoFrame AllocateFrame(PixelFormat format, int width, int height,
                         std::array<uint8_t*, 3>* planes);

// BT.601 integer conversion for video-range input: C = 298 Y,
// R = (C + 409 V - 56992) >> 8, G = (C - 100 U - 208 V + 34784) >> 8,
// B = (C + 516 U - 70688) >> 8, each clamped to 0..255. Returns
// 0xFF000000 | R << 16 | G << 8 | B.
uint32_t Bt601ToArgb(int y, int u, int v);

} // namespace playcore
