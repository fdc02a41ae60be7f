#include "scenes/catch_up.h"

#include <cmath>

#include "app/demo.h"
#include "app/timeline.h"
#include "fx/node_cloud.h"
#include "scenes/scenes.h"
#include "sync/track_names.h"

namespace {

constexpr double longestCatchUp = 86400.0;  // seconds

// The time of playback frame k before musicTime (seconds).
double frameBefore(double musicTime, int k)
{
    return musicTime - k * replayFrameStep;
}

// The music time a frame draws with: the frame loop keeps it as a float.
double loopTime(double musicTime)
{
    return static_cast<double>(static_cast<float>(musicTime));
}

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

// What the first scene does to the graph nodes and links in the frame at
// frameTime, with that frame's tracks.
void replayScene1Frame(Demo& demo, double frameTime, const float* values)
{
    moveGraphNodes(demo, loopTime(frameTime), values);
    linkGraphNodes(demo, values);
}

// From the start-up state: the graph nodes and links as the first-scene
// frames before musicTime leave them (all of them first-scene frames).
void catchUpScene1(Demo& demo, double musicTime, const TrackSampler& sampleTracks)
{
    float values[trackCount] = {};
    double linkTime = -1.0;
    for (int k = 1;; ++k) {
        const double t = frameBefore(musicTime, k);
        if (t < 0.0) break;
        sampleTracks(rowAt(t), values);
        if (values[track::links] != 0.0f) {
            linkTime = t;
            break;
        }
    }
    if (linkTime >= 0.0) {
        respawnAsOf(demo.graphNodes, linkTime - replayFrameStep);
        replayScene1Frame(demo, linkTime, values);
    }
    respawnAsOf(demo.graphNodes, musicTime - replayFrameStep);
}

// From the start-up state, for a frame of the second scene: the first scene's
// last frame before musicTime, then the strand as the previous frame left it.
void catchUpScene2(Demo& demo, double musicTime, const TrackSampler& sampleTracks)
{
    // The first frame before musicTime whose row is still in the first scene.
    const double firstSceneEnd = firstRowOfSecondScene / rowsPerSecond;
    int k = static_cast<int>((musicTime - firstSceneEnd) / replayFrameStep);
    if (k < 1) k = 1;
    while (k > 1 && sceneForRow(rowAt(frameBefore(musicTime, k - 1))) == 1) --k;
    while (sceneForRow(rowAt(frameBefore(musicTime, k))) != 1) ++k;
    const double lastScene1Frame = frameBefore(musicTime, k);

    float values[trackCount] = {};
    if (lastScene1Frame >= 0.0) {
        catchUpScene1(demo, lastScene1Frame, sampleTracks);
        sampleTracks(rowAt(lastScene1Frame), values);
        replayScene1Frame(demo, lastScene1Frame, values);
    }

    // The first frame of the second scene finds the centres as start-up left them.
    if (k == 1) return;
    const double previous = frameBefore(musicTime, 1);
    sampleTracks(rowAt(previous), values);
    moveStrand(demo.swarm, values, loopTime(previous), nullptr);
}

} // namespace

void catchUpToTime(Demo& demo, double musicTime, const TrackSampler& sampleTracks)
{
    resetDemoSimulation(demo);
    // No run reaches a time that is not finite or a day long; leaving those
    // at the start-up state keeps the frame counts below in int range.
    if (!(std::fabs(musicTime) <= longestCatchUp)) return;
    if (sceneForRow(rowAt(musicTime)) == 1)
        catchUpScene1(demo, musicTime, sampleTracks);
    else
        catchUpScene2(demo, musicTime, sampleTracks);
}
