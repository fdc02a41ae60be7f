#include "app/demo.h"

#include <cstdio>

#include "assets/shader.h"
#include "assets/texture.h"

float designWidth = 1280.0f;
float designHeight = 720.0f;

namespace {

constexpr const char* dataDirectory = "data/seq1";
constexpr const char* environmentCubeDirectory = "data/seq1/env";
constexpr const char* specularCubeDirectory = "data/seq1/spec";
constexpr const char* reflectionCubeDirectory = "data/seq1/fine_ref512";

constexpr int32_t spriteBatchQuads = 6000;
constexpr int32_t logoQuads = 10;
constexpr float swarmRadius = 1500.0f;  // units
constexpr float swarmWeight = 100.0f;
constexpr int32_t graphNodeCount = 8000;
constexpr float graphNodeRadius = 50.0f;  // units
constexpr int32_t farCloudCount = 200;
constexpr float farCloudRadius = 4000.0f;  // units

// The graph nodes' start-up update: the shape the initial link graph is built on.
constexpr double startTime = 26.0;       // seconds
constexpr float startScale = 9.0f;
constexpr float startTwistAngle = 283.0f;  // degrees
constexpr float startTwistRadius = 0.0f;   // units

void createScaledTarget(RenderTarget& target, RenderTargetFormat format, float scale) {
    createRenderTarget(format, scaledDesignSize(designWidth, scale),
                       scaledDesignSize(designHeight, scale), target);
}

// The start-up update of the graph nodes and the first link graph built on it.
void settleGraphNodes(Demo& demo) {
    update(demo.graphNodes, startTime, startScale, startTwistAngle, startTwistRadius);
    buildInitial(demo.links, demo.graphNodes.workingPositions);
}

}  // namespace

int32_t scaledDesignSize(float designSize, float scale) {
    if (scale < 1.0f)
        return static_cast<int32_t>(static_cast<float>(static_cast<int32_t>(designSize)) * scale);
    return static_cast<int32_t>(designSize * scale);
}

void buildDemo(Demo& demo) {
    // Members start empty: a fresh profiler time base and the initial camera.
    demo.profiler = Profiler();
    initCamera(demo.camera);

    createSegmentBatch(demo.segmentBatch);
    std::printf("make quads\n");
    createQuadBatch(demo.spriteBatch, spriteBatchQuads);
    createQuadBatch(demo.logoQuads, logoQuads);
    createQuadMesh(demo.screenQuad);

    generate(demo.swarm, swarmRadius, swarmWeight);
    generate(demo.graphNodes, graphNodeCount, graphNodeRadius);
    generate(demo.farCloud, farCloudCount, farCloudRadius);
    projectToSphere(demo.farCloud);

    demo.environmentCube = loadHdrCubeMap(environmentCubeDirectory);
    demo.specularCube = loadHdrCubeMap(specularCubeDirectory);
    demo.reflectionCube = loadHdrCubeMap(reflectionCubeDirectory);

    std::printf("fbo %fx%f\n", static_cast<double>(designWidth), static_cast<double>(designHeight));
    createScaledTarget(demo.sceneTarget2, RenderTargetFormat::Rgba16f, 2.0f);
    createScaledTarget(demo.sceneTarget1, RenderTargetFormat::Rgba16f, 2.0f);
    createScaledTarget(demo.bloomWideTarget, RenderTargetFormat::Rgba8, 1.0f);
    createScaledTarget(demo.bloomTarget, RenderTargetFormat::Rgba8, 0.5f);
    createScaledTarget(demo.bloomMidTarget, RenderTargetFormat::Rgba8, 0.5f);
    createScaledTarget(demo.bloomSoftTarget, RenderTargetFormat::Rgba8, 0.5f);
    createScaledTarget(demo.strandTarget, RenderTargetFormat::Rgba8, 0.25f);
    createScaledTarget(demo.strandBlurTarget, RenderTargetFormat::Rgba8, 0.25f);
    createScaledTarget(demo.skyTarget, RenderTargetFormat::Rgba16f, 0.5f);

    // The lasting effect of the start-up shape is the set of respawned directions.
    shape(demo.graphNodes);

    // Time the start-up simulation and the first link graph.
    beginFrame(demo.profiler);
    settleGraphNodes(demo);
    mark(demo.profiler, "lines init");
    report(demo.profiler);
}

void resetDemoSimulation(Demo& demo) {
    generate(demo.swarm, swarmRadius, swarmWeight);
    generatePoints(demo.graphNodes, graphNodeCount, graphNodeRadius);
    shape(demo.graphNodes);
    settleGraphNodes(demo);
}

void loadDemo(Demo& demo) {
    // Every image file decodes on worker threads while buildDemo makes the
    // GL objects; the loads below and in buildDemo only upload.
    addTextureDirectory(dataDirectory);
    beginTextureDecoding({environmentCubeDirectory, specularCubeDirectory, reflectionCubeDirectory});
    buildDemo(demo);
    std::printf("load textures\n");
    loadTextureDirectories();
    // Shaders last: every target, mesh and texture they may refer to exists.
    addShaderDirectory(dataDirectory);
    std::printf("done loading!\n");
}

void destroyDemo(Demo& demo) {
    demo.dustExplosion = DustExplosionTable();
    std::vector<int32_t>().swap(demo.rimNodes);
    std::vector<int32_t>().swap(demo.farNodes);
    std::vector<int32_t>().swap(demo.clusterOrder);
    std::vector<int32_t>().swap(demo.nearNodes);
    releaseLinkLines(demo.links);
    releaseNodeCloud(demo.farCloud);
    releaseNodeCloud(demo.graphNodes);
    releaseSwarmField(demo.swarm);
    releaseProfiler(demo.profiler);
}
