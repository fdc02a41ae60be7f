#include "scenes/catch_up.h"

#include "app/demo.h"
#include "app/timeline.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"

namespace {

constexpr int kTrackCount = 64;

// A node respawns in the first frame whose drift takes it out of its sphere.
// Its distance from the origin is convex in the drift time and starts inside,
// so once out it stays out: one advect at the last earlier frame's time
// respawns exactly the nodes that all earlier frames together respawned.
void respawnAsOf(NodeCloud& nodes, double musicTime)
{
    if (musicTime < 0.0) return;
    resetPositions(nodes);
    advect(nodes, static_cast<float>(musicTime));
}

} // namespace

void catchUpToTime(Demo& demo, double musicTime, const TrackSampler& sampleTracks)
{
    if (sceneForRow(rowAt(musicTime)) != 1) return;

    float values[kTrackCount] = {};
    double linkTime = -1.0;
    for (int k = 1;; ++k) {
        const double t = musicTime - k * kReplayFrameStep;
        if (t < 0.0) break;
        sampleTracks(rowAt(t), values);
        if (values[27] != 0.0f) {
            linkTime = t;
            break;
        }
    }

    NodeCloud& nodes = demo.graphNodes;
    if (linkTime >= 0.0) {
        respawnAsOf(nodes, linkTime - kReplayFrameStep);
        update(nodes, static_cast<double>(static_cast<float>(linkTime)), values[15], values[17],
               values[18]);
        build(demo.links, nodes.workingPositions, values[38], values[39]);
    }
    respawnAsOf(nodes, musicTime - kReplayFrameStep);
}
