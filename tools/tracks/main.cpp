// quillon-tracks: compiles the readable timeline in sync/ into the 64 binary
// sync track files the engine reads, and looks at compiled tracks.
//
//   quillon-tracks compile [--source sync/production.timeline]
//                          [--events sync/events.txt | --no-events] [--out sync/sync]
//   quillon-tracks dump [--base sync/sync] [FILE.track ...]   source text on stdout
//   quillon-tracks plot OUT.png [--base sync/sync]            every track in one picture
//   quillon-tracks at SECONDS [--base sync/sync]              the 64 values at that time
//
// Errors go to stderr as "file:line: message"; the exit status is 0 on
// success, 1 on a failure and 2 on bad arguments.

#include "app/timeline.h"
#include "sync/sync.h"
#include "sync/tracks_source.h"
#include "sync/tracks_text.h"
#include "tracks_plot.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const usage =
    "usage: quillon-tracks compile [--source FILE] [--events FILE | --no-events] [--out BASE]\n"
    "       quillon-tracks dump [--base BASE] [FILE.track ...]\n"
    "       quillon-tracks plot OUT.png [--base BASE]\n"
    "       quillon-tracks at SECONDS [--base BASE]\n";

struct Arguments {
    std::string command;
    std::string source = "sync/production.timeline";
    std::string events = "sync/events.txt";
    std::string base = "sync/sync";
    std::vector<std::string> positional;
    bool valid = false;
    bool help = false;  // --help or -h anywhere: the usage on stdout, nothing done
};

// A word starting with '-' is an option unless it reads as a number ("at -2.5").
bool isOptionWord(const std::string& a)
{
    if (a.size() < 2 || a[0] != '-') return false;
    return !(std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
}

Arguments parseArguments(int argc, char** argv)
{
    Arguments args;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h")
            args.help = true;
    if (argc < 2 || args.help)
        return args;
    args.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--source" && hasValue)
            args.source = argv[++i];
        else if (a == "--events" && hasValue)
            args.events = argv[++i];
        else if (a == "--no-events")
            args.events.clear();
        else if ((a == "--out" || a == "--base") && hasValue)
            args.base = argv[++i];
        else if (isOptionWord(a))
            return args;  // unknown, or a known one without its value
        else
            args.positional.push_back(a);
    }
    if (args.command == "compile")
        args.valid = args.positional.empty();
    else if (args.command == "dump")
        args.valid = true;
    else if (args.command == "plot" || args.command == "at")
        args.valid = args.positional.size() == 1;
    return args;
}

void printErrors(const std::vector<std::string>& errors)
{
    for (const std::string& e : errors)
        fprintf(stderr, "%s\n", e.c_str());
}

// Reads the 64 compiled tracks with the engine's own loader; a missing file
// leaves an empty track, as in the engine, and is reported.
std::array<SyncTrack, trackCount> loadTracks(const std::string& base)
{
    SyncDevice device;
    device.basePath = base;
    std::array<SyncTrack, trackCount> tracks;
    for (int t = 0; t < trackCount; ++t) {
        tracks[t].name = std::to_string(t);
        const std::string path = trackFilePath(base, tracks[t].name);
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error))
            fprintf(stderr, "%s: missing, the track reads as 0\n", path.c_str());
        loadTrackFile(device, tracks[t]);
    }
    return tracks;
}

// The track number a file name carries: "..._12.track" is 12.
int trackOfFile(const std::string& path)
{
    const std::string suffix = ".track";
    const size_t underscore = path.rfind('_');
    if (path.size() <= suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        underscore == std::string::npos)
        return -1;
    const std::string number = path.substr(underscore + 1, path.size() - suffix.size() - underscore - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return findTrack(number);
}

int runCompile(const Arguments& args)
{
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    int replaced = 0;
    const bool compiled =
        compileTimeline(CompileOptions{args.source, args.events, args.base}, errors, &warnings, &replaced);
    printErrors(warnings);
    if (!compiled) {
        printErrors(errors);
        // Only a rename failing midway leaves some files new; its error says how many.
        if (replaced == 0)
            fprintf(stderr, "%s: nothing written\n", args.source.c_str());
        return 1;
    }
    if (args.events.empty())
        fprintf(stderr, "compiled without an event file: pulse and flash lines added no keys\n");
    return 0;
}

int runDump(const Arguments& args)
{
    std::vector<std::string> files = args.positional;
    if (files.empty())
        for (int t = 0; t < trackCount; ++t)
            files.push_back(trackFilePath(args.base, std::to_string(t)));

    std::string text = "# Dumped from compiled track files.\n";
    for (const std::string& file : files) {
        const int track = trackOfFile(file);
        if (track < 0) {
            fprintf(stderr, "%s: the name does not end in _<track number>.track\n", file.c_str());
            return 1;
        }
        std::string bytes;
        std::vector<SyncKey> keys;
        std::string why;
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            fprintf(stderr, "%s: not a track file (%s)\n", file.c_str(),
                    std::filesystem::exists(file, error) ? "not a regular file" : "no such file");
            return 1;
        }
        // No track file is longer than its largest key count allows.
        if (!readWholeFile(file, bytes, maxTrackFileBytes)) {
            fprintf(stderr, "%s: cannot read, or longer than any track file\n", file.c_str());
            return 1;
        }
        if (!decodeTrackFile(bytes, keys, why)) {
            fprintf(stderr, "%s: %s\n", file.c_str(), why.c_str());
            return 1;
        }
        text += "\n" + formatTrackBlock(track, keys);
    }
    text += "\nend\n";
    fputs(text.c_str(), stdout);
    return 0;
}

int runPlot(const Arguments& args)
{
    const std::array<SyncTrack, trackCount> tracks = loadTracks(args.base);
    std::string why;
    if (!writePlotPng(args.positional[0], renderTimelinePlot(tracks, endOfProduction), why)) {
        fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    return 0;
}

int runAt(const Arguments& args)
{
    double seconds = 0.0;
    if (!parseDouble(args.positional[0], seconds)) {
        fprintf(stderr, "'%s' is not a time in seconds\n%s", args.positional[0].c_str(), usage);
        return 2;
    }
    const std::array<SyncTrack, trackCount> tracks = loadTracks(args.base);
    const double row = rowAt(seconds);
    printf("# %.4f s, row %.2f, scene %d\n", seconds, row, sceneForRow(row));
    for (int t = 0; t < trackCount; ++t) {
        const float value = float(getSyncValue(&tracks[t], row));  // narrowed as the engine does
        printf("%2d %-22s %.9g\n", t, trackName(t), double(value));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const Arguments args = parseArguments(argc, argv);
    if (args.help) {
        fputs(usage, stdout);
        return 0;
    }
    if (!args.valid) {
        fputs(usage, stderr);
        return 2;
    }
    if (args.command == "compile")
        return runCompile(args);
    if (args.command == "dump")
        return runDump(args);
    if (args.command == "plot")
        return runPlot(args);
    return runAt(args);
}
