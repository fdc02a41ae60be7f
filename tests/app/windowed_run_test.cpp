// Runs the windowed program on the test's X display with SDL's dummy audio
// driver, drives it with xdotool and reads what it printed.
#include "program_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <regex>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Starts the program with its stdout and stderr in two files, so that
// nothing it leaves behind holds the test runner's pipes.
Running startRun(const fs::path& workingDir, const fs::path& output, const char* name = "quillon-windowed")
{
    // The program line-buffers its stdout itself, so the test sees how far
    // start-up has come (no stdbuf: its preload would come before a
    // sanitizer runtime).
    return startProgram({.path = std::string(QUILLON_BINARY_DIR) + "/" + name,
                         .workingDir = workingDir,
                         .environment = {"SDL_AUDIODRIVER=dummy"},
                         .output = output,
                         .errors = fs::path(output).replace_extension(".err")});
}

int shell(const std::string& command)
{
    return std::system(command.c_str());
}

// A shell command that sets $id to the program's first visible window (with
// this title, when one is given). xdotool walks every window of the display
// and dies on one that closes under it, as the window of a test running
// beside this one can, so a search that finds nothing is tried again.
std::string findWindow(const Running& run, const std::string& title = "")
{
    const std::string search = "timeout 60 xdotool search --sync --onlyvisible --pid " + std::to_string(run.pid) +
                               (title.empty() ? "" : " --name '" + title + "'");
    return "for try in 1 2 3; do id=$(" + search + " | head -n 1); [ -n \"$id\" ] && break; "
           "sleep 0.2; done; [ -n \"$id\" ]";
}

// Waits until the program has printed the text (it is line-buffered). A
// program that ends first is reaped, and how it ended is said, so that a
// crash in start-up does not read as a slow start.
bool waitForOutput(Running& run, const char* text, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (readFile(run.output).find(text) != std::string::npos)
            return true;
        std::string how;
        if (hasEnded(run, &how)) {
            if (readFile(run.output).find(text) != std::string::npos)
                return true;
            ADD_FAILURE() << "the program ended before printing \"" << text << "\": " << how
                          << "\nits output:\n" << readFile(run.output);
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    ADD_FAILURE() << "no \"" << text << "\" within " << limit.count() << " s; its output:\n"
                  << readFile(run.output);
    return false;
}

// Once loading is done, finds the window, gives it the focus, taps T twice a
// second apart, then Escape. The program may close its window between the
// press and the release of Escape, so that last send is allowed to fail.
bool driveWindow(Running& run)
{
    if (!waitForOutput(run, "done loading!\n", 120s))
        return false;
    return shell(findWindow(run, "morvanders - telquist") + " && sleep 0.5 && "
                 "xdotool windowfocus --sync $id && sleep 0.5 && xdotool key --window $id t && sleep 1 && "
                 "xdotool key --window $id t && sleep 0.5 && { xdotool key --window $id Escape 2>/dev/null; true; }") == 0;
}

std::vector<double> printedTimes(const std::string& output)
{
    std::vector<double> times;
    const std::regex line(R"(bass_time = (-?\d+\.\d+)\n)");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), line); it != std::sregex_iterator(); ++it)
        times.push_back(std::stod((*it)[1]));
    return times;
}

void expectInOrder(const std::string& output, std::initializer_list<const char*> lines)
{
    size_t at = 0;
    for (const char* text : lines) {
        const size_t found = output.find(text, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << output;
        at = found + strlen(text);
    }
}

class WindowedRun : public testing::Test {
protected:
    void SetUp() override
    {
        if (!getenv("DISPLAY"))
            GTEST_SKIP() << "needs an X display (scripts/test provides one)";
    }
    // A test that stops early, on a failed assertion, leaves nothing running.
    void TearDown() override
    {
        stopProgram(run);
        if (HasFailure())
            std::cout << "the program's stderr:\n" << readFile(run.errors);
    }

    const ScratchDir folder{"run"};
    const fs::path scratch = folder.dir;
    Running run;
};

} // namespace

TEST_F(WindowedRun, StartsRunsFramesAndLeavesOnEscape)
{
    run = startRun(QUILLON_SOURCE_DIR, scratch / "out.txt");
    ASSERT_TRUE(driveWindow(run));
    EXPECT_EQ(waitForExit(run, 60s), 0);

    const std::string output = readFile(run.output);
    expectInOrder(output, {"GLVersion: ", "GLRendrer: ", "GL SM: ", "multisample",
                           "rock'n'roll2\n", "whowo", "rock'n'roll\n"});
    EXPECT_EQ(output.find("no sync track file"), std::string::npos);
    // The music clock moves between the two taps of T.
    const std::vector<double> times = printedTimes(output);
    ASSERT_GE(times.size(), 2u) << output;
    EXPECT_GT(times.back(), times.front() + 0.5);
}

TEST_F(WindowedRun, WithoutTheTuneTheTimelineStillRuns)
{
    // A working directory without data/: no tune, no tracks, no images.
    run = startRun(scratch, scratch / "out.txt");
    ASSERT_TRUE(driveWindow(run));
    EXPECT_EQ(waitForExit(run, 60s), 0);

    const std::string output = readFile(run.output);
    expectInOrder(output, {"rock'n'roll2\n", "failed to open tune", "whowo", "rock'n'roll\n",
                           "no sync track file could be read"});
    const std::vector<double> times = printedTimes(output);
    ASSERT_GE(times.size(), 2u) << output;
    EXPECT_GT(times.back(), times.front() + 0.5);
}

TEST_F(WindowedRun, FullScreenBuildCoversTheDesktop)
{
    run = startRun(QUILLON_SOURCE_DIR, scratch / "out.txt", "quillon-fullscreen");
    const std::string geometry = (scratch / "geometry.txt").string();
    ASSERT_EQ(shell(findWindow(run) + " && sleep 1 && xdotool getwindowgeometry $id > " + geometry +
                    " && xdotool windowfocus --sync $id && { xdotool key --window $id Escape 2>/dev/null; true; }"),
              0);
    EXPECT_EQ(waitForExit(run, 60s), 0);

    // scripts/test gives the display a 1920x1080 screen.
    EXPECT_NE(readFile(geometry).find("Geometry: 1920x1080"), std::string::npos) << readFile(geometry);
    const std::string output = readFile(run.output);
    EXPECT_EQ(output.rfind("hwoowo2", 0), 0u) << output;
    expectInOrder(output, {"hwoowo2", "found 1920 1080\n", "GLVersion: ", "rock'n'roll\n"});
    EXPECT_EQ(output.find("bass_time"), std::string::npos);
}

TEST_F(WindowedRun, StopSignalsEndStartUpAtOnceAndTheRunCleanly)
{
    // Start-up reads no events: a stop there ends the program straight away.
    run = startRun(QUILLON_SOURCE_DIR, scratch / "early.txt");
    ASSERT_TRUE(waitForOutput(run, "GLVersion: ", 120s));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(waitForExit(run, 5s), 128 + SIGTERM) << "(status 0: the load was over before the signal)";

    // Once frames are drawn, a stop ends the run as closing the window does.
    run = startRun(QUILLON_SOURCE_DIR, scratch / "late.txt");
    ASSERT_TRUE(waitForOutput(run, "done loading!", 120s));
    std::this_thread::sleep_for(500ms);
    kill(run.pid, SIGINT);
    EXPECT_EQ(waitForExit(run, 30s), 0);
}
