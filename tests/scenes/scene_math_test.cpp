#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "assets/mesh.h"
#include "fx/node_cloud.h"
#include "scenes/passes.h"
#include "scenes/scene_math.h"

namespace {

std::vector<float> zeroTracks()
{
    return std::vector<float>(64, 0.0f);
}

// Clusters on the x axis at the given distances; the order is the index order.
struct Clusters {
    std::vector<Vec4> centres;
    std::vector<int32_t> order;
};

Clusters clustersAt(const std::vector<float>& distances)
{
    Clusters c;
    for (size_t i = 0; i < distances.size(); ++i) {
        c.centres.push_back(Vec4{distances[i], 0.0f, 0.0f, 1.0f});
        c.order.push_back(int32_t(i));
    }
    return c;
}

struct Lists {
    std::vector<int32_t> nearNodes, farNodes, rimNodes;
};

Lists select(const Clusters& c, float eyeX, float nearDistance, float shellRadius, bool pin)
{
    Lists l;
    selectNodes(c.centres, c.order, eyeX, 0.0f, 0.0f, nearDistance, shellRadius, pin, l.nearNodes,
                l.farNodes, l.rimNodes);
    return l;
}

using Ids = std::vector<int32_t>;

} // namespace

TEST(SceneValues, GrowIsTheFractionOfATenthOfTheTime)
{
    EXPECT_NEAR(growAt(12.34), 0.234f, 1e-6f);
    EXPECT_EQ(growAt(0.0), 0.0f);
    EXPECT_NEAR(growAt(79.0), 0.9f, 1e-6f);
    EXPECT_LT(growAt(9.999999), 1.0f);
}

TEST(SceneValues, GrowRadiusStartsAtFiftySeconds)
{
    EXPECT_EQ(growRadiusAt(50.0), 0.0f);
    EXPECT_EQ(growRadiusAt(10.0), 0.0f);
    EXPECT_EQ(growRadiusAt(60.0), 250.0f);
    EXPECT_EQ(growRadiusAt(100.5), 1262.5f);
}

TEST(SceneValues, MaxRadiusIsTheLargerThreshold)
{
    std::vector<float> t = zeroTracks();
    t[38] = 5.0f;
    t[39] = 3.0f;
    EXPECT_EQ(maxRadiusOf(t.data()), 5.0f);
    t[39] = 7.5f;
    EXPECT_EQ(maxRadiusOf(t.data()), 7.5f);
}

TEST(SceneValues, NodeDrawCountTruncatesAndMinusOneMeansAll)
{
    EXPECT_EQ(nodeDrawCount(-1.0f, 8000), 8000);
    EXPECT_EQ(nodeDrawCount(-1.9f, 8000), 8000);
    EXPECT_EQ(nodeDrawCount(0.0f, 8000), 0);
    EXPECT_EQ(nodeDrawCount(0.999f, 8000), 0);
    EXPECT_EQ(nodeDrawCount(-0.5f, 8000), 0);
    EXPECT_EQ(nodeDrawCount(1234.7f, 8000), 1234);
    EXPECT_EQ(nodeDrawCount(9000.0f, 8000), 8000);
    EXPECT_EQ(nodeDrawCount(-2.0f, 8000), 0);
    EXPECT_EQ(nodeDrawCount(-1e30f, 8000), 0);
    EXPECT_EQ(nodeDrawCount(1e30f, 8000), 8000);
    EXPECT_EQ(nodeDrawCount(NAN, 8000), 0);
}

TEST(SceneValues, CameraModeTruncatesTowardZero)
{
    EXPECT_EQ(cameraModeOf(2.0f), 2);
    EXPECT_EQ(cameraModeOf(2.9f), 2);
    EXPECT_EQ(cameraModeOf(3.7f), 3);
    EXPECT_EQ(cameraModeOf(-0.5f), 0);
    EXPECT_EQ(cameraModeOf(1.0f), 1);
    EXPECT_EQ(cameraModeOf(NAN), 0);
}

