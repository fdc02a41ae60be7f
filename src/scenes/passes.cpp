#include "scenes/passes.h"

#include <cmath>

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include "app/demo.h"
#include "app/window.h"
#include "assets/camera.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "fx/node_cloud.h"
#include "render/draw.h"
#include "render/render_target.h"
#include "sync/track_names.h"

namespace {

constexpr float lineSize = 0.0425f;

} // namespace

void setTracks(const float* trackValues, int32_t count)
{
    setUniformFloatArray("tracks", trackValues, count);
}

void setTimeUniform(const char* name, double musicTime)
{
    setUniformFloat(name, static_cast<float>(musicTime));
}

void clearTarget(float r, float g, float b, float a, bool withDepth)
{
    glClearColor(r, g, b, a);
    if (withDepth) {
        glDepthMask(GL_TRUE);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

void setFlatState()
{
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

void setDepthTest(bool depthWrites)
{
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthRange(0.0, 1.0);
    glDepthMask(depthWrites ? GL_TRUE : GL_FALSE);
}

void setNoDepthTest()
{
    glDisable(GL_DEPTH_TEST);
}

void setAlphaBlending()
{
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void setAdditiveBlending()
{
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

void setStrandGlowBlending()
{
    glEnable(GL_BLEND);
    glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void setNoBlending()
{
    glDisable(GL_BLEND);
}

void setDepthWrites(bool on)
{
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void setNoFaceCulling()
{
    glDisable(GL_CULL_FACE);
}

void beginWireframe(bool smoothLines)
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    if (smoothLines)
        glEnable(GL_LINE_SMOOTH);
    glLineWidth(wireLineWidth);
}

void endWireframe()
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

void beginSrgbOutput()
{
    glEnable(GL_FRAMEBUFFER_SRGB);
}

void endSrgbOutput()
{
    glDisable(GL_FRAMEBUFFER_SRGB);
}

void setLineUniforms(float grow, double musicTime, const float* trackValues, int32_t uploaded,
                     float maxRadius)
{
    setUniformFloat("grow", grow);
    setUniformFloat("linesize", lineSize);
    setTimeUniform("t", musicTime);
    setTracks(trackValues, uploaded);
    setUniformFloat("max_radius", maxRadius);
}

void bindParticleTextures(const char* sharp, const char* blurred)
{
    bindLibraryTexture(sharp, 0, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    bindLibraryTexture(blurred, 1, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
}

void bindSphereTextures(Demo& demo, int32_t reflectionMinFilter)
{
    bindCubeTexture(0, demo.specularCube, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR);
    bindCubeTexture(1, demo.environmentCube, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR);
    bindTargetTexture(demo.skyTarget, 2);
    bindTargetTexture(demo.strandTarget, 3);
    bindCubeTexture(4, demo.reflectionCube, GL_REPEAT, reflectionMinFilter);
}

void drawRaysToPoints(Mesh& batch, const std::vector<Vec4>& points,
                      const std::vector<int32_t>& indices, float key)
{
    int32_t count = 0;
    for (int32_t index : indices) {
        if (count == segmentBatchQuads) break;
        if (index < 0 || size_t(index) >= points.size()) continue;
        const Vec4& p = points[size_t(index)];
        setSegment(batch, count++, 0.0f, 0.0f, 0.0f, p.x, p.y, p.z, key, 0.0f);
    }
    uploadSegmentBatch(batch, count);
    drawSegments(batch, count);
}

void drawSkyPass(Demo& demo, const float* trackValues)
{
    // Not cleared: the dome covers every pixel.
    beginRenderTarget(demo.skyTarget);
    setFlatState();
    useShader("skybox_c.glsl");
    applyCamera(demo.camera);
    setUniformFloat("exponent", trackValues[track::skyExponent]);
    setTracks(trackValues, firstTracks);
    bindCubeTexture(0, demo.specularCube, GL_REPEAT, GL_LINEAR);
    bindCubeTexture(1, demo.environmentCube, GL_REPEAT, GL_LINEAR);
    drawMesh(skyMesh);
    endRenderTarget(demo.skyTarget);
}

void spinPoints(NodeCloud& cloud, float angle)
{
    const size_t count = cloud.workingPositions.size() < cloud.directions.size()
                             ? cloud.workingPositions.size()
                             : cloud.directions.size();
    for (size_t i = 0; i < count; ++i) {
        const Vec4& a = cloud.directions[i];
        // The stored direction's second and third components trade places.
        const glm::vec3 axis(a.x, a.z, a.y);
        if (axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f) continue;
        Vec4& p = cloud.workingPositions[i];
        const glm::vec3 turned = rotateAboutAxis(glm::vec3(p.x, p.y, p.z), axis, angle);
        p.x = turned.x;
        p.y = turned.y;
        p.z = turned.z;
    }
}

void reportProfileOnKey(Demo& demo)
{
    // Like Escape, P counts only while one of our windows has the keyboard.
    if (SDL_GetKeyboardFocus() && keyCountsAsPressed(SDLK_p)) report(demo.profiler);
}
