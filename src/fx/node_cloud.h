// Node clouds: fixed-size point sets drawn as sprites. A cloud keeps its rest
// shape apart from the working positions that are drawn; every update rebuilds
// the working positions from the rest shape, so nothing accumulates, except the
// permanent respawn of a point's direction in advect. The cloud owns its three
// lists and its sprite batch; the Demo creates the clouds once at start-up.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/mesh.h"
#include "fx/noise.h"

struct NodeCloud {
    std::vector<Vec4> restPositions;     // rest xyz, sprite size factor in w
    std::vector<Vec4> workingPositions;  // what is drawn; rebuilt by every update
    std::vector<Vec4> directions;        // drift velocity, rotation axis and phase (xyz)
    Mesh sprites;                        // one quad per point
    double radius = 0.0;                 // nominal radius, units
};

// Fills the three lists with count points (no GL work).
void generatePoints(NodeCloud& cloud, int32_t count, float radius);
// generatePoints, then makes the sprite batch with count quads (needs GL).
void generate(NodeCloud& cloud, int32_t count, float radius);
// Moves every rest position onto the sphere of the cloud's radius.
void projectToSphere(NodeCloud& cloud);
// Working positions = rest positions.
void resetPositions(NodeCloud& cloud);

// Deformations of the working positions, in index order.
void advect(NodeCloud& cloud, float s);
void swirl(NodeCloud& cloud, float s);
void twist(NodeCloud& cloud, float a, float b /* degrees per unit of direction z */, float c /* units */);
void scale(NodeCloud& cloud, float x);

// Start-up deformation of the graph nodes; its lasting effect is the set of
// directions replaced by respawns.
void shape(NodeCloud& cloud);
// Per-frame deformation of the graph nodes.
void update(NodeCloud& cloud, double time /* seconds */, float scaleAmount, float twistAngle,
            float twistRadius /* units */);

// Frees the three lists (the batch's GL objects end with the context).
void releaseNodeCloud(NodeCloud& cloud);
