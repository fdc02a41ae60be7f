#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo.h"
#include "app/timeline.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "scenes/catch_up.h"
#include "scenes/scenes.h"

namespace {

// Links on from 60 to 64 s with a threshold that moves, then off.
void sampleTracks(double row, float* values)
{
    std::fill(values, values + 64, 0.0f);
    const double seconds = row / 16.0;
    values[15] = 2.0f;
    values[17] = 283.0f;
    values[18] = 10.0f;
    if (seconds >= 60.0 && seconds < 64.0) {
        values[27] = 1.0f;
        values[38] = float(40.0 + seconds * 0.25);
        values[39] = 40.0f;
    }
}

// The graph nodes and links as the Demo's set-up leaves them.
void setUp(Demo& demo)
{
    generatePoints(demo.graphNodes, 8000, 50.0f);
    shape(demo.graphNodes);
    update(demo.graphNodes, 26.0, 9.0f, 283.0f, 0.0f);
    buildInitial(demo.links, demo.graphNodes.workingPositions);
}

// What the first scene does to the nodes and links in each frame of a
// 60 Hz playback, up to the frame before musicTime.
void playUpTo(Demo& demo, double musicTime)
{
    float values[64];
    const int frames = int(musicTime / replayFrameStep);
    for (int k = frames; k >= 1; --k) {
        const double t = musicTime - k * replayFrameStep;
        sampleTracks(rowAt(t), values);
        update(demo.graphNodes, double(float(t)), values[15], values[17], values[18]);
        if (values[27] != 0.0f) build(demo.links, demo.graphNodes.workingPositions, values[38],
                                      values[39]);
    }
}

bool sameDirections(const NodeCloud& a, const NodeCloud& b)
{
    return a.directions == b.directions;
}

TEST(CatchUp, ASingleFrameStartsFromWhatPlaybackLeftBehind)
{
    const double frameTime = 70.0;
    static Demo playback, fresh, single;
    setUp(playback);
    setUp(fresh);
    setUp(single);

    playUpTo(playback, frameTime);
    catchUpToTime(single, frameTime, sampleTracks);

    // The replay matters: playback has respawned nodes and built hubs.
    ASSERT_FALSE(sameDirections(playback.graphNodes, fresh.graphNodes));
    ASSERT_FALSE(playback.links.hubs.empty());

    EXPECT_TRUE(sameDirections(playback.graphNodes, single.graphNodes));
    EXPECT_EQ(playback.links.hubs, single.links.hubs);

    // And the frame itself then places every node alike.
    update(playback.graphNodes, frameTime, 2.0f, 283.0f, 10.0f);
    update(single.graphNodes, frameTime, 2.0f, 283.0f, 10.0f);
    EXPECT_EQ(playback.graphNodes.workingPositions, single.graphNodes.workingPositions);
}

// The second scene: a strand that bends and scrolls with the music time.
void sampleStrandTracks(double row, float* values)
{
    sampleTracks(row, values);
    const double seconds = row / 16.0;
    values[21] = float(seconds * 7.0);
    values[22] = float(0.5 + 0.01 * seconds);
    values[23] = 3.0f;
    values[42] = float(std::fmod(seconds, 3.0));
}

// What the frames from..to (60 Hz) change in the Demo outside GL: the first
// scene's nodes and links, the second scene's strand.
void playFrames(Demo& demo, double from, int frames)
{
    float values[64];
    for (int k = 0; k < frames; ++k) {
        const double t = from + k * replayFrameStep;
        const double loopTime = double(float(t));
        sampleStrandTracks(rowAt(t), values);
        if (sceneForRow(rowAt(t)) == 1) {
            update(demo.graphNodes, loopTime, values[15], values[17], values[18]);
            if (values[27] != 0.0f)
                build(demo.links, demo.graphNodes.workingPositions, values[38], values[39]);
        } else {
            moveStrand(demo.swarm, values, loopTime, nullptr);
        }
    }
}

void expectSameState(const Demo& a, const Demo& b)
{
    EXPECT_TRUE(sameDirections(a.graphNodes, b.graphNodes));
    EXPECT_EQ(a.graphNodes.workingPositions, b.graphNodes.workingPositions);
    EXPECT_EQ(a.links.hubs, b.links.hubs);
    EXPECT_EQ(a.swarm.clusterCentres, b.swarm.clusterCentres);
}

} // namespace

TEST(CatchUp, TheSecondSceneStartsFromTheLastFirstSceneFrameAndThePreviousStrand)
{
    // A range that starts before the switch at 79 s and runs on drawn frame
    // by frame, against a single frame caught up at its end: the nodes keep
    // the sizes of the first scene's last frame (the dust explosion draws
    // them), and camera mode 3 follows the strand of the frame before.
    static Demo range, single, startUp;
    resetDemoSimulation(startUp);
    catchUpToTime(range, 78.9, sampleStrandTracks);
    playFrames(range, 78.9, 30);
    const double end = 78.9 + 30 * replayFrameStep;
    catchUpToTime(single, end, sampleStrandTracks);
    ASSERT_EQ(single.swarm.clusterCentres.size(), 3000u);
    ASSERT_NE(range.graphNodes.workingPositions, startUp.graphNodes.workingPositions);
    ASSERT_NE(range.swarm.clusterCentres, startUp.swarm.clusterCentres);
    expectSameState(range, single);

    // Inside the second scene, before and after cluster 0 stops being pinned.
    for (const double start : {108.0, 160.0}) {
        catchUpToTime(range, start, sampleStrandTracks);
        playFrames(range, start, 120);
        catchUpToTime(single, start + 120 * replayFrameStep, sampleStrandTracks);
        expectSameState(range, single);
    }
}

TEST(CatchUp, AnEarlierStateIsForgotten)
{
    // The windowed build jumps back and forth on one Demo: whatever ran
    // before, the catch-up leaves what a fresh one does.
    static Demo jumped, fresh;
    setUp(jumped);
    playUpTo(jumped, 66.0);
    catchUpToTime(jumped, 150.0, sampleStrandTracks);
    playFrames(jumped, 150.0, 10);

    for (const double t : {62.0, 150.0, 79.0}) {
        catchUpToTime(jumped, t, sampleStrandTracks);
        catchUpToTime(fresh, t, sampleStrandTracks);
        expectSameState(jumped, fresh);
    }

    // Times no run reaches (frame counts past int, NaN) leave the start-up
    // state rather than overflowing or looping for ever.
    static Demo untouched;
    resetDemoSimulation(untouched);
    for (const double t : {1e12, double(NAN)}) {
        catchUpToTime(jumped, t, sampleStrandTracks);
        expectSameState(jumped, untouched);
    }
}
