#include "fx/link_lines.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "fx/node_cloud.h"

namespace {

// Straightforward rendering of the link rules with one list per shell, to
// check the build against on realistic clouds.
struct ReferenceGraph {
    std::vector<Link> inner;
    std::vector<Link> cross;
    std::vector<int32_t> hubs;
};

float distance(const Vec4& p, const Vec4& q) {
    const float dx = p.x - q.x;
    const float dy = p.y - q.y;
    const float dz = p.z - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

ReferenceGraph referenceBuild(const std::vector<Vec4>& points, float crossThreshold, float innerThreshold) {
    ReferenceGraph graph;
    const std::vector<int32_t> order = sortByDistance(Vec4{}, points, 1000);
    const float maxR = distance(points[order.back()], Vec4{});
    const int32_t n = static_cast<int32_t>(maxR / 50.0f);
    std::vector<std::vector<int32_t>> shells(n + 1);
    int32_t s = 1;
    int32_t slot = 0;
    for (const int32_t index : order) {
        if (distance(points[index], Vec4{}) > s * 50.0f) {
            ++s;
            ++slot;
        }
        shells[slot].push_back(index);
    }
    for (int32_t l = 1; l < n - 1; ++l) {
        for (size_t i = 0; i < shells[l].size(); ++i) {
            const int32_t a = shells[l][i];
            for (size_t j = i + 1; j < shells[l].size(); ++j) {
                const int32_t b = shells[l][j];
                if (distance(points[a], points[b]) < innerThreshold)
                    graph.inner.push_back({2 * l, std::min(a, b), std::max(a, b)});
            }
            for (const int32_t b : shells[l + 1])
                if (distance(points[a], points[b]) < crossThreshold)
                    graph.cross.push_back({2 * l + 1, std::min(a, b), std::max(a, b)});
        }
    }
    std::vector<int32_t> counts(1000, 0);
    for (const Link& link : graph.cross) {
        ++counts[link.a];
        ++counts[link.b];
    }
    for (int32_t i = 0; i < 1000; ++i)
        if (counts[i] > 2) graph.hubs.push_back(i);
    return graph;
}

std::vector<Vec4> graphNodesAt(double time, float scaleAmount, float twistAngle, float twistRadius) {
    NodeCloud cloud;
    generatePoints(cloud, 8000, 50.0f);
    shape(cloud);
    update(cloud, time, scaleAmount, twistAngle, twistRadius);
    return cloud.workingPositions;
}

bool contains(const std::vector<Link>& links, const Link& link) {
    return std::find(links.begin(), links.end(), link) != links.end();
}

}  // namespace

TEST(SortByDistance, OrdersByDistanceUpToTheLimit) {
    const std::vector<Vec4> points = {{5, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, 3, 0}, {0.5f, 0, 0, 0}, {-3, 0, 0, 0}};
    EXPECT_EQ(sortByDistance(Vec4{}, points), (std::vector<int32_t>{3, 1, 2, 4, 0}));
    EXPECT_EQ(sortByDistance(Vec4{}, points, 3), (std::vector<int32_t>{1, 2, 0}));
    EXPECT_EQ(sortByDistance(Vec4{}, points, 50).size(), 5u);
    EXPECT_EQ(sortByDistance(Vec4{5, 0, 0, 0}, points, -1).front(), 0);
    EXPECT_TRUE(sortByDistance(Vec4{}, {}).empty());
}

TEST(SortByDistance, EqualDistancesKeepIndexOrder) {
    // Whole-number coordinates give many exactly equal distances.
    std::vector<Vec4> points;
    for (int32_t i = 0; i < 5000; ++i) {
        const Vec4 p = randomInCube(i, 6.0f, 1.0f);
        points.push_back({std::round(p.x), std::round(p.y), std::round(p.z), 1});
    }
    std::vector<int32_t> expected(points.size());
    for (size_t i = 0; i < points.size(); ++i) expected[i] = static_cast<int32_t>(i);
    const Vec4 from{1, -2, 0.5f, 0};
    std::stable_sort(expected.begin(), expected.end(), [&](int32_t l, int32_t r) {
        return distance(points[l], from) < distance(points[r], from);
    });
    EXPECT_EQ(sortByDistance(from, points), expected);
}

TEST(SortByDistance, NonFinitePointsSortLastWithoutBreakingTheOrder) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<Vec4> points;
    for (int32_t i = 0; i < 300; ++i) {
        if (i % 7 == 0)
            points.push_back({nan, 0, 0, 0});
        else if (i % 11 == 0)
            points.push_back({0, inf, 0, 0});
        else
            points.push_back(randomInCube(i, 100.0f, 1.0f));
    }
    const std::vector<int32_t> order = sortByDistance(Vec4{}, points);
    ASSERT_EQ(order.size(), points.size());
    std::vector<int32_t> seen = order;
    std::sort(seen.begin(), seen.end());
    for (int32_t i = 0; i < 300; ++i) ASSERT_EQ(seen[i], i);
    const size_t finite = 300 - 43 - 24;  // multiples of 7, then of 11 but not of 77
    for (size_t k = 0; k + 1 < finite; ++k)
        ASSERT_LE(distance(points[order[k]], Vec4{}), distance(points[order[k + 1]], Vec4{}));
    for (size_t k = finite; k < 300; ++k) ASSERT_FALSE(std::isfinite(distance(points[order[k]], Vec4{})));
}

