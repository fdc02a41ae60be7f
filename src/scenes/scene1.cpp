// The first scene: sky, the turning far cloud, the graph nodes as dust, wire
// spheres at the hubs, one shiny sphere and, while track::links is on, the link
// segments and hub halos; then the tone map and the text overlay.
#include <span>

#include <GL/glew.h>

#include "app/demo.h"
#include "assets/camera.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "render/draw.h"
#include "render/render_target.h"
#include "scenes/passes.h"
#include "scenes/scene_math.h"
#include "scenes/scenes.h"
#include "sync/track_names.h"

namespace {

constexpr float hubSphereSize = 0.1f;
constexpr float hubSphereAlpha = 0.25f;

// One segment per link between the nodes' positions, keyed by the link's
// shell; at most the batch's capacity. Uploads and draws them.
void drawLinkSegments(Mesh& batch, const std::vector<Link>& links, const std::vector<Vec4>& nodes)
{
    int32_t count = 0;
    const size_t nodeCount = nodes.size();
    for (const Link& link : links) {
        if (count == segmentBatchQuads) break;
        if (link.a < 0 || link.b < 0 || size_t(link.a) >= nodeCount || size_t(link.b) >= nodeCount)
            continue;
        const Vec4& a = nodes[size_t(link.a)];
        const Vec4& b = nodes[size_t(link.b)];
        setSegment(batch, count++, a.x, a.y, a.z, b.x, b.y, b.z, static_cast<float>(link.key), 0.0f);
    }
    uploadSegmentBatch(batch, count);
    drawSegments(batch, count);
}

// Background copy of the sky.
void drawSkyCopy1(Demo& demo)
{
    setFlatState();
    useShader("blit.glsl");
    bindTargetTexture(demo.skyTarget, 0);
    drawMesh(demo.screenQuad);
}

void drawFarCloud1(Demo& demo, const float* trackValues, double musicTime)
{
    useShader("bg_particles.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 4.0f);
    setTracks(trackValues, firstTracks);
    setNoDepthTest();
    setAdditiveBlending();
    bindParticleTextures("p_sharp_.png", "p_blurred_.png");
    bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    bindTargetTexture(demo.skyTarget, 3);
    resetPositions(demo.farCloud);
    spinPoints(demo.farCloud, static_cast<float>(musicTime * 1.5));
    drawQuadList(demo.farCloud.sprites, demo.farCloud.workingPositions,
                 static_cast<int32_t>(demo.farCloud.workingPositions.size()));
}

// The graph nodes moved for this frame, drawn as dust.
void drawGraphDust(Demo& demo, const float* trackValues, double musicTime)
{
    NodeCloud& nodes = demo.graphNodes;
    useShader("dust.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 4.0f);
    setTimeUniform("time", musicTime);
    setTracks(trackValues, firstTracks);
    setNoDepthTest();
    setAdditiveBlending();
    bindParticleTextures("p_sharp_.png", "p_blurred_.png");
    bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    bindTexture2D(3, demo.skyTarget.texture, GL_LINEAR_MIPMAP_LINEAR);
    moveGraphNodes(demo, musicTime, trackValues);
    mark(demo.profiler, "particle compute");
    const int32_t nodeCount = static_cast<int32_t>(nodes.workingPositions.size());
    drawQuadList(nodes.sprites, nodes.workingPositions,
                 nodeDrawCount(trackValues[track::nodeCount], nodeCount));
    mark(demo.profiler, "particle  draw");
}

// Wire spheres at the hubs of the last link build.
void drawHubSpheres(Demo& demo, const float* trackValues)
{
    const std::vector<Vec4>& positions = demo.graphNodes.workingPositions;
    const int32_t nodeCount = static_cast<int32_t>(positions.size());
    setDepthTest(true);
    setAdditiveBlending();
    beginWireframe(false);
    useShader("skybox2.glsl");
    applyCamera(demo.camera);
    setUniformFloat("exponent", trackValues[track::skyExponent]);
    bindCubeTexture(0, demo.specularCube, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR);
    setUniformFloat("size_mul", hubSphereSize);
    for (int32_t hub : demo.links.hubs) {
        if (hub < 0 || hub >= nodeCount) continue;
        const Vec4& p = positions[size_t(hub)];
        setUniformFloat("a", hubSphereAlpha);
        setUniformVec3("pos2", p.x, p.y, p.z);
        drawMesh(skyMesh);
    }
    endWireframe();
}

// One sprite at the origin with weight 1.
void drawShinySphere(Demo& demo, const float* trackValues, double musicTime)
{
    setDepthTest(true);
    setNoBlending();
    useShader("sphere_2.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, firstTracks);
    setUniformFloat("pSize", 1.0f);
    setTimeUniform("time", musicTime);
    bindSphereTextures(demo, GL_LINEAR);
    setQuad(demo.spriteBatch, 0, 0.0f, 0.0f, 0.0f, 1.0f);
    uploadQuadBatch(demo.spriteBatch, 1);
    drawQuads(demo.spriteBatch, 1);
}

// While track::links is on: the segments between linked nodes, then the
// halos, rays from the origin to every hub.
void drawLinks(Demo& demo, const float* trackValues, double musicTime)
{
    const std::vector<Vec4>& positions = demo.graphNodes.workingPositions;
    const float grow = growAt(musicTime);
    const float maxRadius = maxRadiusOf(trackValues);

    useShader("line_c.glsl");
    applyCamera(demo.camera);
    setDepthTest(false);
    setAdditiveBlending();
    setLineUniforms(grow, musicTime, trackValues, trackCount, maxRadius);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    bindLibraryTexture("s1_line_.png", 1, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    linkGraphNodes(demo, trackValues);
    mark(demo.profiler, "line sort");
    drawLinkSegments(demo.segmentBatch, demo.links.innerLinks, positions);
    drawLinkSegments(demo.segmentBatch, demo.links.crossLinks, positions);

    useShader("amen.glsl");
    applyCamera(demo.camera);
    setDepthTest(true);
    setAdditiveBlending();
    setLineUniforms(grow, musicTime, trackValues, trackCount, maxRadius);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    drawRaysToPoints(demo.segmentBatch, positions, demo.links.hubs, 0.0f);
}

// Tone map into the window (sRGB output from here to the end of the frame).
void drawToneMap1(Demo& demo, const float* trackValues, double musicTime)
{
    setFlatState();
    beginSrgbOutput();
    useShader("tonemap1.glsl");
    setTracks(trackValues, trackCount);
    setTimeUniform("t", musicTime);
    bindTargetTexture(demo.sceneTarget1, 0);
    bindTargetTexture(demo.bloomTarget, 1);
    bindTargetTexture(demo.bloomSoftTarget, 2);
    bindLibraryTexture("noise.png", 3, GL_REPEAT, GL_NEAREST, GL_NEAREST);
    bindLibraryTexture("vig.png", 4, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    bindTargetTexture(demo.skyTarget, 5);
    drawMesh(demo.screenQuad);
}

// The title and credit pages of txttt.png.
void drawTextOverlay1(Demo& demo, const float* trackValues)
{
    setNoDepthTest();
    setAlphaBlending();
    useShader("morska.glsl");
    setTracks(trackValues, trackCount);
    setUniformInt("flip", 1);
    bindLibraryTexture("txttt.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    drawMesh(demo.screenQuad);
}

} // namespace

void moveGraphNodes(Demo& demo, double musicTime, const float* trackValues)
{
    update(demo.graphNodes, musicTime, trackValues[track::nodeScale], trackValues[track::twistAngle],
           trackValues[track::twistRadius]);
}

bool linkGraphNodes(Demo& demo, const float* trackValues)
{
    if (trackValues[track::links] == 0.0f) return false;
    build(demo.links, demo.graphNodes.workingPositions, trackValues[track::crossThreshold],
          trackValues[track::innerThreshold]);
    return true;
}

void drawScene1(const float* trackValues, Demo& demo, double musicTime)
{
    setCameraFromTracks(demo.camera, std::span<const float>(trackValues, trackCount));
    beginFrame(demo.profiler);

    drawSkyPass(demo, trackValues);
    mark(demo.profiler, "background");

    beginRenderTarget(demo.sceneTarget1);
    clearTarget(0.0f, 0.0f, 0.0f, 0.0f, true);
    drawSkyCopy1(demo);
    drawFarCloud1(demo, trackValues, musicTime);
    mark(demo.profiler, "floating particles");
    drawGraphDust(demo, trackValues, musicTime);
    drawHubSpheres(demo, trackValues);
    drawShinySphere(demo, trackValues, musicTime);
    mark(demo.profiler, "shiny spheres");
    if (trackValues[track::links] != 0.0f)
        drawLinks(demo, trackValues, musicTime);
    endRenderTarget(demo.sceneTarget1);

    drawToneMap1(demo, trackValues, musicTime);
    mark(demo.profiler, "final_blit");
    drawTextOverlay1(demo, trackValues);
    endSrgbOutput();
    reportProfileOnKey(demo);
}
