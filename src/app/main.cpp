// Quillon's entry point: opens the window, loads everything, then plays the
// soundtrack and draws one frame per buffer swap, steered by the music clock
// and the 64 sync tracks, until the music passes its end or Escape is pressed.
// Built twice: the windowed development build, and with QUILLON_FULLSCREEN the
// full-screen build without shader polling, debugging keys or wall clock.
#include "app/demo.h"
#include "app/music.h"
#include "app/timeline.h"
#include "app/window.h"
#include "assets/mesh.h"
#include "assets/shader.h"
#include "scenes/scenes.h"
#include "sync/sync.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int trackCount = 64;

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
#endif

} // namespace

int main(int, char**)
{
    // Line-buffered, so every line printed before a failure reaches a log.
    setvbuf(stdout, nullptr, _IOLBF, 0);
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

    startMusicOutput();
    playMusic(stream);
    setMusicVolume(stream, 1.0f);

    float trackValues[trackCount] = {};
    for (;;) {
        handleWindowEvents(window);
        if (window.quitRequested)
            break;
        if (windowHasFocus(window) && keyCountsAsPressed(SDLK_ESCAPE))
            break;

        const double row = rowAt(musicBytesToSeconds(stream, musicBytePosition(stream)));
        const float musicTime = float(musicBytesToSeconds(stream, musicBytePosition(stream)));
#ifndef QUILLON_FULLSCREEN
        const float wallClock = float(wallSeconds() - startTime);
#endif
        if (runHasEnded(musicTime))
            break;

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

        swapAppWindow(window);
        updateMusic();
    }

    destroyDemo(demo);
    releaseAppWindow(window);
    closeMusicDevice();
    return 0;
}
