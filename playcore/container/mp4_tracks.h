#pragma once
// The layout join and split edit: the movie's top-level mdat and moov, the
// boxes of each track, and the version-dependent fields of the header boxes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// The boxes of one track (one trak child of the moov). Pointers into the
// movie's tree; nullptr for a box the track lacks (stss: every sample is a
// sync sample; elst: no edit list).
struct TrackBoxes {
    sTAGNODE* trak = nullptr;
    sTAGNODE* tkhd = nullptr;
    sTAGNODE* elst = nullptr;
    sTAGNODE* mdhd = nullptr;
    sTAGNODE* stts = nullptr;
    sTAGNODE* stss = nullptr;
    sTAGNODE* stsc = nullptr;
    sTAGNODE* stsz = nullptr;
    sTAGNODE* stco = nullptr;
};

struct MovieLayout {
    sTAGNODE* mdat = nullptr; // the one top-level mdat
    sTAGNODE* moov = nullptr; // the one top-level moov
    sTAGNODE* mvhd = nullptr;
    size_t mdatIndex = 0; // positions among the root's children
    size_t moovIndex = 0;
    std::vector<TrackBoxes> tracks; // in file order
};

// Finds the layout of an opened movie. False, with the reason in *why, when
// the movie has no or several top-level mdat or moov boxes, no mvhd, a track
// without tkhd, mdhd or one of its stts/stsc/stsz/stco tables, or 64-bit
// chunk offsets (co64), which the recorder never writes.
bool ReadMovieLayout(sMP4MOVIE& movie, MovieLayout* out, std::string* why = nullptr);

// Where a number lies in a box's payload.
struct FieldAt {
    size_t offset = 0;
    size_t bytes = 0; // 4 or 8
};

// The duration field of mvhd, tkhd, mdhd (version 0: 32-bit at 16, 20, 16;
// version 1: 64-bit at 24, 28, 24) or of the first edit of an elst (8; 32 or
// 64 bits). False for another type or version, a payload too short to hold
// it, or an elst without entries.
bool DurationField(const sTAGNODE& box, FieldAt* out);
// The time scale of an mvhd or mdhd (12 in version 0, 20 in version 1).
bool TimeScaleField(const sTAGNODE& box, FieldAt* out);
// The track ID of a tkhd (12 in version 0, 20 in version 1) and the
// next-track ID of an mvhd (96 in version 0, 108 in version 1).
bool TrackIdField(const sTAGNODE& tkhd, FieldAt* out);
bool NextTrackIdField(const sTAGNODE& mvhd, FieldAt* out);

// Big-endian unsigned numbers of 4 or 8 bytes in a payload copy.
uint64_t LoadField(const std::vector<uint8_t>& payload, FieldAt at);
void StoreField(std::vector<uint8_t>& payload, FieldAt at, uint64_t value);

} // namespace playcore
