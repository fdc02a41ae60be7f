#include "fx/node_cloud.h"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "gl_context.h"

namespace {

float lengthOf(const Vec4& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Bit-for-bit equality of two point lists (tells -0 from 0, matches NaNs).
bool sameBits(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec4)) == 0;
}

NodeCloud graphNodes() {
    NodeCloud cloud;
    generatePoints(cloud, 8000, 50.0f);
    return cloud;
}

// A cloud of hand-placed points with given directions.
NodeCloud handMade(const std::vector<Vec4>& points, const std::vector<Vec4>& directions, float radius) {
    NodeCloud cloud;
    cloud.radius = radius;
    cloud.restPositions = points;
    cloud.workingPositions = points;
    cloud.directions = directions;
    return cloud;
}

}  // namespace

TEST(NodeCloud, NewCloudIsEmpty) {
    const NodeCloud cloud;
    EXPECT_TRUE(cloud.restPositions.empty());
    EXPECT_TRUE(cloud.workingPositions.empty());
    EXPECT_TRUE(cloud.directions.empty());
    EXPECT_EQ(cloud.radius, 0.0);
    EXPECT_EQ(cloud.sprites.vertexBuffer, 0u);
}

TEST(NodeCloud, GenerateFillsAFlatShellWithDirectionsCountingDown) {
    const NodeCloud cloud = graphNodes();
    ASSERT_EQ(cloud.restPositions.size(), 8000u);
    ASSERT_EQ(cloud.directions.size(), 8000u);
    EXPECT_EQ(cloud.radius, 50.0);
    EXPECT_TRUE(sameBits(cloud.restPositions, cloud.workingPositions));
    for (int32_t i = 0; i < 8000; ++i) {
        const Vec4& p = cloud.restPositions[i];
        EXPECT_GE(lengthOf(p), 35.35f);
        EXPECT_LE(lengthOf(p), 54.78f);
        EXPECT_GE(p.w, 0.2f);
        EXPECT_LE(p.w, 1.0f);
    }
    EXPECT_TRUE(cloud.restPositions[17] == randomFlatShell(17, 50.0f, 1.0f));
    EXPECT_TRUE(cloud.directions[0] == randomInBall(8000, 1.0f, 1.0f));
    EXPECT_TRUE(cloud.directions[7999] == randomInBall(1, 1.0f, 1.0f));
}

TEST(NodeCloud, TwoGenerationsAndUpdatesAreBitIdentical) {
    NodeCloud a = graphNodes();
    NodeCloud b = graphNodes();
    EXPECT_TRUE(sameBits(a.restPositions, b.restPositions));
    EXPECT_TRUE(sameBits(a.directions, b.directions));
    shape(a);
    shape(b);
    update(a, 26.0, 9.0f, 283.0f, 0.0f);
    update(b, 26.0, 9.0f, 283.0f, 0.0f);
    EXPECT_TRUE(sameBits(a.workingPositions, b.workingPositions));
    EXPECT_TRUE(sameBits(a.directions, b.directions));
}

TEST(NodeCloud, ProjectToSphereMovesOnlyRestPositionsOntoTheRadius) {
    NodeCloud cloud;
    generatePoints(cloud, 200, 4000.0f);
    const std::vector<Vec4> before = cloud.restPositions;
    projectToSphere(cloud);
    EXPECT_TRUE(sameBits(cloud.workingPositions, before));
    for (size_t i = 0; i < 200; ++i) {
        EXPECT_NEAR(lengthOf(cloud.restPositions[i]), 4000.0f, 0.01f);
        EXPECT_EQ(cloud.restPositions[i].w, before[i].w);
    }
    // Not simply the old points pushed outwards: the directions come from their own seeds.
    const Vec4 v = randomInBall(343 + 43343 * 5, 4000.0f, 1.0f);
    EXPECT_NEAR(cloud.restPositions[5].x, v.x / lengthOf(v) * 4000.0f, 1e-3f);
}

