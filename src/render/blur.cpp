#include "render/blur.h"

#include <cmath>
#include <cstdio>

#include <GL/glew.h>

#include "assets/mesh.h"
#include "assets/shader.h"
#include "render/draw.h"

namespace {

// One pass of the blur: samples source into target along dir.
void blurPass(const RenderTarget& source, RenderTarget& target, float step, float cutOff,
              float dirX, float dirY, const std::array<float, maxBlurTaps>& weights,
              int32_t taps)
{
    beginRenderTarget(target);
    useShader("gblur.glsl");
    bindTargetTexture(source, 0);
    setUniformFloat("cut_off", cutOff);
    setUniformInt("flip", 0);
    setUniformFloat("tx", step / static_cast<float>(source.width));
    setUniformFloat("ty", step / static_cast<float>(source.height));
    setUniformInt("taps", taps);
    setUniformVec2("dir", dirX, dirY);
    setUniformFloatArray("weights", weights.data(), taps);
    drawMesh(screenQuad0);
    endRenderTarget(target);
}

}  // namespace

std::array<float, maxBlurTaps> gaussianWeights(float sigma, int32_t radius)
{
    std::array<float, maxBlurTaps> weights{};
    if (radius < 0) radius = 0;
    if (radius > maxBlurRadius) radius = maxBlurRadius;
    float sum = 0.0f;
    for (int32_t i = -radius; i <= radius; ++i) {
        const float x = static_cast<float>(i);
        const float w = std::exp(-(x * x) / (2.0f * sigma * sigma));
        weights[static_cast<size_t>(i + radius)] = w;
        sum += w;
    }
    // A zero sigma leaves only the centre (exp of -inf elsewhere, NaN at 0/0).
    if (!(sum > 0.0f) || !std::isfinite(sum)) {
        weights.fill(0.0f);
        weights[static_cast<size_t>(radius)] = 1.0f;
        return weights;
    }
    for (int32_t i = 0; i <= 2 * radius; ++i) weights[static_cast<size_t>(i)] /= sum;
    return weights;
}

void gaussianBlur(float spread, int32_t radius, float sigma, float cutOff,
                  RenderTarget source, RenderTarget temporary, RenderTarget destination)
{
    if (radius < 0) radius = 0;
    if (radius > maxBlurRadius) radius = maxBlurRadius;
    // Radius 0 has only the centre tap; its step would divide by zero.
    const float step = radius > 0 ? spread / static_cast<float>(radius) : 0.0f;
    const std::array<float, maxBlurTaps> weights = gaussianWeights(sigma, radius);
    const int32_t taps = 2 * radius + 1;

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);

    blurPass(source, temporary, step, cutOff, 1.0f, 0.0f, weights, taps);
    blurPass(temporary, destination, step, 0.0f, 0.0f, 1.0f, weights, taps);
}
