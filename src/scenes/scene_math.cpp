#include "scenes/scene_math.h"

#include <algorithm>
#include <cmath>

#include "fx/lanes.h"
#include "sync/track_names.h"

namespace {

bool isFinitePoint(const Vec4& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

float growAt(double musicTime)
{
    const double scaled = musicTime * 0.1;
    return static_cast<float>(scaled - std::floor(scaled));
}

float growRadiusAt(double musicTime)
{
    const float radius = static_cast<float>((musicTime - 50.0) * 25.0);
    return radius < 0.0f ? 0.0f : radius;
}

float maxRadiusOf(const float* trackValues)
{
    return trackValues[track::crossThreshold] > trackValues[track::innerThreshold] ? trackValues[track::crossThreshold] : trackValues[track::innerThreshold];
}

int32_t nodeDrawCount(float trackValue, int32_t nodeCount)
{
    // Out-of-range floats would make the conversion undefined; they mean
    // "all" above and "none" below.
    if (!(trackValue > -2.0f)) return 0;
    if (trackValue >= static_cast<float>(nodeCount)) return nodeCount;
    const int32_t count = static_cast<int32_t>(trackValue);
    if (count == -1) return nodeCount;
    return count < 0 ? 0 : count;
}

int32_t cameraModeOf(float trackValue)
{
    if (!(trackValue > -1e9f && trackValue < 1e9f)) return 0;
    return static_cast<int32_t>(trackValue);
}

int32_t secondIndexAt(double musicTime, int32_t tableSize)
{
    const double offset = musicTime - secondTableStart;
    if (!(offset > 0.0)) return 0;
    const double last = tableSize > 0 ? double(tableSize - 1) : 0.0;
    return offset >= last ? static_cast<int32_t>(last) : static_cast<int32_t>(offset);
}

void selectNodes(const std::vector<Vec4>& clusterCentres, const std::vector<int32_t>& clusterOrder,
                 float eyeX, float eyeY, float eyeZ, float nearDistance, float shellRadius,
                 bool pinFirst, std::vector<int32_t>& nearNodes, std::vector<int32_t>& farNodes,
                 std::vector<int32_t>& rimNodes)
{
    nearNodes.clear();
    farNodes.clear();
    rimNodes.clear();
    if (pinFirst) nearNodes.push_back(0);

    const size_t count = clusterOrder.size();
    for (size_t i = 1; i < count; ++i) {
        const int32_t j = clusterOrder[i];
        if (j < 0 || static_cast<size_t>(j) >= clusterCentres.size()) continue;
        // The pinned cluster is already listed; the order was taken before
        // the pin, so it may turn up anywhere.
        if (pinFirst && j == 0) continue;
        const Vec4& p = clusterCentres[static_cast<size_t>(j)];
        if (!isFinitePoint(p)) continue;
        const float d = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        if (d > shellRadius) break;  // every later cluster is farther still

        const float ex = p.x - eyeX, ey = p.y - eyeY, ez = p.z - eyeZ;
        const float e = std::sqrt(ex * ex + ey * ey + ez * ez);
        if (e < nearDistance)
            nearNodes.push_back(j);
        else
            farNodes.push_back(j);
        if (d < shellRadius && d > shellRadius - rimWidth) rimNodes.push_back(j);
    }
}

void prepareDustExplosion(DustExplosionTable& table, int32_t nodeCount)
{
    const size_t n = nodeCount > 0 ? size_t(nodeCount) : 0;
    table.heights.resize(n);
    table.bulges.resize(n);
    table.sines.resize(n);
    table.cosines.resize(n);
    table.windX.resize(n);
    table.windZ.resize(n);
    table.wobbleX.resize(n);
    table.wobbleZ.resize(n);
    for (int32_t i = 0; i < nodeCount; ++i) {
        const int32_t k1 = 32 * i;
        const int32_t k2 = 23 + 390 * i;
        const float h = static_cast<float>((i - nodeCount * 0.5) * 0.35);
        const float b = 1.0f - std::fabs((h - 400.0f) / 500.0f);
        // The sines take k1 + 323.34 and k2 at double precision; u is rounded
        // to float before its cosine, which is what fixes the spiral.
        const float u = static_cast<float>(std::sin(double(k1) + 323.34) + double(k2));
        table.heights[size_t(i)] = h;
        table.bulges[size_t(i)] = b * b * b * b;
        table.sines[size_t(i)] = static_cast<float>(std::sin(double(k2)));
        table.cosines[size_t(i)] = std::cos(u);
        // The terms of strandPath(h, t) that do not depend on t, written as
        // strandPath writes them so that the sums come out the same.
        table.windX[size_t(i)] = 600.0f * std::sin(h * 0.0045f * 0.33f);
        table.windZ[size_t(i)] = 600.0f * std::cos(h * 0.0045f * 0.33f);
        table.wobbleX[size_t(i)] = h * 0.0105f * 0.33f;
        table.wobbleZ[size_t(i)] = h * 0.0095f * 0.33f;
    }
}

void placeDustExplosion(std::vector<Vec4>& positions, double musicTime, const float* trackValues,
                        DustExplosionTable& table)
{
    const int32_t n = static_cast<int32_t>(positions.size());
    if (table.heights.size() != positions.size()) prepareDustExplosion(table, n);
    const float radius = trackValues[track::explosionRadius];
    const float baseAngle = trackValues[track::explosionAngle];
    const float bulge = trackValues[track::bulge];
    const double spin = musicTime * 0.2;
    const float time = static_cast<float>(musicTime);
    // The strand's wobble phases advance with time alike for every node.
    const float wobbleTimeX = time * 0.0252f;
    const float wobbleTimeZ = time * 0.0241f;

    const Float4 radius4 = splat(radius);
    const Float4 one = splat(1.0f);
    const Float4 bulge4 = splat(bulge);
    const Float4 scale120 = splat(120.0f);
    const Float4 scale300 = splat(300.0f);

    // Four nodes at a time: the arithmetic runs four lanes wide, the sines and
    // cosines node by node between the two halves. Lanes past the last node
    // read zeros and are not stored.
    alignas(16) float h[4], s[4], cu[4], b[4], wx[4], wz[4], px[4], pz[4];
    alignas(16) float turn[4], cs[4], sn[4], wobbleSinX[4], wobbleCosZ[4];
    for (int32_t start = 0; start < n; start += 4) {
        const int32_t m = std::min(4, n - start);
        for (int32_t k = 0; k < 4; ++k) {
            const bool inside = k < m;
            const size_t i = size_t(start + (inside ? k : 0));
            h[k] = inside ? table.heights[i] : 0.0f;
            s[k] = inside ? table.sines[i] : 0.0f;
            cu[k] = inside ? table.cosines[i] : 0.0f;
            b[k] = inside ? table.bulges[i] : 0.0f;
            wx[k] = inside ? table.windX[i] : 0.0f;
            wz[k] = inside ? table.windZ[i] : 0.0f;
            px[k] = inside ? table.wobbleX[i] + wobbleTimeX : 0.0f;
            pz[k] = inside ? table.wobbleZ[i] + wobbleTimeZ : 0.0f;
        }
        const Float4 s4 = load4(s), cu4 = load4(cu);
        // length / radius equals |(s, cos u)| times the sign of the radius;
        // at radius 0 take that limit from above instead of dividing 0 by 0.
        Float4 ratio;
        if (radius != 0.0f) {
            const Float4 ls = radius4 * s4, lc = radius4 * cu4;
            ratio = sqrt4(ls * ls + lc * lc) / radius4;
        } else {
            ratio = sqrt4(s4 * s4 + cu4 * cu4);
        }
        store4(turn, one - ratio);

        for (int32_t k = 0; k < 4; ++k) {
            const float angle = static_cast<float>(baseAngle - turn[k] * spin);
            cs[k] = std::cos(angle);
            sn[k] = std::sin(angle);
            wobbleSinX[k] = std::sin(px[k]);
            wobbleCosZ[k] = std::cos(pz[k]);
        }

        // rotateAboutY(angle, r s, 0, r cos u) plus strandPath(h, t).
        const Float4 r = radius4 + load4(b) * bulge4 * scale120;
        const Float4 ox = r * s4, oz = r * cu4;
        const Float4 cosTurn = load4(cs), sinTurn = load4(sn);
        const Float4 rx = ox * cosTurn + oz * sinTurn;
        const Float4 rz = -ox * sinTurn + oz * cosTurn;
        const Float4 strandX = load4(wx) + scale300 * load4(wobbleSinX);
        const Float4 strandZ = load4(wz) + scale300 * load4(wobbleCosZ);
        store4(px, strandX + rx);
        store4(pz, strandZ + rz);
        for (int32_t k = 0; k < m; ++k) {
            Vec4& p = positions[size_t(start + k)];
            p.x = px[k];
            p.y = h[k];
            p.z = pz[k];
        }
    }
}
