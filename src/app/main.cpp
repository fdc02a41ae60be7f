// Quillon's entry point: opens the window, loads everything, then plays the
// soundtrack and draws one frame per buffer swap, steered by the music clock
// and the 64 sync tracks, until the music passes its end or Escape is pressed.
// Built twice: the windowed development build, and with QUILLON_FULLSCREEN the
// full-screen build without shader polling, debugging keys or wall clock.
// The windowed build is also the production's editing tool: a transport
// (pause, jumps, sections, a loop), the live timeline and the H readout.
#include "app/demo.h"
#include "app/music.h"
#include "app/timeline.h"
#include "app/window.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "scenes/scenes.h"
#include "sync/sync.h"
#include "sync/track_names.h"

#ifndef QUILLON_FULLSCREEN
#include "app/live_timeline.h"
#include "app/overlay.h"
#include "app/transport.h"
#include "scenes/catch_up.h"
#include "scenes/scene_math.h"
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

#ifdef QUILLON_FULLSCREEN
constexpr WindowVariant windowVariant = WindowVariant::FullScreen;
#else
constexpr WindowVariant windowVariant = WindowVariant::Windowed;
#endif

#ifndef QUILLON_FULLSCREEN
double wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The editing tool's state from frame to frame.
struct EditSession {
    Transport transport;
    TimelineWatch timeline;
    Overlay overlay;
    std::vector<std::string> messages;  // lines the timeline poll asks to print
    bool catchUpPending = false;        // the Demo must be brought to the next frame's time
    double lastFrameStart = 0.0;        // seconds of wall clock
    double frameSeconds = 0.0;          // between the last two frame starts
};

// Applies the transport keys pressed since the last frame at music time now
// (seconds); the time to jump to, or -1 to stay.
double applyTransportKeys(EditSession& edit, MusicStream stream, double now)
{
    Transport& transport = edit.transport;
    double target = -1.0;
    const auto from = [&] { return target >= 0.0 ? target : now; };
    bool shift = false;
    if (takeKeyTap(SDLK_SPACE)) {
        transport.paused = !transport.paused;
        pauseMusic(stream, transport.paused);
    }
    if (takeKeyTap(SDLK_LEFT, &shift))
        target = stepLanding(from(), shift ? -10.0 : -1.0, endOfProduction);
    if (takeKeyTap(SDLK_RIGHT, &shift))
        target = stepLanding(from(), shift ? 10.0 : 1.0, endOfProduction);
    if (takeKeyTap(SDLK_HOME))
        target = 0.0;
    if (takeKeyTap(SDLK_PAGEUP))
        target = previousSectionStart(edit.timeline.sectionStarts, from());
    if (takeKeyTap(SDLK_PAGEDOWN))
        target = jumpLanding(nextSectionStart(edit.timeline.sectionStarts, from()), endOfProduction);
    if (takeKeyTap(SDLK_LEFTBRACKET))
        markLoopStart(transport, from());
    if (takeKeyTap(SDLK_RIGHTBRACKET))
        markLoopEnd(transport, from());
    if (takeKeyTap(SDLK_l))
        transport.looping = !transport.looping;
    if (takeKeyTap(SDLK_h))
        edit.overlay.visible = !edit.overlay.visible;
    if (target < 0.0)
        target = loopWrapLanding(transport, now, endOfProduction);
    return target;
}

// The readout of the frame just drawn, over it in the back buffer.
void drawReadout(EditSession& edit, const AppWindow& window, double musicTime, double row,
                 const float* trackValues)
{
    OverlayReadout readout;
    readout.musicTime = musicTime;
    readout.row = row;
    readout.onBeatGrid = barBeatAtSeconds(edit.timeline.tempoGrid, musicTime, readout.bar, readout.beat);
    readout.scene = sceneForRow(row);
    readout.cameraMode = cameraModeOf(trackValues[track::cameraMode]);  // a NaN or huge track value reads 0
    readout.paused = edit.transport.paused;
    readout.looping = edit.transport.looping;
    readout.loopStart = edit.transport.loopStart;
    readout.loopEnd = edit.transport.loopEnd;
    readout.frameSeconds = edit.frameSeconds;
    formatOverlayText(readout, shaderRegistry, edit.overlay.text, sizeof edit.overlay.text);
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window.hwnd, &width, &height);
    drawOverlay(edit.overlay, width, height);
}
#endif

} // namespace

