// Fuzz target: the table readers behind `kinetta-cli info` and the session's
// file queries: the typed view of every sample table and header box of an
// opened recording, the frame-timing probe, the sample count, the track
// widths and the frame rate, for both families.

#include <cstdint>
#include <string>

#include "playcore/container/boxes/elst_box.h"
#include "playcore/container/boxes/mdhd_box.h"
#include "playcore/container/boxes/mvhd_box.h"
#include "playcore/container/boxes/stco_box.h"
#include "playcore/container/boxes/stsc_box.h"
#include "playcore/container/boxes/stss_box.h"
#include "playcore/container/boxes/stsz_box.h"
#include "playcore/container/boxes/stts_box.h"
#include "playcore/container/boxes/tkhd_box.h"
#include "playcore/container/file_queries.h"
#include "playcore/container/mp4_tree.h"
#include "tests/fuzz/fuzz_input_file.h"

using namespace playcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzfile::AsFile(0, data, size);
    if (path.empty()) return 0;
    for (RecorderFamily family : {RecorderFamily::TX40, RecorderFamily::TX50}) {
        const long long first = FirstSampleCount(path, family);
        if (first < -1 || first > (long long)size) __builtin_trap();
        StszCount(path, family);
        for (int track = -1; track <= 3; ++track)
            TrackWidth(path, track, family);
        ProbedFrameDuration(path, family);
        FramesPerSecond(path, family);
        IsRecordingComplete(path, family);

        auto movie = OpenMp4Movie(path, true, family);
        if (!movie) continue;
        ProbeFrameTiming(*movie);
        // Every view either refuses its box or reads only inside the payload.
        for (sTAGNODE* node : movie->List(kStcoList)) {
            StcoBox box;
            if (box.Read(*node) && box.EntryBytes() > node->data.size()) __builtin_trap();
            for (uint32_t i = 0; box.Read(*node) && i < box.Count(); i += 97)
                (void)box.ChunkOffset(i);
        }
        for (sTAGNODE* node : movie->List(kStssList)) {
            StssBox box;
            if (box.Read(*node) && box.Count()) (void)box.SyncSample(box.Count() - 1);
        }
        for (sTAGNODE* node : movie->List(kStscList)) {
            StscBox box;
            if (box.Read(*node) && box.Count()) (void)box.SamplesPerChunk(box.Count() - 1);
        }
        for (sTAGNODE* node : movie->List(kSttsList)) {
            SttsBox box;
            if (box.Read(*node)) (void)box.Sums();
        }
        for (sTAGNODE* node : movie->List(kStszList)) {
            StszBox box;
            uint32_t count = 0;
            if (box.Read(*node)) (void)box.TotalBytes();
            if (CheckedSampleCount(*movie, *node, &count) && box.HasTable() &&
                uint64_t(count) * 4 > node->data.size())
                __builtin_trap();
        }
        for (sTAGNODE* node : movie->List(kTkhdList)) {
            TkhdBox box;
            if (box.Read(*node)) (void)(box.Width() + box.TrackId() + box.Duration());
        }
        for (sTAGNODE* node : movie->List(kMdhdList)) {
            MdhdBox box;
            if (box.Read(*node)) (void)(box.TimeScale() + box.Duration());
        }
        for (sTAGNODE* node : movie->List(kMvhdList)) {
            MvhdBox box;
            if (box.Read(*node)) (void)(box.Load(box.NextTrackIdField()) + box.Duration());
        }
        for (sTAGNODE* node : movie->List(kElstList)) {
            ElstBox box;
            if (box.Read(*node)) (void)box.FirstDuration();
        }
    }
    return 0;
}
