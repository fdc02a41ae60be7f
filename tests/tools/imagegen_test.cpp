// Tests of quillon-imagegen: runs the built tool twice into temporary
// directories and checks what it wrote, decoding with the same libraries the
// engine uses (stb_image, assimp) and the GL cube-map conventions.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture.h"
#include "gl_context.h"
#include "program_run.h"

namespace {

namespace fs = std::filesystem;

struct ExpectedTexture {
    const char* name;
    int width;
    int height;
    int channels;
};

// What the shaders rely on: sizes, channel counts, and alpha where blended.
const ExpectedTexture expectedTextures[] = {
    {"p_sharp_.png", 64, 64, 4},       {"p_blurred_.png", 64, 64, 4},
    {"floating01.png", 128, 128, 4},   {"floating01_b.png", 128, 128, 4},
    {"s0_line_.png", 256, 64, 4},      {"s1_line_.png", 256, 64, 4},
    {"noise.png", 256, 256, 3},        {"vig.png", 256, 256, 3},
    {"txttt.png", 1280, 1440, 4},      {"logo_stack_3_.png", 1024, 768, 4},
    {"fs01.png", 1280, 1440, 4},       {"fs02.png", 1280, 720, 4},
};

struct ExpectedCube {
    const char* directory;
    int size;
};
const ExpectedCube expectedCubes[] = {{"env", 32}, {"spec", 128}, {"fine_ref512", 512}};
const char faceLetters[] = "rludbf";  // +X, -X, +Y, -Y, +Z, -Z

std::vector<std::string> expectedFiles()
{
    std::vector<std::string> files;
    for (const ExpectedTexture& t : expectedTextures) {
        files.push_back(std::string("seq1/") + t.name);
    }
    for (const ExpectedCube& c : expectedCubes) {
        for (int f = 0; f < 6; ++f) {
            files.push_back(std::string("seq1/") + c.directory + "/sky_" + faceLetters[f] + ".hdr");
        }
    }
    files.push_back("tovel3/scene4/skydome.3DS");
    return files;
}

// Runs the tool with the given arguments, what it prints (the files written
// on stdout, failures on stderr) in a log file; its exit status.
int runTool(const std::vector<std::string>& arguments, const fs::path& log)
{
    return runProgram({.path = QUILLON_BINARY_DIR "/tools/imagegen/quillon-imagegen", .arguments = arguments,
                       .output = log, .errors = log})
        .status;
}

struct Rgb {
    float r = 0.0f, g = 0.0f, b = 0.0f;
};

struct HdrFace {
    int size = 0;
    std::vector<float> rgb;
    Rgb at(int x, int y) const
    {
        const float* p = &rgb[(static_cast<size_t>(y) * size + x) * 3];
        return {p[0], p[1], p[2]};
    }
};
using HdrCube = std::array<HdrFace, 6>;

// The GL cube-map table: which face a direction selects and where on it.
void selectFace(const float d[3], int& face, float& s, float& t)
{
    float ax = std::fabs(d[0]), ay = std::fabs(d[1]), az = std::fabs(d[2]);
    float ma, sc, tc;
    if (ax >= ay && ax >= az) {
        face = d[0] > 0 ? 0 : 1;
        ma = ax;
        sc = d[0] > 0 ? -d[2] : d[2];
        tc = -d[1];
    } else if (ay >= az) {
        face = d[1] > 0 ? 2 : 3;
        ma = ay;
        sc = d[0];
        tc = d[1] > 0 ? d[2] : -d[2];
    } else {
        face = d[2] > 0 ? 4 : 5;
        ma = az;
        sc = d[2] > 0 ? d[0] : -d[0];
        tc = -d[1];
    }
    s = 0.5f * (sc / ma + 1.0f);
    t = 0.5f * (tc / ma + 1.0f);
}

// Inverse of the table for one face; s and t may lie outside 0..1.
void faceDirection(int face, float s, float t, float d[3])
{
    float sc = 2.0f * s - 1.0f, tc = 2.0f * t - 1.0f;
    const float table[6][3] = {{1, -tc, -sc}, {-1, -tc, sc}, {sc, 1, tc},
                               {sc, -1, -tc}, {sc, -tc, 1},  {-sc, -tc, -1}};
    float length = std::sqrt(table[face][0] * table[face][0] + table[face][1] * table[face][1]
                             + table[face][2] * table[face][2]);
    for (int i = 0; i < 3; ++i) {
        d[i] = table[face][i] / length;
    }
}

// The texel that GL samples (nearest) for a direction.
Rgb sampleCube(const HdrCube& cube, const float d[3])
{
    int face;
    float s, t;
    selectFace(d, face, s, t);
    int size = cube[face].size;
    int x = std::clamp(static_cast<int>(std::floor(s * size)), 0, size - 1);
    int y = std::clamp(static_cast<int>(std::floor(t * size)), 0, size - 1);
    return cube[face].at(x, y);
}

float maxChannelDifference(Rgb a, Rgb b)
{
    return std::max({std::fabs(a.r - b.r), std::fabs(a.g - b.g), std::fabs(a.b - b.b)});
}

float solidAngle(int x, int y, int size)
{
    float sc = 2.0f * (x + 0.5f) / size - 1.0f, tc = 2.0f * (y + 0.5f) / size - 1.0f;
    float r2 = 1.0f + sc * sc + tc * tc;
    return 4.0f / (static_cast<float>(size) * size) / (r2 * std::sqrt(r2));
}

// Solid-angle weighted mean over the faces picked by `faces` (bit f for face
// f), optionally weighted by max(0, cos) to a normal: the cosine-weighted
// mean is irradiance over pi.
Rgb weightedMean(const HdrCube& cube, int faces = 0x3f, const float* normal = nullptr)
{
    double r = 0, g = 0, b = 0, w = 0;
    for (int f = 0; f < 6; ++f) {
        if (!(faces & (1 << f))) {
            continue;
        }
        const HdrFace& face = cube[f];
        for (int y = 0; y < face.size; ++y) {
            for (int x = 0; x < face.size; ++x) {
                double a = solidAngle(x, y, face.size);
                if (normal != nullptr) {
                    float d[3];
                    faceDirection(f, (x + 0.5f) / face.size, (y + 0.5f) / face.size, d);
                    a *= std::max(0.0f, d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2]);
                }
                Rgb c = face.at(x, y);
                r += a * c.r;
                g += a * c.g;
                b += a * c.b;
                w += a;
            }
        }
    }
    return {static_cast<float>(r / w), static_cast<float>(g / w), static_cast<float>(b / w)};
}

