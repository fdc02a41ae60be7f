// The timeline's fixed decisions: music seconds to rows, which scene a row
// draws, when the run ends, and the D key's debounce. Pure functions, so the
// frame loop's choices can be tested without a window.
#pragma once

#include "sync/sync.h"

constexpr double endOfProduction = 207.6;  // seconds
constexpr int firstRowOfSecondScene = 1264;  // 79.0 s
constexpr double volumeToggleDebounce = 0.1;  // seconds of wall clock

// Rows at a music position (seconds).
double rowAt(double seconds);
// 1 for the first scene, 2 for the second, from the integer part of the row.
int sceneForRow(double row);
// True once the float music time is past the end, compared as a double.
bool runHasEnded(float musicTime);
// True when a D press at wallClock may toggle the volume again (seconds).
bool volumeToggleAccepted(float wallClock, float lastToggleTime);
