#pragma once
// The frame number drawn into a picture by mkcard's frame-number code, read
// from a captured picture (any size the code still fits); -1 unreadable. And
// how far two pictures differ.

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

// Mean absolute difference per channel (0..255) of two pictures, both
// brought to 96 x 54 first; 255 when either is missing.
inline double PictureDifference(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull()) return 255;
    const QSize size(96, 54);
    const QImage x = a.convertToFormat(QImage::Format_RGB32)
                         .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage y = b.convertToFormat(QImage::Format_RGB32)
                         .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int j = 0; j < size.height(); ++j)
        for (int i = 0; i < size.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * size.width() * size.height());
}

} // namespace ktest
