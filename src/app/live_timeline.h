// The windowed build's live timeline: watches the timeline source and the
// event file, and once a save has settled compiles them in the process with
// the library's compiler, swaps the new keys into the playing tracks between
// two frames and writes the 64 track files as `quillon-tracks compile` does.
// The watch record holds the file stamps, the section starts and the tempo
// grid of the last good compile; the frame loop owns it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sync/tracks_events.h"
#include "sync/tracks_source.h"

struct SyncTrack;

// What a file looked like when last read: a change of any field is a save.
struct FileStamp {
    bool exists = false;
    int64_t size = 0;            // bytes
    int64_t modified = 0;        // nanoseconds since 1970
};

struct TimelineWatch {
    CompileOptions options;          // source, event file ("" for none), output base
    std::filesystem::path sourceFile;  // the two paths made once, so a poll allocates nothing
    std::filesystem::path eventsFile;
    FileStamp source;                // as last taken (compiled or rejected)
    FileStamp events;
    std::vector<double> sectionStarts;  // seconds, ascending, of the last good source
    EventFile tempoGrid;             // the last event file read without errors
    int reloads = 0;                 // good compiles swapped in since the start
    std::vector<std::string> errors; // "file:line: message" of the last rejected save, until a good one
};

// A save is taken once the file has not changed for this long: an editor
// still writing keeps changing it (seconds).
constexpr double timelineSettleSeconds = 0.05;

enum class TimelinePoll {
    Unchanged,  // nothing saved since the last poll that took a change
    Settling,   // a save is still fresh or changed while read: try again next poll
    Reloaded,   // the tracks now hold the new keys (the files too, unless messages say otherwise)
    Rejected,   // errors in messages; the tracks and the files are as they were
};

// The stamp of a file now.
FileStamp readFileStamp(const std::filesystem::path& path);
// Takes the current stamps as seen and reads the sections and the tempo grid
// of the files as they are (errors ignored: the tracks come from the
// compiled files). Prints nothing, writes nothing.
void beginTimelineWatch(TimelineWatch& watch, const CompileOptions& options);
// Looks for a settled save at wall time `now` (seconds since 1970). On a
// good compile, replaces the keys of tracks[0..trackCount-1] (null entries skipped)
// and writes the track files; each line to print goes to messages, errors as
// "file:line: message".
TimelinePoll pollTimelineFiles(TimelineWatch& watch, double now /* systemClockSeconds */, SyncTrack* const* tracks,
                               std::vector<std::string>& messages);
