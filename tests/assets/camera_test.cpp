#include "assets/camera.h"

#include <array>
#include <cmath>
#include <string>

#include <GL/glew.h>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "app/window.h"
#include "asset_files.h"
#include "assets/shader.h"
#include "fx/swarm_field.h"
#include "sync/sync.h"
#include "gl_context.h"

namespace {

std::array<float, 64> tracks(std::initializer_list<float> first)
{
    std::array<float, 64> values{};
    size_t i = 0;
    for (float v : first) values[i++] = v;
    return values;
}

}  // namespace

TEST(Camera, OrbitModePlacesEyeOnCircle)
{
    Camera camera;
    initCamera(camera);
    setCameraFromTracks(camera, tracks({1.0f, 100.0f, 90.0f, 5.0f, 1.0f, 2.0f, 3.0f, 60.0f}));
    EXPECT_NEAR(camera.eye.x, 100.0f, 1e-3f);
    EXPECT_NEAR(camera.eye.y, 5.0f, 1e-6f);
    EXPECT_NEAR(camera.eye.z, 0.0f, 1e-3f);
    EXPECT_EQ(camera.target, glm::vec3(1.0f, 2.0f, 3.0f));
}

TEST(Camera, ModeOtherThanOneIsFreeMode)
{
    for (float mode : {0.99f, 2.0f, -1.0f}) {
        Camera camera;
        initCamera(camera);
        setCameraFromTracks(camera, tracks({mode, 100.0f, 90.0f, 5.0f}));
        EXPECT_EQ(camera.eye, glm::vec3(100.0f, 90.0f, 5.0f)) << mode;
    }
    // 1.7 truncates to 1: still orbit.
    Camera camera;
    initCamera(camera);
    setCameraFromTracks(camera, tracks({1.7f, 10.0f, 0.0f, 0.0f}));
    EXPECT_NEAR(camera.eye.z, 10.0f, 1e-5f);
}

TEST(Camera, ProjectionUsesTrackFieldOfViewAspectAndFarPlane)
{
    const float savedAspect = aspectRatio;
    aspectRatio = 16.0f / 9.0f;
    Camera camera;
    initCamera(camera);
    const glm::mat4 initial = glm::perspective(glm::radians(60.0f), 16.0f / 9.0f, 1.0f, 100000.0f);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(camera.projection[c][r], initial[c][r], 1e-5f * (1 + std::abs(initial[c][r])));
    setCameraFromTracks(camera, tracks({0, 0, 0, 0, 0, 0, 0, 45.0f}));
    const glm::mat4 expected = glm::perspective(glm::radians(45.0f), 16.0f / 9.0f, 1.0f, 50000.0f);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(camera.projection[c][r], expected[c][r], 1e-5f * (1 + std::abs(expected[c][r])));
    EXPECT_FLOAT_EQ(camera.projection[1][1] / camera.projection[0][0], 16.0f / 9.0f);
    EXPECT_NEAR(camera.projection[3][2], -2.0f * 50000.0f / 49999.0f, 1e-4f);
    EXPECT_EQ(camera.projection[2][3], -1.0f);
    aspectRatio = savedAspect;
}

TEST(Camera, TooFewTracksLeaveTheCameraAlone)
{
    Camera camera;
    initCamera(camera);
    const float four[4] = {1, 2, 3, 4};
    setCameraFromTracks(camera, std::span<const float>(four, 4));
    EXPECT_EQ(camera.eye, glm::vec3(200.0f, 0.0f, 0.0f));
}

