// The procedural night sky and its cube maps: an indigo-to-teal gradient, a
// warm glow low on one side of the horizon, a tilted band of stars with a
// faint haze, and the glossy and diffuse convolutions of it all.
#include "imagegen.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

constexpr float pi = 3.14159265f;
constexpr uint32_t starSeed = 0x0c0ffee5u;
constexpr int starCount = 9000;
constexpr float starSigma = 0.0025f;  // radians; about 0.6 texel on a 512 face
constexpr float lobeFloor = 1.0e-4f;  // lobe weights below this are dropped
constexpr int largestBlock = 8;          // pixels; convolution culls by blocks

Vec3 add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 scale(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 normalise(Vec3 a)
{
    float length = std::sqrt(dot(a, a));
    return length > 0.0f ? scale(a, 1.0f / length) : a;
}
Vec3 mix(Vec3 a, Vec3 b, float t) { return add(scale(a, 1.0f - t), scale(b, t)); }

// The star band: a great circle tilted against the horizon.
const Vec3 bandNormal = normalise({0.42f, 0.78f, 0.46f});
// Azimuth of the warm horizon glow (slightly left of -Z, the default view).
const Vec3 glowDirection = normalise({-0.45f, 0.0f, -0.89f});

// Smooth 3D value noise in -1..1 from hashed lattice corners.
float valueNoise(float x, float y, float z, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy), iz = static_cast<int>(fz);
    float tx = x - fx, ty = y - fy, tz = z - fz;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    tz = tz * tz * (3.0f - 2.0f * tz);
    auto corner = [&](int dx, int dy, int dz) {
        uint32_t h = hashUint(seed ^ hashUint(static_cast<uint32_t>(ix + dx) * 73856093u
                                              ^ static_cast<uint32_t>(iy + dy) * 19349663u
                                              ^ static_cast<uint32_t>(iz + dz) * 83492791u));
        return static_cast<float>(h >> 8) * (2.0f / 16777216.0f) - 1.0f;
    };
    float x00 = corner(0, 0, 0) + (corner(1, 0, 0) - corner(0, 0, 0)) * tx;
    float x10 = corner(0, 1, 0) + (corner(1, 1, 0) - corner(0, 1, 0)) * tx;
    float x01 = corner(0, 0, 1) + (corner(1, 0, 1) - corner(0, 0, 1)) * tx;
    float x11 = corner(0, 1, 1) + (corner(1, 1, 1) - corner(0, 1, 1)) * tx;
    float y0 = x00 + (x10 - x00) * ty;
    float y1 = x01 + (x11 - x01) * ty;
    return y0 + (y1 - y0) * tz;
}

float fractalNoise(Vec3 p)
{
    return 0.6f * valueNoise(p.x, p.y, p.z, 11u) + 0.3f * valueNoise(2.1f * p.x, 2.1f * p.y, 2.1f * p.z, 23u)
           + 0.1f * valueNoise(4.3f * p.x, 4.3f * p.y, 4.3f * p.z, 37u);
}

// Stars and haze fade out just below the horizon.
float horizonFade(float elevation)
{
    return smoothStep(-0.12f, 0.06f, elevation);
}

