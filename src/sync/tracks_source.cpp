#include "sync/tracks_source.h"

#include "assets/directory.h"

#include "sync/tracks_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unistd.h>

namespace {

// Where a pulse falls once it has left its peak: to this share of the peak
// one row later (so it still holds above 0.8 of it half a row after), then
// to the knee's share a quarter of the way to its end (two rows at least),
// then a slower fade to zero.
constexpr float pulseHold = 0.7f;
constexpr float pulseKnee = 0.3f;
// An event that falls in the second half of a row peaks on the next row; it
// rises from this share of the peak one row before, so the value at the
// event's own time is still above 0.8 of the peak.
constexpr float pulseLead = 0.6f;
// The last event of a generator has no successor; it decays over the gap
// before it, or over this many rows (half a second) when it stands alone.
constexpr int32_t loneEventRows = 8;

const char* const typeNames[] = {"step", "linear", "smooth", "ramp"};

// Seconds become the row that holds them: a key never takes effect after the
// time written (at most one row, 1/16 s, before it). The small allowance
// keeps a time computed from a tempo, meant to fall on a row, on that row.
bool rowFromSeconds(double seconds, int32_t& row)
{
    const double rows = std::floor(seconds * rowsPerSecond + 1e-6);
    if (!(std::fabs(rows) <= maxKeyRow))
        return false;
    row = int32_t(rows);
    return true;
}

// An event's peak goes on the row nearest it (at most half a row, 1/32 s,
// either side), so a hit is seen neither a whole row early nor late.
bool nearestRowFromSeconds(double seconds, int32_t& row)
{
    const double rows = std::floor(seconds * rowsPerSecond + 0.5);
    if (!(std::fabs(rows) <= maxKeyRow))
        return false;
    row = int32_t(rows);
    return true;
}

// A time token: "12.5s" (seconds), "200r" (rows) or "17:3.5" (bar:beat on
// the event file's tempo grid). Fills the row; false with the reason.
bool parseTime(const std::string& text, const EventFile* events, int32_t& row, std::string& why)
{
    why = "bad time '" + text + "' (write 12.5s, 200r or bar:beat such as 17:3)";
    if (text.size() < 2)
        return false;
    const char unit = text.back();
    const std::string number = text.substr(0, text.size() - 1);
    if (unit == 's') {
        double seconds = 0.0;
        if (!parseDouble(number, seconds))
            return false;
        if (!rowFromSeconds(seconds, row)) {
            why = "time '" + text + "' is out of range";
            return false;
        }
        return true;
    }
    if (unit == 'r') {
        long long rows = 0;
        if (!parseInteger(number, rows))
            return false;
        if (rows < -maxKeyRow || rows > maxKeyRow) {
            why = "time '" + text + "' is out of range";
            return false;
        }
        row = int32_t(rows);
        return true;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    long long bar = 0;
    double beat = 0.0;
    if (!parseInteger(text.substr(0, colon), bar) || !parseDouble(text.substr(colon + 1), beat))
        return false;
    if (!events) {
        why = "bar:beat time '" + text + "' needs the event file";
        return false;
    }
    double seconds = 0.0;
    if (bar > std::numeric_limits<int>::max() ||
        !secondsAtBarBeat(*events, int(bar), beat, seconds, why)) {
        why = "bad bar:beat '" + text + "': " + why;
        return false;
    }
    if (!rowFromSeconds(seconds, row)) {
        why = "time '" + text + "' is out of range";
        return false;
    }
    return true;
}

// "6s" or "96r": a length of time in rows, greater than zero.
bool parseDuration(const std::string& text, int32_t& rows, std::string& why)
{
    why = "bad duration '" + text + "' (write 1.5s or 24r)";
    if (text.size() < 2 || (text.back() != 's' && text.back() != 'r'))
        return false;
    if (!parseTime(text, nullptr, rows, why) || rows <= 0) {
        why = "bad duration '" + text + "' (write 1.5s or 24r, more than zero)";
        return false;
    }
    return true;
}

int findType(const std::string& name)
{
    for (int t = 0; t < 4; ++t)
        if (name == typeNames[t])
            return t;
    return -1;
}

bool parseGenerator(const std::vector<std::string>& words, const EventFile* events,
                    KeyGenerator& out, std::string& why)
{
    const bool flash = words[0] == "flash";
    const size_t fixed = flash ? 4 : 3;
    why = flash ? "expected 'flash <event> <peak> <decay> [from <time>] [until <time>]'"
                : "expected 'pulse <event> <peak> [from <time>] [until <time>]'";
    if (words.size() < fixed)
        return false;
    out.shape = words[0];
    out.eventKind = words[1];
    if (!parseFloat(words[2], out.peak)) {
        why = "peak '" + words[2] + "' is not a number";
        return false;
    }
    if (flash && !parseDuration(words[3], out.decayRows, why))
        return false;
    for (size_t w = fixed; w < words.size(); w += 2) {
        if ((words[w] != "from" && words[w] != "until") || w + 1 >= words.size())
            return false;
        int32_t row = 0;
        if (!parseTime(words[w + 1], events, row, why))
            return false;
        (words[w] == "from" ? out.from : out.until) = row / rowsPerSecond;
    }
    return true;
}

struct GeneratedKey {
    SyncKey key;
    int line = 0;  // of the generator that made it
};

struct Peak {
    int32_t row = 0;
    float peak = 0.0f;
    int32_t decayRows = 0;  // 0: until the next peak
    int line = 0;
    bool early = false;     // the event comes before its row: lead in from the row before
    int32_t first = 0;      // row of the peak's first key (its lead-in or the peak)
};

std::vector<GeneratedKey> generateKeys(const TrackBlock& block, const EventFile& events)
{
    std::vector<Peak> peaks;
    for (const KeyGenerator& generator : block.generators) {
        for (double seconds : eventTimes(events, generator.eventKind)) {
            int32_t row = 0;
            if (seconds < generator.from || seconds >= generator.until ||
                !nearestRowFromSeconds(seconds, row))
                continue;
            const bool early = seconds * rowsPerSecond < row - 1e-6;
            peaks.push_back(Peak{row, generator.peak,
                                 generator.shape == "flash" ? generator.decayRows : 0, generator.line,
                                 early, row});
        }
    }
    // Two events on one row make one peak, the stronger.
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const Peak& a, const Peak& b) { return a.row < b.row; });
    std::vector<Peak> merged;
    for (const Peak& peak : peaks) {
        if (!merged.empty() && merged.back().row == peak.row) {
            const bool early = merged.back().early || peak.early;
            if (std::fabs(peak.peak) > std::fabs(merged.back().peak))
                merged.back() = peak;
            merged.back().early = early;
            continue;
        }
        merged.push_back(peak);
    }
    // The lead-in row belongs to the peak unless the peak before holds it.
    for (size_t i = 0; i < merged.size(); ++i) {
        Peak& p = merged[i];
        p.first = p.row;
        if (p.early && (i == 0 || merged[i - 1].row < p.row - 1))
            p.first = p.row - 1;
    }

