// Cost of the profiler's per-pass mark once the lists have their capacity.
#include "app/profiler.h"

#include <benchmark/benchmark.h>

static void BM_ProfilerFrameOfMarks(benchmark::State& state)
{
    Profiler profiler;
    for (auto _ : state) {
        beginFrame(profiler);
        for (int i = 0; i < 16; ++i)
            mark(profiler, "particle compute");
        benchmark::DoNotOptimize(profiler.times.data());
    }
}
BENCHMARK(BM_ProfilerFrameOfMarks);