TEST(Camera, DegenerateInputKeepsTheLastGoodMatrices)
{
    Camera camera;
    initCamera(camera);
    setCameraFromTracks(camera, tracks({0.0f, 10.0f, 20.0f, 30.0f, 0.0f, 0.0f, 0.0f, 45.0f}));
    updateCameraView(camera);
    const glm::mat4 projection = camera.projection;
    const glm::mat4 view = camera.view;
    ASSERT_EQ(camera.keptProjections + camera.keptViews, 0u);

    // Fields of view at or past the ends of (0, 180) degrees, and NaN.
    for (float fov : {0.0f, -5.0f, 180.0f, 250.0f, NAN, INFINITY}) {
        setCameraFromTracks(camera, tracks({0.0f, 10.0f, 20.0f, 30.0f, 0.0f, 0.0f, 0.0f, fov}));
        EXPECT_EQ(camera.projection, projection) << fov;
    }
    EXPECT_EQ(camera.keptProjections, 6u);

    // An eye on its target, a view straight down the up vector, a NaN or a
    // huge camera mode (which must not reach an int conversion).
    const std::array<std::array<float, 8>, 4> views = {{
        {0.0f, 1.0f, 2.0f, 3.0f, 1.0f, 2.0f, 3.0f, 45.0f},
        {0.0f, 0.0f, 50.0f, 0.0f, 0.0f, 0.0f, 0.0f, 45.0f},
        {0.0f, NAN, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 45.0f},
        {3e38f, 0.0f, 50.0f, 0.0f, 0.0f, 0.0f, 0.0f, 45.0f},
    }};
    for (const auto& v : views) {
        setCameraFromTracks(camera, std::span<const float>(v.data(), v.size()));
        updateCameraView(camera);
        EXPECT_EQ(camera.view, view) << v[1];
        EXPECT_EQ(camera.viewEye, glm::vec3(10.0f, 20.0f, 30.0f));
    }
    EXPECT_EQ(camera.keptViews, 4u);
    float mode[8] = {NAN, 10.0f, 20.0f, 30.0f, 0.0f, 0.0f, 0.0f, 45.0f};
    setCameraFromTracks(camera, std::span<const float>(mode, 8));
    EXPECT_EQ(camera.eye, glm::vec3(10.0f, 20.0f, 30.0f));  // free mode
}

TEST(Camera, TheProductionNeverTriggersTheGuards)
{
    // The production's own tracks, every row of the run, through the track
    // camera and the strand orbit of camera mode 2.
    SyncDevice* device = createSyncDevice("sync/sync");
    ASSERT_NE(device, nullptr);
    SyncTrack* camTracks[8] = {};
    for (int i = 0; i < 8; ++i) camTracks[i] = getSyncTrack(device, std::to_string(i).c_str());
    Camera camera;
    initCamera(camera);
    float fovSum = 0.0f;
    for (int row = 0; row <= 3322; ++row) {
        float values[8];
        for (int i = 0; i < 8; ++i) values[i] = float(getSyncValue(camTracks[i], row));
        fovSum += values[7];
        setCameraFromTracks(camera, std::span<const float>(values, 8));
        strandCamera(camera, values, float(row) / 16.0f);
        updateCameraView(camera);
    }
    ASSERT_GT(fovSum, 0.0f) << "no sync/sync_7.track: run from the source tree after a build";
    EXPECT_EQ(camera.keptProjections, 0u);
    EXPECT_EQ(camera.keptViews, 0u);
    releaseSyncDevice(device);
}

TEST(CameraGL, ProgramDeclaringOnlyViewProjGetsOnlyThat)
{
    if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
    const std::filesystem::path dir = testfiles::makeTempDir("camera");
    testfiles::writeText(dir / "vp.glsl",
                         "#version 120\nattribute vec4 position;\nuniform mat4 viewproj;\n"
                         "void main() { gl_Position = viewproj * position; }\n//FRAGMENT\n"
                         "void main() { gl_FragColor = vec4(1.0); }\n");
    shaderRegistry = ShaderRegistry{};
    captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    ASSERT_TRUE(useShader("vp.glsl"));
    while (glGetError() != GL_NO_ERROR) {
    }

    Camera camera;
    initCamera(camera);
    camera.eye = glm::vec3(3.0f, 4.0f, 5.0f);
    applyCamera(camera);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    GLint active = 0;
    glGetProgramiv(static_cast<GLuint>(program), GL_ACTIVE_UNIFORMS, &active);
    EXPECT_EQ(active, 1);
    float value[16];
    glGetUniformfv(static_cast<GLuint>(program),
                   glGetUniformLocation(static_cast<GLuint>(program), "viewproj"), value);
    const glm::mat4 expected =
        camera.projection * glm::lookAt(glm::vec3(3, 4, 5), glm::vec3(0), glm::vec3(0, 1, 0));
    EXPECT_EQ(camera.view, glm::lookAt(glm::vec3(3, 4, 5), glm::vec3(0), glm::vec3(0, 1, 0)));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(value[i], expected[i / 4][i % 4], 1e-4f * (1 + std::abs(expected[i / 4][i % 4])));
    glUseProgram(0);
}
