#pragma once
// `mvhd`: the movie header: time scale, duration and the next free track ID.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class MvhdBox : public FullBox {
public:
    // Version 0 or 1, long enough for the next track ID (100 / 112 bytes).
    bool Read(const sTAGNODE& node) { return FullBox::Read(node, "mvhd", 100, 112); }
    FieldAt TimeScaleField() const { return Pick({12, 4}, {20, 4}); }
    FieldAt DurationField() const { return Pick({16, 4}, {24, 8}); }
    FieldAt NextTrackIdField() const { return Pick({96, 4}, {108, 4}); }
    uint32_t TimeScale() const { return uint32_t(Load(TimeScaleField())); }
    uint64_t Duration() const { return Load(DurationField()); }
};

} // namespace playcore
