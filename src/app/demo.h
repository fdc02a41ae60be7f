// The Demo object: every GPU resource and generated object of the production,
// owned by value. The entry point owns exactly one; loadDemo builds and loads
// it once before the music starts, the scenes read and change it every frame,
// and destroyDemo releases its CPU lists after the frame loop. GL objects are
// never deleted explicitly; they end with the context.
#pragma once

#include <cstdint>
#include <vector>

#include "app/profiler.h"
#include "assets/camera.h"
#include "assets/mesh.h"
#include "fx/link_lines.h"
#include "fx/node_cloud.h"
#include "fx/swarm_field.h"
#include "render/render_target.h"
#include "scenes/scene_math.h"

// Design size from which every render-target size derives, whatever the window size.
extern float designWidth;   // pixels, 1280
extern float designHeight;  // pixels, 720

struct Demo {
    Profiler profiler;
    RenderTarget sceneTarget2;      // Rgba16f, 2x design size
    RenderTarget sceneTarget1;      // Rgba16f, 2x
    RenderTarget skyTarget;         // Rgba16f, 0.5x
    RenderTarget bloomWideTarget;   // Rgba8, 1x
    RenderTarget bloomTarget;       // Rgba8, 0.5x
    RenderTarget strandTarget;      // Rgba8, 0.25x
    RenderTarget strandBlurTarget;  // Rgba8, 0.25x
    RenderTarget bloomMidTarget;    // Rgba8, 0.5x
    RenderTarget bloomSoftTarget;   // Rgba8, 0.5x
    Camera camera;
    Mesh logoQuads;     // sprite batch of 10 quads
    Mesh spriteBatch;   // sprite batch of 6000 quads
    Mesh screenQuad;    // full-screen quad
    SwarmField swarm;
    NodeCloud graphNodes;  // 8000 points, radius 50
    NodeCloud farCloud;    // 200 points on a sphere of radius 4000
    uint32_t specularCube = 0;     // GL cube map
    uint32_t environmentCube = 0;  // GL cube map
    uint32_t reflectionCube = 0;   // GL cube map
    Mesh segmentBatch;  // segment batch of 60000 quads
    LinkLines links;
    // The second scene's lists of the frame, emptied every frame; they keep
    // their storage from frame to frame.
    std::vector<int32_t> nearNodes;
    std::vector<int32_t> clusterOrder;  // every cluster, ascending distance from the origin
    std::vector<int32_t> farNodes;
    std::vector<int32_t> rimNodes;
    DustExplosionTable dustExplosion;   // filled on the first explosion
};

// Render-target size along one axis for a scale of the design size: below
// scale 1 the design size is truncated to whole pixels before scaling.
int32_t scaledDesignSize(float designSize /* pixels */, float scale);

// Makes every member, runs the start-up simulation and prints its profile (needs GL).
void buildDemo(Demo& demo);
// Puts the simulated members (graph nodes, links, strand field) back to the
// state buildDemo leaves them in, whatever frames ran since; no GL work, and
// no allocation once the lists have their size.
void resetDemoSimulation(Demo& demo);
// buildDemo, then every texture and last every shader of the data directory.
void loadDemo(Demo& demo);
// Releases the members' CPU lists in reverse declaration order.
void destroyDemo(Demo& demo);
