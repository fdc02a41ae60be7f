#include "fx/swarm_field.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "app/window.h"
#include "assets/camera.h"

namespace {

bool sameBits(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec4)) == 0;
}

float lengthOf(float x, float y, float z) { return std::sqrt(x * x + y * y + z * z); }

SwarmField strand() {
    SwarmField field;
    generate(field, 1500.0f, 100.0f);
    return field;
}

struct Tracks {
    float values[64] = {};
};

// The strand as first built: rung E turned by 0.01 radian per height unit
// about its point of the strand path.
std::vector<Vec4> restStrand(const SwarmField& field) {
    std::vector<Vec4> out;
    for (int32_t e = 0; e < 150; ++e) {
        const float h = static_cast<float>(e) * field.rowSpacing - 1700.0f;
        const glm::vec3 c = strandPath(h, 0.0f);
        for (const Vec4& b : field.strandProfile) {
            const Vec4 r = rotateAboutY(h * 0.01f, b.x, b.y, b.z, b.w);
            out.push_back(Vec4{r.x + c.x, h, r.z + c.z, b.w});
        }
    }
    return out;
}

}  // namespace

TEST(SwarmField, NewFieldIsEmpty) {
    const SwarmField field;
    EXPECT_TRUE(field.clusterCentres.empty());
    EXPECT_TRUE(field.secondTable.empty());
    EXPECT_EQ(field.clusterCount, 0);
    EXPECT_EQ(field.period, 0.0f);
}

TEST(SwarmField, GenerateBuildsProfileScatterAndTable) {
    const SwarmField field = strand();
    EXPECT_EQ(field.clusterCount, 3000);
    EXPECT_EQ(field.profileSize, 20);
    EXPECT_EQ(field.rowCount, 150);
    EXPECT_EQ(field.period, 3400.0f);
    EXPECT_EQ(field.halfPeriod, 1700.0f);
    EXPECT_EQ(field.rowSpacing, 22.666666f);
    EXPECT_EQ(field.radius, 1500.0f);
    ASSERT_EQ(field.clusterCentres.size(), 3000u);
    ASSERT_EQ(field.scatterPoints.size(), 3000u);
    ASSERT_EQ(field.strandProfile.size(), 20u);

    for (int32_t i = 0; i < 20; i += 2) {
        const Vec4& p = field.strandProfile[i];
        const Vec4& mirror = field.strandProfile[i + 1];
        EXPECT_EQ(p.z, static_cast<float>(12 * i + 40));
        EXPECT_EQ(mirror.z, -p.z);
        EXPECT_EQ(mirror.x, -p.x);
        EXPECT_EQ(p.x, 120.0f * hashNoise(i * (i + 2) + 4343));
        EXPECT_EQ(p.y, 40.0f * hashNoise(7 * i * i + 3434));
        EXPECT_GE(p.w, 37.5f);
        EXPECT_LE(p.w, 62.5f);
    }
    EXPECT_EQ(field.strandProfile[18].z, 256.0f);

    EXPECT_TRUE(field.scatterPoints[0] == (Vec4{0, 0, 0, 100}));
    EXPECT_TRUE(field.scatterPoints[7] == randomInCube(-23 + 233242 * 7, 1500.0f, 100.0f));
    for (const Vec4& p : field.scatterPoints) {
        EXPECT_GE(p.w, 20.0f);
        EXPECT_LE(p.w, 100.0f);
    }

    // The table orders every node by distance from the origin; node 0 starts there.
    ASSERT_EQ(field.secondTable.size(), 3000u);
    EXPECT_EQ(field.secondTable[0], 0);
    std::vector<int32_t> seen = field.secondTable;
    std::sort(seen.begin(), seen.end());
    for (int32_t i = 0; i < 3000; ++i) ASSERT_EQ(seen[i], i);
    for (size_t k = 0; k + 1 < 3000; ++k) {
        const Vec4& a = field.clusterCentres[field.secondTable[k]];
        const Vec4& b = field.clusterCentres[field.secondTable[k + 1]];
        ASSERT_LE(lengthOf(a.x, a.y, a.z), lengthOf(b.x, b.y, b.z));
    }
}

TEST(SwarmField, TwoGenerationsAreBitIdentical) {
    SwarmField a = strand();
    SwarmField b = strand();
    EXPECT_TRUE(sameBits(a.clusterCentres, b.clusterCentres));
    EXPECT_TRUE(sameBits(a.scatterPoints, b.scatterPoints));
    EXPECT_TRUE(sameBits(a.strandProfile, b.strandProfile));
    EXPECT_EQ(a.secondTable, b.secondTable);
    Tracks tracks;
    tracks.values[21] = -500.0f;
    tracks.values[22] = 0.3f;
    tracks.values[23] = 1.2f;
    tracks.values[42] = 2.0f;
    for (SwarmField* field : {&a, &b}) {
        bendStrand(*field, 123.4f, tracks.values);
        gatherClusters(*field, 123.4f);
    }
    EXPECT_TRUE(sameBits(a.clusterCentres, b.clusterCentres));
}

