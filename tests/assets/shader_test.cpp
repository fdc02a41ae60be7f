#include "assets/shader.h"

#include <chrono>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "asset_files.h"
#include "assets/mesh.h"
#include "gl_context.h"
#include "render/draw.h"
#include "render/render_target.h"

namespace {

std::string colourShader(const char* colour)
{
    return std::string("#version 120\nattribute vec4 position;\nvoid main() { gl_Position = position; }\n"
                       "//FRAGMENT\nvoid main() { gl_FragColor = vec4(") +
           colour + "); }\n";
}

// Sets a file's time explicitly, so that saves are told apart without sleeping.
void touch(const std::filesystem::path& path, std::filesystem::file_time_type time)
{
    std::filesystem::last_write_time(path, time);
}

}  // namespace

TEST(ShaderSplit, MarkerLineSplitsAndStaysInVertexSource)
{
    std::string vertex, fragment;
    splitShaderSource("a\n//FRAGMENT\nb\nc", vertex, fragment);
    EXPECT_EQ(vertex, "a\n//FRAGMENT\n");
    EXPECT_EQ(fragment, "b\nc\n");
}

TEST(ShaderSplit, CrLfFilesSplitTheSameAsLf)
{
    std::string vertex, fragment;
    splitShaderSource("a\r\n//FRAGMENT\r\nb\r\n", vertex, fragment);
    EXPECT_EQ(vertex, "a\n//FRAGMENT\n");
    EXPECT_EQ(fragment, "b\n");
}

TEST(ShaderSplit, MarkerWithTrailingBlankOrMissingLeavesEverythingInVertex)
{
    std::string vertex, fragment;
    splitShaderSource("a\n//FRAGMENT \nb\n", vertex, fragment);
    EXPECT_EQ(vertex, "a\n//FRAGMENT \nb\n");
    EXPECT_EQ(fragment, "");
    splitShaderSource("a\nb", vertex, fragment);
    EXPECT_EQ(vertex, "a\nb\n");
    EXPECT_EQ(fragment, "");
    // Only the first marker splits; a second one is fragment text.
    splitShaderSource("//FRAGMENT\nx\n//FRAGMENT\n", vertex, fragment);
    EXPECT_EQ(vertex, "//FRAGMENT\n");
    EXPECT_EQ(fragment, "x\n//FRAGMENT\n");
}

TEST(ShaderErrors, CompilerLogsBecomeFileLines)
{
    // Mesa, NVIDIA and the reference compiler's forms; warnings are dropped.
    const std::string log = "0:3(12): error: `oops' undeclared\n"
                            "0:4(1): warning: unused\n"
                            "0(7) : error C1008: undefined variable \"x\"\n"
                            "ERROR: 0:9: 'y' : undeclared identifier\n";
    const std::vector<std::string> errors = shaderLogErrors(log, "seq1/a.glsl", 10);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "seq1/a.glsl:12: error: `oops' undeclared");
    EXPECT_EQ(errors[1], "seq1/a.glsl:16: error C1008: undefined variable \"x\"");
    EXPECT_EQ(errors[2], "seq1/a.glsl:18: 'y' : undeclared identifier");
    // A log in no known form still names the file.
    EXPECT_EQ(shaderLogErrors("\nsomething broke\n", "b.glsl", 1),
              std::vector<std::string>{"b.glsl: something broke"});
}

class ShaderRegistryGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
        shaderRegistry = ShaderRegistry{};
        dir = testfiles::makeTempDir("shader");
    }
    std::filesystem::path dir;
};

TEST_F(ShaderRegistryGL, ScanBuildsEveryFileAndLookupIsCaseSensitive)
{
    testfiles::writeText(dir / "blit.glsl", colourShader("1.0, 0.0, 0.0, 1.0"));
    testfiles::writeText(dir / "broken.glsl", "void main() {}\n//FRAGMENT \nvoid main() {}\n");
    testfiles::writeText(dir / "notes.txt", "not a shader");
    const std::string out = captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    ASSERT_EQ(shaderRegistry.shaders.size(), 2u);
    EXPECT_EQ(findShader("blit.glsl"), 0);
    EXPECT_EQ(findShader("broken.glsl"), 1);
    EXPECT_EQ(findShader("BLIT.GLSL"), -1);
    EXPECT_NE(shaderRegistry.shaders[0].program, -1);
    EXPECT_EQ(shaderRegistry.shaders[1].program, -1);
    const std::string blitPath = (dir / "blit.glsl").string();
    const std::string brokenPath = (dir / "broken.glsl").string();
    EXPECT_NE(out.find("line kake= blit.glsl " + blitPath + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("could not load shader: " + brokenPath + "\n"), std::string::npos) << out;
    // The failed file is still recorded, so a later fixed save can fill it in.
    EXPECT_NE(out.find("line kake= broken.glsl " + brokenPath + "\n"), std::string::npos) << out;

    // A rescan with unchanged files changes nothing and prints nothing.
    EXPECT_EQ(captureConsole([] { scanShaderDirectories(); }), "");
    EXPECT_EQ(shaderRegistry.shaders.size(), 2u);

    // useShader leaves the current program alone for an unknown name.
    glUseProgram(static_cast<GLuint>(shaderRegistry.shaders[0].program));
    EXPECT_EQ(captureConsole([] { EXPECT_FALSE(useShader("nope.glsl")); }), "cant find nope.glsl\n");
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, shaderRegistry.shaders[0].program);
    glUseProgram(0);
}

