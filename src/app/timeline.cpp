#include "app/timeline.h"

double rowAt(double seconds)
{
    return seconds * rowsPerSecond;
}

int sceneForRow(double row)
{
    // Truncation toward zero: row 1263.999 still draws scene 1. Compared in
    // double, which is the same for every row an int holds and defined for
    // the others (a NaN row draws scene 1).
    return row >= double(firstRowOfSecondScene) ? 2 : 1;
}

bool runHasEnded(float musicTime)
{
    // The float is widened: 207.6f (207.60000610) already ends the run,
    // the largest float below 207.6 does not.
    return double(musicTime) > endOfProduction;
}

bool volumeToggleAccepted(float wallClock, float lastToggleTime)
{
    return double(wallClock) - double(lastToggleTime) > volumeToggleDebounce;
}
