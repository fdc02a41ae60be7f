#include "app/profiler.h"

#include "app/clocks.h"

#include <cstdio>

#include <GL/glew.h>

namespace {

double secondsNow(const Profiler& profiler)
{
    return double(steadyClockTicks() - profiler.startCount) * profiler.secondsPerTick;
}

bool timestampsSupported()
{
    return GLEW_ARB_timer_query || GLEW_VERSION_3_3;
}

void createQueryObjects(int32_t count, uint32_t* ids)
{
    glGenQueries(count, ids);
}

void writeTimestampQuery(uint32_t id)
{
    glQueryCounter(id, GL_TIMESTAMP);
}

bool queryResultAvailable(uint32_t id)
{
    GLint available = 0;
    glGetQueryObjectiv(id, GL_QUERY_RESULT_AVAILABLE, &available);
    return available != 0;
}

uint64_t readQueryResult(uint32_t id)
{
    GLuint64 value = 0;
    glGetQueryObjectui64v(id, GL_QUERY_RESULT, &value);
    return value;
}

// Copies a frame whose results are all back into the ready record. The
// timestamps of one frame arrive in order, so the last one being available
// means every earlier one is.
void takeResults(GpuProfile& gpu, GpuProfileFrame& frame)
{
    const uint64_t first = gpu.functions.result(frame.queries[0]);
    for (int32_t k = 0; k < frame.markCount; ++k) {
        const uint64_t stamp = k == 0 ? first : gpu.functions.result(frame.queries[k]);
        gpu.readyGpu[k] = double(int64_t(stamp - first)) * 1e-9;
        gpu.readyCpu[k] = frame.cpuSeconds[k];
        gpu.readyNames[k].assign(frame.names[k]);
    }
    gpu.readyCount = frame.markCount;
    frame.pending = false;
    frame.markCount = 0;
}

// Reads back every frame in flight whose last timestamp is available, oldest
// first; a frame that is not back yet stays in flight, nothing waits.
void collectGpuFrames(GpuProfile& gpu)
{
    for (int32_t age = 1; age <= gpuProfileFrames; ++age) {
        GpuProfileFrame& frame = gpu.frames[(gpu.nextSlot + age - 1) % gpuProfileFrames];
        if (!frame.pending || frame.markCount == 0) continue;
        if (gpu.functions.available(frame.queries[frame.markCount - 1])) takeResults(gpu, frame);
    }
}

// Closes the frame being marked: its CPU times and names go with its queries.
void closeGpuFrame(Profiler& profiler)
{
    GpuProfile& gpu = profiler.gpu;
    if (gpu.current < 0) return;
    GpuProfileFrame& frame = gpu.frames[gpu.current];
    for (int32_t k = 0; k < frame.markCount; ++k) {
        frame.cpuSeconds[k] = profiler.times[size_t(k)];
        frame.names[k].assign(profiler.names[size_t(k)]);
    }
    frame.pending = frame.markCount > 0;
    gpu.current = -1;
}

// Takes the next slot for a new frame. A slot still waiting for its results
// after gpuProfileFrames frames is given up rather than waited for.
void openGpuFrame(GpuProfile& gpu)
{
    GpuProfileFrame& frame = gpu.frames[gpu.nextSlot];
    if (frame.pending) ++gpu.framesDropped;
    frame.pending = false;
    frame.markCount = 0;
    gpu.current = gpu.nextSlot;
    gpu.nextSlot = (gpu.nextSlot + 1) % gpuProfileFrames;
}

} // namespace

Profiler::Profiler()
{
    secondsPerTick = steadyClockTickSeconds();
    startCount = steadyClockTicks();
}

const GpuQueryFunctions& gpuQueryFunctionsGL()
{
    static const GpuQueryFunctions functions = {timestampsSupported, createQueryObjects,
                                                writeTimestampQuery, queryResultAvailable, readQueryResult};
    return functions;
}

void beginFrame(Profiler& profiler)
{
    GpuProfile& gpu = profiler.gpu;
    if (gpu.enabled) {
        closeGpuFrame(profiler);
        collectGpuFrames(gpu);
        const double now = secondsNow(profiler);
        if (gpu.readyCount > 0 && now - gpu.lastPrint >= gpu.printInterval) {
            reportGpu(profiler);
            gpu.lastPrint = now;
            gpu.readyCount = 0;
        }
        openGpuFrame(gpu);
    }
    // Keep the texts (and their storage) of the last frame for the next marks.
    for (std::string& name : profiler.names)
        profiler.spareNames.push_back(std::move(name));
    profiler.names.clear();
    profiler.times.clear();
    mark(profiler, {});
}

void mark(Profiler& profiler, std::string_view name)
{
    // The name is stored before the clock is read, so the copy counts
    // towards the section it closes.
    if (profiler.spareNames.empty()) {
        profiler.names.emplace_back(name);
    } else {
        profiler.names.push_back(std::move(profiler.spareNames.back()));
        profiler.spareNames.pop_back();
        profiler.names.back().assign(name);
    }
    profiler.times.push_back(double(steadyClockTicks() - profiler.startCount) * profiler.secondsPerTick);

    GpuProfile& gpu = profiler.gpu;
    if (gpu.enabled && gpu.current >= 0) {
        GpuProfileFrame& frame = gpu.frames[gpu.current];
        if (frame.markCount < gpuProfileMarks)
            gpu.functions.writeTimestamp(frame.queries[frame.markCount++]);
    }
}

void report(Profiler& profiler)
{
    mark(profiler, {});
    const size_t count = profiler.times.size();
    for (size_t i = 1; i < count; ++i)
        printf("[%d=%s] = %.3fms\n", int(i), profiler.names[i].c_str(),
               (profiler.times[i] - profiler.times[i - 1]) * 1000.0);
    printf("total of %.3fms\n", (profiler.times[count - 1] - profiler.times[0]) * 1000.0);
}

void releaseProfiler(Profiler& profiler)
{
    std::vector<double>().swap(profiler.times);
    std::vector<std::string>().swap(profiler.names);
    std::vector<std::string>().swap(profiler.spareNames);
}

bool setGpuProfiling(Profiler& profiler, bool on, const GpuQueryFunctions& functions)
{
    GpuProfile& gpu = profiler.gpu;
    if (!on) {
        gpu.enabled = false;
        gpu.current = -1;
        for (GpuProfileFrame& frame : gpu.frames) {
            frame.pending = false;
            frame.markCount = 0;
        }
        gpu.readyCount = 0;
        return false;
    }
    if (!gpu.created) {
        if (!functions.supported()) return false;
        gpu.functions = functions;
        for (GpuProfileFrame& frame : gpu.frames) functions.create(gpuProfileMarks, frame.queries);
        gpu.created = true;
    }
    gpu.enabled = true;
    return true;
}

void reportGpu(const Profiler& profiler)
{
    const GpuProfile& gpu = profiler.gpu;
    const int32_t count = gpu.readyCount;
    if (count < 2) return;
    for (int32_t i = 1; i < count; ++i)
        printf("[%d=%s] = %.3fms gpu %.3fms\n", int(i), gpu.readyNames[i].c_str(),
               (gpu.readyCpu[i] - gpu.readyCpu[i - 1]) * 1000.0,
               (gpu.readyGpu[i] - gpu.readyGpu[i - 1]) * 1000.0);
    printf("total of %.3fms gpu %.3fms\n", (gpu.readyCpu[count - 1] - gpu.readyCpu[0]) * 1000.0,
           gpu.readyGpu[count - 1] * 1000.0);
}
