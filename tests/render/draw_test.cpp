#include "render/draw.h"

#include <array>
#include <cmath>

#include <gtest/gtest.h>

#include "../assets/asset_files.h"
#include "assets/camera.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "gl_context.h"
#include "render/render_target.h"

namespace {

const char* spriteShader =
    "#version 120\nattribute vec4 position;\nattribute vec2 texcoord;\nvarying vec2 uv;\n"
    "void main() { uv = texcoord; gl_Position = vec4(position.xy * 0.01, 0.0, 1.0); }\n"
    "//FRAGMENT\nvarying vec2 uv;\nvoid main() { gl_FragColor = vec4(uv, 0.0, 1.0); }\n";

// Only the quad whose p0.x is positive covers the target; every other one is clipped.
const char* segmentShader =
    "#version 120\nattribute vec3 p0;\nattribute vec3 p1;\nattribute vec2 texcoord;\n"
    "attribute vec2 texcoord2;\nvarying vec2 ab;\n"
    "void main() { ab = texcoord2; gl_Position = p0.x > 0.0 ?\n"
    "  vec4(texcoord * 2.0 - 1.0, 0.0, 1.0) : vec4(5.0, 5.0, 5.0, 1.0); }\n"
    "//FRAGMENT\nvarying vec2 ab;\nvoid main() { gl_FragColor = vec4(ab, 1.0, 1.0); }\n";

// Declares "texcoord" and "normal", which the full-screen quad does not hold.
const char* greedyShader =
    "#version 120\nattribute vec4 position;\nattribute vec2 texcoord;\nattribute vec3 normal;\n"
    "varying vec3 v;\nvoid main() { v = normal + vec3(texcoord, 0.0); gl_Position = position; }\n"
    "//FRAGMENT\nvarying vec3 v;\nuniform sampler2D Texture0;\nuniform float gain;\n"
    "uniform float tracks[64];\n"
    "void main() { gl_FragColor = vec4(v, 1.0) * gain * tracks[63] + texture2D(Texture0, v.xy); }\n";

const char* skyShader =
    "#version 120\nattribute vec4 position;\nuniform mat4 viewproj;\nuniform vec3 eyePos;\n"
    "varying vec3 direction;\n"
    "void main() { direction = position.xyz; gl_Position = viewproj * vec4(position.xyz + eyePos, 1.0); }\n"
    "//FRAGMENT\nuniform samplerCube Texture0;\nvarying vec3 direction;\n"
    "void main() { gl_FragColor = textureCube(Texture0, direction); }\n";

class DrawGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
        dir = testfiles::makeTempDir("draw");
        testfiles::writeText(dir / "sprite.glsl", spriteShader);
        testfiles::writeText(dir / "segment.glsl", segmentShader);
        testfiles::writeText(dir / "greedy.glsl", greedyShader);
        testfiles::writeText(dir / "sky.glsl", skyShader);
        shaderRegistry = ShaderRegistry{};
        captureConsole([&] {
            addShaderDirectory(dir.string().c_str());
            createRenderTarget(RenderTargetFormat::Rgba8, 16, 16, target);
        });
        for (const LinkedShader& shader : shaderRegistry.shaders)
            ASSERT_NE(shader.program, -1) << shader.name;
    }
    void TearDown() override { glUseProgram(0); }

    // Triangles the draw issues, counted by GL.
    template <class F>
    GLuint trianglesDrawn(F draw)
    {
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        draw();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        GLuint count = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
        glDeleteQueries(1, &query);
        return count;
    }

    std::filesystem::path dir;
    RenderTarget target;
};

bool anyAttributeEnabled()
{
    GLint count = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &count);
    for (GLint i = 0; i < count; ++i) {
        GLint enabled = 0;
        glGetVertexAttribiv(static_cast<GLuint>(i), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        if (enabled) return true;
    }
    return false;
}

struct Point {
    float x, y, z, w;
};

}  // namespace

