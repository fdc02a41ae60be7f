// The production's 21 programs in data/seq1: each must compile and link, and
// declare only inputs that its passes set, with the types they set them as
// (a sampler left 2D where a cube map is bound samples nothing). Programs
// drawn with the full-screen quad must not read "texcoord" or "normal": the
// quad's buffer holds positions only.
#include "gl_context.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum class Geometry { ScreenQuad, DomeMesh, Sprites, Segments };

struct Input {
    GLenum type;
    int count;  // array length the pass uploads; 1 for plain values
};

struct ProgramSpec {
    const char* file;
    Geometry geometry;
    std::map<std::string, Input> uniforms;
};

const std::string seq1 = std::string(QUILLON_SOURCE_DIR) + "/data/seq1/";

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
std::vector<ProgramSpec> productionPrograms()
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

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Vertex stage up to the line "//FRAGMENT", fragment stage after it.
bool splitStages(const std::string& text, std::string& vertex, std::string& fragment)
{
    std::istringstream lines(text);
    std::string line;
    bool inFragment = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!inFragment && line == "//FRAGMENT") {
            inFragment = true;
            continue;
        }
        (inFragment ? fragment : vertex) += line + "\n";
    }
    return inFragment;
}

GLuint compileStage(GLenum type, const std::string& source, std::string& log)
{
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char buffer[4096] = {};
        glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
        log += buffer;
    }
    return shader;
}

// Links the file's two stages; 0 and a log when it fails.
GLuint buildProgram(const std::string& path, std::string& log)
{
    std::string vertex, fragment;
    if (!splitStages(readFile(path), vertex, fragment)) {
        log = "no //FRAGMENT line";
        return 0;
    }
    GLuint vs = compileStage(GL_VERTEX_SHADER, vertex, log);
    GLuint fs = compileStage(GL_FRAGMENT_SHADER, fragment, log);
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char buffer[4096] = {};
        glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
        log += buffer;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

std::string stripArraySuffix(std::string name)
{
    auto bracket = name.find('[');
    return bracket == std::string::npos ? name : name.substr(0, bracket);
}

class ProductionShaders : public testing::Test {
protected:
    void SetUp() override
    {
        if (!ensureTestGLContext())
            GTEST_SKIP() << "no GL context";
    }
};

} // namespace

TEST_F(ProductionShaders, EveryProgramLinksWithoutGLError)
{
    std::set<std::string> listed;
    for (const auto& entry : std::filesystem::directory_iterator(seq1))
        if (entry.path().extension() == ".glsl")
            listed.insert(entry.path().filename().string());
    std::set<std::string> expected;
    for (const auto& spec : productionPrograms())
        expected.insert(spec.file);
    EXPECT_EQ(listed, expected);

    for (const auto& spec : productionPrograms()) {
        std::string log;
        GLuint program = buildProgram(seq1 + spec.file, log);
        EXPECT_NE(program, 0u) << spec.file << ":\n" << log;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << spec.file;
        if (program)
            glDeleteProgram(program);
    }
}

TEST_F(ProductionShaders, ProgramsReadOnlyWhatTheirPassesSet)
{
    for (const auto& spec : productionPrograms()) {
        std::string log;
        GLuint program = buildProgram(seq1 + spec.file, log);
        ASSERT_NE(program, 0u) << spec.file << ":\n" << log;

        GLint count = 0;
        glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
        for (GLint i = 0; i < count; ++i) {
            char name[256] = {};
            GLint size = 0;
            GLenum type = 0;
            glGetActiveUniform(program, i, sizeof name, nullptr, &size, &type, name);
            std::string base = stripArraySuffix(name);
            auto expected = spec.uniforms.find(base);
            if (expected == spec.uniforms.end()) {
                ADD_FAILURE() << spec.file << " reads \"" << base << "\", which its passes never set";
                continue;
            }
            EXPECT_EQ(type, expected->second.type) << spec.file << " \"" << base << "\"";
            EXPECT_LE(size, expected->second.count) << spec.file << " \"" << base << "\"";
        }

        const auto allowed = attributesOf(spec.geometry);
        glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
        EXPECT_GE(count, 1) << spec.file;
        for (GLint i = 0; i < count; ++i) {
            char name[256] = {};
            GLint size = 0;
            GLenum type = 0;
            glGetActiveAttrib(program, i, sizeof name, nullptr, &size, &type, name);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), std::string(name)), allowed.end())
                << spec.file << " reads attribute \"" << name << "\"";
        }
        EXPECT_EQ(glGetAttribLocation(program, allowed.front().c_str()), 0) << spec.file;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << spec.file;
        glDeleteProgram(program);
    }
}

TEST_F(ProductionShaders, QuadProgramsDeclareNoTexcoordOrNormal)
{
    // Declared at all, not only read: a later edit that starts reading a
    // declared attribute would fetch past the quad's buffer.
    const std::regex declaration(R"(\bin\s+\w+\s+(texcoord|normal)\b)");
    for (const auto& spec : productionPrograms()) {
        if (spec.geometry != Geometry::ScreenQuad)
            continue;
        std::string vertex, fragment;
        ASSERT_TRUE(splitStages(readFile(seq1 + spec.file), vertex, fragment)) << spec.file;
        EXPECT_FALSE(std::regex_search(vertex, declaration)) << spec.file;
    }
}
