#pragma once
// The in-place edits of a table box that the box tree offers (the join and
// the movie-header-first rewrite work on the typed views in boxes/).

#include <cstddef>
#include <cstdint>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// Adds value (wrapping at 32 bits) to the first 32-bit field of every entry
// of a table box (version/flags, entry count, entries of stride × 4 bytes).
// Stride 1 serves stco and stss, stride 3 serves stsc (first chunk). A count
// of 0, one with the top bit set, one that does not fit the payload, or
// another stride leaves the table unchanged and returns false.
bool AddToEntries(sTAGNODE& node, uint32_t value, uint32_t stride);

// Adds the big-endian 32-bit value at payloadOffset of source to the value at
// the same offset of target (wrapping). False, and nothing changed, when
// either payload is too short. Used with mvhd 16, tkhd 20, elst 8, mdhd 16.
bool AddBE32At(sTAGNODE& target, const sTAGNODE& source, size_t payloadOffset);

} // namespace playcore