// Radiance HDR shares one exponent per pixel, so precision follows the
// brightest channel: the tolerance does too.
void expectClose(Rgb actual, Rgb expected, float relative)
{
    float tolerance = relative * std::max({expected.r, expected.g, expected.b});
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

class ImageGen : public ::testing::Test {
protected:
    static fs::path data() { return fs::path(QUILLON_SOURCE_DIR) / "data"; }

    static bool loadCube(const char* directory, HdrCube& cube)
    {
        for (int f = 0; f < 6; ++f) {
            std::string path = (data() / "seq1" / directory / (std::string("sky_") + faceLetters[f] + ".hdr")).string();
            if (!stbi_is_hdr(path.c_str())) {
                return false;
            }
            int w = 0, h = 0, n = 0;
            float* pixels = stbi_loadf(path.c_str(), &w, &h, &n, 0);
            if (pixels == nullptr || w != h || n != 3) {
                stbi_image_free(pixels);
                return false;
            }
            cube[f].size = w;
            cube[f].rgb.assign(pixels, pixels + static_cast<size_t>(w) * h * 3);
            stbi_image_free(pixels);
        }
        return true;
    }

};

TEST_F(ImageGen, TwoRunsWriteTheSameBytesAsTheBuildAndReportEveryFile)
{
    const ScratchDir scratch("imagegen");
    const fs::path& root = scratch.dir;
    ASSERT_EQ(runTool({(root / "a").string()}, root / "a.log"), 0);
    ASSERT_EQ(runTool({(root / "b").string()}, root / "b.log"), 0);
    std::vector<std::string> files = expectedFiles();
    for (const std::string& file : files) {
        ASSERT_TRUE(fs::is_regular_file(root / "a" / file)) << file;
        std::string first = readFile(root / "a" / file);
        EXPECT_FALSE(first.empty()) << file;
        EXPECT_TRUE(first == readFile(root / "b" / file)) << file << " differs between runs";
        EXPECT_TRUE(first == readFile(data() / file)) << file << " in data/ is missing or stale";
    }
    // Nothing else is left behind (no temporary files).
    size_t written = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root / "a")) {
        written += entry.is_regular_file();
    }
    EXPECT_EQ(written, files.size());
    // One line per file written, naming it.
    std::istringstream log(readFile(root / "a.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines.size(), files.size());
    for (const std::string& file : files) {
        std::string path = (root / "a" / file).string();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.find(path) != std::string::npos; }),
                  1)
            << file;
    }
}

