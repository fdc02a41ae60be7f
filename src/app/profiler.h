// Frame profiler: splits a stretch of CPU work into named sections between
// marks and prints each section's time in milliseconds. Owns two lists that
// keep their storage across frames; the Demo holds the one instance.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Profiler {
    Profiler();

    int64_t startCount = 0;       // clock ticks at construction
    double secondsPerTick = 0.0;  // seconds per clock tick
    std::vector<double> times;    // seconds from startCount to each mark
    std::vector<std::string> names;  // name of each mark; section k is named by mark k
    std::vector<std::string> spareNames;  // texts of earlier frames, reused so marks allocate nothing
};

// Empties both lists (keeping their storage) and sets an unnamed first mark.
void beginFrame(Profiler& profiler);
// Appends the name, then the time of the mark.
void mark(Profiler& profiler, std::string_view name);
// Closes the last section with an unnamed mark and prints every section and the total.
void report(Profiler& profiler);
// Frees the lists.
void releaseProfiler(Profiler& profiler);
