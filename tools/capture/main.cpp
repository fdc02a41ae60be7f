// quillon-capture: loads the production as the windowed build does (hidden
// window, or an EGL surface when there is no display server; no audio
// device), draws the frames the deliverables would show at fixed steps of
// music time, however long each takes, and writes them as PNG or as a video.
//
//   quillon-capture --at 100.5 --out frame.png [--size 1280x720]
//   quillon-capture --from 60 --to 62 --fps 30 --out-dir frames [--size WxH]
//   quillon-capture --video out.mp4 [--from 0] [--to 207.6] [--fps 60] [--size 1280x720] [--crf 18]
//                   [--jobs N]
//
// Run from the repository root (data/ and sync/ are read relative to it). A
// range writes DIR/frame_00000.png onwards, one frame every 1/fps seconds,
// each the frame a 60 Hz playback shows at its time. A video holds the same
// frames, H.264, with the soundtrack of the stretch in AAC; it is rendered by
// N processes (default: one per core), each drawing a contiguous run of
// frames from the catch-up to its first one into a video-only file, and the
// runs are joined in order, their packets copied, so the frames are those one
// process would encode. Progress goes to stderr. SIGINT or SIGTERM stops
// after the frame being drawn; a video is then finished so that what was
// rendered from its start plays. Files are written under
// NAME.part<pid>, a name of this process's own, and renamed when complete and
// flushed to disk; a folder, a device or a socket of that name is refused
// before anything is drawn, and a path is always a local file, whatever it
// looks like. Exits 0 on success, 2 on bad
// arguments, 1 on failure and 128 plus the signal's number when interrupted.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <stb/stb_image_write.h>

#include "app/music.h"
#include "assets/directory.h"
#include "app/offscreen.h"
#include "app/timeline.h"
#include "app/window.h"
#include "scenes/catch_up.h"
#include "video_file.h"

