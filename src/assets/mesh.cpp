#include "assets/mesh.h"

#include <cstdio>

#include <GL/glew.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

Mesh skyMesh;
Mesh screenQuad0;
Mesh screenQuad1;

namespace {

constexpr unsigned importFlags = aiProcess_CalcTangentSpace | aiProcess_JoinIdenticalVertices |
                                  aiProcess_Triangulate | aiProcess_PreTransformVertices |
                                  aiProcess_SortByPType | aiProcess_OptimizeMeshes;

constexpr int32_t importedFloats = layoutFloats(importedLayout);
constexpr int32_t spriteFloats = layoutFloats(spriteLayout);
constexpr int32_t segmentFloats = layoutFloats(segmentLayout);

const float quadVertices[16] = {-1, -1, 0, 1, 1, -1, 0, 1, -1, 1, 0, 1, 1, 1, 0, 1};
const uint16_t quadIndices[6] = {0, 1, 2, 3, 2, 1};

// Where a block of a vertex buffer of v vertices starts.
float* blockStart(std::vector<float>& vertices, size_t v, const VertexBlock& block)
{
    return vertices.data() + v * static_cast<size_t>(block.floatsBefore);
}

// Corner c of a quad: (c & 1, c >> 1) -> (0,0), (1,0), (0,1), (1,1).
constexpr float cornerU(int c) { return static_cast<float>(c & 1); }
constexpr float cornerV(int c) { return static_cast<float>(c >> 1); }

void fillQuadIndices(std::vector<uint32_t>& indices, int32_t quadCount)
{
    static const uint32_t pattern[6] = {0, 1, 2, 3, 2, 1};
    indices.resize(static_cast<size_t>(quadCount) * 6);
    for (int32_t q = 0; q < quadCount; ++q)
        for (int i = 0; i < 6; ++i)
            indices[static_cast<size_t>(q) * 6 + i] = 4u * static_cast<uint32_t>(q) + pattern[i];
}

uint32_t createBuffer(GLenum target, size_t bytes, const void* data, GLenum usage)
{
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(bytes), data, usage);
    glBindBuffer(target, 0);
    return buffer;
}

// GL buffers for a laid-out batch: its vertexData as a dynamic vertex buffer
// and its 32-bit indexData with the given usage.
void createBatchBuffers(Mesh& mesh, GLenum indexUsage)
{
    mesh.vertexBuffer = createBuffer(GL_ARRAY_BUFFER, mesh.vertexData.size() * sizeof(float),
                                     mesh.vertexData.data(), GL_DYNAMIC_DRAW);
    mesh.indexBuffer = createBuffer(GL_ELEMENT_ARRAY_BUFFER,
                                    mesh.indexData.size() * sizeof(uint32_t),
                                    mesh.indexData.data(), indexUsage);
}

}  // namespace

bool loadMeshFile(const char* path) { return loadMeshFile(path, skyMesh); }