    std::vector<GeneratedKey> keys;
    for (size_t i = 0; i < merged.size(); ++i) {
        const Peak& p = merged[i];
        // The last peak has no successor: it falls over the gap before it,
        // but never so fast that it would not reach zero at all.
        // Rows are within +-2^30, so their sums and differences fit in 64 bits
        // and the end, kept within the addressable rows, fits in 32 again.
        int64_t gap = loneEventRows;
        if (i + 1 < merged.size())
            gap = int64_t(merged[i + 1].first) - p.row;
        else if (i > 0)
            gap = std::max<int64_t>(int64_t(p.row) - merged[i - 1].row, 2);
        int64_t longest = int64_t(p.row) + gap - 1;  // one row before the next peak
        if (p.decayRows > 0)
            longest = std::min<int64_t>(longest, int64_t(p.row) + p.decayRows);
        const int32_t end = int32_t(std::min<int64_t>(longest, maxKeyRow));
        if (p.first < p.row)
            keys.push_back(GeneratedKey{SyncKey{p.first, p.peak * pulseLead, Linear}, p.line});
        if (end <= p.row + 1) {
            // No room to fall: hold the peak for the row, then drop.
            keys.push_back(GeneratedKey{SyncKey{p.row, p.peak, Step}, p.line});
            if (end > p.row)
                keys.push_back(GeneratedKey{SyncKey{end, 0.0f, Step}, p.line});
            continue;
        }
        keys.push_back(GeneratedKey{SyncKey{p.row, p.peak, Linear}, p.line});
        if (p.row + 1 < end)
            keys.push_back(GeneratedKey{SyncKey{p.row + 1, p.peak * pulseHold, Linear}, p.line});
        const int32_t knee = int32_t(p.row + std::max<int64_t>(2, (int64_t(end) - p.row) / 4));
        if (knee < end)
            keys.push_back(GeneratedKey{SyncKey{knee, p.peak * pulseKnee, Linear}, p.line});
        keys.push_back(GeneratedKey{SyncKey{end, 0.0f, Step}, p.line});
    }
    return keys;
}

