// quillon-soundtrack: synthesises Quillon's music, encodes it to MP3 and writes the
// event file (tempo grid, sections, kicks, snares, impacts, the stop) that the
// timeline follows. Output is identical on every run. With --stem it writes
// one voice of the score alone, dry, as a 32-bit float WAV file instead, for
// measuring it (scripts/measure --music tracks the lead's pitch).
//
// Usage: quillon-soundtrack <out.mp3> <events.txt>
//        quillon-soundtrack --stem lead <out.wav>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/directory.h"
#include "encode.h"
#include "loudness.h"
#include "mix.h"
#include "score.h"

namespace {

struct Options {
    std::string mp3Path;
    std::string eventsPath;
    std::string stemPath;  // set with --stem lead: the lead alone goes here
};

bool parseOptions(int argc, char** argv, Options& options) {
    if (argc == 4 && std::string(argv[1]) == "--stem") {
        options.stemPath = argv[3];
        return std::string(argv[2]) == "lead" && !options.stemPath.empty() && options.stemPath[0] != '-';
    }
    if (argc != 3) return false;
    options.mp3Path = argv[1];
    options.eventsPath = argv[2];
    // Paths never start with '-': that is an option this program does not have.
    return !options.mp3Path.empty() && !options.eventsPath.empty() && options.mp3Path[0] != '-' &&
           options.eventsPath[0] != '-';
}

// Creates the folder a file goes into; a failure shows when the file is written.
void createParentFolder(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
}

// Makes the folder and a temporary beside the file, so a bad path is
// reported before half a minute of rendering rather than after it.
bool checkWritable(const std::string& path)
{
    createParentFolder(path);
    std::string why = outputPathProblem(path);
    const std::string probe = why.empty() ? createTemporaryBeside(path, why) : "";
    if (!why.empty()) {
        std::fprintf(stderr, "quillon-soundtrack: %s\n", why.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::remove(probe, ec);
    return true;
}

// Writes the file whole or leaves what was there (a temporary of this run's
// own, checked, flushed and renamed into place).
bool writeFile(const std::string& path, const void* data, size_t size)
{
    std::string why;
    if (writeFileReplacing(path, data, size, why)) return true;
    std::fprintf(stderr, "quillon-soundtrack: %s\n", why.c_str());
    return false;
}

// A WAV file of 32-bit float stereo frames.
std::vector<unsigned char> wavFile(const StereoBuffer& buffer) {
    const uint32_t frames = static_cast<uint32_t>(stereoFrames(buffer));
    const uint32_t rate = static_cast<uint32_t>(sampleRate), dataBytes = frames * 8;
    std::vector<unsigned char> bytes;
    auto text = [&](const char* s) { bytes.insert(bytes.end(), s, s + 4); };
    auto word = [&](uint32_t v, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    text("RIFF");
    word(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    word(16, 4);
    word(3, 2);  // IEEE float
    word(2, 2);
    word(rate, 4);
    word(rate * 8, 4);
    word(8, 2);
    word(32, 2);
    text("data");
    word(dataBytes, 4);
    for (uint32_t i = 0; i < frames; ++i)
        for (float v : {buffer.left[i], buffer.right[i]}) {
            uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            word(bits, 4);
        }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage =
        "usage: quillon-soundtrack <out.mp3> <events.txt>\n"
        "       quillon-soundtrack --stem lead <out.wav>\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (!options.stemPath.empty()) {
        if (!checkWritable(options.stemPath)) return 1;
        const std::vector<unsigned char> wav = wavFile(renderLeadStem(buildScore()));
        return writeFile(options.stemPath, wav.data(), wav.size()) ? 0 : 1;
    }
    if (!checkWritable(options.mp3Path) || !checkWritable(options.eventsPath)) return 1;
    const auto begin = std::chrono::steady_clock::now();
    const Score score = buildScore();
    const StereoBuffer master = renderScore(score, masterMixSettings());
    const Loudness loudness = measureLoudness(master);
    const uint64_t hash = hashPcm(master);
    const auto rendered = std::chrono::steady_clock::now();

    std::vector<unsigned char> mp3;
    if (!encodeMp3(master, mp3)) {
        std::fprintf(stderr, "quillon-soundtrack: the MP3 encoder failed\n");
        return 1;
    }
    const auto encoded = std::chrono::steady_clock::now();
    if (!writeFile(options.mp3Path, mp3.data(), mp3.size())) return 1;

    char hashText[64];
    std::snprintf(hashText, sizeof hashText, "pcm fnv1a64 %016" PRIx64, hash);
    const std::string events = formatEvents(
        score, {"Quillon soundtrack events, written by tools/soundtrack. Times in seconds of music.",
                "tempo <seconds> <bpm> <beats_per_bar> starts a beat grid; section <seconds> <name>;",
                "kick, snare, impact and stop <seconds> are the hits the picture follows.",
                hashText});
    if (!writeFile(options.eventsPath, events.data(), events.size())) return 1;

    auto seconds = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
    std::printf("quillon-soundtrack: %.1f s of music rendered in %.2f s, encoded in %.2f s (%s); "
                "%.1f LUFS integrated, true peak %.1f dBTP before encoding\n",
                score.length, seconds(begin, rendered), seconds(rendered, encoded), hashText,
                loudness.integrated, loudness.truePeak);
    return 0;
}
