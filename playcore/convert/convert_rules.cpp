#include "playcore/convert/convert_rules.h"

#include <algorithm>
#include <cmath>

namespace playcore {

// ---- masks -------------------------------------------------------------------

double MaskEditor::ScaleFor(double displayScale, int outputWidth) {
    const int preview = static_cast<int>(displayScale * 1000.0);
    return preview > 0 ? static_cast<double>(outputWidth) / preview : 1.0;
}

int MaskEditor::Edit(int action, int x, int y) {
    std::lock_guard<std::mutex> hold(lock_);
    const int32_t px = static_cast<int32_t>(x * scale_);
    const int32_t py = static_cast<int32_t>(y * scale_);
    switch (action) {
    case kPress:
        current_ = MaskRect{px, py, px, py};
        drawing_ = true;
        break;
    case kMove:
        if (drawing_) {
            current_.right = px;
            current_.bottom = py;
        }
        break;
    case kRelease:
        if (drawing_) {
            drawing_ = false;
            current_.right = px;
            current_.bottom = py;
            const MaskRect r = OrderedRect(current_);
            if (r.right != r.left && r.bottom != r.top) masks_.push_back(r);
            current_ = MaskRect{};
        }
        break;
    case kUndo:
        if (!masks_.empty()) masks_.pop_back();
        break;
    case kDeleteAll:
        masks_.clear();
        current_ = MaskRect{};
        break;
    default:
        break;
    }
    return 1;
}

void MaskEditor::SetMasks(std::vector<MaskRect> masks) {
    std::lock_guard<std::mutex> hold(lock_);
    masks_ = std::move(masks);
}

std::vector<MaskRect> MaskEditor::Masks() const {
    std::lock_guard<std::mutex> hold(lock_);
    return masks_;
}

std::optional<MaskRect> MaskEditor::Current() const {
    std::lock_guard<std::mutex> hold(lock_);
    if (!drawing_) return std::nullopt;
    return current_;
}

bool MaskEditor::Drawing() const {
    std::lock_guard<std::mutex> hold(lock_);
    return drawing_;
}

std::vector<MaskRect> MaskEditor::FrameMasks() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<MaskRect> all = masks_;
    if (current_ != MaskRect{}) all.push_back(current_);
    return all;
}

MaskRect OrderedRect(const MaskRect& r) {
    return MaskRect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                    std::max(r.top, r.bottom)};
}

void PixelateRect(uint8_t* picture, int width, int height, int stride, const MaskRect& rect) {
    const MaskRect r = OrderedRect(rect);
    // Work in 64 bits: rectangles come from users and files and may lie far
    // outside the picture.
    const int64_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    if (right < 0 || bottom < 0 || left >= width || top >= height) return;
    // First block column and row that reach into the picture.
    const int64_t bx0 = left < 0 ? left + (-left / 9) * 9 : left;
    const int64_t by0 = top < 0 ? top + (-top / 9) * 9 : top;
    for (int64_t by = by0; by <= bottom && by < height; by += 9) {
        const int y0 = static_cast<int>(std::max<int64_t>(by, 0));
        const int y1 = static_cast<int>(std::min<int64_t>(by + 8, height - 1));
        for (int64_t bx = bx0; bx <= right && bx < width; bx += 9) {
            const int x0 = static_cast<int>(std::max<int64_t>(bx, 0));
            const int x1 = static_cast<int>(std::min<int64_t>(bx + 8, width - 1));
            const int count = (y1 - y0 + 1) * (x1 - x0 + 1);
            if (count <= 0) continue;
            uint32_t sum[3] = {0, 0, 0};
            for (int yy = y0; yy <= y1; ++yy) {
                const uint8_t* p = picture + static_cast<size_t>(yy) * stride + x0 * 4;
                for (int xx = x0; xx <= x1; ++xx, p += 4) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint8_t avg[3] = {static_cast<uint8_t>(sum[0] / count),
                                    static_cast<uint8_t>(sum[1] / count),
                                    static_cast<uint8_t>(sum[2] / count)};
            for (int yy = y0; yy <= y1; ++yy) {
                uint8_t* p = picture + static_cast<size_t>(yy) * stride + x0 * 4;
                for (int xx = x0; xx <= x1; ++xx, p += 4) {
                    p[0] = avg[0];
                    p[1] = avg[1];
                    p[2] = avg[2];
                }
            }
        }
    }
}

void DrawPreviewMask(uint8_t* picture, int width, int height, int stride, const MaskRect& rect,
                     double sx, double sy) {
    const MaskRect r = OrderedRect(rect);
    const double l = r.left * sx, t = r.top * sy, rr = r.right * sx, b = r.bottom * sy;
    const int x0 = static_cast<int>(std::clamp(std::floor(l), 0.0, double(width)));
    const int y0 = static_cast<int>(std::clamp(std::floor(t), 0.0, double(height)));
    const int x1 = static_cast<int>(std::clamp(std::ceil(rr), 0.0, double(width)));
    const int y1 = static_cast<int>(std::clamp(std::ceil(b), 0.0, double(height)));
    const int bw = std::max(1, static_cast<int>(std::lround((rr - l) * 12.0 / 400.0)));
    const int bh = std::max(1, static_cast<int>(std::lround((b - t) * 12.0 / 400.0)));
    const int left = static_cast<int>(std::floor(l)), top = static_cast<int>(std::floor(t));
    const int right = static_cast<int>(std::ceil(rr)), bottom = static_cast<int>(std::ceil(b));
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(picture + static_cast<size_t>(y) * stride);
        const bool edgeRow = y < top + bh || y >= bottom - bh;
        for (int x = x0; x < x1; ++x) {
            const bool edge = edgeRow || x < left + bw || x >= right - bw;
            row[x] = edge ? 0xFFFF0000u : 0xFF000000u;
        }
    }
}

// ---- streams -----------------------------------------------------------------

int SourceStreamNumber(int fileIndex, int fileStreamCount) {
    if (fileIndex < 0 || fileIndex >= fileStreamCount) return -1;
    return fileStreamCount - 1 - fileIndex;
}

int FoldStream(int streamNumber, bool combined) {
    if (streamNumber == 0) return 0;
    if (combined) return streamNumber == 2 ? 1 : -1;
    return streamNumber == 1 ? 1 : -1;
}

// ---- progress ----------------------------------------------------------------

int ProgressDone(int counter, int total, int progressStart) {
    if (total <= 0) return 0;
    const int64_t t = total;
    const int64_t l =
        t / 100 + static_cast<int64_t>(progressStart * static_cast<double>(t) / 100.0);
    return static_cast<int>(t / 100 + (t - l) * counter / t + l);
}

ConvertPace PaceOf(int framesDone, int totalFrames, double elapsedSeconds) {
    ConvertPace pace;
    if (framesDone <= 0 || !(elapsedSeconds > 0)) return pace;
    pace.framesPerSecond = framesDone / elapsedSeconds;
    if (totalFrames > 0)
        pace.secondsLeft = std::max(0, totalFrames - framesDone) / pace.framesPerSecond;
    return pace;
}

} // namespace playcore