TEST_F(ImageGen, BadArgumentsFailWithAMessage)
{
    const ScratchDir scratch("imagegen");
    EXPECT_NE(runTool({}, scratch.dir / "none.log"), 0);
    EXPECT_EQ(readFile(scratch.dir / "none.log"), "usage: quillon-imagegen <data directory>\n");

    // A data directory that is a plain file cannot hold the output.
    fs::path blocked = scratch.dir / "blocked";
    std::ofstream(blocked) << "x";
    EXPECT_NE(runTool({blocked.string()}, scratch.dir / "blocked.log"), 0);
    EXPECT_NE(readFile(scratch.dir / "blocked.log").find("cannot create"), std::string::npos);
}

TEST_F(ImageGen, TexturesDecodeWithTheirSizesChannelsAndAlpha)
{
    for (const ExpectedTexture& t : expectedTextures) {
        SCOPED_TRACE(t.name);
        std::string path = (data() / "seq1" / t.name).string();
        int w = 0, h = 0, n = 0;
        unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &n, 0);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(w, t.width);
        EXPECT_EQ(h, t.height);
        EXPECT_EQ(n, t.channels);
        EXPECT_FALSE(stbi_is_hdr(path.c_str()));
        if (n == 4) {
            int transparent = 0, strongest = 0;
            for (int i = 0; i < w * h; ++i) {
                transparent += pixels[i * 4 + 3] == 0;
                strongest = std::max<int>(strongest, pixels[i * 4 + 3]);
            }
            EXPECT_GT(transparent, 0) << "alpha never clears";
            EXPECT_GE(strongest, 160) << "the shape is too faint";
        }
        stbi_image_free(pixels);
    }
}

// Sprites and the logo are drawn with repeat wrapping and mipmaps: a border
// that is not transparent would bleed in from the opposite side.
TEST_F(ImageGen, SpritesLinesAndLogoFadeOutAtTheirBorders)
{
    for (const char* name : {"p_sharp_.png", "p_blurred_.png", "floating01.png", "floating01_b.png",
                             "logo_stack_3_.png", "s0_line_.png", "s1_line_.png"}) {
        SCOPED_TRACE(name);
        bool isLine = std::string(name).find("_line_") != std::string::npos;
        int w = 0, h = 0, n = 0;
        unsigned char* pixels = stbi_load((data() / "seq1" / name).string().c_str(), &w, &h, &n, 4);
        ASSERT_NE(pixels, nullptr);
        int maxBorder = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bool longEdge = y == 0 || y == h - 1;
                bool border = longEdge || (!isLine && (x == 0 || x == w - 1));
                if (border) {
                    maxBorder = std::max<int>(maxBorder, pixels[(y * w + x) * 4 + 3]);
                }
            }
        }
        EXPECT_LE(maxBorder, 1);
        if (isLine) {
            // The profile peaks in the middle of the cross-section.
            EXPECT_GE(pixels[((h / 2) * w + 4) * 4 + 3], 240);
        }
        stbi_image_free(pixels);
    }
}

