// Per-frame CPU work of the scenes that is theirs alone: the dust explosion
// positions of the 8000 graph nodes and the near, far and rim selection over
// the 3000 strand nodes; and each scene's whole simulation outside GL at
// moments of the production, with the track values of sync/ (run from the
// repository root).
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/production.h"
#include "app/timeline.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "fx/swarm_field.h"
#include "quietly.h"
#include "scenes/passes.h"
#include "scenes/scene_math.h"
#include "sync/track_names.h"

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

// The track values of the production at a music time; false without sync/.
bool productionTracksAt(double musicTime, std::vector<float>& values)
{
    ProductionTracks tracks;
    quietly([&] { openProductionTracks(tracks); });
    const bool keyed = countKeyedTracks(tracks) > 0;
    values.assign(trackCount, 0.0f);
    sampleProductionTracks(tracks, rowAt(musicTime), values.data());
    releaseProductionTracks(tracks);
    return keyed;
}

// Everything the first scene computes on the CPU in a frame at the music
// time of the argument: the far cloud's spin, the graph-node update and,
// when track::links turns them on, the links.
void BM_Scene1FrameCpu(benchmark::State& state)
{
    const double musicTime = double(state.range(0));
    std::vector<float> t;
    if (!productionTracksAt(musicTime, t)) {
        state.SkipWithError("no sync/sync_N.track here; run from the repository root");
        return;
    }
    NodeCloud nodes, farCloud;
    generatePoints(nodes, 8000, 50.0f);
    shape(nodes);
    generatePoints(farCloud, 200, 4000.0f);
    projectToSphere(farCloud);
    LinkLines links;
    buildInitial(links, nodes.workingPositions);
    for (auto _ : state) {
        resetPositions(farCloud);
        spinPoints(farCloud, float(musicTime * 1.5));
        update(nodes, musicTime, t[track::nodeScale], t[track::twistAngle], t[track::twistRadius]);
        if (t[track::links] != 0.0f) build(links, nodes.workingPositions, t[track::crossThreshold], t[track::innerThreshold]);
        benchmark::DoNotOptimize(links.innerLinks.data());
    }
    state.counters["links"] = double(links.innerLinks.size() + links.crossLinks.size());
}
BENCHMARK(BM_Scene1FrameCpu)->Arg(60)->Arg(76)->Unit(benchmark::kMicrosecond);

// Everything the second scene computes on the CPU in a frame at the music
// time of the argument: bend, gather, order and select the strand nodes, the
// far cloud's spin and, when track::explosion turns it on, the dust explosion.
void BM_Scene2FrameCpu(benchmark::State& state)
{
    const double musicTime = double(state.range(0));
    std::vector<float> t;
    if (!productionTracksAt(musicTime, t)) {
        state.SkipWithError("no sync/sync_N.track here; run from the repository root");
        return;
    }
    SwarmField swarm;
    generate(swarm, 1500.0f, 100.0f);
    NodeCloud nodes, farCloud;
    generatePoints(nodes, 8000, 50.0f);
    generatePoints(farCloud, 200, 4000.0f);
    projectToSphere(farCloud);
    DustExplosionTable dust;
    std::vector<int32_t> order, nearNodes, farNodes, rimNodes;
    for (auto _ : state) {
        bendStrand(swarm, float(musicTime), t.data());
        gatherClusters(swarm, float(musicTime));
        sortByDistance(Vec4{}, swarm.clusterCentres, -1, order);
        selectNodes(swarm.clusterCentres, order, 0.0f, 300.0f, 2500.0f, t[track::nearDistance], t[track::shellRadius] * 100.0f,
                    musicTime < pinFirstClusterUntil, nearNodes, farNodes, rimNodes);
        resetPositions(farCloud);
        spinPoints(farCloud, float(musicTime * 1.5));
        if (t[track::explosion] != 0.0f) placeDustExplosion(nodes.workingPositions, musicTime, t.data(), dust);
        benchmark::DoNotOptimize(nodes.workingPositions.data());
    }
    state.counters["explosion"] = t[track::explosion] != 0.0f ? 1.0 : 0.0;
}
BENCHMARK(BM_Scene2FrameCpu)->Arg(160)->Unit(benchmark::kMicrosecond);

} // namespace
