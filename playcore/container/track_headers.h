#pragma once
// Fields of the movie and track header boxes (mvhd, tkhd), version 0.

#include <cstdint>

#include "playcore/container/mp4_tree.h"

namespace playcore {

// mvhd payload bytes 16..19: the movie duration in movie time-scale units.
bool MvhdDuration(const sTAGNODE& mvhd, uint32_t* duration);

// Integer part of a tkhd's width (16.16 fixed point at payload bytes 76..79);
// -1 when the payload is too short.
int TkhdWidth(const sTAGNODE& tkhd);

} // namespace playcore
