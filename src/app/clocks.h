// The two clocks the program reads, one helper each. The steady clock never
// jumps and times frames, the music's silent clock and the profiler; the
// system clock is the one file modification times are stamped in.
#pragma once

#include <cstdint>

// Ticks of the steady clock from an arbitrary origin, and the length of one.
int64_t steadyClockTicks();
double steadyClockTickSeconds();
// The steady clock in seconds.
double steadyClockSeconds();
// Seconds since 1970 on the system clock.
double systemClockSeconds();