TEST(SceneValues, SecondIndexCountsWholeSecondsFromEightyPointFive)
{
    EXPECT_EQ(secondIndexAt(80.0, 3000), 0);
    EXPECT_EQ(secondIndexAt(81.49, 3000), 0);
    EXPECT_EQ(secondIndexAt(81.5, 3000), 1);
    EXPECT_EQ(secondIndexAt(79.0, 3000), 0);
    EXPECT_EQ(secondIndexAt(207.6, 3000), 127);
    // Never past the table, however long the run.
    EXPECT_EQ(secondIndexAt(5000.0, 100), 99);
    EXPECT_EQ(secondIndexAt(90.0, 0), 0);
}

TEST(NodeSelection, NearFarAndRimByDistance)
{
    // Shell 2000: the rim is (490, 2000). Eye at the origin, near below 300.
    const Clusters c = clustersAt({0.0f, 100.0f, 400.0f, 600.0f, 1999.0f, 2500.0f});
    const Lists l = select(c, 0.0f, 300.0f, 2000.0f, false);
    EXPECT_EQ(l.nearNodes, (Ids{1}));
    EXPECT_EQ(l.farNodes, (Ids{2, 3, 4}));
    EXPECT_EQ(l.rimNodes, (Ids{3, 4}));
}

TEST(NodeSelection, NearnessIsMeasuredFromTheEye)
{
    const Clusters c = clustersAt({0.0f, 100.0f, 900.0f, 1000.0f});
    const Lists l = select(c, 950.0f, 100.0f, 5000.0f, false);
    EXPECT_EQ(l.nearNodes, (Ids{2, 3}));
    EXPECT_EQ(l.farNodes, (Ids{1}));
}

TEST(NodeSelection, AClusterExactlyAtTheShellIsListedButNotRim)
{
    const Clusters c = clustersAt({0.0f, 500.0f, 1000.0f});
    const Lists far = select(c, 0.0f, 10.0f, 1000.0f, false);
    EXPECT_EQ(far.farNodes, (Ids{1, 2}));
    EXPECT_EQ(far.rimNodes, (Ids{1}));
    const Lists near = select(c, 1000.0f, 10.0f, 1000.0f, false);
    EXPECT_EQ(near.nearNodes, (Ids{2}));
    EXPECT_EQ(near.rimNodes, (Ids{1}));
}

TEST(NodeSelection, ZeroShellListsNothingAwayFromTheOrigin)
{
    const Clusters c = clustersAt({0.0f, 0.0f, 0.5f, 30.0f});
    const Lists l = select(c, 0.0f, 1000.0f, 0.0f, false);
    // Only the second cluster at the origin itself; nothing is rim.
    EXPECT_EQ(l.nearNodes, (Ids{1}));
    EXPECT_TRUE(l.farNodes.empty());
    EXPECT_TRUE(l.rimNodes.empty());
}

TEST(NodeSelection, ZeroNearDistanceMakesEveryNodeFar)
{
    const Clusters c = clustersAt({0.0f, 10.0f, 20.0f, 30.0f});
    const Lists l = select(c, 10.0f, 0.0f, 100.0f, false);
    EXPECT_TRUE(l.nearNodes.empty());
    EXPECT_EQ(l.farNodes, (Ids{1, 2, 3}));
}

TEST(NodeSelection, StopsAtTheFirstClusterBeyondTheShell)
{
    // The order is trusted to be sorted: a closer cluster after a farther one
    // beyond the shell is never reached.
    Clusters c = clustersAt({0.0f, 10.0f, 500.0f, 20.0f});
    const Lists l = select(c, 0.0f, 1000.0f, 100.0f, false);
    EXPECT_EQ(l.nearNodes, (Ids{1}));
}

