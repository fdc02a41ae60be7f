// The twelve 2D textures: sprites, line profiles, grain, vignette, and the
// text pages and logo rasterised from the system's DejaVu fonts.
#include "imagegen.h"

#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int pageWidth = 1280;   // pixels; one overlay page fills the 1280 x 720 screen
constexpr int pageHeight = 720;   // pixels
constexpr int logoBand = 256;     // pixels; height of one logo band
constexpr uint32_t noiseSeed = 0x51a7e3u;

// Coverage (0..1) of one grey layer, width x height.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<float> value;
};

Mask makeMask(int width, int height)
{
    Mask mask;
    mask.width = width;
    mask.height = height;
    mask.value.assign(static_cast<size_t>(width) * height, 0.0f);
    return mask;
}

void setPixel(Canvas& canvas, int x, int y, float r, float g, float b, float a)
{
    float* p = &canvas.rgba[(static_cast<size_t>(y) * canvas.width + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

// Distance in pixels from the image centre.
float centreDistance(int x, int y, int width, int height)
{
    float dx = x + 0.5f - width * 0.5f;
    float dy = y + 0.5f - height * 0.5f;
    return std::sqrt(dx * dx + dy * dy);
}

// Grey sprite: rgb and alpha both carry the shape, so the sprite reads the
// same whether a shader uses the colour, the alpha or their product.
Canvas greySprite(int size, float (*shape)(float radius))
{
    Canvas canvas = makeCanvas(size, size);
    float half = size * 0.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float v = std::clamp(shape(centreDistance(x, y, size, size) / half), 0.0f, 1.0f);
            setPixel(canvas, x, y, v, v, v, v);
        }
    }
    return canvas;
}

// Fades to zero before the border (radius 1 = half the image width).
float borderWindow(float radius)
{
    return 1.0f - smoothStep(0.82f, 0.97f, radius);
}

float sharpDot(float radius)
{
    float core = 1.0f - smoothStep(0.12f, 0.19f, radius);
    float halo = 0.22f * std::exp(-(radius / 0.32f) * (radius / 0.32f));
    return (core + halo) * borderWindow(radius);
}

float softBlob(float radius)
{
    float sigma = 0.28f;
    return std::exp(-0.5f * (radius / sigma) * (radius / sigma)) * borderWindow(radius);
}

Canvas bokehDisc(int size)
{
    Canvas canvas = makeCanvas(size, size);
    float half = size * 0.5f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float r = centreDistance(x, y, size, size) / (half * 0.92f);
            float body = 0.42f + 0.58f * smoothStep(0.55f, 0.93f, r);
            float edge = 1.0f - smoothStep(0.9f, 1.0f, r);
            float v = body * edge;
            setPixel(canvas, x, y, v * 0.93f, v * 0.98f, v, v);
        }
    }
    return canvas;
}

Canvas bokehHexagon(int size)
{
    Canvas canvas = makeCanvas(size, size);
    float half = size * 0.5f;
    const float rotation = 0.26f;  // radians; a turned aperture looks less synthetic
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float px = (x + 0.5f - half) / (half * 0.9f);
            float py = (y + 0.5f - half) / (half * 0.9f);
            float hex = 0.0f;
            for (int k = 0; k < 3; ++k) {
                float angle = rotation + k * 1.0471976f;
                hex = std::max(hex, std::fabs(px * std::cos(angle) + py * std::sin(angle)));
            }
            hex /= 0.8660254f;  // the flat sides sit at 1
            float body = 0.4f + 0.45f * smoothStep(0.4f, 0.95f, hex)
                         + 0.02f * std::sin(hex * 24.0f);
            float edge = 1.0f - smoothStep(0.72f, 1.0f, hex);
            float v = std::clamp(body, 0.0f, 1.0f) * edge;
            setPixel(canvas, x, y, v, v * 0.97f, v * 0.94f, v);
        }
    }
    return canvas;
}

// Line profile across the line: y = -1 .. 1, zero on the long edges.
float lineProfile(float y, float& core)
{
    core = std::exp(-(y / 0.13f) * (y / 0.13f));
    float glow = 0.35f * std::exp(-(y / 0.45f) * (y / 0.45f));
    float window = 1.0f - smoothStep(0.78f, 0.97f, std::fabs(y));
    core *= window;
    return glow * window;
}

