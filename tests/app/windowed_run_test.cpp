// Runs the windowed program on the test's X display with SDL's dummy audio
// driver, drives it with xdotool and reads what it printed.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct ProgramRun {
    pid_t pid = -1;  // also the id of its process group; -1 once reaped
    fs::path output;
    fs::path errors;
};

// Starts the program in its own process group, its stdout and stderr in two
// files, so that nothing it leaves behind holds the test runner's pipes.
ProgramRun startProgram(const fs::path& workingDir, const fs::path& output,
                        const char* name = "quillon-windowed")
{
    ProgramRun run{-1, output, fs::path(output).replace_extension(".err")};
    const std::string program = std::string(QUILLON_BINARY_DIR) + "/" + name;
    const pid_t parent = getpid();
    run.pid = fork();
    if (run.pid == 0) {
        setpgid(0, 0);
        // Dies with the test, should the runner kill the test on a timeout.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || chdir(workingDir.c_str()) != 0)
            _exit(126);
        if (!freopen(run.output.c_str(), "w", stdout) || !freopen(run.errors.c_str(), "w", stderr))
            _exit(126);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // The program line-buffers its stdout itself, so the test sees how
        // far start-up has come (no stdbuf: its preload would come before a
        // sanitizer runtime).
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (run.pid > 0)
        setpgid(run.pid, run.pid);  // so that a kill right away reaches the group
    return run;
}

// Kills the program and everything it started, and reaps it.
void stopProgram(ProgramRun& run)
{
    if (run.pid <= 0)
        return;
    kill(-run.pid, SIGKILL);
    waitpid(run.pid, nullptr, 0);
    run.pid = -1;
}

// Exit status, or -1 when the program did not end in time (it is then killed).
int waitForExit(ProgramRun& run, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(run.pid, &status, WNOHANG) == run.pid) {
            run.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        }
        std::this_thread::sleep_for(50ms);
    }
    stopProgram(run);
    return -1;
}

int shell(const std::string& command)
{
    return std::system(command.c_str());
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits until the program has printed the text (it is line-buffered). A
// program that ends first is reaped, and how it ended is said, so that a
// crash in start-up does not read as a slow start.
bool waitForOutput(ProgramRun& run, const char* text, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (readFile(run.output).find(text) != std::string::npos)
            return true;
        int status = 0;
        if (run.pid > 0 && waitpid(run.pid, &status, WNOHANG) == run.pid) {
            run.pid = -1;
            if (readFile(run.output).find(text) != std::string::npos)
                return true;
            ADD_FAILURE() << "the program ended before printing \"" << text << "\": "
                          << (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                : "signal " + std::to_string(WTERMSIG(status)))
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
bool driveWindow(ProgramRun& run)
{
    if (!waitForOutput(run, "done loading!\n", 120s))
        return false;
    const std::string find = "timeout 60 xdotool search --sync --onlyvisible --pid " +
                             std::to_string(run.pid) + " --name 'morvanders - telquist' | head -n 1";
    return shell("id=$(" + find + ") && [ -n \"$id\" ] && sleep 0.5 && "
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
        scratch = fs::temp_directory_path() / ("quillon_run_" + std::to_string(getpid()));
        fs::create_directories(scratch);
    }
    // A test that stops early, on a failed assertion, leaves nothing running.
    void TearDown() override
    {
        stopProgram(run);
        if (HasFailure())
            std::cout << "the program's stderr:\n" << readFile(run.errors);
        fs::remove_all(scratch);
    }

    fs::path scratch;
    ProgramRun run;
};

} // namespace

TEST_F(WindowedRun, StartsRunsFramesAndLeavesOnEscape)
{
    run = startProgram(QUILLON_SOURCE_DIR, scratch / "out.txt");
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
    run = startProgram(scratch, scratch / "out.txt");
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
    run = startProgram(QUILLON_SOURCE_DIR, scratch / "out.txt", "quillon-fullscreen");
    const std::string geometry = (scratch / "geometry.txt").string();
    ASSERT_EQ(shell("id=$(timeout 60 xdotool search --sync --onlyvisible --pid " + std::to_string(run.pid) +
                    " | head -n 1) && [ -n \"$id\" ] && sleep 1 && xdotool getwindowgeometry $id > " + geometry +
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
    run = startProgram(QUILLON_SOURCE_DIR, scratch / "early.txt");
    ASSERT_TRUE(waitForOutput(run, "GLVersion: ", 120s));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(waitForExit(run, 5s), 128 + SIGTERM) << "(status 0: the load was over before the signal)";

    // Once frames are drawn, a stop ends the run as closing the window does.
    run = startProgram(QUILLON_SOURCE_DIR, scratch / "late.txt");
    ASSERT_TRUE(waitForOutput(run, "done loading!", 120s));
    std::this_thread::sleep_for(500ms);
    kill(run.pid, SIGINT);
    EXPECT_EQ(waitForExit(run, 30s), 0);
}
