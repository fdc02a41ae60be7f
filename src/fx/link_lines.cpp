#include "fx/link_lines.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kInitialInnerThreshold = 50.0f;  // units, start-up build only

inline float distanceBetween(const Vec4& p, const Vec4& q) {
    const float dx = p.x - q.x;
    const float dy = p.y - q.y;
    const float dz = p.z - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// True when p and q are closer than threshold. A pair whose x distance alone
// reaches the threshold is rejected without the square root: the rounded
// length is never below |dx| (as long as dx * dx does not underflow, hence
// the lower bound), so the result is the same as the full test.
inline bool closerThan(const Vec4& p, const Vec4& q, float threshold) {
    if (threshold >= 1e-15f && std::fabs(p.x - q.x) >= threshold) return false;
    return distanceBetween(p, q) < threshold;
}

// Cuts the first count entries of the order into shells of kShellThickness
// and returns n, the index of the outermost slot. Shell k is the entries
// [shellStart[k], shellStart[k + 1]); there are n + 1 shells.
int32_t assignShells(LinkLines& links, int32_t count) {
    const float maxR = links.order.entries[count - 1].distance;
    const float ratio = maxR / kShellThickness;
    // Slots grow at most once per node, so shells past count + 1 are always
    // empty and start no links; clamping also keeps an infinite or NaN
    // distance from producing an unbounded shell count.
    const int32_t n = (ratio < static_cast<float>(count + 1)) ? static_cast<int32_t>(ratio) : count + 1;

    links.shellStart.assign(static_cast<size_t>(n) + 2, count);
    links.shellStart[0] = 0;
    int32_t s = 1;
    int32_t slot = 0;
    for (int32_t k = 0; k < count; ++k) {
        // At most one step per node: a gap wider than a shell skips no slot.
        if (links.order.entries[k].distance > static_cast<float>(s) * kShellThickness && slot < n) {
            ++s;
            ++slot;
            links.shellStart[slot] = k;
        }
    }
    return n;
}

// Inner links within each shell L (1 <= L < n - 1) and, when asked, crossing
// links from shell L to shell L + 1, in the order the shells list their nodes.
void linkShells(LinkLines& links, const std::vector<Vec4>& points, int32_t n, float crossThreshold,
                float innerThreshold, bool withCrossLinks) {
    const auto& entries = links.order.entries;
    const bool inner = innerThreshold > 0.0f;  // no distance is below 0 or NaN
    const bool cross = withCrossLinks && crossThreshold > 0.0f;
    for (int32_t shell = 1; shell < n - 1; ++shell) {
        const int32_t begin = links.shellStart[shell];
        const int32_t end = links.shellStart[shell + 1];
        const int32_t nextEnd = links.shellStart[shell + 2];
        for (int32_t i = begin; i < end; ++i) {
            const int32_t a = entries[i].index;
            const Vec4& pa = points[a];
            if (inner) {
                for (int32_t j = i + 1; j < end; ++j) {
                    const int32_t b = entries[j].index;
                    if (closerThan(pa, points[b], innerThreshold))
                        links.innerLinks.push_back(Link{2 * shell, std::min(a, b), std::max(a, b)});
                }
            }
            if (cross) {
                for (int32_t j = end; j < nextEnd; ++j) {
                    const int32_t b = entries[j].index;
                    if (closerThan(pa, points[b], crossThreshold))
                        links.crossLinks.push_back(Link{2 * shell + 1, std::min(a, b), std::max(a, b)});
                }
            }
        }
    }
}

void findHubs(LinkLines& links, int32_t count) {
    links.hubs.clear();
    std::fill(links.crossCounts.begin(), links.crossCounts.begin() + count, 0);
    for (const Link& link : links.crossLinks) {
        ++links.crossCounts[link.a];
        ++links.crossCounts[link.b];
    }
    for (int32_t i = 0; i < count; ++i)
        if (links.crossCounts[i] > kHubCrossLinks) links.hubs.push_back(i);
}

}  // namespace

void sortByDistance(const Vec4& point, const std::vector<Vec4>& points, int32_t limit,
                    DistanceOrder& order) {
    const int32_t size = static_cast<int32_t>(points.size());
    const int32_t n = limit < 0 ? size : std::min(limit, size);
    order.entries.resize(n);
    for (int32_t i = 0; i < n; ++i) {
        float d = distanceBetween(points[i], point);
        // A NaN distance would break the ordering the sort relies on.
        if (std::isnan(d)) d = std::numeric_limits<float>::infinity();
        order.entries[i] = DistanceOrder::Entry{d, i};
    }
    std::sort(order.entries.begin(), order.entries.end(),
              [](const DistanceOrder::Entry& l, const DistanceOrder::Entry& r) {
                  return l.distance < r.distance || (l.distance == r.distance && l.index < r.index);
              });
}

void sortByDistance(const Vec4& point, const std::vector<Vec4>& points, int32_t limit,
                    std::vector<int32_t>& indices) {
    static DistanceOrder scratch;  // kept for the whole run
    sortByDistance(point, points, limit, scratch);
    indices.resize(scratch.entries.size());
    for (size_t i = 0; i < scratch.entries.size(); ++i) indices[i] = scratch.entries[i].index;
}

std::vector<int32_t> sortByDistance(const Vec4& point, const std::vector<Vec4>& points,
                                    int32_t limit) {
    std::vector<int32_t> indices;
    sortByDistance(point, points, limit, indices);
    return indices;
}

void build(LinkLines& links, const std::vector<Vec4>& points, float crossThreshold,
           float innerThreshold) {
    sortByDistance(Vec4{}, points, kLinkedNodeCount, links.order);
    links.innerLinks.clear();
    links.crossLinks.clear();
    const int32_t count = static_cast<int32_t>(links.order.entries.size());
    if (count > 0) {
        const int32_t n = assignShells(links, count);
        linkShells(links, points, n, crossThreshold, innerThreshold, true);
    }
    findHubs(links, count);
}

void buildInitial(LinkLines& links, const std::vector<Vec4>& points) {
    // The whole list is ordered, and the 1000 nodes nearest the origin are linked.
    sortByDistance(Vec4{}, points, -1, links.order);
    links.innerLinks.clear();
    links.crossLinks.clear();
    links.hubs.clear();
    const int32_t count =
        std::min(static_cast<int32_t>(links.order.entries.size()), kLinkedNodeCount);
    if (count == 0) return;
    const int32_t n = assignShells(links, count);
    linkShells(links, points, n, 0.0f, kInitialInnerThreshold, false);
}

void releaseLinkLines(LinkLines& links) {
    std::vector<Link>().swap(links.crossLinks);
    std::vector<Link>().swap(links.innerLinks);
    std::vector<int32_t>().swap(links.hubs);
    std::vector<DistanceOrder::Entry>().swap(links.order.entries);
    std::vector<int32_t>().swap(links.shellStart);
}
