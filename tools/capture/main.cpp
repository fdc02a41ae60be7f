// quillon-capture: loads the production as the windowed build does (hidden
// window, no audio), evaluates the 64 sync tracks at a music time, draws the
// frame the deliverables would show at that time and writes it to PNG.
//
//   quillon-capture --at 100.5 --out frame.png [--size 1280x720]
//   quillon-capture --from 60 --to 62 --fps 30 --out-dir frames [--size WxH]
//
// Run from the repository root (data/ and sync/ are read relative to it). A
// range writes DIR/frame_00000.png onwards, one frame every 1/fps seconds,
// drawn in order like playback. Exits non-zero on bad arguments or failure.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <stb/stb_image_write.h>

#include "app/offscreen.h"
#include "app/timeline.h"
#include "app/window.h"

namespace {

constexpr int kMaxSide = 8192;       // pixels
constexpr double kMaxFps = 240.0;
constexpr long kMaxFrames = 100000;  // frames in one range

struct CaptureOptions {
    bool range = false;
    double at = 0.0;    // seconds
    double from = 0.0;  // seconds
    double to = 0.0;    // seconds
    double fps = 0.0;
    std::string out;     // PNG path for a single frame
    std::string outDir;  // folder for a range
    int width = 1280;    // pixels
    int height = 720;    // pixels
};

void printUsage()
{
    fprintf(stderr,
            "usage: quillon-capture --at SECONDS --out FILE.png [--size WxH]\n"
            "       quillon-capture --from SECONDS --to SECONDS --fps N --out-dir DIR [--size WxH]\n");
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
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
    width = int(w);
    height = int(h);
    return true;
}

bool inProduction(double seconds)
{
    return seconds >= 0.0 && seconds <= endOfProduction;
}

// Parses the arguments; prints what is wrong and false on any error.
bool parseOptions(int argc, char** argv, CaptureOptions& options)
{
    bool haveAt = false, haveFrom = false, haveTo = false, haveFps = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc) {
            fprintf(stderr, "quillon-capture: %s needs a value\n", flag.c_str());
            return false;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (flag == "--at") ok = haveAt = parseNumber(value, options.at);
        else if (flag == "--from") ok = haveFrom = parseNumber(value, options.from);
        else if (flag == "--to") ok = haveTo = parseNumber(value, options.to);
        else if (flag == "--fps") ok = haveFps = parseNumber(value, options.fps);
        else if (flag == "--out") options.out = value;
        else if (flag == "--out-dir") options.outDir = value;
        else if (flag == "--size") ok = parseSize(value, options.width, options.height);
        else {
            fprintf(stderr, "quillon-capture: unknown option %s\n", flag.c_str());
            return false;
        }
        if (!ok) {
            fprintf(stderr, "quillon-capture: bad value for %s: %s\n", flag.c_str(), value);
            return false;
        }
    }

    const bool single = haveAt || !options.out.empty();
    const bool range = haveFrom || haveTo || haveFps || !options.outDir.empty();
    if (single == range) {
        fprintf(stderr, "quillon-capture: give either --at and --out or a range\n");
        return false;
    }
    options.range = range;
    if (single) {
        if (!haveAt || options.out.empty()) {
            fprintf(stderr, "quillon-capture: --at and --out go together\n");
            return false;
        }
        if (!inProduction(options.at)) {
            fprintf(stderr, "quillon-capture: %g s is outside the production (0 to %g s)\n",
                    options.at, endOfProduction);
            return false;
        }
        return true;
    }
    if (!haveFrom || !haveTo || !haveFps || options.outDir.empty()) {
        fprintf(stderr, "quillon-capture: a range needs --from, --to, --fps and --out-dir\n");
        return false;
    }
    if (!inProduction(options.from) || !inProduction(options.to) || options.from > options.to) {
        fprintf(stderr, "quillon-capture: the range must lie within 0 to %g s, --from first\n",
                endOfProduction);
        return false;
    }
    if (!(options.fps > 0.0 && options.fps <= kMaxFps)) {
        fprintf(stderr, "quillon-capture: --fps must lie in (0, %g]\n", kMaxFps);
        return false;
    }
    if ((options.to - options.from) * options.fps >= double(kMaxFrames)) {
        fprintf(stderr, "quillon-capture: a range holds at most %ld frames\n", kMaxFrames);
        return false;
    }
    return true;
}

// Reads the window's back buffer and writes it top row first.
bool writeFrame(const char* path, int width, int height, std::vector<unsigned char>& pixels)
{
    const size_t stride = size_t(width) * 4;
    pixels.resize(stride * size_t(height));
    glFinish();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom-up; write from the last one with a negative stride.
    const unsigned char* top = pixels.data() + stride * size_t(height - 1);
    if (!stbi_write_png(path, width, height, 4, top, -int(stride))) {
        fprintf(stderr, "quillon-capture: cannot write %s\n", path);
        return false;
    }
    printf("wrote %s\n", path);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CaptureOptions options;
    if (!parseOptions(argc, argv, options)) {
        printUsage();
        return 2;
    }
    if (options.range) {
        std::error_code error;
        std::filesystem::create_directories(options.outDir, error);
        if (error) {
            fprintf(stderr, "quillon-capture: cannot make %s: %s\n", options.outDir.c_str(),
                    error.message().c_str());
            return 1;
        }
    }

    static OffscreenProduction production;
    if (!loadOffscreenProduction("quillon-capture", options.width, options.height, production)) {
        fprintf(stderr, "quillon-capture: no GL window could be made\n");
        return 1;
    }

    std::vector<unsigned char> pixels;
    bool ok = true;
    if (!options.range) {
        catchUpProduction(production, options.at);
        drawProductionFrame(production, options.at);
        ok = writeFrame(options.out.c_str(), options.width, options.height, pixels);
    } else {
        catchUpProduction(production, options.from);
        const long frames = long((options.to - options.from) * options.fps + 1e-9) + 1;
        for (long k = 0; k < frames && ok; ++k) {
            const double seconds = options.from + double(k) / options.fps;
            drawProductionFrame(production, seconds);
            char name[32];
            snprintf(name, sizeof name, "frame_%05ld.png", k);
            const std::string path = (std::filesystem::path(options.outDir) / name).string();
            ok = writeFrame(path.c_str(), options.width, options.height, pixels);
            swapAppWindow(production.window);
        }
    }

    releaseOffscreenProduction(production);
    return ok ? 0 : 1;
}
