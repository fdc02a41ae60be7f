// Image generator: the production's 2D textures, the night-sky cube maps and
// the sky dome mesh, all computed from fixed constants (no clock, no random
// device), so two runs write byte-identical files. Owns nothing beyond the
// pixel buffers it hands back; the caller writes them out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Shared pixel records and helpers.

// An 8-bit image, rows top to bottom as they stand in the file. The engine
// uploads without a vertical flip, so row 0 becomes texture row t = 0.
struct Image8 {
    int width = 0;     // pixels
    int height = 0;    // pixels
    int channels = 0;  // 3 or 4 (the engine's upload only handles these)
    std::vector<uint8_t> pixels;
};

// A linear float RGBA canvas that the 2D textures are painted on.
struct Canvas {
    int width = 0;   // pixels
    int height = 0;  // pixels
    std::vector<float> rgba;  // 4 floats per pixel, linear 0..1
};

// A square cube-map face of linear RGB radiance (may exceed 1.0).
struct Face {
    int size = 0;  // pixels per side
    std::vector<float> rgb;
};

// Six faces in the order +X, -X, +Y, -Y, +Z, -Z.
using CubeMap = std::array<Face, 6>;

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

Canvas makeCanvas(int width, int height);
// 32-bit integer hash (well mixed); the base of every pseudo-random choice.
uint32_t hashUint(uint32_t value);
// A hash mapped to 0..1.
float hashUnit(uint32_t value);
float smoothStep(float edge0, float edge1, float x);
// Linear 0..1 to the sRGB transfer curve, 0..1.
float linearToSrgb(float value);
// Canvas to 8-bit: sRGB-encoded colour when srgb is true, else linear;
// alpha is always stored linear. channels is 3 or 4.
Image8 encodeCanvas(const Canvas& canvas, bool srgb, int channels);

// ---------------------------------------------------------------------------
// 2D textures of data/seq1. Sizes, channel counts and the space each is
// stored in (a base name ending in "_" is read linear, any other as sRGB):
//   p_sharp_.png        64 x 64,  RGBA, linear: small hard dot; rgb = a
//   p_blurred_.png      64 x 64,  RGBA, linear: soft Gaussian blob; rgb = a
//   floating01.png     128 x 128, RGBA, sRGB:   round bokeh disc, bright rim
//   floating01_b.png   128 x 128, RGBA, sRGB:   hexagonal bokeh, softer
//   s0_line_.png       256 x 64,  RGBA, linear: line cross-section; x runs
//                                               along the line, y across it
//   s1_line_.png       256 x 64,  RGBA, linear: the same profile, 8 dashes
//   noise.png          256 x 256, RGB,  sRGB:   white noise per channel,
//                                               uniform 0..1 after decoding
//   vig.png            256 x 256, RGB,  sRGB:   vignette, 1 in the middle
//                                               to about 0.3 in the corners
//   txttt.png         1280 x 1440, RGBA, sRGB:  two 1280 x 720 pages, white
//                                               on transparent: rows 0-719
//                                               title, rows 720-1439 credits
//   logo_stack_3_.png 1024 x 768, RGBA, linear: three 1024 x 256 bands:
//                                               logo, its glow, its outline
//   fs01.png          1280 x 1440, RGBA, sRGB:  two pages: strand title,
//                                               greetings
//   fs02.png          1280 x 720,  RGBA, sRGB:  closing page
// Sprites and the logo are transparent along their whole border, the line
// images along their long edges, so that repeat wrapping and mipmaps do not
// bleed the opposite edge in.

struct TextureSpec {
    const char* name;  // file name in data/seq1
    int width;         // pixels
    int height;        // pixels
    int channels;      // 3 or 4
};

// The twelve textures in the order they are written.
const std::vector<TextureSpec>& textureSpecs();

// True when the name's base name ends in "_" (the engine reads it linear).
bool isLinearName(const std::string& name);

// Fonts used for text, read from the system's font files.
struct Fonts {
    std::vector<uint8_t> bold;
    std::vector<uint8_t> regular;
};

// Renders one texture by name. False (with a message) for an unknown name or
// when text is needed and a font cannot be read.
bool renderTexture(const TextureSpec& spec, const Fonts& fonts, Image8& out);

// ---------------------------------------------------------------------------
// Night sky cube maps. Face texel (column i, row j) lies at the GL cube-map
// coordinates s = (i + 0.5) / size, t = (j + 0.5) / size of its face.

// Direction (unit length) through face coordinates s, t in 0..1.
Vec3 cubeDirection(int face, float s, float t);
// Sky radiance along a unit direction, without the stars.
Vec3 skyBackground(Vec3 direction);
// The sharp map: background plus the star band, size pixels per face.
CubeMap renderSky(int size, int threadCount);
// Box-filters every face down by an integer factor.
CubeMap downsampleCube(const CubeMap& source, int factor);
// Convolves with a normalised lobe max(0, cos)^exponent over the sphere
// (exponent 1 gives diffuse irradiance divided by pi).
CubeMap convolveCube(const CubeMap& source, int outputSize, int exponent,
                     int threadCount);

// ---------------------------------------------------------------------------
// Sky dome: a UV sphere of radius 1 in the 3DS chunk format.

// The whole file's bytes. segments around the pole axis, rings pole to pole.
std::vector<uint8_t> buildSkyDome3ds(int segments, int rings);
