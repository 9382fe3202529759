#include "playcore/convert/unwrap.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

namespace {

// One output pixel: the three planes filtered with the entry's texels and
// weights, then the BT.601 video-range rule on values in 1/256 steps.
inline uint32_t RemapPixel(const RemapEntry* e, const YuvPlanes& source) {
    const int x0 = e->x, x1 = e->x + e->dx, y0 = e->y, y1 = e->y + e->dy;
    const int fx = e->fx, fy = e->fy, gx = 256 - fx, gy = 256 - fy;
    // Each plane filtered to 1/256 steps (0 .. 65280).
    auto filter = [&](const uint8_t* plane, int stride, int c0, int c1, int r0, int r1) {
        const uint8_t* a = plane + static_cast<ptrdiff_t>(r0) * stride;
        const uint8_t* b = plane + static_cast<ptrdiff_t>(r1) * stride;
        const int top = a[c0] * gx + a[c1] * fx;
        const int bottom = b[c0] * gx + b[c1] * fx;
        return (top * gy + bottom * fy + 128) >> 8;
    };
    const int yq = filter(source.y, source.yStride, x0, x1, y0, y1);
    const int uq = filter(source.u, source.uStride, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
    const int vq = filter(source.v, source.vStride, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
    const int c = 298 * yq;
    const int r = (c + 409 * vq - 56992 * 256) >> 16;
    const int g = (c - 100 * uq - 208 * vq + 34784 * 256) >> 16;
    const int b = (c + 516 * uq - 70688 * 256) >> 16;
    return 0xFF000000u | Clamp255(r) << 16 | Clamp255(g) << 8 | Clamp255(b);
}

void RemapSpan(const RemapEntry* e, const YuvPlanes& source, uint32_t* dst, int count) {
    for (int i = 0; i < count; ++i)
        dst[i] = RemapPixel(e + i, source);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KINETTA_REMAP_AVX2 1

__attribute__((target("avx2"))) inline __m256i Clamp255Avx2(__m256i v, __m256i zero,
                                                            __m256i max255) {
    return _mm256_min_epi32(_mm256_max_epi32(v, zero), max255);
}

// One plane of eight pixels: rows r0 and r1, columns c0 and c1 (c1 - c0 in
// 0..1), horizontal weights hw (256 - fx, fx as 16-bit halves), vertical
// gy and fy; the filtered values in 1/256 steps.
__attribute__((target("avx2"))) inline __m256i
FilterPlaneAvx2(const uint8_t* base, __m256i stride, __m256i last, __m256i laneBase, __m256i hw,
                __m256i gy, __m256i fy, __m256i c0, __m256i c1, __m256i r0, __m256i r1) {
    const __m256i at = _mm256_min_epi32(c0, last);
    const __m256i select = _mm256_add_epi32(
        laneBase, _mm256_add_epi32(_mm256_sub_epi32(c0, at),
                                   _mm256_slli_epi32(_mm256_sub_epi32(c1, at), 16)));
    const __m256i top =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(base),
                               _mm256_add_epi32(_mm256_mullo_epi32(r0, stride), at), 1);
    const __m256i bottom =
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(base),
                               _mm256_add_epi32(_mm256_mullo_epi32(r1, stride), at), 1);
    const __m256i t = _mm256_madd_epi16(_mm256_shuffle_epi8(top, select), hw);
    const __m256i u = _mm256_madd_epi16(_mm256_shuffle_epi8(bottom, select), hw);
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(t, gy), _mm256_mullo_epi32(u, fy)),
                         _mm256_set1_epi32(128));
    return _mm256_srli_epi32(sum, 8);
}