TEST_F(DrawGL, QuadListsDrawTheListedCountAndUploadWhatTheyDraw)
{
    Mesh batch;
    captureConsole([&] { createQuadBatch(batch, 8); });
    ASSERT_TRUE(useShader("sprite.glsl"));
    const std::vector<Point> three = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    EXPECT_EQ(trianglesDrawn([&] { drawQuadList(batch, three, -1); }), 6u);
    EXPECT_EQ(trianglesDrawn([&] { drawQuadList(batch, three, 10); }), 6u);
    EXPECT_EQ(trianglesDrawn([&] { drawQuadList(batch, three, 2); }), 4u);
    EXPECT_FALSE(anyAttributeEnabled());

    const std::vector<Point> four = {{1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}};
    const std::vector<uint32_t> five = {3, 2, 1, 0, 2};
    EXPECT_EQ(trianglesDrawn([&] { drawIndexedQuadList(batch, four, five); }), 8u);
    EXPECT_FLOAT_EQ(batch.vertexData[0], 4.0f);
    EXPECT_FLOAT_EQ(batch.vertexData[3 * 16], 1.0f);

    // What GL holds for the drawn quads equals the CPU copy, in both blocks.
    std::vector<float> held(16 * 4);
    glBindBuffer(GL_ARRAY_BUFFER, batch.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 64 * sizeof(float), held.data());
    for (size_t i = 0; i < held.size(); ++i) EXPECT_EQ(held[i], batch.vertexData[i]) << i;
    std::vector<float> uv(4 * 8);
    glGetBufferSubData(GL_ARRAY_BUFFER, 128 * sizeof(float), 32 * sizeof(float), uv.data());
    for (size_t i = 0; i < uv.size(); ++i) EXPECT_EQ(uv[i], batch.vertexData[128 + i]) << i;
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    // More quads than the batch holds are limited to its capacity.
    const std::vector<Point> many(20, Point{0, 0, 0, 0});
    EXPECT_EQ(trianglesDrawn([&] { drawQuadList(batch, many, -1); }), 16u);
}

TEST_F(DrawGL, FullScreenQuadEnablesOnlyTheBlocksItHolds)
{
    Mesh quad;
    captureConsole([&] { createQuadMesh(quad); });
    ASSERT_TRUE(useShader("greedy.glsl"));
    setUniformFloat("gain", 1.0f);
    std::array<float, 64> tracks{};
    tracks[63] = 1.0f;
    setUniformFloatArray("tracks", tracks.data(), 64);
    setUniformFloat("absent", 2.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Attributes without a block read their constant value instead of memory
    // past the end of the quad's buffer.
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glVertexAttrib3f(static_cast<GLuint>(glGetAttribLocation(static_cast<GLuint>(program), "normal")),
                     0.5f, 0.25f, 0.75f);
    glVertexAttrib2f(static_cast<GLuint>(glGetAttribLocation(static_cast<GLuint>(program), "texcoord")),
                     0.0f, 0.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    beginRenderTarget(target);
    EXPECT_EQ(trianglesDrawn([&] { drawMesh(quad); }), 2u);
    unsigned char rgba[4] = {0};
    glReadPixels(8, 8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    endRenderTarget(target);
    EXPECT_NEAR(rgba[0], 128, 1);
    EXPECT_NEAR(rgba[1], 64, 1);
    EXPECT_NEAR(rgba[2], 191, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_FALSE(anyAttributeEnabled());
}

TEST_F(DrawGL, SegmentsPastIndexSixteenThousandDrawTheirOwnData)
{
    Mesh batch;
    captureConsole([&] { createSegmentBatch(batch); });
    const int32_t q = 20000;
    // Quad q mod 16384 is left at zero, so a wrapped index would draw nothing.
    setSegment(batch, q, 1, 0, 0, 0, 0, 0, 1.0f, 0.0f);
    uploadSegmentBatch(batch, q + 1);
    ASSERT_TRUE(useShader("segment.glsl"));
    beginRenderTarget(target);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(trianglesDrawn([&] { drawSegments(batch, q + 1); }), 2u * (q + 1));
    unsigned char rgba[4] = {0};
    glReadPixels(8, 8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    endRenderTarget(target);
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_EQ(rgba[2], 255);
    EXPECT_FALSE(anyAttributeEnabled());
}

TEST_F(DrawGL, TextureBindersSkipAbsentSamplersAndMissingTextures)
{
    ASSERT_TRUE(useShader("sprite.glsl"));  // declares no sampler
    GLuint texture = 0, other = 0;
    glGenTextures(1, &texture);
    glGenTextures(1, &other);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, other);
    bindTexture0(texture);
    GLint active = 0, bound = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE3);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other));

    ASSERT_TRUE(useShader("greedy.glsl"));  // declares Texture0
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, other);
    textureLibrary = TextureLibrary{};
    EXPECT_EQ(captureConsole([] { bindLibraryTexture("nothing.png", 0, GL_REPEAT, GL_LINEAR, GL_LINEAR); }),
              "could not find tex: nothing.png\n");
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other));

    textureLibrary.textures.push_back(Texture{"found.png", texture});
    glActiveTexture(GL_TEXTURE6);
    bindLibraryTexture("found.png", 0, GL_MIRRORED_REPEAT, GL_NEAREST, GL_NEAREST);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(texture));
    GLint wrap = 0, mag = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    EXPECT_EQ(wrap, GL_MIRRORED_REPEAT);
    EXPECT_EQ(mag, GL_NEAREST);
    textureLibrary = TextureLibrary{};
}

