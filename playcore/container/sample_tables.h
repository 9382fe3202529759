#pragma once
// The sample-table boxes of a track (stts, stss, stsc, stsz, stco): reading
// them from a node's copied payload and the in-place edits of join and
// re-encoding. Every entry count is checked against the payload before use.

#include <cstdint>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// A table box: version/flags (4 bytes), entry count (4 bytes, big-endian),
// then count entries of stride × 4 bytes.
struct TableView {
    uint32_t count = 0;
    const uint8_t* entries = nullptr; // count × stride × 4 bytes inside the node's data
};

// False when the node holds no copy or the entry count does not fit the payload.
bool ReadTable(const sTAGNODE& node, uint32_t strideWords, TableView* out);

// Adds value (wrapping at 32 bits) to the first 32-bit field of every entry.
// Stride 1 serves stco and stss, stride 3 serves stsc (first chunk). A count
// of 0, one with the top bit set, or one that does not fit the payload leaves
// the table unchanged and returns false.
bool AddToEntries(sTAGNODE& node, uint32_t value, uint32_t stride);

// Adds the big-endian 32-bit value at payloadOffset of source to the value at
// the same offset of target (wrapping). False, and nothing changed, when
// either payload is too short. Used with mvhd 16, tkhd 20, elst 8, mdhd 16.
bool AddBE32At(sTAGNODE& target, const sTAGNODE& source, size_t payloadOffset);

// Sums of a time-to-sample table. count32/total32 are the 32-bit sums the
// frame-timing probe uses (they wrap as 32-bit numbers do); count/total are exact.
struct SttsSums {
    uint32_t entries = 0;
    uint32_t count32 = 0;
    uint32_t total32 = 0;
    uint64_t count = 0;
    uint64_t total = 0;
};
bool SumStts(const sTAGNODE& stts, SttsSums* out);

// The sample count field of a stsz box (payload bytes 8..11), as written.
bool StszSampleCount(const sTAGNODE& stsz, uint32_t* count);

// The sample count of a stsz box of movie, checked before it is reported as
// a frame count: with one size per sample the count must fit the table in
// the payload; with one size for every sample, the samples must fit the
// movie's media data. False for a count larger than that (0xFFFFFFFF from a
// damaged file) or a malformed box.
bool CheckedSampleCount(const sMP4MOVIE& movie, const sTAGNODE& stsz, uint32_t* count);

} // namespace playcore
