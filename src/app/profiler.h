// Frame profiler: splits a stretch of CPU work into named sections between
// marks and prints each section's time in milliseconds. Owns two lists that
// keep their storage across frames; the Demo holds the one instance.
// Optionally (off by default) it also times the sections on the GPU: one GL
// timestamp query per mark, read back a few frames later so nothing waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The driver calls of the GPU profile; gpuQueryFunctionsGL issues the GL
// ones, a test may stand in for the driver.
struct GpuQueryFunctions {
    bool (*supported)();                            // timestamps can be queried
    void (*create)(int32_t count, uint32_t* ids);   // makes count query objects
    void (*writeTimestamp)(uint32_t id);            // GPU time when the commands so far are done
    bool (*available)(uint32_t id);                 // the result can be read without waiting
    uint64_t (*result)(uint32_t id);                // nanoseconds; only asked when available
};
const GpuQueryFunctions& gpuQueryFunctionsGL();

constexpr int32_t gpuProfileFrames = 6;  // frames whose queries may be in flight at once
constexpr int32_t gpuProfileMarks = 32;  // marks per frame timed on the GPU; later ones are not

// One frame's marks as sent to the GPU, kept until its results are back.
struct GpuProfileFrame {
    uint32_t queries[gpuProfileMarks] = {};
    int32_t markCount = 0;         // marks with a query; 0: the slot is free
    bool pending = false;          // results not read yet
    double cpuSeconds[gpuProfileMarks] = {};   // the marks' CPU times, seconds
    std::string names[gpuProfileMarks];        // the marks' names, storage reused
};

struct GpuProfile {
    bool enabled = false;
    bool created = false;          // query objects exist
    GpuQueryFunctions functions = {};
    GpuProfileFrame frames[gpuProfileFrames];
    int32_t current = -1;          // slot of the frame being marked, -1 when none
    int32_t nextSlot = 0;
    // The newest frame whose results came back, in the layout of a report.
    int32_t readyCount = 0;        // marks in it; 0 when none
    double readyCpu[gpuProfileMarks] = {};  // seconds
    double readyGpu[gpuProfileMarks] = {};  // seconds, relative to the first mark
    std::string readyNames[gpuProfileMarks];
    int64_t framesDropped = 0;     // frames whose results were not back in time: skipped, not awaited
    double printInterval = 1.0;    // seconds between printed GPU profiles
    double lastPrint = -1.0e9;     // seconds, profiler time base
};

struct Profiler {
    Profiler();

    int64_t startCount = 0;       // clock ticks at construction
    double secondsPerTick = 0.0;  // seconds per clock tick
    std::vector<double> times;    // seconds from startCount to each mark
    std::vector<std::string> names;  // name of each mark; section k is named by mark k
    std::vector<std::string> spareNames;  // texts of earlier frames, reused so marks allocate nothing
    GpuProfile gpu;               // off unless setGpuProfiling turns it on
};

// Empties both lists (keeping their storage) and sets an unnamed first mark.
// With the GPU profile on it first collects every frame whose results are
// back and prints the newest once per printInterval.
void beginFrame(Profiler& profiler);
// Appends the name, then the time of the mark (and its GPU timestamp when on).
void mark(Profiler& profiler, std::string_view name);
// Closes the last section with an unnamed mark and prints every section and the total.
void report(Profiler& profiler);
// Frees the lists.
void releaseProfiler(Profiler& profiler);

// Turns the GPU profile on or off; false (and off) when the driver has no
// timestamp queries. Query objects are made on first use, with the given
// functions (the GL ones by default), and kept.
bool setGpuProfiling(Profiler& profiler, bool on,
                     const GpuQueryFunctions& functions = gpuQueryFunctionsGL());
// Prints the newest frame that came back from the GPU: each section's CPU and
// GPU milliseconds, then the totals; nothing when none came back yet.
void reportGpu(const Profiler& profiler);
