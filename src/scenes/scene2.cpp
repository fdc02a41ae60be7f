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

constexpr float kRimSphereSize = 0.25f;
constexpr float kRimRayKey = 20.0f;     // "texcoord2".x of the rays to the rim

// The frame's own lists. They are emptied every frame and keep their storage;
// each holds at most one entry per cluster, and that much room is reserved
// on the first frame, so later frames allocate nothing.
struct FrameLists {
    std::vector<int32_t> clusterOrder;  // every cluster, ascending distance from the origin
    std::vector<int32_t> farNodes;
    std::vector<int32_t> rimNodes;
    DustExplosionTable dust;  // filled on the first explosion
};

FrameLists frameLists;

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
    frameLists.clusterOrder.reserve(clusters);
    frameLists.farNodes.reserve(clusters);
    frameLists.rimNodes.reserve(clusters);
    demo.nearNodes.reserve(clusters);

    // The order is taken before the pin: cluster 0 sorts where the strand put it.
    const bool pinFirst = moveStrand(swarm, trackValues, musicTime, &frameLists.clusterOrder);

    const glm::vec3 eye = demo.camera.eye;
    selectNodes(swarm.clusterCentres, frameLists.clusterOrder, eye.x, eye.y, eye.z,
                trackValues[track::nearDistance], trackValues[track::shellRadius] * 100.0f, pinFirst, demo.nearNodes,
                frameLists.farNodes, frameLists.rimNodes);
}

} // namespace

bool moveStrand(SwarmField& swarm, const float* trackValues, double musicTime,
                std::vector<int32_t>* clusterOrder)
{
    bendStrand(swarm, static_cast<float>(musicTime), trackValues);
    gatherClusters(swarm, static_cast<float>(musicTime));
    if (clusterOrder) sortByDistance(Vec4{}, swarm.clusterCentres, -1, *clusterOrder);

    const bool pinFirst = musicTime < kPinFirstClusterUntil && !swarm.clusterCentres.empty();
    if (pinFirst) swarm.clusterCentres[0] = Vec4{0.0f, 0.0f, 0.0f, 50.0f};
    return pinFirst;
}

void drawStrandPass(Demo& demo, float musicTime, const float* trackValues)
{
    const std::vector<Vec4>& centres = demo.swarm.clusterCentres;
    clearTarget(1.0f, 1.0f, 1.0f, 1.0f, true);

    // Depth of the near nodes.
    useProgram("hd_dna_vao_pre.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, kFirstTracks);
    setUniformFloat("pSize", 1.0f);
    setUniformFloat("time", musicTime);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setDepthTest(true);
    glDisable(GL_CULL_FACE);
    setAlphaBlending();
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);

    // Two soft silhouettes over that depth.
    useProgram("hd_dna_vao.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 1.2f);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setTracks(trackValues, kFirstTracks);
    setUniformFloat("time", musicTime);
    clearTarget(0.0f, 0.0f, 0.0f, 0.0f, false);
    glDepthMask(GL_FALSE);
    setStrandGlowBlending();
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);

    setUniformFloat("pSize", 1.06125f);
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);
    glDepthMask(GL_TRUE);
}