TEST(LinkLines, MatchesTheStraightforwardRulesOnGraphNodes) {
    for (const float threshold : {20.0f, 60.0f}) {
        const std::vector<Vec4> points = graphNodesAt(26.0, 9.0f, 283.0f, 0.0f);
        LinkLines links;
        build(links, points, threshold, threshold * 0.75f);
        const ReferenceGraph expected = referenceBuild(points, threshold, threshold * 0.75f);
        EXPECT_FALSE(expected.inner.empty());
        EXPECT_FALSE(expected.cross.empty());
        EXPECT_EQ(links.innerLinks, expected.inner);
        EXPECT_EQ(links.crossLinks, expected.cross);
        EXPECT_EQ(links.hubs, expected.hubs);
        for (const Link& link : links.crossLinks) {
            EXPECT_LT(link.a, 1000);
            EXPECT_LT(link.b, 1000);
            EXPECT_LE(link.a, link.b);
            EXPECT_EQ(link.key % 2, 1);
        }

        // A second build from the same points gives the same graph.
        LinkLines again;
        build(again, points, threshold, threshold * 0.75f);
        build(again, points, threshold, threshold * 0.75f);
        EXPECT_EQ(again.innerLinks, links.innerLinks);
        EXPECT_EQ(again.crossLinks, links.crossLinks);
        EXPECT_EQ(again.hubs, links.hubs);
    }
}

TEST(LinkLines, ZeroOrNegativeThresholdsLinkNothing) {
    const std::vector<Vec4> points = graphNodesAt(26.0, 9.0f, 283.0f, 0.0f);
    LinkLines links;
    build(links, points, 60.0f, 60.0f);
    ASSERT_FALSE(links.innerLinks.empty());
    build(links, points, 0.0f, 0.0f);
    EXPECT_TRUE(links.innerLinks.empty());
    EXPECT_TRUE(links.crossLinks.empty());
    EXPECT_TRUE(links.hubs.empty());
    build(links, points, -5.0f, -1.0f);
    EXPECT_TRUE(links.innerLinks.empty());
    EXPECT_TRUE(links.crossLinks.empty());
}

TEST(LinkLines, NothingWhenTheFarthestNodeIsWithinThreeShells) {
    // Farthest at 149: n = 2, so no shell starts links whatever the thresholds.
    const std::vector<Vec4> points = {{60, 0, 0, 1}, {61, 0, 0, 1}, {110, 0, 0, 1}, {149, 0, 0, 1}};
    LinkLines links;
    build(links, points, 1e6f, 1e6f);
    EXPECT_TRUE(links.innerLinks.empty());
    EXPECT_TRUE(links.crossLinks.empty());
    EXPECT_TRUE(links.hubs.empty());
    build(links, {}, 1e6f, 1e6f);
    EXPECT_TRUE(links.innerLinks.empty());
    build(links, {{200, 0, 0, 1}, {201, 0, 0, 1}}, 1e6f, 1e6f);
    EXPECT_TRUE(links.innerLinks.empty());
}

TEST(LinkLines, PairsExactlyAtTheThresholdAreNotLinked) {
    // 60 and 70 lie in shell 1; 200 is four shells out but takes slot 2 only.
    const std::vector<Vec4> points = {{70, 0, 0, 1}, {200, 0, 0, 1}, {60, 0, 0, 1}};
    LinkLines links;
    build(links, points, 140.0f, 10.0f);
    EXPECT_TRUE(links.innerLinks.empty());
    // 200 - 60 is exactly 140: only the node at 70 crosses to it.
    EXPECT_EQ(links.crossLinks, (std::vector<Link>{{3, 0, 1}}));

    build(links, points, 140.5f, 10.001f);
    EXPECT_EQ(links.innerLinks, (std::vector<Link>{{2, 0, 2}}));
    // A gap wider than one shell skips no slot: 200 is in the next slot out.
    EXPECT_EQ(links.crossLinks, (std::vector<Link>{{3, 1, 2}, {3, 0, 1}}));
}

TEST(LinkLines, ThresholdComparisonIsExactAtEveryDistance) {
    // Two nodes in shell 1 at a random distance; thresholds at that rounded
    // distance and one float either side of it.
    LinkLines links;
    for (int32_t i = 0; i < 3000; ++i) {
        const Vec4 offset = randomInCube(i, 20.0f, 1.0f);
        const float scaleBy = std::ldexp(1.0f, -(i % 13));  // down to tiny gaps
        const Vec4 a{75.0f, 0.0f, 0.0f, 1.0f};
        const Vec4 b{75.0f + offset.x * scaleBy, offset.y * scaleBy, offset.z * scaleBy, 1.0f};
        const std::vector<Vec4> points = {a, b, {400.0f, 0.0f, 0.0f, 1.0f}};
        const float d = distance(a, b);
        build(links, points, 0.0f, d);
        ASSERT_TRUE(links.innerLinks.empty()) << i;
        build(links, points, 0.0f, std::nextafter(d, 0.0f));
        ASSERT_TRUE(links.innerLinks.empty()) << i;
        build(links, points, 0.0f, std::nextafter(d, 1e9f));
        ASSERT_EQ(links.innerLinks.size(), 1u) << i;
    }
}

