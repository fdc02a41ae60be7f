// The windowed build's editing tool behind the few calls its frame loop
// makes: the transport (pause, jumps, sections, a loop), the live timeline,
// shader reloads, the debugging keys (D volume, T time, G GPU profile) and
// the H readout. The session lives in static storage for the whole run; the
// full-screen build makes none of these calls.
#pragma once

#include <string>
#include <vector>

#include "app/live_timeline.h"
#include "app/music.h"
#include "app/overlay.h"
#include "app/transport.h"

struct AppWindow;
struct Demo;
struct ProductionTracks;

struct EditSession {
    Transport transport;
    TimelineWatch timeline;
    Overlay overlay;
    std::vector<std::string> messages;  // lines the timeline poll asks to print
    bool catchUpPending = false;        // the Demo must be brought to the next frame's time
    double startTime = 0.0;             // seconds of the steady clock when the window opened
    double lastFrameStart = 0.0;        // seconds of the steady clock
    double frameSeconds = 0.0;          // between the last two frame starts
    float volumeToggle = 0.0f;          // the volume D sets next time: 0 or 1
    float lastToggleTime = 0.0f;        // seconds since startTime of the last D toggle
    bool gpuKeyWasDown = false;
};

// Notes the wall clock the run's D debounce counts from; once the window is open.
void beginEditing(EditSession& edit);
// Once the tracks are open: watches the timeline source and its event file
// (without sync/events.txt the timeline compiles from its own keys alone).
void watchTimeline(EditSession& edit);
// Before the frame reads the music time: times the frame, swaps in a saved
// timeline and applies the transport keys, seeking the music where they say.
void beginEditFrame(EditSession& edit, MusicStream stream, ProductionTracks& tracks);
// True once the run ends at this music time: past the end, unless looping.
bool editRunEnds(const EditSession& edit, float musicTime /* seconds */);
// After a jump or a new timeline the Demo holds what other frames left, and
// paused, each redraw would move the strand on: either way it is brought to
// the state playback leaves before the frame at the row.
void catchUpEditFrame(EditSession& edit, Demo& demo, const ProductionTracks& tracks, double row);
// With the frame's music time: shader reloads and the D, T and G keys.
void applyEditKeys(EditSession& edit, Demo& demo, MusicStream stream, float musicTime /* seconds */);
// The H readout over the frame just drawn, in the back buffer; nothing while it is off.
void drawEditReadout(EditSession& edit, const AppWindow& window, float musicTime /* seconds */,
                     double row, const float* trackValues);
