// The production's 21 programs in data/seq1: each must compile and link, on
// Mesa and in the Khronos reference compiler (which holds a program to the
// GLSL 3.30 rules that desktop drivers apply, whatever Mesa lets through),
// and declare only inputs that its passes set, with the types they set them
// as (a sampler left 2D where a cube map is bound samples nothing). Programs
// drawn with the full-screen quad must not read "texcoord" or "normal": the
// quad's buffer holds positions only.
#include "assets/shader.h"
#include "gl_context.h"
#include "program_run.h"

#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Geometry { ScreenQuad, DomeMesh, Sprites, Segments };

struct Input {
    GLenum type;
    int count;  // array length the pass uploads; 1 for plain values
};

struct ProgramInputs {
    const char* file;
    Geometry geometry;
    std::map<std::string, Input> uniforms;
};

const std::string seq1 = std::string(QUILLON_SOURCE_DIR) + "/data/seq1";

std::map<std::string, Input> with(std::map<std::string, Input> base,
                                  const std::map<std::string, Input>& more)
{
    base.insert(more.begin(), more.end());
    return base;
}

const std::map<std::string, Input> camera = {
    {"proj", {GL_FLOAT_MAT4, 1}}, {"view", {GL_FLOAT_MAT4, 1}},
    {"viewproj", {GL_FLOAT_MAT4, 1}}, {"eyePos", {GL_FLOAT_VEC3, 1}},
    {"nview", {GL_FLOAT_MAT3, 1}}, {"tview", {GL_FLOAT_MAT4, 1}},
};

Input tracks(int count) { return {GL_FLOAT, count}; }
const Input flt = {GL_FLOAT, 1};
const Input tex2d = {GL_SAMPLER_2D, 1};
const Input cube = {GL_SAMPLER_CUBE, 1};

