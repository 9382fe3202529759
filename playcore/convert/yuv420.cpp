#include "playcore/convert/yuv420.h"

#include <algorithm>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KINETTA_YUV420_AVX2 1
#endif

namespace playcore {

namespace {

// BT.601 in video range, 15-bit fixed point (the scaler's constants).
constexpr int kShift = 15;
constexpr int Coef(double c, double range) {
    const double v = c * range / 255 * (1 << kShift);
    return v < 0 ? -static_cast<int>(-v + 0.5) : static_cast<int>(v + 0.5);
}
constexpr int kRY = Coef(0.299, 219), kGY = Coef(0.587, 219), kBY = Coef(0.114, 219);
constexpr int kRU = Coef(-0.169, 224), kGU = Coef(-0.331, 224), kBU = Coef(0.500, 224);
constexpr int kRV = Coef(0.500, 224), kGV = Coef(-0.419, 224), kBV = Coef(-0.081, 224);
// Offsets with the rounding of the 14-bit intermediates: 16 and 128 in
// luma and chroma.
constexpr int kLumaRound = (16 << kShift) + (1 << (kShift - 7));
constexpr int kChromaRound = (128 << (kShift + 1)) + (1 << (kShift - 6));

// Vertical chroma weights of source rows 2j - 1 .. 2j + 2 (sum 4096).
constexpr int kOuter = 512, kInner = 1536;

inline uint8_t Clip(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

inline int Luma(uint32_t p) {
    const int b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF;
    return (((kRY * r + kGY * g + kBY * b + kLumaRound) >> (kShift - 6)) + 32) >> 6;
}

void LumaRow(const uint32_t* src, uint8_t* dst, int from, int width) {
    for (int x = from; x < width; ++x)
        dst[x] = Clip(Luma(src[x]));
}

// Chroma of pixel pairs from..width / 2 of one source row, as 15-bit values.
void ChromaRow(const uint32_t* src, int16_t* u, int16_t* v, int from, int half) {
    for (int i = from; i < half; ++i) {
        const uint32_t p0 = src[2 * i], p1 = src[2 * i + 1];
        const int b = (p0 & 0xFF) + (p1 & 0xFF), g = ((p0 >> 8) & 0xFF) + ((p1 >> 8) & 0xFF),
                  r = ((p0 >> 16) & 0xFF) + ((p1 >> 16) & 0xFF);
        u[i] = static_cast<int16_t>(((kRU * r + kGU * g + kBU * b + kChromaRound) >> (kShift - 5))
                                    << 1);
        v[i] = static_cast<int16_t>(((kRV * r + kGV * g + kBV * b + kChromaRound) >> (kShift - 5))
                                    << 1);
    }
}

// The scaler's multiply-high filter: 16-bit products' high halves summed.
inline int MulHigh(int a, int w) {
    return (a * w) >> 16;
}

void FilterRow(const int16_t* const rows[4], const int w[4], bool exact, uint8_t* dst, int from,
               int half) {
    for (int i = from; i < half; ++i) {
        if (exact) {
            int sum = 64 << 12;
            for (int k = 0; k < 4; ++k)
                sum += rows[k][i] * w[k];
            dst[i] = Clip(sum >> 19);
        } else {
            int sum = 5;
            for (int k = 0; k < 4; ++k)
                sum += MulHigh(rows[k][i], w[k]);
            dst[i] = Clip(sum >> 3);
        }
    }
}

#ifdef KINETTA_YUV420_AVX2

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Bytes of four 8-lane 32-bit vectors in lane order (saturated to 0..255).
__attribute__((target("avx2"))) inline __m256i PackBytes(__m256i a, __m256i b, __m256i c,
                                                         __m256i d) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Luma of 32 pixels from x; returns the next pixel.
__attribute__((target("avx2"))) int LumaRowAvx2(const uint32_t* src, uint8_t* dst, int width) {
    const __m256i low = _mm256_set1_epi32(0x00FF00FF);
    const __m256i brCoef = _mm256_set1_epi32((kRY << 16) | (kBY & 0xFFFF));
    const __m256i gCoef = _mm256_set1_epi32(kGY & 0xFFFF);
    const __m256i round = _mm256_set1_epi32(kLumaRound), half = _mm256_set1_epi32(32);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        __m256i y[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x + 8 * k));
            const __m256i br = _mm256_and_si256(p, low);                       // b | r << 16
            const __m256i ga = _mm256_and_si256(_mm256_srli_epi32(p, 8), low); // g | a << 16
            __m256i s =
                _mm256_add_epi32(_mm256_madd_epi16(br, brCoef), _mm256_madd_epi16(ga, gCoef));
            s = _mm256_srai_epi32(_mm256_add_epi32(s, round), kShift - 6);
            y[k] = _mm256_srai_epi32(_mm256_add_epi32(s, half), 6);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), PackBytes(y[0], y[1], y[2], y[3]));
    }
    return x;
}

// Chroma of 16 pixel pairs from 32 pixels: eight sums per vector in the
// order of _mm256_hadd_epi32 (pairs 0 1 4 5 | 2 3 6 7).
__attribute__((target("avx2"))) inline void ChromaSums(const uint32_t* src, __m256i* br,
                                                       __m256i* g) {
    const __m256i low = _mm256_set1_epi32(0x00FF00FF), byte = _mm256_set1_epi32(0xFF);
    const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i p1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 8));
    // Two sums of at most 510 stay inside their 16-bit halves.
    *br = _mm256_hadd_epi32(_mm256_and_si256(p0, low), _mm256_and_si256(p1, low));
    *g = _mm256_hadd_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, 8), byte),
                           _mm256_and_si256(_mm256_srli_epi32(p1, 8), byte));
}