TEST(NodeSelection, PinnedFirstClusterLeadsTheNearListOnce)
{
    // Cluster 0 is pinned at the origin but was sorted where it stood before.
    Clusters c = clustersAt({0.0f, 5.0f, 10.0f});
    c.order = {1, 0, 2};
    const Lists pinned = select(c, 5000.0f, 100.0f, 50.0f, true);
    EXPECT_EQ(pinned.nearNodes, (Ids{0}));
    EXPECT_EQ(pinned.farNodes, (Ids{2}));

    const Lists free = select(c, 5000.0f, 100.0f, 50.0f, false);
    EXPECT_TRUE(free.nearNodes.empty());
    EXPECT_EQ(free.farNodes, (Ids{0, 2}));
}

TEST(NodeSelection, FewerThanTwoClustersListNothing)
{
    const Clusters c = clustersAt({0.0f});
    const Lists l = select(c, 0.0f, 100.0f, 100.0f, false);
    EXPECT_TRUE(l.nearNodes.empty() && l.farNodes.empty() && l.rimNodes.empty());
}

TEST(NodeSelection, NonFiniteCentresAreSkipped)
{
    Clusters c = clustersAt({0.0f, 10.0f, NAN, 20.0f});
    c.centres[3].y = INFINITY;
    const Lists l = select(c, 0.0f, 1000.0f, 100.0f, false);
    EXPECT_EQ(l.nearNodes, (Ids{1}));
}

TEST(DustExplosion, MiddleNodeSitsOnTheStrandAtHeightZero)
{
    std::vector<Vec4> positions(8000, Vec4{0, 0, 0, 0.5f});
    DustExplosionTable table;
    std::vector<float> t = zeroTracks();
    t[34] = 300.0f;
    placeDustExplosion(positions, 0.0, t.data(), table);

    const Vec4& middle = positions[4000];
    const glm::vec3 strand = strandPath(0.0f, 0.0f);
    EXPECT_EQ(middle.y, 0.0f);
    // At time 0 with track 41 at 0 the offset is (R sin k2, 0, R cos u),
    // k2 = 23 + 390 i, taken at double precision.
    const double s = std::sin(double(23 + 390 * 4000));
    EXPECT_NEAR(middle.x - strand.x, 300.0 * s, 1e-3);
    EXPECT_EQ(middle.w, 0.5f);
    // Heights step by 0.35 from -1400.
    EXPECT_FLOAT_EQ(positions[0].y, -1400.0f);
    EXPECT_FLOAT_EQ(positions[4001].y, 0.35f);
}

TEST(DustExplosion, ATableMadeForAnotherCountIsRemade)
{
    std::vector<float> t = zeroTracks();
    t[34] = 100.0f;
    DustExplosionTable table;
    std::vector<Vec4> many(8000), few(100);
    placeDustExplosion(many, 10.0, t.data(), table);
    placeDustExplosion(few, 10.0, t.data(), table);
    EXPECT_EQ(few[50].y, 0.0f);
    EXPECT_FLOAT_EQ(few[0].y, -17.5f);
    EXPECT_EQ(table.heights.size(), 100u);
}

TEST(DustExplosion, BulgePeaksAtHeightFourHundred)
{
    // Node 5143 sits at h = 400.05, where b is 1 to within 1e-4, so track 42
    // adds about 120 to the radius there.
    std::vector<float> t = zeroTracks();
    t[34] = 200.0f;
    std::vector<Vec4> plain(8000), bulged(8000);
    DustExplosionTable table;
    placeDustExplosion(plain, 0.0, t.data(), table);
    t[42] = 1.0f;
    placeDustExplosion(bulged, 0.0, t.data(), table);

    const size_t i = 5143;
    ASSERT_NEAR(bulged[i].y, 400.0f, 0.1f);
    const glm::vec3 strand = strandPath(bulged[i].y, 0.0f);
    const float plainOffset = std::hypot(plain[i].x - strand.x, plain[i].z - strand.z);
    const float bulgedOffset = std::hypot(bulged[i].x - strand.x, bulged[i].z - strand.z);
    EXPECT_NEAR(bulgedOffset / plainOffset, (200.0f + 120.0f) / 200.0f, 1e-3f);
    // Far below the bulge's reach (b = 0 at h = -100) nothing changes.
    EXPECT_NEAR(bulged[3714].x, plain[3714].x, 1e-3f);
}

