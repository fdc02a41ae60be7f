// Fuzzes one frame's CPU side with 64 arbitrary track values: the camera and
// its strand modes, the graph nodes' deformation and links, the far cloud's
// spin, the strand with its node selection and the dust explosion. The input
// is 64 little-endian floats, then 4 bytes that pick a music time in the run
// (0..210 s); missing bytes read as 0. The matrices sent to the GPU must stay
// finite whatever the tracks say.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "assets/camera.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "fx/swarm_field.h"
#include "scenes/passes.h"
#include "scenes/scene_math.h"
#include "scenes/scenes.h"

namespace {

constexpr int fuzzedTracks = 64;
constexpr int graphNodes = 1000;  // fewer than the production's 8000, for speed
constexpr double runLength = 210.0;  // seconds

bool isFinite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r])) return false;
    return true;
}

struct FrameState {
    NodeCloud nodes;
    NodeCloud farCloud;
    LinkLines links;
    SwarmField swarm;
    DustExplosionTable dust;
    std::vector<int32_t> order, nearNodes, farNodes, rimNodes;
    FrameState()
    {
        generatePoints(nodes, graphNodes, 50.0f);
        shape(nodes);
        generatePoints(farCloud, 200, 4000.0f);
        projectToSphere(farCloud);
        buildInitial(links, nodes.workingPositions);
        generate(swarm, 1500.0f, 100.0f);
        prepareDustExplosion(dust, graphNodes);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FrameState state;
    float t[fuzzedTracks] = {};
    memcpy(t, data, size < sizeof t ? size : sizeof t);
    uint32_t timeBits = 0;
    if (size >= sizeof t + sizeof timeBits) memcpy(&timeBits, data + sizeof t, sizeof timeBits);
    const double musicTime = double(timeBits) / 4294967296.0 * runLength;

    Camera camera;
    initCamera(camera);
    setCameraFromTracks(camera, std::span<const float>(t, fuzzedTracks));
    const int32_t mode = cameraModeOf(t[0]);
    if (mode == 2) strandCamera(camera, t, float(musicTime));
    if (mode == 3) clusterCamera(camera, t, state.swarm, followedCluster(state.swarm, musicTime));
    updateCameraView(camera);
    if (!isFinite(camera.projection) || !isFinite(camera.view)) __builtin_trap();

    // First scene.
    resetPositions(state.farCloud);
    spinPoints(state.farCloud, float(musicTime * 1.5));
    update(state.nodes, musicTime, t[15], t[17], t[18]);
    nodeDrawCount(t[16], graphNodes);
    if (t[27] != 0.0f) build(state.links, state.nodes.workingPositions, t[38], t[39]);
    growAt(musicTime);
    growRadiusAt(musicTime);
    maxRadiusOf(t);

    // Second scene.
    const bool pinned = moveStrand(state.swarm, t, musicTime, &state.order);
    secondIndexAt(musicTime, int32_t(state.swarm.secondTable.size()));
    selectNodes(state.swarm.clusterCentres, state.order, camera.eye.x, camera.eye.y, camera.eye.z,
                t[25], t[31] * 100.0f, pinned, state.nearNodes, state.farNodes, state.rimNodes);
    placeDustExplosion(state.nodes.workingPositions, musicTime, t, state.dust);
    return 0;
}
