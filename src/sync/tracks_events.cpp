#include "sync/tracks_events.h"

#include "sync/tracks_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// A downbeat that lands within this much of a grid change still counts as the
// last bar of the old grid, not as a new partial one (seconds).
constexpr double barEpsilon = 1e-6;

} // namespace

bool parseEventText(const std::string& text, const std::string& path, EventFile& out,
                    std::vector<std::string>& errors)
{
    const size_t errorsBefore = errors.size();
    out = EventFile{};
    out.path = path;
    for (const WordLine& line : wordLines(text)) {
        const std::vector<std::string>& words = line.words;
        double seconds = 0.0;
        if (words.size() < 2 || !parseDouble(words[1], seconds)) {
            errors.push_back(linePrefix(path, line.number) + "expected '<kind> <seconds>'");
            continue;
        }
        if (std::fabs(seconds) > maxEventSeconds) {
            errors.push_back(linePrefix(path, line.number) + "time " + words[1] +
                             " is out of range (at most " + std::to_string(int(maxEventSeconds)) +
                             " seconds either side of 0)");
            continue;
        }
        if (words[0] == "tempo") {
            double bpm = 0.0;
            double beats = 0.0;
            if (words.size() != 4 || !parseDouble(words[2], bpm) || !parseDouble(words[3], beats) ||
                bpm <= 0.0 || beats < 1.0 || beats != std::floor(beats)) {
                errors.push_back(linePrefix(path, line.number) +
                                 "expected 'tempo <seconds> <bpm> <beats_per_bar>'");
                continue;
            }
            if (bpm > maxTempo || beats > maxBeatsPerBar) {
                errors.push_back(linePrefix(path, line.number) + "tempo out of range (at most " +
                                 std::to_string(int(maxTempo)) + " bpm and " +
                                 std::to_string(maxBeatsPerBar) + " beats per bar)");
                continue;
            }
            out.tempos.push_back(TempoSegment{seconds, bpm, int(beats), 1, line.number});
            continue;
        }
        MusicEvent event{words[0], seconds, ""};
        for (size_t w = 2; w < words.size(); ++w)
            event.label += (w > 2 ? " " : "") + words[w];
        out.events.push_back(event);
    }

    std::stable_sort(out.events.begin(), out.events.end(),
                     [](const MusicEvent& a, const MusicEvent& b) { return a.seconds < b.seconds; });
    std::stable_sort(out.tempos.begin(), out.tempos.end(),
                     [](const TempoSegment& a, const TempoSegment& b) { return a.start < b.start; });
    for (size_t i = 1; i < out.tempos.size(); ++i) {
        const TempoSegment& previous = out.tempos[i - 1];
        if (out.tempos[i].start <= previous.start) {
            errors.push_back(path + ": two tempo lines start at " + std::to_string(previous.start));
            break;
        }
        const double barLength = previous.beatsPerBar * 60.0 / previous.bpm;
        const double bars = (out.tempos[i].start - previous.start) / barLength;
        // Counted in double first: tempo lines far apart can number more bars
        // than an int holds.
        const double firstBar = double(previous.firstBar) + std::ceil(bars - barEpsilon);
        if (!(firstBar <= maxBarNumber)) {
            char bar[32];
            snprintf(bar, sizeof bar, "%.0f", firstBar);
            errors.push_back(linePrefix(path, out.tempos[i].line) + "this tempo line starts bar " +
                             bar + ", beyond the last bar number " + std::to_string(maxBarNumber));
            break;
        }
        out.tempos[i].firstBar = int(firstBar);
    }
    return errors.size() == errorsBefore;
}

bool loadEventFile(const std::string& path, EventFile& out, std::vector<std::string>& errors)
{
    std::string text;
    if (!readWholeFile(path, text)) {
        errors.push_back(path + ": cannot read the event file");
        return false;
    }
    return parseEventText(text, path, out, errors);
}

bool secondsAtBarBeat(const EventFile& events, int bar, double beat, double& seconds,
                      std::string& why)
{
    if (events.tempos.empty()) {
        why = "bar:beat needs a tempo line in the event file";
        return false;
    }
    if (bar < 1 || bar > maxBarNumber) {
        why = "bars count from 1 to " + std::to_string(maxBarNumber);
        return false;
    }
    const TempoSegment* grid = &events.tempos.front();
    for (const TempoSegment& segment : events.tempos)
        if (segment.firstBar <= bar)
            grid = &segment;
    if (beat < 1.0 || beat >= grid->beatsPerBar + 1.0) {
        why = "beat must lie from 1 to below " + std::to_string(grid->beatsPerBar + 1);
        return false;
    }
    const double beats = double(bar - grid->firstBar) * grid->beatsPerBar + (beat - 1.0);
    seconds = grid->start + beats * 60.0 / grid->bpm;
    return true;
}

bool barBeatAtSeconds(const EventFile& events, double seconds, int& bar, double& beat)
{
    if (events.tempos.empty() || seconds < events.tempos.front().start)
        return false;
    const TempoSegment* grid = &events.tempos.front();
    for (const TempoSegment& segment : events.tempos)
        if (segment.start <= seconds)
            grid = &segment;
    // A beat written on the grid lands exactly; the allowance keeps it there.
    const double beats = (seconds - grid->start) * grid->bpm / 60.0 + 1e-9;
    const double bars = std::floor(beats / grid->beatsPerBar);
    if (!(grid->firstBar + bars <= maxBarNumber))
        return false;  // beyond every bar a time can be written at
    bar = grid->firstBar + int(bars);
    beat = 1.0 + std::max(0.0, beats - 1e-9 - bars * grid->beatsPerBar);
    return true;
}

std::vector<double> eventTimes(const EventFile& events, const std::string& kind)
{
    std::vector<double> times;
    for (const MusicEvent& event : events.events)
        if (event.kind == kind)
            times.push_back(event.seconds);
    return times;
}
