// The windowed build's readout: a few lines of text in the top-left corner
// (music time, row, bar:beat, scene, camera mode, transport state, frame
// time, shader compile errors), drawn over the finished frame in the back
// buffer with stb_easy_font's bitmap font. Owns one small GL program and one
// vertex buffer, made on the first draw and kept for the run; while the
// overlay is off it makes no GL call at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ShaderRegistry;

struct OverlayReadout {
    double musicTime = 0.0;   // seconds
    double row = 0.0;         // rows
    bool onBeatGrid = false;  // false before the tempo grid starts (bar and beat unset)
    int bar = 0;              // from 1
    double beat = 0.0;        // from 1, fractional
    int scene = 1;
    int cameraMode = 0;       // of track::cameraMode's value
    bool paused = false;
    bool looping = false;
    double loopStart = 0.0;   // seconds
    double loopEnd = -1.0;    // seconds; below 0: the end of the production
    double frameSeconds = 0.0;  // seconds between the last two frames
    int slowdown = 1;           // playback at 1/slowdown of its speed: 1, 2 or 4
};

struct Overlay {
    bool visible = false;           // toggled by H; off at start
    uint32_t program = 0;           // GL program, 0 until the first draw
    uint32_t vertexBuffer = 0;      // GL buffer for the glyph quads
    std::vector<char> vertices;     // stb_easy_font's output, sized once
    char text[4096] = "";           // the lines of the frame being drawn
};

// Writes the readout, the errors of the timeline's last rejected save and
// the compile errors of every shader that does not build now into text (at
// most capacity bytes, cut short if longer). No allocation.
void formatOverlayText(const OverlayReadout& readout, const std::vector<std::string>& timelineErrors,
                       const ShaderRegistry& shaders, char* text, size_t capacity);
// Draws overlay.text over the back buffer of a width x height drawable
// (pixels) when the overlay is visible; nothing at all when it is not.
void drawOverlay(Overlay& overlay, int width, int height);