// "115.1875s": every row is a whole number of sixteenths of a second, which
// four decimals always write exactly.
std::string formatRowAsSeconds(int32_t row)
{
    char text[48];
    snprintf(text, sizeof text, "%.4f", row / rowsPerSecond);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s + "s";
}

// "section <time> [name]", appended to the sections; false with why.
bool parseSectionLine(const std::vector<std::string>& words, int lineNo, const EventFile* events,
                      TimelineSource& out, std::string& why)
{
    TimelineSection section;
    section.line = lineNo;
    if (words.size() < 2) {
        why = "expected 'section <time> [name]'";
        return false;
    }
    if (!parseTime(words[1], events, section.row, why))
        return false;
    for (size_t w = 2; w < words.size(); ++w)
        section.name += (w > 2 ? " " : "") + words[w];
    if (!out.sections.empty() && section.row <= out.sections.back().row) {
        why = "section does not come after the one on line " + std::to_string(out.sections.back().line);
        return false;
    }
    out.sections.push_back(section);
    return true;
}

// "track <number> [name]": the track whose block it opens, or -1 with why.
int parseTrackHeader(const std::vector<std::string>& words, int lineNo, TimelineSource& out,
                     std::string& why)
{
    if (words.size() < 2 || words.size() > 3) {
        why = "expected 'track <number> <name>'";
        return -1;
    }
    const int track = findTrack(words[1]);
    if (track < 0) {
        why = "unknown track '" + words[1] + "'";
        return -1;
    }
    if (words.size() == 3 && findTrack(words[2]) != track) {
        why = "track " + std::to_string(track) + " is named '" + trackName(track) + "', not '" +
              words[2] + "'";
        return -1;
    }
    if (out.tracks[track].line != 0) {
        why = "track " + std::to_string(track) + " already has a block on line " +
              std::to_string(out.tracks[track].line);
        return -1;
    }
    out.tracks[track].line = lineNo;
    return track;
}