namespace {

constexpr int maxSide = 8192;       // pixels
constexpr double maxFps = 240.0;
constexpr long maxFrames = 100000;  // frames in one range
constexpr int maxJobs = 64;         // processes rendering one video
constexpr const char* tunePath = "data/drumveil.mp3";
constexpr double plainProgressStep = 5.0;    // percent between plain progress lines

enum class Mode { Single, Frames, Video };

struct CaptureOptions {
    Mode mode = Mode::Single;
    double at = 0.0;    // seconds
    double from = 0.0;  // seconds
    double to = 0.0;    // seconds
    double fps = 0.0;
    std::string out;     // PNG path for a single frame
    std::string outDir;  // folder for a range
    std::string video;   // MP4 path
    int width = 1280;    // pixels
    int height = 720;    // pixels
    int crf = defaultCrf;
    int jobs = 0;        // processes rendering a video; 0: one per core
};

enum class Parse { Run, Help, Bad };

volatile sig_atomic_t stopSignal = 0;

// The first signal asks for a clean stop; a second one ends the program at once.
void noteStop(int signal)
{
    stopSignal = signal;
    std::signal(signal, SIG_DFL);
}

void printUsage(FILE* to)
{
    fprintf(to,
            "usage: quillon-capture --at SECONDS --out FILE.png [--size WxH]\n"
            "       quillon-capture --from SECONDS --to SECONDS --fps N --out-dir DIR [--size WxH]\n"
            "       quillon-capture --video FILE.mp4 [--from SECONDS] [--to SECONDS] [--fps N]\n"
            "                       [--size WxH] [--crf 0-51] [--jobs N]\n"
            "A video defaults to the whole production (0 to %g s) at 60 fps, 1280x720, CRF %d,\n"
            "rendered by one process per core.\n",
            endOfProduction, defaultCrf);
}

bool parseNumber(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && value == value;
}

bool parseSize(const char* text, int& width, int& height)
{
    char* end = nullptr;
    const long w = strtol(text, &end, 10);
    if (end == text || *end != 'x') return false;
    const char* rest = end + 1;
    const long h = strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return false;
    if (w < 1 || h < 1 || w > maxSide || h > maxSide) return false;
    width = int(w);
    height = int(h);
    return true;
}

// A whole decimal number from `low` to `high`, nothing after it.
bool parseIntIn(const char* text, long low, long high, int& out)
{
    char* end = nullptr;
    const long value = strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = int(value);
    return true;
}

bool inProduction(double seconds)
{
    return seconds >= 0.0 && seconds <= endOfProduction;
}

// Frames in a range: one every 1/fps seconds from `from`, up to `to`.
long framesIn(const CaptureOptions& options)
{
    return long((options.to - options.from) * options.fps + 1e-9) + 1;
}

// Checks that the times and rate of a range make sense; prints why not.
bool checkRange(const CaptureOptions& options)
{
    if (!inProduction(options.from) || !inProduction(options.to) || options.from > options.to) {
        fprintf(stderr, "quillon-capture: the range must lie within 0 to %g s, --from first\n",
                endOfProduction);
        return false;
    }
    if (!(options.fps > 0.0 && options.fps <= maxFps)) {
        fprintf(stderr, "quillon-capture: --fps must lie in (0, %g]\n", maxFps);
        return false;
    }
    if ((options.to - options.from) * options.fps >= double(maxFrames)) {
        fprintf(stderr, "quillon-capture: a range holds at most %ld frames\n", maxFrames);
        return false;
    }
    return true;
}

// Parses the arguments; prints what is wrong and Bad on any error.
Parse parseOptions(int argc, char** argv, CaptureOptions& options)
{
    bool haveAt = false, haveFrom = false, haveTo = false, haveFps = false, haveCrf = false,
         haveJobs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") return Parse::Help;
        const bool known = flag == "--at" || flag == "--from" || flag == "--to" ||
                           flag == "--fps" || flag == "--out" || flag == "--out-dir" ||
                           flag == "--video" || flag == "--size" || flag == "--crf" ||
                           flag == "--jobs";
        if (!known) {
            fprintf(stderr, "quillon-capture: unknown option %s\n", flag.c_str());
            return Parse::Bad;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "quillon-capture: %s needs a value\n", flag.c_str());
            return Parse::Bad;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (flag == "--at") ok = haveAt = parseNumber(value, options.at);
        else if (flag == "--from") ok = haveFrom = parseNumber(value, options.from);
        else if (flag == "--to") ok = haveTo = parseNumber(value, options.to);
        else if (flag == "--fps") ok = haveFps = parseNumber(value, options.fps);
        else if (flag == "--out") ok = !(options.out = value).empty();
        else if (flag == "--out-dir") ok = !(options.outDir = value).empty();
        else if (flag == "--video") ok = !(options.video = value).empty();
        else if (flag == "--size") ok = parseSize(value, options.width, options.height);
        else if (flag == "--crf") ok = haveCrf = parseIntIn(value, 0, 51, options.crf);
        else ok = haveJobs = parseIntIn(value, 1, maxJobs, options.jobs);
        if (!ok) {
            fprintf(stderr, "quillon-capture: bad value for %s: %s\n", flag.c_str(), value);
            return Parse::Bad;
        }
    }

    const bool single = haveAt || !options.out.empty();
    const bool frames = !options.outDir.empty();
    const bool video = !options.video.empty();
    if (int(single) + int(frames) + int(video) != 1 ||
        (single && (haveFrom || haveTo || haveFps))) {
        fprintf(stderr, "quillon-capture: give one of --at and --out, a range with --out-dir, "
                        "or --video\n");
        return Parse::Bad;
    }
    if ((haveCrf || haveJobs) && !video) {
        fprintf(stderr, "quillon-capture: %s is for --video only\n", haveCrf ? "--crf" : "--jobs");
        return Parse::Bad;
    }
    if (single) {
        options.mode = Mode::Single;
        if (!haveAt || options.out.empty()) {
            fprintf(stderr, "quillon-capture: --at and --out go together\n");
            return Parse::Bad;
        }
        if (!inProduction(options.at)) {
            fprintf(stderr, "quillon-capture: %g s is outside the production (0 to %g s)\n",
                    options.at, endOfProduction);
            return Parse::Bad;
        }
        return Parse::Run;
    }
    if (frames) {
        options.mode = Mode::Frames;
        if (!haveFrom || !haveTo || !haveFps) {
            fprintf(stderr, "quillon-capture: a range needs --from, --to, --fps and --out-dir\n");
            return Parse::Bad;
        }
        return checkRange(options) ? Parse::Run : Parse::Bad;
    }
    options.mode = Mode::Video;
    if (!haveFrom) options.from = 0.0;
    if (!haveTo) options.to = endOfProduction;
    if (!haveFps) options.fps = 60.0;
    if (!haveJobs) options.jobs = int(std::clamp(sysconf(_SC_NPROCESSORS_ONLN), 1L, long(maxJobs)));
    if (options.width % 2 != 0 || options.height % 2 != 0) {
        fprintf(stderr, "quillon-capture: a video needs an even width and height (yuv420p)\n");
        return Parse::Bad;
    }
    return checkRange(options) ? Parse::Run : Parse::Bad;
}