// noise.png and vig.png are read through sRGB decoding: what matters is the
// decoded linear value.
TEST_F(ImageGen, GrainAndVignetteHoldTheirValuesAfterSrgbDecoding)
{
    auto decode = [](unsigned char v) {
        float c = v / 255.0f;
        return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
    };
    int w = 0, h = 0, n = 0;
    unsigned char* noise = stbi_load((data() / "seq1" / "noise.png").string().c_str(), &w, &h, &n, 3);
    ASSERT_NE(noise, nullptr);
    std::array<double, 3> sum{};
    std::array<int, 4> quarters{};
    for (int i = 0; i < w * h; ++i) {
        for (int c = 0; c < 3; ++c) {
            float v = decode(noise[i * 3 + c]);
            sum[c] += v;
            quarters[std::min(3, static_cast<int>(v * 4.0f))]++;
        }
    }
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(sum[c] / (w * h), 0.5, 0.02) << "channel " << c;
    }
    for (int q = 0; q < 4; ++q) {
        EXPECT_NEAR(quarters[q] / (3.0 * w * h), 0.25, 0.02) << "quarter " << q;
    }
    stbi_image_free(noise);

    unsigned char* vig = stbi_load((data() / "seq1" / "vig.png").string().c_str(), &w, &h, &n, 3);
    ASSERT_NE(vig, nullptr);
    float centre = decode(vig[((h / 2) * w + w / 2) * 3]);
    float corner = decode(vig[0]);
    float edge = decode(vig[((h / 2) * w) * 3]);
    EXPECT_GT(centre, 0.97f);
    EXPECT_LT(corner, 0.45f);
    EXPECT_GT(edge, corner);
    EXPECT_LT(edge, centre);
    stbi_image_free(vig);
}

// Every page of the overlays and the logo's bands carry something visible.
TEST_F(ImageGen, EveryOverlayPageAndLogoBandHasContent)
{
    struct Paged {
        const char* name;
        int pages;
    };
    for (Paged p : {Paged{"txttt.png", 2}, Paged{"fs01.png", 2}, Paged{"fs02.png", 1},
                    Paged{"logo_stack_3_.png", 3}}) {
        SCOPED_TRACE(p.name);
        int w = 0, h = 0, n = 0;
        unsigned char* pixels = stbi_load((data() / "seq1" / p.name).string().c_str(), &w, &h, &n, 4);
        ASSERT_NE(pixels, nullptr);
        int pageHeight = h / p.pages;
        for (int page = 0; page < p.pages; ++page) {
            int covered = 0, edgeCovered = 0;
            for (int y = page * pageHeight; y < (page + 1) * pageHeight; ++y) {
                bool pageEdge = y == page * pageHeight || y == (page + 1) * pageHeight - 1;
                for (int x = 0; x < w; ++x) {
                    int a = pixels[(y * w + x) * 4 + 3];
                    covered += a > 128;
                    edgeCovered += pageEdge && a > 0;
                }
            }
            EXPECT_GT(covered, w * pageHeight / 200) << "page " << page;
            EXPECT_EQ(edgeCovered, 0) << "page " << page << " runs into its neighbour";
        }
        stbi_image_free(pixels);
    }
}

TEST_F(ImageGen, CubeMapsHaveSixSquareHdrFacesOfOneSize)
{
    for (const ExpectedCube& c : expectedCubes) {
        SCOPED_TRACE(c.directory);
        HdrCube cube;
        ASSERT_TRUE(loadCube(c.directory, cube));
        for (const HdrFace& face : cube) {
            EXPECT_EQ(face.size, c.size);
            for (float v : face.rgb) {
                ASSERT_TRUE(std::isfinite(v) && v >= 0.0f);
            }
        }
    }
}