void drawScene2(const float* trackValues, Demo& demo, double musicTime)
{
    updateScene2(trackValues, demo, musicTime);
    SwarmField& swarm = demo.swarm;
    const std::vector<Vec4>& centres = swarm.clusterCentres;
    const float shellRadius = trackValues[track::shellRadius] * 100.0f;

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

    // Background copy of the sky.
    setFlatState();
    useProgram("blit.glsl");
    bindTexture0(demo.skyTarget.texture);
    drawMesh(demo.screenQuad);

    // Far cloud, through the shared sprite batch.
    setNoDepthTest();
    setAdditiveBlending();
    useProgram("bg_particles.glsl");
    applyCamera(demo.camera);
    setUniformFloat("pSize", 4.0f);
    setTracks(trackValues, kFirstTracks);
    bindParticleTextures("floating01.png", "floating01_b.png");
    // The program samples a cube map on unit 2; give it the environment, as
    // the first scene does, rather than whatever an earlier pass left there.
    bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
    resetPositions(demo.farCloud);
    spinPoints(demo.farCloud, static_cast<float>(musicTime * 1.5));
    drawQuadList(demo.spriteBatch, demo.farCloud.workingPositions, -1);
    mark(demo.profiler, "background particles");

    // Near spheres.
    setDepthTest(true);
    setNoBlending();
    useProgram("sphere_2.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, kFirstTracks);
    setUniformFloat("pSize", 1.0f);
    setUniformFloat("size_mix", trackValues[track::sizeMix]);
    setTimeUniform("time", musicTime);
    // Unit 0 is a cube-map sampler in this program: bind the specular map
    // explicitly, as the first scene does, instead of relying on the sky pass.
    bindSphereTextures(demo, GL_NEAREST_MIPMAP_LINEAR);
    drawIndexedQuadList(demo.spriteBatch, centres, demo.nearNodes);
    mark(demo.profiler, "shiny spheres");

    // Far spheres.
    useProgram("sphere_low.glsl");
    applyCamera(demo.camera);
    setTracks(trackValues, trackCount);
    setUniformFloat("pSize", 1.0f);
    setTimeUniform("time", musicTime);
    bindSphereTextures(demo, GL_LINEAR_MIPMAP_LINEAR);
    drawIndexedQuadList(demo.spriteBatch, centres, frameLists.farNodes);
    mark(demo.profiler, "shiny spheres2");

    // Wire shell and the rim spheres.
    const std::vector<int32_t>& rim = frameLists.rimNodes;
    if (trackValues[track::wireShell] != 0.0f) {
        setDepthTest(true);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        setAdditiveBlending();
        glEnable(GL_LINE_SMOOTH);
        // The first scene leaves this width behind every frame; setting it
        // here too makes a frame of this scene look the same on its own.
        glLineWidth(kWireLineWidth);
        useProgram("edges.glsl");
        applyCamera(demo.camera);
        setUniformFloat("exponent", trackValues[track::skyExponent]);
        bindCubeTexture(0, demo.specularCube, GL_REPEAT, GL_LINEAR_MIPMAP_LINEAR);
        setUniformVec3("pos2", 0.0f, 0.0f, 0.0f);
        setUniformFloat("a", trackValues[track::wireShell]);
        setUniformFloat("size_mul", trackValues[track::shellRadius]);
        setUniformFloat("edges", shellRadius);
        drawMesh(skyMesh);
        if (trackValues[track::rimSpheres] > 0.0f) {
            // The last rim node gets no sphere.
            for (size_t k = 0; k + 1 < rim.size(); ++k) {
                const Vec4& p = centres[size_t(rim[k])];
                setUniformFloat("size_mul", kRimSphereSize);
                setUniformFloat("a", trackValues[track::rimSpheres]);
                setUniformVec3("pos2", p.x, p.y, p.z);
                drawMesh(skyMesh);
            }
        }
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }

    const float grow = growAt(musicTime);
    const float growRadius = growRadiusAt(musicTime);
    mark(demo.profiler, "line compute");

    // Rays from the origin to the rim nodes.
    setDepthTest(true);
    setAdditiveBlending();
    useProgram("line_s.glsl");
    applyCamera(demo.camera);
    setLineUniforms(grow, musicTime, trackValues, kFirstTracks, growRadius);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    mark(demo.profiler, "line draw");
    if (trackValues[track::rimRays] != 0.0f) drawRaysToPoints(demo.segmentBatch, centres, rim, kRimRayKey);

    // Links from every cluster to the strand.
    setDepthTest(false);
    setAdditiveBlending();
    useProgram("dash101.glsl");
    applyCamera(demo.camera);
    setLineUniforms(grow, musicTime, trackValues, kFirstTracks, growRadius);
    setUniformFloat("aa", trackValues[track::dashAlpha]);
    bindLibraryTexture("s0_line_.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
    int32_t links = 0;
    for (const Vec4& c : centres) {
        if (links == kSegmentBatchQuads) break;
        const glm::vec3 s = strandPath(c.y, static_cast<float>(musicTime));
        setSegment(demo.segmentBatch, links++, c.x, c.y, c.z, s.x, s.y, s.z, 0.0f, 0.0f);
    }
    uploadSegmentBatch(demo.segmentBatch, links);
    drawSegments(demo.segmentBatch, links);

    // Dust explosion of the graph nodes along the strand.
    if (trackValues[track::explosion] != 0.0f) {
        NodeCloud& nodes = demo.graphNodes;
        useProgram("dust_explo.glsl");
        applyCamera(demo.camera);
        setUniformFloat("pSize", 4.0f);
        setTimeUniform("time", musicTime);
        setTracks(trackValues, trackCount);
        setDepthTest(true);
        setAdditiveBlending();
        bindParticleTextures("p_sharp_.png", "p_blurred_.png");
        bindCubeTexture(2, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
        bindTexture2D(3, demo.skyTarget.texture, GL_LINEAR_MIPMAP_LINEAR);
        placeDustExplosion(nodes.workingPositions, musicTime, trackValues, frameLists.dust);
        mark(demo.profiler, "particle compute");
        drawQuadList(nodes.sprites, nodes.workingPositions, -1);
        mark(demo.profiler, "particle  draw");
    }

    // Logo, seen from eye height 0 for the rest of this frame.
    if (trackValues[track::logo] != 0.0f || trackValues[track::closing] != 0.0f) {
        setDepthTest(true);
        setAlphaBlending();
        useProgram("static_logo.glsl");
        demo.camera.eye.y = 0.0f;
        applyCamera(demo.camera);
        setTimeUniform("time", musicTime);
        setTracks(trackValues, kFirstTracks);
        bindLibraryTexture("logo_stack_3_.png", 0, GL_REPEAT, GL_LINEAR, GL_LINEAR);
        bindCubeTexture(1, demo.environmentCube, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR);
        bindLibraryTexture("s0_line_.png", 2, GL_REPEAT, GL_LINEAR, GL_LINEAR);
        drawQuads(demo.logoQuads, 1);
        mark(demo.profiler, "logo");
    }

    endRenderTarget(demo.sceneTarget2);
    mark(demo.profiler, "backbuffer end");

    // Bloom: a bright pass, then a wide soft blur of it.
    setFlatState();
    gaussianBlur(24.0f, 10, 1.5f, 1.0f, demo.sceneTarget2, demo.bloomWideTarget, demo.bloomTarget);
    gaussianBlur(40.0f, 20, 1.0f, 0.0f, demo.bloomTarget, demo.bloomMidTarget, demo.bloomSoftTarget);
    mark(demo.profiler, "gaussian blur: bloom w/ cutoff");
    mark(demo.profiler, "gaussian blur: hdr bloom");

    // Tone map into the window.
    setFlatState();
    glEnable(GL_FRAMEBUFFER_SRGB);
    useProgram("tonemap.glsl");
    setTimeUniform("t", musicTime);
    bindTargetTexture(demo.sceneTarget2, 0);
    bindTargetTexture(demo.bloomWideTarget, 1);
    bindTargetTexture(demo.bloomTarget, 2);
    bindTargetTexture(demo.bloomSoftTarget, 3);
    bindLibraryTexture("vig.png", 4, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    bindLibraryTexture("noise.png", 5, GL_REPEAT, GL_NEAREST, GL_NEAREST);
    setTracks(trackValues, trackCount);
    drawMesh(demo.screenQuad);
    mark(demo.profiler, "final_blit");

    if (trackValues[track::scene2Overlay] != 0.0f || trackValues[track::closing] != 0.0f) {
        useProgram("vantle.glsl");
        setNoDepthTest();
        setAlphaBlending();
        setTracks(trackValues, trackCount);
        setUniformInt("flip", 1);
        bindLibraryTexture("fs01.png", 0, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
        bindLibraryTexture("fs02.png", 1, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR);
        drawMesh(demo.screenQuad);
    }

    glDisable(GL_FRAMEBUFFER_SRGB);
    reportProfileOnKey(demo);

    frameLists.clusterOrder.clear();
    frameLists.farNodes.clear();
    frameLists.rimNodes.clear();
}
