#pragma once
// `tkhd`: a track's header. Version 0 has 32-bit times and duration, version
// 1 64-bit ones.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class TkhdBox : public FullBox {
public:
    // Version 0 or 1, long enough for the width and height (84 / 96 bytes).
    bool Read(const sTAGNODE& node) { return FullBox::Read(node, "tkhd", 84, 96); }
    FieldAt TrackIdField() const { return Pick({12, 4}, {20, 4}); }
    FieldAt DurationField() const { return Pick({20, 4}, {28, 8}); }
    uint32_t TrackId() const { return uint32_t(Load(TrackIdField())); }
    uint64_t Duration() const { return Load(DurationField()); }
    // Integer part of the width (16.16 fixed point).
    uint32_t Width() const { return uint32_t(Load(Pick({76, 4}, {88, 4})) >> 16); }
};

} // namespace playcore
