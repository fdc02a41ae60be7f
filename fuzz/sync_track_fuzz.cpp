// Fuzzes the sync track file reader: arbitrary bytes as a track file, read by
// the engine's loader, then evaluated at rows in and around its keys and at
// extreme rows. The decoder of the timeline tools reads the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "sync/sync.h"
#include "sync/tracks_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string base = "/tmp/quillon_fuzz_sync_" + std::to_string(getpid());
    SyncDevice device;
    device.basePath = base;
    SyncTrack track;
    track.name = "0";
    const std::string path = trackFilePath(base, track.name);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    loadTrackFile(device, track);

    static const double rows[] = {-1e300, -2147483649.0, -1.5, 0.0, 0.5, 1e6, 2147483648.0,
                                  1e300, INFINITY, -INFINITY, NAN};
    for (double row : rows) getSyncValue(&track, row);
    for (const SyncKey& key : track.keys) {
        getSyncValue(&track, double(key.row));
        getSyncValue(&track, double(key.row) + 0.5);
        getSyncValue(&track, double(key.row) - 0.25);
    }

    std::vector<SyncKey> keys;
    std::string why;
    if (decodeTrackFile(std::string(reinterpret_cast<const char*>(data), size), keys, why))
        formatTrackBlock(0, keys);
    return 0;
}