TEST(SwarmField, AllTracksZeroCollapsesEveryRung) {
    SwarmField field = strand();
    const Tracks tracks;
    bendStrand(field, 42.0f, tracks.values);
    for (int32_t e = 0; e < 150; ++e) {
        const float h = static_cast<float>(e) * field.rowSpacing - 1700.0f;
        const glm::vec3 c = strandPath(h, 42.0f);
        for (int32_t f = 0; f < 20; ++f) {
            const Vec4& p = field.clusterCentres[f + 20 * e];
            ASSERT_EQ(p.x, c.x);
            ASSERT_EQ(p.y, h);
            ASSERT_EQ(p.z, c.z);
            ASSERT_EQ(p.w, field.strandProfile[f].w);
        }
    }
}

TEST(SwarmField, UnitSpreadAtTimeZeroRebuildsTheGeneratedStrand) {
    SwarmField field = strand();
    Tracks tracks;
    tracks.values[23] = 1.0f;
    bendStrand(field, 0.0f, tracks.values);
    const std::vector<Vec4> expected = restStrand(field);
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_TRUE(field.clusterCentres[i] == expected[i]) << i;
}

TEST(SwarmField, BendFollowsScrollSpreadBulgeAndWave) {
    SwarmField field = strand();
    Tracks tracks;
    tracks.values[21] = -100.0f;  // heights below -1700 for the first rungs
    tracks.values[22] = 0.5f;
    tracks.values[23] = 2.0f;
    tracks.values[42] = 3.0f;
    const float time = 200.0f;  // past the wave stop
    bendStrand(field, time, tracks.values);
    EXPECT_EQ(field.clusterCentres[0].y, -1800.0f);

    const int32_t e = 93;
    const float h = std::fmod(static_cast<float>(e) * field.rowSpacing - 100.0f, 3400.0f) - 1700.0f;
    const double bulge = std::pow(1.0 - std::fabs((h - 400.0) / 1700.0), 5.0) * 3.0;
    const double spread = bulge + 2.0;
    const double a = h * 0.01 + std::sin(h * 0.01 + 179.3125 * 3.14) * 0.5;
    const glm::vec3 c = strandPath(h, time);
    for (int32_t f = 0; f < 20; ++f) {
        const Vec4& b = field.strandProfile[f];
        const Vec4& p = field.clusterCentres[f + 20 * e];
        const double x = b.x * spread;
        const double z = b.z * spread;
        EXPECT_NEAR(p.x, x * std::cos(a) + z * std::sin(a) + c.x, 0.05);
        EXPECT_NEAR(p.z, -x * std::sin(a) + z * std::cos(a) + c.z, 0.05);
        EXPECT_EQ(p.y, h);
    }
    // After the wave stops, time no longer turns the rungs.
    std::vector<Vec4> later = field.clusterCentres;
    bendStrand(field, 300.0f, tracks.values);
    const glm::vec3 shift = strandPath(h, 300.0f) - c;
    EXPECT_NEAR(field.clusterCentres[20 * e + 3].x, later[20 * e + 3].x + shift.x, 1e-2);
}

TEST(SwarmField, NodesStayScatteredUntilTheGatherAndReachTheStrandTwentySecondsLater) {
    SwarmField field = strand();
    Tracks tracks;
    tracks.values[23] = 1.0f;
    for (const float time : {80.0f, 100.0f, 115.17f}) {
        bendStrand(field, time, tracks.values);
        const std::vector<Vec4> bent = field.clusterCentres;
        gatherClusters(field, time);
        for (size_t i = 1; i < 3000; ++i) {
            const Vec4& sp = field.scatterPoints[i];
            const float length = lengthOf(sp.x, sp.y, sp.z);
            const Vec4 scattered{bent[i].x * std::fabs(sp.x / length) * 10.0f, bent[i].y,
                                 bent[i].z * std::fabs(sp.z / length) * 10.0f, sp.w};
            ASSERT_TRUE(field.clusterCentres[i] == scattered) << i;
        }
        // Node 0 has no scatter direction and waits at the origin.
        EXPECT_TRUE(field.clusterCentres[0] == (Vec4{0, 0, 0, 100}));
    }
    for (const float time : {135.18f, 150.0f, 207.0f}) {
        bendStrand(field, time, tracks.values);
        const std::vector<Vec4> bent = field.clusterCentres;
        gatherClusters(field, time);
        for (size_t i = 0; i < 3000; ++i) {
            ASSERT_NEAR(field.clusterCentres[i].x, bent[i].x, 0.01f) << i;
            ASSERT_EQ(field.clusterCentres[i].y, bent[i].y);
            ASSERT_NEAR(field.clusterCentres[i].z, bent[i].z, 0.01f) << i;
            ASSERT_NEAR(field.clusterCentres[i].w, bent[i].w, 1e-4f) << i;
        }
    }
    // Halfway, every node is between the two, and none is NaN.
    bendStrand(field, 125.0f, tracks.values);
    gatherClusters(field, 125.0f);
    for (const Vec4& p : field.clusterCentres) {
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.z) && std::isfinite(p.w));
    }
}

