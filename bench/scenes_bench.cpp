// Per-frame CPU work of the scenes that is theirs alone: the dust explosion
// positions of the 8000 graph nodes and the near, far and rim selection over
// the 3000 strand nodes.
#include <vector>

#include <benchmark/benchmark.h>

#include "fx/link_lines.h"
#include "fx/swarm_field.h"
#include "scenes/scene_math.h"

namespace {

void BM_DustExplosion(benchmark::State& state)
{
    std::vector<Vec4> positions(8000);
    std::vector<float> tracks(64, 0.0f);
    tracks[34] = 300.0f;
    tracks[41] = 0.4f;
    tracks[42] = 0.8f;
    DustExplosionTable table;
    prepareDustExplosion(table, 8000);
    double time = 150.0;
    for (auto _ : state) {
        placeDustExplosion(positions, time, tracks.data(), table);
        benchmark::DoNotOptimize(positions.data());
        time += 1.0 / 60.0;
    }
}
BENCHMARK(BM_DustExplosion);

// Strand nodes gathered onto the strand, ordered by distance, with a shell
// that holds all of them (the most work the selection can do).
void BM_SelectNodes(benchmark::State& state)
{
    SwarmField swarm;
    generate(swarm, 1500.0f, 100.0f);
    std::vector<float> tracks(64, 0.0f);
    tracks[23] = 1.0f;
    bendStrand(swarm, 150.0f, tracks.data());
    gatherClusters(swarm, 150.0f);
    std::vector<int32_t> order;
    sortByDistance(Vec4{}, swarm.clusterCentres, -1, order);
    std::vector<int32_t> nearNodes, farNodes, rimNodes;
    const float shell = float(state.range(0));
    for (auto _ : state) {
        selectNodes(swarm.clusterCentres, order, 0.0f, 300.0f, 2500.0f, 1500.0f, shell, false,
                    nearNodes, farNodes, rimNodes);
        benchmark::DoNotOptimize(nearNodes.data());
    }
    state.counters["listed"] = double(nearNodes.size() + farNodes.size());
    state.counters["rim"] = double(rimNodes.size());
}
BENCHMARK(BM_SelectNodes)->Arg(1000)->Arg(2000)->Arg(100000);

} // namespace
