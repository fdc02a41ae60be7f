#include "render/blur.h"

#include <numeric>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "../assets/asset_files.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "gl_context.h"

namespace {

// A separable blur shader reading the same uniforms as the production's.
const char* blurShader =
    "#version 120\n"
    "attribute vec4 position;\n"
    "varying vec2 uv;\n"
    "void main() { gl_Position = position; uv = position.xy * 0.5 + 0.5; }\n"
    "//FRAGMENT\n"
    "uniform sampler2D Texture0;\n"
    "uniform float tx;\nuniform float ty;\nuniform int taps;\nuniform vec2 dir;\n"
    "uniform float weights[64];\nuniform float cut_off;\nuniform int flip;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  vec4 sum = vec4(0.0);\n"
    "  float centre = float(taps - 1) * 0.5;\n"
    "  for (int i = 0; i < 64; ++i) {\n"
    "    if (i >= taps) break;\n"
    "    vec2 at = uv + dir * vec2(tx, ty) * (float(i) - centre);\n"
    "    sum += weights[i] * max(texture2D(Texture0, at) - vec4(cut_off), vec4(0.0));\n"
    "  }\n"
    "  gl_FragColor = sum;\n"
    "}\n";

std::vector<float> readRed(const RenderTarget& target)
{
    std::vector<float> rgba(static_cast<size_t>(target.width * target.height) * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_FLOAT, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    std::vector<float> red(rgba.size() / 4);
    for (size_t i = 0; i < red.size(); ++i) red[i] = rgba[4 * i];
    return red;
}

}  // namespace

TEST(GaussianWeights, RadiusZeroIsOneTap)
{
    const auto w = gaussianWeights(1.0f, 0);
    EXPECT_FLOAT_EQ(w[0], 1.0f);
    EXPECT_EQ(std::accumulate(w.begin() + 1, w.end(), 0.0f), 0.0f);
}

TEST(GaussianWeights, RadiusTwoSigmaOneIsSymmetricAndNormalised)
{
    const auto w = gaussianWeights(1.0f, 2);
    EXPECT_NEAR(w[2], 0.4026f, 1e-4f);
    EXPECT_NEAR(w[0], 0.0545f, 1e-4f);
    EXPECT_FLOAT_EQ(w[0], w[4]);
    EXPECT_FLOAT_EQ(w[1], w[3]);
    EXPECT_NEAR(w[0] + w[1] + w[2] + w[3] + w[4], 1.0f, 1e-6f);
    for (size_t i = 5; i < w.size(); ++i) EXPECT_EQ(w[i], 0.0f);
}

TEST(GaussianWeights, LargeRadiusIsClampedAndZeroSigmaKeepsTheCentre)
{
    const auto wide = gaussianWeights(20.0f, 40);
    EXPECT_GT(wide[62], 0.0f);
    EXPECT_EQ(wide[63], 0.0f);
    EXPECT_NEAR(std::accumulate(wide.begin(), wide.end(), 0.0f), 1.0f, 1e-5f);
    const auto sharp = gaussianWeights(0.0f, 3);
    EXPECT_EQ(sharp[3], 1.0f);
    EXPECT_EQ(sharp[2], 0.0f);
}

TEST(GaussianBlurGL, SingleBrightPixelSpreadsSymmetricallyAndKeepsItsEnergy)
{
    if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
    const std::filesystem::path dir = testfiles::makeTempDir("blur");
    testfiles::writeText(dir / "gblur.glsl", blurShader);
    shaderRegistry = ShaderRegistry{};
    captureConsole([&] {
        addShaderDirectory(dir.string().c_str());
        if (screenQuad0.vertexBuffer == 0) createQuadMesh(screenQuad0);
    });
    ASSERT_NE(findShader("gblur.glsl"), -1);

    const int size = 32;
    RenderTarget image, temporary;
    captureConsole([&] {
        createRenderTarget(RenderTargetFormat::Rgba16f, size, size, image);
        createRenderTarget(RenderTargetFormat::Rgba16f, size, size, temporary);
    });
    const float bright[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glBindTexture(GL_TEXTURE_2D, image.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 16, 16, 1, 1, GL_RGBA, GL_FLOAT, bright);

    glViewport(0, 0, 200, 100);
    // In place: the destination is the source.
    const std::string out = captureConsole([&] { gaussianBlur(3.0f, 3, 1.5f, 0.0f, image, temporary, image); });
    EXPECT_EQ(out, "");
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 100);

    const std::vector<float> red = readRed(image);
    auto at = [&](int x, int y) { return red[static_cast<size_t>(y * size + x)]; };
    const auto w = gaussianWeights(1.5f, 3);
    EXPECT_NEAR(at(16, 16), w[3] * w[3], 2e-3f);
    EXPECT_GT(at(16, 16), at(17, 16));
    EXPECT_GT(at(17, 16), 0.0f);
    for (int d = 1; d <= 3; ++d) {
        EXPECT_NEAR(at(16 + d, 16), at(16 - d, 16), 1e-3f) << d;
        EXPECT_NEAR(at(16, 16 + d), at(16, 16 - d), 1e-3f) << d;
        EXPECT_NEAR(at(16 + d, 16), at(16, 16 + d), 1e-3f) << d;
        EXPECT_NEAR(at(16 + d, 16 + d), at(16 - d, 16 - d), 1e-3f) << d;
    }
    EXPECT_EQ(at(16 + 4, 16), 0.0f);
    const float energy = std::accumulate(red.begin(), red.end(), 0.0f);
    EXPECT_NEAR(energy, 1.0f, 0.01f);

    // Radius 0 is the identity: one tap at the centre, no division by zero.
    glBindTexture(GL_TEXTURE_2D, image.texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 16, 16, 1, 1, GL_RGBA, GL_FLOAT, bright);
    const std::vector<float> before = readRed(image);
    captureConsole([&] { gaussianBlur(3.0f, 0, 1.5f, 0.0f, image, temporary, image); });
    EXPECT_EQ(readRed(image), before);
    glUseProgram(0);
}

TEST(GaussianBlurGL, MissingProgramIsReportedForBothPasses)
{
    if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
    shaderRegistry = ShaderRegistry{};
    RenderTarget a, b;
    captureConsole([&] {
        if (screenQuad0.vertexBuffer == 0) createQuadMesh(screenQuad0);
        createRenderTarget(RenderTargetFormat::Rgba8, 8, 8, a);
        createRenderTarget(RenderTargetFormat::Rgba8, 8, 8, b);
    });
    const std::string out = captureConsole([&] { gaussianBlur(2.0f, 2, 1.0f, 0.0f, a, b, a); });
    EXPECT_EQ(out, "cant find gblur.glsl\ncant find gblur.glsl\n");
}
