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

// One point of advect: drift along the direction, respawn when too far out.
inline void advectPoint(NodeCloud& cloud, int32_t i, Vec4& p, float s) {
    const Vec4& d = cloud.directions[i];
    // The direction's y and z trade places: the drift favours the depth axis.
    p.x += s * d.x;
    p.y += s * d.z;
    p.z += s * d.y;
    const float radius = static_cast<float>(cloud.radius);
    if (lengthOf(p.x, p.y, p.z) >= 2.0f * radius) {
        // The respawn is permanent: the new direction stays for every later
        // update, and since the seeds depend only on i a point always
        // respawns at the same place.
        p = randomInCube(wrapSeed(23u, 232u, i), radius * 0.5f, 1.0f);
        cloud.directions[i] = randomInBall(wrapSeed(3u, 22u, i), 1.0f, 1.0f);
    }
}

// One point of twist: spin about its own direction, then turn about the
// vertical axis by an angle that grows with the square of the distance past c.
inline void twistPoint(Vec4& p, const Vec4& d, float a, float b, float c) {
    const glm::vec3 r = rotateAboutAxis(glm::vec3(p.x, p.y, p.z), glm::vec3(d.x, d.y, d.z), d.z * b);
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

// One point of scale: move away from the origin to (1 + x) times the distance.
inline void scalePoint(Vec4& p, float x) {
    const float length = lengthOf(p.x, p.y, p.z);
    const glm::vec3 u = directionOf(p.x, p.y, p.z, length);
    p.x = p.x + u.x * x * length;
    p.y = p.y + u.y * x * length;
    p.z = p.z + u.z * x * length;
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
    const int32_t n = static_cast<int32_t>(cloud.workingPositions.size());
    for (int32_t i = 0; i < n; ++i) advectPoint(cloud, i, cloud.workingPositions[i], s);
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
    for (size_t i = 0; i < n; ++i) twistPoint(cloud.workingPositions[i], cloud.directions[i], a, b, c);
}

void scale(NodeCloud& cloud, float x) {
    for (Vec4& p : cloud.workingPositions) scalePoint(p, x);
}

void shape(NodeCloud& cloud) {
    resetPositions(cloud);
    advect(cloud, 40.0f);
    swirl(cloud, 8.0f);
    twist(cloud, 20.0f, 200.0f, 0.0f);
    scale(cloud, 15.0f);
}

void update(NodeCloud& cloud, double time, float scaleAmount, float twistAngle, float twistRadius) {
    // reset, advect(t), twist(t / 2, angle, radius) and scale(amount). Every
    // step reads and writes only its own point, so the points go through all
    // four steps in blocks; within a block each stage runs over all points
    // before the next, which lets the independent square roots, divisions and
    // turns of neighbouring points overlap. The arithmetic of each point is
    // exactly that of the four separate passes.
    constexpr int32_t kBlock = 8;
    const float t = static_cast<float>(time);
    const float a = t * 0.5f;
    const float radius = static_cast<float>(cloud.radius);
    const float limit = 2.0f * radius;
    const int32_t n = static_cast<int32_t>(cloud.restPositions.size());
    cloud.workingPositions.resize(n);
    for (int32_t start = 0; start < n; start += kBlock) {
        const int32_t m = std::min(kBlock, n - start);
        float px[kBlock], py[kBlock], pz[kBlock], pw[kBlock];
        float dx[kBlock], dy[kBlock], dz[kBlock];
        float length[kBlock];

        // advect
        for (int32_t k = 0; k < m; ++k) {
            const Vec4& rest = cloud.restPositions[start + k];
            const Vec4& d = cloud.directions[start + k];
            px[k] = rest.x + t * d.x;
            py[k] = rest.y + t * d.z;
            pz[k] = rest.z + t * d.y;
            pw[k] = rest.w;
            length[k] = lengthOf(px[k], py[k], pz[k]);
        }
        for (int32_t k = 0; k < m; ++k) {
            const int32_t i = start + k;
            if (length[k] >= limit) {
                const Vec4 p = randomInCube(wrapSeed(23u, 232u, i), radius * 0.5f, 1.0f);
                px[k] = p.x;
                py[k] = p.y;
                pz[k] = p.z;
                pw[k] = p.w;
                cloud.directions[i] = randomInBall(wrapSeed(3u, 22u, i), 1.0f, 1.0f);
            }
            const Vec4& d = cloud.directions[i];
            dx[k] = d.x;
            dy[k] = d.y;
            dz[k] = d.z;
        }

        // twist: the spin about each point's own direction...
        float spinCos[kBlock], spinSin[kBlock];
        for (int32_t k = 0; k < m; ++k) {
            const float angle = dz[k] * twistAngle * kDegreesToRadians;
            spinCos[k] = std::cos(angle);
            spinSin[k] = std::sin(angle);
        }
        float rx[kBlock], ry[kBlock], rz[kBlock], theta[kBlock];
        for (int32_t k = 0; k < m; ++k) {
            const float c = spinCos[k];
            const float sn = spinSin[k];
            const float inverseLength = 1.0f / std::sqrt(dx[k] * dx[k] + dy[k] * dy[k] + dz[k] * dz[k]);
            const float ux = dx[k] * inverseLength;
            const float uy = dy[k] * inverseLength;
            const float uz = dz[k] * inverseLength;
            const float tx = (1.0f - c) * ux;
            const float ty = (1.0f - c) * uy;
            const float tz = (1.0f - c) * uz;
            const float r00 = c + tx * ux;
            const float r01 = tx * uy + sn * uz;
            const float r02 = tx * uz - sn * uy;
            const float r10 = ty * ux - sn * uz;
            const float r11 = c + ty * uy;
            const float r12 = ty * uz + sn * ux;
            const float r20 = tz * ux + sn * uy;
            const float r21 = tz * uy - sn * ux;
            const float r22 = c + tz * uz;
            rx[k] = (r00 * px[k] + r10 * py[k]) + r20 * pz[k];
            ry[k] = (r01 * px[k] + r11 * py[k]) + r21 * pz[k];
            rz[k] = (r02 * px[k] + r12 * py[k]) + r22 * pz[k];
            const float w = std::max(lengthOf(rx[k], ry[k], rz[k]) - twistRadius, 0.0f) / 150.0f;
            const float kk = std::max(w * a, 0.0f);
            theta[k] = 20.0f * w * kk * kDegreesToRadians;
        }
        // ...then the turn about the vertical axis (none within the radius).
        float turnCos[kBlock], turnSin[kBlock];
        for (int32_t k = 0; k < m; ++k) {
            turnCos[k] = 1.0f;
            turnSin[k] = 0.0f;
            if (theta[k] != 0.0f) {
                turnCos[k] = std::cos(theta[k]);
                turnSin[k] = std::sin(theta[k]);
            }
        }

        // turn, then scale
        for (int32_t k = 0; k < m; ++k) {
            Vec4 p{rx[k] * turnCos[k] + rz[k] * turnSin[k], ry[k], rz[k] * turnCos[k] - rx[k] * turnSin[k], pw[k]};
            scalePoint(p, scaleAmount);
            cloud.workingPositions[start + k] = p;
        }
    }
}

void releaseNodeCloud(NodeCloud& cloud) {
    std::vector<Vec4>().swap(cloud.restPositions);
    std::vector<Vec4>().swap(cloud.workingPositions);
    std::vector<Vec4>().swap(cloud.directions);
}
