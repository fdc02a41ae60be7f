#include "app/demo.h"

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gl_context.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Index of the first line equal to text at or after from, or -1.
int32_t find(const std::vector<std::string>& lines, const std::string& text, int32_t from = 0) {
    for (int32_t i = std::max(from, 0); i < static_cast<int32_t>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

// One Demo for the whole test program: it is loaded once, as the entry point does.
struct LoadedDemo {
    Demo demo;
    std::vector<std::string> console;
    bool ready = false;
};

LoadedDemo& loadedDemo() {
    static LoadedDemo loaded;
    static bool tried = false;
    if (!tried) {
        tried = true;
        // A window of another size than the design size: the targets must not follow it.
        if (ensureTestGLContext(1600, 900)) {
            loaded.console = linesOf(captureConsole([] { loadDemo(loaded.demo); }));
            loaded.ready = true;
        }
    }
    return loaded;
}

void expectSize(const RenderTarget& target, int32_t width, int32_t height, RenderTargetFormat format) {
    EXPECT_EQ(target.width, width);
    EXPECT_EQ(target.height, height);
    EXPECT_EQ(target.format, format);
    EXPECT_NE(target.framebuffer, 0u);
    EXPECT_NE(target.texture, 0u);
}

}  // namespace

TEST(Demo, ScaledDesignSizeTruncatesBeforeScalingDown) {
    EXPECT_EQ(scaledDesignSize(1280.0f, 2.0f), 2560);
    EXPECT_EQ(scaledDesignSize(720.0f, 0.25f), 180);
    EXPECT_EQ(scaledDesignSize(1280.9f, 1.0f), 1280);
    // 1001.9 is first cut to 1001; half of that is 500.5, cut again to 500.
    EXPECT_EQ(scaledDesignSize(1001.9f, 0.5f), 500);
    EXPECT_EQ(scaledDesignSize(1001.9f, 2.0f), 2003);
}

TEST(Demo, RenderTargetsHaveTheirFixedSizesWhateverTheWindow) {
    LoadedDemo& loaded = loadedDemo();
    if (!loaded.ready) GTEST_SKIP() << "no GL context";
    const Demo& demo = loaded.demo;
    expectSize(demo.sceneTarget2, 2560, 1440, RenderTargetFormat::Rgba16f);
    expectSize(demo.sceneTarget1, 2560, 1440, RenderTargetFormat::Rgba16f);
    expectSize(demo.skyTarget, 640, 360, RenderTargetFormat::Rgba16f);
    expectSize(demo.bloomWideTarget, 1280, 720, RenderTargetFormat::Rgba8);
    expectSize(demo.bloomTarget, 640, 360, RenderTargetFormat::Rgba8);
    expectSize(demo.bloomMidTarget, 640, 360, RenderTargetFormat::Rgba8);
    expectSize(demo.bloomSoftTarget, 640, 360, RenderTargetFormat::Rgba8);
    expectSize(demo.strandTarget, 320, 180, RenderTargetFormat::Rgba8);
    expectSize(demo.strandBlurTarget, 320, 180, RenderTargetFormat::Rgba8);
}

TEST(Demo, MembersAreBuiltAtFullCapacity) {
    LoadedDemo& loaded = loadedDemo();
    if (!loaded.ready) GTEST_SKIP() << "no GL context";
    const Demo& demo = loaded.demo;
    EXPECT_EQ(demo.spriteBatch.vertexCount, 4 * 6000);
    EXPECT_EQ(demo.logoQuads.vertexCount, 4 * 10);
    EXPECT_EQ(demo.segmentBatch.vertexCount, 4 * 60000);
    EXPECT_EQ(demo.screenQuad.triangleCount, 2);
    EXPECT_EQ(demo.graphNodes.workingPositions.size(), 8000u);
    EXPECT_EQ(demo.graphNodes.sprites.vertexCount, 4 * 8000);
    EXPECT_EQ(demo.farCloud.restPositions.size(), 200u);
    EXPECT_EQ(demo.swarm.clusterCentres.size(), 3000u);
    EXPECT_EQ(demo.swarm.secondTable.size(), 3000u);
    EXPECT_FALSE(demo.links.innerLinks.empty());
    EXPECT_TRUE(demo.links.crossLinks.empty());
    EXPECT_TRUE(demo.nearNodes.empty());
    EXPECT_EQ(demo.camera.eye, glm::vec3(200.0f, 0.0f, 0.0f));

    // The far cloud sits on its sphere; the graph nodes hold the start-up update.
    const Vec4& far = demo.farCloud.restPositions[17];
    EXPECT_NEAR(std::sqrt(far.x * far.x + far.y * far.y + far.z * far.z), 4000.0f, 0.01f);
    NodeCloud check;
    generatePoints(check, 8000, 50.0f);
    shape(check);
    update(check, 26.0, 9.0f, 283.0f, 0.0f);
    EXPECT_TRUE(std::equal(check.workingPositions.begin(), check.workingPositions.end(),
                           demo.graphNodes.workingPositions.begin()));
}

TEST(Demo, StartUpLinesComeInTheirOrder) {
    LoadedDemo& loaded = loadedDemo();
    if (!loaded.ready) GTEST_SKIP() << "no GL context";
    const std::vector<std::string>& lines = loaded.console;

    const int32_t segments = find(lines, "[mesh]60000 quads added");
    const int32_t makeQuads = find(lines, "make quads");
    ASSERT_GE(segments, 0);
    ASSERT_EQ(makeQuads, segments + 1);
    EXPECT_EQ(lines[makeQuads + 1], "[mesh]6000 quads added");
    EXPECT_EQ(lines[makeQuads + 2], "[mesh]10 quads added");
    EXPECT_EQ(lines[makeQuads + 3], "[mesh]quad added");
    EXPECT_EQ(lines[makeQuads + 4], "[mesh]8000 quads added");
    EXPECT_EQ(lines[makeQuads + 5], "[mesh]200 quads added");

    // The cube maps come next (their lines depend on the data), then the
    // design size and one status line per render target.
    const int32_t fbo = find(lines, "fbo 1280.000000x720.000000", makeQuads);
    ASSERT_GT(fbo, makeQuads + 5);
    ASSERT_GT(static_cast<int32_t>(lines.size()), fbo + 14);
    for (int32_t k = 1; k <= 9; ++k) EXPECT_EQ(lines[fbo + k].rfind("FBO ", 0), 0u) << lines[fbo + k];

    // The load-time profile: exactly two sections and the total.
    const std::regex section1(R"(\[1=lines init\] = \d+\.\d{3}ms)");
    const std::regex section2(R"(\[2=\] = \d+\.\d{3}ms)");
    const std::regex total(R"(total of \d+\.\d{3}ms)");
    EXPECT_TRUE(std::regex_match(lines[fbo + 10], section1)) << lines[fbo + 10];
    EXPECT_TRUE(std::regex_match(lines[fbo + 11], section2)) << lines[fbo + 11];
    EXPECT_TRUE(std::regex_match(lines[fbo + 12], total)) << lines[fbo + 12];

    // Textures only after the profile; nothing after the last shader but the end line.
    EXPECT_EQ(lines[fbo + 13], "load textures");
    EXPECT_EQ(lines.back(), "done loading!");
    EXPECT_EQ(find(lines, "done loading!"), static_cast<int32_t>(lines.size()) - 1);
    EXPECT_EQ(find(lines, "load textures"), fbo + 13);
}

TEST(Demo, DestroyReleasesEveryList) {
    LoadedDemo& loaded = loadedDemo();
    if (!loaded.ready) GTEST_SKIP() << "no GL context";
    Demo& demo = loaded.demo;
    demo.nearNodes.assign(12, 3);
    beginFrame(demo.profiler);
    destroyDemo(demo);
    EXPECT_EQ(demo.nearNodes.capacity(), 0u);
    EXPECT_EQ(demo.links.innerLinks.capacity(), 0u);
    EXPECT_EQ(demo.farCloud.restPositions.capacity(), 0u);
    EXPECT_EQ(demo.graphNodes.workingPositions.capacity(), 0u);
    EXPECT_EQ(demo.graphNodes.directions.capacity(), 0u);
    EXPECT_EQ(demo.swarm.clusterCentres.capacity(), 0u);
    EXPECT_EQ(demo.swarm.secondTable.capacity(), 0u);
    EXPECT_TRUE(demo.profiler.names.empty());
    EXPECT_TRUE(demo.profiler.times.empty());
}
