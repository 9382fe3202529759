// Join and split benchmarks on the box trees alone: joining ten one-minute
// recordings (opening each, merging every table; nothing written) and
// building the chunk list that separates a combined recording.
//
// The recordings are synthetic, in the recorder's layout: front video, rear
// video (30 fps) and AAC-like sound, one chunk per sample, chunks interleaved
// through 64 MiB of media data that is a sparse hole (neither operation
// reads media data).

#include <benchmark/benchmark.h>

#include <cstdio>

#include "container/mp4_builder.h"
#include "playcore/container/mp4_join.h"
#include "playcore/container/mp4_split.h"
#include "playcore/container/mp4_tree.h"

using namespace playcore;
using namespace testmp4;

namespace {

constexpr uint32_t kMediaBytes = 64u << 20;

struct MinuteRecordings {
    TempDir dir;
    std::vector<std::string> paths;
    MinuteRecordings() {
        std::vector<TrackLayout> tracks = ThreeTracks(1800);
        tracks[2].samples = 2813; // 48 kHz, 1024 samples a frame, 60 s
        const uint32_t total = 1800 + 1800 + 2813;
        uint32_t chunk = 0;
        for (auto& t : tracks) {
            for (uint32_t i = 0; i < t.samples; ++i, ++chunk)
                t.chunkOffsets.push_back(32 + uint32_t(uint64_t(chunk) * (kMediaBytes / total)));
        }
        Bytes moovBody = Mvhd(60000);
        for (const auto& t : tracks)
            Append(moovBody, Trak(t));
        const Bytes moov = Box("moov", moovBody);
        const Bytes head = Cat({Ftyp(), BE32(8 + kMediaBytes), Text("mdat")});
        for (int k = 0; k < 10; ++k) {
            paths.push_back(dir.File("minute" + std::to_string(k) + ".mp4"));
            FILE* f = std::fopen(paths.back().c_str(), "wb");
            std::fwrite(head.data(), 1, head.size(), f);
            std::fseek(f, long(head.size()) + kMediaBytes, SEEK_SET);
            std::fwrite(moov.data(), 1, moov.size(), f);
            std::fclose(f);
        }
    }
};

MinuteRecordings& Recordings() {
    static MinuteRecordings r;
    return r;
}

void BM_JoinTenMinuteTrees(benchmark::State& state) {
    const auto& paths = Recordings().paths;
    for (auto _ : state) {
        auto join = OpenJoin(paths[0], "", RecorderFamily::TX40);
        bool ok = join != nullptr;
        for (size_t k = 1; ok && k < paths.size(); ++k)
            ok = AppendToJoin(*join, paths[k], "");
        if (!ok) state.SkipWithError("join failed");
        benchmark::DoNotOptimize(join);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10);
}
BENCHMARK(BM_JoinTenMinuteTrees)->Unit(benchmark::kMillisecond);

void BM_ChunkListOfCombinedMinute(benchmark::State& state) {
    auto movie = OpenMp4Movie(Recordings().paths[0], true, RecorderFamily::TX40);
    std::vector<ChunkRecord> chunks;
    for (auto _ : state) {
        if (!movie || !BuildChunkList(*movie, 0, 2, &chunks)) state.SkipWithError("failed");
        benchmark::DoNotOptimize(chunks.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(chunks.size()));
}
BENCHMARK(BM_ChunkListOfCombinedMinute)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
