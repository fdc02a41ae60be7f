// Whole-frame cost of each scene with the production's data, timelines and
// shaders, at one moment of each stretch of the production: every iteration
// draws the frame at one music time and waits for GL to finish it, so the
// time is what the frame costs on this machine's GL, not just what the CPU
// spends issuing it. Each benchmark also reports, for one more frame, the GPU
// time (timestamp queries at the profiler's marks), the draws, smooth line
// segments (segment-batch quads) and wireframe triangle edges the drawing
// helpers issued, the primitives and fragments (samples passed) GL counted,
// and the vertex bytes uploaded; after the table comes the GPU time of every
// pass. Run from the repository root (data/ and sync/ are
// read relative to it); no display is needed (the hidden window falls back to
// an offscreen EGL surface):
//
//   ./build/bench/frame_bench [--size WxH] [benchmark options]
//
// --size sets the window's drawable (1280x720 by default); the render targets
// keep the design size whatever it is. Away from the data every benchmark
// reports an error and skips; without a window and GL context the program
// says why on stderr and exits with 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include "quietly.h"

#include "app/offscreen.h"
#include "app/profiler.h"
#include "render/draw.h"

namespace {

int width = 1280;  // pixels
int height = 720;  // pixels

// One moment of each stretch of the production (seconds of music).
struct Moment {
    const char* name;
    double musicTime;  // seconds
};
const Moment moments[] = {
    {"BM_Scene1Frame8s", 8.0},     // intro
    {"BM_Scene1Frame20s", 20.0},   // hats
    {"BM_Scene1Frame30s", 30.0},   // pulse
    {"BM_Scene1Frame60s", 60.0},   // groove
    {"BM_Scene1Frame75s", 75.0},   // groove, lines at their widest
    {"BM_Scene1Frame77s", 77.5},   // riser
    {"BM_Scene2Frame100s", 100.0}, // halftime
    {"BM_Scene2Frame117s", 117.0}, // the gather: camera mode 3, rim wire spheres
    {"BM_Scene2Frame160s", 160.0}, // drop
    {"BM_Scene2Frame180s", 180.0}, // stop
    {"BM_Scene2Frame195s", 195.0}, // outro
};

// GPU milliseconds of each pass of the last frame measured at one moment.
struct PassTimes {
    std::string benchmark;
    std::vector<std::string> names;
    std::vector<double> cpuMilliseconds;
    std::vector<double> gpuMilliseconds;
};
std::vector<PassTimes> passTable;
bool gpuTimed = false;

// The production, loaded on the first request; null, with why in reason,
// when it cannot be.
OffscreenProduction* production(const char*& reason)
{
    static OffscreenProduction loaded;
    static const char* failure = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (!std::filesystem::exists("data/seq1") || !std::filesystem::exists("sync"))
            failure = "data/ and sync/ not found: run from the repository root";
        else {
            bool ok = false;
            quietly([&ok] { ok = loadOffscreenProduction("frame bench", width, height, loaded); });
            if (!ok) {
                // A GL program without GL ends at once, saying why.
                fprintf(stderr, "frame bench: %s\n", loaded.window.failure);
                exit(1);
            }
            // Timestamps at every mark of every frame; the profile never
            // prints here, the pass table below reads it.
            gpuTimed = setGpuProfiling(loaded.demo.profiler, true);
            loaded.demo.profiler.gpu.printInterval = 1e300;
        }
    }
    reason = failure;
    return failure ? nullptr : &loaded;
}

