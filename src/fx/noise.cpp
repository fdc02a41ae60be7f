#include "fx/noise.h"

#include <cmath>
#include <limits>

namespace {

// 32-bit wrapping arithmetic on seeds: done in unsigned, converted back at the end.
inline uint32_t wrap(int32_t v) { return static_cast<uint32_t>(v); }
inline int32_t unwrap(uint32_t v) { return static_cast<int32_t>(v); }

// (a, b, c) / |(a, b, c)| with the reciprocal taken once, then scaled by r.
Vec4 scaleDirection(float a, float b, float c, float r, float w) {
    const float length = std::sqrt(a * a + b * b + c * c);
    const float inverse = 1.0f / length;
    return Vec4{a * inverse * r, b * inverse * r, c * inverse * r, w};
}

}  // namespace

float hashNoise(int32_t seed) {
    uint32_t n = wrap(seed);
    n = n ^ (n << 13);
    const uint32_t m = (n * (n * n * 15731u + 789221u) - 771171059u) & 0x7fffffffu;
    return static_cast<float>(1.0 - static_cast<double>(m) * 9.313225746154785e-10);
}

int32_t seedX(int32_t i) {
    const uint32_t u = wrap(i);
    return unwrap(u * u + 3u * u + 43443u);
}

int32_t seedY(int32_t i) {
    const uint32_t u = wrap(i);
    return unwrap(u * u + 43u);
}

int32_t seedZ(int32_t i) {
    const uint32_t u = wrap(i);
    return unwrap(u * u + u + 343u);
}

int32_t seedWeight(int32_t i) { return unwrap(64453u * wrap(i) + 532u); }

int32_t seedRadius(int32_t i) {
    // Computed in double from the index; a value outside the signed 32-bit
    // range becomes INT32_MIN, the integer-indefinite value of a truncating
    // conversion on the machines the shapes were designed on.
    const double d = static_cast<double>(i);
    const double v = std::trunc(4.0 * d * d + 3.4 * d + 33.0);
    if (!(v >= -2147483648.0 && v <= 2147483647.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

float randomWeight(int32_t i, float weight) {
    return std::fabs(hashNoise(seedWeight(i)) * (weight * 0.8f)) + weight * 0.2f;
}

Vec4 randomInCube(int32_t i, float scale, float weight) {
    return Vec4{hashNoise(seedX(i)) * scale, hashNoise(seedY(i)) * scale,
                hashNoise(seedZ(i)) * scale, randomWeight(i, weight)};
}

Vec4 randomFlatShell(int32_t i, float scale, float weight) {
    const float a = hashNoise(seedX(i)) * scale;
    const float b = hashNoise(seedY(i)) * scale;
    const float c = hashNoise(seedZ(i)) * scale * 0.2f;
    const float r = scale * std::sqrt(std::fabs(hashNoise(seedRadius(i))) * 0.7f + 0.5f);
    return scaleDirection(a, b, c, r, randomWeight(i, weight));
}

Vec4 randomInBall(int32_t i, float scale, float weight) {
    const float a = hashNoise(seedX(i)) * scale;
    const float b = hashNoise(seedY(i)) * scale;
    const float c = hashNoise(seedZ(i)) * scale;
    const float r = scale * std::sqrt(std::fabs(hashNoise(seedRadius(i))) * 0.7f + 0.1f);
    return scaleDirection(a, b, c, r, randomWeight(i, weight));
}

Vec4 rotateAboutY(float angle, float x, float y, float z, float w) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return Vec4{x * c + z * s, y, -x * s + z * c, w};
}

glm::vec3 strandPath(float h, float t) {
    // The slow term winds around the vertical axis; the fast terms wobble with
    // different frequencies in x and z, so the wobble is not a circle.
    const float x = 600.0f * std::sin(h * 0.0045f * 0.33f) +
                    300.0f * std::sin(h * 0.0105f * 0.33f + t * 0.0252f);
    const float z = 600.0f * std::cos(h * 0.0045f * 0.33f) +
                    300.0f * std::cos(h * 0.0095f * 0.33f + t * 0.0241f);
    return glm::vec3(x, h, z);
}
