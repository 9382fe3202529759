#pragma once
// The frame-number code of mkcard's sample movies: a strip of 16 black and
// white blocks across the top twelfth of every picture, most significant bit
// left, white = 1. Tests of playback, seeking, capture and conversion read the
// frame a picture shows with ReadFrameCode. Pure code, no media libraries.

#include <cstddef>
#include <cstdint>

namespace kframecode {

inline constexpr int kBits = 16;
inline constexpr int kMaxNumber = (1 << kBits) - 1;
// Luma of the two shades, in the video range the movies are encoded with.
inline constexpr uint8_t kBlack = 16;
inline constexpr uint8_t kWhite = 235;

// Rows of the strip in a picture of the given height: the top twelfth, at least 1.
int StripRows(int height);

// Draws the code of number (taken modulo 65536) into a luma plane.
void DrawFrameCode(uint8_t* luma, int width, int height, std::ptrdiff_t stride, int number);

// Where the movie picture lies inside a larger captured picture (a window grab
// with borders); the whole picture by default.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The frame number shown by a picture given as its luma plane, or -1 when the
// strip cannot be read with confidence (a block neither clearly dark nor
// clearly light, or a picture too small to hold 16 blocks). Each block is read
// as the mean of its central area, so scaling, chroma subsampling and JPEG
// noise do not change the result; limited-range (16..235) and full-range
// (0..255) luma both read.
int ReadFrameCode(const uint8_t* luma, int width, int height, std::ptrdiff_t stride);
int ReadFrameCode(const uint8_t* luma, int width, int height, std::ptrdiff_t stride, Rect frame);

} // namespace kframecode
