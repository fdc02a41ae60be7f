// The production as every program that draws it loads and draws it: the
// deliverables' frame loop, the capture tool and the frame benchmark share
// these steps, so that a frame is the same whoever draws it. The tracks
// record owns the sync device and its tracks until releaseProductionTracks.
#pragma once

#include "sync/track_names.h"

struct Demo;
struct SyncDevice;
struct SyncTrack;

struct ProductionTracks {
    SyncDevice* device = nullptr;          // null when it could not be made
    SyncTrack* tracks[trackCount] = {};    // owned by the device; null entries read 0.0
};

// The screen quads and the sky dome mesh (needs GL).
void loadProductionMeshes();
// The device on sync/sync and its tracks, each read from its file; prints
// what createSyncDevice prints. Without a device every track stays null.
void openProductionTracks(ProductionTracks& tracks);
// How many tracks hold at least one key.
int countKeyedTracks(const ProductionTracks& tracks);
// Fills the trackCount values at a row (rows).
void sampleProductionTracks(const ProductionTracks& tracks, double row, float* values);
// The frame loop's frame: the scene of the row drawn with the values the
// tracks hold there, at the music time as the loop keeps it (a float).
void drawFrameAt(Demo& demo, const float* trackValues, double row, float musicTime /* seconds */);
// Brings the Demo, whatever was drawn before, to the state playback leaves
// just before the frame at musicTime, so a frame drawn there matches playback.
void catchUpFrameAt(Demo& demo, const ProductionTracks& tracks, double musicTime /* seconds */);
// Frees the device and its tracks.
void releaseProductionTracks(ProductionTracks& tracks);
