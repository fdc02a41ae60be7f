// Whole-frame cost of each scene at 1280x720 with the production's data,
// timelines and shaders: every iteration draws the frame at one music time
// and waits for GL to finish it, so the time is what the frame costs on this
// machine's GL, not just what the CPU spends issuing it. Run from the
// repository root (data/ and sync/ are read relative to it), with a display:
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" ./build/bench/frame_bench
//
// Away from the data every benchmark reports an error and skips; without a
// window and GL context the program says why on stderr and exits with 1.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include "quietly.h"

#include "app/offscreen.h"

namespace {

constexpr int kWidth = 1280;  // pixels
constexpr int kHeight = 720;  // pixels

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
            quietly([&ok] { ok = loadOffscreenProduction("frame bench", kWidth, kHeight, loaded); });
            if (!ok) {
                // A GL program without GL ends at once, saying why.
                fprintf(stderr, "frame bench: %s\n", loaded.window.failure);
                exit(1);
            }
        }
    }
    reason = failure;
    return failure ? nullptr : &loaded;
}

// Draws the frame at the music time (seconds) per iteration, GL work included.
void measureFrame(benchmark::State& state, double musicTime)
{
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
}

void BM_Scene1Frame30s(benchmark::State& state) { measureFrame(state, 30.0); }
void BM_Scene1Frame75s(benchmark::State& state) { measureFrame(state, 75.0); }
void BM_Scene2Frame100s(benchmark::State& state) { measureFrame(state, 100.0); }
void BM_Scene2Frame160s(benchmark::State& state) { measureFrame(state, 160.0); }

// Wall-clock time, so the driver's own threads count; frames take tenths of a
// second on a software rasterizer, so each runs for at least 2 s.
BENCHMARK(BM_Scene1Frame30s)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scene1Frame75s)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scene2Frame100s)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Scene2Frame160s)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
