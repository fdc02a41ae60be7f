// Separable Gaussian blur of a render target's colour texture with the
// program "gblur.glsl": a horizontal pass into a temporary target, then a
// vertical pass into the destination (which may be the source). Owns nothing.
#pragma once

#include <array>
#include <cstdint>

#include "render/render_target.h"

// Most taps the shader's "weights" array holds; radius is limited to 31.
constexpr int32_t maxBlurTaps = 64;
constexpr int32_t maxBlurRadius = 31;

// The 2r+1 normalised weights (index 0 at offset -r, index r the centre) in a
// zero-filled array of 64; radius clamped to 0..31.
std::array<float, maxBlurTaps> gaussianWeights(float sigma, int32_t radius);
// Blurs source into destination through temporary. spread is the reach in
// source pixels, split evenly over the radius's taps.
void gaussianBlur(float spread, int32_t radius, float sigma, float cutOff,
                  RenderTarget source, RenderTarget temporary, RenderTarget destination);
