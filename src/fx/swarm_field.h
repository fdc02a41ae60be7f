// The strand of the second scene: a twisting ladder of 150 rungs of 20 points
// whose 3000 nodes hang scattered far out and glide onto it from 115.18 s on,
// plus the table of nodes that the hopping camera follows and the two
// strand-based camera modes. The field owns its lists; the Demo builds it once.
#pragma once

#include <cstdint>
#include <vector>

#include "fx/noise.h"

struct Camera;

constexpr double gatherStart = 115.18;     // seconds: nodes start to leave their scatter points
constexpr float waveStop = 179.3125f;      // seconds: the rung wave stops moving
constexpr double secondTableStart = 80.5;  // seconds: music time of secondTable[0]

struct SwarmField {
    std::vector<Vec4> clusterCentres;  // 3000 nodes; entry F + 20 * E is rung E, profile point F
    std::vector<Vec4> strandProfile;   // 20 rung points: x and z offsets, size in w
    std::vector<int32_t> secondTable;  // entry k: node followed by camera mode 3 in second 80.5 + k
    std::vector<Vec4> scatterPoints;   // direction and size of each node's scattered position
    int32_t clusterCount = 0;          // 3000
    float radius = 0.0f;               // half-size of the scatter cube, units
    int32_t profileSize = 0;           // 20
    int32_t rowCount = 0;              // 150
    float period = 0.0f;               // strand length, height units
    float rowSpacing = 0.0f;           // height units between rungs
    float halfPeriod = 0.0f;           // height units
};

// Builds every list and the start-up strand (allocates; no GL work).
void generate(SwarmField& field, float radius /* units */, float weight);
// Rebuilds clusterCentres as the strand bent by the music time and the
// strand tracks (strandScroll, strandWave, strandSpread, bulge).
void bendStrand(SwarmField& field, float time /* seconds */, const float* tracks);
// Moves every node between its scattered position and its strand position.
// A node whose scatter point is the origin has no scatter direction and is
// scattered at the origin itself.
void gatherClusters(SwarmField& field, float time /* seconds */);

// Camera mode 2: orbits the strand path; acts only when track::cameraMode is exactly 2.
void strandCamera(Camera& camera, const float* tracks, float time /* seconds */);
// Camera mode 3: orbits node index; does nothing for an index outside the field.
void clusterCamera(Camera& camera, const float* tracks, const SwarmField& field, int32_t index);
// The node that camera mode 3 follows at a music time: secondTable at the whole
// seconds since 80.5 s, clamped to the table; -1 when the table is empty.
int32_t followedCluster(const SwarmField& field, double time /* seconds */);

// Frees every list.
void releaseSwarmField(SwarmField& field);
