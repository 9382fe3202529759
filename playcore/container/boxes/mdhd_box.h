#pragma once
// `mdhd`: a track's media header: its time scale (units a second) and the
// media duration in those units.

#include "playcore/container/boxes/full_box.h"

namespace playcore {

class MdhdBox : public FullBox {
public:
    // Version 0 or 1, long enough for the duration (20 / 32 bytes).
    bool Read(const sTAGNODE& node) { return FullBox::Read(node, "mdhd", 20, 32); }
    FieldAt TimeScaleField() const { return Pick({12, 4}, {20, 4}); }
    FieldAt DurationField() const { return Pick({16, 4}, {24, 8}); }
    uint32_t TimeScale() const { return uint32_t(Load(TimeScaleField())); }
    uint64_t Duration() const { return Load(DurationField()); }
    // The payload as a version-1 box (64-bit times and duration) with the
    // given duration: for a media duration that outgrows 32 bits. The times
    // and the time scale are kept, the language and what follows copied.
    std::vector<uint8_t> Version1Payload(uint64_t duration) const;
};

} // namespace playcore