// What the passes set on each program: names, GL types and array lengths.
std::vector<ProgramInputs> productionPrograms()
{
    const auto sprites = with(camera, {{"pSize", flt}, {"time", flt},
                                       {"Texture0", tex2d}, {"Texture1", tex2d},
                                       {"Texture2", cube}, {"Texture3", tex2d}});
    const auto sphere = with(camera, {{"pSize", flt}, {"time", flt},
                                      {"Texture0", cube}, {"Texture1", cube},
                                      {"Texture2", tex2d}, {"Texture3", tex2d},
                                      {"Texture4", cube}});
    const auto strand = with(camera, {{"pSize", flt}, {"time", flt}, {"size_mix", flt},
                                      {"tracks", tracks(32)}});
    const auto segment = with(camera, {{"grow", flt}, {"linesize", flt}, {"t", flt},
                                       {"max_radius", flt}, {"Texture0", tex2d}});
    const auto wire = with(camera, {{"exponent", flt}, {"a", flt},
                                    {"pos2", {GL_FLOAT_VEC3, 1}}, {"size_mul", flt},
                                    {"Texture0", cube}});
    const auto toneMap = std::map<std::string, Input>{
        {"tracks", tracks(64)}, {"t", flt}, {"Texture0", tex2d}, {"Texture1", tex2d},
        {"Texture2", tex2d}, {"Texture3", tex2d}, {"Texture4", tex2d}, {"Texture5", tex2d}};
    return {
        {"blit.glsl", Geometry::ScreenQuad, {{"Texture0", tex2d}}},
        {"gblur.glsl", Geometry::ScreenQuad,
         {{"Texture0", tex2d}, {"cut_off", flt}, {"flip", {GL_INT, 1}}, {"tx", flt},
          {"ty", flt}, {"taps", {GL_INT, 1}}, {"dir", {GL_FLOAT_VEC2, 1}},
          {"weights", {GL_FLOAT, 64}}}},
        {"tonemap1.glsl", Geometry::ScreenQuad, toneMap},
        {"tonemap.glsl", Geometry::ScreenQuad, toneMap},
        {"morska.glsl", Geometry::ScreenQuad,
         {{"tracks", tracks(64)}, {"flip", {GL_INT, 1}}, {"Texture0", tex2d}}},
        {"vantle.glsl", Geometry::ScreenQuad,
         {{"tracks", tracks(64)}, {"flip", {GL_INT, 1}}, {"Texture0", tex2d},
          {"Texture1", tex2d}}},
        {"skybox_c.glsl", Geometry::DomeMesh,
         with(camera, {{"exponent", flt}, {"tracks", tracks(32)},
                       {"Texture0", cube}, {"Texture1", cube}})},
        {"skybox2.glsl", Geometry::DomeMesh, wire},
        {"edges.glsl", Geometry::DomeMesh, with(wire, {{"edges", flt}})},
        {"bg_particles.glsl", Geometry::Sprites, with(sprites, {{"tracks", tracks(32)}})},
        {"dust.glsl", Geometry::Sprites, with(sprites, {{"tracks", tracks(32)}})},
        {"dust_explo.glsl", Geometry::Sprites, with(sprites, {{"tracks", tracks(64)}})},
        {"sphere_2.glsl", Geometry::Sprites,
         with(sphere, {{"tracks", tracks(32)}, {"size_mix", flt}})},
        {"sphere_low.glsl", Geometry::Sprites, with(sphere, {{"tracks", tracks(64)}})},
        {"hd_dna_vao_pre.glsl", Geometry::Sprites, strand},
        {"hd_dna_vao.glsl", Geometry::Sprites, strand},
        {"static_logo.glsl", Geometry::Sprites,
         with(camera, {{"time", flt}, {"tracks", tracks(32)}, {"Texture0", tex2d},
                       {"Texture1", cube}, {"Texture2", tex2d}})},
        {"line_c.glsl", Geometry::Segments,
         with(segment, {{"tracks", tracks(64)}, {"Texture1", tex2d}})},
        {"amen.glsl", Geometry::Segments, with(segment, {{"tracks", tracks(64)}})},
        {"line_s.glsl", Geometry::Segments, with(segment, {{"tracks", tracks(32)}})},
        {"dash101.glsl", Geometry::Segments,
         with(segment, {{"tracks", tracks(32)}, {"aa", flt}})},
    };
}

// The vertex attributes each kind of geometry feeds; the first is the one
// that must sit at location 0 (compatibility contexts draw nothing without
// an array at location 0 on some drivers).
std::vector<std::string> attributesOf(Geometry geometry)
{
    switch (geometry) {
    case Geometry::ScreenQuad: return {"position"};
    case Geometry::DomeMesh: return {"position", "texcoord", "normal"};
    case Geometry::Sprites: return {"position", "texcoord"};
    case Geometry::Segments: return {"p0", "p1", "texcoord", "texcoord2"};
    }
    return {};
}

std::string stripArraySuffix(std::string name)
{
    auto bracket = name.find('[');
    return bracket == std::string::npos ? name : name.substr(0, bracket);
}

// Loads the directory through the registry once per process, as the
// production does, and keeps what the loading printed.
class ProductionShaders : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (loaded || !ensureTestGLContext())
            return;
        loaded = true;
        loadLog = captureConsole([] { addShaderDirectory(seq1.c_str()); });
        loadError = glGetError();
    }

    void SetUp() override
    {
        if (!loaded)
            GTEST_SKIP() << "no GL context";
    }

    static GLuint programOf(const char* file)
    {
        int32_t index = findShader(file);
        if (index < 0 || shaderRegistry.shaders[size_t(index)].program < 0)
            return 0;
        return GLuint(shaderRegistry.shaders[size_t(index)].program);
    }

    static inline bool loaded = false;
    static inline std::string loadLog;
    static inline GLenum loadError = GL_NO_ERROR;
};

} // namespace