TEST(SwarmField, TenSecondsIntoTheGatherEveryNodeIsAtLeastHalfway) {
    SwarmField field = strand();
    Tracks tracks;
    tracks.values[23] = 1.0f;
    const float time = 125.18f;
    bendStrand(field, time, tracks.values);
    const std::vector<Vec4> bent = field.clusterCentres;
    gatherClusters(field, time);
    int32_t compared = 0;
    for (size_t i = 1; i < 3000; ++i) {
        const Vec4& sp = field.scatterPoints[i];
        const float length = lengthOf(sp.x, sp.y, sp.z);
        const float scatteredX = bent[i].x * std::fabs(sp.x / length) * 10.0f;
        if (std::fabs(bent[i].x - scatteredX) < 50.0f) continue;
        const float progress = (field.clusterCentres[i].x - scatteredX) / (bent[i].x - scatteredX);
        ASSERT_GE(progress, 0.499f) << i;
        ASSERT_LE(progress, 1.001f) << i;
        ++compared;
    }
    EXPECT_GT(compared, 1000);
}

TEST(SwarmField, StrandCameraActsOnlyAtExactlyTwo) {
    aspectRatio = 16.0f / 9.0f;
    Camera camera;
    initCamera(camera);
    const Camera before = camera;
    Tracks tracks;
    tracks.values[0] = 2.5f;
    tracks.values[1] = 500.0f;
    tracks.values[2] = 90.0f;
    tracks.values[3] = 250.0f;
    tracks.values[4] = 10.0f;
    tracks.values[5] = 20.0f;
    tracks.values[6] = 30.0f;
    tracks.values[7] = 45.0f;
    strandCamera(camera, tracks.values, 99.0f);
    EXPECT_EQ(camera.eye, before.eye);
    EXPECT_EQ(camera.target, before.target);
    EXPECT_EQ(camera.projection, before.projection);

    tracks.values[0] = 2.0f;
    strandCamera(camera, tracks.values, 99.0f);
    const glm::vec3 c = strandPath(250.0f, 99.0f);
    EXPECT_NEAR(camera.eye.x, c.x + 500.0f, 1e-3f);
    EXPECT_EQ(camera.eye.y, 250.0f);
    EXPECT_NEAR(camera.eye.z, c.z, 1e-3f);
    EXPECT_EQ(camera.target, glm::vec3(c.x + 10.0f, 20.0f, c.z + 30.0f));
    EXPECT_EQ(camera.projection, perspectiveProjection(45.0f, 16.0f / 9.0f, 1.0f, 8000.0f));
}

TEST(SwarmField, ClusterCameraOrbitsTheFollowedNode) {
    aspectRatio = 4.0f / 3.0f;
    SwarmField field = strand();
    Camera camera;
    initCamera(camera);
    Tracks tracks;
    tracks.values[0] = 3.0f;
    tracks.values[1] = 100.0f;
    tracks.values[2] = 180.0f;
    tracks.values[3] = -20.0f;
    tracks.values[5] = 7.0f;
    tracks.values[7] = 60.0f;
    const int32_t index = field.secondTable[5];
    clusterCamera(camera, tracks.values, field, index);
    const Vec4& node = field.clusterCentres[index];
    EXPECT_EQ(camera.target, glm::vec3(node.x, node.y + 7.0f, node.z));
    EXPECT_NEAR(camera.eye.x, node.x, 1e-3f);
    EXPECT_EQ(camera.eye.y, node.y - 20.0f);
    EXPECT_NEAR(camera.eye.z, node.z - 100.0f, 1e-3f);
    EXPECT_EQ(camera.projection, perspectiveProjection(60.0f, 4.0f / 3.0f, 1.0f, 8000.0f));

    // An index outside the field leaves the camera alone.
    const glm::vec3 eye = camera.eye;
    clusterCamera(camera, tracks.values, field, 3000);
    clusterCamera(camera, tracks.values, field, -1);
    EXPECT_EQ(camera.eye, eye);
}

TEST(SwarmField, FollowedClusterStepsOncePerSecondFromEightyPointFive) {
    const SwarmField field = strand();
    EXPECT_EQ(followedCluster(field, 10.0), field.secondTable[0]);
    EXPECT_EQ(followedCluster(field, 80.0), field.secondTable[0]);
    EXPECT_EQ(followedCluster(field, 81.49), field.secondTable[0]);
    EXPECT_EQ(followedCluster(field, 81.5), field.secondTable[1]);
    EXPECT_EQ(followedCluster(field, 207.6), field.secondTable[127]);
    EXPECT_EQ(followedCluster(field, 1e9), field.secondTable[2999]);
    EXPECT_EQ(followedCluster(field, std::nan("")), field.secondTable[0]);
    EXPECT_EQ(followedCluster(SwarmField{}, 100.0), -1);
}
