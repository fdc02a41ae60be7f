// Reproducible randomness and the small vector helpers of the effects: an
// integer hash that turns a seed into a float, the point generators built on
// it, rotations and the path of the twisting strand. Pure functions; nothing
// here owns state, so two runs produce the same shapes bit for bit.
#pragma once

#include <cmath>
#include <cstdint>

#include <glm/vec3.hpp>

// One point of every point list: position in xyz, a per-point weight in w
// (a size or brightness factor that the shaders read).
struct Vec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

inline bool operator==(const Vec4& a, const Vec4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

// Degrees to radians, with the factor every deformation uses.
constexpr float degreesToRadians = 0.017453293f;

// Maps a seed to a float in (-1, 1]; 32-bit wrapping arithmetic on the seed.
float hashNoise(int32_t seed);

// Seeds derived from a point index (wrapping 32-bit arithmetic). The radius
// seed is computed in double and becomes INT32_MIN when out of range.
int32_t seedX(int32_t i);
int32_t seedY(int32_t i);
int32_t seedZ(int32_t i);
int32_t seedWeight(int32_t i);
int32_t seedRadius(int32_t i);

// Weight of generated point i: between 0.2 * weight and weight.
float randomWeight(int32_t i, float weight);

// Point in the axis-aligned cube of half-size scale.
Vec4 randomInCube(int32_t i, float scale, float weight);
// Point between 0.707 * scale and 1.095 * scale from the origin, with the
// directions crowding towards the x-y plane.
Vec4 randomFlatShell(int32_t i, float scale, float weight);
// Point between 0.316 * scale and 0.894 * scale from the origin.
Vec4 randomInBall(int32_t i, float scale, float weight);

// Turns (x, y, z) about the vertical axis; w passes through.
Vec4 rotateAboutY(float angle /* radians */, float x, float y, float z, float w);

// Point of the strand's centre line at height h; t is the wobble's phase.
glm::vec3 strandPath(float h /* height units */, float t /* seconds */);

// Right-handed rotation of v about axis (normalised here). Inline: the graph
// nodes turn 8000 points with it every frame.
inline glm::vec3 rotateAboutAxis(const glm::vec3& v, const glm::vec3& axis, float angle /* degrees */) {
    // The rotation matrix is built exactly as GLM's axis-angle rotate builds
    // it, and applied column by column as GLM's matrix-vector product does, so
    // results match GLM to the bit without the cost of a 4x4 product.
    const float a = angle * degreesToRadians;
    const float c = std::cos(a);
    const float s = std::sin(a);
    const float dot = axis.x * axis.x + axis.y * axis.y + axis.z * axis.z;
    const float inverseLength = 1.0f / std::sqrt(dot);
    const glm::vec3 u(axis.x * inverseLength, axis.y * inverseLength, axis.z * inverseLength);
    const glm::vec3 t((1.0f - c) * u.x, (1.0f - c) * u.y, (1.0f - c) * u.z);

    const float r00 = c + t.x * u.x;
    const float r01 = t.x * u.y + s * u.z;
    const float r02 = t.x * u.z - s * u.y;
    const float r10 = t.y * u.x - s * u.z;
    const float r11 = c + t.y * u.y;
    const float r12 = t.y * u.z + s * u.x;
    const float r20 = t.z * u.x + s * u.y;
    const float r21 = t.z * u.y - s * u.x;
    const float r22 = c + t.z * u.z;

    return glm::vec3((r00 * v.x + r10 * v.y) + r20 * v.z, (r01 * v.x + r11 * v.y) + r21 * v.z,
                     (r02 * v.x + r12 * v.y) + r22 * v.z);
}
