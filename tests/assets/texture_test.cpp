#include "assets/texture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asset_files.h"
#include "gl_context.h"

namespace {

GLint internalFormatOf(GLenum target, GLenum face, GLuint texture)
{
    GLint format = 0;
    glBindTexture(target, texture);
    glGetTexLevelParameteriv(face, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    return format;
}

}  // namespace

TEST(TextureNames, UnderscoreBeforeTheExtensionMeansLinear)
{
    EXPECT_TRUE(isLinearTextureName("data/seq1/p_sharp_.png"));
    EXPECT_TRUE(isLinearTextureName("s0_line_.jpg"));
    EXPECT_FALSE(isLinearTextureName("data/seq1/noise.png"));
    EXPECT_FALSE(isLinearTextureName("floating01_b.png"));
    EXPECT_FALSE(isLinearTextureName("dir_/x.png"));
    EXPECT_FALSE(isLinearTextureName(""));
}

TEST(TextureNames, CubeFaceFromLastLetterOfBaseName)
{
    const char* names[] = {"sky_r.hdr", "sky_l.hdr", "sky_u.hdr", "sky_d.hdr", "sky_b.hdr",
                           "sky_f.hdr"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(cubeFaceIndex(names[i]), i) << names[i];
    EXPECT_EQ(cubeFaceIndex("sky_e.hdr"), -1);
    EXPECT_EQ(cubeFaceIndex("sky_R.hdr"), -1);
    EXPECT_EQ(cubeFaceIndex("env/r/sky.hdr"), -1);
}

class TextureGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext()) GTEST_SKIP() << "no GL context";
        textureLibrary = TextureLibrary{};
        dir = testfiles::makeTempDir("texture");
    }
    std::filesystem::path dir;
};

TEST(TextureDecoding, DamagedFilesOfEachKindAreRefusedWithoutHanging)
{
    // The production's own faces and sprites, whole and damaged.
    for (const char* name : {"data/seq1/env/sky_b.hdr", "data/seq1/fine_ref512/sky_u.hdr", "data/seq1/p_sharp_.png"}) {
        std::ifstream in(std::string(QUILLON_SOURCE_DIR) + "/" + name, std::ios::binary);
        const std::vector<unsigned char> whole((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(whole.size(), 1000u) << name;
        const bool face = std::string(name).find(".hdr") != std::string::npos;
        EXPECT_TRUE(imageBytesDecode(whole, face)) << name;
        // An HDR file short of its last byte; a PNG short of its image data
        // (stb_image does without the end chunk).
        for (size_t keep : {size_t(1000), whole.size() / 2, whole.size() - (face ? 1 : 200)}) {
            const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(keep));
            EXPECT_FALSE(imageBytesDecode(cut, face)) << name << " cut to " << keep;
        }
        std::vector<unsigned char> zeroed = whole;
        std::fill(zeroed.begin() + static_cast<long>(whole.size() / 3), zeroed.end(), 0);
        EXPECT_FALSE(imageBytesDecode(zeroed, face)) << name << " zero-filled";
        std::vector<unsigned char> random = whole;
        uint32_t state = 12345;
        for (size_t i = whole.size() / 2; i < random.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            random[i] = static_cast<unsigned char>(state >> 24);
        }
        imageBytesDecode(random, face);  // whatever it decodes to, it returns
    }
    const std::string huge = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 100000 +X 100000\n";
    EXPECT_FALSE(imageBytesDecode(std::vector<unsigned char>(huge.begin(), huge.end()), true));
    // A PNG header claiming 100000 x 100000 pixels.
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                      0, 1, 0x86, 0xa0, 0, 1, 0x86, 0xa0, 8, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(imageBytesDecode(png, false));
    EXPECT_FALSE(imageBytesDecode({}, false));
}

TEST_F(TextureGL, DirectoryLoadsPngThenHdrWithTheirFormats)
{
    testfiles::writeHdr(dir / "c.hdr", 4, 2, 1.0f, 2.0f, 3.0f);
    testfiles::writePng(dir / "b_.png", 2, 2, 3, {10, 20, 30});
    testfiles::writePng(dir / "a.png", 2, 2, 4, {1, 2, 3, 4});
    testfiles::writeText(dir / "broken.png", "\x89PNG\r\n\x1a\n not really");
    testfiles::writeText(dir / "skip.txt", "x");
    addTextureDirectory(dir.string().c_str());
    const std::string out = captureConsole([] { loadTextureDirectories(); });

    const std::string d = dir.string() + "/";
    EXPECT_EQ(out, "loaded texture:" + d + "a.png\n" +
                       d + "b_.png gets internalformat GL_RGBA\n" +
                       "loaded texture:" + d + "b_.png\n" +
                       "[texture]" + d + "broken.png is invalid\n" +
                       "load hrd = " + d + "c.hdr\n" +
                       "xyn = 4 2 3\n" +
                       "loaded texture:" + d + "c.hdr\n");
    ASSERT_EQ(textureLibrary.textures.size(), 3u);
    EXPECT_EQ(textureLibrary.textures[0].name, "a.png");
    EXPECT_EQ(textureLibrary.textures[1].name, "b_.png");
    EXPECT_EQ(textureLibrary.textures[2].name, "c.hdr");
    // Drivers report either the requested or the sized format.
    const GLint srgb = internalFormatOf(GL_TEXTURE_2D, GL_TEXTURE_2D, findTexture("a.png"));
    EXPECT_TRUE(srgb == GL_SRGB_ALPHA || srgb == GL_SRGB8_ALPHA8) << srgb;
    const GLint linear = internalFormatOf(GL_TEXTURE_2D, GL_TEXTURE_2D, findTexture("b_.png"));
    EXPECT_TRUE(linear == GL_RGBA || linear == GL_RGBA8) << linear;
    EXPECT_EQ(internalFormatOf(GL_TEXTURE_2D, GL_TEXTURE_2D, findTexture("c.hdr")), GL_RGB32F);

    // Three-channel rows are not 4-byte aligned at width 2; they must still read back intact.
    unsigned char pixels[2 * 2 * 4] = {0};
    glBindTexture(GL_TEXTURE_2D, findTexture("b_.png"));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(pixels[8], 10);
    EXPECT_EQ(pixels[9], 20);
    EXPECT_EQ(pixels[10], 30);

    std::string missing;
    missing = captureConsole([] { EXPECT_EQ(findTexture("A.PNG"), 0u); });
    EXPECT_EQ(missing, "could not find tex: A.PNG\n");
    missing = captureConsole([] { EXPECT_EQ(findTexture("broken.png"), 0u); });
    EXPECT_EQ(missing, "could not find tex: broken.png\n");
}

TEST_F(TextureGL, GreyImagesAreExpandedToRgba)
{
    testfiles::writePng(dir / "grey.png", 2, 2, 1, {200});
    testfiles::writePng(dir / "greyalpha_.png", 2, 2, 2, {50, 128});
    uint32_t grey = 0, greyAlpha = 0;
    captureConsole([&] {
        grey = loadTextureFile((dir / "grey.png").string().c_str());
        greyAlpha = loadTextureFile((dir / "greyalpha_.png").string().c_str());
    });
    ASSERT_NE(grey, invalidTexture);
    ASSERT_NE(greyAlpha, invalidTexture);
    unsigned char pixels[16] = {0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, greyAlpha);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    EXPECT_EQ(pixels[0], 50);
    EXPECT_EQ(pixels[1], 50);
    EXPECT_EQ(pixels[2], 50);
    EXPECT_EQ(pixels[3], 128);
    EXPECT_EQ(pixels[15], 128);
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, grey);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 2);
}

