#pragma once
// `stco`: the file offset of every chunk of a track (32-bit).

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class StcoBox : public TableBox<1> {
public:
    bool Read(const sTAGNODE& node) { return TableBox::Read(node, "stco"); }
    uint32_t ChunkOffset(uint32_t i) const { return Word(i, 0); }
};

} // namespace playcore