// True when path can be written as an output file: it is not a folder or a
// device, and a file can be made beside it. Prints why not; leaves nothing.
bool canWriteOutput(const std::string& path)
{
    std::string why = outputPathProblem(path);
    const std::string probe = why.empty() ? createTemporaryBeside(path, why) : "";
    if (!why.empty()) {
        fprintf(stderr, "quillon-capture: %s\n", why.c_str());
        return false;
    }
    std::error_code error;
    std::filesystem::remove(probe, error);
    return true;
}

// Reads the window's back buffer, bottom row first, into pixels (RGBA).
void readFrame(int width, int height, std::vector<unsigned char>& pixels)
{
    pixels.resize(size_t(width) * 4 * size_t(height));
    glFinish();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
}

// Writes pixels as read back to a PNG, top row first: encoded in memory,
// then written whole or not at all.
bool writePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& pixels)
{
    const size_t stride = size_t(width) * 4;
    // GL's rows run bottom-up; write from the last one with a negative stride.
    const unsigned char* top = pixels.data() + stride * size_t(height - 1);
    std::vector<unsigned char> png;
    std::string why;
    if (!stbi_write_png_to_func(appendEncodedBytes, &png, width, height, 4, top, -int(stride))) {
        fprintf(stderr, "quillon-capture: %s: cannot encode the frame\n", path.c_str());
        return false;
    }
    if (!writeFileReplacing(path, png.data(), png.size(), why)) {
        fprintf(stderr, "quillon-capture: %s\n", why.c_str());
        return false;
    }
    printf("wrote %s\n", path.c_str());
    return true;
}

// The progress line on stderr: redrawn in place on a terminal, else one
// plain line every few percent.
struct Progress {
    long total = 0;
    bool terminal = false;
    double nextPlainPercent = 0.0;
    std::chrono::steady_clock::time_point start;
};

