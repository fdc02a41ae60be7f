// The soundtrack's event file as the timeline reads it: the tempo grid that
// bar:beat times follow, and the timed events (kicks, snares, impacts, the
// stop, section starts) that generate the beat-pulse and flash tracks.
// Loading fills a plain record owned by the caller.
#pragma once

#include <string>
#include <vector>

// What the event file may hold, so that every time, bar and row computed
// from it stays far inside the integers it is converted to.
constexpr double maxEventSeconds = 67108864.0;  // seconds: 2^30 rows of 1/16 s
constexpr double maxTempo = 10000.0;            // beats per minute
constexpr int maxBeatsPerBar = 256;
constexpr int maxBarNumber = 1 << 24;           // bars

struct TempoSegment {
    double start = 0.0;    // seconds; the grid's first downbeat
    double bpm = 120.0;    // beats per minute
    int beatsPerBar = 4;
    int firstBar = 1;      // number of the bar that starts at `start`
    int line = 0;          // of the tempo line in the event file
};

struct MusicEvent {
    std::string kind;      // "kick", "snare", "impact", "stop", "section", ...
    double seconds = 0.0;  // seconds
    std::string label;     // the rest of the line (a section's name)
};

struct EventFile {
    std::string path;
    std::vector<TempoSegment> tempos;  // by start time
    std::vector<MusicEvent> events;    // by time, tempo lines excluded
};

// Parses event text; errors read "path:line: message". True when error-free.
bool parseEventText(const std::string& text, const std::string& path, EventFile& out,
                    std::vector<std::string>& errors);
// Reads and parses the file at path.
bool loadEventFile(const std::string& path, EventFile& out, std::vector<std::string>& errors);

// The time of bar `bar`, beat `beat` (both counted from 1, the beat may be
// fractional) on the file's tempo grid. A bar that starts after a tempo change
// is counted on the new grid; a grid change always begins a new bar. False,
// with the reason in why, when there is no grid or the position is invalid.
bool secondsAtBarBeat(const EventFile& events, int bar, double beat, double& seconds,
                      std::string& why);

// The other way: the bar (from 1) and beat (from 1, fractional) that a time
// falls on, on the grid that holds it. False before the first grid's start
// and past bar maxBarNumber.
bool barBeatAtSeconds(const EventFile& events, double seconds, int& bar, double& beat);

// Times of every event of one kind, ascending (seconds).
std::vector<double> eventTimes(const EventFile& events, const std::string& kind);