Canvas lineTexture(int width, int height, int dashes)
{
    Canvas canvas = makeCanvas(width, height);
    for (int y = 0; y < height; ++y) {
        float across = (y + 0.5f) / height * 2.0f - 1.0f;
        float core = 0.0f;
        float glow = lineProfile(across, core);
        for (int x = 0; x < width; ++x) {
            float dash = 1.0f;
            if (dashes > 0) {
                float phase = (x + 0.5f) / width * dashes;
                phase -= std::floor(phase);
                dash = smoothStep(0.0f, 0.08f, phase) * (1.0f - smoothStep(0.5f, 0.58f, phase));
            }
            // White core in a cyan glow.
            float r = (core + glow * 0.55f) * dash;
            float g = (core + glow * 0.9f) * dash;
            float b = (core + glow) * dash;
            setPixel(canvas, x, y, std::min(r, 1.0f), std::min(g, 1.0f), std::min(b, 1.0f),
                     std::min(core + glow, 1.0f) * dash);
        }
    }
    return canvas;
}

Canvas grainNoise(int size)
{
    Canvas canvas = makeCanvas(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint32_t p = static_cast<uint32_t>(y * size + x) * 3u;
            setPixel(canvas, x, y, hashUnit(noiseSeed ^ hashUint(p)),
                     hashUnit(noiseSeed ^ hashUint(p + 1)), hashUnit(noiseSeed ^ hashUint(p + 2)),
                     1.0f);
        }
    }
    return canvas;
}

Canvas vignette(int size)
{
    // The texture is stretched over a 16:9 screen: measure distance in
    // screen proportions so the falloff is round on screen.
    const float aspect = 16.0f / 9.0f;
    const float corner = std::sqrt(aspect * aspect + 1.0f);
    Canvas canvas = makeCanvas(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float dx = ((x + 0.5f) / size * 2.0f - 1.0f) * aspect;
            float dy = (y + 0.5f) / size * 2.0f - 1.0f;
            float r = std::sqrt(dx * dx + dy * dy) / corner;
            float v = 1.0f - 0.7f * smoothStep(0.3f, 1.0f, r);
            setPixel(canvas, x, y, v, v, v, 1.0f);
        }
    }
    return canvas;
}

// --- Text ------------------------------------------------------------------

struct Font {
    stbtt_fontinfo info{};
    bool valid = false;
};

Font openFont(const std::vector<uint8_t>& bytes)
{
    Font font;
    if (!bytes.empty()) {
        int offset = stbtt_GetFontOffsetForIndex(bytes.data(), 0);
        font.valid = offset >= 0 && stbtt_InitFont(&font.info, bytes.data(), offset) != 0;
    }
    return font;
}

// Moves the pen past the letter at c: its advance, then, unless it is the
// last letter, the kerning towards the next one and the tracking.
void advancePen(const Font& font, const char* c, float scale, float tracking, float& pen)
{
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(&font.info, *c, &advance, &bearing);
    pen += advance * scale;
    if (c[1] != 0) {
        pen += stbtt_GetCodepointKernAdvance(&font.info, c[0], c[1]) * scale + tracking;
    }
}

// Width in pixels of text at a pixel height, tracking added between letters.
float textWidth(const Font& font, const char* text, float pixelHeight, float tracking)
{
    float scale = stbtt_ScaleForPixelHeight(&font.info, pixelHeight);
    float pen = 0.0f;
    for (const char* c = text; *c != 0; ++c) {
        advancePen(font, c, scale, tracking, pen);
    }
    return pen;
}

// Adds text coverage into the mask, centred on centreX, on the baseline.
// The pixel height shrinks if needed so the text fits maxWidth.
void drawText(Mask& mask, const Font& font, const char* text, float pixelHeight, float centreX,
              float baseline, float tracking, float maxWidth)
{
    float width = textWidth(font, text, pixelHeight, tracking);
    if (width > maxWidth) {
        pixelHeight *= maxWidth / width;
        tracking *= maxWidth / width;
        width = textWidth(font, text, pixelHeight, tracking);
    }
    float scale = stbtt_ScaleForPixelHeight(&font.info, pixelHeight);
    float pen = centreX - width * 0.5f;
    std::vector<unsigned char> glyph;
    for (const char* c = text; *c != 0; ++c) {
        float shift = pen - std::floor(pen);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBoxSubpixel(&font.info, *c, scale, scale, shift, 0.0f, &x0, &y0,
                                            &x1, &y1);
        int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            glyph.assign(static_cast<size_t>(gw) * gh, 0);
            stbtt_MakeCodepointBitmapSubpixel(&font.info, glyph.data(), gw, gh, gw, scale, scale,
                                              shift, 0.0f, *c);
            int ox = static_cast<int>(std::floor(pen)) + x0;
            int oy = static_cast<int>(std::lround(baseline)) + y0;
            for (int gy = 0; gy < gh; ++gy) {
                for (int gx = 0; gx < gw; ++gx) {
                    int x = ox + gx, y = oy + gy;
                    if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) {
                        continue;
                    }
                    float& v = mask.value[static_cast<size_t>(y) * mask.width + x];
                    v = std::min(1.0f, v + glyph[static_cast<size_t>(gy) * gw + gx] / 255.0f);
                }
            }
        }
        advancePen(font, c, scale, tracking, pen);
    }
}

