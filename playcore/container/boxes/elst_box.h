#pragma once
// `elst`: a track's edit list; join adds up the first edit's segment duration.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class ElstBox : public FullBox {
public:
    // Version 0 or 1 with at least one edit whose segment duration fits.
    bool Read(const sTAGNODE& node);
    FieldAt FirstDurationField() const { return Pick({8, 4}, {8, 8}); }
    uint64_t FirstDuration() const { return Load(FirstDurationField()); }
};

} // namespace playcore
