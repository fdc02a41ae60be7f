// Per-frame simulation cost of the two scenes: the graph-node update and the
// link build of the first scene, the strand bend, gather and node ordering of
// the second. Each benchmark also counts heap allocations made after its
// first frame ("allocs" per iteration; it should be 0).
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <benchmark/benchmark.h>

#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "fx/swarm_field.h"

// The counting operator new below pairs with free(); GCC cannot see that the
// replacement is global and warns at every inlined delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<int64_t> allocationCount{0};

}  // namespace

void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

NodeCloud startUpGraphNodes() {
    NodeCloud cloud;
    generatePoints(cloud, 8000, 50.0f);
    shape(cloud);
    return cloud;
}

// Runs frame(t) once untimed, then times it, counting allocations.
template <typename Frame>
void runFrames(benchmark::State& state, Frame frame) {
    double time = 40.0;
    frame(time);
    const int64_t before = allocationCount.load();
    for (auto _ : state) {
        time += 1.0 / 60.0;
        frame(time);
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocationCount.load() - before),
                                                  benchmark::Counter::kAvgIterations);
}

void Scene1GraphNodeUpdate(benchmark::State& state) {
    NodeCloud nodes = startUpGraphNodes();
    runFrames(state, [&](double time) {
        update(nodes, time, 9.0f, 283.0f, 0.0f);
        benchmark::DoNotOptimize(nodes.workingPositions.data());
    });
}
BENCHMARK(Scene1GraphNodeUpdate)->Unit(benchmark::kMicrosecond);

void Scene1LinkBuild(benchmark::State& state) {
    NodeCloud nodes = startUpGraphNodes();
    update(nodes, 26.0, 9.0f, 283.0f, 0.0f);
    LinkLines links;
    runFrames(state, [&](double) {
        build(links, nodes.workingPositions, 60.0f, 60.0f);
        benchmark::DoNotOptimize(links.innerLinks.data());
    });
    state.counters["inner"] = static_cast<double>(links.innerLinks.size());
    state.counters["cross"] = static_cast<double>(links.crossLinks.size());
    state.counters["hubs"] = static_cast<double>(links.hubs.size());
}
BENCHMARK(Scene1LinkBuild)->Unit(benchmark::kMicrosecond);

// The whole per-frame simulation of the first scene with the links on.
// Arguments: node scale (track::nodeScale) x 10, crossing and inner thresholds
// (tracks 38 and 39) in units.
void Scene1Simulation(benchmark::State& state) {
    NodeCloud nodes = startUpGraphNodes();
    LinkLines links;
    const float scaleAmount = static_cast<float>(state.range(0)) * 0.1f;
    const float crossThreshold = static_cast<float>(state.range(1));
    const float innerThreshold = static_cast<float>(state.range(2));
    runFrames(state, [&](double time) {
        update(nodes, time, scaleAmount, 283.0f, 0.0f);
        build(links, nodes.workingPositions, crossThreshold, innerThreshold);
        benchmark::DoNotOptimize(links.innerLinks.data());
    });
    state.counters["links"] = static_cast<double>(links.innerLinks.size() + links.crossLinks.size());
}
BENCHMARK(Scene1Simulation)
    ->Args({90, 60, 60})     // thresholds 60 and 60 at the cloud's usual size
    ->Args({96, 95, 100})    // the production's thresholds around 60 s
    ->Args({90, 120, 140})   // and around 76 s
    ->Args({20, 60, 60})     // a small dense cloud: many pairs per shell
    ->Unit(benchmark::kMicrosecond);

// The per-frame simulation of the second scene: bend, gather, order by distance.
void Scene2Simulation(benchmark::State& state) {
    SwarmField swarm;
    generate(swarm, 1500.0f, 100.0f);
    float tracks[64] = {};
    tracks[21] = 300.0f;
    tracks[22] = 0.4f;
    tracks[23] = 1.0f;
    tracks[42] = 1.5f;
    std::vector<int32_t> clusterOrder;
    const double offset = static_cast<double>(state.range(0));
    runFrames(state, [&](double time) {
        const float t = static_cast<float>(time + offset);
        bendStrand(swarm, t, tracks);
        gatherClusters(swarm, t);
        sortByDistance(Vec4{}, swarm.clusterCentres, -1, clusterOrder);
        benchmark::DoNotOptimize(clusterOrder.data());
    });
}
// Music times around 120 s (mid-gather) and 150 s (on the strand).
BENCHMARK(Scene2Simulation)->Arg(80)->Arg(110)->Unit(benchmark::kMicrosecond);

void Scene2BendAndGather(benchmark::State& state) {
    SwarmField swarm;
    generate(swarm, 1500.0f, 100.0f);
    float tracks[64] = {};
    tracks[22] = 0.4f;
    tracks[23] = 1.0f;
    tracks[42] = 1.5f;
    runFrames(state, [&](double time) {
        const float t = static_cast<float>(time + 80.0);
        bendStrand(swarm, t, tracks);
        gatherClusters(swarm, t);
        benchmark::DoNotOptimize(swarm.clusterCentres.data());
    });
}
BENCHMARK(Scene2BendAndGather)->Unit(benchmark::kMicrosecond);

}  // namespace