TEST(DustExplosion, ZeroRadiusTrackStaysFiniteAndContinuous)
{
    std::vector<float> t = zeroTracks();
    t[41] = 0.3f;
    t[42] = 0.5f;
    std::vector<Vec4> atZero(8000), nearZero(8000);
    DustExplosionTable table;
    placeDustExplosion(atZero, 150.0, t.data(), table);
    t[34] = 1e-6f;
    placeDustExplosion(nearZero, 150.0, t.data(), table);
    for (size_t i = 0; i < atZero.size(); ++i) {
        ASSERT_TRUE(std::isfinite(atZero[i].x) && std::isfinite(atZero[i].z)) << i;
        ASSERT_NEAR(atZero[i].x, nearZero[i].x, 0.05f) << i;
        ASSERT_NEAR(atZero[i].z, nearZero[i].z, 0.05f) << i;
    }
}

// Node i of n placed one node at a time, straight from the formula: the
// reference the four-lane placement must match to the bit.
Vec4 explodedNode(int32_t i, int32_t n, double musicTime, const std::vector<float>& t, float w)
{
    const float h = static_cast<float>((i - n * 0.5) * 0.35);
    const float b = 1.0f - std::fabs((h - 400.0f) / 500.0f);
    const float u = static_cast<float>(std::sin(double(32 * i) + 323.34) + double(23 + 390 * i));
    const float s = static_cast<float>(std::sin(double(23 + 390 * i)));
    const float cu = std::cos(u);
    const float radius = t[34];
    const float r = radius + b * b * b * b * t[42] * 120.0f;
    const float ls = radius * s, lc = radius * cu;
    const float ratio = radius != 0.0f ? std::sqrt(ls * ls + lc * lc) / radius : std::sqrt(s * s + cu * cu);
    const float angle = static_cast<float>(t[41] - (1.0f - ratio) * (musicTime * 0.2));
    const Vec4 o = rotateAboutY(angle, r * s, 0.0f, r * cu, 1.0f);
    const glm::vec3 strand = strandPath(h, static_cast<float>(musicTime));
    return Vec4{strand.x + o.x, strand.y, strand.z + o.z, w};
}

TEST(DustExplosion, FourLanesEqualTheNodeByNodeFormulaBitForBit)
{
    struct Case {
        double time;
        float radius, baseAngle, bulge;  // tracks 34, 41, 42
    };
    const Case cases[] = {{79.0, 300.0f, 0.4f, 0.8f}, {131.7, 0.0f, 0.3f, 0.5f},
                          {160.0, -250.0f, 2.5f, 1.0f}, {207.5, 1e-6f, -1.0f, 0.0f}};
    for (const int32_t n : {8000, 7}) {  // 7: a last group of three lanes
        DustExplosionTable table;
        std::vector<Vec4> positions(size_t(n), Vec4{0, 0, 0, 0.25f});
        for (const Case& c : cases) {
            std::vector<float> t = zeroTracks();
            t[34] = c.radius;
            t[41] = c.baseAngle;
            t[42] = c.bulge;
            placeDustExplosion(positions, c.time, t.data(), table);
            for (int32_t i = 0; i < n; ++i) {
                const Vec4 expected = explodedNode(i, n, c.time, t, 0.25f);
                ASSERT_EQ(std::memcmp(&positions[size_t(i)], &expected, sizeof(Vec4)), 0)
                    << "node " << i << " of " << n << " at " << c.time << " s, radius " << c.radius;
            }
        }
    }
}