// Separable Gaussian blur of a mask; sigma in pixels.
Mask blurMask(const Mask& source, float sigma)
{
    int radius = static_cast<int>(std::ceil(sigma * 3.0f));
    std::vector<float> kernel(2 * radius + 1);
    float sum = 0.0f;
    for (int k = -radius; k <= radius; ++k) {
        kernel[k + radius] = std::exp(-0.5f * (k / sigma) * (k / sigma));
        sum += kernel[k + radius];
    }
    for (float& k : kernel) {
        k /= sum;
    }
    Mask across = makeMask(source.width, source.height);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            float acc = 0.0f;
            for (int k = -radius; k <= radius; ++k) {
                int sx = x + k;
                if (sx >= 0 && sx < source.width) {
                    acc += kernel[k + radius] * source.value[static_cast<size_t>(y) * source.width + sx];
                }
            }
            across.value[static_cast<size_t>(y) * source.width + x] = acc;
        }
    }
    Mask out = makeMask(source.width, source.height);
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            float acc = 0.0f;
            for (int k = -radius; k <= radius; ++k) {
                int sy = y + k;
                if (sy >= 0 && sy < source.height) {
                    acc += kernel[k + radius] * across.value[static_cast<size_t>(sy) * source.width + x];
                }
            }
            out.value[static_cast<size_t>(y) * source.width + x] = acc;
        }
    }
    return out;
}

// White text: rgb stays white under the transparent parts too, so filtering
// at glyph edges never darkens the letters.
Canvas whiteOnTransparent(const Mask& mask)
{
    Canvas canvas = makeCanvas(mask.width, mask.height);
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            setPixel(canvas, x, y, 1.0f, 1.0f, 1.0f, mask.value[static_cast<size_t>(y) * mask.width + x]);
        }
    }
    return canvas;
}

struct TextLine {
    const char* text;
    bool bold;
    float pixelHeight;  // pixels
    float baseline;     // pixels from the top of the page
    float tracking;     // pixels between letters
};

void drawPage(Mask& mask, int page, const Font& bold, const Font& regular,
              const std::vector<TextLine>& lines)
{
    for (const TextLine& line : lines) {
        drawText(mask, line.bold ? bold : regular, line.text, line.pixelHeight, pageWidth * 0.5f,
                 page * pageHeight + line.baseline, line.tracking, pageWidth * 0.85f);
    }
}

Canvas titlePages(const Font& bold, const Font& regular)
{
    Mask mask = makeMask(pageWidth, 2 * pageHeight);
    drawPage(mask, 0, bold, regular,
             {{"QUILLON", true, 150.0f, 400.0f, 18.0f}, {"the network", false, 46.0f, 478.0f, 6.0f}});
    // The credits sit low, below the cloud's bright heart that the camera
    // keeps at the centre of the frame.
    drawPage(mask, 1, bold, regular,
             {{"QUILLON", true, 44.0f, 500.0f, 8.0f},
              {"code, pictures and sound", false, 28.0f, 550.0f, 2.0f},
              {"the Quillon crew", true, 40.0f, 598.0f, 3.0f},
              {"written in C++ with OpenGL and SDL", false, 26.0f, 648.0f, 2.0f},
              {"every pixel and every note generated", false, 26.0f, 684.0f, 2.0f}});
    return whiteOnTransparent(mask);
}

Canvas strandPages(const Font& bold, const Font& regular)
{
    Mask mask = makeMask(pageWidth, 2 * pageHeight);
    drawPage(mask, 0, bold, regular,
             {{"part two", false, 40.0f, 300.0f, 8.0f}, {"the strand", true, 110.0f, 420.0f, 6.0f}});
    // The greetings sit in the lower third, off the strand's bright middle.
    drawPage(mask, 1, bold, regular,
             {{"greetings", true, 48.0f, 530.0f, 6.0f},
              {"to everyone who makes things at night", false, 30.0f, 590.0f, 2.0f},
              {"to the people who keep old machines alive", false, 30.0f, 632.0f, 2.0f},
              {"and to you, for watching to the end", false, 30.0f, 674.0f, 2.0f}});
    return whiteOnTransparent(mask);
}

