// Test support: running the built programs and tools (or any program on
// PATH) from a test, in scratch folders, and reading back what they wrote.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/types.h>

struct Program {
    std::string path{};                      // a path, or a name looked up on PATH
    std::vector<std::string> arguments{};
    std::string workingDir{};                // empty: the test's own
    std::vector<std::string> environment{};  // changes to the test's: "NAME=value" sets, "NAME" removes
    // Files that take stdout and stderr (given the same file, they share it).
    // Left empty, runProgram keeps the stream in its result, and a program
    // started in the background writes to the test's own.
    std::string output{};
    std::string errors{};
};

struct Ran {
    int status = -1;  // as waitForExit says
    std::string out;  // stdout and stderr, where Program left them empty
    std::string err;
};

// Runs the program to its end.
Ran runProgram(const Program& program);

// A program started in the background, in a process group of its own.
struct Running {
    pid_t pid = -1;  // also the id of its process group; -1 once reaped
    std::string output;
    std::string errors;
};

Running startProgram(const Program& program);
// Kills the program and everything it started, and reaps it.
void stopProgram(Running& run);
// Exit status; -2 when a signal ended it, -1 when it was never started or
// did not end within the limit (it is then stopped). Without a limit, waits
// as long as it takes.
int waitForExit(Running& run);
int waitForExit(Running& run, std::chrono::seconds limit);
// True, once, when the program has ended: it is then reaped, and `how` says
// how it ended ("exit status 1", "signal 11").
bool hasEnded(Running& run, std::string* how = nullptr);

// The whole file's bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// A fresh folder in the temporary directory, named for the tag and the test
// process, removed with everything in it when it goes.
struct ScratchDir {
    std::filesystem::path dir;
    explicit ScratchDir(const std::string& tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};
