// Quillon's entry point: opens the window, loads everything, then plays the
// soundtrack and draws one frame per buffer swap, steered by the music clock
// and the 64 sync tracks, until the music passes its end or Escape is pressed.
// Built twice: the windowed development build, and with QUILLON_FULLSCREEN the
// full-screen build without shader polling, debugging keys or wall clock.
// The windowed build is also the production's editing tool (app/editing.h);
// the full-screen build's editing calls below do nothing.
#include "app/demo.h"
#include "app/music.h"
#include "app/production.h"
#include "app/timeline.h"
#include "app/window.h"
#include "sync/track_names.h"

#ifndef QUILLON_FULLSCREEN
#include "app/editing.h"
#endif

#include <cstdio>

namespace {

#ifdef QUILLON_FULLSCREEN
constexpr WindowVariant windowVariant = WindowVariant::FullScreen;

struct EditSession {};
void beginEditing(EditSession&) {}
void watchTimeline(EditSession&) {}
void beginEditFrame(EditSession&, MusicStream, ProductionTracks&) {}
bool editRunEnds(const EditSession&, float musicTime) { return runHasEnded(musicTime); }
void catchUpEditFrame(EditSession&, Demo&, const ProductionTracks&, double) {}
void applyEditKeys(EditSession&, Demo&, MusicStream, float) {}
void drawEditReadout(EditSession&, const AppWindow&, float, double, const float*) {}
#else
constexpr WindowVariant windowVariant = WindowVariant::Windowed;
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
    static EditSession edit;
    beginEditing(edit);

    loadProductionMeshes();
    printf("rock'n'roll2\n");
    if (!initMusicDevice(44100))
        printf("failed to init bass\n");
    const MusicStream stream = openMusicStream("data/drumveil.mp3");
    if (!stream)
        printf("failed to open tune");

    // Without a device every track stays null and reads 0.0.
    static ProductionTracks tracks;
    openProductionTracks(tracks);
    if (!tracks.device)
        printf("synctracker shit - out of memory?\n");
    printf("rock'n'roll\n");
    // One missing file is part of the timeline's design; all of them missing
    // means a black picture with no reason given, so say it once.
    if (countKeyedTracks(tracks) == 0)
        printf("no sync track file could be read (sync/sync_0.track to sync/sync_63.track): "
               "every track reads 0\n");

    static Demo demo;
    loadDemo(demo);
    watchTimeline(edit);

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
        beginEditFrame(edit, stream, tracks);

        // Read twice on purpose: the row the tracks are sampled at and the
        // time the scenes animate with are two reads of the music clock, as
        // the production was timed with; the clock may move between them.
        const double row = rowAt(musicBytesToSeconds(stream, musicBytePosition(stream)));
        const float musicTime = float(musicBytesToSeconds(stream, musicBytePosition(stream)));
        if (editRunEnds(edit, musicTime))
            break;
        catchUpEditFrame(edit, demo, tracks, row);

        sampleProductionTracks(tracks, row, trackValues);
        applyEditKeys(edit, demo, stream, musicTime);
        drawFrameAt(demo, trackValues, row, musicTime);
        drawEditReadout(edit, window, musicTime, row, trackValues);
        // The audio mixes on SDL's own thread: nothing to do for it per frame.
        swapAppWindow(window);
    }

    destroyDemo(demo);
    releaseProductionTracks(tracks);
    releaseAppWindow(window);
    closeMusicDevice();
    return 0;
}
