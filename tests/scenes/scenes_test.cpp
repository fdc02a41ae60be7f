// Whole frames of both scenes under Xvfb with stand-in shader programs.
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/demo.h"
#include "scene_fixture.h"
#include "scenes/scenes.h"

namespace {

using Names = std::vector<std::string>;

const Names scene1Marks = {"", "background", "floating particles", "particle compute",
                            "particle  draw", "shiny spheres", "line sort", "final_blit"};
const Names scene2Marks = {"",
                            "skybox",
                            "vao end",
                            "gaussian blur: vao",
                            "background particles",
                            "shiny spheres",
                            "shiny spheres2",
                            "line compute",
                            "line draw",
                            "particle compute",
                            "particle  draw",
                            "logo",
                            "backbuffer end",
                            "gaussian blur: bloom w/ cutoff",
                            "gaussian blur: hdr bloom",
                            "final_blit"};

Names without(Names names, const Names& removed)
{
    for (const std::string& r : removed)
        for (auto it = names.begin(); it != names.end(); ++it)
            if (*it == r) {
                names.erase(it);
                break;
            }
    return names;
}

class SceneFrames : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        demo = new Demo;
        ready = scenetest::buildTestDemo(*demo);
    }

    void SetUp() override
    {
        if (!ready) GTEST_SKIP() << "no GL context";
        glGetError();
    }

    // Draws one frame, checks that it raised no GL error and left the window
    // framebuffer bound with sRGB conversion off and polygons filled, and
    // returns the triangles it generated.
    GLuint drawFrame(int scene, const std::vector<float>& tracks, double musicTime)
    {
        GLuint query = 0;
        glGenQueries(1, &query);
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        if (scene == 1)
            drawScene1(tracks.data(), *demo, musicTime);
        else
            drawScene2(tracks.data(), *demo, musicTime);
        glEndQuery(GL_PRIMITIVES_GENERATED);
        GLuint primitives = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &primitives);
        glDeleteQueries(1, &query);

        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        GLint framebuffer = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        EXPECT_EQ(framebuffer, 0);
        EXPECT_FALSE(glIsEnabled(GL_FRAMEBUFFER_SRGB));
        GLint polygonMode[2] = {0, 0};
        glGetIntegerv(GL_POLYGON_MODE, polygonMode);
        EXPECT_EQ(polygonMode[0], GL_FILL);
        return primitives;
    }

    static Demo* demo;
    static bool ready;
};

Demo* SceneFrames::demo = nullptr;
bool SceneFrames::ready = false;

} // namespace

TEST_F(SceneFrames, FirstSceneMarksEveryPassInOrder)
{
    drawFrame(1, scenetest::allPassesOn(), 30.0);
    EXPECT_EQ(demo->profiler.names, scene1Marks);
}

TEST_F(SceneFrames, FirstSceneWithoutLinksDropsTheLinkPasses)
{
    std::vector<float> tracks = scenetest::allPassesOn();
    const GLuint withLinks = drawFrame(1, tracks, 30.0);
    tracks[27] = 0.0f;
    const GLuint withoutLinks = drawFrame(1, tracks, 30.0);
    EXPECT_EQ(demo->profiler.names, without(scene1Marks, {"line sort"}));
    EXPECT_LT(withoutLinks, withLinks);
    // Any other value, negative ones included, switches them on.
    tracks[27] = -0.5f;
    drawFrame(1, tracks, 30.0);
    EXPECT_EQ(demo->profiler.names, scene1Marks);
}

TEST_F(SceneFrames, FirstSceneDrawsTheNodeCountOfTrackSixteen)
{
    std::vector<float> tracks = scenetest::allPassesOn();
    tracks[27] = 0.0f;
    tracks[16] = 0.5f;
    const GLuint none = drawFrame(1, tracks, 30.0);
    tracks[16] = 100.0f;
    EXPECT_EQ(drawFrame(1, tracks, 30.0), none + 200);
    tracks[16] = 9000.0f;
    const GLuint all = drawFrame(1, tracks, 30.0);
    EXPECT_EQ(all, none + 16000);
    tracks[16] = -1.0f;
    EXPECT_EQ(drawFrame(1, tracks, 30.0), all);
}

TEST_F(SceneFrames, SecondSceneMarksEveryPassInOrder)
{
    drawFrame(2, scenetest::allPassesOn(), 140.0);
    EXPECT_EQ(demo->profiler.names, scene2Marks);
}

TEST_F(SceneFrames, SecondSceneDropsTheMarksOfSwitchedOffPasses)
{
    std::vector<float> tracks = scenetest::allPassesOn();
    tracks[36] = 0.0f;
    drawFrame(2, tracks, 140.0);
    EXPECT_EQ(demo->profiler.names,
              without(scene2Marks, {"particle compute", "particle  draw"}));

    tracks = scenetest::allPassesOn();
    tracks[13] = 0.0f;
    drawFrame(2, tracks, 140.0);
    EXPECT_EQ(demo->profiler.names, without(scene2Marks, {"logo"}));
    tracks[35] = 0.5f;
    drawFrame(2, tracks, 140.0);
    EXPECT_EQ(demo->profiler.names, scene2Marks);
}

TEST_F(SceneFrames, SecondSceneShellRimAndOverlaySwitches)
{
    const std::vector<float> on = scenetest::allPassesOn();
    const GLuint all = drawFrame(2, on, 140.0);

    std::vector<float> t = on;
    t[11] = 0.0f;
    EXPECT_EQ(drawFrame(2, t, 140.0), all - 2) << "the overlay is one quad";
    t[35] = 0.5f;
    EXPECT_EQ(drawFrame(2, t, 140.0), all);

    t = on;
    t[30] = 0.0f;
    const GLuint noRays = drawFrame(2, t, 140.0);
    EXPECT_LT(noRays, all) << "no rim nodes at this moment?";

    t = on;
    t[33] = -1.0f;
    const GLuint shellOnly = drawFrame(2, t, 140.0);
    t[32] = 0.0f;
    const GLuint noShell = drawFrame(2, t, 140.0);
    t[33] = 1.0f;
    EXPECT_EQ(drawFrame(2, t, 140.0), noShell) << "track 32 hides the rim spheres too";
    EXPECT_EQ(shellOnly, noShell + 2);
    // Every rim node but the last gets a sphere; the rays are one per rim node.
    const GLuint rimSpheres = (all - shellOnly) / 2;
    EXPECT_EQ(all - noRays, 2 * (rimSpheres + 1));
}

TEST_F(SceneFrames, SecondScenePinsTheFirstClusterBeforeItsTime)
{
    drawFrame(2, scenetest::allPassesOn(), 100.0);
    ASSERT_FALSE(demo->nearNodes.empty());
    EXPECT_EQ(demo->nearNodes[0], 0);
    const Vec4 pinned = demo->swarm.clusterCentres[0];
    EXPECT_EQ(pinned.x, 0.0f);
    EXPECT_EQ(pinned.w, 50.0f);
}

TEST_F(SceneFrames, BothScenesDrawIntoTheWindow)
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawFrame(1, scenetest::allPassesOn(), 30.0);
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadPixels(640, 360, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_GT(int(pixel[0]), 0);

    glClear(GL_COLOR_BUFFER_BIT);
    drawFrame(2, scenetest::allPassesOn(), 140.0);
    glReadPixels(640, 360, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_GT(int(pixel[0]), 0);
}
