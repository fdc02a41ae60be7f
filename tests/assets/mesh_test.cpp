#include "assets/mesh.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "asset_files.h"
#include "gl_context.h"

namespace {

GLint bufferSize(GLenum target, GLuint buffer)
{
    GLint size = -1;
    glBindBuffer(target, buffer);
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    glBindBuffer(target, 0);
    return size;
}

const uint32_t pattern[6] = {0, 1, 2, 3, 2, 1};

}  // namespace

TEST(QuadBatch, LayoutHoldsQuadIndexAndCornerWeights)
{
    Mesh batch;
    layoutQuadBatch(batch, 10);
    EXPECT_EQ(batch.vertexCount, 40);
    EXPECT_EQ(batch.triangleCount, 20);
    ASSERT_EQ(batch.vertexData.size(), 240u);
    ASSERT_EQ(batch.indexData.size(), 60u);
    EXPECT_EQ(batch.indexType, meshIndex32);

    // Quad 3, corner 1 is vertex 13: position (1, 0, 3, 1/32), texcoord (1, 0).
    const float* position = &batch.vertexData[13 * 4];
    EXPECT_FLOAT_EQ(position[0], 1.0f);
    EXPECT_FLOAT_EQ(position[1], 0.0f);
    EXPECT_FLOAT_EQ(position[2], 3.0f);
    EXPECT_FLOAT_EQ(position[3], 0.03125f);
    const float* texcoord = &batch.vertexData[160 + 13 * 2];
    EXPECT_FLOAT_EQ(texcoord[0], 1.0f);
    EXPECT_FLOAT_EQ(texcoord[1], 0.0f);
    // Corner 2 of quad 9: (0, 1, 9, 0), texcoord (0, 1).
    EXPECT_FLOAT_EQ(batch.vertexData[38 * 4 + 1], 1.0f);
    EXPECT_FLOAT_EQ(batch.vertexData[38 * 4 + 2], 9.0f);
    EXPECT_FLOAT_EQ(batch.vertexData[38 * 4 + 3], 0.0f);
    EXPECT_FLOAT_EQ(batch.vertexData[160 + 38 * 2 + 1], 1.0f);

    for (uint32_t q = 0; q < 10; ++q)
        for (int i = 0; i < 6; ++i) ASSERT_EQ(batch.indexData[q * 6 + i], 4 * q + pattern[i]);
}

TEST(SegmentBatch, IndicesReachEveryQuadWithoutWrapping)
{
    Mesh batch;
    layoutSegmentBatch(batch);
    EXPECT_EQ(batch.vertexCount, 240000);
    EXPECT_EQ(batch.triangleCount, 120000);
    EXPECT_EQ(batch.vertexData.size(), 2400000u);
    ASSERT_EQ(batch.indexData.size(), 360000u);
    EXPECT_EQ(batch.indexType, meshIndex32);
    // Quads past 16384 address their own vertices, not those of q mod 16384.
    for (uint32_t q : {0u, 16383u, 16384u, 20000u, 59999u})
        for (int i = 0; i < 6; ++i) EXPECT_EQ(batch.indexData[q * 6 + i], 4 * q + pattern[i]);
}

TEST(QuadBatch, SetQuadWritesOnlyItsSixteenFloats)
{
    Mesh batch;
    layoutQuadBatch(batch, 10);
    const std::vector<float> before = batch.vertexData;
    setQuad(batch, 5, 7.0f, 8.0f, 9.0f, 10.0f);
    for (size_t i = 0; i < before.size(); ++i) {
        if (i >= 80 && i < 96)
            EXPECT_FLOAT_EQ(batch.vertexData[i], 7.0f + static_cast<float>((i - 80) % 4)) << i;
        else
            EXPECT_EQ(batch.vertexData[i], before[i]) << i;
    }
    // Out of range quads are ignored rather than written past the end.
    setQuad(batch, 10, 1, 1, 1, 1);
    setQuad(batch, -1, 1, 1, 1, 1);
    EXPECT_EQ(batch.vertexData.size(), before.size());
}

TEST(SegmentBatch, SetSegmentWritesOnlyItsBlocksAndBothFormsAgree)
{
    Mesh batch;
    layoutSegmentBatch(batch);
    const size_t v = 240000;
    const size_t q = 20000;
    setSegment(batch, static_cast<int32_t>(q), 1, 2, 3, 4, 5, 6, 0.25f, 0.75f);
    std::vector<bool> written(batch.vertexData.size(), false);
    auto mark = [&](size_t first, size_t count) {
        for (size_t i = first; i < first + count; ++i) written[i] = true;
    };
    mark(12 * q, 12);              // p0
    mark(3 * v + 12 * q, 12);      // p1
    mark(6 * v + 8 * q, 8);        // texcoord
    mark(8 * v + 8 * q, 8);        // texcoord2
    for (size_t i = 0; i < written.size(); ++i)
        if (!written[i]) {
            ASSERT_EQ(batch.vertexData[i], 0.0f) << i;
        }
    for (int c = 0; c < 4; ++c) {
        const size_t vertex = q * 4 + c;
        EXPECT_FLOAT_EQ(batch.vertexData[3 * vertex + 2], 3.0f);
        EXPECT_FLOAT_EQ(batch.vertexData[3 * v + 3 * vertex + 0], 4.0f);
        EXPECT_FLOAT_EQ(batch.vertexData[6 * v + 2 * vertex + 0], static_cast<float>(c & 1));
        EXPECT_FLOAT_EQ(batch.vertexData[6 * v + 2 * vertex + 1], static_cast<float>(c >> 1));
        EXPECT_FLOAT_EQ(batch.vertexData[8 * v + 2 * vertex + 0], 0.25f);
        EXPECT_FLOAT_EQ(batch.vertexData[8 * v + 2 * vertex + 1], 0.75f);
    }

    Mesh other;
    layoutSegmentBatch(other);
    setSegment(other, static_cast<int32_t>(q), 1, 2, 3, 99, 4, 5, 6, 99, 0.25f, 0.75f);
    EXPECT_EQ(other.vertexData, batch.vertexData);
}

class MeshGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
        dir = testfiles::makeTempDir("mesh");
    }
    std::filesystem::path dir;
};

TEST_F(MeshGL, ImportsOneTriangleWithItsCountsAndBufferSizes)
{
    const std::string path = (dir / "tri.3DS").string();
    testfiles::write3ds(path, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2}, {0, 0, 1, 0, 0, 1});
    Mesh mesh;
    bool loaded = false;
    const std::string out = captureConsole([&] { loaded = loadMeshFile(path.c_str(), mesh); });
    ASSERT_TRUE(loaded) << out;
    EXPECT_EQ(out, "[mesh]" + path + " added [v3 t3]\n");
    EXPECT_EQ(mesh.vertexCount, 3);
    EXPECT_EQ(mesh.triangleCount, 1);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, mesh.vertexBuffer), 180);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, mesh.indexBuffer), 6);
    ASSERT_EQ(mesh.vertexData.size(), 45u);
    // Positions carry w = 1; normals (block at 6V floats) are unit length.
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(mesh.vertexData[4 * i + 3], 1.0f);
    float normalLength = 0.0f;
    for (int k = 0; k < 3; ++k) normalLength += mesh.vertexData[18 + k] * mesh.vertexData[18 + k];
    EXPECT_NEAR(normalLength, 1.0f, 1e-4f);
    // Tangents were computed by the importer and fill the reserved space.
    float tangentLength = 0.0f;
    for (int k = 0; k < 3; ++k) tangentLength += mesh.vertexData[27 + k] * mesh.vertexData[27 + k];
    EXPECT_NEAR(tangentLength, 1.0f, 1e-4f);
}

TEST_F(MeshGL, MeshWithoutTexcoordsIsReportedAndGetsZeroTexcoords)
{
    const std::string path = (dir / "bare.3DS").string();
    testfiles::write3ds(path, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
    Mesh mesh;
    const std::string out = captureConsole([&] { EXPECT_TRUE(loadMeshFile(path.c_str(), mesh)); });
    EXPECT_EQ(out, "Invalid Meshfile " + path + "\nhas normals\n[mesh]" + path + " added [v3 t3]\n");
    ASSERT_EQ(mesh.vertexData.size(), 45u);
    for (int i = 12; i < 18; ++i) EXPECT_EQ(mesh.vertexData[i], 0.0f);
}

TEST_F(MeshGL, UnreadableFileLeavesTheMeshEmpty)
{
    const std::string path = (dir / "missing.3DS").string();
    Mesh mesh;
    const std::string out = captureConsole([&] { EXPECT_FALSE(loadMeshFile(path.c_str(), mesh)); });
    EXPECT_EQ(out.rfind("assimp::", 0), 0u) << out;
    EXPECT_EQ(mesh.vertexBuffer, 0u);
    EXPECT_EQ(mesh.triangleCount, 0);
}

TEST_F(MeshGL, MeshBeyondSixteenBitIndicesIsRefused)
{
    // Two objects of 11000 separate triangles merge into one mesh of 66000 vertices.
    std::vector<testfiles::Object3ds> objects(2);
    for (int o = 0; o < 2; ++o) {
        for (int t = 0; t < 11000; ++t) {
            const float x = static_cast<float>(t % 100), y = static_cast<float>(t / 100);
            const float z = static_cast<float>(o);
            objects[o].positions.insert(objects[o].positions.end(),
                                        {x, y, z, x + 0.5f, y, z, x, y + 0.5f, z});
            const auto base = static_cast<uint16_t>(3 * t);
            objects[o].triangles.insert(objects[o].triangles.end(),
                                        {base, static_cast<uint16_t>(base + 1),
                                         static_cast<uint16_t>(base + 2)});
        }
    }
    const std::string path = (dir / "big.3DS").string();
    testfiles::write3ds(path, objects);
    Mesh mesh;
    bool loaded = true;
    const std::string out = captureConsole([&] { loaded = loadMeshFile(path.c_str(), mesh); });
    EXPECT_FALSE(loaded);
    EXPECT_NE(out.find("[mesh]" + path + " has 66000 vertices, more than 65536; not loaded\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(mesh.vertexBuffer, 0u);
    EXPECT_EQ(mesh.vertexCount, 0);
}

TEST_F(MeshGL, BatchesAndQuadUploadTheirSizes)
{
    Mesh quad, batch;
    EXPECT_EQ(captureConsole([&] { createQuadMesh(quad); }), "[mesh]quad added\n");
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, quad.vertexBuffer), 64);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, quad.indexBuffer), 12);
    EXPECT_EQ(captureConsole([&] { createQuadBatch(batch, 10); }), "[mesh]10 quads added\n");
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER, batch.vertexBuffer), 960);
    EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER, batch.indexBuffer), 240);
}
