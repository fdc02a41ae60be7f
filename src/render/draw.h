// Drawing and binding helpers. None selects a program: the caller makes one
// current, and every helper asks GL for the current program and looks each
// uniform, attribute and sampler up by name at the call; a name the program
// lacks (location -1) is skipped silently. Nothing is cached, nothing owned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <GL/glew.h>
#include <glm/glm.hpp>

#include "assets/mesh.h"

// --- uniforms on the current program, skipped when absent ---

// Location of a uniform in the current program; -1 when none is current or it is absent.
GLint findUniform(const char* name);
void setUniformFloat(const char* name, float value);
void setUniformInt(const char* name, int32_t value);
void setUniformVec2(const char* name, float x, float y);
void setUniformVec3(const char* name, float x, float y, float z);
void setUniformMat3(const char* name, const glm::mat3& value);  // column-major, untransposed
void setUniformMat4(const char* name, const glm::mat4& value);  // column-major, untransposed
// A float array uniform such as "tracks" (32 or 64 values) or "weights".
void setUniformFloatArray(const char* name, const float* values, int32_t count);

// --- textures ---

// Binds texture to unit 0..8 on the given GL target and points the unit's
// sampler "TextureN" at it. False (nothing touched) when the unit is out of
// range or the current program has no such sampler; the caller then sets the
// texture parameters only when true. Callers that skip texture 0 check it first.
bool bindSamplerTexture(int32_t unit, GLenum textureTarget, uint32_t texture);
// Unit 0, wrap GL_REPEAT, linear filtering; texture 0 unbinds the unit.
void bindTexture0(uint32_t texture);
// Wrap GL_CLAMP_TO_EDGE, the given minification, linear magnification.
void bindTexture2D(int32_t unit, uint32_t texture, GLint minFilter);
// Cube map with the given wrap on S, T, R, the given minification, linear magnification.
void bindCubeTexture(int32_t unit, uint32_t texture, GLint wrap, GLint minFilter);
// A library texture by file name ("could not find tex: %s" when absent).
void bindLibraryTexture(const char* name, int32_t unit, GLint wrap, GLint minFilter,
                        GLint magFilter);

// --- meshes and batches ---

// Whole mesh: "position" 4, "texcoord" 2, "normal" 3 where the mesh holds them.
void drawMesh(const Mesh& mesh);
// First quadCount quads of a sprite batch as its GL buffer holds them.
void drawQuads(const Mesh& batch, int32_t quadCount);
// First quadCount quads of a segment batch: "p0", "p1", "texcoord", "texcoord2".
void drawSegments(const Mesh& batch, int32_t quadCount);

// Sends the first quadCount quads of a sprite batch's vertexData to GL (the
// used range of each block); quads past quadCount keep what GL held.
void uploadQuadBatch(Mesh& batch, int32_t quadCount);
// Same for a segment batch.
void uploadSegmentBatch(Mesh& batch, int32_t quadCount);

// Writes values[i] (anything with x, y, z, w) into quad i for i below count
// (-1 for all; limited to the list and the batch), uploads and draws them.
template <class Vec>
void drawQuadList(Mesh& batch, const std::vector<Vec>& values, int32_t count = -1);
// Quad i gets values[indices[i]], for as many quads as the smaller list holds
// (an index past the end of values leaves its quad as it was); uploads and draws.
template <class Vec, class Index>
void drawIndexedQuadList(Mesh& batch, const std::vector<Vec>& values,
                         const std::vector<Index>& indices);

// --- what the helpers sent to GL ---

// Counts kept by the drawing helpers since the caller last zeroed them, for
// the frame benchmark's per-frame figures. Process-wide; plain increments,
// so keeping them costs nothing measurable and changes no frame.
struct DrawCounters {
    int64_t draws = 0;          // draw calls
    int64_t segments = 0;       // segment quads drawn: smooth line segments
    int64_t bytesUploaded = 0;  // vertex bytes written into batch buffers
    int64_t wireEdges = 0;      // triangle edges drawn as lines (polygon mode GL_LINE)
    bool countWireEdges = false;  // asks GL the polygon mode at every draw: benchmarks only
};
extern DrawCounters drawCounters;

// --- template bodies ---

namespace drawdetail {
int32_t quadCapacity(const Mesh& batch);
}

template <class Vec>
void drawQuadList(Mesh& batch, const std::vector<Vec>& values, int32_t count)
{
    int32_t k = static_cast<int32_t>(values.size());
    if (count >= 0 && count < k) k = count;
    const int32_t capacity = drawdetail::quadCapacity(batch);
    if (k > capacity) k = capacity;
    for (int32_t i = 0; i < k; ++i) {
        const Vec& v = values[static_cast<size_t>(i)];
        setQuad(batch, i, v.x, v.y, v.z, v.w);
    }
    uploadQuadBatch(batch, k);
    drawQuads(batch, k);
}

template <class Vec, class Index>
void drawIndexedQuadList(Mesh& batch, const std::vector<Vec>& values,
                         const std::vector<Index>& indices)
{
    size_t n = values.size() < indices.size() ? values.size() : indices.size();
    const size_t capacity = static_cast<size_t>(drawdetail::quadCapacity(batch));
    if (n > capacity) n = capacity;
    for (size_t i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(indices[i]);
        if (at >= values.size()) continue;
        const Vec& v = values[at];
        setQuad(batch, static_cast<int32_t>(i), v.x, v.y, v.z, v.w);
    }
    uploadQuadBatch(batch, static_cast<int32_t>(n));
    drawQuads(batch, static_cast<int32_t>(n));
}