TEST_F(TextureGL, HdrIsRecognisedByContentNotExtension)
{
    testfiles::writeHdr(dir / "light.png", 2, 2, 5.0f, 5.0f, 5.0f);
    uint32_t texture = 0;
    const std::string path = (dir / "light.png").string();
    const std::string out = captureConsole([&] { texture = loadTextureFile(path.c_str()); });
    EXPECT_EQ(out, "load hrd = " + path + "\nxyn = 2 2 3\n");
    EXPECT_EQ(internalFormatOf(GL_TEXTURE_2D, GL_TEXTURE_2D, texture), GL_RGB32F);
}

TEST_F(TextureGL, CubeMapIgnoresUnknownLettersAndFillsMissingFaces)
{
    const char letters[] = "rludb";  // no "f" face
    for (int i = 0; i < 5; ++i)
        testfiles::writeHdr(dir / (std::string("env_") + letters[i] + ".hdr"), 4, 4,
                            static_cast<float>(i + 1), 0.0f, 0.0f);
    // An "e" face would fail to decode if it were ever read.
    testfiles::writeText(dir / "env_e.hdr", "#?RADIANCE\ngarbage");
    uint32_t cube = 0;
    const std::string out = captureConsole([&] { cube = loadHdrCubeMap(dir.string().c_str()); });
    EXPECT_EQ(out, "cube face f missing in " + dir.string() + "\n");
    ASSERT_NE(cube, 0u);
    EXPECT_EQ(internalFormatOf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X, cube),
              GL_RGB32F);
    // The missing face is complete and black, at the size of the others.
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4);
    float texel[4 * 4 * 3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_EQ(texel[0], 0.0f);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_Z, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_FLOAT_EQ(texel[0], 5.0f);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_NEGATIVE_X, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_FLOAT_EQ(texel[0], 2.0f);
}

TEST_F(TextureGL, BrokenCubeFaceIsReportedAndReplacedByBlack)
{
    const char letters[] = "rludbf";
    for (int i = 0; i < 6; ++i)
        testfiles::writeHdr(dir / (std::string("s") + letters[i] + ".hdr"), 2, 2, 1, 1, 1);
    testfiles::writeText(dir / "su.hdr", "#?RADIANCE\nbroken");
    uint32_t cube = 0;
    const std::string out = captureConsole([&] { cube = loadHdrCubeMap(dir.string().c_str()); });
    const std::string d = dir.string();
    EXPECT_EQ(out, "hdrtexture is fux00rd " + d + "/su.hdr\ncube face u missing in " + d + "\n");
    float texel[2 * 2 * 3] = {1};
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_EQ(texel[0], 0.0f);
}

