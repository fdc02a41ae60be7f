#include "fx/swarm_field.h"

#include <algorithm>
#include <cmath>

#include "fx/link_lines.h"
#include "sync/track_names.h"

namespace {

constexpr int32_t profileSize = 20;
constexpr int32_t rowCount = 150;
constexpr int32_t clusterCount = profileSize * rowCount;
constexpr float period = 3400.0f;              // height units
constexpr float rowSpacing = 3400.0f / 150.0f;  // 22.666666 in single precision
constexpr float halfPeriod = 1700.0f;          // height units
constexpr float startTime = 80.5f;             // seconds: the strand as the second scene opens
constexpr float startSpread = 3.0f;            // strandSpread at start-up

}  // namespace

void generate(SwarmField& field, float radius, float weight) {
    field.radius = radius;
    field.clusterCount = clusterCount;

    field.scatterPoints.clear();
    field.scatterPoints.reserve(clusterCount);
    for (int32_t f = 0; f < clusterCount; ++f) {
        const int32_t seed = static_cast<int32_t>(static_cast<uint32_t>(f) * 233242u - 23u);
        field.scatterPoints.push_back(randomInCube(seed, radius, weight));
    }
    // Node 0 has no scatter direction: it starts at the origin.
    field.scatterPoints[0] = Vec4{0.0f, 0.0f, 0.0f, weight};

    field.profileSize = profileSize;
    field.period = period;
    field.rowCount = rowCount;
    field.rowSpacing = rowSpacing;
    field.halfPeriod = halfPeriod;

    // Ten mirrored pairs of rung points, 40 to 256 units either side of the centre line.
    field.strandProfile.clear();
    field.strandProfile.reserve(profileSize);
    for (int32_t i = 0; i < profileSize; i += 2) {
        const float z = static_cast<float>(12 * i + 40);
        const float x = 120.0f * hashNoise(i * (i + 2) + 4343);
        const float y = 40.0f * hashNoise(7 * i * i + 3434);
        const float w = hashNoise(7 * i * i - 1434) * weight * 0.125f + weight * 0.5f;
        field.strandProfile.push_back(Vec4{x, y, z, w});
        field.strandProfile.push_back(Vec4{-x, y, -z, w});
    }

    // Each rung turns by 0.01 radian per height unit: the ladder twists.
    field.clusterCentres.clear();
    field.clusterCentres.reserve(clusterCount);
    for (int32_t e = 0; e < rowCount; ++e) {
        const float h = static_cast<float>(e) * field.rowSpacing - field.halfPeriod;
        const glm::vec3 c = strandPath(h, 0.0f);
        for (const Vec4& b : field.strandProfile) {
            const Vec4 r = rotateAboutY(h * 0.01f, b.x, b.y, b.z, b.w);
            field.clusterCentres.push_back(Vec4{r.x + c.x, h, r.z + c.z, b.w});
        }
    }

    float startTracks[trackCount] = {};
    startTracks[track::strandSpread] = startSpread;
    bendStrand(field, startTime, startTracks);
    gatherClusters(field, startTime);
    sortByDistance(Vec4{}, field.clusterCentres, -1, field.secondTable);
}

void bendStrand(SwarmField& field, float time, const float* tracks) {
    const int32_t size = static_cast<int32_t>(field.clusterCentres.size());
    const float wavePhase = std::min(time, waveStop) * 3.14f;
    for (int32_t e = 0; e < field.rowCount; ++e) {
        // strandScroll scrolls the rungs along the strand; fmod keeps the sign, so
        // a negative scroll gives heights below -halfPeriod.
        const float h =
            std::fmod(static_cast<float>(e) * field.rowSpacing + tracks[track::strandScroll], field.period) -
            field.halfPeriod;
        const glm::vec3 c = strandPath(h, time);
        // Rungs near height 400 swell most (bulge); strandSpread sets the base width.
        const float bulge = std::pow(1.0f - std::fabs((h - 400.0f) / field.halfPeriod), 5.0f) * tracks[track::bulge];
        const float spread = bulge + tracks[track::strandSpread];
        // strandWave sets how far the rungs wave about the strand.
        const float a = h * 0.01f + std::sin(h * 0.01f + wavePhase) * tracks[track::strandWave];
        // Every point of a rung turns by the same angle: one cosine and sine per rung.
        const float cs = std::cos(a);
        const float sn = std::sin(a);
        for (int32_t f = 0; f < field.profileSize; ++f) {
            const int32_t index = f + field.profileSize * e;
            if (index >= size) return;
            const Vec4& b = field.strandProfile[f];
            const float x = b.x * spread;
            const float z = b.z * spread;
            // rotateAboutY(a, x, y, z, w), with the rung's cosine and sine.
            const float rx = x * cs + z * sn;
            const float rz = -x * sn + z * cs;
            field.clusterCentres[index] = Vec4{rx + c.x, h, rz + c.z, b.w};
        }
    }
}

void gatherClusters(SwarmField& field, float time) {
    const double sinceStart = static_cast<double>(time) - gatherStart;
    const size_t n = std::min(field.clusterCentres.size(), field.scatterPoints.size());
    // The nodes of one rung share their height, so the strand axis point is
    // evaluated once per height, not once per node.
    float axisHeight = std::nanf("");
    glm::vec3 axis(0.0f);
    for (size_t i = 0; i < n; ++i) {
        const Vec4& sp = field.scatterPoints[i];
        const Vec4 p = field.clusterCentres[i];

        Vec4 scattered{sp.x, sp.y, sp.z, sp.w};
        const float length = std::sqrt(sp.x * sp.x + sp.y * sp.y + sp.z * sp.z);
        if (length != 0.0f) {
            const float nx = sp.x / length;
            const float nz = sp.z / length;
            scattered = Vec4{p.x * std::fabs(nx) * 10.0f, p.y, p.z * std::fabs(nz) * 10.0f, sp.w};
        }

        if (!(p.y == axisHeight)) {
            axisHeight = p.y;
            axis = strandPath(p.y, 0.0f);
        }
        const float dx = p.x - axis.x;
        const float dy = p.y - axis.y;
        const float dz = p.z - axis.z;
        const float d = std::sqrt(dx * dx + dy * dy + dz * dz);

        // Nodes farther from the strand axis arrive a little sooner.
        const double v = std::clamp(static_cast<double>(d * 0.0001f + 0.05f) * sinceStart, 0.0, 1.0);
        const float t = static_cast<float>(v);
        const float s = t * t * (3.0f - 2.0f * t);
        field.clusterCentres[i] = Vec4{scattered.x + s * (p.x - scattered.x),
                                       scattered.y + s * (p.y - scattered.y),
                                       scattered.z + s * (p.z - scattered.z),
                                       scattered.w + s * (p.w - scattered.w)};
    }
}

int32_t followedCluster(const SwarmField& field, double time) {
    if (field.secondTable.empty()) return -1;
    const double seconds = std::trunc(time - secondTableStart);
    const double last = static_cast<double>(field.secondTable.size() - 1);
    // Clamped both ways: a NaN time falls to entry 0.
    const size_t k = seconds > 0.0 ? static_cast<size_t>(std::min(seconds, last)) : 0;
    return field.secondTable[k];
}

void releaseSwarmField(SwarmField& field) {
    std::vector<Vec4>().swap(field.clusterCentres);
    std::vector<Vec4>().swap(field.strandProfile);
    std::vector<int32_t>().swap(field.secondTable);
    std::vector<Vec4>().swap(field.scatterPoints);
}
