// Telemetry view benchmarks on one hour of telemetry (3,600 records, one a
// second, at 29.1 frames per second: 104,760 frames):
//  - event detection: the event list over the full per-frame table, and over
//    a block of 3,600 records with one frame each;
//  - one repaint of the acceleration graph at 1920 x 93 pixels: the pure plan
//    (mapping, line merging, marks) and, in a build with Qt, the whole picture
//    composed off-screen as the window does every 100 ms.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "kinetta/telemetry/event_list.h"
#include "kinetta/telemetry/graph_plan.h"

#ifdef KINETTA_BENCH_QT
#include <QGuiApplication>
#include <QImage>

#include "kinetta/telemetry/graph_painter.h"
#endif

using namespace kinetta;
using playcore::AccelRecord;
using playcore::GpsRecord;
using playcore::RecorderFamily;

namespace {

// records records with a driving-like signal and an event every 60 s, and a
// per-frame table of framesPerRecord frames a record (time-base style).
struct Hour {
    std::vector<GpsRecord> gps;
    std::vector<AccelRecord> accel;
    std::vector<AccelRecord*> table;
    Hour(int records, double framesPerRecord) : gps(records), accel(records) {
        for (int i = 0; i < records; ++i) {
            AccelRecord& a = accel[static_cast<size_t>(i)];
            a.index = i;
            a.gps = &gps[static_cast<size_t>(std::max(0, i - 2))];
            a.gx = 0.3 * std::sin(i * 0.1);
            a.gy = 0.2 * std::sin(i * 0.037) + (i % 60 == 10 ? 1.2 : 0);
            a.gz = 0.05 * std::sin(i * 0.5);
            a.code2 = (i % 600) < 20 ? 8 : 0;
            if (i % 60 == 10) a.axis = 3;
            if (i % 60 == 30) a.kind = 5;
            if (i % 300 == 45) a.kind = 11;
        }
        const auto frames = static_cast<size_t>(std::llround(records * framesPerRecord));
        table.resize(frames);
        for (size_t f = 0; f < frames; ++f)
            table[f] = &accel[std::min(accel.size() - 1, static_cast<size_t>(f / framesPerRecord))];
        for (AccelRecord& a : accel)
            a.framePos = static_cast<int>(std::llround(a.index * framesPerRecord));
    }
};

void BM_EventListOneHourOfFrames(benchmark::State& state) {
    Hour h(3600, 29.1);
    const DetectorFlags flags;
    size_t n = 0;
    for (auto _ : state) {
        EventList events = BuildEventList(h.table, h.accel, flags.listing, RecorderFamily::TX50);
        n = events.size();
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["events"] = static_cast<double>(n);
    state.counters["frames"] = static_cast<double>(h.table.size());
}
BENCHMARK(BM_EventListOneHourOfFrames)->Unit(benchmark::kMillisecond);

void BM_EventList3600Records(benchmark::State& state) {
    Hour h(3600, 1.0);
    const DetectorFlags flags;
    for (auto _ : state) {
        EventList events = BuildEventList(h.table, h.accel, flags.listing, RecorderFamily::TX50);
        benchmark::DoNotOptimize(events.data());
    }
}
BENCHMARK(BM_EventList3600Records)->Unit(benchmark::kMicrosecond);

GraphGeometry Wide(const Hour& h, RecorderFamily family) {
    GraphGeometry g;
    g.family = family;
    g.clientWidth = 1920;
    g.clientHeight = 93;
    g.entries = static_cast<int64_t>(h.table.size());
    g.current = g.entries / 2;
    g.rangeIndex = 2;
    return g;
}

void BM_GraphPlan1920(benchmark::State& state) {
    Hour h(3600, 29.1);
    const auto family = state.range(0) ? RecorderFamily::TX50 : RecorderFamily::TX40;
    const GraphGeometry g = Wide(h, family);
    GraphPlan plan;
    for (auto _ : state) {
        PlanGraph(g, h.table, h.accel, DetectorFlags{}, &plan);
        benchmark::DoNotOptimize(plan.axes[0].data());
    }
    size_t segments = 0;
    for (const auto& a : plan.axes)
        segments += a.size();
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_GraphPlan1920)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#ifdef KINETTA_BENCH_QT
void BM_GraphRepaint1920(benchmark::State& state) {
    if (!qApp) {
        static int argc = 1;
        static char name[] = "bench_telemetry";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    }
    Hour h(3600, 29.1);
    const auto family = state.range(0) ? RecorderFamily::TX50 : RecorderFamily::TX40;
    GraphGeometry g = Wide(h, family);
    GraphPainter painter;
    QImage image;
    painter.Paint(&image, g, true, h.table, h.accel, DetectorFlags{}); // artwork rendered once
    for (auto _ : state) {
        g.current = (g.current + 3) % g.entries; // the position moves between repaints
        painter.Paint(&image, g, true, h.table, h.accel, DetectorFlags{});
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_GraphRepaint1920)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
#endif

} // namespace

BENCHMARK_MAIN();
