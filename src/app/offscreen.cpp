#include "app/offscreen.h"

#include <cstdio>
#include <string>

#include <GL/glew.h>

#include "app/timeline.h"
#include "assets/mesh.h"
#include "scenes/catch_up.h"
#include "scenes/scenes.h"
#include "sync/sync.h"

bool loadOffscreenProduction(const char* name, int width, int height,
                             OffscreenProduction& production)
{
    production.name = name;
    if (!createHiddenAppWindow(name, width, height, production.window)) return false;
    createQuadMesh(screenQuad0);
    createQuadMesh(screenQuad1);
    loadMeshFile("data/tovel3/scene4/skydome.3DS");

    production.device = createSyncDevice("sync/sync");
    for (int i = 0; i < trackCount; ++i)
        production.tracks[i] = getSyncTrack(production.device, std::to_string(i).c_str());

    loadDemo(production.demo);
    return true;
}

void sampleProductionTracks(const OffscreenProduction& production, double row, float* values)
{
    for (int i = 0; i < trackCount; ++i)
        values[i] = float(getSyncValue(production.tracks[i], row));
}

void catchUpProduction(OffscreenProduction& production, double musicTime)
{
    const OffscreenProduction* source = &production;
    catchUpToTime(production.demo, musicTime, [source](double row, float* values) {
        sampleProductionTracks(*source, row, values);
    });
}

void drawProductionFrame(OffscreenProduction& production, double musicTime)
{
    const double row = rowAt(musicTime);
    // The frame loop keeps the music time as a float; draw with its rounding.
    const float loopTime = float(musicTime);
    sampleProductionTracks(production, row, production.trackValues);
    while (glGetError() != GL_NO_ERROR) {
    }
    if (sceneForRow(row) == 2)
        drawScene2(production.trackValues, production.demo, double(loopTime));
    else
        drawScene1(production.trackValues, production.demo, double(loopTime));
    // Reported, not fatal: the picture is still what the deliverables show.
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        fprintf(stderr, "%s: GL error 0x%04x in the frame at %g s\n", production.name, error,
                musicTime);
}

void releaseOffscreenProduction(OffscreenProduction& production)
{
    destroyDemo(production.demo);
    releaseAppWindow(production.window);
}
