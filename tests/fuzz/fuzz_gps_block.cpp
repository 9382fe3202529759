// Fuzz target: the GPS and acceleration block decoder of both recorder
// families and the time base built on its records.
//
// Input: two bytes of frame count (big-endian, up to 65535 frames), then the
// block bytes from the start marker on.

#include <cstdint>
#include <cstring>

#include "playcore/container/gps_block.h"
#include "playcore/container/gps_reader.h"

using namespace playcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int64_t frames = (int64_t(data[0]) << 8) | data[1];
    const uint8_t* block = data + 2;
    const size_t blockSize = size - 2;

    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        sGPSREADER reader;
        reader.family = family;
        int counter = 0;
        if (!DecodeRecords(family, block, blockSize, &reader.gps, &reader.accel, &reader.info,
                           &counter))
            continue;
        if (reader.gps.size() != reader.accel.size() || size_t(counter) != reader.gps.size())
            __builtin_trap();
        if (!BuildTimeBase(reader, frames)) __builtin_trap();
        // Every frame names a record of the list (or none when there are none).
        if (reader.frameTable.size() != size_t(frames)) __builtin_trap();
        for (const AccelRecord* a : reader.frameTable) {
            if (reader.accel.empty()
                    ? a != nullptr
                    : (a < reader.accel.data() || a >= reader.accel.data() + reader.accel.size()))
                __builtin_trap();
        }
        for (const AccelRecord& a : reader.accel)
            if (a.gps &&
                (a.gps < reader.gps.data() || a.gps >= reader.gps.data() + reader.gps.size()))
                __builtin_trap();
        // A second time base over the same lists must not change the values.
        const double maxAccel = reader.maxAccel;
        BuildTimeBase(reader, frames);
        if (reader.maxAccel != maxAccel) __builtin_trap();
    }
    return 0;
}
