#include "fx/node_cloud.h"

#include <algorithm>
#include <cmath>

namespace {

inline float lengthOf(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

inline int32_t wrapSeed(uint32_t a, uint32_t b, int32_t i) {
    // a + b * i in wrapping 32-bit arithmetic.
    return static_cast<int32_t>(a + b * static_cast<uint32_t>(i));
}

// Direction of (x, y, z) from the origin; a point at the origin has none and
// gets the zero vector, so the deformations leave it where it is.
inline glm::vec3 directionOf(float x, float y, float z, float length) {
    if (length == 0.0f) return glm::vec3(0.0f);
    return glm::vec3(x / length, y / length, z / length);
}

}  // namespace

void generatePoints(NodeCloud& cloud, int32_t count, float radius) {
    const int32_t n = std::max(count, 0);
    cloud.radius = radius;
    cloud.restPositions.clear();
    cloud.workingPositions.clear();
    cloud.directions.clear();
    cloud.restPositions.reserve(n);
    cloud.workingPositions.reserve(n);
    cloud.directions.reserve(n);
    for (int32_t i = 0; i < n; ++i) {
        const Vec4 p = randomFlatShell(i, radius, 1.0f);
        cloud.workingPositions.push_back(p);
        cloud.restPositions.push_back(p);
        // The direction seeds count down from count to 1.
        cloud.directions.push_back(randomInBall(n - i, 1.0f, 1.0f));
    }
}

void generate(NodeCloud& cloud, int32_t count, float radius) {
    generatePoints(cloud, count, radius);
    createQuadBatch(cloud.sprites, std::max(count, 0));
}

void projectToSphere(NodeCloud& cloud) {
    const float radius = static_cast<float>(cloud.radius);
    const int32_t n = static_cast<int32_t>(cloud.restPositions.size());
    for (int32_t i = 0; i < n; ++i) {
        const Vec4 v = randomInBall(wrapSeed(343u, 43343u, i), radius, 1.0f);
        const float length = lengthOf(v.x, v.y, v.z);
        Vec4& rest = cloud.restPositions[i];
        rest.x = v.x / length * radius;
        rest.y = v.y / length * radius;
        rest.z = v.z / length * radius;
    }
}

void resetPositions(NodeCloud& cloud) {
    // Same length after generate, so this reuses the storage.
    cloud.workingPositions.assign(cloud.restPositions.begin(), cloud.restPositions.end());
}

void advect(NodeCloud& cloud, float s) {
    const float radius = static_cast<float>(cloud.radius);
    const float limit = 2.0f * radius;
    const int32_t n = static_cast<int32_t>(cloud.workingPositions.size());
    for (int32_t i = 0; i < n; ++i) {
        Vec4& p = cloud.workingPositions[i];
        const Vec4& d = cloud.directions[i];
        // The direction's y and z trade places: the drift favours the depth axis.
        p.x += s * d.x;
        p.y += s * d.z;
        p.z += s * d.y;
        if (lengthOf(p.x, p.y, p.z) >= limit) {
            // The respawn is permanent: the new direction stays for every later
            // update, and since the seeds depend only on i a point always
            // respawns at the same place.
            p = randomInCube(wrapSeed(23u, 232u, i), radius * 0.5f, 1.0f);
            cloud.directions[i] = randomInBall(wrapSeed(3u, 22u, i), 1.0f, 1.0f);
        }
    }
}

void swirl(NodeCloud& cloud, float s) {
    const size_t n = cloud.workingPositions.size();
    for (size_t i = 0; i < n; ++i) {
        Vec4& p = cloud.workingPositions[i];
        const Vec4& d = cloud.directions[i];
        const float length = lengthOf(p.x, p.y, p.z);
        const glm::vec3 u = directionOf(p.x, p.y, p.z, length);
        const float push = std::sin(s * d.y * d.x);
        const float qx = p.x + u.x * push * 5.0f;
        const float qy = p.y + u.y * push * 5.0f;
        const float qz = p.z + u.z * push * 5.0f;
        // A turn about z whose angle grows with the distance from the origin.
        const float theta = 0.1f * s * d.x * length * kDegreesToRadians;
        const float c = std::cos(theta);
        const float sn = std::sin(theta);
        p.x = qx * c - qy * sn;
        p.y = qx * sn + qy * c;
        p.z = qz;
    }
}

void twist(NodeCloud& cloud, float a, float b, float c) {
    const size_t n = cloud.workingPositions.size();
    for (size_t i = 0; i < n; ++i) {
        Vec4& p = cloud.workingPositions[i];
        const Vec4& d = cloud.directions[i];
        const glm::vec3 r =
            rotateAboutAxis(glm::vec3(p.x, p.y, p.z), glm::vec3(d.x, d.y, d.z), d.z * b);
        const float w = std::max(lengthOf(r.x, r.y, r.z) - c, 0.0f) / 150.0f;
        const float k = std::max(w * a, 0.0f);
        const float theta = 20.0f * w * k * kDegreesToRadians;
        // Points within c of the origin are not turned: skip the trigonometry
        // for them (cos 0 and sin 0 are exactly 1 and 0).
        float cs = 1.0f;
        float sn = 0.0f;
        if (theta != 0.0f) {
            cs = std::cos(theta);
            sn = std::sin(theta);
        }
        p.x = r.x * cs + r.z * sn;
        p.y = r.y;
        p.z = r.z * cs - r.x * sn;
    }
}

void scale(NodeCloud& cloud, float x) {
    const size_t n = cloud.workingPositions.size();
    for (size_t i = 0; i < n; ++i) {
        Vec4& p = cloud.workingPositions[i];
        const float length = lengthOf(p.x, p.y, p.z);
        const glm::vec3 u = directionOf(p.x, p.y, p.z, length);
        p.x = p.x + u.x * x * length;
        p.y = p.y + u.y * x * length;
        p.z = p.z + u.z * x * length;
    }
}

void shape(NodeCloud& cloud) {
    resetPositions(cloud);
    advect(cloud, 40.0f);
    swirl(cloud, 8.0f);
    twist(cloud, 20.0f, 200.0f, 0.0f);
    scale(cloud, 15.0f);
}

void update(NodeCloud& cloud, double time, float scaleAmount, float twistAngle, float twistRadius) {
    const float t = static_cast<float>(time);
    resetPositions(cloud);
    advect(cloud, t);
    twist(cloud, t * 0.5f, twistAngle, twistRadius);
    scale(cloud, scaleAmount);
}

void releaseNodeCloud(NodeCloud& cloud) {
    std::vector<Vec4>().swap(cloud.restPositions);
    std::vector<Vec4>().swap(cloud.workingPositions);
    std::vector<Vec4>().swap(cloud.directions);
}
