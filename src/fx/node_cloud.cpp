#include "fx/node_cloud.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fx/lanes.h"

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
    const float theta = 20.0f * w * k * degreesToRadians;
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
        const float theta = 0.1f * s * d.x * length * degreesToRadians;
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
    // step reads and writes only its own point, so a block of points goes
    // through all four steps at once: the arithmetic runs four lanes wide and
    // the sines and cosines point by point between the stages. Each lane does
    // exactly the single-precision operations of the separate passes, in the
    // same order, so the result is the same to the bit.
    constexpr int32_t pointsPerBlock = 16;
    constexpr int32_t vectorsPerBlock = pointsPerBlock / 4;
    const float t = static_cast<float>(time);
    const float a = t * 0.5f;
    const float radius = static_cast<float>(cloud.radius);
    const float limit = 2.0f * radius;
    const Float4 zero = splat(0.0f);
    const Float4 one = splat(1.0f);
    const int32_t n = static_cast<int32_t>(cloud.restPositions.size());
    cloud.workingPositions.resize(n);

    // Coordinates of one block, a list per component.
    alignas(16) float px[pointsPerBlock], py[pointsPerBlock], pz[pointsPerBlock], pw[pointsPerBlock];
    alignas(16) float dx[pointsPerBlock], dy[pointsPerBlock], dz[pointsPerBlock];
    alignas(16) float angle[pointsPerBlock], c[pointsPerBlock], sn[pointsPerBlock];
    alignas(16) float rx[pointsPerBlock], ry[pointsPerBlock], rz[pointsPerBlock];
    auto load = [](const float* list, int32_t v) { return load4(list + 4 * v); };
    auto store = [](float* list, int32_t v, Float4 value) { store4(list + 4 * v, value); };

    for (int32_t start = 0; start < n; start += pointsPerBlock) {
        const int32_t m = std::min(pointsPerBlock, n - start);
        // Lanes past the last point compute on a harmless stand-in and are not stored.
        for (int32_t k = 0; k < pointsPerBlock; ++k) {
            const bool inside = k < m;
            const Vec4 rest = inside ? cloud.restPositions[start + k] : Vec4{};
            const Vec4 d = inside ? cloud.directions[start + k] : Vec4{1.0f, 0.0f, 0.0f, 0.0f};
            // advect: the direction's y and z trade places.
            px[k] = rest.x + t * d.x;
            py[k] = rest.y + t * d.z;
            pz[k] = rest.z + t * d.y;
            pw[k] = rest.w;
            dx[k] = d.x;
            dy[k] = d.y;
            dz[k] = d.z;
        }
        for (int32_t v = 0; v < vectorsPerBlock; ++v) {
            const Float4 x = load(px, v), y = load(py, v), z = load(pz, v);
            store(angle, v, sqrt4(x * x + y * y + z * z));
        }
        // Points that drift twice the radius out respawn for good.
        for (int32_t k = 0; k < m; ++k) {
            if (!(angle[k] >= limit)) continue;
            const int32_t i = start + k;
            const Vec4 p = randomInCube(wrapSeed(23u, 232u, i), radius * 0.5f, 1.0f);
            const Vec4 d = randomInBall(wrapSeed(3u, 22u, i), 1.0f, 1.0f);
            cloud.directions[i] = d;
            px[k] = p.x;
            py[k] = p.y;
            pz[k] = p.z;
            pw[k] = p.w;
            dx[k] = d.x;
            dy[k] = d.y;
            dz[k] = d.z;
        }

        // twist, first the spin about each point's own direction...
        for (int32_t k = 0; k < pointsPerBlock; ++k) {
            const float spin = dz[k] * twistAngle * degreesToRadians;
            c[k] = std::cos(spin);
            sn[k] = std::sin(spin);
        }
        for (int32_t v = 0; v < vectorsPerBlock; ++v) {
            const Float4 x = load(px, v), y = load(py, v), z = load(pz, v);
            const Float4 ax = load(dx, v), ay = load(dy, v), az = load(dz, v);
            const Float4 cv = load(c, v), sv = load(sn, v);
            const Float4 inverseLength = one / sqrt4(ax * ax + ay * ay + az * az);
            const Float4 ux = ax * inverseLength;
            const Float4 uy = ay * inverseLength;
            const Float4 uz = az * inverseLength;
            const Float4 tx = (one - cv) * ux;
            const Float4 ty = (one - cv) * uy;
            const Float4 tz = (one - cv) * uz;
            const Float4 r0 = ((cv + tx * ux) * x + (ty * ux - sv * uz) * y) + (tz * ux + sv * uy) * z;
            const Float4 r1 = ((tx * uy + sv * uz) * x + (cv + ty * uy) * y) + (tz * uy - sv * ux) * z;
            const Float4 r2 = ((tx * uz - sv * uy) * x + (ty * uz + sv * ux) * y) + (cv + tz * uz) * z;
            store(rx, v, r0);
            store(ry, v, r1);
            store(rz, v, r2);
            // ...then the turn about the vertical axis, none within the radius.
            const Float4 w = max0(sqrt4(r0 * r0 + r1 * r1 + r2 * r2) - splat(twistRadius)) / splat(150.0f);
            const Float4 k2 = max0(w * splat(a));
            store(angle, v, splat(20.0f) * w * k2 * splat(degreesToRadians));
        }
        for (int32_t k = 0; k < pointsPerBlock; ++k) {
            c[k] = 1.0f;
            sn[k] = 0.0f;
            if (angle[k] != 0.0f) {
                c[k] = std::cos(angle[k]);
                sn[k] = std::sin(angle[k]);
            }
        }

        // scale: away from the origin to (1 + amount) times the distance; a
        // point at the origin has no direction and stays.
        const Float4 amount = splat(scaleAmount);
        for (int32_t v = 0; v < vectorsPerBlock; ++v) {
            const Float4 r0 = load(rx, v), r1 = load(ry, v), r2 = load(rz, v);
            const Float4 cv = load(c, v), sv = load(sn, v);
            const Float4 qx = r0 * cv + r2 * sv;
            const Float4 qz = r2 * cv - r0 * sv;
            const Float4 length = sqrt4(qx * qx + r1 * r1 + qz * qz);
            const Mask4 atOrigin = length == zero;
            const Float4 nx = atOrigin ? zero : qx / length;
            const Float4 ny = atOrigin ? zero : r1 / length;
            const Float4 nz = atOrigin ? zero : qz / length;
            store(px, v, qx + nx * amount * length);
            store(py, v, r1 + ny * amount * length);
            store(pz, v, qz + nz * amount * length);
        }
        for (int32_t k = 0; k < m; ++k) cloud.workingPositions[start + k] = Vec4{px[k], py[k], pz[k], pw[k]};
    }
}

void releaseNodeCloud(NodeCloud& cloud) {
    std::vector<Vec4>().swap(cloud.restPositions);
    std::vector<Vec4>().swap(cloud.workingPositions);
    std::vector<Vec4>().swap(cloud.directions);
}
