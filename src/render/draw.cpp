#include "render/draw.h"

#include <cstdio>

#include <glm/gtc/type_ptr.hpp>

#include "assets/texture.h"

namespace {

constexpr int32_t textureUnits = 9;
const char* const samplerNames[textureUnits] = {"Texture0", "Texture1", "Texture2",
                                                  "Texture3", "Texture4", "Texture5",
                                                  "Texture6", "Texture7", "Texture8"};

GLuint currentProgram()
{
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return static_cast<GLuint>(program);
}

// Binds the mesh, points every block the program declares (and the mesh
// holds) at its attribute, draws indexCount indices, and disables the arrays.
template <size_t N>
void drawBlocks(const Mesh& mesh, const VertexBlock (&blocks)[N], int64_t indexCount)
{
    if (mesh.vertexBuffer == 0 || mesh.indexBuffer == 0 || indexCount <= 0) return;
    const GLuint program = currentProgram();
    glBindBuffer(GL_ARRAY_BUFFER, mesh.vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh.indexBuffer);
    GLint enabled[N];
    const size_t v = static_cast<size_t>(mesh.vertexCount);
    for (size_t i = 0; i < N; ++i) {
        enabled[i] = -1;
        if (program == 0) continue;
        const GLint location = glGetAttribLocation(program, blocks[i].name);
        if (location < 0) continue;
        // A block past the end of the buffer (the full-screen quad holds
        // positions only) would make GL read outside it.
        if (blocks[i].floatsBefore + blocks[i].components > mesh.floatsPerVertex) continue;
        const size_t offset = v * static_cast<size_t>(blocks[i].floatsBefore) * sizeof(float);
        glEnableVertexAttribArray(static_cast<GLuint>(location));
        glVertexAttribPointer(static_cast<GLuint>(location), blocks[i].components, GL_FLOAT,
                              GL_FALSE, 0, reinterpret_cast<const void*>(offset));
        enabled[i] = location;
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount), mesh.indexType, nullptr);
    ++drawCounters.draws;
    if (drawCounters.countWireEdges) {
        GLint mode[2] = {GL_FILL, GL_FILL};
        glGetIntegerv(GL_POLYGON_MODE, mode);
        // Every triangle of the draw becomes its three edges.
        if (mode[0] == GL_LINE) drawCounters.wireEdges += indexCount;
    }
    for (size_t i = 0; i < N; ++i)
        if (enabled[i] >= 0) glDisableVertexAttribArray(static_cast<GLuint>(enabled[i]));
}

int32_t clampQuads(const Mesh& batch, int32_t quadCount)
{
    const int32_t capacity = drawdetail::quadCapacity(batch);
    if (quadCount < 0) return 0;
    return quadCount < capacity ? quadCount : capacity;
}

// Writes, for every block, the range of the first quadCount quads into the
// live buffer. The buffer is not orphaned: re-allocating the 9.6 MB segment
// batch costs about a millisecond a frame on Mesa, while every pass ends with
// a read-back that has already waited for earlier draws; and quads past the
// count keep what they held, as drawQuads of an untouched batch expects.
template <size_t N>
void uploadBlocks(Mesh& batch, const VertexBlock (&blocks)[N], int32_t quadCount)
{
    if (batch.vertexBuffer == 0) return;
    const size_t v = static_cast<size_t>(batch.vertexCount);
    const size_t total = v * static_cast<size_t>(batch.floatsPerVertex);
    if (batch.vertexData.size() < total) return;
    quadCount = clampQuads(batch, quadCount);
    glBindBuffer(GL_ARRAY_BUFFER, batch.vertexBuffer);
    const size_t used = static_cast<size_t>(quadCount) * 4;
    for (size_t i = 0; i < N && used > 0; ++i) {
        const size_t first = v * static_cast<size_t>(blocks[i].floatsBefore);
        const size_t count = used * static_cast<size_t>(blocks[i].components);
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * sizeof(float)),
                        static_cast<GLsizeiptr>(count * sizeof(float)),
                        batch.vertexData.data() + first);
        drawCounters.bytesUploaded += static_cast<int64_t>(count * sizeof(float));
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void setTextureParameters(GLenum target, GLint wrap, GLint minFilter, GLint magFilter)
{
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_R, wrap);
}

}  // namespace

