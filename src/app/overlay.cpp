#include "app/overlay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <GL/glew.h>

#include "assets/shader.h"
#include "render/draw.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace {

constexpr float glyphScale = 2.0f;    // stb_easy_font pixels to drawable pixels
constexpr float margin = 10.0f;       // pixels from the corner, in font pixels
constexpr size_t bytesPerVertex = 16;  // x, y, z floats and four colour bytes
constexpr size_t vertexCapacity = 120000;  // about 30000 glyph quads
const unsigned char textColour[4] = {255, 240, 200, 255};
const unsigned char panelColour[4] = {0, 0, 0, 160};

const char* const vertexSource = R"(#version 330
in vec3 position;
in vec4 colour;
uniform vec2 viewport;
uniform float scale;
out vec4 tint;
void main()
{
    vec2 p = position.xy * scale / viewport;
    gl_Position = vec4(p.x * 2.0 - 1.0, 1.0 - p.y * 2.0, 0.0, 1.0);
    tint = colour;
}
)";

const char* const fragmentSource = R"(#version 330
in vec4 tint;
out vec4 fragColour;
void main()
{
    fragColour = tint;
}
)";

// Compiles one stage quietly: the deliverables print only their own lines,
// and these sources are fixed, so a failure just leaves the overlay blank.
GLuint compileQuietly(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

void createOverlayObjects(Overlay& overlay)
{
    const GLuint vertex = compileQuietly(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compileQuietly(GL_FRAGMENT_SHADER, fragmentSource);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    overlay.program = linked ? program : 0;
    overlay.vertices.assign(vertexCapacity * bytesPerVertex, 0);
    glGenBuffers(1, &overlay.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, overlay.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(overlay.vertices.size()), nullptr, GL_STREAM_DRAW);
}

// One quad of four vertices in stb_easy_font's layout at byte offset `at`.
size_t writePanel(std::vector<char>& vertices, size_t at, float x0, float y0, float x1, float y1)
{
    const float corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (const auto& corner : corners) {
        const float xyz[3] = {corner[0], corner[1], 0.0f};
        std::memcpy(vertices.data() + at, xyz, sizeof xyz);
        std::memcpy(vertices.data() + at + 12, panelColour, 4);
        at += bytesPerVertex;
    }
    return at;
}

void bindVertexAttribute(GLuint program, const char* name, GLint components, GLenum type,
                         GLboolean normalized, size_t offset)
{
    const GLint location = glGetAttribLocation(program, name);
    if (location < 0)
        return;
    glEnableVertexAttribArray(GLuint(location));
    glVertexAttribPointer(GLuint(location), components, type, normalized, GLsizei(bytesPerVertex),
                          reinterpret_cast<const void*>(offset));
}

void unbindVertexAttribute(GLuint program, const char* name)
{
    const GLint location = glGetAttribLocation(program, name);
    if (location >= 0)
        glDisableVertexAttribArray(GLuint(location));
}

// Appends printf-style text within capacity; the text stays terminated.
template <class... Args>
void append(char* text, size_t capacity, size_t& used, const char* format, Args... args)
{
    if (used + 1 >= capacity)
        return;
    const int n = snprintf(text + used, capacity - used, format, args...);
    if (n > 0)
        used = std::min(capacity - 1, used + size_t(n));
}

} // namespace

void formatOverlayText(const OverlayReadout& r, const std::vector<std::string>& timelineErrors,
                       const ShaderRegistry& shaders, char* text, size_t capacity)
{
    if (capacity == 0)
        return;
    text[0] = '\0';
    size_t used = 0;
    append(text, capacity, used, "%8.3f s   row %7.2f   ", r.musicTime, r.row);
    if (r.onBeatGrid)
        append(text, capacity, used, "bar %d:%.2f\n", r.bar, r.beat);
    else
        append(text, capacity, used, "bar -\n");
    append(text, capacity, used, "scene %d   camera %d   %s", r.scene, r.cameraMode,
           r.paused ? "paused" : "playing");
    if (r.slowdown > 1)
        append(text, capacity, used, " at 1/%d", r.slowdown);
    if (r.loopEnd >= 0.0)
        append(text, capacity, used, "   loop %.2f-%.2f %s\n", r.loopStart, r.loopEnd, r.looping ? "on" : "off");
    else
        append(text, capacity, used, "   loop %.2f-end %s\n", r.loopStart, r.looping ? "on" : "off");
    append(text, capacity, used, "frame %.1f ms\n", r.frameSeconds * 1000.0);
    for (const std::string& error : timelineErrors)
        append(text, capacity, used, "%s\n", error.c_str());
    for (const LinkedShader& shader : shaders.shaders)
        for (const std::string& error : shader.errors)
            append(text, capacity, used, "%s\n", error.c_str());
}

void drawOverlay(Overlay& overlay, int width, int height)
{
    if (!overlay.visible || width <= 0 || height <= 0)
        return;
    if (overlay.vertexBuffer == 0) {
        GLint previousBuffer = 0;
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
        createOverlayObjects(overlay);
        glBindBuffer(GL_ARRAY_BUFFER, GLuint(previousBuffer));
    }
    if (overlay.program == 0)
        return;

    // The panel first, then the glyphs over it, all in font pixels.
    const float panelWidth = float(stb_easy_font_width(overlay.text)) + 2.0f * margin / glyphScale;
    const float panelHeight = float(stb_easy_font_height(overlay.text)) + 2.0f * margin / glyphScale;
    const float origin = margin / glyphScale;
    size_t used = writePanel(overlay.vertices, 0, 0.0f, 0.0f, panelWidth, panelHeight);
    const int quads = stb_easy_font_print(origin, origin, overlay.text, const_cast<unsigned char*>(textColour),
                                          overlay.vertices.data() + used, int(overlay.vertices.size() - used));
    used += size_t(quads) * 4 * bytesPerVertex;

    // Over whatever the frame's last pass left: the window's own buffer,
    // no depth, alpha blending; the state it found is put back.
    GLint previousProgram = 0, previousBuffer = 0, previousFramebuffer = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousFramebuffer);
    const GLboolean blend = glIsEnabled(GL_BLEND);
    const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
    const GLboolean cullFace = glIsEnabled(GL_CULL_FACE);
    GLint blendSource = 0, blendDestination = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &blendSource);
    glGetIntegerv(GL_BLEND_DST_RGB, &blendDestination);

    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram(overlay.program);
    setUniformVec2("viewport", float(width), float(height));
    setUniformFloat("scale", glyphScale);
    glBindBuffer(GL_ARRAY_BUFFER, overlay.vertexBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(used), overlay.vertices.data());
    bindVertexAttribute(overlay.program, "position", 3, GL_FLOAT, GL_FALSE, 0);
    bindVertexAttribute(overlay.program, "colour", 4, GL_UNSIGNED_BYTE, GL_TRUE, 12);
    glDrawArrays(GL_QUADS, 0, GLsizei(used / bytesPerVertex));
    unbindVertexAttribute(overlay.program, "position");
    unbindVertexAttribute(overlay.program, "colour");

    glBindBuffer(GL_ARRAY_BUFFER, GLuint(previousBuffer));
    glUseProgram(GLuint(previousProgram));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(previousFramebuffer));
    glBlendFunc(GLenum(blendSource), GLenum(blendDestination));
    if (!blend) glDisable(GL_BLEND);
    if (depthTest) glEnable(GL_DEPTH_TEST);
    if (cullFace) glEnable(GL_CULL_FACE);
}