// Draws one more frame with GL counting what it does, and reports it.
void countFrame(benchmark::State& state, OffscreenProduction& loaded, const Moment& moment)
{
    GLuint queries[2] = {};
    glGenQueries(2, queries);
    drawCounters = DrawCounters{};
    drawCounters.countWireEdges = true;
    glBeginQuery(GL_PRIMITIVES_GENERATED, queries[0]);
    glBeginQuery(GL_SAMPLES_PASSED, queries[1]);
    drawProductionFrame(loaded, moment.musicTime);
    glEndQuery(GL_SAMPLES_PASSED);
    glEndQuery(GL_PRIMITIVES_GENERATED);
    glFinish();
    GLuint64 primitives = 0, samples = 0;
    glGetQueryObjectui64v(queries[0], GL_QUERY_RESULT, &primitives);
    glGetQueryObjectui64v(queries[1], GL_QUERY_RESULT, &samples);
    glDeleteQueries(2, queries);
    drawCounters.countWireEdges = false;

    state.counters["draws"] = double(drawCounters.draws);
    state.counters["segments"] = double(drawCounters.segments);
    state.counters["wire_edges"] = double(drawCounters.wireEdges);
    state.counters["prims"] = double(primitives);
    state.counters["fragments"] = double(samples);
    state.counters["upload_MB"] = double(drawCounters.bytesUploaded) / 1e6;

    // The counting frame collected the results of the frames before it.
    const GpuProfile& gpu = loaded.demo.profiler.gpu;
    if (!gpuTimed || gpu.readyCount < 2) return;
    state.counters["gpu_ms"] = gpu.readyGpu[gpu.readyCount - 1] * 1000.0;
    PassTimes passes;
    passes.benchmark = moment.name;
    for (int32_t i = 1; i < gpu.readyCount; ++i) {
        passes.names.push_back(gpu.readyNames[i]);
        passes.cpuMilliseconds.push_back((gpu.readyCpu[i] - gpu.readyCpu[i - 1]) * 1000.0);
        passes.gpuMilliseconds.push_back((gpu.readyGpu[i] - gpu.readyGpu[i - 1]) * 1000.0);
    }
    // A benchmark may run more than once (a trial run first); keep its last.
    for (PassTimes& earlier : passTable)
        if (earlier.benchmark == passes.benchmark) {
            earlier = std::move(passes);
            return;
        }
    passTable.push_back(std::move(passes));
}

// Draws the frame at the music time per iteration, GL work included.
void measureFrame(benchmark::State& state, const Moment& moment)
{
    const double musicTime = moment.musicTime;
    const char* reason = nullptr;
    OffscreenProduction* loaded = production(reason);
    if (!loaded) {
        state.SkipWithError(reason);
        return;
    }
    catchUpProduction(*loaded, musicTime);
    // One untimed frame first: the driver compiles each shader variant on its
    // first draw, a cost playback pays once, not every frame.
    drawProductionFrame(*loaded, musicTime);
    glFinish();
    for (auto _ : state) {
        drawProductionFrame(*loaded, musicTime);
        glFinish();
    }
    countFrame(state, *loaded, moment);
}

void printPassTable()
{
    if (passTable.empty()) {
        if (!gpuTimed) printf("\nno GPU pass times: the driver has no timestamp queries\n");
        return;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    printf("\nGPU time per pass, one frame each, %dx%d, on %s (ms)\n", width, height,
           renderer ? renderer : "an unknown renderer");
    for (const PassTimes& passes : passTable) {
        printf("\n%s\n", passes.benchmark.c_str());
        printf("  %-34s %9s %9s\n", "pass", "cpu", "gpu");
        for (size_t i = 0; i < passes.names.size(); ++i)
            printf("  %-34s %9.3f %9.3f\n", passes.names[i].empty() ? "(to the end)" : passes.names[i].c_str(),
                   passes.cpuMilliseconds[i], passes.gpuMilliseconds[i]);
    }
}

// Takes --size WxH (or --size=WxH) out of the arguments; false when malformed.
bool takeSizeOption(int& argc, char** argv)
{
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        const char* value = nullptr;
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            value = argv[++i];
        else if (std::strncmp(argv[i], "--size=", 7) == 0)
            value = argv[i] + 7;
        else {
            argv[out++] = argv[i];
            continue;
        }
        if (std::sscanf(value, "%dx%d", &width, &height) != 2 || width < 16 || height < 16 ||
            width > 8192 || height > 8192)
            return false;
    }
    argc = out;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!takeSizeOption(argc, argv)) {
        fprintf(stderr, "usage: frame_bench [--size WxH] [benchmark options]\n");
        return 2;
    }
    // Wall-clock time, so the driver's own threads count; frames take tenths
    // of a second on a software rasterizer, so each runs for at least 2 s.
    for (const Moment& moment : moments)
        benchmark::RegisterBenchmark(moment.name, [&moment](benchmark::State& state) {
            measureFrame(state, moment);
        })->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    printPassTable();
    benchmark::Shutdown();
    return 0;
}