DrawCounters drawCounters;

namespace drawdetail {
int32_t quadCapacity(const Mesh& batch) { return batch.vertexCount / 4; }
}  // namespace drawdetail

GLint findUniform(const char* name)
{
    const GLuint program = currentProgram();
    if (program == 0) return -1;
    return glGetUniformLocation(program, name);
}

void setUniformFloat(const char* name, float value)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniform1f(location, value);
}

void setUniformInt(const char* name, int32_t value)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniform1i(location, value);
}

void setUniformVec2(const char* name, float x, float y)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniform2f(location, x, y);
}

void setUniformVec3(const char* name, float x, float y, float z)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniform3f(location, x, y, z);
}

void setUniformMat3(const char* name, const glm::mat3& value)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniformMatrix3fv(location, 1, GL_FALSE, glm::value_ptr(value));
}

void setUniformMat4(const char* name, const glm::mat4& value)
{
    const GLint location = findUniform(name);
    if (location != -1) glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(value));
}

void setUniformFloatArray(const char* name, const float* values, int32_t count)
{
    const GLint location = findUniform(name);
    if (location != -1 && count > 0) glUniform1fv(location, count, values);
}

bool bindSamplerTexture(int32_t unit, GLenum textureTarget, uint32_t texture)
{
    if (unit < 0 || unit >= textureUnits) return false;
    const GLint location = findUniform(samplerNames[unit]);
    if (location == -1) return false;
    glUniform1i(location, unit);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(textureTarget, texture);
    return true;
}

void bindTexture0(uint32_t texture)
{
    if (!bindSamplerTexture(0, GL_TEXTURE_2D, texture) || texture == 0) return;
    setTextureParameters(GL_TEXTURE_2D, GL_REPEAT, GL_LINEAR, GL_LINEAR);
}

void bindTexture2D(int32_t unit, uint32_t texture, GLint minFilter)
{
    if (texture == 0 || !bindSamplerTexture(unit, GL_TEXTURE_2D, texture)) return;
    setTextureParameters(GL_TEXTURE_2D, GL_CLAMP_TO_EDGE, minFilter, GL_LINEAR);
}

void bindCubeTexture(int32_t unit, uint32_t texture, GLint wrap, GLint minFilter)
{
    if (texture == 0 || !bindSamplerTexture(unit, GL_TEXTURE_CUBE_MAP, texture)) return;
    setTextureParameters(GL_TEXTURE_CUBE_MAP, wrap, minFilter, GL_LINEAR);
}

void bindLibraryTexture(const char* name, int32_t unit, GLint wrap, GLint minFilter,
                        GLint magFilter)
{
    const uint32_t texture = findTexture(name);
    if (texture == 0 || !bindSamplerTexture(unit, GL_TEXTURE_2D, texture)) return;
    setTextureParameters(GL_TEXTURE_2D, wrap, minFilter, magFilter);
}

void drawMesh(const Mesh& mesh)
{
    drawBlocks(mesh, importedLayout, 3 * static_cast<int64_t>(mesh.triangleCount));
}

void drawQuads(const Mesh& batch, int32_t quadCount)
{
    drawBlocks(batch, spriteLayout, 6 * static_cast<int64_t>(clampQuads(batch, quadCount)));
}

void drawSegments(const Mesh& batch, int32_t quadCount)
{
    const int32_t quads = clampQuads(batch, quadCount);
    drawBlocks(batch, segmentLayout, 6 * static_cast<int64_t>(quads));
    if (batch.vertexBuffer != 0 && batch.indexBuffer != 0) drawCounters.segments += quads;
}

void uploadQuadBatch(Mesh& batch, int32_t quadCount)
{
    uploadBlocks(batch, spriteLayout, quadCount);
}

void uploadSegmentBatch(Mesh& batch, int32_t quadCount)
{
    uploadBlocks(batch, segmentLayout, quadCount);
}
