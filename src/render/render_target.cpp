#include "render/render_target.h"

#include <cstdio>

#include <GL/glew.h>

#include "render/draw.h"

namespace {

struct FormatTriple {
    GLint internalFormat;
    GLenum pixelFormat;
    GLenum type;
};

bool formatOf(RenderTargetFormat format, FormatTriple& out)
{
    switch (format) {
    case RenderTargetFormat::Rgba8: out = {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE}; return true;
    case RenderTargetFormat::R32f: out = {GL_R32F, GL_RED, GL_FLOAT}; return true;
    case RenderTargetFormat::Rgba16f: out = {GL_RGBA16F, GL_RGBA, GL_FLOAT}; return true;
    case RenderTargetFormat::R16f: out = {GL_R16F, GL_RED, GL_HALF_FLOAT}; return true;
    }
    return false;
}

}  // namespace

void createRenderTarget(RenderTargetFormat format, int32_t width, int32_t height,
                        RenderTarget& target)
{
    target.format = format;
    target.width = width;
    target.height = height;

    glGenTextures(1, &target.texture);
    glBindTexture(GL_TEXTURE_2D, target.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    FormatTriple triple{};
    if (formatOf(format, triple)) {
        glTexImage2D(GL_TEXTURE_2D, 0, triple.internalFormat, width, height, 0,
                     triple.pixelFormat, triple.type, nullptr);
        glGenerateMipmap(GL_TEXTURE_2D);
    }

    glGenFramebuffers(1, &target.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.texture, 0);

    glGenRenderbuffers(1, &target.depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, target.depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                              target.depthBuffer);

    printFramebufferStatus();

    // A new texture holds undefined memory; clear it once so that a pass that
    // samples a target before anything was drawn into it reads black.
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        GLint viewport[4];
        GLfloat clearColor[4];
        GLboolean depthMask = GL_TRUE;
        GLfloat clearDepth = 1.0f;
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
        glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearDepth);
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
        glDisable(GL_SCISSOR_TEST);
        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClearDepth(1.0);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDepthMask(depthMask);
        glClearDepth(clearDepth);
        glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        if (scissor) glEnable(GL_SCISSOR_TEST);
    }

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void printFramebufferStatus()
{
    switch (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER)) {
    case GL_FRAMEBUFFER_UNDEFINED: printf("FBO Undefined\n"); break;
    case GL_FRAMEBUFFER_COMPLETE: printf("FBO OK\n"); break;
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT: printf("FBO Incomplete Attachment\n"); break;
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT: printf("FBO Missing Attachment\n"); break;
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER: printf("FBO Incomplete Draw Buffer\n"); break;
    case GL_FRAMEBUFFER_UNSUPPORTED: printf("FBO Unsupported\n"); break;
    default: printf("FBO Problem?\n"); break;
    }
}

void beginRenderTarget(RenderTarget& target)
{
    glGetIntegerv(GL_VIEWPORT, target.savedViewport);
    glViewport(0, 0, target.width, target.height);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
}

void endRenderTarget(RenderTarget& target)
{
    // Reading a few pixels waits until the target's drawing has finished.
    unsigned char scratch[64];
    glReadPixels(0, 0, 4, 4, GL_BGRA, GL_UNSIGNED_BYTE, scratch);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(target.savedViewport[0], target.savedViewport[1], target.savedViewport[2],
               target.savedViewport[3]);
}

void bindTargetTexture(const RenderTarget& target, int32_t unit)
{
    bindTexture2D(unit, target.texture, GL_LINEAR);
}
