// The sky dome mesh: a UV sphere of radius 1 written as a 3DS file (binary
// chunks: a 16-bit id, a 32-bit length that counts the 6-byte header, then
// the payload and any sub-chunks). The sphere is built Z-up, the format's own
// convention; importers turn it to Y-up.
#include "imagegen.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t chunkMain = 0x4D4D;
constexpr uint16_t chunkVersion = 0x0002;
constexpr uint16_t chunkEditor = 0x3D3D;
constexpr uint16_t chunkMeshVersion = 0x3D3E;
constexpr uint16_t chunkObject = 0x4000;
constexpr uint16_t chunkTriMesh = 0x4100;
constexpr uint16_t chunkVertices = 0x4110;
constexpr uint16_t chunkFaces = 0x4120;
constexpr uint16_t chunkTexCoords = 0x4140;
constexpr uint16_t chunkSmoothing = 0x4150;
constexpr uint16_t chunkLocalAxes = 0x4160;
constexpr uint32_t formatVersion = 3;
constexpr double pi = 3.14159265358979323846;

// Little-endian byte writer with nested chunks.
struct ChunkWriter {
    std::vector<uint8_t> bytes;
    std::vector<size_t> open;  // offsets of chunks whose length is not yet known
};

void putU16(ChunkWriter& w, uint16_t v)
{
    w.bytes.push_back(static_cast<uint8_t>(v));
    w.bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(ChunkWriter& w, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        w.bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void putFloat(ChunkWriter& w, float v)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(w, bits);
}

void beginChunk(ChunkWriter& w, uint16_t id)
{
    w.open.push_back(w.bytes.size());
    putU16(w, id);
    putU32(w, 0);
}

void endChunk(ChunkWriter& w)
{
    size_t start = w.open.back();
    w.open.pop_back();
    uint32_t length = static_cast<uint32_t>(w.bytes.size() - start);
    for (int i = 0; i < 4; ++i) {
        w.bytes[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
}

struct SphereVertex {
    float x, y, z;  // position on the unit sphere
    float u, v;     // texture coordinates, v = 1 at the +Z pole
};

}  // namespace

std::vector<uint8_t> buildSkyDome3ds(int segments, int rings)
{
    // Rings 0 and `rings` are the poles: one vertex per segment there, in the
    // middle of its segment's u range, so no triangle is degenerate. The other
    // rings repeat their first vertex at u = 1 for the texture seam.
    std::vector<SphereVertex> vertices;
    std::vector<int> ringStart(rings + 1);
    for (int j = 0; j <= rings; ++j) {
        ringStart[j] = static_cast<int>(vertices.size());
        double phi = pi * j / rings;
        bool pole = j == 0 || j == rings;
        int count = pole ? segments : segments + 1;
        for (int i = 0; i < count; ++i) {
            double u = pole ? (i + 0.5) / segments : static_cast<double>(i) / segments;
            double theta = 2.0 * pi * u;
            double r = pole ? 0.0 : std::sin(phi);
            vertices.push_back({static_cast<float>(r * std::cos(theta)), static_cast<float>(r * std::sin(theta)),
                                static_cast<float>(pole ? (j == 0 ? 1.0 : -1.0) : std::cos(phi)),
                                static_cast<float>(u), static_cast<float>(1.0 - static_cast<double>(j) / rings)});
        }
    }
    // Counter-clockwise seen from outside, so face normals point outward.
    std::vector<uint16_t> faces;
    auto triangle = [&](int a, int b, int c) {
        faces.push_back(static_cast<uint16_t>(a));
        faces.push_back(static_cast<uint16_t>(b));
        faces.push_back(static_cast<uint16_t>(c));
    };
    for (int i = 0; i < segments; ++i) {
        triangle(ringStart[0] + i, ringStart[1] + i, ringStart[1] + i + 1);
    }
    for (int j = 1; j < rings - 1; ++j) {
        for (int i = 0; i < segments; ++i) {
            int a = ringStart[j] + i, d = a + 1;
            int b = ringStart[j + 1] + i, c = b + 1;
            triangle(a, b, c);
            triangle(a, c, d);
        }
    }
    for (int i = 0; i < segments; ++i) {
        int a = ringStart[rings - 1] + i;
        triangle(a, ringStart[rings] + i, a + 1);
    }
    // The format counts vertices and faces in 16 bits.
    if (vertices.size() > 65535 || faces.size() / 3 > 65535) {
        return {};
    }
    uint16_t faceCount = static_cast<uint16_t>(faces.size() / 3);

    ChunkWriter w;
    beginChunk(w, chunkMain);
    beginChunk(w, chunkVersion);
    putU32(w, formatVersion);
    endChunk(w);
    beginChunk(w, chunkEditor);
    beginChunk(w, chunkMeshVersion);
    putU32(w, formatVersion);
    endChunk(w);
    beginChunk(w, chunkObject);
    const char name[] = "skydome";  // written with its terminating zero
    w.bytes.insert(w.bytes.end(), name, name + sizeof name);
    beginChunk(w, chunkTriMesh);

    beginChunk(w, chunkVertices);
    putU16(w, static_cast<uint16_t>(vertices.size()));
    for (const SphereVertex& v : vertices) {
        putFloat(w, v.x);
        putFloat(w, v.y);
        putFloat(w, v.z);
    }
    endChunk(w);

    beginChunk(w, chunkTexCoords);
    putU16(w, static_cast<uint16_t>(vertices.size()));
    for (const SphereVertex& v : vertices) {
        putFloat(w, v.u);
        putFloat(w, v.v);
    }
    endChunk(w);

    // Identity local axes: the vertices are already in object space.
    beginChunk(w, chunkLocalAxes);
    const float axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (float a : axes) {
        putFloat(w, a);
    }
    endChunk(w);

    beginChunk(w, chunkFaces);
    putU16(w, faceCount);
    for (size_t f = 0; f < faceCount; ++f) {
        putU16(w, faces[f * 3]);
        putU16(w, faces[f * 3 + 1]);
        putU16(w, faces[f * 3 + 2]);
        putU16(w, 0x0007);  // all three edges visible
    }
    // One smoothing group for every face: normals are averaged across
    // faces, and across the seam's duplicated vertices too.
    beginChunk(w, chunkSmoothing);
    for (size_t f = 0; f < faceCount; ++f) {
        putU32(w, 1u);
    }
    endChunk(w);
    endChunk(w);  // faces

    endChunk(w);  // trimesh
    endChunk(w);  // object
    endChunk(w);  // editor
    endChunk(w);  // main
    return w.bytes;
}
