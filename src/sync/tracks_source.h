// The timeline source: a readable text with one block per sync track, keys
// at times in seconds, rows or bars and beats, compiled into the 64 binary
// track files the engine reads, and written back as text from those files.
// Everything here works on plain records owned by the caller.
#pragma once

#include "sync/tracks_events.h"
#include "sync/sync.h"
#include "sync/track_names.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Key rows are kept within +-2^30 so that the difference of two rows, which
// the evaluation takes in 32-bit integers, can never overflow.
constexpr int32_t maxKeyRow = 1 << 30;  // rows

// The readable name of track 0..trackCount-1 ("camera_mode", "fade", ...).
const char* trackName(int track);
// The track of a number ("16") or a name ("node_count"); -1 when neither.
int findTrack(const std::string& numberOrName);

// A generator line: keys made from the event file's events of one kind.
// "pulse" peaks on each event and reaches 0 one row before the next;
// "flash" peaks and decays to 0 within `decayRows` (or before the next).
struct KeyGenerator {
    std::string shape;        // "pulse" or "flash"
    std::string eventKind;    // "kick", "impact", ...
    float peak = 1.0f;
    int32_t decayRows = 0;    // rows; flash only
    double from = -1e300;     // seconds; events before are ignored
    double until = 1e300;     // seconds; events at or after are ignored
    int line = 0;
};

struct SourceKey {
    SyncKey key;
    int line = 0;
};

struct TrackBlock {
    std::vector<SourceKey> keys;           // strictly increasing rows
    std::vector<KeyGenerator> generators;
    int line = 0;                          // of the block's header; 0 when absent
};

// A named start of a part of the production ("section 40s groove"): where
// the windowed build's Page Up and Page Down land. Sections stand outside the
// track blocks and compile into no track.
struct TimelineSection {
    int32_t row = 0;   // rows; the row that holds the written time
    std::string name;  // may be empty
    int line = 0;
};

struct TimelineSource {
    std::string path;
    int endLine = 0;   // of the closing 'end' line; 0 when there is none
    int lineCount = 0; // lines of the text
    std::array<TrackBlock, trackCount> tracks;
    std::vector<TimelineSection> sections;  // strictly increasing rows
};

using TrackKeys = std::array<std::vector<SyncKey>, trackCount>;

// Parses timeline text. events may be null when no event file is used; then
// bar:beat times are errors and generators yield no keys. Every error reads
// "path:line: message". True when error-free.
bool parseTimeline(const std::string& text, const std::string& path, const EventFile* events,
                   TimelineSource& out, std::vector<std::string>& errors);

// The keys of every track: the source's own keys merged with the generated
// ones. A hand key on the row of a generated key is an error.
bool buildTrackKeys(const TimelineSource& source, const EventFile* events, TrackKeys& out,
                    std::vector<std::string>& errors);

// Whether a parsed source may replace the track files at outBase: it ends
// with an 'end' line, which a save cut short cannot have, and every track
// with keys in those files today has a block (a 'track N' line with no keys
// empties it on purpose). Errors read "path:line: message".
bool checkTimelineWhole(const TimelineSource& source, const std::string& outBase,
                        std::vector<std::string>& errors);

// The most bytes a track file can hold: 2^24 keys.
constexpr size_t maxTrackFileBytes = 4 + 9 * (size_t(1) << 24);

// The bytes of one track file: int32 count, then per key int32 row, float32
// value, int8 type, little-endian, 4 + 9n bytes.
std::string encodeTrackFile(const std::vector<SyncKey>& keys);
// Reads such bytes back; false with the reason when the size does not match
// the count, a type is not 0..3, a value is not finite or rows do not increase.
bool decodeTrackFile(const std::string& bytes, std::vector<SyncKey>& keys, std::string& why);

// Writes all 64 files basePath_N.track, all or nothing: every file goes to a
// temporary first, and only once all 64 are written are they renamed into
// place; on a failure the temporaries are removed and the old set stays.
// filesReplaced (optional) counts the renames done, 0 unless a rename failed
// midway or all succeeded (then 64).
bool writeTrackFiles(const std::string& basePath, const TrackKeys& keys,
                     std::vector<std::string>& errors, int* filesReplaced = nullptr);

// Source text of one track block that compiles back to exactly these keys.
std::string formatTrackBlock(int track, const std::vector<SyncKey>& keys);

struct CompileOptions {
    std::string sourcePath;
    std::string eventsPath;  // empty: no event file
    std::string outBase;     // "sync/sync"
};

// Reads the source and (when eventsPath is not empty) the event file, parses
// and builds every track's keys, writing nothing. Warnings as below.
bool buildTimeline(const CompileOptions& options, TimelineSource& source, TrackKeys& keys,
                   std::vector<std::string>& errors, std::vector<std::string>* warnings = nullptr);
// Reads the event file and the source, builds and writes every track file.
// Nothing is written unless everything compiles. Warnings (a generator whose
// event kind the event file never names) do not stop the compile.
// filesReplaced as for writeTrackFiles.
bool compileTimeline(const CompileOptions& options, std::vector<std::string>& errors,
                     std::vector<std::string>* warnings = nullptr, int* filesReplaced = nullptr);
