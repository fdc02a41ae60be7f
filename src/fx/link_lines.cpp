#include "fx/link_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fx/lanes.h"

namespace {

constexpr float initialInnerThreshold = 50.0f;  // units, start-up build only
// Room reserved for each link list on the first build, so that frames whose
// graphs grow do not reallocate (more than the segment batch can draw).
constexpr size_t reservedLinks = 65536;

inline float distanceBetween(const Vec4& p, const Vec4& q) {
    const float dx = p.x - q.x;
    const float dy = p.y - q.y;
    const float dz = p.z - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Bound on the squared length equivalent to comparing the rounded length with
// a threshold. For a float s >= 0, sqrt(s) rounded to float is below t exactly
// when s is below the square of the midpoint between t and the float under it
// (that square is exact in double and is never itself a float). A float s is
// below that square exactly when it is below the least float above it, so the
// whole strict single-precision test becomes one float comparison of the
// squared length, with no square root. Returns 0 when nothing can pass.
float squaredBound(float threshold) {
    if (!(threshold > 0.0f)) return 0.0f;  // no length is below 0 (NaN never is)
    if (std::isinf(threshold)) return threshold;
    const float under = std::nextafter(threshold, 0.0f);
    const double midpoint = (static_cast<double>(under) + static_cast<double>(threshold)) * 0.5;
    const double square = midpoint * midpoint;
    float bound = static_cast<float>(square);
    if (static_cast<double>(bound) < square) bound = std::nextafter(bound, std::numeric_limits<float>::infinity());
    return bound;
}

// Appends {key, min, max} for every j in [from, to) whose squared distance to
// point i is below bound, in increasing j. The coordinate lists are padded
// with NaN past the last node, so a block may run past to safely.
void linkRange(const LinkLines& links, int32_t i, int32_t from, int32_t to, float bound, int32_t key,
               std::vector<Link>& out) {
    const float* xs = links.orderedX.data();
    const float* ys = links.orderedY.data();
    const float* zs = links.orderedZ.data();
    const Float4 ax = splat(xs[i]);
    const Float4 ay = splat(ys[i]);
    const Float4 az = splat(zs[i]);
    const Float4 limit = splat(bound);
    const int32_t a = links.order.entries[i].index;
    for (int32_t j = from; j < to; j += 4) {
        const Float4 dx = ax - load4(xs + j);
        const Float4 dy = ay - load4(ys + j);
        const Float4 dz = az - load4(zs + j);
        const Mask4 close = (dx * dx + dy * dy + dz * dz) < limit;
        if ((close[0] | close[1] | close[2] | close[3]) == 0) continue;
        for (int32_t lane = 0; lane < 4 && j + lane < to; ++lane) {
            if (close[lane] == 0) continue;
            const int32_t b = links.order.entries[j + lane].index;
            out.push_back(Link{key, std::min(a, b), std::max(a, b)});
        }
    }
}

// Cuts the first count entries of the order into shells of shellThickness
// and returns n, the index of the outermost slot. Shell k is the entries
// [shellStart[k], shellStart[k + 1]); there are n + 1 shells.
int32_t assignShells(LinkLines& links, int32_t count) {
    const float maxR = links.order.entries[count - 1].distance;
    const float ratio = maxR / shellThickness;
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
        if (links.order.entries[k].distance > static_cast<float>(s) * shellThickness && slot < n) {
            ++s;
            ++slot;
            links.shellStart[slot] = k;
        }
    }
    return n;
}

// Inner links within each shell L (1 <= L < n - 1) and, when asked, crossing
// links from shell L to shell L + 1, in the order the shells list their nodes.
void linkShells(LinkLines& links, const std::vector<Vec4>& points, int32_t count, int32_t n,
                float crossThreshold, float innerThreshold, bool withCrossLinks) {
    // Coordinates in shell order, so the pair loops read memory in sequence.
    const size_t padded = static_cast<size_t>(count) + 4;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    links.orderedX.assign(padded, nan);
    links.orderedY.assign(padded, nan);
    links.orderedZ.assign(padded, nan);
    for (int32_t k = 0; k < count; ++k) {
        const Vec4& p = points[links.order.entries[k].index];
        links.orderedX[k] = p.x;
        links.orderedY[k] = p.y;
        links.orderedZ[k] = p.z;
    }

    const float innerBound = squaredBound(innerThreshold);
    const float crossBound = withCrossLinks ? squaredBound(crossThreshold) : 0.0f;
    for (int32_t shell = 1; shell < n - 1; ++shell) {
        const int32_t begin = links.shellStart[shell];
        const int32_t end = links.shellStart[shell + 1];
        const int32_t nextEnd = links.shellStart[shell + 2];
        for (int32_t i = begin; i < end; ++i) {
            if (innerBound > 0.0f) linkRange(links, i, i + 1, end, innerBound, 2 * shell, links.innerLinks);
            if (crossBound > 0.0f) linkRange(links, i, end, nextEnd, crossBound, 2 * shell + 1, links.crossLinks);
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
        if (links.crossCounts[i] > hubCrossLinks) links.hubs.push_back(i);
}

}  // namespace

void sortByDistance(const Vec4& point, const std::vector<Vec4>& points, int32_t limit,
                    DistanceOrder& order) {
    const int32_t size = static_cast<int32_t>(points.size());
    const int32_t n = std::max(limit < 0 ? size : std::min(limit, size), 0);
    order.entries.resize(n);
    order.scratch.resize(n);
    for (int32_t i = 0; i < n; ++i) {
        float d = distanceBetween(points[i], point);
        // A NaN distance has no place in the order: it sorts with the infinite ones.
        if (std::isnan(d)) d = std::numeric_limits<float>::infinity();
        order.entries[i] = DistanceOrder::Entry{d, i};
    }
    // Stable radix sort on the distance's bits, a byte at a time from the
    // lowest. Distances are never negative, so their bit patterns order like
    // the numbers, and stability keeps equal distances in index order.
    auto keyOf = [](const DistanceOrder::Entry& e) {
        uint32_t bits;
        std::memcpy(&bits, &e.distance, sizeof(bits));
        return bits;
    };
    for (int32_t shift = 0; shift < 32; shift += 8) {
        std::array<int32_t, 257> offsets{};
        for (const DistanceOrder::Entry& e : order.entries) ++offsets[((keyOf(e) >> shift) & 0xffu) + 1];
        // A byte that all keys share leaves the order as it is.
        bool shared = false;
        for (int32_t b = 1; b <= 256 && !shared; ++b) shared = offsets[b] == n;
        if (shared) continue;
        for (int32_t b = 1; b <= 256; ++b) offsets[b] += offsets[b - 1];
        for (const DistanceOrder::Entry& e : order.entries) order.scratch[offsets[(keyOf(e) >> shift) & 0xffu]++] = e;
        order.entries.swap(order.scratch);
    }
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
    sortByDistance(Vec4{}, points, linkedNodeCount, links.order);
    links.innerLinks.clear();
    links.crossLinks.clear();
    links.innerLinks.reserve(reservedLinks);
    links.crossLinks.reserve(reservedLinks);
    links.hubs.reserve(linkedNodeCount);
    links.shellStart.reserve(linkedNodeCount + 3);  // n is at most the node count + 1
    const int32_t count = static_cast<int32_t>(links.order.entries.size());
    if (count > 0) {
        const int32_t n = assignShells(links, count);
        linkShells(links, points, count, n, crossThreshold, innerThreshold, true);
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
        std::min(static_cast<int32_t>(links.order.entries.size()), linkedNodeCount);
    if (count == 0) return;
    const int32_t n = assignShells(links, count);
    linkShells(links, points, count, n, 0.0f, initialInnerThreshold, false);
}

void releaseLinkLines(LinkLines& links) {
    std::vector<Link>().swap(links.crossLinks);
    std::vector<Link>().swap(links.innerLinks);
    std::vector<int32_t>().swap(links.hubs);
    std::vector<DistanceOrder::Entry>().swap(links.order.entries);
    std::vector<DistanceOrder::Entry>().swap(links.order.scratch);
    std::vector<int32_t>().swap(links.shellStart);
    std::vector<float>().swap(links.orderedX);
    std::vector<float>().swap(links.orderedY);
    std::vector<float>().swap(links.orderedZ);
}
