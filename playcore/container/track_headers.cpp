#include "playcore/container/track_headers.h"

namespace playcore {

bool MvhdDuration(const sTAGNODE& mvhd, uint32_t* duration) {
    return PayloadBE32(mvhd, 16, duration);
}

int TkhdWidth(const sTAGNODE& tkhd) {
    uint16_t width = 0;
    return PayloadBE16(tkhd, 76, &width) ? int(width) : -1;
}

} // namespace playcore
