// What a played-back run carries from earlier frames into the frame at a
// given music time: the graph nodes' drift directions replaced by respawns,
// the hub list built by the last frame that linked nodes (the first scene
// draws the hub spheres before it rebuilds the links), the graph nodes as the
// last frame of the first scene left them (the second scene's dust explosion
// keeps their sizes), and the second scene's cluster centres as the previous
// frame left them (camera mode 3 follows one before the strand is rebuilt).
// A program that starts drawing mid-run, or jumps to another time, calls this
// once so the next frame matches playback.
#pragma once

#include <functional>

struct Demo;

// Fills the 64 track values at a row (rows).
using TrackSampler = std::function<void(double row, float* trackValues)>;

// Frame period of the playback that is replayed (seconds).
constexpr double replayFrameStep = 1.0 / 60.0;

// Brings the Demo, from whatever state earlier frames left it in, to the
// state a 60 Hz playback leaves just before the frame at musicTime, whose
// frames fall at musicTime - k / 60 s. Puts the simulation back to its
// start-up state, then replays only what lasts: respawns, the last link build
// and, in the second scene, the last frame of the first scene and the strand
// of the previous frame. No GL work; well under a second for any time.
// A time that is not finite or over a day away only resets the simulation.
void catchUpToTime(Demo& demo, double musicTime /* seconds */, const TrackSampler& sampleTracks);