TEST_F(DrawGL, SkyDomeFromCubeMapFollowsTheCameraTracks)
{
    // A cube around the origin as the dome, and a cube map with one colour per face.
    const std::vector<float> corners = {-1, -1, -1, 1, -1, -1, -1, 1, -1, 1, 1, -1,
                                        -1, -1, 1,  1, -1, 1,  -1, 1, 1,  1, 1, 1};
    const std::vector<uint16_t> faces = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                                         2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
    std::vector<float> scaled;
    for (float c : corners) scaled.push_back(c * 100.0f);
    testfiles::write3ds(dir / "dome.3DS", scaled, faces);
    const std::filesystem::path cubeDir = dir / "cube";
    std::filesystem::create_directories(cubeDir);
    const char letters[] = "rludbf";
    for (int i = 0; i < 6; ++i)
        testfiles::writeHdr(cubeDir / (std::string("sky_") + letters[i] + ".hdr"), 4, 4,
                            (i & 1) ? 1.0f : 0.2f, (i & 2) ? 1.0f : 0.2f, (i & 4) ? 1.0f : 0.2f);

    Mesh dome;
    uint32_t cube = 0;
    RenderTarget sky;
    captureConsole([&] {
        ASSERT_TRUE(loadMeshFile((dir / "dome.3DS").string().c_str(), dome));
        cube = loadHdrCubeMap(cubeDir.string().c_str());
        createRenderTarget(RenderTargetFormat::Rgba16f, 48, 32, sky);
    });

    Camera camera;
    initCamera(camera);
    auto render = [&](const std::array<float, 64>& tracks) {
        setCameraFromTracks(camera, tracks);
        beginRenderTarget(sky);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        useShader("sky.glsl");
        applyCamera(camera);
        bindCubeTexture(0, cube, GL_REPEAT, GL_LINEAR);
        drawMesh(dome);
        std::vector<float> rgba(48 * 32 * 4);
        glReadPixels(0, 0, 48, 32, GL_RGBA, GL_FLOAT, rgba.data());
        endRenderTarget(sky);
        return rgba;
    };
    // Orbit at radius 10 around a target, looking towards an edge of the cube.
    std::array<float, 64> tracks{};
    tracks[0] = 1.0f;
    tracks[1] = 10.0f;
    tracks[2] = 45.0f;
    tracks[3] = 5.0f;
    tracks[7] = 90.0f;
    const std::vector<float> first = render(tracks);
    tracks[2] = 160.0f;
    tracks[3] = -8.0f;
    const std::vector<float> second = render(tracks);

    int distinct = 0;
    for (size_t i = 4; i < first.size(); i += 4)
        if (std::abs(first[i] - first[0]) + std::abs(first[i + 1] - first[1]) +
                std::abs(first[i + 2] - first[2]) > 0.1f)
            ++distinct;
    EXPECT_GT(distinct, 48 * 32 / 10) << "the dome shows one colour only";
    int changed = 0;
    for (size_t i = 0; i < first.size(); ++i)
        if (std::abs(first[i] - second[i]) > 0.1f) ++changed;
    EXPECT_GT(changed, 48 * 32 / 10) << "the view did not follow the tracks";
    // Every pixel was covered by the dome (alpha 1 from the cube map's RGB faces).
    for (size_t i = 3; i < first.size(); i += 4) ASSERT_EQ(first[i], 1.0f) << i;
    EXPECT_FALSE(anyAttributeEnabled());
}