void formatClock(double seconds, char* text, size_t size)
{
    const long s = long(seconds + 0.5);
    snprintf(text, size, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

void beginProgress(Progress& progress, long total)
{
    progress.total = total;
    progress.terminal = isatty(STDERR_FILENO) != 0;
    progress.nextPlainPercent = plainProgressStep;
    progress.start = std::chrono::steady_clock::now();
}

void showProgress(Progress& progress, long done)
{
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
    const double percent = 100.0 * double(done) / double(progress.total);
    const bool last = done == progress.total;
    if (!progress.terminal) {
        if (percent + 1e-9 < progress.nextPlainPercent && !last) return;
        while (progress.nextPlainPercent <= percent + 1e-9)
            progress.nextPlainPercent += plainProgressStep;
    }
    const double rate = elapsed > 0.0 ? double(done) / elapsed : 0.0;
    const double remaining = rate > 0.0 ? double(progress.total - done) / rate : 0.0;
    char spent[32], left[32];
    formatClock(elapsed, spent, sizeof spent);
    formatClock(remaining, left, sizeof left);
    fprintf(stderr, "%sframe %ld/%ld (%.0f%%)  %.2f fps  elapsed %s  remaining %s%s",
            progress.terminal ? "\r" : "", done, progress.total, percent, rate, spent, left,
            progress.terminal ? "\033[K" : "\n");
    if (progress.terminal && last) fputc('\n', stderr);
    fflush(stderr);
}

// Ends a redrawn line that stopped short of the total.
void endProgress(const Progress& progress, long done)
{
    if (progress.terminal && done < progress.total) fputc('\n', stderr);
}

void installStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = noteStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Draws `frames` frames of the range from frame `first` on, in order, and
// hands each to the sink; stops early on a signal or when the sink fails.
// Shows progress unless told not to. The number of frames done.
template <typename Sink>
long drawRange(OffscreenProduction& production, const CaptureOptions& options, long first, long frames,
               Sink sink, bool& ok, bool showing = true)
{
    std::vector<unsigned char> pixels;
    Progress progress;
    beginProgress(progress, frames);
    // Playback runs at 60 Hz: at any other rate the frame before each one
    // drawn here is not the one playback drew, so each frame catches up.
    const bool playbackRate = std::fabs(1.0 / options.fps - replayFrameStep) < 1e-12;
    long done = 0;
    for (; done < frames && ok && !stopSignal; ++done) {
        const double seconds = options.from + double(first + done) / options.fps;
        if (done == 0 || !playbackRate) catchUpProduction(production, seconds);
        drawProductionFrame(production, seconds);
        readFrame(options.width, options.height, pixels);
        ok = sink(done, pixels);
        swapAppWindow(production.window);
        if (ok && showing) showProgress(progress, done + 1);
    }
    if (showing) endProgress(progress, done);
    return done;
}

// Finishes the video holding the first `done` of `frames` frames, moves it
// into place and says what it holds. The exit status.
int endVideo(const CaptureOptions& options, VideoFile& video, const std::string& temporary, long done,
             long frames)
{
    std::string error, why;
    if (!finishVideoFile(video, error) || !replaceWithTemporary(temporary, options.video, why)) {
        fprintf(stderr, "quillon-capture: %s\n", (why.empty() ? error : why).c_str());
        remove(temporary.c_str());
        return 1;
    }
    if (stopSignal) {
        fprintf(stderr,
                "quillon-capture: interrupted: %s holds the first %ld of %ld frames "
                "(%g to %g s) and plays\n",
                options.video.c_str(), done, frames, options.from,
                options.from + double(done) / options.fps);
        return 128 + stopSignal;
    }
    printf("wrote %s: %ld frames, %g to %g s at %g fps\n", options.video.c_str(), done,
           options.from, options.from + double(done - 1) / options.fps, options.fps);
    return 0;
}

int captureVideo(OffscreenProduction& production, const CaptureOptions& options,
                 VideoFile& video, const std::string& temporary)
{
    const long frames = framesIn(options);
    bool ok = true;
    std::string error;
    const long done = drawRange(production, options, 0, frames,
                                [&](long, const std::vector<unsigned char>& pixels) {
                                    return writeVideoFrame(video, pixels.data(), error);
                                },
                                ok);
    if (!ok) {
        fprintf(stderr, "quillon-capture: %s; %s not written (%ld of %ld frames were drawn)\n", error.c_str(),
                options.video.c_str(), done, frames);
        discardVideoFile(video);
        remove(temporary.c_str());
        return 1;
    }
    return endVideo(options, video, temporary, done, frames);
}

// One process's share of a video: `count` frames of the range from frame
// `first` on, written video only into a file of its own.
struct VideoRun {
    long first = 0;
    long count = 0;
    std::string path;
    pid_t pid = -1;
    int status = -1;  // as waitpid gives it; -1 while the process runs
};

// In the process made for the run: draws it into its file, one byte on
// progressFd per frame, and ends the process: 0 when every frame was
// written, 128 plus the signal when stopped early, 1 on failure.
[[noreturn]] void renderVideoRun(const CaptureOptions& options, VideoSettings settings, const VideoRun& run,
                                 int progressFd)
{
    settings.run = true;
    static VideoFile file;
    static OffscreenProduction production;
    std::string error;
    int status = 1;
    if (!openVideoFile(file, run.path, settings, {}, error)) {
        fprintf(stderr, "quillon-capture: %s\n", error.c_str());
    } else if (!loadOffscreenProduction("quillon-capture", options.width, options.height, production)) {
        fprintf(stderr, "quillon-capture: no GL window could be made: %s\n", production.window.failure);
        discardVideoFile(file);
    } else {
        bool ok = true;
        const long done = drawRange(production, options, run.first, run.count,
                                    [&](long, const std::vector<unsigned char>& pixels) {
                                        if (!writeVideoFrame(file, pixels.data(), error)) return false;
                                        const char tick = 1;
                                        (void)!write(progressFd, &tick, 1);  // progress only
                                        return true;
                                    },
                                    ok, false);
        if (!ok || !finishVideoFile(file, error)) {
            fprintf(stderr, "quillon-capture: %s\n", error.c_str());
            if (!ok) discardVideoFile(file);
        } else {
            status = done == run.count ? 0 : 128 + stopSignal;
        }
        releaseOffscreenProduction(production);
    }
    fflush(stdout);
    fflush(stderr);
    _exit(status);
}

// Starts the run's process; false when none could be made.
bool startVideoRun(const CaptureOptions& options, const VideoSettings& settings, VideoRun& run, bool quiet,
                   const int progress[2])
{
    fflush(stdout);
    fflush(stderr);
    const pid_t parent = getpid();
    run.pid = fork();
    if (run.pid != 0) {
        // A group of its own: Ctrl-C reaches this process alone, which passes it on once.
        if (run.pid > 0) setpgid(run.pid, run.pid);
        return run.pid > 0;
    }
    setpgid(0, 0);
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // not left drawing when this process is gone
#endif
    if (getppid() != parent) _exit(1);
    close(progress[0]);
    signal(SIGPIPE, SIG_IGN);
    // One copy of the loading lines is enough.
    if (quiet) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) dup2(null, STDOUT_FILENO);
    }
    renderVideoRun(options, settings, run, progress[1]);
}