TEST_F(ShaderRegistryGL, BrokenSaveKeepsOldProgramDrawingAndFixedSaveSwapsIn)
{
    const std::filesystem::path file = dir / "fill.glsl";
    testfiles::writeText(file, colourShader("1.0, 0.0, 0.0, 1.0"));
    captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    ASSERT_EQ(findShader("fill.glsl"), 0);
    const int32_t first = shaderRegistry.shaders[0].program;
    ASSERT_NE(first, -1);

    Mesh quad;
    RenderTarget target;
    captureConsole([&] {
        createQuadMesh(quad);
        createRenderTarget(RenderTargetFormat::Rgba8, 8, 8, target);
    });
    auto drawnColour = [&] {
        beginRenderTarget(target);
        useShader("fill.glsl");
        drawMesh(quad);
        unsigned char rgba[4] = {0, 0, 0, 0};
        glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        endRenderTarget(target);
        return std::vector<int>{rgba[0], rgba[1], rgba[2]};
    };
    EXPECT_EQ(drawnColour(), (std::vector<int>{255, 0, 0}));

    const auto base = std::filesystem::last_write_time(file);
    const std::string path = file.string();

    // Saved with an error: reported once, the old program stays and draws.
    testfiles::writeText(file, colourShader("1.0, 0.0, 0.0, oops"));
    touch(file, base + std::chrono::seconds(2));
    std::string out = captureConsole([] { pollShaderFiles(); });
    EXPECT_NE(out.find(path + " lm = "), std::string::npos) << out;
    EXPECT_NE(out.find("[shader]compile(fragment)::\n"), std::string::npos) << out;
    EXPECT_NE(out.find("could not load shader: " + path + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("file updated = fill.glsl\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("LinkedShader Updated"), std::string::npos) << out;
    EXPECT_EQ(shaderRegistry.shaders[0].program, first);
    // Kept for the overlay with the file's own line: the fragment stage's.
    ASSERT_FALSE(shaderRegistry.shaders[0].errors.empty());
    EXPECT_EQ(shaderRegistry.shaders[0].errors[0].rfind(path + ":5: ", 0), 0u)
        << shaderRegistry.shaders[0].errors[0];
    EXPECT_EQ(captureConsole([] { pollShaderFiles(); }), "");
    EXPECT_EQ(drawnColour(), (std::vector<int>{255, 0, 0}));

    // Fixed within the same second: full-precision times still see the save.
    testfiles::writeText(file, colourShader("0.0, 1.0, 0.0, 1.0"));
    touch(file, base + std::chrono::seconds(2) + std::chrono::milliseconds(300));
    out = captureConsole([] { pollShaderFiles(); });
    const int32_t second = shaderRegistry.shaders[0].program;
    EXPECT_NE(second, first);
    EXPECT_NE(second, -1);
    const std::string updated = "LinkedShader Updated = " + std::to_string(second) + "\n";
    const size_t at = out.find(updated);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.substr(at + updated.size()), "file updated = fill.glsl\n");
    EXPECT_EQ(drawnColour(), (std::vector<int>{0, 255, 0}));
    EXPECT_TRUE(shaderRegistry.shaders[0].errors.empty());
    glUseProgram(0);
}

TEST_F(ShaderRegistryGL, FirstBuildFailureIsFilledInByAFixedSave)
{
    const std::filesystem::path file = dir / "late.glsl";
    testfiles::writeText(file, "garbage\n");
    captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    ASSERT_EQ(shaderRegistry.shaders.size(), 1u);
    EXPECT_EQ(shaderRegistry.shaders[0].program, -1);
    testfiles::writeText(file, colourShader("0.0, 0.0, 1.0, 1.0"));
    touch(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    captureConsole([] { pollShaderFiles(); });
    EXPECT_NE(shaderRegistry.shaders[0].program, -1);
}

TEST_F(ShaderRegistryGL, MissingFileIsReportedOncePerChangeOfState)
{
    const std::filesystem::path file = dir / "gone.glsl";
    testfiles::writeText(file, colourShader("1.0, 1.0, 1.0, 1.0"));
    captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    const int32_t program = shaderRegistry.shaders[0].program;
    const auto time = std::filesystem::last_write_time(file);
    std::filesystem::remove(file);
    EXPECT_EQ(captureConsole([] { pollShaderFiles(); }), "File " + file.string() + " not found.\n");
    EXPECT_EQ(captureConsole([] { pollShaderFiles(); }), "");
    EXPECT_EQ(shaderRegistry.shaders[0].program, program);

    // Back with its old time: nothing to rebuild, and a later loss is reported again.
    testfiles::writeText(file, colourShader("1.0, 1.0, 1.0, 1.0"));
    touch(file, time);
    EXPECT_EQ(captureConsole([] { pollShaderFiles(); }), "");
    std::filesystem::remove(file);
    EXPECT_EQ(captureConsole([] { pollShaderFiles(); }), "File " + file.string() + " not found.\n");
}

TEST_F(ShaderRegistryGL, DirectoryWithoutShadersAddsNothingAndPrintsNothing)
{
    testfiles::writeText(dir / "readme.txt", "x");
    EXPECT_EQ(captureConsole([&] { addShaderDirectory(dir.string().c_str()); }), "");
    EXPECT_TRUE(shaderRegistry.shaders.empty());
}
