#include "app/editing.h"

#include <cstdio>

#include "app/clocks.h"
#include "app/demo.h"
#include "app/production.h"
#include "app/timeline.h"
#include "app/window.h"
#include "assets/shader.h"
#include "scenes/scene_math.h"
#include "sync/track_names.h"

namespace {

// Applies the transport keys pressed since the last frame at music time now
// (seconds); the time to jump to, or -1 to stay.
double applyTransportKeys(EditSession& edit, MusicStream stream, double now)
{
    Transport& transport = edit.transport;
    double target = -1.0;
    const auto from = [&] { return target >= 0.0 ? target : now; };
    bool shift = false;
    // Every press counts, however many fell inside one frame.
    while (takeKeyTap(SDLK_SPACE)) {
        transport.paused = !transport.paused;
        pauseMusic(stream, transport.paused);
    }
    while (takeKeyTap(SDLK_s)) {
        transport.slowdown = nextSlowdown(transport.slowdown);
        setMusicSlowdown(stream, transport.slowdown);
    }
    while (takeKeyTap(SDLK_LEFT, &shift))
        target = stepLanding(from(), shift ? -10.0 : -1.0, endOfProduction);
    while (takeKeyTap(SDLK_RIGHT, &shift))
        target = stepLanding(from(), shift ? 10.0 : 1.0, endOfProduction);
    while (takeKeyTap(SDLK_HOME))
        target = 0.0;
    while (takeKeyTap(SDLK_PAGEUP))
        target = previousSectionStart(edit.timeline.sectionStarts, from());
    while (takeKeyTap(SDLK_PAGEDOWN))
        target = jumpLanding(nextSectionStart(edit.timeline.sectionStarts, from()), endOfProduction);
    while (takeKeyTap(SDLK_LEFTBRACKET))
        markLoopStart(transport, from());
    while (takeKeyTap(SDLK_RIGHTBRACKET))
        markLoopEnd(transport, from());
    while (takeKeyTap(SDLK_l))
        transport.looping = !transport.looping;
    while (takeKeyTap(SDLK_h))
        edit.overlay.visible = !edit.overlay.visible;
    if (target < 0.0)
        target = loopWrapLanding(transport, now, endOfProduction);
    return target;
}

} // namespace

void beginEditing(EditSession& edit)
{
    edit.startTime = steadyClockSeconds();
}

void watchTimeline(EditSession& edit)
{
    const char* eventsPath = readFileStamp("sync/events.txt").exists ? "sync/events.txt" : "";
    beginTimelineWatch(edit.timeline, CompileOptions{"sync/production.timeline", eventsPath, "sync/sync"});
}

void beginEditFrame(EditSession& edit, MusicStream stream, ProductionTracks& tracks)
{
    const double frameStart = steadyClockSeconds();
    edit.frameSeconds = edit.lastFrameStart > 0.0 ? frameStart - edit.lastFrameStart : 0.0;
    edit.lastFrameStart = frameStart;
    // A saved timeline is swapped in between two frames.
    edit.messages.clear();
    if (pollTimelineFiles(edit.timeline, systemClockSeconds(), tracks.tracks, edit.messages) ==
        TimelinePoll::Reloaded)
        edit.catchUpPending = true;
    for (const std::string& line : edit.messages)
        printf("%s\n", line.c_str());
    const double jumpTarget =
        applyTransportKeys(edit, stream, musicBytesToSeconds(stream, musicBytePosition(stream)));
    if (jumpTarget >= 0.0) {
        seekMusic(stream, jumpTarget);
        edit.catchUpPending = true;
    }
}

bool editRunEnds(const EditSession& edit, float musicTime)
{
    return transportEndsRun(edit.transport, musicTime);
}

void catchUpEditFrame(EditSession& edit, Demo& demo, const ProductionTracks& tracks, double row)
{
    if (edit.catchUpPending || edit.transport.paused) {
        catchUpFrameAt(demo, tracks, row / rowsPerSecond);
        edit.catchUpPending = false;
    }
}

void applyEditKeys(EditSession& edit, Demo& demo, MusicStream stream, float musicTime)
{
    const float wallClock = float(steadyClockSeconds() - edit.startTime);
    pollShaderFiles();
    if (keyCountsAsPressed(SDLK_d) && volumeToggleAccepted(wallClock, edit.lastToggleTime)) {
        edit.volumeToggle = edit.volumeToggle == 0.0f ? 1.0f : 0.0f;
        edit.lastToggleTime = wallClock;
        setMusicVolume(stream, edit.volumeToggle);
        printf("volume = %f\n", edit.volumeToggle);
    }
    if (keyCountsAsPressed(SDLK_t))
        printf("bass_time = %f\n", musicTime);
    // G turns the GPU profile on and off, once per press however long held.
    const bool gpuKeyDown = keyCountsAsPressed(SDLK_g);
    if (gpuKeyDown && !edit.gpuKeyWasDown)
        setGpuProfiling(demo.profiler, !demo.profiler.gpu.enabled);
    edit.gpuKeyWasDown = gpuKeyDown;
}

void drawEditReadout(EditSession& edit, const AppWindow& window, float musicTime, double row,
                     const float* trackValues)
{
    // Drawn last, over the tone-mapped frame; absent while off.
    if (!edit.overlay.visible)
        return;
    OverlayReadout readout;
    readout.musicTime = double(musicTime);
    readout.row = row;
    readout.onBeatGrid =
        barBeatAtSeconds(edit.timeline.tempoGrid, readout.musicTime, readout.bar, readout.beat);
    readout.scene = sceneForRow(row);
    readout.cameraMode = cameraModeOf(trackValues[track::cameraMode]);  // a NaN or huge track value reads 0
    readout.paused = edit.transport.paused;
    readout.looping = edit.transport.looping;
    readout.loopStart = edit.transport.loopStart;
    readout.loopEnd = edit.transport.loopEnd;
    readout.frameSeconds = edit.frameSeconds;
    readout.slowdown = edit.transport.slowdown;
    formatOverlayText(readout, edit.timeline.errors, shaderRegistry, edit.overlay.text, sizeof edit.overlay.text);
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window.hwnd, &width, &height);
    drawOverlay(edit.overlay, width, height);
}