// A line inside a block: a generator ("pulse ...", "flash ...") or a key
// "<time> <value> [step|linear|smooth|ramp]"; false with why.
bool parseBlockLine(const std::vector<std::string>& words, int lineNo, const EventFile* events,
                    TrackBlock& block, std::string& why)
{
    if (words[0] == "pulse" || words[0] == "flash") {
        KeyGenerator generator;
        generator.line = lineNo;
        if (!parseGenerator(words, events, generator, why))
            return false;
        block.generators.push_back(generator);
        return true;
    }
    if (words.size() < 2 || words.size() > 3) {
        why = "expected '<time> <value> [step|linear|smooth|ramp]'";
        return false;
    }
    SourceKey key;
    key.line = lineNo;
    if (!parseTime(words[0], events, key.key.row, why))
        return false;
    if (!parseFloat(words[1], key.key.value)) {
        why = "value '" + words[1] + "' is not a number";
        return false;
    }
    key.key.type = Step;
    if (words.size() == 3) {
        key.key.type = findType(words[2]);
        if (key.key.type < 0) {
            why = "bad interpolation '" + words[2] + "' (use step, linear, smooth or ramp)";
            return false;
        }
    }
    if (!block.keys.empty() && key.key.row <= block.keys.back().key.row) {
        const SourceKey& previous = block.keys.back();
        why = "time does not increase: " + words[0] + " is row " + std::to_string(key.key.row) +
              ", the key on line " + std::to_string(previous.line) + " is at row " +
              std::to_string(previous.key.row);
        return false;
    }
    block.keys.push_back(key);
    return true;
}

} // namespace

const char* trackName(int track)
{
    return track >= 0 && track < trackCount ? trackNames[track] : "";
}

int findTrack(const std::string& numberOrName)
{
    long long number = 0;
    if (parseInteger(numberOrName, number))
        return number >= 0 && number < trackCount ? int(number) : -1;
    for (int t = 0; t < trackCount; ++t)
        if (numberOrName == trackNames[t])
            return t;
    return -1;
}

bool parseTimeline(const std::string& text, const std::string& path, const EventFile* events,
                   TimelineSource& out, std::vector<std::string>& errors)
{
    const size_t errorsBefore = errors.size();
    out = TimelineSource{};
    out.path = path;
    out.lineCount = int(std::count(text.begin(), text.end(), '\n')) + (text.empty() || text.back() == '\n' ? 0 : 1);
    int current = -1;           // the block being read; -1 outside any
    bool brokenHeader = false;  // its keys are skipped: the header's error names the block
    for (const WordLine& line : wordLines(text)) {
        const std::vector<std::string>& words = line.words;
        const std::string at = linePrefix(path, line.number);
        std::string why;
        if (out.endLine != 0) {
            errors.push_back(at + "nothing may follow the 'end' on line " + std::to_string(out.endLine));
            break;
        }
        if (words[0] == "end") {
            if (words.size() != 1)
                errors.push_back(at + "expected 'end' alone on its line");
            out.endLine = line.number;
        } else if (words[0] == "section") {
            if (!parseSectionLine(words, line.number, events, out, why))
                errors.push_back(at + why);
        } else if (words[0] == "track") {
            current = parseTrackHeader(words, line.number, out, why);
            brokenHeader = current < 0;
            if (current < 0)
                errors.push_back(at + why);
        } else if (current < 0) {
            if (!brokenHeader)
                errors.push_back(at + "key outside a track block (start one with 'track <number> <name>')");
        } else if (!parseBlockLine(words, line.number, events, out.tracks[current], why)) {
            errors.push_back(at + why);
        }
    }
    return errors.size() == errorsBefore;
}

bool buildTrackKeys(const TimelineSource& source, const EventFile* events, TrackKeys& out,
                    std::vector<std::string>& errors)
{
    const size_t errorsBefore = errors.size();
    for (int t = 0; t < trackCount; ++t) {
        const TrackBlock& block = source.tracks[t];
        std::vector<GeneratedKey> generated;
        if (events && !block.generators.empty())
            generated = generateKeys(block, *events);

        std::vector<SyncKey>& keys = out[t];
        keys.clear();
        size_t g = 0;
        for (const SourceKey& hand : block.keys) {
            while (g < generated.size() && generated[g].key.row < hand.key.row)
                keys.push_back(generated[g++].key);
            if (g < generated.size() && generated[g].key.row == hand.key.row) {
                errors.push_back(linePrefix(source.path, hand.line) + "key at row " +
                                 std::to_string(hand.key.row) + " meets a key generated by line " +
                                 std::to_string(generated[g].line));
                ++g;
                continue;
            }
            keys.push_back(hand.key);
        }
        while (g < generated.size())
            keys.push_back(generated[g++].key);
    }
    return errors.size() == errorsBefore;
}

