#include "program_run.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Points fd at the file, or for an empty path at `kept` (-1: leaves it).
bool sendTo(int fd, const std::string& path, int kept)
{
    if (path.empty())
        return kept < 0 || dup2(kept, fd) == fd;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return file >= 0 && dup2(file, fd) == fd;
}

// Starts the program in its own process group, so that stopProgram reaches
// everything it started; keptOut and keptErr take the streams that have no
// file (-1: left as the test's).
Running start(const Program& program, int keptOut, int keptErr)
{
    // exec takes the words as char*, but only reads them.
    std::vector<char*> argv{const_cast<char*>(program.path.c_str())};
    for (const std::string& argument : program.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const bool shared = !program.output.empty() && program.errors == program.output;

    Running run{-1, program.output, program.errors};
    const pid_t parent = getpid();
    run.pid = fork();
    if (run.pid == 0) {
        setpgid(0, 0);
        // Dies with the test, should the runner kill the test on a timeout.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || (!program.workingDir.empty() && chdir(program.workingDir.c_str()) != 0) ||
            !sendTo(1, program.output, keptOut) || !(shared ? dup2(1, 2) == 2 : sendTo(2, program.errors, keptErr)))
            _exit(126);
        for (const std::string& change : program.environment) {
            const size_t equals = change.find('=');
            if (equals == std::string::npos)
                unsetenv(change.c_str());
            else
                setenv(change.substr(0, equals).c_str(), change.c_str() + equals + 1, 1);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (run.pid > 0)
        setpgid(run.pid, run.pid);  // so that a kill right away reaches the group
    return run;
}

// Reaps the program if it has ended, or once it ends when `block`.
bool reaped(Running& run, bool block, int& raw)
{
    if (run.pid <= 0 || waitpid(run.pid, &raw, block ? 0 : WNOHANG) != run.pid)
        return false;
    run.pid = -1;
    return true;
}

int statusOf(int raw)
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -2;
}

} // namespace

Ran runProgram(const Program& program)
{
    // The streams kept go to unnamed files, read back through their descriptors.
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    Ran ran;
    if (out && err) {
        Running run = start(program, fileno(out), fileno(err));
        ran.status = waitForExit(run);
        ran.out = readFile("/proc/self/fd/" + std::to_string(fileno(out)));
        ran.err = readFile("/proc/self/fd/" + std::to_string(fileno(err)));
    }
    for (FILE* file : {out, err})
        if (file)
            std::fclose(file);
    return ran;
}

Running startProgram(const Program& program)
{
    return start(program, -1, -1);
}

void stopProgram(Running& run)
{
    if (run.pid <= 0)
        return;
    kill(-run.pid, SIGKILL);
    waitpid(run.pid, nullptr, 0);
    run.pid = -1;
}

int waitForExit(Running& run)
{
    int raw = 0;
    return reaped(run, true, raw) ? statusOf(raw) : -1;
}

int waitForExit(Running& run, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int raw = 0;
    while (run.pid > 0 && std::chrono::steady_clock::now() < deadline) {
        if (reaped(run, false, raw))
            return statusOf(raw);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stopProgram(run);
    return -1;
}

bool hasEnded(Running& run, std::string* how)
{
    int raw = 0;
    if (!reaped(run, false, raw))
        return false;
    if (how)
        *how = WIFEXITED(raw) ? "exit status " + std::to_string(WEXITSTATUS(raw))
                              : "signal " + std::to_string(WTERMSIG(raw));
    return true;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScratchDir::ScratchDir(const std::string& tag)
    : dir(std::filesystem::temp_directory_path() / ("quillon_" + tag + "_" + std::to_string(getpid())))
{
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}
