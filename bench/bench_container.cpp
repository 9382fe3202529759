// Container toolkit benchmarks: opening the box tree of a large recording,
// and loading a full TX40 family GPS block with its time base.
//
// The recording is synthetic: a one-minute combined recording (two 30 fps
// video tracks and an AAC-like audio track, one chunk per sample, as the
// recorder writes them) whose 512 MiB of media data is a sparse hole, since
// opening the tree never reads media data; followed by a "gps0" box with a
// full block of 3020 records.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "container/mp4_builder.h"
#include "playcore/container/gps_reader.h"
#include "playcore/container/mp4_tree.h"

using namespace playcore;
using namespace testmp4;

namespace {

constexpr uint32_t kMediaBytes = 512u << 20;

struct LargeRecording {
    TempDir dir;
    std::string path;
    LargeRecording() {
        std::vector<TrackLayout> tracks = ThreeTracks(1800);
        tracks[2].samples = 2813; // 48 kHz AAC, 1024 samples a frame, 60 s
        const uint32_t total = 1800 + 1800 + 2813;
        // Chunks interleaved through the media data, one sample each.
        uint32_t chunk = 0;
        for (auto& t : tracks) {
            t.chunkOffsets.clear();
            for (uint32_t i = 0; i < t.samples; ++i, ++chunk)
                t.chunkOffsets.push_back(32 + uint32_t(uint64_t(chunk) * (kMediaBytes / total)));
        }
        Bytes moovBody = Mvhd(60000);
        for (const auto& t : tracks)
            Append(moovBody, Trak(t));
        const Bytes moov = Box("moov", moovBody);
        std::vector<Bytes> recs;
        for (int i = 0; i < 3020; ++i) {
            Rec40 r;
            r.a1 = i % 2 ? " 1020" : "  980";
            r.byte72 = i % 97 == 0 ? 'D' : 'N';
            // Ten records a second.
            char dt[16];
            std::snprintf(dt, sizeof dt, "2501011%01d%02d%02d", (i / 36000) % 10, (i / 600) % 60,
                          (i / 10) % 60);
            r.dateTime = dt;
            recs.push_back(r.Build());
        }
        const Bytes gps = Gps0Box(Block(Header40{}.Build(3020), recs));

        path = dir.File("large.mp4");
        FILE* f = std::fopen(path.c_str(), "wb");
        const Bytes head = Cat({Ftyp(), BE32(8 + kMediaBytes), Text("mdat")});
        std::fwrite(head.data(), 1, head.size(), f);
        std::fseek(f, long(head.size()) + kMediaBytes, SEEK_SET); // sparse media data
        std::fwrite(moov.data(), 1, moov.size(), f);
        std::fwrite(gps.data(), 1, gps.size(), f);
        std::fclose(f);
    }
};

LargeRecording& Recording() {
    static LargeRecording r;
    return r;
}

void BM_OpenTreeOfLargeRecording(benchmark::State& state) {
    const std::string& path = Recording().path;
    size_t nodes = 0;
    for (auto _ : state) {
        auto movie = OpenMp4Movie(path, true, RecorderFamily::TX40);
        if (!movie)
            state.SkipWithError("open failed");
        else
            nodes = movie->nodeCount;
        benchmark::DoNotOptimize(movie);
    }
    state.counters["boxes"] = double(nodes);
}
BENCHMARK(BM_OpenTreeOfLargeRecording)->Unit(benchmark::kMicrosecond);

void BM_LoadRecordsAndTimeBase3020(benchmark::State& state) {
    const std::string& path = Recording().path;
    for (auto _ : state) {
        sGPSREADER reader;
        if (!LoadRecords(reader, path, RecorderFamily::TX40) || reader.accel.size() != 3020 ||
            !BuildTimeBase(reader, 1800))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(reader.maxAccel);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 3020);
}
BENCHMARK(BM_LoadRecordsAndTimeBase3020)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
