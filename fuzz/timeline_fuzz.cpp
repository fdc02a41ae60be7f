// Fuzzes the timeline source compiler with its event reader: the input is an
// event file, a line "%%", then timeline source (without the line, all of it
// is timeline source and there is no event file). Both are parsed, every
// track's keys are built, and each built track is encoded and decoded again.
#include <cstdint>
#include <string>
#include <vector>

#include "sync/tracks_events.h"
#include "sync/tracks_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find("\n%%\n");
    EventFile events;
    std::vector<std::string> errors;
    const EventFile* eventsUsed = nullptr;
    std::string timeline = input;
    if (split != std::string::npos) {
        parseEventText(input.substr(0, split), "events.txt", events, errors);
        eventsUsed = &events;
        timeline = input.substr(split + 4);
    }
    TimelineSource source;
    if (!parseTimeline(timeline, "production.timeline", eventsUsed, source, errors)) return 0;
    TrackKeys keys;
    if (!buildTrackKeys(source, eventsUsed, keys, errors)) return 0;
    for (int t = 0; t < trackCount; ++t) {
        std::vector<SyncKey> decoded;
        std::string why;
        if (!decodeTrackFile(encodeTrackFile(keys[t]), decoded, why)) __builtin_trap();
        formatTrackBlock(t, decoded);
    }
    return 0;
}
