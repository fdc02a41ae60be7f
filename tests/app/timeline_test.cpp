#include "app/music.h"
#include "app/profiler.h"
#include "app/timeline.h"
#include "app/window.h"

#include "gl_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <regex>

// Counts heap allocations, so a test can show a frame's marks make none.
// The replacements pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static size_t allocationCount = 0;

void* operator new(size_t size)
{
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

TEST(Timeline, SceneFollowsTheIntegerPartOfTheRow)
{
    EXPECT_EQ(sceneForRow(0.0), 1);
    EXPECT_EQ(sceneForRow(1263.999), 1);
    EXPECT_EQ(sceneForRow(1264.0), 2);
    EXPECT_EQ(sceneForRow(rowAt(79.0)), 2);
    EXPECT_EQ(sceneForRow(rowAt(78.99)), 1);
}

TEST(Timeline, EndComparesTheFloatAgainstTheDouble)
{
    const float below = std::nextafter(207.6f, 0.0f);
    EXPECT_FLOAT_EQ(below, 207.59999084f);
    EXPECT_FALSE(runHasEnded(below));
    EXPECT_TRUE(runHasEnded(207.6f));  // 207.60000610 as a float
    EXPECT_FALSE(runHasEnded(0.0f));
}

TEST(Timeline, VolumeToggleIsDebouncedOnTheWallClock)
{
    EXPECT_FALSE(volumeToggleAccepted(0.05f, 0.0f));
    EXPECT_FALSE(volumeToggleAccepted(0.0999f, 0.0f));
    // 0.1f widens to 0.100000001: just past the debounce.
    EXPECT_TRUE(volumeToggleAccepted(0.1f, 0.0f));

    // Holding D for a second of 60 Hz frames toggles about ten times.
    float last = 0.0f;
    int toggles = 0;
    for (int frame = 1; frame <= 60; ++frame) {
        const float now = frame / 60.0f;
        if (volumeToggleAccepted(now, last)) {
            last = now;
            ++toggles;
        }
    }
    EXPECT_GE(toggles, 8);
    EXPECT_LE(toggles, 10);
}

TEST(Profiler, NumbersSectionsAndClosesWithAnUnnamedOne)
{
    Profiler profiler;
    beginFrame(profiler);
    mark(profiler, "a");
    mark(profiler, "b");
    const std::string printed = captureConsole([&] { report(profiler); });

    std::smatch m;
    const std::regex format(
        R"(\[1=a\] = (\d+\.\d{3})ms\n\[2=b\] = (\d+\.\d{3})ms\n\[3=\] = (\d+\.\d{3})ms\ntotal of (\d+\.\d{3})ms\n)");
    ASSERT_TRUE(std::regex_match(printed, m, format)) << printed;
    const double sum = std::stod(m[1]) + std::stod(m[2]) + std::stod(m[3]);
    EXPECT_NEAR(std::stod(m[4]), sum, 0.0025);  // rounding of three printed values
    EXPECT_NEAR(profiler.times.back() - profiler.times.front(),
                (profiler.times[1] - profiler.times[0]) + (profiler.times[2] - profiler.times[1]) +
                    (profiler.times[3] - profiler.times[2]), 1e-12);
}

TEST(Profiler, ReportRightAfterBeginFrameHasOneSection)
{
    Profiler profiler;
    beginFrame(profiler);
    mark(profiler, "left over from an earlier frame");
    beginFrame(profiler);
    const std::string printed = captureConsole([&] { report(profiler); });
    EXPECT_TRUE(std::regex_match(printed, std::regex(R"(\[1=\] = \d+\.\d{3}ms\ntotal of \d+\.\d{3}ms\n)")))
        << printed;
}

TEST(Profiler, MarksAllocateNothingOnceWarm)
{
    const char* names[] = {"skybox", "gaussian blur: bloom w/ cutoff", "background particles",
                           "particle  draw", "final_blit"};
    Profiler profiler;
    auto frame = [&] {
        beginFrame(profiler);
        for (const char* name : names)
            mark(profiler, name);
    };
    for (int warm = 0; warm < 8; ++warm)
        frame();
    const size_t before = allocationCount;
    for (int i = 0; i < 20; ++i)
        frame();
    EXPECT_EQ(allocationCount, before);
    EXPECT_EQ(profiler.names.size(), 6u);
    EXPECT_EQ(profiler.names[2], "gaussian blur: bloom w/ cutoff");
    EXPECT_EQ(profiler.names[0], "");
}

TEST(Window, MultisampleNameMustBeAWholeWord)
{
    const char* name = "GLX_ARB_multisample";
    EXPECT_TRUE(hasWholeWord("GLX_ARB_multisample", name));
    EXPECT_TRUE(hasWholeWord("GLX_EXT_a GLX_ARB_multisample", name));
    EXPECT_TRUE(hasWholeWord("GLX_ARB_multisample GLX_EXT_b", name));
    EXPECT_FALSE(hasWholeWord("GLX_ARB_multisampleX GLX_EXT_b", name));
    EXPECT_FALSE(hasWholeWord("XGLX_ARB_multisample", name));
    // A longer name first, the real one later in the string.
    EXPECT_TRUE(hasWholeWord("GLX_ARB_multisample_less GLX_ARB_multisample", name));
    EXPECT_FALSE(hasWholeWord("", name));
    EXPECT_FALSE(hasWholeWord(nullptr, name));
}

TEST(Window, ZeroHeightKeepsTheLastAspectRatio)
{
    EXPECT_FLOAT_EQ(aspectRatioFor(1280, 720, 4.0f / 3.0f), 1280.0f / 720.0f);
    EXPECT_FLOAT_EQ(aspectRatioFor(0, 0, 1.5f), 1.5f);
    EXPECT_FLOAT_EQ(aspectRatioFor(1280, 0, 1.5f), 1.5f);
}

// A fake sink: callbacks of 1024 frames whose timing jitters around the
// device's pace, read by a 60 Hz frame loop.
TEST(AudioClock, FramesSeeAMonotonicPositionWithoutBufferSizedSteps)
{
    AudioClock clock;
    const double rate = clock.sampleRate;
    const int64_t buffer = 1024;
    const double framePeriod = 1.0 / 60.0;
    const int64_t maxStep = int64_t(framePeriod * rate * 1.6);

    int64_t submitted = 0;
    int64_t callbacks = 0;
    double nextCallback = 0.0;
    int64_t last = 0;
    unsigned jitter = 12345;
    for (int frame = 0; frame < 600; ++frame) {
        const double now = frame * framePeriod;
        while (nextCallback <= now) {
            noteAudioCallback(clock, submitted, buffer, buffer, nextCallback);
            submitted += buffer;
            jitter = jitter * 1103515245u + 12345u;
            const double wobble = (double(jitter >> 16 & 1023) / 1023.0 - 0.5) * 0.008;
            ++callbacks;
            nextCallback = callbacks * buffer / rate + wobble;
        }
        const int64_t position = audioClockFrame(clock, now);
        ASSERT_GE(position, last) << "frame " << frame;
        if (frame > 2) {
            ASSERT_LE(position - last, maxStep) << "frame " << frame;
        }
        // What is heard lags what has been handed out by the device's buffer.
        ASSERT_LE(position, submitted - buffer + buffer);
        last = position;
    }
    // Over ten seconds the clock keeps pace with the audio, one buffer behind.
    EXPECT_NEAR(double(last + buffer) / rate, 599 * framePeriod, 0.03);
}

TEST(AudioClock, StandsStillBeforeTheFirstCallback)
{
    AudioClock clock;
    EXPECT_EQ(audioClockFrame(clock, 5.0), 0);
    noteAudioCallback(clock, 4096, 1024, 1024, 5.0);
    EXPECT_EQ(audioClockFrame(clock, 5.0), 3072);
    EXPECT_EQ(audioClockFrame(clock, 5.0 + 0.5), 4096);  // never past what was handed out
}
