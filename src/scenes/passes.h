// The conventions every pass of the two scenes follows, as one helper each:
// a program made current by file name, "tracks", "time" and line uniforms,
// the particle and sphere texture sets, rays from the origin, clears of the
// bound target, the blend modes and the depth state, the sky pass both
// scenes share and the far cloud's spin. Owns nothing; GL state is set
// explicitly by each pass and never restored.
#pragma once

#include <cstdint>
#include <vector>

#include "fx/noise.h"
#include "sync/track_names.h"

struct Demo;
struct Mesh;
struct NodeCloud;

// "tracks" uploads hold the first 32 values or all trackCount.
constexpr int32_t firstTracks = 32;
// Width of the wire spheres' and the wire shell's lines.
constexpr float wireLineWidth = 0.2f;  // pixels

// "tracks" = the first count track values (32 or 64), on the current program.
void setTracks(const float* trackValues, int32_t count);
// "time" or another float uniform from the music time, narrowed to float.
void setTimeUniform(const char* name, double musicTime /* seconds */);

// Clears the bound framebuffer's colour, and its depth to 1.0 when withDepth;
// depth writes are switched on first so that a depth clear always clears.
void clearTarget(float r, float g, float b, float a, bool withDepth);

// Face culling, depth test and blending off: the state of every full-screen pass.
void setFlatState();
// Depth test on with GL_LEQUAL over the range (0, 1); depth writes as given.
void setDepthTest(bool depthWrites);
// Depth test off (depth writes untouched).
void setNoDepthTest();
// GL_FUNC_ADD with (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA).
void setAlphaBlending();
// GL_FUNC_ADD with (GL_SRC_ALPHA, GL_ONE).
void setAdditiveBlending();
// Colour adds up (GL_SRC_ALPHA, GL_ONE) while alpha keeps the coverage of
// the nearest silhouette (GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA).
void setStrandGlowBlending();
// Blending off.
void setNoBlending();
// Depth writes on or off; the depth test stays as it is.
void setDepthWrites(bool on);
// Both faces of every triangle drawn.
void setNoFaceCulling();
// Triangles drawn as their edges, lines wireLineWidth wide, until
// endWireframe. With smoothLines the lines are anti-aliased from then on:
// endWireframe leaves that on, as every later wire draw of the run expects.
void beginWireframe(bool smoothLines);
void endWireframe();
// Writes into the window's framebuffer are encoded to sRGB until endSrgbOutput.
void beginSrgbOutput();
void endSrgbOutput();

// "grow", "linesize", "t", "tracks" (the first `uploaded` values) and
// "max_radius": the uniforms every line and ray program reads.
void setLineUniforms(float grow /* 0..1 */, double musicTime /* seconds */,
                     const float* trackValues, int32_t uploaded, float maxRadius);
// The sharp and the blurred particle sprite (library file names) on units 0
// and 1, repeating, mipmapped minification, linear magnification.
void bindParticleTextures(const char* sharp, const char* blurred);
// The shiny spheres' maps: specular and environment cubes on units 0 and 1,
// the sky and strand targets on 2 and 3, the reflection cube on 4 with the
// given minification.
void bindSphereTextures(Demo& demo, int32_t reflectionMinFilter);
// One segment from the origin to points[i] for each index in the list (an
// index outside points is skipped), with "texcoord2" (key, 0); at most the
// batch's capacity. Uploads and draws them.
void drawRaysToPoints(Mesh& batch, const std::vector<Vec4>& points,
                      const std::vector<int32_t>& indices, float key);

// Renders the sky dome into skyTarget from the specular and environment cube maps.
void drawSkyPass(Demo& demo, const float* trackValues);
// Turns every working position of the cloud about its own direction with y
// and z swapped, by angle degrees; a point whose axis has no length stays put.
void spinPoints(NodeCloud& cloud, float angle /* degrees */);

// Prints the profiler's report while P is held (both builds).
void reportProfileOnKey(Demo& demo);