bool loadMeshFile(const char* path, Mesh& mesh)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, importFlags);
    if (!scene) {
        printf("assimp::%s\n", importer.GetErrorString());
        return false;
    }
    if (!scene->mMeshes || scene->mNumMeshes == 0) {
        printf("[mesh]no meshes in file %s\n", path);
        return false;
    }
    const aiMesh* source = scene->mMeshes[0];
    const bool hasVertices = source->mNumVertices > 0;
    const bool hasNormals = source->HasNormals();
    const bool hasTangents = source->HasTangentsAndBitangents();
    const bool hasTexcoords = source->HasTextureCoords(0);
    const bool complete = source->HasFaces() && hasNormals && hasVertices && hasTangents &&
                          hasTexcoords;
    if (!complete) {
        printf("Invalid Meshfile %s\n", path);
        if (hasNormals && hasVertices) printf("has normals\n");
        if (hasTangents && hasVertices) printf("has tangent and bitangents\n");
        if (hasTexcoords && hasVertices) printf("has texturecoords\n");
    }
    // Indices are stored in 16 bits; a bigger mesh would wrap onto wrong vertices.
    if (source->mNumVertices > static_cast<unsigned>(maxImportedVertices)) {
        printf("[mesh]%s has %u vertices, more than %d; not loaded\n", path,
               source->mNumVertices, maxImportedVertices);
        return false;
    }

    const size_t v = source->mNumVertices;
    const size_t t = source->mNumFaces;
    std::vector<float> vertices(v * importedFloats, 0.0f);
    float* positions = blockStart(vertices, v, importedLayout[0]);
    float* texcoords = blockStart(vertices, v, importedLayout[1]);
    float* normals = blockStart(vertices, v, importedLayout[2]);
    float* tangents = blockStart(vertices, v, importedLayout[3]);
    float* bitangents = blockStart(vertices, v, importedLayout[4]);
    for (size_t i = 0; i < v; ++i) {
        const aiVector3D& p = source->mVertices[i];
        positions[4 * i + 0] = p.x;
        positions[4 * i + 1] = p.y;
        positions[4 * i + 2] = p.z;
        positions[4 * i + 3] = 1.0f;
        if (hasTexcoords) {
            texcoords[2 * i + 0] = source->mTextureCoords[0][i].x;
            texcoords[2 * i + 1] = source->mTextureCoords[0][i].y;
        }
        if (hasNormals) {
            normals[3 * i + 0] = source->mNormals[i].x;
            normals[3 * i + 1] = source->mNormals[i].y;
            normals[3 * i + 2] = source->mNormals[i].z;
        }
        if (hasTangents) {
            tangents[3 * i + 0] = source->mTangents[i].x;
            tangents[3 * i + 1] = source->mTangents[i].y;
            tangents[3 * i + 2] = source->mTangents[i].z;
            bitangents[3 * i + 0] = source->mBitangents[i].x;
            bitangents[3 * i + 1] = source->mBitangents[i].y;
            bitangents[3 * i + 2] = source->mBitangents[i].z;
        }
    }
    std::vector<uint32_t> indices(t * 3, 0);
    std::vector<uint16_t> indices16(t * 3, 0);
    for (size_t j = 0; j < t; ++j) {
        const aiFace& face = source->mFaces[j];
        for (unsigned k = 0; k < 3 && k < face.mNumIndices; ++k) {
            indices[3 * j + k] = face.mIndices[k];
            indices16[3 * j + k] = static_cast<uint16_t>(face.mIndices[k]);
        }
    }

    mesh.vertexBuffer = createBuffer(GL_ARRAY_BUFFER, vertices.size() * sizeof(float),
                                     vertices.data(), GL_STATIC_DRAW);
    mesh.indexBuffer = createBuffer(GL_ELEMENT_ARRAY_BUFFER, indices16.size() * sizeof(uint16_t),
                                    indices16.data(), GL_STATIC_DRAW);
    mesh.triangleCount = static_cast<int32_t>(t);
    mesh.vertexCount = static_cast<int32_t>(v);
    mesh.floatsPerVertex = importedFloats;
    mesh.indexType = meshIndex16;
    mesh.vertexData = std::move(vertices);
    mesh.indexData = std::move(indices);
    printf("[mesh]%s added [v%d t%d]\n", path, mesh.vertexCount, 3 * mesh.triangleCount);
    return true;
}

void createQuadMesh(Mesh& mesh)
{
    mesh.vertexBuffer = createBuffer(GL_ARRAY_BUFFER, sizeof(quadVertices), quadVertices,
                                     GL_STATIC_DRAW);
    mesh.indexBuffer = createBuffer(GL_ELEMENT_ARRAY_BUFFER, sizeof(quadIndices), quadIndices,
                                    GL_STATIC_DRAW);
    mesh.triangleCount = 2;
    mesh.vertexCount = 4;
    mesh.floatsPerVertex = 4;
    mesh.indexType = meshIndex16;
    printf("[mesh]quad added\n");
}

void createQuadBatch(Mesh& mesh, int32_t quadCount)
{
    layoutQuadBatch(mesh, quadCount);
    createBatchBuffers(mesh, GL_DYNAMIC_DRAW);
    printf("[mesh]%d quads added\n", mesh.vertexCount / 4);
}

void createSegmentBatch(Mesh& mesh)
{
    layoutSegmentBatch(mesh);
    createBatchBuffers(mesh, GL_STATIC_DRAW);
    printf("[mesh]%d quads added\n", segmentBatchQuads);
}

