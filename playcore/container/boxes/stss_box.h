#pragma once
// `stss`: the numbers (from 1) of a track's sync samples. A track without
// the box has only sync samples.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class StssBox : public TableBox<1> {
public:
    bool Read(const sTAGNODE& node) { return TableBox::Read(node, "stss"); }
    uint32_t SyncSample(uint32_t i) const { return Word(i, 0); }
};

} // namespace playcore