TEST_F(TextureGL, GreyCubeFaceIsExpandedAndAMisfitFaceIsBlackOnItsOwn)
{
    // Five RGB faces 4x4, each with its own red value, and a grey PNG under
    // an .hdr name as face r: at the faces' size it is used, grey in RGB.
    const char letters[] = "rludbf";
    for (int i = 1; i < 6; ++i)
        testfiles::writeHdr(dir / (std::string("sky_") + letters[i] + ".hdr"), 4, 4,
                            static_cast<float>(i + 1), 0.5f, 0.25f);
    testfiles::writePng(dir / "sky_r.hdr", 4, 4, 1, {255});
    uint32_t cube = 0;
    std::string out = captureConsole([&] { cube = loadHdrCubeMap(dir.string().c_str()); });
    EXPECT_EQ(out, "");
    float texel[4 * 4 * 3] = {};
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_FLOAT_EQ(texel[0], 1.0f);
    EXPECT_FLOAT_EQ(texel[1], 1.0f);
    EXPECT_FLOAT_EQ(texel[47], 1.0f);

    // A 2048x2048 grey face among 4x4 ones: no read past its buffer, it is
    // black on its own and the other five are intact.
    testfiles::writePng(dir / "sky_r.hdr", 2048, 2048, 1, {128});
    out = captureConsole([&] { cube = loadHdrCubeMap(dir.string().c_str()); });
    EXPECT_EQ(out, "cube face r of " + dir.string() + " is 2048x2048, not 4x4\n");
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 4);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_RGB, GL_FLOAT, texel);
    EXPECT_EQ(texel[0], 0.0f);
    for (int i = 1; i < 6; ++i) {
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_RGB, GL_FLOAT, texel);
        EXPECT_FLOAT_EQ(texel[45], static_cast<float>(i + 1)) << letters[i];
        EXPECT_FLOAT_EQ(texel[46], 0.5f) << letters[i];
    }
}

// Decoding ahead on worker threads changes where the files are decoded, not
// what is printed or uploaded: the same lines in the same order, the same texels.
TEST_F(TextureGL, DecodingAheadPrintsAndUploadsAsBefore)
{
    const std::filesystem::path cube = dir / "cube";
    std::filesystem::create_directories(cube);
    const char letters[] = "rludbf";
    for (int i = 0; i < 6; ++i)
        testfiles::writeHdr(cube / (std::string("sky_") + letters[i] + ".hdr"), 4, 4,
                            static_cast<float>(i + 1), 0.5f, 0.25f);
    testfiles::writeText(cube / "sky_d.hdr", "#?RADIANCE\ngarbage");  // a broken face
    testfiles::writePng(dir / "a.png", 2, 2, 4, {1, 2, 3, 4});
    testfiles::writePng(dir / "grey_.png", 2, 2, 1, {200});
    testfiles::writeText(dir / "broken.png", "\x89PNG\r\n\x1a\n not really");
    testfiles::writeHdr(dir / "c.hdr", 4, 2, 1.0f, 2.0f, 3.0f);

    struct Loaded {
        std::string console;
        std::vector<float> cubeTexels;            // +X face, level 0
        std::vector<unsigned char> greyTexels;    // level 0
    };
    auto load = [&](bool ahead) {
        textureLibrary = TextureLibrary{};
        addTextureDirectory(dir.string().c_str());
        Loaded loaded;
        uint32_t cubeMap = 0;
        loaded.console = captureConsole([&] {
            if (ahead) beginTextureDecoding({cube.string()});
            cubeMap = loadHdrCubeMap(cube.string().c_str());
            loadTextureDirectories();
        });
        loaded.cubeTexels.resize(4 * 4 * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glBindTexture(GL_TEXTURE_CUBE_MAP, cubeMap);
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_RGB, GL_FLOAT, loaded.cubeTexels.data());
        loaded.greyTexels.resize(2 * 2 * 4);
        glBindTexture(GL_TEXTURE_2D, findTexture("grey_.png"));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, loaded.greyTexels.data());
        return loaded;
    };
    const Loaded plain = load(false);
    const Loaded ahead = load(true);
    EXPECT_NE(plain.console.find("hdrtexture is fux00rd"), std::string::npos) << plain.console;
    EXPECT_NE(plain.console.find("[texture]" + (dir / "broken.png").string() + " is invalid"),
              std::string::npos);
    EXPECT_EQ(ahead.console, plain.console);
    EXPECT_EQ(ahead.cubeTexels, plain.cubeTexels);
    EXPECT_EQ(ahead.greyTexels, plain.greyTexels);
    EXPECT_EQ(plain.cubeTexels[0], 1.0f);
    EXPECT_EQ(plain.greyTexels[0], 200);
}
