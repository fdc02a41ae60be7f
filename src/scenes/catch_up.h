// What a played-back run carries from earlier frames into the frame at a
// given music time: the graph nodes' drift directions replaced by respawns,
// and the hub list built by the last frame that linked nodes (the first
// scene draws the hub spheres before it rebuilds the links). A program that
// starts drawing mid-run calls this once so its first frame matches playback.
#pragma once

#include <functional>

struct Demo;

// Fills the 64 track values at a row (rows).
using TrackSampler = std::function<void(double row, float* trackValues)>;

// Frame period of the playback that is replayed (seconds).
constexpr double kReplayFrameStep = 1.0 / 60.0;

// Brings the Demo, as loadDemo left it, to the state a 60 Hz playback leaves
// just before the frame at musicTime: respawns every graph node that earlier
// frames respawned and rebuilds the links of the last earlier frame that had
// track 27 on. Nothing to do for a frame of the second scene.
void catchUpToTime(Demo& demo, double musicTime /* seconds */, const TrackSampler& sampleTracks);