// RemapSpan eight pixels at a time with AVX2, the same integer steps lane
// by lane. Each texel pair of a row is read as one 32-bit word at
// min(column, width - 4), so no read leaves the plane's row (widths of 7
// texels and more; chroma width = (width + 1) / 2 of 4 and more); the
// pair's bytes are picked out of the word by position.
__attribute__((target("avx2"))) void RemapSpanAvx2(const RemapEntry* e, const YuvPlanes& source,
                                                   int sourceWidth, uint32_t* dst, int count) {
    static_assert(sizeof(RemapEntry) == 8, "two 32-bit words per entry");
    const int chromaWidth = (sourceWidth + 1) / 2;
    const __m256i lumaLast = _mm256_set1_epi32(sourceWidth - 4);
    const __m256i chromaLast = _mm256_set1_epi32(chromaWidth - 4);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF), low8 = _mm256_set1_epi32(0xFF);
    const __m256i w256 = _mm256_set1_epi32(256);
    // Byte k of the word of lane k mod 4, and "zero" bytes 1 and 3: the
    // pshufb selector of (byte o, byte o1) as two 16-bit values.
    const __m256i laneBase = _mm256_setr_epi32(
        static_cast<int>(0x80008000u), static_cast<int>(0x80048004u), static_cast<int>(0x80088008u),
        static_cast<int>(0x800C800Cu), static_cast<int>(0x80008000u), static_cast<int>(0x80048004u),
        static_cast<int>(0x80088008u), static_cast<int>(0x800C800Cu));
    const __m256i evenOdd = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i yStride = _mm256_set1_epi32(source.yStride);
    const __m256i uStride = _mm256_set1_epi32(source.uStride);
    const __m256i vStride = _mm256_set1_epi32(source.vStride);
    const __m256i zero = _mm256_setzero_si256(), max255 = _mm256_set1_epi32(255);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));

    int i = 0;
    for (; i + 8 <= count; i += 8) {
        // Entries 0..3 and 4..7: (x | y << 16) words and (dx, dy, fx, fy) words.
        const __m256i a = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e + i)), evenOdd);
        const __m256i b = _mm256_permutevar8x32_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e + i + 4)), evenOdd);
        const __m256i xy = _mm256_permute2x128_si256(a, b, 0x20);
        const __m256i wd = _mm256_permute2x128_si256(a, b, 0x31);
        const __m256i x0 = _mm256_and_si256(xy, low16);
        const __m256i y0 = _mm256_srli_epi32(xy, 16);
        const __m256i dx = _mm256_and_si256(wd, low8);
        const __m256i dy = _mm256_and_si256(_mm256_srli_epi32(wd, 8), low8);
        const __m256i fx = _mm256_and_si256(_mm256_srli_epi32(wd, 16), low8);
        const __m256i fy = _mm256_srli_epi32(wd, 24);
        const __m256i gy = _mm256_sub_epi32(w256, fy);
        // (256 - fx, fx) as two 16-bit weights for madd.
        const __m256i hw = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(fx, 16), fx), w256);
        const __m256i x1 = _mm256_add_epi32(x0, dx);
        const __m256i y1 = _mm256_add_epi32(y0, dy);

        const __m256i yq =
            FilterPlaneAvx2(source.y, yStride, lumaLast, laneBase, hw, gy, fy, x0, x1, y0, y1);
        const __m256i cx0 = _mm256_srli_epi32(x0, 1), cx1 = _mm256_srli_epi32(x1, 1);
        const __m256i cy0 = _mm256_srli_epi32(y0, 1), cy1 = _mm256_srli_epi32(y1, 1);
        const __m256i uq = FilterPlaneAvx2(source.u, uStride, chromaLast, laneBase, hw, gy, fy, cx0,
                                           cx1, cy0, cy1);
        const __m256i vq = FilterPlaneAvx2(source.v, vStride, chromaLast, laneBase, hw, gy, fy, cx0,
                                           cx1, cy0, cy1);

        const __m256i c = _mm256_mullo_epi32(yq, _mm256_set1_epi32(298));
        const __m256i r = _mm256_srai_epi32(
            _mm256_add_epi32(c, _mm256_sub_epi32(_mm256_mullo_epi32(vq, _mm256_set1_epi32(409)),
                                                 _mm256_set1_epi32(56992 * 256))),
            16);
        const __m256i g = _mm256_srai_epi32(
            _mm256_add_epi32(
                _mm256_sub_epi32(c,
                                 _mm256_add_epi32(_mm256_mullo_epi32(uq, _mm256_set1_epi32(100)),
                                                  _mm256_mullo_epi32(vq, _mm256_set1_epi32(208)))),
                _mm256_set1_epi32(34784 * 256)),
            16);
        const __m256i bl = _mm256_srai_epi32(
            _mm256_add_epi32(c, _mm256_sub_epi32(_mm256_mullo_epi32(uq, _mm256_set1_epi32(516)),
                                                 _mm256_set1_epi32(70688 * 256))),
            16);
        const __m256i px = _mm256_or_si256(
            _mm256_or_si256(alpha, _mm256_slli_epi32(Clamp255Avx2(r, zero, max255), 16)),
            _mm256_or_si256(_mm256_slli_epi32(Clamp255Avx2(g, zero, max255), 8),
                            Clamp255Avx2(bl, zero, max255)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), px);
    }
    RemapSpan(e + i, source, dst + i, count - i);
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

} // namespace

void RemapRows(const RemapTable& table, const YuvPlanes& source, uint8_t* out, int outStride,
               int rowBegin, int rowEnd) {
#ifdef KINETTA_REMAP_AVX2
    // The word reads need 7 texels across and positive strides.
    const bool wide = HaveAvx2() && table.sourceWidth >= 7 && source.yStride > 0 &&
                      source.uStride > 0 && source.vStride > 0;
#endif
    for (int row = std::max(rowBegin, 0); row < std::min(rowEnd, table.height); ++row) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(row) * outStride);
        if (row >= table.bandFirst && row < table.bandLast) {
            std::fill(dst, dst + table.width, 0xFF000000u);
            continue;
        }
        const RemapEntry* e = &table.entries[static_cast<size_t>(row) * table.width];
#ifdef KINETTA_REMAP_AVX2
        if (wide) {
            RemapSpanAvx2(e, source, table.sourceWidth, dst, table.width);
            continue;
        }
#endif
        RemapSpan(e, source, dst, table.width);
    }
}

} // namespace playcore