TEST(SpinPoints, AngleZeroLeavesEveryPoint)
{
    NodeCloud cloud;
    generatePoints(cloud, 200, 4000.0f);
    const std::vector<Vec4> before = cloud.workingPositions;
    spinPoints(cloud, 0.0f);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_NEAR(cloud.workingPositions[i].x, before[i].x, 1e-2f);
        EXPECT_NEAR(cloud.workingPositions[i].y, before[i].y, 1e-2f);
        EXPECT_NEAR(cloud.workingPositions[i].z, before[i].z, 1e-2f);
        EXPECT_EQ(cloud.workingPositions[i].w, before[i].w);
    }
}

TEST(SpinPoints, StoredYAxisTurnsAboutZ)
{
    NodeCloud cloud;
    cloud.workingPositions = {Vec4{1, 0, 0, 0.7f}, Vec4{0, 0, 5, 1}, Vec4{2, 3, 4, 1}};
    cloud.directions = {Vec4{0, 1, 0, 0}, Vec4{0, 1, 0, 0}, Vec4{0, 0, 0, 0}};
    spinPoints(cloud, 90.0f);
    // (1, 0, 0) about +z by 90 degrees goes to (0, 1, 0).
    EXPECT_NEAR(cloud.workingPositions[0].x, 0.0f, 1e-5f);
    EXPECT_NEAR(cloud.workingPositions[0].y, 1.0f, 1e-5f);
    EXPECT_NEAR(cloud.workingPositions[0].z, 0.0f, 1e-5f);
    EXPECT_EQ(cloud.workingPositions[0].w, 0.7f);
    // A point on the z axis does not move.
    EXPECT_NEAR(cloud.workingPositions[1].x, 0.0f, 1e-5f);
    EXPECT_NEAR(cloud.workingPositions[1].z, 5.0f, 1e-5f);
    // A point without an axis stays where it is instead of becoming NaN.
    EXPECT_EQ(cloud.workingPositions[2].x, 2.0f);
    EXPECT_EQ(cloud.workingPositions[2].y, 3.0f);
}

TEST(RaysToPoints, OneRayFromTheOriginPerIndexSkippingThoseOutsideThePoints)
{
    // A batch laid out without GL buffers: the rays are written, the upload
    // and the draw have nothing to send to.
    Mesh batch;
    layoutSegmentBatch(batch);
    const std::vector<Vec4> points = {Vec4{1, 2, 3, 1}, Vec4{4, 5, 6, 1}, Vec4{7, 8, 9, 1}};
    drawRaysToPoints(batch, points, Ids{2, -1, 7, 0}, 20.0f);

    const size_t v = static_cast<size_t>(batch.vertexCount);
    const float* p0 = batch.vertexData.data();
    const float* p1 = p0 + 3 * v;
    const float* key = p1 + 5 * v;  // "texcoord2" after p1 and "texcoord"
    auto endOf = [&](size_t quad, size_t corner) { return p1 + 3 * (4 * quad + corner); };
    for (size_t corner = 0; corner < 4; ++corner) {
        EXPECT_EQ(endOf(0, corner)[0], 7.0f);
        EXPECT_EQ(endOf(0, corner)[2], 9.0f);
        EXPECT_EQ(endOf(1, corner)[0], 1.0f);
        EXPECT_EQ(endOf(1, corner)[1], 2.0f);
        EXPECT_EQ(p0[3 * (4 + corner)], 0.0f);
        EXPECT_EQ(key[2 * (4 + corner)], 20.0f);
        EXPECT_EQ(key[2 * (4 + corner) + 1], 0.0f);
    }
    // Two indices were out of range: the third quad is untouched.
    EXPECT_EQ(endOf(2, 0)[0], 0.0f);
    EXPECT_EQ(key[2 * 8], 0.0f);
}
