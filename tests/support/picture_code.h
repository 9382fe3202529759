#pragma once
// The frame number drawn into a picture by mkcard's frame-number code, read
// from a captured picture (any size the code still fits); -1 unreadable.

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/mkcard/framecode.h"

namespace ktest {

// square: read only the square of the picture's shorter side in its middle
// (a movie area showing the frame as recorded).
inline int PictureCode(const QImage& picture, bool square = false) {
    if (picture.isNull()) return -1;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<uint8_t> luma(static_cast<size_t>(rgb.width()) * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            luma[static_cast<size_t>(y) * rgb.width() + x] = static_cast<uint8_t>(qGray(row[x]));
    }
    if (!square)
        return kframecode::ReadFrameCode(luma.data(), rgb.width(), rgb.height(), rgb.width());
    const int side = std::min(rgb.width(), rgb.height());
    const kframecode::Rect middle{(rgb.width() - side) / 2, (rgb.height() - side) / 2, side, side};
    return kframecode::ReadFrameCode(luma.data(), rgb.width(), rgb.height(), rgb.width(), middle);
}

} // namespace ktest