bool runSucceeded(const VideoRun& run)
{
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

// A run stopped on request: it ended early on the signal that was passed on.
bool runStopped(const VideoRun& run)
{
    return stopSignal && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 128 + stopSignal;
}

// Renders the video in `runCount` processes and joins their files into
// temporary, then into place. The exit status.
int captureVideoInProcesses(const CaptureOptions& options, const VideoSettings& settings,
                            const std::vector<int16_t>& tune, long runCount, const std::string& temporary)
{
    const long frames = framesIn(options);
    std::vector<VideoRun> runs(static_cast<size_t>(runCount));
    std::string error;
    int progress[2] = {-1, -1};
    bool ok = pipe2(progress, O_CLOEXEC) == 0;
    if (!ok) error = std::string("cannot start the rendering processes: ") + strerror(errno);
    for (long k = 0; k < runCount && ok; ++k) {
        VideoRun& run = runs[size_t(k)];
        run.first = frames * k / runCount;
        run.count = frames * (k + 1) / runCount - run.first;
        run.path = createTemporaryBeside(options.video, error);
        ok = !run.path.empty();
    }
    for (long k = 0; k < runCount && ok; ++k) {
        ok = startVideoRun(options, settings, runs[size_t(k)], k > 0, progress);
        if (!ok) error = std::string("cannot start a rendering process: ") + strerror(errno);
    }
    if (progress[1] >= 0) close(progress[1]);
    // This process encodes the sound and writes the file the runs are joined into.
    static VideoFile video;
    ok = ok && openVideoFile(video, temporary, settings, tune, error);
    if (!ok) fprintf(stderr, "quillon-capture: %s\n", error.c_str());

    Progress shown;
    beginProgress(shown, frames);
    long drawn = 0;
    bool passedOn = false;
    for (size_t ended = 0; ended < runs.size();) {
        if ((stopSignal || !ok) && !passedOn) {
            for (const VideoRun& run : runs)
                if (run.pid > 0 && run.status == -1) kill(run.pid, ok ? int(stopSignal) : SIGKILL);
            passedOn = true;
        }
        pollfd ready{progress[0], POLLIN, 0};
        if (progress[0] >= 0 && poll(&ready, 1, 200) > 0) {
            char ticks[256];
            const ssize_t count = read(progress[0], ticks, sizeof ticks);
            if (count > 0 && ok) showProgress(shown, drawn += long(count));
            if (count == 0) {  // every run has let go of the pipe: they are ending
                close(progress[0]);
                progress[0] = -1;
            }
        }
        ended = 0;
        const int waiting = progress[0] >= 0 ? WNOHANG : 0;
        for (VideoRun& run : runs) {
            if (run.pid > 0 && run.status == -1 && waitpid(run.pid, &run.status, waiting) <= 0) continue;
            ++ended;
            // A run that failed leaves the video unwritable: stop the others now.
            if (ok && run.pid > 0 && !runSucceeded(run) && !runStopped(run)) {
                if (WIFSIGNALED(run.status))
                    fprintf(stderr, "quillon-capture: the process drawing frames %ld to %ld ended on signal %d\n",
                            run.first, run.first + run.count - 1, WTERMSIG(run.status));
                ok = false;
                passedOn = false;
            }
        }
    }
    endProgress(shown, drawn);
    if (progress[0] >= 0) close(progress[0]);

    // The frames from the start that were all drawn, in order.
    long done = 0;
    for (const VideoRun& run : runs) {
        if (!ok) break;
        const long appended = appendVideoFile(video, run.path, error);
        if (appended < 0) fprintf(stderr, "quillon-capture: %s\n", error.c_str());
        ok = appended >= 0;
        done += std::max(appended, 0L);
        if (appended < run.count) break;
    }
    for (const VideoRun& run : runs)
        if (!run.path.empty()) remove(run.path.c_str());
    if (!ok) {
        fprintf(stderr, "quillon-capture: %s not written\n", options.video.c_str());
        discardVideoFile(video);
        remove(temporary.c_str());
        return 1;
    }
    return endVideo(options, video, temporary, done, frames);
}

int captureFrames(OffscreenProduction& production, const CaptureOptions& options)
{
    const long frames = framesIn(options);
    bool ok = true;
    const long done = drawRange(production, options, 0, frames,
                                [&](long k, const std::vector<unsigned char>& pixels) {
                                    char name[32];
                                    snprintf(name, sizeof name, "frame_%05ld.png", k);
                                    const std::string path =
                                        (std::filesystem::path(options.outDir) / name).string();
                                    return writePng(path, options.width, options.height, pixels);
                                },
                                ok);
    if (!ok) {
        fprintf(stderr, "quillon-capture: stopped: %ld of %ld frames were written to %s\n", done - 1, frames,
                options.outDir.c_str());
        return 1;
    }
    if (stopSignal) {
        fprintf(stderr, "quillon-capture: interrupted after %ld of %ld frames\n", done, frames);
        return 128 + stopSignal;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CaptureOptions options;
    switch (parseOptions(argc, argv, options)) {
    case Parse::Help:
        printUsage(stdout);
        return 0;
    case Parse::Bad:
        printUsage(stderr);
        return 2;
    case Parse::Run:
        break;
    }
    installStopHandlers();

    // Everything that can fail on the output side fails before any rendering.
    std::vector<int16_t> tune;
    static VideoFile video;
    std::string videoTemporary;  // the video is written here, renamed when complete
    if (options.mode == Mode::Frames) {
        std::error_code error;
        std::filesystem::create_directories(options.outDir, error);
        if (error) {
            fprintf(stderr, "quillon-capture: cannot make %s: %s\n", options.outDir.c_str(),
                    error.message().c_str());
            return 1;
        }
        if (!canWriteOutput((std::filesystem::path(options.outDir) / "frame_00000.png").string()))
            return 1;
    } else if (options.mode == Mode::Single) {
        if (!canWriteOutput(options.out)) return 1;
    } else {
        if (!decodeMusicFile(tunePath, tune)) {
            fprintf(stderr, "quillon-capture: cannot decode %s\n", tunePath);
            return 1;
        }
        const double decodedSeconds = double(tune.size()) / 2.0 / videoAudioRate;
        if (const double said = musicFileSeconds(tunePath); said > decodedSeconds + 0.05)
            fprintf(stderr, "quillon-capture: %s decodes to %.2f s of the %.2f s it says it holds: it is cut short\n",
                    tunePath, decodedSeconds, said);
        VideoSettings settings;
        settings.width = options.width;
        settings.height = options.height;
        settings.fps = options.fps;
        settings.from = options.from;
        settings.crf = options.crf;
        std::string error = outputPathProblem(options.video);
        if (error.empty()) videoTemporary = createTemporaryBeside(options.video, error);
        if (!error.empty()) {
            fprintf(stderr, "quillon-capture: %s\n", error.c_str());
            return 1;
        }
        // Past the tune's end the video's sound is silence: say so once.
        if (options.to > decodedSeconds)
            fprintf(stderr, "quillon-capture: %s ends at %.2f s: the last %.2f s of the video are silent\n", tunePath,
                    decodedSeconds, options.to - std::max(options.from, decodedSeconds));
        const long runs = std::min(long(options.jobs), framesIn(options));
        if (runs > 1) return captureVideoInProcesses(options, settings, tune, runs, videoTemporary);
        if (!openVideoFile(video, videoTemporary, settings, tune, error)) {
            fprintf(stderr, "quillon-capture: %s\n", error.c_str());
            remove(videoTemporary.c_str());
            return 1;
        }
    }

    static OffscreenProduction production;
    if (!loadOffscreenProduction("quillon-capture", options.width, options.height, production)) {
        fprintf(stderr, "quillon-capture: no GL window could be made: %s\n",
                production.window.failure);
        if (options.mode == Mode::Video) {
            discardVideoFile(video);
            remove(videoTemporary.c_str());
        }
        return 1;
    }

    int status = 0;
    if (options.mode == Mode::Single) {
        std::vector<unsigned char> pixels;
        catchUpProduction(production, options.at);
        drawProductionFrame(production, options.at);
        readFrame(options.width, options.height, pixels);
        status = writePng(options.out, options.width, options.height, pixels) ? 0 : 1;
    } else if (options.mode == Mode::Frames) {
        status = captureFrames(production, options);
    } else {
        status = captureVideo(production, options, video, videoTemporary);
    }

    releaseOffscreenProduction(production);
    return status;
}