void layoutQuadBatch(Mesh& mesh, int32_t quadCount)
{
    if (quadCount < 0) quadCount = 0;
    const size_t v = static_cast<size_t>(quadCount) * 4;
    mesh.triangleCount = 2 * quadCount;
    mesh.vertexCount = static_cast<int32_t>(v);
    mesh.floatsPerVertex = spriteFloats;
    mesh.indexType = meshIndex32;
    mesh.vertexData.assign(v * spriteFloats, 0.0f);
    float* positions = blockStart(mesh.vertexData, v, spriteLayout[0]);
    float* texcoords = blockStart(mesh.vertexData, v, spriteLayout[1]);
    // The quad's index stands in z; w is 1/32 on the right-hand corners.
    for (int32_t q = 0; q < quadCount; ++q) {
        for (int c = 0; c < 4; ++c) {
            const size_t vertex = static_cast<size_t>(q) * 4 + c;
            positions[4 * vertex + 0] = cornerU(c);
            positions[4 * vertex + 1] = cornerV(c);
            positions[4 * vertex + 2] = static_cast<float>(q);
            positions[4 * vertex + 3] = cornerU(c) * 0.03125f;
            texcoords[2 * vertex + 0] = cornerU(c);
            texcoords[2 * vertex + 1] = cornerV(c);
        }
    }
    fillQuadIndices(mesh.indexData, quadCount);
}

void layoutSegmentBatch(Mesh& mesh)
{
    const size_t v = static_cast<size_t>(segmentBatchQuads) * 4;
    mesh.triangleCount = 2 * segmentBatchQuads;
    mesh.vertexCount = static_cast<int32_t>(v);
    mesh.floatsPerVertex = segmentFloats;
    // 32-bit indices, so that quads from 16384 on address their own vertices.
    mesh.indexType = meshIndex32;
    mesh.vertexData.assign(v * segmentFloats, 0.0f);
    fillQuadIndices(mesh.indexData, segmentBatchQuads);
}

void setQuad(Mesh& batch, int32_t q, float x, float y, float z, float w)
{
    const size_t first = static_cast<size_t>(q) * 16;
    if (q < 0 || first + 16 > static_cast<size_t>(batch.vertexCount) * 4 ||
        batch.vertexData.size() < first + 16)
        return;
    float* p = batch.vertexData.data() + first;
    for (int c = 0; c < 4; ++c) {
        p[4 * c + 0] = x;
        p[4 * c + 1] = y;
        p[4 * c + 2] = z;
        p[4 * c + 3] = w;
    }
}

void setSegment(Mesh& batch, int32_t q, float x0, float y0, float z0,
                float x1, float y1, float z1, float a, float b)
{
    const size_t v = static_cast<size_t>(batch.vertexCount);
    if (q < 0 || static_cast<size_t>(q) * 4 + 4 > v ||
        batch.vertexData.size() < v * segmentFloats)
        return;
    float* p0 = blockStart(batch.vertexData, v, segmentLayout[0]);
    float* p1 = blockStart(batch.vertexData, v, segmentLayout[1]);
    float* uv = blockStart(batch.vertexData, v, segmentLayout[2]);
    float* uv2 = blockStart(batch.vertexData, v, segmentLayout[3]);
    for (int c = 0; c < 4; ++c) {
        const size_t vertex = static_cast<size_t>(q) * 4 + c;
        p0[3 * vertex + 0] = x0;
        p0[3 * vertex + 1] = y0;
        p0[3 * vertex + 2] = z0;
        p1[3 * vertex + 0] = x1;
        p1[3 * vertex + 1] = y1;
        p1[3 * vertex + 2] = z1;
        uv[2 * vertex + 0] = cornerU(c);
        uv[2 * vertex + 1] = cornerV(c);
        uv2[2 * vertex + 0] = a;
        uv2[2 * vertex + 1] = b;
    }
}

void setSegment(Mesh& batch, int32_t q, float x0, float y0, float z0, float,
                float x1, float y1, float z1, float, float a, float b)
{
    setSegment(batch, q, x0, y0, z0, x1, y1, z1, a, b);
}