std::string encodeTrackFile(const std::vector<SyncKey>& keys)
{
    std::string bytes;
    bytes.reserve(trackCountBytes + trackKeyBytes * keys.size());
    appendTrackCount(bytes, int32_t(keys.size()));
    for (const SyncKey& key : keys)
        appendTrackKey(bytes, key);
    return bytes;
}

bool decodeTrackFile(const std::string& bytes, std::vector<SyncKey>& keys, std::string& why)
{
    keys.clear();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < trackCountBytes) {
        why = "shorter than its 4-byte key count";
        return false;
    }
    const int32_t count = decodeTrackCount(data);
    const int64_t needed = int64_t(trackCountBytes) + int64_t(trackKeyBytes) * int64_t(count);
    if (count < 0 || int64_t(bytes.size()) != needed) {
        why = "holds " + std::to_string(bytes.size()) + " bytes, but a count of " +
              std::to_string(count) + " keys needs " + std::to_string(needed);
        return false;
    }
    for (int32_t k = 0; k < count; ++k) {
        const SyncKey key = decodeTrackKey(data + trackCountBytes + trackKeyBytes * size_t(k));
        const std::string which = "key " + std::to_string(k) + " (row " + std::to_string(key.row) + ")";
        if (key.type < Step || key.type > Ramp) {
            why = which + " has interpolation " + std::to_string(key.type) + ", not 0 to 3";
            return false;
        }
        if (!std::isfinite(key.value)) {
            why = which + " has a value that is not a number";
            return false;
        }
        if (key.row < -maxKeyRow || key.row > maxKeyRow) {
            why = which + " lies outside the rows a timeline can address";
            return false;
        }
        if (!keys.empty() && key.row <= keys.back().row) {
            why = which + " does not come after the key before it";
            return false;
        }
        keys.push_back(key);
    }
    return true;
}

bool writeTrackFiles(const std::string& basePath, const TrackKeys& keys,
                     std::vector<std::string>& errors, int* filesReplaced)
{
    if (filesReplaced)
        *filesReplaced = 0;
    std::array<std::string, trackCount> files;
    for (int t = 0; t < trackCount; ++t) {
        files[t] = encodeTrackFile(keys[t]);
        std::vector<SyncKey> check;
        std::string why;
        if (!decodeTrackFile(files[t], check, why)) {
            errors.push_back("track " + std::to_string(t) + ": " + why);
            return false;
        }
    }
    const std::filesystem::path directory = std::filesystem::path(basePath).parent_path();
    std::error_code error;
    if (!directory.empty())
        std::filesystem::create_directories(directory, error);

    // Every temporary first: a full disk or a missing folder leaves the old
    // set whole, since nothing is renamed until all 64 are written.
    // Each temporary is this writer's own, made afresh, so a build's compile
    // and a running program's reload never write into the same file.
    std::array<std::string, trackCount> finals;
    std::array<std::string, trackCount> temporaries;
    for (int t = 0; t < trackCount; ++t) {
        finals[t] = trackFilePath(basePath, std::to_string(t));
        std::string why;
        temporaries[t] = createTemporaryBeside(finals[t], why);
        if (temporaries[t].empty() || !writeAllBytes(temporaries[t], files[t].data(), files[t].size(), why)) {
            errors.push_back(why);
            for (int u = 0; u <= t; ++u)
                if (!temporaries[u].empty())
                    std::filesystem::remove(temporaries[u], error);
            return false;
        }
    }
    // A file cannot be renamed over a folder: one of that name would make
    // its rename fail after the earlier ones were done, so refuse before any.
    for (int t = 0; t < trackCount; ++t) {
        if (std::filesystem::is_directory(std::filesystem::symlink_status(finals[t], error))) {
            errors.push_back(finals[t] + ": cannot replace a folder; no track file was replaced");
            for (int u = 0; u < trackCount; ++u)
                std::filesystem::remove(temporaries[u], error);
            return false;
        }
    }
    // A rename within one folder replaces each file whole; should one still
    // fail, the message says how many of the set are new.
    for (int t = 0; t < trackCount; ++t) {
        std::string why;
        if (!replaceWithTemporary(temporaries[t], finals[t], why)) {
            errors.push_back(why + "; " + std::to_string(t) + " of " + std::to_string(trackCount) +
                             " track files were replaced before it");
            for (int u = t + 1; u < trackCount; ++u)
                std::filesystem::remove(temporaries[u], error);
            return false;
        }
        if (filesReplaced)
            *filesReplaced = t + 1;
    }
    return true;
}

