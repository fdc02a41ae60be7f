// The arithmetic and choices of the two scene frames that need no GL: the
// grow phase and radii, the node draw count, the camera mode, the second
// index, the second scene's near, far and rim node selection and the dust
// explosion positions. Pure functions; lists are owned by the caller and
// only appended to or overwritten, never reallocated beyond their use.
#pragma once

#include <cstdint>
#include <vector>

#include "fx/noise.h"
#include "fx/swarm_field.h"

// Music time before which the second scene pins cluster 0 to the origin.
constexpr double pinFirstClusterUntil = 114.12;  // seconds
// Width of the shell's outer rim whose nodes get wire spheres and rays.
constexpr float rimWidth = 1510.0f;  // units

// Fractional part of musicTime x 0.1, in double, then narrowed: 0..1.
float growAt(double musicTime /* seconds */);
// (musicTime - 50) x 25, narrowed; never below 0 (units).
float growRadiusAt(double musicTime /* seconds */);
// The larger of the two link thresholds, crossThreshold and innerThreshold (units).
float maxRadiusOf(const float* trackValues);

// How many of nodeCount sprites to draw for track::nodeCount: the value truncated
// toward zero, where -1 and anything above nodeCount mean all of them and
// any other negative count means none.
int32_t nodeDrawCount(float trackValue, int32_t nodeCount);

// Camera mode of the second scene: track::cameraMode truncated toward zero.
int32_t cameraModeOf(float trackValue);
// Entry of the second table that camera mode 3 follows: musicTime - 80.5
// truncated toward zero, never below 0, never past the table's last entry.
int32_t secondIndexAt(double musicTime /* seconds */, int32_t tableSize);

// Fills the three lists of the second scene's nodes (each emptied first)
// from the clusters in clusterOrder, ascending distance from the origin.
// nearNodes: near the eye; farNodes: the others; rimNodes: also listed when
// in the outer rim of the shell. When pinFirst is set, cluster 0 has been
// pinned to the origin: it is listed first in nearNodes and not again.
// Position 0 of the order is never examined; the walk stops at the first
// cluster beyond shellRadius. A cluster whose centre is not finite is skipped.
void selectNodes(const std::vector<Vec4>& clusterCentres, const std::vector<int32_t>& clusterOrder,
                 float eyeX, float eyeY, float eyeZ, float nearDistance /* units */,
                 float shellRadius /* units */, bool pinFirst, std::vector<int32_t>& nearNodes,
                 std::vector<int32_t>& farNodes, std::vector<int32_t>& rimNodes);

// What the dust explosion computes per node that does not change from frame
// to frame: the node's height along the strand, the shape of the bulge there,
// the sines of its two seeds and the parts of the strand path at that height
// that do not move with time. Filled once for a node count.
struct DustExplosionTable {
    std::vector<float> heights;  // h per node, height units
    std::vector<float> bulges;   // (1 - |(h - 400) / 500|)^4 per node
    std::vector<float> sines;    // sin(23 + 390 i), taken in double
    std::vector<float> cosines;  // cos of u = sin(32 i + 323.34) + 23 + 390 i, u as float
    std::vector<float> windX;    // 600 sin(h 0.0045 0.33): the strand's slow winding in x, units
    std::vector<float> windZ;    // 600 cos(h 0.0045 0.33), units
    std::vector<float> wobbleX;  // h 0.0105 0.33: the x wobble's phase before time is added, radians
    std::vector<float> wobbleZ;  // h 0.0095 0.33, radians
};

// Fills the table for nodeCount nodes (allocates).
void prepareDustExplosion(DustExplosionTable& table, int32_t nodeCount);
// Rewrites x, y, z of every position as the dust explosion at musicTime
// places node i of positions.size(); w is left as it is. The tracks
// explosionRadius, explosionAngle (base angle, radians) and bulge steer it. The table is
// prepared first when it does not match the node count. Four nodes at a time,
// with exactly the single-precision steps of one node, so the bits are those
// of the node-by-node formula.
void placeDustExplosion(std::vector<Vec4>& positions, double musicTime /* seconds */,
                        const float* trackValues, DustExplosionTable& table);
