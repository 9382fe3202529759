// Fuzz target: the GPS loaders reached by path, for both families: the
// records and the time base of one recording (LoadRecords, BuildTimeBase),
// the block header alone (ReadBlockInfo), the tracks of several recordings
// (ReadAllTracks) and the start time of an opened movie.
//
// Input: two bytes of frame count (big-endian), then the file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"
#include "tests/fuzz/fuzz_input_file.h"

using namespace playcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int64_t frames = (int64_t(data[0]) << 8) | data[1];
    const std::string path = fuzzfile::AsFile(0, data + 2, size - 2);
    if (path.empty()) return 0;
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        sGPSREADER reader;
        if (LoadRecords(reader, path, family)) {
            if (reader.gps.size() != reader.accel.size()) __builtin_trap();
            if (!BuildTimeBase(reader, frames) || reader.frameTable.size() != size_t(frames))
                __builtin_trap();
        } else if (!reader.gps.empty() || !reader.accel.empty()) {
            __builtin_trap(); // a failed load leaves the reader empty
        }
        GpsBlockInfo info;
        ReadBlockInfo(path, &info, family);
        std::vector<GpsRecord> all;
        const bool read = ReadAllTracks({{path, ""}, {"", path}}, &all, family);
        if (read && all.size() != 2 * reader.gps.size()) __builtin_trap();
        if (auto movie = OpenMp4Movie(path, false, family)) {
            std::optional<RecordTime> start;
            ReadRecordingStartTime(*movie, &start);
        }
    }
    return 0;
}