std::string formatTrackBlock(int track, const std::vector<SyncKey>& keys)
{
    std::string text = "track " + std::to_string(track) + " " + trackName(track) + "\n";
    for (const SyncKey& key : keys) {
        char value[32];
        snprintf(value, sizeof value, "%.9g", double(key.value));  // 9 digits: exact for any float
        const char* type = key.type >= Step && key.type <= Ramp ? typeNames[key.type] : "?";
        text += "  " + formatRowAsSeconds(key.row) + " " + value + " " + type + "\n";
    }
    return text;
}

bool checkTimelineWhole(const TimelineSource& source, const std::string& outBase,
                        std::vector<std::string>& errors)
{
    const size_t errorsBefore = errors.size();
    const std::string atEnd = linePrefix(source.path, std::max(1, source.lineCount));
    if (source.endLine == 0)
        errors.push_back(atEnd + "the source does not end with an 'end' line; it may have been cut short, "
                                 "so no track file is written");
    std::string dropped;  // tracks with keys today and no block
    for (int t = 0; t < trackCount; ++t) {
        if (source.tracks[t].line != 0)
            continue;
        std::string bytes;
        std::vector<SyncKey> keys;
        std::string why;
        if (readWholeFile(trackFilePath(outBase, std::to_string(t)), bytes, maxTrackFileBytes) &&
            decodeTrackFile(bytes, keys, why) && !keys.empty())
            dropped += " " + std::to_string(t);
    }
    if (!dropped.empty())
        errors.push_back(atEnd + "no block for tracks that have keys in " + trackFilePath(outBase, "N") + ":" +
                         dropped + "; a 'track N' line with no keys empties one on purpose");
    return errors.size() == errorsBefore;
}

bool buildTimeline(const CompileOptions& options, TimelineSource& source, TrackKeys& keys,
                   std::vector<std::string>& errors, std::vector<std::string>* warnings)
{
    EventFile events;
    const bool useEvents = !options.eventsPath.empty();
    if (useEvents && !loadEventFile(options.eventsPath, events, errors))
        return false;
    std::string text;
    if (!readWholeFile(options.sourcePath, text)) {
        errors.push_back(options.sourcePath + ": cannot read the timeline source");
        return false;
    }
    if (!parseTimeline(text, options.sourcePath, useEvents ? &events : nullptr, source, errors) ||
        !checkTimelineWhole(source, options.outBase, errors) ||
        !buildTrackKeys(source, useEvents ? &events : nullptr, keys, errors))
        return false;
    // A misspelt event kind would quietly give an empty track.
    for (const TrackBlock& block : source.tracks)
        for (const KeyGenerator& generator : block.generators)
            if (useEvents && warnings && eventTimes(events, generator.eventKind).empty())
                warnings->push_back(linePrefix(source.path, generator.line) + "warning: " +
                                    options.eventsPath + " has no '" + generator.eventKind + "' events");
    return true;
}

bool compileTimeline(const CompileOptions& options, std::vector<std::string>& errors,
                     std::vector<std::string>* warnings, int* filesReplaced)
{
    if (filesReplaced)
        *filesReplaced = 0;
    TimelineSource source;
    TrackKeys keys;
    if (!buildTimeline(options, source, keys, errors, warnings))
        return false;
    return writeTrackFiles(options.outBase, keys, errors, filesReplaced);
}