__attribute__((target("avx2"))) inline __m256i ChromaOf(__m256i br, __m256i g, __m256i brCoef,
                                                        __m256i gCoef, __m256i round) {
    const __m256i s = _mm256_add_epi32(_mm256_madd_epi16(br, brCoef), _mm256_madd_epi16(g, gCoef));
    return _mm256_slli_epi32(_mm256_srai_epi32(_mm256_add_epi32(s, round), kShift - 5), 1);
}

// Chroma of 16 pairs at a time; returns the next pair.
__attribute__((target("avx2"))) int ChromaRowAvx2(const uint32_t* src, int16_t* u, int16_t* v,
                                                  int half) {
    const __m256i uBr = _mm256_set1_epi32((kRU << 16) | (kBU & 0xFFFF));
    const __m256i uG = _mm256_set1_epi32(kGU & 0xFFFF);
    const __m256i vBr = _mm256_set1_epi32((kRV << 16) | (kBV & 0xFFFF));
    const __m256i vG = _mm256_set1_epi32(kGV & 0xFFFF);
    const __m256i round = _mm256_set1_epi32(kChromaRound);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int i = 0;
    for (; i + 16 <= half; i += 16) {
        __m256i br0, g0, br1, g1;
        ChromaSums(src + 2 * i, &br0, &g0);
        ChromaSums(src + 2 * i + 16, &br1, &g1);
        const __m256i u16 = _mm256_packs_epi32(ChromaOf(br0, g0, uBr, uG, round),
                                               ChromaOf(br1, g1, uBr, uG, round));
        const __m256i v16 = _mm256_packs_epi32(ChromaOf(br0, g0, vBr, vG, round),
                                               ChromaOf(br1, g1, vBr, vG, round));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + i),
                            _mm256_permutevar8x32_epi32(u16, order));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i),
                            _mm256_permutevar8x32_epi32(v16, order));
    }
    return i;
}

// The multiply-high filter over 32 chroma values at a time; returns the next.
__attribute__((target("avx2"))) int FilterRowAvx2(const int16_t* const rows[4], const int w[4],
                                                  uint8_t* dst, int half) {
    const __m256i five = _mm256_set1_epi16(5);
    __m256i weight[4];
    for (int k = 0; k < 4; ++k)
        weight[k] = _mm256_set1_epi16(static_cast<int16_t>(w[k]));
    int i = 0;
    for (; i + 32 <= half; i += 32) {
        __m256i sum[2] = {five, five};
        for (int h = 0; h < 2; ++h)
            for (int k = 0; k < 4; ++k)
                sum[h] = _mm256_add_epi16(
                    sum[h], _mm256_mulhi_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                   rows[k] + i + 16 * h)),
                                               weight[k]));
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_srai_epi16(sum[0], 3), _mm256_srai_epi16(sum[1], 3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_permute4x64_epi64(bytes, 0xD8));
    }
    return i;
}

#endif

} // namespace

void BgraToYuv420Rows(const uint8_t* bgra, int stride, int width, int height, int row, int rows,
                      const Yuv420Planes& out, bool simd) {
    const int end = std::min(row + rows, height), half = width / 2;
    if (width < 2 || row < 0 || row >= end) return;
#ifdef KINETTA_YUV420_AVX2
    simd = simd && HaveAvx2();
#else
    simd = false;
#endif
    auto source = [&](int y) {
        return reinterpret_cast<const uint32_t*>(bgra + static_cast<ptrdiff_t>(y) * stride);
    };

    for (int y = row; y < end; ++y) {
        uint8_t* dst = out.y + static_cast<ptrdiff_t>(y) * out.yStride;
        int x = 0;
#ifdef KINETTA_YUV420_AVX2
        if (simd) x = LumaRowAvx2(source(y), dst, width);
#endif
        LumaRow(source(y), dst, x, width);
    }

    // The chroma of four consecutive source rows, row r in slot r % 4: the
    // rows of chroma row j + 1 are those of j moved down by two.
    thread_local std::vector<int16_t> ring;
    ring.resize(static_cast<size_t>(8) * half);
    auto slot = [&](int r, int plane) {
        return ring.data() + static_cast<size_t>((r & 3) * 2 + plane) * half;
    };
    int next = std::max(row - 1, 0); // next source row to take into the ring
    const int lastChroma = height / 2 - 1;
    for (int j = row / 2; j < (end + 1) / 2; ++j) {
        for (; next <= std::min(2 * j + 2, height - 1); ++next) {
            int i = 0;
#ifdef KINETTA_YUV420_AVX2
            if (simd) i = ChromaRowAvx2(source(next), slot(next, 0), slot(next, 1), half);
#endif
            ChromaRow(source(next), slot(next, 0), slot(next, 1), i, half);
        }
        // Rows outside the picture give their weight to the nearest inside.
        int taps[4] = {2 * j - 1, 2 * j, 2 * j + 1, 2 * j + 2};
        int w[4] = {kOuter, kInner, kInner, kOuter};
        if (taps[0] < 0) taps[0] = 0, w[1] += w[0], w[0] = 0;
        if (taps[3] >= height) taps[3] = height - 1, w[2] += w[3], w[3] = 0;
        const bool exact = j == lastChroma;
        for (int plane = 0; plane < 2; ++plane) {
            const int16_t* src[4];
            for (int k = 0; k < 4; ++k)
                src[k] = slot(taps[k], plane);
            uint8_t* dst = plane ? out.v + static_cast<ptrdiff_t>(j) * out.vStride
                                 : out.u + static_cast<ptrdiff_t>(j) * out.uStride;
            int i = 0;
#ifdef KINETTA_YUV420_AVX2
            if (simd && !exact) i = FilterRowAvx2(src, w, dst, half);
#endif
            FilterRow(src, w, exact, dst, i, half);
        }
    }
}

} // namespace playcore
