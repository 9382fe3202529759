#include "playcore/models/video_frame.h"

#include <algorithm>
#include <vector>

namespace playcore {

int PlaneCount(PixelFormat format) {
    switch (format) {
    case PixelFormat::I420:
        return 3;
    case PixelFormat::NV12:
        return 2;
    case PixelFormat::BGRA:
    case PixelFormat::RGBA:
    case PixelFormat::RGB24:
    case PixelFormat::BGR24:
        return 1;
    case PixelFormat::None:
        break;
    }
    return 0;
}

int PlaneBytesPerPixel(PixelFormat format, int plane) {
    switch (format) {
    case PixelFormat::I420:
        return 1;
    case PixelFormat::NV12:
        return plane == 0 ? 1 : 2;
    case PixelFormat::BGRA:
    case PixelFormat::RGBA:
        return 4;
    case PixelFormat::RGB24:
    case PixelFormat::BGR24:
        return 3;
    case PixelFormat::None:
        break;
    }
    return 0;
}

int PlaneWidth(PixelFormat format, int plane, int width) {
    bool halved = (format == PixelFormat::I420 || format == PixelFormat::NV12) && plane > 0;
    return halved ? (width + 1) / 2 : width;
}

int PlaneHeight(PixelFormat format, int plane, int height) {
    bool halved = (format == PixelFormat::I420 || format == PixelFormat::NV12) && plane > 0;
    return halved ? (height + 1) / 2 : height;
}

bool IsValidFrame(const VideoFrame& frame) {
    const int planes = PlaneCount(frame.format);
    if (planes == 0) return false;
    if (frame.width < 1 || frame.height < 1) return false;
    if (frame.width > kMaxFrameSide || frame.height > kMaxFrameSide) return false;
    for (int p = 0; p < planes; ++p) {
        if (!frame.data[p]) return false;
        const int rowBytes =
            PlaneWidth(frame.format, p, frame.width) * PlaneBytesPerPixel(frame.format, p);
        if (frame.stride[p] < rowBytes) return false;
    }
    return true;
}

VideoFrame AllocateFrame(PixelFormat format, int width, int height,
                         std::array<uint8_t*, 3>* planes) {
    VideoFrame f;
    if (planes) planes->fill(nullptr);
    const int count = PlaneCount(format);
    if (count == 0 || width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide)
        return f;
    std::array<size_t, 3> offset{};
    size_t total = 0;
    for (int p = 0; p < count; ++p) {
        f.stride[p] = PlaneWidth(format, p, width) * PlaneBytesPerPixel(format, p);
        offset[p] = total;
        total += static_cast<size_t>(f.stride[p]) * PlaneHeight(format, p, height);
    }
    auto buffer = std::make_shared<std::vector<uint8_t>>(total, 0);
    for (int p = 0; p < count; ++p) {
        f.data[p] = buffer->data() + offset[p];
        if (planes) (*planes)[p] = buffer->data() + offset[p];
    }
    f.owner = buffer;
    f.format = format;
    f.width = width;
    f.height = height;
    return f;
}

uint32_t Bt601ToArgb(int y, int u, int v) {
    const int c = 298 * y;
    // Right shift of a negative int is arithmetic (C++20).
    const int r = std::clamp((c + 409 * v - 56992) >> 8, 0, 255);
    const int g = std::clamp((c - 100 * u - 208 * v + 34784) >> 8, 0, 255);
    const int b = std::clamp((c + 516 * u - 70688) >> 8, 0, 255);
    return 0xFF000000u | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b);
}

} // namespace playcore