Canvas closingPage(const Font& bold, const Font& regular)
{
    Mask mask = makeMask(pageWidth, pageHeight);
    drawPage(mask, 0, bold, regular,
             {{"QUILLON", true, 130.0f, 380.0f, 16.0f},
              {"thank you for watching", false, 40.0f, 460.0f, 4.0f}});
    return whiteOnTransparent(mask);
}

// Three bands of the logo: the lettering in an amber gradient, its soft glow,
// and a thin outline around it, each with its own alpha.
Canvas logoStack(const Font& bold, int width)
{
    Mask letters = makeMask(width, logoBand);
    drawText(letters, bold, "QUILLON", 150.0f, width * 0.5f, logoBand * 0.5f + 54.0f, 14.0f,
             width * 0.82f);
    Mask glow = blurMask(letters, 12.0f);
    Mask halo = blurMask(letters, 2.5f);

    Canvas canvas = makeCanvas(width, 3 * logoBand);
    for (int y = 0; y < logoBand; ++y) {
        float t = static_cast<float>(y) / (logoBand - 1);
        // Gold at the top of the letters to deep amber at their foot.
        float r = 1.0f, g = 0.85f - 0.42f * t, b = 0.5f - 0.4f * t;
        for (int x = 0; x < width; ++x) {
            size_t i = static_cast<size_t>(y) * width + x;
            setPixel(canvas, x, y, r, g, b, letters.value[i]);
            setPixel(canvas, x, y + logoBand, 1.0f, 0.58f, 0.2f, std::min(1.0f, glow.value[i] * 1.7f));
            float outline = std::clamp(halo.value[i] * 3.0f, 0.0f, 1.0f) - letters.value[i];
            setPixel(canvas, x, y + 2 * logoBand, 1.0f, 0.9f, 0.7f, std::clamp(outline, 0.0f, 1.0f));
        }
    }
    return canvas;
}

}  // namespace

const std::vector<TextureSpec>& textureSpecs()
{
    static const std::vector<TextureSpec> specs = {
        {"p_sharp_.png", 64, 64, 4},        {"p_blurred_.png", 64, 64, 4},
        {"floating01.png", 128, 128, 4},    {"floating01_b.png", 128, 128, 4},
        {"s0_line_.png", 256, 64, 4},       {"s1_line_.png", 256, 64, 4},
        {"noise.png", 256, 256, 3},         {"vig.png", 256, 256, 3},
        {"txttt.png", 1280, 1440, 4},       {"logo_stack_3_.png", 1024, 768, 4},
        {"fs01.png", 1280, 1440, 4},        {"fs02.png", 1280, 720, 4},
    };
    return specs;
}

bool renderTexture(const TextureSpec& spec, const Fonts& fonts, Image8& out)
{
    std::string name = spec.name;
    Canvas canvas;
    bool needsText = name == "txttt.png" || name == "fs01.png" || name == "fs02.png"
                     || name == "logo_stack_3_.png";
    Font bold, regular;
    if (needsText) {
        bold = openFont(fonts.bold);
        regular = openFont(fonts.regular);
        if (!bold.valid || !regular.valid) {
            std::fprintf(stderr, "imagegen: no usable font for %s\n", spec.name);
            return false;
        }
    }
    if (name == "p_sharp_.png") {
        canvas = greySprite(spec.width, sharpDot);
    } else if (name == "p_blurred_.png") {
        canvas = greySprite(spec.width, softBlob);
    } else if (name == "floating01.png") {
        canvas = bokehDisc(spec.width);
    } else if (name == "floating01_b.png") {
        canvas = bokehHexagon(spec.width);
    } else if (name == "s0_line_.png") {
        canvas = lineTexture(spec.width, spec.height, 0);
    } else if (name == "s1_line_.png") {
        canvas = lineTexture(spec.width, spec.height, 8);
    } else if (name == "noise.png") {
        canvas = grainNoise(spec.width);
    } else if (name == "vig.png") {
        canvas = vignette(spec.width);
    } else if (name == "txttt.png") {
        canvas = titlePages(bold, regular);
    } else if (name == "logo_stack_3_.png") {
        canvas = logoStack(bold, spec.width);
    } else if (name == "fs01.png") {
        canvas = strandPages(bold, regular);
    } else if (name == "fs02.png") {
        canvas = closingPage(bold, regular);
    } else {
        std::fprintf(stderr, "imagegen: unknown texture %s\n", spec.name);
        return false;
    }
    out = encodeCanvas(canvas, !isLinearName(name), spec.channels);
    return true;
}