// Across each shared edge, the texel GL samples on the other face must
// continue this face: the step over the edge may be no larger than the steps
// between neighbouring texels on either side (stars make those large; the
// smooth sky keeps them tiny) plus a small tolerance.
TEST_F(ImageGen, CubeMapFacesMeetWithoutSeams)
{
    for (const ExpectedCube& c : expectedCubes) {
        SCOPED_TRACE(c.directory);
        HdrCube cube;
        ASSERT_TRUE(loadCube(c.directory, cube));
        int size = c.size;
        int bad = 0, checked = 0;
        float worst = 0.0f;
        for (int face = 0; face < 6; ++face) {
            for (int edge = 0; edge < 4; ++edge) {
                // The texel centre at `depth` texels into the face from the
                // edge (negative: beyond it, on the neighbouring face), at
                // position k along the edge.
                auto at = [&](float k, float depth) {
                    float along = (k + 0.5f) / size, across = depth / size;
                    float s = edge == 0 ? across : edge == 1 ? 1.0f - across : along;
                    float t = edge == 2 ? across : edge == 3 ? 1.0f - across : along;
                    float d[3];
                    faceDirection(face, s, t, d);
                    return sampleCube(cube, d);
                };
                for (int k = 0; k < size; ++k) {
                    Rgb inside = at(k, 0.5f), outside = at(k, -0.5f);
                    float step = maxChannelDifference(inside, outside);
                    float local = 0.0f;
                    for (float depth : {0.5f, -0.5f}) {
                        Rgb centre = at(k, depth);
                        float deeper = depth > 0.0f ? depth + 1.0f : depth - 1.0f;
                        local = std::max({local, maxChannelDifference(centre, at(k, deeper)),
                                          maxChannelDifference(centre, at(k - 1, depth)),
                                          maxChannelDifference(centre, at(k + 1, depth))});
                    }
                    float scale = std::max({inside.r, inside.g, inside.b});
                    float allowed = 2.0f * local + 0.004f + 0.03f * scale;
                    ++checked;
                    if (step > allowed) {
                        ++bad;
                        worst = std::max(worst, step - allowed);
                    }
                }
            }
        }
        EXPECT_EQ(bad, 0) << "of " << checked << " edge texels; worst excess " << worst;
    }
}

GLuint compileProgram(const char* vertex, const char* fragment)
{
    GLuint program = glCreateProgram();
    for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vertex}, std::pair{GL_FRAGMENT_SHADER, fragment}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked ? program : 0;
}

// The face table the tests above use is GL's own: cube maps loaded by the
// engine and sampled by GL (nearest texel) give the texel the table picks.
TEST_F(ImageGen, GlSamplesTheTexelTheFaceTablePicks)
{
    if (!ensureTestGLContext()) {
        GTEST_SKIP() << "no GL context";
    }
    HdrCube cube;
    ASSERT_TRUE(loadCube("spec", cube));
    std::string directory = (data() / "seq1" / "spec").string();
    GLuint cubeTexture = 0;
    captureConsole([&] { cubeTexture = loadHdrCubeMap(directory.c_str()); });
    ASSERT_NE(cubeTexture, 0u);

    // Directions well inside a texel of one face, so nearest sampling is unambiguous.
    const int width = 64, height = 32;
    std::vector<float> directions;
    std::vector<Rgb> expected;
    for (uint32_t i = 0; expected.size() < static_cast<size_t>(width * height); ++i) {
        uint32_t h = i * 2654435761u;
        float d[3];
        for (int c = 0; c < 3; ++c) {
            h ^= h >> 15;
            h *= 0x2c1b3c6du;
            h ^= h >> 12;
            d[c] = static_cast<float>(h & 0xffff) / 32768.0f - 1.0f;
        }
        float sorted[3] = {std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])};
        std::sort(sorted, sorted + 3);
        if (sorted[2] < 0.1f || sorted[2] - sorted[1] < 0.02f) {
            continue;
        }
        int face;
        float s, t;
        selectFace(d, face, s, t);
        float fs = s * cube[face].size, ft = t * cube[face].size;
        auto nearBoundary = [](float v) { return std::fabs(v - std::round(v)) < 0.1f; };
        if (nearBoundary(fs) || nearBoundary(ft)) {
            continue;
        }
        directions.insert(directions.end(), d, d + 3);
        expected.push_back(sampleCube(cube, d));
    }

    GLuint directionTexture = 0, target = 0, framebuffer = 0, vertexArray = 0;
    glGenTextures(1, &directionTexture);
    glBindTexture(GL_TEXTURE_2D, directionTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB32F, width, height, 0, GL_RGB, GL_FLOAT, directions.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));

    GLuint program = compileProgram(
        "#version 330\n"
        "void main() { vec2 p = vec2((gl_VertexID & 1) * 4 - 1, (gl_VertexID & 2) * 2 - 1);"
        " gl_Position = vec4(p, 0.0, 1.0); }\n",
        "#version 330\n"
        "uniform sampler2D directions; uniform samplerCube sky; out vec4 colour;\n"
        "void main() { vec3 d = texelFetch(directions, ivec2(gl_FragCoord.xy), 0).xyz;"
        " colour = vec4(textureLod(sky, d, 0.0).rgb, 1.0); }\n");
    ASSERT_NE(program, 0u);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, directionTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubeTexture);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glUniform1i(glGetUniformLocation(program, "directions"), 0);
    glUniform1i(glGetUniformLocation(program, "sky"), 1);
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glViewport(0, 0, width, height);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    std::vector<float> sampled(static_cast<size_t>(width) * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, sampled.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    int mismatches = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        Rgb gl{sampled[i * 4], sampled[i * 4 + 1], sampled[i * 4 + 2]};
        mismatches += maxChannelDifference(gl, expected[i]) > 1e-5f;
    }
    EXPECT_EQ(mismatches, 0) << "of " << expected.size();

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteProgram(program);
    glDeleteFramebuffers(1, &framebuffer);
    GLuint textures[3] = {directionTexture, target, cubeTexture};
    glDeleteTextures(3, textures);
}

