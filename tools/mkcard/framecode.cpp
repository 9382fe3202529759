#include "tools/mkcard/framecode.h"

#include <algorithm>

namespace kframecode {

namespace {

// Block means inside this band are taken as unreadable rather than guessed.
constexpr int kDarkBelow = 100;
constexpr int kLightAbove = 156;

// Left and right edge (exclusive) of block k in a strip of the given width.
int BlockEdge(int width, int k) {
    return static_cast<int>(static_cast<int64_t>(width) * k / kBits);
}

} // namespace

int StripRows(int height) {
    return std::max(1, height / 12);
}

void DrawFrameCode(uint8_t* luma, int width, int height, std::ptrdiff_t stride, int number) {
    if (!luma || width <= 0 || height <= 0) return;
    const unsigned value = static_cast<unsigned>(number) & kMaxNumber;
    const int rows = std::min(height, StripRows(height));
    for (int k = 0; k < kBits; ++k) {
        const bool bit = (value >> (kBits - 1 - k)) & 1u;
        const int x0 = BlockEdge(width, k), x1 = BlockEdge(width, k + 1);
        for (int y = 0; y < rows; ++y)
            std::fill(luma + y * stride + x0, luma + y * stride + x1, bit ? kWhite : kBlack);
    }
}

int ReadFrameCode(const uint8_t* luma, int width, int height, std::ptrdiff_t stride) {
    return ReadFrameCode(luma, width, height, stride, Rect{0, 0, width, height});
}

int ReadFrameCode(const uint8_t* luma, int width, int height, std::ptrdiff_t stride, Rect frame) {
    if (!luma || width <= 0 || height <= 0) return -1;
    // The frame rectangle must lie inside the picture.
    if (frame.x < 0 || frame.y < 0 || frame.width <= 0 || frame.height <= 0 ||
        frame.x > width - frame.width || frame.y > height - frame.height)
        return -1;
    if (frame.width < kBits * 2) return -1;

    // Rows: the middle of the strip, away from its lower edge, which scaling
    // and the encoder blur into the picture below.
    const double strip = frame.height / 12.0;
    int y0 = frame.y + static_cast<int>(strip * 0.2);
    int y1 = frame.y + static_cast<int>(strip * 0.75);
    if (y1 <= y0) y1 = y0 + 1;
    y1 = std::min(y1, frame.y + frame.height);

    int value = 0;
    for (int k = 0; k < kBits; ++k) {
        const double left = frame.x + frame.width * static_cast<double>(k) / kBits;
        const double blockWidth = frame.width / static_cast<double>(kBits);
        int x0 = static_cast<int>(left + blockWidth * 0.25 + 0.5);
        int x1 = static_cast<int>(left + blockWidth * 0.75 + 0.5);
        if (x1 <= x0) x1 = x0 + 1;
        x1 = std::min(x1, frame.x + frame.width);
        int64_t sum = 0;
        int64_t count = 0;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* row = luma + y * stride;
            for (int x = x0; x < x1; ++x)
                sum += row[x];
            count += x1 - x0;
        }
        if (count == 0) return -1;
        const int mean = static_cast<int>(sum / count);
        if (mean >= kDarkBelow && mean <= kLightAbove) return -1;
        value = (value << 1) | (mean > kLightAbove ? 1 : 0);
    }
    return value;
}

} // namespace kframecode
