#pragma once
// Byte layout of the recorder's GPS and acceleration block, per family.
//
//   0            6 bytes  "CSODAT"
//   6            header   (26 bytes TX40 family, 35 bytes TX50 family)
//   h - 2        2 bytes  record count n, big-endian unsigned 16-bit
//   h            n × r    records (r = 79 TX40 family, 91 TX50 family)
//   h + n × r    6 bytes  "CSOEND"
//
// with h = 34 (TX40 family) or 43 (TX50 family).

#include <cstdint>
#include <string_view>

#include "playcore/container/recorder_family.h"

namespace playcore {


inline constexpr std::string_view kBlockStartMarker = "CSODAT";
inline constexpr std::string_view kBlockEndMarker = "CSOEND";
inline constexpr uint32_t kBlockEndBytes = 6;

struct GpsLayout {
    uint32_t headerBytes; // h: start marker, header and count
    uint32_t recordBytes; // r
    uint32_t maxRecords;  // the largest block the recorder writes
    // Bytes of a block of n records: n × r + h + 6.
    constexpr uint64_t BlockBytes(uint64_t n) const { return n * recordBytes + headerBytes + 6; }
    // Size field of a "gps0" box holding n records: the block plus the 8-byte box header.
    constexpr uint64_t BoxBytes(uint64_t n) const { return BlockBytes(n) + 8; }
};

inline constexpr GpsLayout kTx40Layout{34, 79, 3020}; // largest block 238620 bytes
inline constexpr GpsLayout kTx50Layout{43, 91, 1000}; // largest block 91049 bytes

constexpr const GpsLayout& LayoutOf(RecorderFamily family) {
    return family == RecorderFamily::TX50 ? kTx50Layout : kTx40Layout;
}

static_assert(kTx40Layout.BlockBytes(3020) == 238620);
static_assert(kTx50Layout.BlockBytes(1000) == 91049);
static_assert(kTx40Layout.BoxBytes(0) == 48 && kTx50Layout.BoxBytes(0) == 57);

} // namespace playcore
