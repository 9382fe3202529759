#pragma once
// Big-endian numbers as MP4 boxes hold them, and the 32-bit limit of the
// box sizes and chunk offsets the recorder's files use.

#include <cstdint>

namespace playcore {

// The largest 32-bit box size, chunk offset, count or duration.
inline constexpr uint64_t kMax32 = 0xFFFFFFFFull;

inline uint32_t LoadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint16_t LoadBE16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace playcore
