#pragma once
// `stts`: runs of samples with the same duration (count, delta in the
// track's time-scale units).

#include "playcore/container/boxes/full_box.h"

namespace playcore {

// Sums of a time-to-sample table. count32/total32 are the 32-bit sums the
// frame-timing probe uses (they wrap as 32-bit numbers do); count/total are exact.
struct SttsSums {
    uint32_t entries = 0;
    uint32_t count32 = 0;
    uint32_t total32 = 0;
    uint64_t count = 0;
    uint64_t total = 0;
};

class SttsBox : public TableBox<2> {
public:
    bool Read(const sTAGNODE& node) { return TableBox::Read(node, "stts"); }
    uint32_t SampleCount(uint32_t i) const { return Word(i, 0); }
    uint32_t Delta(uint32_t i) const { return Word(i, 1); }
    SttsSums Sums() const {
        SttsSums s;
        s.entries = Count();
        for (uint32_t i = 0; i < Count(); ++i) {
            const uint32_t count = SampleCount(i), delta = Delta(i);
            s.count32 += count;
            s.total32 += count * delta;
            s.count += count;
            s.total += uint64_t(count) * delta;
        }
        return s;
    }
};

} // namespace playcore