TEST_F(ProductionShaders, EveryProgramLinksWithoutGLError)
{
    EXPECT_EQ(loadLog.find("could not load shader"), std::string::npos) << loadLog;
    EXPECT_EQ(loadLog.find("[shader]compile"), std::string::npos) << loadLog;
    EXPECT_EQ(loadError, GLenum(GL_NO_ERROR));

    std::set<std::string> listed;
    for (const LinkedShader& shader : shaderRegistry.shaders)
        listed.insert(shader.name);
    std::set<std::string> expected;
    for (const auto& inputs : productionPrograms()) {
        expected.insert(inputs.file);
        EXPECT_NE(programOf(inputs.file), 0u) << inputs.file;
    }
    EXPECT_EQ(listed, expected);
}

TEST_F(ProductionShaders, ProgramsReadOnlyWhatTheirPassesSet)
{
    for (const auto& inputs : productionPrograms()) {
        GLuint program = programOf(inputs.file);
        ASSERT_NE(program, 0u) << inputs.file;

        GLint count = 0;
        glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
        for (GLint i = 0; i < count; ++i) {
            char name[256] = {};
            GLint size = 0;
            GLenum type = 0;
            glGetActiveUniform(program, i, sizeof name, nullptr, &size, &type, name);
            std::string base = stripArraySuffix(name);
            auto expected = inputs.uniforms.find(base);
            if (expected == inputs.uniforms.end()) {
                ADD_FAILURE() << inputs.file << " reads \"" << base << "\", which its passes never set";
                continue;
            }
            EXPECT_EQ(type, expected->second.type) << inputs.file << " \"" << base << "\"";
            EXPECT_LE(size, expected->second.count) << inputs.file << " \"" << base << "\"";
        }

        const auto allowed = attributesOf(inputs.geometry);
        glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
        EXPECT_GE(count, 1) << inputs.file;
        for (GLint i = 0; i < count; ++i) {
            char name[256] = {};
            GLint size = 0;
            GLenum type = 0;
            glGetActiveAttrib(program, i, sizeof name, nullptr, &size, &type, name);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), std::string(name)), allowed.end())
                << inputs.file << " reads attribute \"" << name << "\"";
        }
        EXPECT_EQ(glGetAttribLocation(program, allowed.front().c_str()), 0) << inputs.file;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << inputs.file;
    }
}

TEST_F(ProductionShaders, QuadProgramsDeclareNoTexcoordOrNormal)
{
    // Declared at all, not only read: a later edit that starts reading a
    // declared attribute would fetch past the quad's buffer.
    const std::regex declaration(R"(\bin\s+\w+\s+(texcoord|normal)\b)");
    for (const auto& inputs : productionPrograms()) {
        if (inputs.geometry != Geometry::ScreenQuad)
            continue;
        std::string vertex, fragment;
        splitShaderSource(readFile(seq1 + "/" + inputs.file), vertex, fragment);
        ASSERT_FALSE(fragment.empty()) << inputs.file;
        EXPECT_FALSE(std::regex_search(vertex, declaration)) << inputs.file;
    }
}

TEST_F(ProductionShaders, ReferenceCompilerAcceptsAndLinksEveryProgram)
{
    ASSERT_EQ(std::system("command -v glslangValidator > /dev/null"), 0)
        << "glslangValidator missing: install glslang-tools (scripts/setup does)";
    const fs::path dir = fs::temp_directory_path() / ("quillon_glslang_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const auto& inputs : productionPrograms()) {
        std::string vertex, fragment;
        splitShaderSource(readFile(seq1 + "/" + inputs.file), vertex, fragment);
        const std::string base = fs::path(inputs.file).stem().string();
        const fs::path vert = dir / (base + ".vert");
        const fs::path frag = dir / (base + ".frag");
        std::ofstream(vert) << vertex;
        std::ofstream(frag) << fragment;
        const Ran ran = runProgram({"glslangValidator", {"-l", vert, frag}});
        EXPECT_EQ(ran.status, 0) << inputs.file << ":\n" << ran.out << ran.err;
    }
    fs::remove_all(dir);
}
