// Render targets: a framebuffer with one colour texture and a 24-bit depth
// renderbuffer of the same size. The Demo creates every target once at set-up;
// passes draw into one between beginRenderTarget and endRenderTarget and then
// sample its texture. GL objects are never deleted explicitly.
#pragma once

#include <cstdint>

enum class RenderTargetFormat : int32_t {
    Rgba8 = 0,    // GL_RGBA, unsigned bytes
    R32f = 1,     // GL_R32F
    Rgba16f = 2,  // GL_RGBA16F
    R16f = 3,     // GL_R16F
};

struct RenderTarget {
    uint32_t texture = 0;      // colour attachment, 2D
    uint32_t framebuffer = 0;
    uint32_t depthBuffer = 0;  // GL_DEPTH_COMPONENT24 renderbuffer
    int32_t width = 0;         // pixels
    int32_t height = 0;        // pixels
    int32_t savedViewport[4] = {0, 0, 0, 0};  // x, y, width, height restored by endRenderTarget
    RenderTargetFormat format = RenderTargetFormat::Rgba8;
};

// Creates the texture, framebuffer and depth buffer, clears them once, prints
// the framebuffer status and leaves the default framebuffer bound.
void createRenderTarget(RenderTargetFormat format, int32_t width, int32_t height,
                        RenderTarget& target);
// Prints one "FBO ..." line for the framebuffer bound for drawing.
void printFramebufferStatus();
// Saves the viewport, sets it to the target's size and binds its framebuffer.
void beginRenderTarget(RenderTarget& target);
// Reads back 4x4 pixels (waits for the target), binds framebuffer 0 and
// restores the saved viewport.
void endRenderTarget(RenderTarget& target);
// Binds the colour texture to unit 0..8 and its "TextureN" sampler, linear
// filtering, clamped; skipped when the texture is 0 or the sampler is absent.
void bindTargetTexture(const RenderTarget& target, int32_t unit);
