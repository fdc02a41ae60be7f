// Shared set-up of the scene tests: a Demo built under a hidden GL context,
// with small stand-in shader programs (written here, one per program name the
// scenes use) instead of the production's, the sky dome replaced by a quad,
// and track values that switch every pass on.
#pragma once

#include <GL/glew.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/demo.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "gl_context.h"

namespace scenetest {

namespace fs = std::filesystem;

enum class Kind { Screen, Mesh, Sprite, Segment };

struct StandInProgram {
    const char* name;
    Kind kind;
    const char* samplers;  // one letter per unit from 0: '2' 2D, 'c' cube, '-' none
};

// Every program the two scenes and the blur make current.
inline const std::vector<StandInProgram>& standInPrograms()
{
    static const std::vector<StandInProgram> programs = {
        {"skybox_c.glsl", Kind::Mesh, "cc"},
        {"blit.glsl", Kind::Screen, "2"},
        {"bg_particles.glsl", Kind::Sprite, "22c2"},
        {"dust.glsl", Kind::Sprite, "22c2"},
        {"dust_explo.glsl", Kind::Sprite, "22c2"},
        {"skybox2.glsl", Kind::Mesh, "c"},
        {"edges.glsl", Kind::Mesh, "c"},
        {"sphere_2.glsl", Kind::Sprite, "cc22c"},
        {"sphere_low.glsl", Kind::Sprite, "cc22c"},
        {"hd_dna_vao_pre.glsl", Kind::Sprite, ""},
        {"hd_dna_vao.glsl", Kind::Sprite, ""},
        {"line_c.glsl", Kind::Segment, "22"},
        {"amen.glsl", Kind::Segment, "2"},
        {"line_s.glsl", Kind::Segment, "2"},
        {"dash101.glsl", Kind::Segment, "2"},
        {"static_logo.glsl", Kind::Sprite, "2c2"},
        {"tonemap1.glsl", Kind::Screen, "222222"},
        {"tonemap.glsl", Kind::Screen, "222222"},
        {"morska.glsl", Kind::Screen, "2"},
        {"vantle.glsl", Kind::Screen, "22"},
        {"gblur.glsl", Kind::Screen, "2"},
    };
    return programs;
}

inline std::string vertexSource(Kind kind)
{
    const std::string head =
        "#version 120\nuniform mat4 viewproj;\nuniform float tracks[64];\nuniform float pSize;\n";
    switch (kind) {
    case Kind::Screen:
        return head + "attribute vec4 position;\n"
                      "void main() { gl_Position = vec4(position.xy, 0.0, 1.0); }\n";
    case Kind::Mesh:
        return head + "attribute vec4 position;\nuniform vec3 pos2;\nuniform float size_mul;\n"
                      "void main() { gl_Position = viewproj * vec4(position.xyz * (1.0 + size_mul)"
                      " * 20.0 + pos2, 1.0); }\n";
    case Kind::Sprite:
        return head + "attribute vec4 position;\nattribute vec2 texcoord;\n"
                      "void main() { vec4 c = viewproj * vec4(position.xyz, 1.0);\n"
                      "  gl_Position = c + vec4((texcoord - 0.5) * 0.01 * pSize * c.w + position.w * 0.0 + "
                      "tracks[0] * 0.0, 0.0, 0.0); }\n";
    case Kind::Segment:
        return head + "attribute vec3 p0;\nattribute vec3 p1;\nattribute vec2 texcoord;\n"
                      "attribute vec2 texcoord2;\n"
                      "void main() { vec3 p = mix(p0, p1, texcoord.x);\n"
                      "  vec4 c = viewproj * vec4(p, 1.0);\n"
                      "  gl_Position = c + vec4(0.0, texcoord.y * 0.005 * c.w + "
                      "texcoord2.x * 0.0, 0.0, 0.0); }\n";
    }
    return head;
}

inline std::string fragmentSource(const char* samplers)
{
    std::string declarations = "uniform float tracks[64];\n";
    std::string sum = "vec4 s = vec4(0.0);\n";
    for (int unit = 0; samplers[unit]; ++unit) {
        const std::string name = "Texture" + std::to_string(unit);
        if (samplers[unit] == '2') {
            declarations += "uniform sampler2D " + name + ";\n";
            sum += "s += texture2D(" + name + ", vec2(0.5));\n";
        } else if (samplers[unit] == 'c') {
            declarations += "uniform samplerCube " + name + ";\n";
            sum += "s += textureCube(" + name + ", vec3(0.0, 0.0, 1.0));\n";
        }
    }
    return "#version 120\n" + declarations + "void main() {\n" + sum +
           "gl_FragColor = vec4(0.25, 0.2, 0.15, 0.5) + s * 0.001 + tracks[1] * 0.0;\n}\n";
}

// Writes the stand-in programs, except those named in skip, into dir.
inline void writeTestShaders(const fs::path& dir, const std::set<std::string>& skip = {})
{
    fs::create_directories(dir);
    for (const StandInProgram& program : standInPrograms()) {
        if (skip.count(program.name)) continue;
        std::ofstream out(dir / program.name, std::ios::binary);
        out << vertexSource(program.kind) << "//FRAGMENT\n" << fragmentSource(program.samplers);
    }
}

// A fresh folder for this test process's shaders.
inline fs::path testShaderDirectory()
{
    return fs::temp_directory_path() / ("quillon_scene_shaders_" + std::to_string(::getpid()));
}

// Builds the Demo with the stand-in programs; false without a GL context.
inline bool buildTestDemo(Demo& demo, const std::set<std::string>& skipPrograms = {})
{
    if (!ensureTestGLContext(1280, 720)) return false;
    createQuadMesh(screenQuad0);
    createQuadMesh(screenQuad1);
    // A quad stands in for the sky dome: every pass that draws the dome draws two triangles.
    createQuadMesh(skyMesh);
    buildDemo(demo);
    const fs::path dir = testShaderDirectory();
    fs::remove_all(dir);
    writeTestShaders(dir, skipPrograms);
    addShaderDirectory(dir.string().c_str());
    fs::remove_all(dir);
    glGetError();
    return true;
}

// Track values with every pass of both scenes on and a camera that sees the scene.
inline std::vector<float> allPassesOn()
{
    std::vector<float> t(64, 0.0f);
    t[1] = 0.0f;     // eye (free mode)
    t[2] = 800.0f;
    t[3] = 3500.0f;
    t[7] = 60.0f;    // field of view, degrees
    t[10] = 2.0f;    // exponent
    t[11] = 1.0f;    // overlay of the second scene
    t[13] = 1.0f;    // logo
    t[15] = 9.0f;    // graph nodes spread out to ten times their radius
    t[16] = -1.0f;   // all graph nodes
    t[17] = 283.0f;  // twist angle, degrees
    t[25] = 2000.0f; // near distance
    t[27] = 1.0f;    // links of the first scene
    t[30] = 1.0f;    // rays to the rim
    t[31] = 20.0f;   // shell radius 2000
    t[32] = 1.0f;    // wire shell
    t[33] = 1.0f;    // rim spheres
    t[34] = 300.0f;  // dust explosion radius
    t[36] = 1.0f;    // dust explosion
    t[38] = 60.0f;   // crossing threshold
    t[39] = 60.0f;   // inner threshold
    return t;
}

} // namespace scenetest
