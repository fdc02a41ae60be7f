// The profiler's GPU side against a stand-in driver whose timestamps come
// back a set number of frames after they were written: results are read only
// once available, nothing waits, and with the profile off (the default) no
// query is touched and the printout is the CPU one.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/profiler.h"
#include "gl_context.h"

namespace {

struct FakeDriver {
    int frame = 0;            // frames the stand-in GPU has finished
    int latency = 3;          // frames until a timestamp can be read
    uint64_t nanoseconds = 0; // the stand-in GPU clock
    uint32_t nextId = 1;
    int calls = 0;            // every call of any function
    int earlyReads = 0;       // results asked before they were available
    bool supported = true;
    std::map<uint32_t, std::pair<int, uint64_t>> written;  // id -> frame, stamp
};

FakeDriver driver;

const GpuQueryFunctions fakeFunctions = {
    [] { ++driver.calls; return driver.supported; },
    [](int32_t count, uint32_t* ids) {
        ++driver.calls;
        for (int32_t i = 0; i < count; ++i) ids[i] = driver.nextId++;
    },
    [](uint32_t id) {
        ++driver.calls;
        driver.written[id] = {driver.frame, driver.nanoseconds};
    },
    [](uint32_t id) {
        ++driver.calls;
        const auto it = driver.written.find(id);
        return it != driver.written.end() && it->second.first + driver.latency <= driver.frame;
    },
    [](uint32_t id) -> uint64_t {
        ++driver.calls;
        const auto it = driver.written.find(id);
        if (it == driver.written.end() || it->second.first + driver.latency > driver.frame)
            ++driver.earlyReads;
        return it == driver.written.end() ? 0 : it->second.second;
    },
};

// One frame with two sections of 0.25 ms of stand-in GPU time each.
void runFrame(Profiler& profiler)
{
    ++driver.frame;
    beginFrame(profiler);
    driver.nanoseconds += 250000;
    mark(profiler, "sky");
    driver.nanoseconds += 250000;
    mark(profiler, "blit");
}

TEST(GpuProfile, ResultsAreReadOnlyOnceBackAndNothingWaits)
{
    driver = FakeDriver{};
    Profiler profiler;
    ASSERT_TRUE(setGpuProfiling(profiler, true, fakeFunctions));
    profiler.gpu.printInterval = 0.0;

    std::string early = captureConsole([&] {
        for (int i = 0; i < driver.latency; ++i) runFrame(profiler);
    });
    EXPECT_EQ(early, "");  // nothing is back yet, and nothing waited for it
    const std::string later = captureConsole([&] {
        for (int i = 0; i < 6; ++i) runFrame(profiler);
    });
    EXPECT_EQ(driver.earlyReads, 0);
    EXPECT_EQ(profiler.gpu.framesDropped, 0);
    EXPECT_NE(later.find("[1=sky] = "), std::string::npos) << later;
    EXPECT_NE(later.find("ms gpu 0.250ms\n[2=blit] = "), std::string::npos) << later;
    EXPECT_NE(later.find("ms gpu 0.500ms\n"), std::string::npos) << later;

    // A GPU further behind than the frames kept: those frames are given up,
    // still without a single early read.
    driver.latency = 2 * gpuProfileFrames;
    captureConsole([&] {
        for (int i = 0; i < 3 * gpuProfileFrames; ++i) runFrame(profiler);
    });
    EXPECT_EQ(driver.earlyReads, 0);
    EXPECT_GT(profiler.gpu.framesDropped, 0);
}

TEST(GpuProfile, PrintsOncePerInterval)
{
    driver = FakeDriver{};
    driver.latency = 1;
    Profiler profiler;
    ASSERT_TRUE(setGpuProfiling(profiler, true, fakeFunctions));
    profiler.gpu.printInterval = 3600.0;
    const std::string printed = captureConsole([&] {
        for (int i = 0; i < 20; ++i) runFrame(profiler);
    });
    size_t totals = 0;
    for (size_t at = printed.find("total of"); at != std::string::npos; at = printed.find("total of", at + 1))
        ++totals;
    EXPECT_EQ(totals, 1u) << printed;
}

TEST(GpuProfile, OffByDefaultAndWhenTurnedOff)
{
    driver = FakeDriver{};
    Profiler profiler;
    EXPECT_FALSE(profiler.gpu.enabled);
    const std::string off = captureConsole([&] {
        runFrame(profiler);
        report(profiler);
    });
    EXPECT_EQ(off.find("gpu"), std::string::npos);
    EXPECT_EQ(driver.calls, 0);

    ASSERT_TRUE(setGpuProfiling(profiler, true, fakeFunctions));
    runFrame(profiler);
    setGpuProfiling(profiler, false, fakeFunctions);
    const int callsWhenOff = driver.calls;
    const std::string again = captureConsole([&] {
        for (int i = 0; i < 10; ++i) runFrame(profiler);
    });
    EXPECT_EQ(again, "");
    EXPECT_EQ(driver.calls, callsWhenOff);

    // A driver without timestamp queries leaves the profile off.
    driver = FakeDriver{};
    driver.supported = false;
    Profiler plain;
    EXPECT_FALSE(setGpuProfiling(plain, true, fakeFunctions));
    EXPECT_FALSE(plain.gpu.enabled);
}

} // namespace
