// The windowed build's transport: pause, jumps by seconds and by section,
// and a loop between two marked times. Plain record and pure functions; the
// frame loop reads the keys, asks here where the music time goes, and moves
// the music and the Demo there itself.
#pragma once

#include <vector>

struct Transport {
    bool paused = false;
    bool looping = false;      // L; wraps only while playing
    double loopStart = 0.0;    // seconds, set by '['
    double loopEnd = -1.0;     // seconds, set by ']'; below 0: the end of the production
    int slowdown = 1;          // S; the music plays at 1/slowdown of its speed: 1, 2 or 4
};

// A section counts as the one being played only this long after its start,
// so that Page Up pressed right after a jump goes on to the one before (seconds).
constexpr double sectionRestartGrace = 0.5;

// Where a jump to `seconds` lands: never before 0, and never at or past the
// end (seconds); past it, on the last row before the end.
double jumpLanding(double seconds, double end);
// A jump by `step` seconds from now (negative: back), landed as above.
double stepLanding(double now, double step, double end);
// Page Up: the latest section start at least sectionRestartGrace before now;
// 0 when there is none. Starts in seconds, ascending.
double previousSectionStart(const std::vector<double>& starts, double now);
// Page Down: the first section start after now; now itself when there is none.
double nextSectionStart(const std::vector<double>& starts, double now);

// '[': the loop starts now; an end at or before now is dropped.
void markLoopStart(Transport& transport, double now);
// ']': the loop ends now; a start at or after now goes back to 0.
void markLoopEnd(Transport& transport, double now);
// The time the loop wraps at: its end, or the end of the production.
double loopWrapTime(const Transport& transport, double end);
// Where the music goes this frame: the loop's start once a playing, looping
// transport has reached the wrap time; otherwise -1 (stay).
double loopWrapLanding(const Transport& transport, double now, double end);
// S: full speed, then half, then a quarter, then full again.
int nextSlowdown(int slowdown);
// The run ends once the music passes the end, unless looping.
bool transportEndsRun(const Transport& transport, float musicTime);
