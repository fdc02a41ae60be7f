// The second scene: the strand's 3000 nodes as a growing graph inside a
// shell around the origin. The update phase moves the camera and the strand
// and picks the near, far and rim nodes; the passes draw the sky, the strand
// pass, the spheres, the wire shell, rays and links, the dust explosion and
// the logo into sceneTarget2, then bloom, tone map and overlay.
#include <span>
#include <vector>

#include <GL/glew.h>

#include "app/demo.h"
#include "assets/camera.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "fx/swarm_field.h"
#include "render/blur.h"
#include "render/draw.h"
#include "render/render_target.h"
#include "scenes/passes.h"
#include "scenes/scene_math.h"
#include "scenes/scenes.h"
#include "sync/track_names.h"

namespace {

constexpr float rimSphereSize = 0.25f;
constexpr float rimRayKey = 20.0f;     // "texcoord2".x of the rays to the rim

// The camera and the strand moved to the frame, and the near, far and rim
// nodes picked. The frame's lists in the Demo are emptied at the end of every
// frame and keep their storage; each holds at most one entry per cluster, and
// that much room is reserved on the first frame, so later frames allocate nothing.
void updateScene2(const float* trackValues, Demo& demo, double musicTime)
{
    SwarmField& swarm = demo.swarm;
    const int32_t second =
        secondIndexAt(musicTime, static_cast<int32_t>(swarm.secondTable.size()));

    setCameraFromTracks(demo.camera, std::span<const float>(trackValues, trackCount));
    const int32_t mode = cameraModeOf(trackValues[track::cameraMode]);
    if (mode == 2) {
        strandCamera(demo.camera, trackValues, static_cast<float>(musicTime));
    } else if (mode == 3 && !swarm.secondTable.empty()) {
        clusterCamera(demo.camera, trackValues, swarm, swarm.secondTable[size_t(second)]);
    }

    const size_t clusters = swarm.clusterCentres.size();
    demo.clusterOrder.reserve(clusters);
    demo.farNodes.reserve(clusters);
    demo.rimNodes.reserve(clusters);
    demo.nearNodes.reserve(clusters);

    // The order is taken before the pin: cluster 0 sorts where the strand put it.
    const bool pinFirst = moveStrand(swarm, trackValues, musicTime, &demo.clusterOrder);

    const glm::vec3 eye = demo.camera.eye;
    selectNodes(swarm.clusterCentres, demo.clusterOrder, eye.x, eye.y, eye.z,
                trackValues[track::nearDistance], trackValues[track::shellRadius] * 100.0f, pinFirst,
                demo.nearNodes, demo.farNodes, demo.rimNodes);
}

// Background copy of the sky.
void drawSkyCopy2(Demo& demo)
{
    setFlatState();
    useShader("blit.glsl");
    bindTexture0(demo.skyTarget.texture);
    drawMesh(demo.screenQuad);
}

// The far cloud, through the shared sprite batch.
void drawFarCloud2(Demo& demo, const float* trackValues, double musicTime)
{
    setNoDepthTest();
    setAdditiveBlending();
    useShader("bg_particles.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 4.0f);
    setTracks(trackValues, firstTracks);
    bindParticleTextures("floating01.png", "floating01_b.png");
    // The program samples a cube map on unit 2; give it the environment, as
    // the first scene does, rather than whatever an earlier pass left there.
    bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    resetPositions(demo.farCloud);
    spinPoints(demo.farCloud, static_cast<float>(musicTime * 1.5));
    drawQuadList(demo.spriteBatch, demo.farCloud.workingPositions, -1);
}

void drawNearSpheres(Demo& demo, const float* trackValues, double musicTime)
{
    setDepthTest(true);
    setNoBlending();
    useShader("sphere_2.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, firstTracks);
    setUniformFloat("pSize", 1.0f);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setTimeUniform("time", musicTime);
    // Unit 0 is a cube-map sampler in this program: bind the specular map
    // explicitly, as the first scene does, instead of relying on the sky pass.
    bindSphereTextures(demo, GL_NEAREST_MIPMAP_LINEAR);
    drawIndexedQuadList(demo.spriteBatch, demo.swarm.clusterCentres, demo.nearNodes);
}

void drawFarSpheres(Demo& demo, const float* trackValues, double musicTime)
{
    useShader("sphere_low.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, trackCount);
    setUniformFloat("pSize", 1.0f);
    setTimeUniform("time", musicTime);
    bindSphereTextures(demo, GL_LINEAR_MIPMAP_LINEAR);
    drawIndexedQuadList(demo.spriteBatch, demo.swarm.clusterCentres, demo.farNodes);
}

// The wire shell round the origin and, while track::rimSpheres is above 0,
// a wire sphere on every rim node but the last.
void drawWireShell(Demo& demo, const float* trackValues)
{
    const std::vector<Vec4>& centres = demo.swarm.clusterCentres;
    const std::vector<int32_t>& rim = demo.rimNodes;
    setDepthTest(true);
    setAdditiveBlending();
    // The first scene leaves the same line width behind every frame; setting
    // it here too makes a frame of this scene look the same on its own.
    beginWireframe(true);
    useShader("edges.glsl");
    applyCamera(demo.camera);
    setUniformFloat("exponent", trackValues[track::skyExponent]);
    bindCubeTexture(0, demo.specularCube, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR);
    setUniformVec3("pos2", 0.0f, 0.0f, 0.0f);
    setUniformFloat("a", trackValues[track::wireShell]);
    setUniformFloat("size_mul", trackValues[track::shellRadius]);
    setUniformFloat("edges", trackValues[track::shellRadius] * 100.0f);
    drawMesh(skyMesh);
    if (trackValues[track::rimSpheres] > 0.0f) {
        for (size_t k = 0; k + 1 < rim.size(); ++k) {
            const Vec4& p = centres[size_t(rim[k])];
            setUniformFloat("size_mul", rimSphereSize);
            setUniformFloat("a", trackValues[track::rimSpheres]);
            setUniformVec3("pos2", p.x, p.y, p.z);
            drawMesh(skyMesh);
        }
    }
    endWireframe();
}

// Rays from the origin to the rim nodes, then links from every cluster to
// the strand.
void drawRaysAndStrandLinks(Demo& demo, const float* trackValues, double musicTime)
{
    const std::vector<Vec4>& centres = demo.swarm.clusterCentres;
    const float grow = growAt(musicTime);
    const float growRadius = growRadiusAt(musicTime);
    mark(demo.profiler, "line compute");

    setDepthTest(true);
    setAdditiveBlending();
    useShader("line_s.glsl");
    applyCamera(demo.camera);
    setLineUniforms(grow, musicTime, trackValues, firstTracks, growRadius);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    mark(demo.profiler, "line draw");
    if (trackValues[track::rimRays] != 0.0f)
        drawRaysToPoints(demo.segmentBatch, centres, demo.rimNodes, rimRayKey);

    setDepthTest(false);
    setAdditiveBlending();
    useShader("dash101.glsl");
    applyCamera(demo.camera);
    setLineUniforms(grow, musicTime, trackValues, firstTracks, growRadius);
    setUniformFloat("aa", trackValues[track::dashAlpha]);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    int32_t links = 0;
    for (const Vec4& c : centres) {
        if (links == segmentBatchQuads) break;
        const glm::vec3 s = strandPath(c.y, static_cast<float>(musicTime));
        setSegment(demo.segmentBatch, links++, c.x, c.y, c.z, s.x, s.y, s.z, 0.0f, 0.0f);
    }
    uploadSegmentBatch(demo.segmentBatch, links);
    drawSegments(demo.segmentBatch, links);
}

// The graph nodes spiralled along the strand.
void drawDustExplosion(Demo& demo, const float* trackValues, double musicTime)
{
    NodeCloud& nodes = demo.graphNodes;
    useShader("dust_explo.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 4.0f);
    setTimeUniform("time", musicTime);
    setTracks(trackValues, trackCount);
    setDepthTest(true);
    setAdditiveBlending();
    bindParticleTextures("p_sharp_.png", "p_blurred_.png");
    bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    bindTexture2D(3, demo.skyTarget.texture, GL_LINEAR_MIPMAP_LINEAR);
    placeDustExplosion(nodes.workingPositions, musicTime, trackValues, demo.dustExplosion);
    mark(demo.profiler, "particle compute");
    drawQuadList(nodes.sprites, nodes.workingPositions, -1);
    mark(demo.profiler, "particle  draw");
}

// The logo, seen from eye height 0 for the rest of this frame.
void drawLogo(Demo& demo, const float* trackValues, double musicTime)
{
    setDepthTest(true);
    setAlphaBlending();
    useShader("static_logo.glsl");
    demo.camera.eye.y = 0.0f;
    applyCamera(demo.camera);
    setTimeUniform("time", musicTime);
    setTracks(trackValues, firstTracks);
    bindLibraryTexture("logo_stack_3_.png", 0, GL_REPEAT, GL_LINEAR, GL_LINEAR);
    bindCubeTexture(1, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    bindLibraryTexture("s0_line_.png", 2, GL_REPEAT, GL_LINEAR, GL_LINEAR);
    drawQuads(demo.logoQuads, 1);
}

// A bright pass, then a wide soft blur of it.
void drawBloom(Demo& demo)
{
    setFlatState();
    gaussianBlur(24.0f, 10, 1.5f, 1.0f, demo.sceneTarget2, demo.bloomWideTarget, demo.bloomTarget);
    gaussianBlur(40.0f, 20, 1.0f, 0.0f, demo.bloomTarget, demo.bloomMidTarget, demo.bloomSoftTarget);
}

// Tone map into the window (sRGB output from here to the end of the frame).
void drawToneMap2(Demo& demo, const float* trackValues, double musicTime)
{
    setFlatState();
    beginSrgbOutput();
    useShader("tonemap.glsl");
    setTimeUniform("t", musicTime);
    bindTargetTexture(demo.sceneTarget2, 0);
    bindTargetTexture(demo.bloomWideTarget, 1);
    bindTargetTexture(demo.bloomTarget, 2);
    bindTargetTexture(demo.bloomSoftTarget, 3);
    bindLibraryTexture("vig.png", 4, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    bindLibraryTexture("noise.png", 5, GL_REPEAT, GL_NEAREST, GL_NEAREST);
    setTracks(trackValues, trackCount);
    drawMesh(demo.screenQuad);
}

// The second scene's pages of fs01.png and the closing page of fs02.png.
void drawTextOverlay2(Demo& demo, const float* trackValues)
{
    useShader("vantle.glsl");
    setNoDepthTest();
    setAlphaBlending();
    setTracks(trackValues, trackCount);
    setUniformInt("flip", 1);
    bindLibraryTexture("fs01.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    bindLibraryTexture("fs02.png", 1, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    drawMesh(demo.screenQuad);
}

} // namespace

bool moveStrand(SwarmField& swarm, const float* trackValues, double musicTime,
                std::vector<int32_t>* clusterOrder)
{
    bendStrand(swarm, static_cast<float>(musicTime), trackValues);
    gatherClusters(swarm, static_cast<float>(musicTime));
    if (clusterOrder) sortByDistance(Vec4{}, swarm.clusterCentres, -1, *clusterOrder);

    const bool pinFirst = musicTime < pinFirstClusterUntil && !swarm.clusterCentres.empty();
    if (pinFirst) swarm.clusterCentres[0] = Vec4{0.0f, 0.0f, 0.0f, 50.0f};
    return pinFirst;
}

void drawStrandPass(Demo& demo, float musicTime, const float* trackValues)
{
    const std::vector<Vec4>& centres = demo.swarm.clusterCentres;
    clearTarget(1.0f, 1.0f, 1.0f, 1.0f, true);

    // Depth of the near nodes.
    useShader("hd_dna_vao_pre.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, firstTracks);
    setUniformFloat("pSize", 1.0f);
    setUniformFloat("time", musicTime);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setDepthTest(true);
    setNoFaceCulling();
    setAlphaBlending();
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);

    // Two soft silhouettes over that depth.
    useShader("hd_dna_vao.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 1.2f);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setTracks(trackValues, firstTracks);
    setUniformFloat("time", musicTime);
    clearTarget(0.0f, 0.0f, 0.0f, 0.0f, false);
    setDepthWrites(false);
    setStrandGlowBlending();
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);

    setUniformFloat("pSize", 1.06125f);
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);
    setDepthWrites(true);
}

void drawScene2(const float* trackValues, Demo& demo, double musicTime)
{
    updateScene2(trackValues, demo, musicTime);

    beginFrame(demo.profiler);
    drawSkyPass(demo, trackValues);
    mark(demo.profiler, "skybox");

    beginRenderTarget(demo.strandTarget);
    drawStrandPass(demo, static_cast<float>(musicTime), trackValues);
    endRenderTarget(demo.strandTarget);
    mark(demo.profiler, "vao end");

    gaussianBlur(26.0f, 26, 1.25f, 0.0f, demo.strandTarget, demo.strandBlurTarget,
                 demo.strandTarget);
    mark(demo.profiler, "gaussian blur: vao");

    beginRenderTarget(demo.sceneTarget2);
    clearTarget(0.0f, 0.0f, 0.0f, 0.0f, true);
    drawSkyCopy2(demo);
    drawFarCloud2(demo, trackValues, musicTime);
    mark(demo.profiler, "background particles");
    drawNearSpheres(demo, trackValues, musicTime);
    mark(demo.profiler, "shiny spheres");
    drawFarSpheres(demo, trackValues, musicTime);
    mark(demo.profiler, "shiny spheres2");
    if (trackValues[track::wireShell] != 0.0f)
        drawWireShell(demo, trackValues);
    drawRaysAndStrandLinks(demo, trackValues, musicTime);
    if (trackValues[track::explosion] != 0.0f)
        drawDustExplosion(demo, trackValues, musicTime);
    if (trackValues[track::logo] != 0.0f || trackValues[track::closing] != 0.0f) {
        drawLogo(demo, trackValues, musicTime);
        mark(demo.profiler, "logo");
    }
    endRenderTarget(demo.sceneTarget2);
    mark(demo.profiler, "backbuffer end");

    drawBloom(demo);
    mark(demo.profiler, "gaussian blur: bloom w/ cutoff");
    mark(demo.profiler, "gaussian blur: hdr bloom");

    drawToneMap2(demo, trackValues, musicTime);
    mark(demo.profiler, "final_blit");
    if (trackValues[track::scene2Overlay] != 0.0f || trackValues[track::closing] != 0.0f)
        drawTextOverlay2(demo, trackValues);
    endSrgbOutput();
    reportProfileOnKey(demo);

    demo.clusterOrder.clear();
    demo.farNodes.clear();
    demo.rimNodes.clear();
}