int main(int, char**)
{
    // Line-buffered, so every line printed before a failure reaches a log.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    beginStartUpSignals();
    // The tune decodes on its own thread while the window and the data load;
    // openMusicStream below takes the decode over.
    beginMusicDecode("data/drumveil.mp3");

    AppWindow window;
    // Nothing below can run without a window and GL; the line is printed.
    if (!createAppWindow("morvanders - telquist", windowVariant, window))
        return 1;

#ifndef QUILLON_FULLSCREEN
    const double startTime = wallSeconds();
#endif

    createQuadMesh(screenQuad0);
    createQuadMesh(screenQuad1);
    loadMeshFile("data/tovel3/scene4/skydome.3DS");

    printf("rock'n'roll2\n");
    if (!initMusicDevice(44100))
        printf("failed to init bass\n");
    const MusicStream stream = openMusicStream("data/drumveil.mp3");
    if (!stream)
        printf("failed to open tune");

    SyncDevice* syncDevice = createSyncDevice("sync/sync");
    if (!syncDevice)
        printf("synctracker shit - out of memory?\n");
    printf("rock'n'roll\n");

#ifndef QUILLON_FULLSCREEN
    float volumeToggle = 0.0f;
    float lastToggleTime = 0.0f;
    bool gpuKeyWasDown = false;
#endif

    // Without a device every track stays null and reads 0.0.
    SyncTrack* tracks[trackCount] = {};
    for (int i = 0; i < trackCount; ++i)
        tracks[i] = getSyncTrack(syncDevice, std::to_string(i).c_str());
    // One missing file is part of the timeline's design; all of them missing
    // means a black picture with no reason given, so say it once.
    int readableTracks = 0;
    for (SyncTrack* track : tracks)
        if (track && track->numKeys > 0) ++readableTracks;
    if (readableTracks == 0)
        printf("no sync track file could be read (sync/sync_0.track to sync/sync_63.track): "
               "every track reads 0\n");

    static Demo demo;
    loadDemo(demo);

#ifndef QUILLON_FULLSCREEN
    static EditSession edit;
    // Without the soundtrack's event file the timeline compiles as the build
    // then does: from its hand-written keys alone.
    const char* eventsPath = readFileStamp("sync/events.txt").exists ? "sync/events.txt" : "";
    beginTimelineWatch(edit.timeline, CompileOptions{"sync/production.timeline", eventsPath, "sync/sync"});
    const TrackSampler sampleTracks = [&tracks](double row, float* values) {
        for (int i = 0; i < trackCount; ++i)
            values[i] = float(getSyncValue(tracks[i], row));
    };
#endif

    startMusicOutput();
    playMusic(stream);
    setMusicVolume(stream, 1.0f);
    endStartUpSignals();

    float trackValues[trackCount] = {};
    for (;;) {
        handleWindowEvents(window);
        if (window.quitRequested)
            break;
        if (windowHasFocus(window) && keyCountsAsPressed(SDLK_ESCAPE))
            break;

#ifndef QUILLON_FULLSCREEN
        const double frameStart = wallSeconds();
        edit.frameSeconds = edit.lastFrameStart > 0.0 ? frameStart - edit.lastFrameStart : 0.0;
        edit.lastFrameStart = frameStart;
        // A saved timeline is swapped in between two frames.
        edit.messages.clear();
        if (pollTimelineFiles(edit.timeline, wallClockSeconds(), tracks, edit.messages) ==
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
#endif

        const double row = rowAt(musicBytesToSeconds(stream, musicBytePosition(stream)));
        const float musicTime = float(musicBytesToSeconds(stream, musicBytePosition(stream)));
#ifndef QUILLON_FULLSCREEN
        const float wallClock = float(wallSeconds() - startTime);
        if (transportEndsRun(edit.transport, musicTime))
            break;
        // After a jump or a new timeline the Demo holds what other frames
        // left; paused, each redraw would move the strand on. Either way the
        // frame is drawn from the state playback leaves before it.
        if (edit.catchUpPending || edit.transport.paused) {
            catchUpToTime(demo, row / rowsPerSecond, sampleTracks);
            edit.catchUpPending = false;
        }
#else
        if (runHasEnded(musicTime))
            break;
#endif

        for (int i = 0; i < trackCount; ++i)
            trackValues[i] = float(getSyncValue(tracks[i], row));

#ifndef QUILLON_FULLSCREEN
        pollShaderFiles();
        if (keyCountsAsPressed(SDLK_d) && volumeToggleAccepted(wallClock, lastToggleTime)) {
            volumeToggle = volumeToggle == 0.0f ? 1.0f : 0.0f;
            lastToggleTime = wallClock;
            setMusicVolume(stream, volumeToggle);
            printf("volume = %f\n", volumeToggle);
        }
        if (keyCountsAsPressed(SDLK_t))
            printf("bass_time = %f\n", musicTime);
        // G turns the GPU profile on and off, once per press however long held.
        const bool gpuKeyDown = keyCountsAsPressed(SDLK_g);
        if (gpuKeyDown && !gpuKeyWasDown)
            setGpuProfiling(demo.profiler, !demo.profiler.gpu.enabled);
        gpuKeyWasDown = gpuKeyDown;
#endif

        if (sceneForRow(row) == 2)
            drawScene2(trackValues, demo, double(musicTime));
        else
            drawScene1(trackValues, demo, double(musicTime));

#ifndef QUILLON_FULLSCREEN
        // Drawn last, over the tone-mapped frame; absent while off.
        if (edit.overlay.visible)
            drawReadout(edit, window, double(musicTime), row, trackValues);
#endif
        swapAppWindow(window);
        updateMusic();
    }

    destroyDemo(demo);
    releaseSyncDevice(syncDevice);
    releaseAppWindow(window);
    closeMusicDevice();
    return 0;
}
