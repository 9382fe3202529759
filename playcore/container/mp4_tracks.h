#pragma once
// The layout join and split edit: the movie's top-level mdat and moov, the
// boxes of each track, and the version-dependent fields of the header boxes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/boxes/full_box.h"
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

// The duration field of an mvhd, tkhd or mdhd, or the first edit's segment
// duration of an elst, as the box's view finds it (version 0: 32 bits,
// version 1: 64 bits). False for another type or a box its view refuses.
bool DurationField(const sTAGNODE& box, FieldAt* out);
// The time scale of an mvhd or mdhd.
bool TimeScaleField(const sTAGNODE& box, FieldAt* out);

} // namespace playcore
