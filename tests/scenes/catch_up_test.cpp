#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo.h"
#include "app/timeline.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "scenes/catch_up.h"

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
    const int frames = int(musicTime / kReplayFrameStep);
    for (int k = frames; k >= 1; --k) {
        const double t = musicTime - k * kReplayFrameStep;
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

} // namespace

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

TEST(CatchUp, NothingToDoInTheSecondScene)
{
    static Demo fresh, single;
    setUp(fresh);
    setUp(single);
    catchUpToTime(single, 150.0, sampleTracks);
    EXPECT_TRUE(sameDirections(fresh.graphNodes, single.graphNodes));
    EXPECT_EQ(fresh.links.hubs, single.links.hubs);
}