// Runs work(index) for index 0..count-1 on up to threadCount threads. Every
// index writes only its own output, so the result does not depend on timing.
template <typename Work>
void parallelFor(int count, int threadCount, const Work& work)
{
    threadCount = std::clamp(threadCount, 1, std::max(1, count));
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t]() {
            for (int index = t; index < count; index += threadCount) {
                work(index);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Six faces of size x size texels, all black.
CubeMap blankCube(int size)
{
    CubeMap cube;
    for (Face& face : cube) {
        face.size = size;
        face.rgb.assign(static_cast<size_t>(size) * size * 3, 0.0f);
    }
    return cube;
}

// The RGB triple of texel (x, y) of a face.
float* texel(Face& face, int x, int y)
{
    return &face.rgb[(static_cast<size_t>(y) * face.size + x) * 3];
}

const float* texel(const Face& face, int x, int y)
{
    return &face.rgb[(static_cast<size_t>(y) * face.size + x) * 3];
}

// Face coordinates of a direction on a given face: false when the direction
// points away from that face. s and t may fall outside 0..1 near the edges.
bool projectToFace(int face, Vec3 d, float& s, float& t)
{
    float ma = 0.0f, sc = 0.0f, tc = 0.0f;
    switch (face) {
    case 0: ma = d.x; sc = -d.z; tc = -d.y; break;
    case 1: ma = -d.x; sc = d.z; tc = -d.y; break;
    case 2: ma = d.y; sc = d.x; tc = d.z; break;
    case 3: ma = -d.y; sc = d.x; tc = -d.z; break;
    case 4: ma = d.z; sc = d.x; tc = -d.y; break;
    default: ma = -d.z; sc = -d.x; tc = -d.y; break;
    }
    if (ma <= 0.0f) {
        return false;
    }
    s = 0.5f * (sc / ma + 1.0f);
    t = 0.5f * (tc / ma + 1.0f);
    return true;
}

struct Star {
    Vec3 direction;
    Vec3 colour;  // peak radiance
};

std::vector<Star> makeStars()
{
    Vec3 axisA = normalise(cross(bandNormal, {0.0f, 0.0f, 1.0f}));
    Vec3 axisB = cross(bandNormal, axisA);
    std::vector<Star> stars;
    stars.reserve(starCount);
    for (int k = 0; k < starCount; ++k) {
        auto unit = [&](uint32_t m) { return hashUnit(starSeed ^ hashUint(static_cast<uint32_t>(k) * 8u + m)); };
        Vec3 direction;
        if (unit(0) < 0.78f) {
            // In the band: a point on the circle, scattered off it (Box-Muller).
            float angle = 2.0f * pi * unit(1);
            float offset = 0.085f * std::sqrt(-2.0f * std::log(std::max(unit(2), 1e-6f)))
                           * std::cos(2.0f * pi * unit(3));
            direction = normalise(add(add(scale(axisA, std::cos(angle)), scale(axisB, std::sin(angle))),
                                      scale(bandNormal, offset)));
        } else {
            float z = 2.0f * unit(1) - 1.0f;
            float angle = 2.0f * pi * unit(2);
            float r = std::sqrt(std::max(0.0f, 1.0f - z * z));
            direction = {r * std::cos(angle), z, r * std::sin(angle)};
        }
        // Mostly faint, a few bright enough to bloom.
        float u = unit(4);
        float brightness = 0.05f + 0.4f * u * u * u * u;
        if (u > 0.985f) {
            brightness += 0.8f + 2.6f * (u - 0.985f) / 0.015f;
        }
        Vec3 cool = {0.72f, 0.84f, 1.0f}, warm = {1.0f, 0.84f, 0.66f};
        Vec3 colour = scale(mix(cool, warm, unit(5)), brightness * horizonFade(direction.y));
        stars.push_back({direction, colour});
    }
    return stars;
}

void splatStar(CubeMap& cube, const Star& star)
{
    int size = cube[0].size;
    // Corner texels subtend about a third of the centre's angle; the window
    // must hold three sigmas there.
    int radius = static_cast<int>(std::ceil(3.0f * starSigma * size * 0.5f * 3.0f));
    float margin = (radius + 1.0f) / size;
    for (int face = 0; face < 6; ++face) {
        float s = 0.0f, t = 0.0f;
        if (!projectToFace(face, star.direction, s, t) || s < -margin || s > 1.0f + margin
            || t < -margin || t > 1.0f + margin) {
            continue;
        }
        int cx = static_cast<int>(std::floor(s * size)), cy = static_cast<int>(std::floor(t * size));
        for (int y = std::max(0, cy - radius); y <= std::min(size - 1, cy + radius); ++y) {
            for (int x = std::max(0, cx - radius); x <= std::min(size - 1, cx + radius); ++x) {
                Vec3 d = cubeDirection(face, (x + 0.5f) / size, (y + 0.5f) / size);
                if (dot(d, star.direction) <= 0.0f) {
                    continue;
                }
                // |a x b| is sin of the angle: precise for tiny angles.
                Vec3 c = cross(d, star.direction);
                float angle2 = dot(c, c);
                float w = std::exp(-0.5f * angle2 / (starSigma * starSigma));
                float* p = texel(cube[face], x, y);
                p[0] += star.colour.x * w;
                p[1] += star.colour.y * w;
                p[2] += star.colour.z * w;
            }
        }
    }
}

float texelSolidAngle(float sc, float tc, int size)
{
    float area = 4.0f / (static_cast<float>(size) * size);
    float r2 = 1.0f + sc * sc + tc * tc;
    return area / (r2 * std::sqrt(r2));
}

// x^n for a positive integer n by repeated squaring.
float powInt(float x, int n)
{
    float result = 1.0f;
    while (n > 0) {
        if (n & 1) {
            result *= x;
        }
        x *= x;
        n >>= 1;
    }
    return result;
}

// A block of source texels with the cone that holds them.
struct Block {
    Vec3 centre;
    float cosLimit;  // a direction whose cosine to centre is below this sees no texel of it
    int first;       // index of the block's first texel in the flat arrays
    int count;
};

}  // namespace

Vec3 cubeDirection(int face, float s, float t)
{
    float sc = 2.0f * s - 1.0f, tc = 2.0f * t - 1.0f;
    Vec3 d;
    switch (face) {
    case 0: d = {1.0f, -tc, -sc}; break;
    case 1: d = {-1.0f, -tc, sc}; break;
    case 2: d = {sc, 1.0f, tc}; break;
    case 3: d = {sc, -1.0f, -tc}; break;
    case 4: d = {sc, -tc, 1.0f}; break;
    default: d = {-sc, -tc, -1.0f}; break;
    }
    return normalise(d);
}

Vec3 skyBackground(Vec3 d)
{
    const Vec3 zenith = {0.030f, 0.022f, 0.140f};
    const Vec3 horizon = {0.020f, 0.150f, 0.170f};
    const Vec3 nadir = {0.006f, 0.010f, 0.030f};
    float e = std::clamp(d.y, -1.0f, 1.0f);
    Vec3 colour;
    if (e >= 0.0f) {
        float k = 1.0f - (1.0f - e) * (1.0f - e) * (1.0f - e);
        colour = mix(horizon, zenith, k);
    } else {
        float k = 1.0f - std::pow(1.0f + e, 4.0f);
        colour = mix(horizon, nadir, k);
    }

    Vec3 flat = {d.x, 0.0f, d.z};
    float flatLength = std::sqrt(dot(flat, flat));
    float towardGlow = flatLength > 1e-6f ? dot(flat, glowDirection) / flatLength : 0.0f;
    // The teal deepens on the glowing side, so the sky is not symmetric.
    colour = scale(colour, 1.0f + 0.18f * towardGlow * (1.0f - std::fabs(e)));

    // Warm glow hugging the horizon; its core goes above 1 so it blooms.
    float across = 1.0f - towardGlow;
    float height = e >= 0.0f ? std::exp(-e / 0.08f) : std::exp(e / 0.025f);
    float core = 3.6f * std::exp(-across / 0.1f) * height;
    float wide = 0.3f * std::exp(-across / 0.6f) * std::exp(-std::fabs(e) / 0.2f);
    colour = add(colour, scale(Vec3{1.0f, 0.52f, 0.2f}, core));
    colour = add(colour, scale(Vec3{0.9f, 0.5f, 0.25f}, wide));

    // The haze of unresolved stars along the band, clumped by noise.
    float b = dot(d, bandNormal) / 0.15f;
    float clump = 0.5f + 0.5f * fractalNoise(scale(d, 5.0f));
    float haze = std::exp(-b * b) * clump * horizonFade(e);
    colour = add(colour, scale(Vec3{0.035f, 0.042f, 0.07f}, haze));
    return colour;
}

CubeMap renderSky(int size, int threadCount)
{
    CubeMap cube = blankCube(size);
    parallelFor(6 * size, threadCount, [&](int row) {
        int face = row / size, y = row % size;
        for (int x = 0; x < size; ++x) {
            Vec3 c = skyBackground(cubeDirection(face, (x + 0.5f) / size, (y + 0.5f) / size));
            float* p = texel(cube[face], x, y);
            p[0] = c.x;
            p[1] = c.y;
            p[2] = c.z;
        }
    });
    // Stars are few: splatted in a fixed order on one thread.
    for (const Star& star : makeStars()) {
        splatStar(cube, star);
    }
    return cube;
}

CubeMap downsampleCube(const CubeMap& source, int factor)
{
    int size = source[0].size / factor;
    CubeMap out = blankCube(size);
    float norm = 1.0f / (factor * factor);
    for (int f = 0; f < 6; ++f) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                for (int c = 0; c < 3; ++c) {
                    float sum = 0.0f;
                    for (int dy = 0; dy < factor; ++dy) {
                        for (int dx = 0; dx < factor; ++dx) {
                            sum += texel(source[f], x * factor + dx, y * factor + dy)[c];
                        }
                    }
                    texel(out[f], x, y)[c] = sum * norm;
                }
            }
        }
    }
    return out;
}

