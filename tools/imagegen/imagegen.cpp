// Pixel helpers shared by the texture and sky generators.
#include "imagegen.h"

#include <algorithm>
#include <cmath>

Canvas makeCanvas(int width, int height)
{
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.rgba.assign(static_cast<size_t>(width) * height * 4, 0.0f);
    return canvas;
}

uint32_t hashUint(uint32_t value)
{
    // lowbias32: full avalanche, cheap, and the same on every platform.
    value ^= value >> 16;
    value *= 0x7feb352dU;
    value ^= value >> 15;
    value *= 0x846ca68bU;
    value ^= value >> 16;
    return value;
}

float hashUnit(uint32_t value)
{
    return static_cast<float>(hashUint(value) >> 8) * (1.0f / 16777216.0f);
}

float smoothStep(float edge0, float edge1, float x)
{
    float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

float linearToSrgb(float value)
{
    value = std::clamp(value, 0.0f, 1.0f);
    if (value <= 0.0031308f) {
        return value * 12.92f;
    }
    return 1.055f * std::pow(value, 1.0f / 2.4f) - 0.055f;
}

Image8 encodeCanvas(const Canvas& canvas, bool srgb, int channels)
{
    Image8 image;
    image.width = canvas.width;
    image.height = canvas.height;
    image.channels = channels;
    size_t count = static_cast<size_t>(canvas.width) * canvas.height;
    image.pixels.resize(count * channels);
    for (size_t p = 0; p < count; ++p) {
        for (int c = 0; c < channels; ++c) {
            float v = std::clamp(canvas.rgba[p * 4 + c], 0.0f, 1.0f);
            if (srgb && c < 3) {
                v = linearToSrgb(v);
            }
            image.pixels[p * channels + c] = static_cast<uint8_t>(std::lround(v * 255.0f));
        }
    }
    return image;
}

bool isLinearName(const std::string& name)
{
    size_t dot = name.rfind('.');
    return dot != std::string::npos && dot > 0 && name[dot - 1] == '_';
}
