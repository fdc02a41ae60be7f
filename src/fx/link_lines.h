// Link graph between the first 1000 graph nodes: which pairs are linked
// within a radial shell of 50 units, which cross to the next shell out, and
// which nodes are hubs. Rebuilt from scratch every frame of the first scene;
// the object owns its lists and the scratch storage it reuses between builds.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fx/noise.h"

constexpr int32_t linkedNodeCount = 1000;  // only the first nodes are linked
constexpr float shellThickness = 50.0f;    // units
constexpr int32_t hubCrossLinks = 2;       // a hub has more crossing links than this

struct Link {
    int32_t key = 0;  // 2 * shell for inner links, 2 * shell + 1 for crossing links
    int32_t a = 0;    // node index, a <= b
    int32_t b = 0;    // node index
};

inline bool operator==(const Link& l, const Link& r) {
    return l.key == r.key && l.a == r.a && l.b == r.b;
}

// Reusable storage for one distance ordering.
struct DistanceOrder {
    struct Entry {
        float distance;  // units
        int32_t index;
    };
    std::vector<Entry> entries;  // ascending distance
    std::vector<Entry> scratch;  // working space of the sort
};

struct LinkLines {
    std::vector<Link> crossLinks;  // from a shell to the next one out
    std::vector<Link> innerLinks;  // within one shell
    std::vector<int32_t> hubs;     // ascending node indices with more than two crossing links

    // Scratch kept between builds so that a frame allocates nothing.
    DistanceOrder order;
    std::vector<int32_t> shellStart;  // shell k holds order entries [shellStart[k], shellStart[k + 1])
    std::vector<float> orderedX;  // the linked nodes' coordinates in distance order,
    std::vector<float> orderedY;  // padded past the end
    std::vector<float> orderedZ;
    std::array<int32_t, linkedNodeCount> crossCounts{};
};

// Indices 0 .. n - 1 (n = limit, or every point when limit < 0) ordered by
// ascending distance of points[i].xyz from point; ties in index order, and a
// non-finite distance sorts last. Writes into order, reusing its storage.
void sortByDistance(const Vec4& point, const std::vector<Vec4>& points, int32_t limit,
                    DistanceOrder& order);
// The same, into an index list that keeps its storage between calls.
void sortByDistance(const Vec4& point, const std::vector<Vec4>& points, int32_t limit,
                    std::vector<int32_t>& indices);
// The same, returning a new list (allocates).
std::vector<int32_t> sortByDistance(const Vec4& point, const std::vector<Vec4>& points,
                                    int32_t limit = -1);

// Rebuilds every list from the nodes' positions. Pairs exactly at a threshold
// are not linked. Fewer than 1000 points link only those there are.
void build(LinkLines& links, const std::vector<Vec4>& points, float crossThreshold /* units */,
           float innerThreshold /* units */);
// Start-up variant: inner links of the 1000 nodes nearest the origin with a
// fixed threshold of 50 units; no crossing links, no hubs.
void buildInitial(LinkLines& links, const std::vector<Vec4>& points);

// Frees every list.
void releaseLinkLines(LinkLines& links);