// The sky stands upright in GL's frame: +Y is the zenith, the warm glow lies
// on the horizon, and the ground side is the darkest.
TEST_F(ImageGen, SkyIsUprightInGlCubeMapSpace)
{
    HdrCube cube;
    ASSERT_TRUE(loadCube("spec", cube));
    auto mean = [](const HdrFace& f) {
        Rgb m;
        for (size_t i = 0; i < f.rgb.size(); i += 3) {
            m.r += f.rgb[i];
            m.g += f.rgb[i + 1];
            m.b += f.rgb[i + 2];
        }
        float n = static_cast<float>(f.rgb.size() / 3);
        return Rgb{m.r / n, m.g / n, m.b / n};
    };
    Rgb up = mean(cube[2]), down = mean(cube[3]);
    EXPECT_GT(up.b, up.g) << "zenith is indigo";
    EXPECT_GT(up.b, down.b);
    float warmest = -1.0f, warmestHeight = 0.0f;
    for (int face = 0; face < 6; ++face) {
        int size = cube[face].size;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                Rgb v = cube[face].at(x, y);
                if (v.r - v.b > warmest) {
                    float d[3];
                    faceDirection(face, (x + 0.5f) / size, (y + 0.5f) / size, d);
                    warmest = v.r - v.b;
                    warmestHeight = d[1];
                }
            }
        }
    }
    EXPECT_GT(warmest, 1.0f) << "the glow is bright enough to bloom";
    EXPECT_LT(std::fabs(warmestHeight), 0.1f);
}

// The glossy and diffuse maps are filtered copies of the sharp map, in the
// same orientation: filtering keeps the mean of the whole sky, the glossy
// lobe is narrow enough to keep each face's mean, and the diffuse map holds
// the sharp map's irradiance.
TEST_F(ImageGen, BlurredMapsAreFilteredCopiesOfTheSharpMap)
{
    HdrCube sharp, glossy, diffuse;
    ASSERT_TRUE(loadCube("fine_ref512", sharp));
    ASSERT_TRUE(loadCube("spec", glossy));
    ASSERT_TRUE(loadCube("env", diffuse));
    Rgb reference = weightedMean(sharp);
    expectClose(weightedMean(glossy), reference, 0.02f);
    expectClose(weightedMean(diffuse), reference, 0.02f);
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(std::string("face ") + faceLetters[f]);
        expectClose(weightedMean(glossy, 1 << f), weightedMean(sharp, 1 << f), 0.03f);
        // Face centres lie between the four middle texels.
        int half = diffuse[f].size / 2;
        Rgb a = diffuse[f].at(half - 1, half - 1), b = diffuse[f].at(half, half - 1);
        Rgb c = diffuse[f].at(half - 1, half), d = diffuse[f].at(half, half);
        Rgb centre{(a.r + b.r + c.r + d.r) / 4, (a.g + b.g + c.g + d.g) / 4, (a.b + b.b + c.b + d.b) / 4};
        float normal[3];
        faceDirection(f, 0.5f, 0.5f, normal);
        expectClose(centre, weightedMean(sharp, 0x3f, normal), 0.03f);
    }

    // Irradiance changes slowly: between neighbouring texels of a 32-texel
    // face (at most 3.6 degrees apart) by a small fraction of the brightest
    // irradiance. A map filtered with a much narrower lobe steps several
    // times further at the horizon glow.
    float brightest = 0.0f, steepest = 0.0f;
    for (const HdrFace& face : diffuse) {
        for (int y = 0; y < face.size; ++y) {
            for (int x = 0; x < face.size; ++x) {
                Rgb v = face.at(x, y);
                brightest = std::max({brightest, v.r, v.g, v.b});
                if (x + 1 < face.size) {
                    steepest = std::max(steepest, maxChannelDifference(v, face.at(x + 1, y)));
                }
                if (y + 1 < face.size) {
                    steepest = std::max(steepest, maxChannelDifference(v, face.at(x, y + 1)));
                }
            }
        }
    }
    EXPECT_LT(steepest, 0.08f * brightest);
}

