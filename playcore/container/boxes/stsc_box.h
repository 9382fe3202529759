#pragma once
// `stsc`: runs of chunks with the same number of samples. Entry i applies
// from its first chunk (numbered from 1) up to the next entry's first chunk.
// The recorder writes one entry per chunk.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class StscBox : public TableBox<3> {
public:
    bool Read(const sTAGNODE& node) { return TableBox::Read(node, "stsc"); }
    uint32_t FirstChunk(uint32_t i) const { return Word(i, 0); }
    uint32_t SamplesPerChunk(uint32_t i) const { return Word(i, 1); }
    uint32_t DescriptionIndex(uint32_t i) const { return Word(i, 2); }
};

} // namespace playcore
