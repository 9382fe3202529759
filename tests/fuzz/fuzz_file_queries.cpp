// Fuzz target: the table readers behind `kinetta-cli info` and the session's
// file queries: every sample table and header of every track of an opened
// recording, the frame-timing probe, the sample count, the track widths and
// the frame rate, for both families.

#include <cstdint>
#include <string>
#include <vector>

#include "playcore/container/file_queries.h"
#include "playcore/container/mp4_tree.h"
#include "playcore/container/sample_tables.h"
#include "playcore/container/track_headers.h"
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
        std::vector<sTAGNODE*> traks;
        CollectBoxes(movie->root, "trak", traks);
        for (sTAGNODE* trak : traks) {
            for (const char* type : {"stco", "stss"}) {
                std::vector<sTAGNODE*> boxes;
                CollectBoxes(*trak, type, boxes);
                TableView t;
                for (sTAGNODE* b : boxes)
                    if (ReadTable(*b, 1, &t) && t.count * 4ull > b->data.size()) __builtin_trap();
            }
            std::vector<sTAGNODE*> boxes;
            CollectBoxes(*trak, "stsc", boxes);
            TableView t;
            for (sTAGNODE* b : boxes)
                ReadTable(*b, 3, &t);
            boxes.clear();
            CollectBoxes(*trak, "stts", boxes);
            SttsSums sums;
            for (sTAGNODE* b : boxes)
                SumStts(*b, &sums);
            boxes.clear();
            CollectBoxes(*trak, "stsz", boxes);
            uint32_t count = 0;
            for (sTAGNODE* b : boxes)
                StszSampleCount(*b, &count);
            boxes.clear();
            CollectBoxes(*trak, "tkhd", boxes);
            for (sTAGNODE* b : boxes)
                TkhdWidth(*b);
        }
        uint32_t duration = 0;
        for (sTAGNODE* mvhd : movie->List(kMvhdList))
            MvhdDuration(*mvhd, &duration);
    }
    return 0;
}
