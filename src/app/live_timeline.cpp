#include "app/live_timeline.h"

#include <algorithm>
#include <chrono>

#include "app/timeline.h"
#include "sync/sync.h"

namespace {

bool sameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.exists == b.exists && a.size == b.size && a.modified == b.modified;
}

// True while a save is too fresh to be trusted as finished.
bool stillFresh(const FileStamp& stamp, double now)
{
    return stamp.exists && now - double(stamp.modified) * 1e-9 < timelineSettleSeconds;
}

std::vector<double> sectionStartsOf(const TimelineSource& source)
{
    std::vector<double> starts;
    for (const TimelineSection& section : source.sections)
        starts.push_back(section.row / rowsPerSecond);
    return starts;
}

void swapTrackKeys(const TrackKeys& keys, SyncTrack* const* tracks)
{
    for (int t = 0; t < trackCount; ++t) {
        if (!tracks[t])
            continue;
        tracks[t]->keys = keys[size_t(t)];
        tracks[t]->numKeys = int32_t(keys[size_t(t)].size());
    }
}

} // namespace

FileStamp readFileStamp(const std::filesystem::path& path)
{
    using namespace std::chrono;
    FileStamp stamp;
    std::error_code error;
    if (path.empty())
        return stamp;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return stamp;
    const std::filesystem::file_time_type modified = std::filesystem::last_write_time(path, error);
    if (error)
        return stamp;
    stamp.exists = true;
    stamp.size = int64_t(size);
    // In the wall clock's epoch, so a save's age can be taken against it.
    stamp.modified = duration_cast<nanoseconds>(file_clock::to_sys(modified).time_since_epoch()).count();
    return stamp;
}

void beginTimelineWatch(TimelineWatch& watch, const CompileOptions& options)
{
    watch = TimelineWatch{};
    watch.options = options;
    watch.sourceFile = options.sourcePath;
    watch.eventsFile = options.eventsPath;
    watch.source = readFileStamp(watch.sourceFile);
    watch.events = readFileStamp(watch.eventsFile);
    std::vector<std::string> ignored;
    if (!options.eventsPath.empty())
        loadEventFile(options.eventsPath, watch.tempoGrid, ignored);
    TimelineSource source;
    TrackKeys keys;
    if (buildTimeline(options, source, keys, ignored))
        watch.sectionStarts = sectionStartsOf(source);
}

TimelinePoll pollTimelineFiles(TimelineWatch& watch, double now, SyncTrack* const* tracks,
                               std::vector<std::string>& messages)
{
    const FileStamp source = readFileStamp(watch.sourceFile);
    const FileStamp events = readFileStamp(watch.eventsFile);
    if (sameStamp(source, watch.source) && sameStamp(events, watch.events))
        return TimelinePoll::Unchanged;
    if (stillFresh(source, now) || stillFresh(events, now))
        return TimelinePoll::Settling;
    // An editor that truncates before writing leaves an empty file for a
    // moment; it would compile to 64 empty tracks. Wait for the text.
    if (source.exists && source.size == 0)
        return TimelinePoll::Settling;

    TimelineSource parsed;
    TrackKeys keys;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    const bool built = buildTimeline(watch.options, parsed, keys, errors, &warnings);
    // Written to while being read: the text may be half old, half new.
    if (!sameStamp(source, readFileStamp(watch.sourceFile)) ||
        !sameStamp(events, readFileStamp(watch.eventsFile)))
        return TimelinePoll::Settling;
    watch.source = source;
    watch.events = events;

    messages.insert(messages.end(), warnings.begin(), warnings.end());
    if (!built) {
        messages.insert(messages.end(), errors.begin(), errors.end());
        watch.errors = errors;
        messages.push_back(watch.options.sourcePath +
                           ": not reloaded, the tracks playing are kept and nothing was written");
        return TimelinePoll::Rejected;
    }

    watch.errors.clear();
    swapTrackKeys(keys, tracks);
    watch.sectionStarts = sectionStartsOf(parsed);
    if (!watch.options.eventsPath.empty()) {
        EventFile grid;
        std::vector<std::string> ignored;
        if (loadEventFile(watch.options.eventsPath, grid, ignored))
            watch.tempoGrid = grid;
    }
    ++watch.reloads;
    int replaced = 0;
    if (!writeTrackFiles(watch.options.outBase, keys, errors, &replaced)) {
        messages.insert(messages.end(), errors.begin(), errors.end());
        messages.push_back(watch.options.sourcePath + ": reloaded, but " +
                           (replaced == 0 ? std::string("the track files were left as they were")
                                          : "only " + std::to_string(replaced) + " track files were replaced"));
    }
    return TimelinePoll::Reloaded;
}
