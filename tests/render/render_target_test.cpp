#include "render/render_target.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "../assets/asset_files.h"
#include "assets/shader.h"
#include "gl_context.h"
#include "render/draw.h"

namespace {

class RenderTargetGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
    }
};

GLint boundFramebuffer()
{
    GLint framebuffer = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    return framebuffer;
}

}  // namespace

TEST_F(RenderTargetGL, BothFormatsAreCompleteClearedAndLeaveDefaultBound)
{
    // Dirty the clear colour so that the creation clear is told apart from it.
    glClearColor(0.5f, 0.25f, 0.75f, 1.0f);
    for (RenderTargetFormat format : {RenderTargetFormat::Rgba8, RenderTargetFormat::Rgba16f}) {
        RenderTarget target;
        const std::string out =
            captureConsole([&] { createRenderTarget(format, 640, 360, target); });
        EXPECT_EQ(out, "FBO OK\n");
        EXPECT_EQ(boundFramebuffer(), 0);
        EXPECT_EQ(target.width, 640);
        EXPECT_EQ(target.height, 360);
        EXPECT_EQ(target.format, format);

        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        float pixel[4] = {1, 1, 1, 1};
        glReadPixels(320, 180, 1, 1, GL_RGBA, GL_FLOAT, pixel);
        EXPECT_EQ(pixel[0], 0.0f);
        EXPECT_EQ(pixel[3], 0.0f);
        float depth = 0.0f;
        glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        EXPECT_EQ(depth, 1.0f);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    float clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[1], 0.25f);
}

TEST_F(RenderTargetGL, PassDrawsAtTargetSizeAndRestoresViewport)
{
    RenderTarget target;
    captureConsole([&] { createRenderTarget(RenderTargetFormat::Rgba8, 320, 180, target); });
    glViewport(0, 0, 1280, 720);
    beginRenderTarget(target);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 180);
    EXPECT_EQ(boundFramebuffer(), static_cast<GLint>(target.framebuffer));
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    endRenderTarget(target);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[2], 1280);
    EXPECT_EQ(viewport[3], 720);
    EXPECT_EQ(boundFramebuffer(), 0);

    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    unsigned char rgba[4] = {0};
    glReadPixels(319, 179, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(rgba[1], 255);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(RenderTargetGL, BindingSkipsUnitsWhoseSamplerIsAbsent)
{
    const std::filesystem::path dir = testfiles::makeTempDir("target");
    testfiles::writeText(dir / "one.glsl",
                         "#version 120\nattribute vec4 position;\nvoid main() { gl_Position = position; }\n"
                         "//FRAGMENT\nuniform sampler2D Texture1;\n"
                         "void main() { gl_FragColor = texture2D(Texture1, vec2(0.5)); }\n");
    shaderRegistry = ShaderRegistry{};
    captureConsole([&] { addShaderDirectory(dir.string().c_str()); });
    ASSERT_TRUE(useShader("one.glsl"));

    RenderTarget target;
    captureConsole([&] { createRenderTarget(RenderTargetFormat::Rgba8, 4, 4, target); });
    GLuint other = 0;
    glGenTextures(1, &other);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, other);
    glActiveTexture(GL_TEXTURE5);

    bindTargetTexture(target, 2);
    GLint active = 0, bound = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE5);
    glActiveTexture(GL_TEXTURE2);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(other));

    // Unit 1 is declared: bound with linear filtering and clamping.
    bindTargetTexture(target, 1);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, static_cast<GLint>(target.texture));
    GLint filter = 0, wrap = 0, sampler = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(filter, GL_LINEAR);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetUniformiv(static_cast<GLuint>(program), findUniform("Texture1"), &sampler);
    EXPECT_EQ(sampler, 1);
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
}
