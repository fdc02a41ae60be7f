// The production loaded for programs that draw it without showing it (the
// capture tool, the frame benchmark): a hidden window of a chosen size with
// its GL context, the screen quads and sky mesh, the Demo and the 64 sync
// tracks. The record owns all of them from loadOffscreenProduction until
// releaseOffscreenProduction; it is large, so keep it in static storage.
#pragma once

#include "app/demo.h"
#include "app/production.h"
#include "app/window.h"

struct OffscreenProduction {
    const char* name = "";  // program name, the window title and message prefix
    AppWindow window;
    Demo demo;
    ProductionTracks tracks;
    float trackValues[trackCount] = {};  // as the last drawn frame read them
};

// Opens a hidden window whose drawable is width x height with a current GL
// context (with no display server, an EGL surface of that size), then loads
// the meshes, tracks and Demo as the windowed build does. False, with nothing
// loaded and why in window.failure, when no window could be made.
bool loadOffscreenProduction(const char* name, int width /* pixels */, int height /* pixels */,
                             OffscreenProduction& production);
// Brings the Demo, whatever was drawn before, to the state playback leaves
// just before the frame at musicTime, so a frame drawn there matches playback.
void catchUpProduction(OffscreenProduction& production, double musicTime /* seconds */);
// Draws the frame at the music time as the frame loop does, into the window's
// back buffer: tracks at the row of the time, the music time as the loop's
// float, the scene of the row. GL errors raised by the frame are printed on
// stderr, not fatal. Does not wait for GL to finish.
void drawProductionFrame(OffscreenProduction& production, double musicTime /* seconds */);
// Releases the Demo's CPU lists, the tracks and the GL context.
void releaseOffscreenProduction(OffscreenProduction& production);
