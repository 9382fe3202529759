#pragma once
// 32-bit BGRA to planar 4:2:0 (video range, BT.601) for the encoder, in row
// chunks that the band threads convert independently.
//
// The arithmetic is FFmpeg's scaler for this conversion at equal sizes
// (SWS_BILINEAR), value for value, so that the pictures handed to the
// encoder stay what they were when the scaler converted them:
//  - luma per pixel: y14 = (RY r + GY g + BY b + 16 << 15 + 256) >> 9,
//    Y = (y14 + 32) >> 6;
//  - chroma per source row from each horizontal pixel pair (sums of two):
//    c15 = ((CR r2 + CG g2 + CB b2 + 128 << 16 + 512) >> 10) << 1;
//  - chroma rows from source rows 2j - 1 .. 2j + 2 with weights 512, 1536,
//    1536, 512 (of 4096; a row outside the picture adds its weight to the
//    nearest inside): C = (5 + sum((c15 x w) >> 16)) >> 3, the scaler's
//    16-bit multiply-high filter, except for the last chroma row, which the
//    scaler filters exactly: C = (sum(c15 x w) + 64 << 12) >> 19.
// Results are clipped to 0..255.
//
// Pure code; thread-safe (each call touches only its own output rows).

#include <cstdint>

namespace playcore {

struct Yuv420Planes {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int yStride, uStride, vStride; // bytes
};

// Converts rows [row, row + rows) of a width x height BGRA picture (stride
// in bytes) into the same rows of out (chroma rows row / 2 .. (row + rows) / 2).
// width even, height even and at least 8 (the scaler filters smaller
// pictures otherwise), row even, rows even or reaching the last row.
// Reads source rows row - 1 .. row + rows (clamped to the picture).
// simd: use AVX2 where the processor has it (false: the plain loops, which
// give the same bytes).
void BgraToYuv420Rows(const uint8_t* bgra, int stride, int width, int height, int row, int rows,
                      const Yuv420Planes& out, bool simd = true);

} // namespace playcore