constexpr unsigned engineImportFlags = aiProcess_CalcTangentSpace | aiProcess_JoinIdenticalVertices
                                        | aiProcess_Triangulate | aiProcess_PreTransformVertices
                                        | aiProcess_SortByPType | aiProcess_OptimizeMeshes;

TEST_F(ImageGen, SkyDomeImportsAsASmoothOutwardFacingSphere)
{
    std::string path = (data() / "tovel3" / "scene4" / "skydome.3DS").string();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, engineImportFlags);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_GE(scene->mNumMeshes, 1u);
    const aiMesh* mesh = scene->mMeshes[0];
    ASSERT_TRUE(mesh->HasNormals());
    ASSERT_TRUE(mesh->HasTangentsAndBitangents());
    ASSERT_TRUE(mesh->HasTextureCoords(0));
    EXPECT_FALSE(mesh->HasTextureCoords(1));
    EXPECT_GT(mesh->mNumFaces, 1000u) << "round in wireframe";
    EXPECT_LT(mesh->mNumVertices, 65536u);
    for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
        const aiVector3D& p = mesh->mVertices[i];
        const aiVector3D& n = mesh->mNormals[i];
        ASSERT_NEAR(p.Length(), 1.0f, 1e-4f) << "vertex " << i;
        ASSERT_NEAR(n.Length(), 1.0f, 1e-3f) << "vertex " << i;
        // Smooth normals on a sphere point along the radius.
        ASSERT_GT(n * p, 0.995f) << "vertex " << i;
        const aiVector3D& uv = mesh->mTextureCoords[0][i];
        ASSERT_TRUE(uv.x >= 0.0f && uv.x <= 1.0f && uv.y >= 0.0f && uv.y <= 1.0f);
        ASSERT_GT(mesh->mTangents[i].Length(), 0.5f) << "vertex " << i;
        // v follows the latitude: the poles lie on the up axis, so wire
        // spheres stand upright and the texture runs pole to pole.
        ASSERT_NEAR(uv.y, 0.5f + std::asin(std::clamp(p.y, -1.0f, 1.0f)) / 3.14159265f, 1e-3f)
            << "vertex " << i;
    }
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        ASSERT_EQ(mesh->mFaces[f].mNumIndices, 3u);
    }
}

TEST_F(ImageGen, EngineLoadsTheSkyDomeAsComplete)
{
    if (!ensureTestGLContext()) {
        GTEST_SKIP() << "no GL context";
    }
    std::string path = (data() / "tovel3" / "scene4" / "skydome.3DS").string();
    Mesh mesh;
    bool loaded = false;
    std::string console = captureConsole([&] { loaded = loadMeshFile(path.c_str(), mesh); });
    EXPECT_TRUE(loaded);
    EXPECT_EQ(console.find("Invalid Meshfile"), std::string::npos) << console;
    EXPECT_GT(mesh.triangleCount, 0);
    EXPECT_EQ(console, "[mesh]" + path + " added [v" + std::to_string(mesh.vertexCount) + " t"
                           + std::to_string(3 * mesh.triangleCount) + "]\n");
}

}  // namespace
