// Meshes: GL vertex and index buffers with planar vertex blocks (one block per
// attribute, blocks in a fixed order, no stride) and their CPU copies. Owns the
// process-wide sky dome and the two full-screen quads made by the entry point.
// Meshes are made once and live for the whole run; GL objects end with the context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Index type of a mesh's index buffer (GL_UNSIGNED_SHORT / GL_UNSIGNED_INT).
constexpr uint32_t meshIndex16 = 0x1403;
constexpr uint32_t meshIndex32 = 0x1405;

// Largest vertex count an imported mesh may have: its indices are 16-bit.
constexpr int32_t maxImportedVertices = 65536;
// Fixed capacity of the segment quad batch.
constexpr int32_t segmentBatchQuads = 60000;

// One planar block of a vertex buffer: the attribute it feeds, its float
// components, and where it starts, in floats per vertex of the blocks before
// it (the block of every vertex starts at vertexCount x floatsBefore floats).
struct VertexBlock {
    const char* name;
    int32_t components;
    int32_t floatsBefore;
};

// The layouts the makers below write and the drawing helpers read.
inline constexpr VertexBlock importedLayout[] = {
    {"position", 4, 0}, {"texcoord", 2, 4}, {"normal", 3, 6}, {"tangent", 3, 9}, {"bitangent", 3, 12}};
inline constexpr VertexBlock spriteLayout[] = {{"position", 4, 0}, {"texcoord", 2, 4}};
inline constexpr VertexBlock segmentLayout[] = {
    {"p0", 3, 0}, {"p1", 3, 3}, {"texcoord", 2, 6}, {"texcoord2", 2, 8}};

// Floats per vertex of a layout: all its blocks.
template <size_t N>
constexpr int32_t layoutFloats(const VertexBlock (&layout)[N])
{
    return layout[N - 1].floatsBefore + layout[N - 1].components;
}

struct Mesh {
    uint32_t vertexBuffer = 0;      // GL buffer, planar vertex blocks
    uint32_t indexBuffer = 0;       // GL buffer, three indices per triangle
    int32_t triangleCount = 0;      // triangles drawn for the whole mesh (a quad is 2)
    int32_t vertexCount = 0;        // vertices in the buffer; sets the block offsets
    int32_t floatsPerVertex = 0;    // summed size of all blocks; the buffer holds this x vertexCount floats
    uint32_t indexType = meshIndex16;  // what the GL index buffer holds
    std::vector<float> vertexData;      // CPU copy of the vertex data; batches write here and upload again
    std::vector<uint32_t> indexData;    // CPU copy of the index values (uploaded as indexType)
};

// The sky dome, filled by loadMeshFile; empty (draws nothing) until then.
extern Mesh skyMesh;
// The two full-screen quads; the blur draws screenQuad0.
extern Mesh screenQuad0;
extern Mesh screenQuad1;

// Imports the first mesh of a file (assimp) into skyMesh. False on failure,
// leaving skyMesh untouched. Layout: position 4, texcoord 2, normal 3,
// tangent 3, bitangent 3 (15 floats per vertex), 16-bit indices.
bool loadMeshFile(const char* path);
// Same, into the given mesh.
bool loadMeshFile(const char* path, Mesh& mesh);

// Full-screen quad: positions only, (-1,-1) to (1,1), 2 triangles.
void createQuadMesh(Mesh& mesh);
// Sprite quad batch of quadCount quads: position 4 then texcoord 2 per
// vertex, 32-bit indices; quad q starts as corners (0|1, 0|1, q, 0|1/32).
void createQuadBatch(Mesh& mesh, int32_t quadCount);
// Segment quad batch of segmentBatchQuads quads: "p0" 3, "p1" 3,
// "texcoord" 2, "texcoord2" 2 per vertex, all zero; 32-bit indices.
void createSegmentBatch(Mesh& mesh);

// The CPU side of the two batch makers: counts, layout and initial contents
// of vertexData and indexData, without touching GL.
void layoutQuadBatch(Mesh& mesh, int32_t quadCount);
void layoutSegmentBatch(Mesh& mesh);

// Writes (x, y, z, w) as the position of all four vertices of sprite quad q
// in vertexData; does not upload.
void setQuad(Mesh& batch, int32_t q, float x, float y, float z, float w);
// Writes segment quad q in vertexData: p0 and p1 on all four vertices, the
// corner texcoords, and (a, b) as "texcoord2"; does not upload.
void setSegment(Mesh& batch, int32_t q, float x0, float y0, float z0,
                float x1, float y1, float z1, float a, float b);
// Same, with points of four floats each; the fourth is ignored.
void setSegment(Mesh& batch, int32_t q, float x0, float y0, float z0, float w0,
                float x1, float y1, float z1, float w1, float a, float b);
