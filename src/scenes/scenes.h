// The two scene frames: each runs its fixed sequence of passes once per
// frame, from the camera update to the tone map and overlay in the window's
// back buffer, with a profiler mark after each pass. The scenes own nothing;
// everything that lasts lives in the Demo. The entry point swaps afterwards.
#pragma once

struct Demo;

// First scene (integer row up to 1263). trackValues holds the 64 track values.
void drawScene1(const float* trackValues, Demo& demo, double musicTime /* seconds */);
// Second scene (from row 1264 on).
void drawScene2(const float* trackValues, Demo& demo, double musicTime /* seconds */);
// The second scene's strand pass: the near nodes into the bound target
// (strandTarget), a depth pre-pass and two soft additive draws.
void drawStrandPass(Demo& demo, float musicTime /* seconds */, const float* trackValues);