TEST(NodeCloud, UpdateIsResetAdvectTwistScaleInOrder) {
    struct Case {
        double time;
        float scaleAmount, twistAngle, twistRadius;
    };
    for (const Case& c : {Case{26.0, 9.0f, 283.0f, 0.0f}, Case{3.5, 0.5f, -40.0f, 45.0f},
                          Case{78.9, 2.0f, 0.0f, 20.0f}, Case{150.0, -0.3f, 1000.0f, 0.0f}}) {
        NodeCloud fused = graphNodes();
        shape(fused);
        NodeCloud passes = fused;
        // Twice, so that directions respawned by the first update are used by the second.
        for (int32_t round = 0; round < 2; ++round) {
            update(fused, c.time, c.scaleAmount, c.twistAngle, c.twistRadius);
            resetPositions(passes);
            advect(passes, static_cast<float>(c.time));
            twist(passes, static_cast<float>(c.time) * 0.5f, c.twistAngle, c.twistRadius);
            scale(passes, c.scaleAmount);
            ASSERT_TRUE(sameBits(fused.workingPositions, passes.workingPositions)) << c.time;
            ASSERT_TRUE(sameBits(fused.directions, passes.directions)) << c.time;
        }
    }
}

TEST(NodeCloud, UpdateAtTimeZeroWithTracksZeroLeavesRestPositions) {
    NodeCloud cloud = graphNodes();
    shape(cloud);
    update(cloud, 0.0, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(sameBits(cloud.workingPositions, cloud.restPositions));
}

TEST(NodeCloud, PointsTwiceTheRadiusOutRespawnForGood) {
    // Point 0 rests inside, point 1 at 120 units (beyond 2 x 50), point 2
    // drifts out once the time is large enough.
    NodeCloud cloud = handMade({{10, 0, 0, 1}, {120, 0, 0, 0.5f}, {0, 0, 90, 1}},
                               {{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}}, 50.0f);
    update(cloud, 0.0, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(cloud.workingPositions[0] == cloud.restPositions[0]);
    EXPECT_TRUE(cloud.workingPositions[1] == randomInCube(23 + 232 * 1, 25.0f, 1.0f));
    EXPECT_TRUE(cloud.directions[1] == randomInBall(3 + 22 * 1, 1.0f, 1.0f));
    EXPECT_TRUE(cloud.workingPositions[2] == cloud.restPositions[2]);

    // Direction (0, 1, 0) drifts along z: y and z trade places. A twist
    // radius beyond every point keeps the vertical turn out of the way.
    update(cloud, 5.0, 0.0f, 0.0f, 1000.0f);
    EXPECT_EQ(cloud.workingPositions[2].z, 95.0f);
    EXPECT_EQ(cloud.workingPositions[2].y, 0.0f);
    EXPECT_EQ(cloud.workingPositions[0].y, 5.0f);

    update(cloud, 10.0, 0.0f, 0.0f, 1000.0f);
    EXPECT_TRUE(cloud.workingPositions[2] == randomInCube(23 + 232 * 2, 25.0f, 1.0f));
    const Vec4 newDirection = randomInBall(3 + 22 * 2, 1.0f, 1.0f);
    EXPECT_TRUE(cloud.directions[2] == newDirection);

    // The new direction stays: a small time now drifts along it.
    update(cloud, 1.0, 0.0f, 0.0f, 1000.0f);
    EXPECT_EQ(cloud.workingPositions[2].x, newDirection.x);
    EXPECT_EQ(cloud.workingPositions[2].y, newDirection.z);
    EXPECT_EQ(cloud.workingPositions[2].z, 90.0f + newDirection.y);
}

TEST(NodeCloud, ScaleZeroAndTwistWithoutAngleAreIdentities) {
    NodeCloud cloud = graphNodes();
    shape(cloud);
    resetPositions(cloud);
    advect(cloud, 3.0f);
    const std::vector<Vec4> before = cloud.workingPositions;
    scale(cloud, 0.0f);
    EXPECT_TRUE(sameBits(cloud.workingPositions, before));
    twist(cloud, 0.0f, 0.0f, 10.0f);
    twist(cloud, -4.0f, 0.0f, 0.0f);
    for (size_t i = 0; i < before.size(); ++i) ASSERT_TRUE(cloud.workingPositions[i] == before[i]) << i;
}

TEST(NodeCloud, ScaleMovesEveryPointToOnePlusXTimesItsDistance) {
    NodeCloud cloud = handMade({{3, 4, 0, 1}, {0, 0, -2, 1}, {0, 0, 0, 1}}, {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}, 50.0f);
    scale(cloud, 1.0f);
    EXPECT_NEAR(cloud.workingPositions[0].x, 6.0f, 1e-5f);
    EXPECT_NEAR(cloud.workingPositions[0].y, 8.0f, 1e-5f);
    EXPECT_TRUE(cloud.workingPositions[1] == (Vec4{0, 0, -4, 1}));
    // A point at the origin has no direction and stays there.
    EXPECT_TRUE(cloud.workingPositions[2] == (Vec4{0, 0, 0, 1}));
    swirl(cloud, 8.0f);
    EXPECT_TRUE(cloud.workingPositions[2] == (Vec4{0, 0, 0, 1}));
}

TEST(NodeCloud, TwistTurnsOnlyBeyondTheRadiusAboutTheVerticalAxis) {
    // Axis along z with no spin (b = 0): only the second turn acts.
    NodeCloud cloud = handMade({{100, 0, 0, 1}, {400, 0, 0, 1}}, {{0, 0, 1, 0}, {0, 0, 1, 0}}, 50.0f);
    twist(cloud, 1.0f, 0.0f, 250.0f);
    EXPECT_TRUE(cloud.workingPositions[0] == (Vec4{100, 0, 0, 1}));
    // w = 150 / 150 = 1, k = 1, theta = 20 degrees.
    const Vec4& p = cloud.workingPositions[1];
    EXPECT_NEAR(p.x, 400.0 * std::cos(20.0 * M_PI / 180.0), 1e-3);
    EXPECT_NEAR(p.z, -400.0 * std::sin(20.0 * M_PI / 180.0), 1e-3);
    EXPECT_EQ(p.y, 0.0f);
}

TEST(NodeCloud, SwirlTurnsAboutZByDistance) {
    // d.x = 1, d.y = 0: no radial push, theta = 0.1 * s * L degrees.
    NodeCloud cloud = handMade({{100, 0, 3, 1}}, {{1, 0, 0, 0}}, 50.0f);
    swirl(cloud, 2.0f);
    const double theta = 0.1 * 2.0 * std::hypot(100.0, 3.0) * M_PI / 180.0;
    EXPECT_NEAR(cloud.workingPositions[0].x, 100.0 * std::cos(theta), 1e-3);
    EXPECT_NEAR(cloud.workingPositions[0].y, 100.0 * std::sin(theta), 1e-3);
    EXPECT_EQ(cloud.workingPositions[0].z, 3.0f);
}

TEST(NodeCloud, EmptyCloudDeformsToNothing) {
    NodeCloud cloud;
    generatePoints(cloud, 0, 50.0f);
    shape(cloud);
    update(cloud, 12.0, 1.0f, 2.0f, 3.0f);
    projectToSphere(cloud);
    EXPECT_TRUE(cloud.workingPositions.empty());
    generatePoints(cloud, -5, 50.0f);
    EXPECT_TRUE(cloud.restPositions.empty());
}

TEST(NodeCloud, GenerateMakesOneSpriteQuadPerPoint) {
    if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
    NodeCloud cloud;
    captureConsole([&] { generate(cloud, 200, 4000.0f); });
    EXPECT_EQ(cloud.sprites.triangleCount, 400);
    EXPECT_EQ(cloud.sprites.vertexCount, 800);
    EXPECT_NE(cloud.sprites.vertexBuffer, 0u);
    EXPECT_EQ(cloud.restPositions.size(), 200u);
    releaseNodeCloud(cloud);
    EXPECT_TRUE(cloud.restPositions.empty());
    EXPECT_EQ(cloud.restPositions.capacity(), 0u);
}
