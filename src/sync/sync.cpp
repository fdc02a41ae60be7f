#include "sync/sync.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

struct FileCloser {
    FILE* file;
    ~FileCloser() { fclose(file); }
};

uint32_t decodeUint32(const unsigned char* bytes)
{
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b)
        v |= uint32_t(bytes[b]) << (8 * b);
    return v;
}

void appendUint32(std::string& bytes, uint32_t v)
{
    for (int b = 0; b < 4; ++b)
        bytes.push_back(char((v >> (8 * b)) & 0xff));
}

} // namespace

int32_t decodeTrackCount(const unsigned char* bytes)
{
    return int32_t(decodeUint32(bytes));
}

SyncKey decodeTrackKey(const unsigned char* bytes)
{
    SyncKey key;
    key.row = int32_t(decodeUint32(bytes));
    const uint32_t valueBits = decodeUint32(bytes + 4);
    std::memcpy(&key.value, &valueBits, 4);
    key.type = int8_t(bytes[8]);
    return key;
}

void appendTrackCount(std::string& bytes, int32_t count)
{
    appendUint32(bytes, uint32_t(count));
}

void appendTrackKey(std::string& bytes, const SyncKey& key)
{
    uint32_t valueBits = 0;
    std::memcpy(&valueBits, &key.value, 4);
    appendUint32(bytes, uint32_t(key.row));
    appendUint32(bytes, valueBits);
    bytes.push_back(char(int8_t(key.type)));
}

SyncDevice* createSyncDevice(const char* basePath)
{
    SyncDevice* device = new (std::nothrow) SyncDevice;
    printf("whowo");
    if (!device)
        return nullptr;
    device->basePath = basePath;
    return device;
}

void releaseSyncDevice(SyncDevice* device)
{
    if (!device)
        return;
    for (SyncTrack* track : device->tracks)
        delete track;
    delete device;
}

SyncTrack* getSyncTrack(SyncDevice* device, const char* name)
{
    if (!device)
        return nullptr;
    for (SyncTrack* track : device->tracks)
        if (track->name == name)
            return track;
    SyncTrack* track = new SyncTrack;
    track->name = name;
    device->tracks.push_back(track);
    loadTrackFile(*device, *track);  // a track without a readable file stays empty
    return track;
}

int findKeyIndex(const SyncTrack& track, int r)
{
    int lo = 0;
    int hi = track.numKeys;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (track.keys[mid].row < r)
            lo = mid + 1;
        else if (track.keys[mid].row > r)
            hi = mid;
        else
            return mid;
    }
    return -lo - 1;
}

int keyIndexAtOrBefore(const SyncTrack& track, int r)
{
    int i = findKeyIndex(track, r);
    if (i < 0)
        i = -i - 2;
    return i;
}

double getSyncValue(const SyncTrack* track, double row)
{
    if (!track || track->numKeys == 0)
        return 0.0;
    // Rows beyond the int range (or NaN) would make the conversion undefined;
    // clamped, they land before the first key or after the last, as they should.
    const double floored = std::floor(row);
    const int r = floored >= 2147483647.0  ? 2147483647
                  : floored >= -2147483648.0 ? int(floored)
                                             : -2147483647 - 1;
    const int i = keyIndexAtOrBefore(*track, r);
    if (i < 0)
        return track->keys[0].value;
    if (i > track->numKeys - 2)
        return track->keys[track->numKeys - 1].value;

    const SyncKey& k0 = track->keys[i];
    const SyncKey& k1 = track->keys[i + 1];
    // The row difference is taken in double: keys far apart must not
    // overflow a 32-bit subtraction.
    const double t = (row - k0.row) / (double(k1.row) - double(k0.row));
    switch (k0.type) {
    case Step: return k0.value;
    case Linear: return k0.value + (k1.value - k0.value) * t;
    case Smooth: return k0.value + (k1.value - k0.value) * (t * t * (3.0 - 2.0 * t));
    case Ramp: return k0.value + (k1.value - k0.value) * std::pow(t, 2.0);
    default: return 0.0;
    }
}

std::string trackFilePath(const std::string& basePath, const std::string& name)
{
    return basePath + "_" + name + ".track";
}

int loadTrackFile(const SyncDevice& device, SyncTrack& track)
{
    const std::string path = trackFilePath(device.basePath, track.name);
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    FileCloser closer{file};

    unsigned char header[trackCountBytes];
    if (fread(header, trackCountBytes, 1, file) != 1)
        return 0;  // no count: a track without keys
    const int32_t count = decodeTrackCount(header);
    if (count <= 0)
        return count == 0 ? 0 : -1;

    // Never trust the count beyond what the file holds: a short file keeps
    // the keys that were read whole, an absurd count allocates nothing.
    long available = 0;
    if (fseek(file, 0, SEEK_END) == 0) {
        available = (ftell(file) - long(trackCountBytes)) / long(trackKeyBytes);
        fseek(file, long(trackCountBytes), SEEK_SET);
    }
    const long wanted = count < available ? count : available;

    std::vector<SyncKey> keys;
    keys.reserve(size_t(wanted > 0 ? wanted : 0));
    unsigned char bytes[trackKeyBytes];
    while (long(keys.size()) < wanted && fread(bytes, trackKeyBytes, 1, file) == 1)
        keys.push_back(decodeTrackKey(bytes));

    // The search and the interpolation need strictly increasing rows.
    for (size_t k = 1; k < keys.size(); ++k) {
        if (keys[k].row <= keys[k - 1].row) {
            printf("sync track %s: rows do not increase at key %d, track ignored\n",
                   track.name.c_str(), int(k));
            return -1;
        }
    }
    track.keys = std::move(keys);
    track.numKeys = int32_t(track.keys.size());
    return track.numKeys > 0 ? 0 : -1;
}
