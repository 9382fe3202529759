#pragma once
// `stsz`: the size of every sample of a track: one size for all (constant
// size not 0), or a table of one 32-bit size per sample (constant size 0).

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class StszBox {
public:
    // False when the payload is shorter than its 12-byte header or, with one
    // size per sample, the sample count does not fit the table.
    bool Read(const sTAGNODE& node);
    uint32_t ConstantSize() const { return constant_; }
    bool HasTable() const { return constant_ == 0; }
    // The sample count as written. Without a table nothing bounds it by the
    // payload; CheckedSampleCount bounds it by the media data.
    uint32_t SampleCount() const { return count_; }
    // Size of sample i (from 0); i < SampleCount().
    uint32_t SampleSize(uint32_t i) const {
        return table_ ? LoadBE32(table_ + size_t(i) * 4) : constant_;
    }
    // The table's bytes (SampleCount() × 4), or nullptr without a table.
    const uint8_t* Table() const { return table_; }
    // Sum of every sample's size.
    uint64_t TotalBytes() const;

private:
    const uint8_t* table_ = nullptr;
    uint32_t constant_ = 0;
    uint32_t count_ = 0;
};

// The sample count of a stsz box of movie, checked before it is reported as
// a frame count: with one size per sample the count must fit the table in
// the payload; with one size for every sample, the samples must fit the
// movie's media data. False for a count larger than that (0xFFFFFFFF from a
// damaged file) or a malformed box.
bool CheckedSampleCount(const sMP4MOVIE& movie, const sTAGNODE& stsz, uint32_t* count);

} // namespace playcore
