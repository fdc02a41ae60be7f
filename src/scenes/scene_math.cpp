#include "scenes/scene_math.h"

#include <cmath>

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
    return trackValues[38] > trackValues[39] ? trackValues[38] : trackValues[39];
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
    const double offset = musicTime - kSecondTableStart;
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
        if (d < shellRadius && d > shellRadius - kRimWidth) rimNodes.push_back(j);
    }
}

void prepareDustExplosion(DustExplosionTable& table, int32_t nodeCount)
{
    const size_t n = nodeCount > 0 ? size_t(nodeCount) : 0;
    table.heights.resize(n);
    table.bulges.resize(n);
    table.sines.resize(n);
    table.cosines.resize(n);
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
    }
}

void placeDustExplosion(std::vector<Vec4>& positions, double musicTime, const float* trackValues,
                        DustExplosionTable& table)
{
    const int32_t n = static_cast<int32_t>(positions.size());
    if (table.heights.size() != positions.size()) prepareDustExplosion(table, n);
    const float radius = trackValues[34];
    const float baseAngle = trackValues[41];
    const float bulge = trackValues[42];
    const double spin = musicTime * 0.2;
    const float time = static_cast<float>(musicTime);

    for (size_t i = 0; i < positions.size(); ++i) {
        const float h = table.heights[i];
        const float s = table.sines[i];
        const float cu = table.cosines[i];
        const float c = table.bulges[i] * bulge * 120.0f;

        const float r = radius + c;
        const float ls = radius * s, lc = radius * cu;
        const float length = std::sqrt(ls * ls + lc * lc);
        // length / radius equals |(s, cos u)| times the sign of the radius;
        // at radius 0 take that limit from above instead of dividing 0 by 0.
        const float ratio = radius != 0.0f ? length / radius : std::sqrt(s * s + cu * cu);
        const float angle = static_cast<float>(baseAngle - (1.0f - ratio) * spin);

        const Vec4 o = rotateAboutY(angle, r * s, 0.0f, r * cu, 1.0f);
        const glm::vec3 strand = strandPath(h, time);
        Vec4& p = positions[i];
        p.x = strand.x + o.x;
        p.y = strand.y;
        p.z = strand.z + o.z;
    }
}
