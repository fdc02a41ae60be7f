// The conventions every pass of the two scenes follows, as one helper each:
// a program made current by file name, "tracks" and "time" uniforms, clears
// of the bound target, the two blend modes and the depth state, the sky pass
// both scenes share and the far cloud's spin. Owns nothing; GL state is set
// explicitly by each pass and never restored.
#pragma once

#include <cstdint>

struct Demo;
struct NodeCloud;

// Counts of "tracks" uploads: the first 32 values or all 64.
constexpr int32_t kFirstTracks = 32;
constexpr int32_t kAllTracks = 64;

// Makes the program of that shader file current; when there is none prints
// "cant find %s\n" and leaves the current program as it is.
void useProgram(const char* name);
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
// Blending off.
void setNoBlending();

// Renders the sky dome into skyTarget from the specular and environment cube maps.
void drawSkyPass(Demo& demo, const float* trackValues);
// Turns every working position of the cloud about its own direction with y
// and z swapped, by angle degrees; a point whose axis has no length stays put.
void spinPoints(NodeCloud& cloud, float angle /* degrees */);

// Prints the profiler's report while P is held (both builds).
void reportProfileOnKey(Demo& demo);
