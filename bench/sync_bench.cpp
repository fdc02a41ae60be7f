// Cost of one frame's track evaluation: 64 tracks of the production's size.
#include "sync/sync.h"

#include <benchmark/benchmark.h>

static void BM_EvaluateSixtyFourTracks(benchmark::State& state)
{
    const int keysPerTrack = int(state.range(0));
    std::vector<SyncTrack> tracks(64);
    for (int t = 0; t < 64; ++t) {
        for (int k = 0; k < keysPerTrack; ++k)
            tracks[t].keys.push_back({k * 32, float(k % 7), k % 4});
        tracks[t].numKeys = keysPerTrack;
    }
    float values[64];
    double row = 0.0;
    for (auto _ : state) {
        for (int t = 0; t < 64; ++t)
            values[t] = float(getSyncValue(&tracks[t], row));
        benchmark::DoNotOptimize(values);
        row += 0.27;
        if (row > keysPerTrack * 32.0)
            row = 0.0;
    }
}
BENCHMARK(BM_EvaluateSixtyFourTracks)->Arg(8)->Arg(256);
