// A pass whose program is absent names it and the frame still completes.
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/demo.h"
#include "scene_fixture.h"
#include "scenes/scenes.h"

TEST(MissingProgram, IsNamedEveryFrameAndTheFrameCompletes)
{
    static Demo demo;
    if (!scenetest::buildTestDemo(demo, {"dust.glsl", "edges.glsl"}))
        GTEST_SKIP() << "no GL context";
    const std::vector<float> tracks = scenetest::allPassesOn();

    for (int frame = 0; frame < 2; ++frame) {
        const std::string first =
            captureConsole([&] { drawScene1(tracks.data(), demo, 30.0); });
        EXPECT_NE(first.find("cant find dust.glsl\n"), std::string::npos) << first;
        EXPECT_EQ(demo.profiler.names.back(), "final_blit");
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }

    const std::string second = captureConsole([&] { drawScene2(tracks.data(), demo, 140.0); });
    EXPECT_NE(second.find("cant find edges.glsl\n"), std::string::npos) << second;
    EXPECT_EQ(second.find("cant find dust.glsl"), std::string::npos)
        << "the second scene does not use that program";
    EXPECT_EQ(demo.profiler.names.back(), "final_blit");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
