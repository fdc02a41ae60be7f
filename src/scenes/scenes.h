// The two scene frames: each runs its fixed sequence of passes once per
// frame, from the camera update to the tone map and overlay in the window's
// back buffer, with a profiler mark after each pass. The scenes own nothing;
// everything that lasts lives in the Demo. The entry point swaps afterwards.
#pragma once

#include <cstdint>
#include <vector>

struct Demo;
struct SwarmField;

// First scene (integer row up to 1263). trackValues holds the 64 track values.
void drawScene1(const float* trackValues, Demo& demo, double musicTime /* seconds */);
// Second scene (from row 1264 on).
void drawScene2(const float* trackValues, Demo& demo, double musicTime /* seconds */);
// The first scene's graph node step: the nodes moved to the frame's music
// time, scale and twist (node tracks).
void moveGraphNodes(Demo& demo, double musicTime /* seconds */, const float* trackValues);
// While track::links is on, the link graph rebuilt on the moved nodes with
// the frame's thresholds; false (and the links as they were) while it is off.
bool linkGraphNodes(Demo& demo, const float* trackValues);
// The second scene's strand update: bends the strand, gathers the clusters
// onto it, fills clusterOrder (when given) by distance from the origin, then
// pins cluster 0 to the origin before 114.12 s; true when it pinned. The
// centres it leaves are what camera mode 3 follows in the next frame.
bool moveStrand(SwarmField& swarm, const float* trackValues, double musicTime /* seconds */,
                std::vector<int32_t>* clusterOrder);
// The second scene's strand pass: the near nodes into the bound target
// (strandTarget), a depth pre-pass and two soft additive draws.
void drawStrandPass(Demo& demo, float musicTime /* seconds */, const float* trackValues);