TEST(LinkLines, ShellZeroAndTheOutermostSlotNeverStartLinks) {
    // Slots: 0 {10, 12}, 1 {60}, 2 {110}, 3 {160}, 4 {210}, 5 {260}, 6 {310, 311}; n = 6.
    std::vector<Vec4> points;
    for (const float d : {10.0f, 12.0f, 60.0f, 110.0f, 160.0f, 210.0f, 260.0f, 310.0f, 311.0f})
        points.push_back({d, 0, 0, 1});
    LinkLines links;
    build(links, points, 55.0f, 5.0f);
    EXPECT_TRUE(links.innerLinks.empty());
    // Shell 5 (260) is reached from shell 4 but does not reach out to slot 6.
    EXPECT_EQ(links.crossLinks, (std::vector<Link>{{3, 2, 3}, {5, 3, 4}, {7, 4, 5}, {9, 5, 6}}));
}

TEST(LinkLines, TwoCrossingLinksIsNotAHubThreeIs) {
    // Node 0 in shell 1; its neighbours one shell out; a far node keeps n large.
    std::vector<Vec4> points = {{60, 0, 0, 1}, {105, 5, 0, 1}, {105, -5, 0, 1}, {400, 0, 0, 1}};
    LinkLines links;
    build(links, points, 50.0f, 0.0f);
    EXPECT_EQ(links.crossLinks.size(), 2u);
    EXPECT_TRUE(links.hubs.empty());

    points.push_back({105, 0, 5, 1});
    build(links, points, 50.0f, 0.0f);
    EXPECT_EQ(links.crossLinks.size(), 3u);
    EXPECT_EQ(links.hubs, (std::vector<int32_t>{0}));

    // Inner links do not count towards hubs.
    build(links, points, 0.0f, 1000.0f);
    EXPECT_FALSE(links.innerLinks.empty());
    EXPECT_TRUE(links.hubs.empty());
}

TEST(LinkLines, OnlyTheFirstThousandNodesTakePart) {
    std::vector<Vec4> points = graphNodesAt(26.0, 9.0f, 283.0f, 0.0f);
    LinkLines links;
    build(links, points, 60.0f, 60.0f);
    const std::vector<Link> inner = links.innerLinks;
    // Moving nodes beyond the first thousand changes nothing.
    for (size_t i = 1000; i < points.size(); ++i) points[i] = points[i % 1000];
    build(links, points, 60.0f, 60.0f);
    EXPECT_EQ(links.innerLinks, inner);
    for (const Link& link : links.innerLinks) EXPECT_LT(link.b, 1000);
}

TEST(LinkLines, NonFinitePositionsLinkNothingAndDoNotCrash) {
    std::vector<Vec4> points = graphNodesAt(26.0, 9.0f, 283.0f, 0.0f);
    points[3] = {std::numeric_limits<float>::infinity(), 0, 0, 1};
    points[4] = {std::numeric_limits<float>::quiet_NaN(), 0, 0, 1};
    LinkLines links;
    build(links, points, 60.0f, 60.0f);
    for (const std::vector<Link>* list : {&links.innerLinks, &links.crossLinks}) {
        for (const Link& link : *list) {
            EXPECT_NE(link.a, 3);
            EXPECT_NE(link.b, 3);
            EXPECT_NE(link.a, 4);
            EXPECT_NE(link.b, 4);
        }
    }
    const std::vector<Vec4> far = {{1e38f, 1e38f, 1e38f, 1}, {60, 0, 0, 1}, {61, 0, 0, 1}};
    build(links, far, 60.0f, 60.0f);
    EXPECT_TRUE(contains(links.innerLinks, Link{2, 1, 2}));
}

TEST(LinkLines, InitialBuildLinksTheNearestThousandWithinFiftyUnits) {
    const std::vector<Vec4> points = graphNodesAt(26.0, 9.0f, 283.0f, 0.0f);
    LinkLines links;
    buildInitial(links, points);
    EXPECT_FALSE(links.innerLinks.empty());
    EXPECT_TRUE(links.crossLinks.empty());
    EXPECT_TRUE(links.hubs.empty());
    const std::vector<int32_t> order = sortByDistance(Vec4{}, points);
    const std::vector<int32_t> nearest(order.begin(), order.begin() + 1000);
    for (const Link& link : links.innerLinks) {
        EXPECT_LT(distance(points[link.a], points[link.b]), 50.0f);
        EXPECT_NE(std::find(nearest.begin(), nearest.end(), link.a), nearest.end());
        EXPECT_NE(std::find(nearest.begin(), nearest.end(), link.b), nearest.end());
        EXPECT_EQ(link.key % 2, 0);
    }
}
