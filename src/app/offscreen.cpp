#include "app/offscreen.h"

#include <cstdio>

#include <GL/glew.h>

#include "app/timeline.h"

bool loadOffscreenProduction(const char* name, int width, int height,
                             OffscreenProduction& production)
{
    production.name = name;
    if (!createHiddenAppWindow(name, width, height, production.window)) return false;
    loadProductionMeshes();
    openProductionTracks(production.tracks);
    loadDemo(production.demo);
    return true;
}

void catchUpProduction(OffscreenProduction& production, double musicTime)
{
    catchUpFrameAt(production.demo, production.tracks, musicTime);
}

void drawProductionFrame(OffscreenProduction& production, double musicTime)
{
    const double row = rowAt(musicTime);
    // The frame loop keeps the music time as a float; draw with its rounding.
    const float loopTime = float(musicTime);
    sampleProductionTracks(production.tracks, row, production.trackValues);
    while (glGetError() != GL_NO_ERROR) {
    }
    drawFrameAt(production.demo, production.trackValues, row, loopTime);
    // Reported, not fatal: the picture is still what the deliverables show.
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        fprintf(stderr, "%s: GL error 0x%04x in the frame at %g s\n", production.name, error,
                musicTime);
}

void releaseOffscreenProduction(OffscreenProduction& production)
{
    destroyDemo(production.demo);
    releaseProductionTracks(production.tracks);
    releaseAppWindow(production.window);
}
