#include "playcore/convert/unwrap.h"

#include <algorithm>
#include <cmath>

namespace playcore {

void UnwrapTexcoord(double x, double y, bool flip, double* u, double* v) {
    const double h = (flip ? -x - 0.5 : x - 0.5) * -2.0;
    const double l = 0.25 - (flip ? 0.5 - y : y - 0.5) * 0.5;
    const double o = (h + l) * kPi + kPi;
    const double w = (l - h) * kPi + kPi;
    *u = 0.5 - 0.286 * (std::sin(o) - std::sin(w));
    *v = 0.5 + 0.286 * (std::cos(o) + std::cos(w));
}

void D3DRawObj1::BuildVertices() {
    vertices_.reserve(kVertexCount);
    const double step = 1.0 / kGrid;
    for (int j = 0; j < kGrid; ++j) {
        for (int i = 0; i < kGrid; ++i) {
            // Quad corners in the order of AppendQuadIndices: (x0, y0), (x0, y1), (x1, y0), (x1,
            // y1).
            for (int corner = 0; corner < 4; ++corner) {
                const double x = (i + (corner >> 1)) * step;
                const double y = (j + (corner & 1)) * step;
                double u = 0, v = 0;
                UnwrapTexcoord(x, y, flip_, &u, &v);
                const float px = static_cast<float>(kMeshWidth * x);
                const float py = static_cast<float>(kMeshHeight * y);
                vertices_.push_back(Vertex{
                    {px, py, 0}, {px, py, 0}, {static_cast<float>(u), static_cast<float>(v)}});
            }
        }
    }
}

void D3DRawObj1::BuildIndices() {
    indices_.reserve(kIndexCount);
    for (unsigned q = 0; q < static_cast<unsigned>(kGrid * kGrid); ++q)
        AppendQuadIndices(indices_, q * 4);
}

void D3DRawObj1::Resize() {
    viewport_ = Viewport{};
    viewport_.width = 2.0f * static_cast<float>(clientWidth_);
    viewport_.height = 2.0f * static_cast<float>(clientHeight_);
    aspect_ = clientHeight_ > 0 ? static_cast<float>(clientWidth_) / clientHeight_ : 1.0f;
}

Mat4 D3DRawObj1::View() const {
    return LookAtLH({0, 0, 0.1f}, {0, 0, 0}, {0, 1, 0});
}

Mat4 D3DRawObj1::Projection() const {
    return PerspectiveFovLH(static_cast<float>(84.0 * kPi / 180.0), aspect_, 0.1f, 100.0f);
}

MeshRect PixelRectToMesh(int x, int y, int width, int height, int targetWidth, int targetHeight) {
    const float w = static_cast<float>(targetWidth), h = static_cast<float>(targetHeight);
    return MeshRect{(w - x) / w * kMeshWidth, (h - y) / h * kMeshHeight, -width / w * kMeshWidth,
                    -height / h * kMeshHeight};
}

void BandRows(int height, bool flip, int* first, int* last) {
    const int band = height / 3;
    *first = flip ? height - band : 0;
    *last = flip ? height : band;
}

namespace {

// Texture point of the mesh at unit-square point (x, y), interpolated
// linearly over the triangle of its quad that holds it, from the texture
// points of the quad's corners (computed in single precision, as the mesh
// stores them).
void MeshTexcoord(double x, double y, const std::vector<float>& us, const std::vector<float>& vs,
                  double* u, double* v) {
    constexpr int n = D3DRawObj1::kGrid;
    const double gx = std::clamp(x * n, 0.0, double(n)), gy = std::clamp(y * n, 0.0, double(n));
    const int i = std::min(static_cast<int>(gx), n - 1), j = std::min(static_cast<int>(gy), n - 1);
    const double fx = gx - i, fy = gy - j;
    auto at = [&](int a, int b, const std::vector<float>& t) {
        return static_cast<double>(t[static_cast<size_t>(b) * (n + 1) + static_cast<size_t>(a)]);
    };
    // Corners c0 (i, j), c1 (i, j+1), c2 (i+1, j), c3 (i+1, j+1); the
    // diagonal c0-c3 splits the quad into (c0, c3, c1) above it (fy > fx)
    // and (c0, c2, c3) below.
    for (int k = 0; k < 2; ++k) {
        const std::vector<float>& t = k == 0 ? us : vs;
        const double c0 = at(i, j, t), c1 = at(i, j + 1, t), c2 = at(i + 1, j, t),
                     c3 = at(i + 1, j + 1, t);
        const double r =
            fy > fx ? c0 + fx * (c3 - c1) + fy * (c1 - c0) : c0 + fx * (c2 - c0) + fy * (c3 - c2);
        *(k == 0 ? u : v) = r;
    }
}

} // namespace

bool BuildRemapTable(int width, int height, int sourceWidth, int sourceHeight, bool flip,
                     RemapTable* table) {
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192 || sourceWidth <= 0 ||
        sourceHeight <= 0 || sourceWidth > 8192 || sourceHeight > 8192)
        return false;
    constexpr int n = D3DRawObj1::kGrid;
    // The texture point of every grid vertex, as the mesh's vertices hold it.
    std::vector<float> us((n + 1) * (n + 1)), vs((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            double u = 0, v = 0;
            UnwrapTexcoord(double(i) / n, double(j) / n, flip, &u, &v);
            us[static_cast<size_t>(j) * (n + 1) + i] = static_cast<float>(u);
            vs[static_cast<size_t>(j) * (n + 1) + i] = static_cast<float>(v);
        }

    table->width = width;
    table->height = height;
    table->sourceWidth = sourceWidth;
    table->sourceHeight = sourceHeight;
    table->flip = flip;
    BandRows(height, flip, &table->bandFirst, &table->bandLast);
    table->entries.assign(static_cast<size_t>(width) * height, RemapEntry{});
    for (int row = 0; row < height; ++row) {
        // Output row Y shows mesh y = (H - Y) / H (at the pixel's centre).
        const double y = (height - (row + 0.5)) / height;
        for (int col = 0; col < width; ++col) {
            const double x = (width - (col + 0.5)) / width;
            double u = 0, v = 0;
            MeshTexcoord(x, y, us, vs, &u, &v);
            // Linear filter with clamp addressing: texel centres at (k + 0.5) / size.
            const double sx = std::clamp(u * sourceWidth - 0.5, 0.0, sourceWidth - 1.0);
            const double sy = std::clamp(v * sourceHeight - 0.5, 0.0, sourceHeight - 1.0);
            const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
            RemapEntry& e = table->entries[static_cast<size_t>(row) * width + col];
            e.x = static_cast<uint16_t>(x0);
            e.y = static_cast<uint16_t>(y0);
            e.dx = x0 + 1 < sourceWidth ? 1 : 0;
            e.dy = y0 + 1 < sourceHeight ? 1 : 0;
            e.fx = static_cast<uint8_t>(std::min(255.0, std::floor((sx - x0) * 256.0 + 0.5)));
            e.fy = static_cast<uint8_t>(std::min(255.0, std::floor((sy - y0) * 256.0 + 0.5)));
        }
    }
    return true;
}

namespace {

inline uint32_t Clamp255(int value) {
    return static_cast<uint32_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

} // namespace

void RemapRows(const RemapTable& table, const YuvPlanes& source, uint8_t* out, int outStride,
               int rowBegin, int rowEnd) {
    for (int row = std::max(rowBegin, 0); row < std::min(rowEnd, table.height); ++row) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(row) * outStride);
        if (row >= table.bandFirst && row < table.bandLast) {
            std::fill(dst, dst + table.width, 0xFF000000u);
            continue;
        }
        const RemapEntry* e = &table.entries[static_cast<size_t>(row) * table.width];
        for (int col = 0; col < table.width; ++col, ++e) {
            const int x0 = e->x, x1 = e->x + e->dx, y0 = e->y, y1 = e->y + e->dy;
            const int fx = e->fx, fy = e->fy, gx = 256 - fx, gy = 256 - fy;
            // Each plane filtered to 1/256 steps (0 .. 65280).
            auto filter = [&](const uint8_t* plane, int stride, int c0, int c1, int r0, int r1) {
                const uint8_t* a = plane + static_cast<size_t>(r0) * stride;
                const uint8_t* b = plane + static_cast<size_t>(r1) * stride;
                const int top = a[c0] * gx + a[c1] * fx;
                const int bottom = b[c0] * gx + b[c1] * fx;
                return (top * gy + bottom * fy + 128) >> 8;
            };
            const int yq = filter(source.y, source.yStride, x0, x1, y0, y1);
            const int uq = filter(source.u, source.uStride, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
            const int vq = filter(source.v, source.vStride, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
            // The BT.601 video-range rule on values in 1/256 steps.
            const int c = 298 * yq;
            const int r = (c + 409 * vq - 56992 * 256) >> 16;
            const int g = (c - 100 * uq - 208 * vq + 34784 * 256) >> 16;
            const int b = (c + 516 * uq - 70688 * 256) >> 16;
            dst[col] = 0xFF000000u | Clamp255(r) << 16 | Clamp255(g) << 8 | Clamp255(b);
        }
    }
}

} // namespace playcore
