#include "app/profiler.h"

#include <chrono>
#include <cstdio>

namespace {

int64_t readCounter()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

} // namespace

Profiler::Profiler()
{
    using Period = std::chrono::steady_clock::period;
    secondsPerTick = double(Period::num) / double(Period::den);
    startCount = readCounter();
}

void beginFrame(Profiler& profiler)
{
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
    profiler.times.push_back(double(readCounter() - profiler.startCount) * profiler.secondsPerTick);
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