CubeMap convolveCube(const CubeMap& source, int outputSize, int exponent, int threadCount)
{
    int size = source[0].size;
    int blockSize = std::min(largestBlock, size);
    // Flat arrays of source texels, grouped block by block.
    std::vector<Vec3> directions;
    std::vector<float> weights;  // solid angle, steradians
    std::vector<Vec3> radiance;
    std::vector<Block> blocks;
    float cosCut = exponent > 1 ? std::exp(std::log(lobeFloor) / exponent) : 0.0f;
    float angleCut = std::acos(cosCut);
    for (int f = 0; f < 6; ++f) {
        for (int by = 0; by < size; by += blockSize) {
            for (int bx = 0; bx < size; bx += blockSize) {
                Block block;
                block.first = static_cast<int>(directions.size());
                Vec3 sum;
                for (int y = by; y < std::min(size, by + blockSize); ++y) {
                    for (int x = bx; x < std::min(size, bx + blockSize); ++x) {
                        float s = (x + 0.5f) / size, t = (y + 0.5f) / size;
                        Vec3 d = cubeDirection(f, s, t);
                        directions.push_back(d);
                        weights.push_back(texelSolidAngle(2.0f * s - 1.0f, 2.0f * t - 1.0f, size));
                        const float* p = texel(source[f], x, y);
                        radiance.push_back({p[0], p[1], p[2]});
                        sum = add(sum, d);
                    }
                }
                block.count = static_cast<int>(directions.size()) - block.first;
                block.centre = normalise(sum);
                float spread = 0.0f;
                for (int i = block.first; i < block.first + block.count; ++i) {
                    spread = std::max(spread, std::acos(std::clamp(dot(directions[i], block.centre), -1.0f, 1.0f)));
                }
                // The lobe is evaluated at texel centres, so the spread of the
                // centres is enough; the margin absorbs float rounding.
                spread += 1.5f / size;
                block.cosLimit = std::cos(std::min(pi, angleCut + spread));
                blocks.push_back(block);
            }
        }
    }

    CubeMap out = blankCube(outputSize);
    parallelFor(6 * outputSize, threadCount, [&](int row) {
        int f = row / outputSize, y = row % outputSize;
        for (int x = 0; x < outputSize; ++x) {
            Vec3 n = cubeDirection(f, (x + 0.5f) / outputSize, (y + 0.5f) / outputSize);
            double r = 0.0, g = 0.0, b = 0.0, total = 0.0;
            for (const Block& block : blocks) {
                if (dot(n, block.centre) < block.cosLimit) {
                    continue;
                }
                for (int i = block.first; i < block.first + block.count; ++i) {
                    float c = dot(n, directions[i]);
                    if (c <= cosCut) {
                        continue;
                    }
                    float w = powInt(c, exponent) * weights[i];
                    r += w * radiance[i].x;
                    g += w * radiance[i].y;
                    b += w * radiance[i].z;
                    total += w;
                }
            }
            float* p = texel(out[f], x, y);
            p[0] = static_cast<float>(r / total);
            p[1] = static_cast<float>(g / total);
            p[2] = static_cast<float>(b / total);
        }
    });
    return out;
}
