// Sync tracks: keyed curves over rows (music seconds x 16), one binary file
// per track, read once when a track is first requested. The device owns its
// tracks, their names and keys for the whole run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr double rowsPerSecond = 16.0;  // rows per second of music

enum KeyType : int32_t {
    Step = 0,    // hold this key's value until the next key
    Linear = 1,  // straight line to the next key
    Smooth = 2,  // smoothstep t*t*(3 - 2t)
    Ramp = 3,    // quadratic ease-in, t^2
};

struct SyncKey {
    int32_t row = 0;      // rows
    float value = 0.0f;
    int32_t type = Step;  // a KeyType; any other value yields 0.0 over its span
};

struct SyncTrack {
    std::string name;
    std::vector<SyncKey> keys;  // strictly increasing rows
    int32_t numKeys = 0;
};

struct SyncDevice {
    std::string basePath;
    std::vector<SyncTrack*> tracks;  // in creation order; owned, never removed
};

// A .track file: the key count as an int32, then per key its row (int32),
// value (float) and interpolation (int8), packed and little-endian.
constexpr size_t trackCountBytes = 4;
constexpr size_t trackKeyBytes = 9;
// The count at the start of a file's bytes (trackCountBytes of them).
int32_t decodeTrackCount(const unsigned char* bytes);
// One key from trackKeyBytes bytes; the type is widened with its sign.
SyncKey decodeTrackKey(const unsigned char* bytes);
void appendTrackCount(std::string& bytes, int32_t count);
void appendTrackKey(std::string& bytes, const SyncKey& key);

// Creates a device for a base path ("sync/sync"); prints "whowo". The device
// lives until the process ends. Null when it cannot be created.
SyncDevice* createSyncDevice(const char* basePath);
// Frees the device and its tracks; null is accepted. The program keeps its
// device to the end; tests and tools that make several free them.
void releaseSyncDevice(SyncDevice* device);
// The track of that name, read from its file on the first request.
SyncTrack* getSyncTrack(SyncDevice* device, const char* name);
// The track's value at a fractional row; 0.0 for a null or empty track.
double getSyncValue(const SyncTrack* track, double row);

// Binary search over the keys' rows: the index of the key at row r, or
// -(insertion point) - 1.
int findKeyIndex(const SyncTrack& track, int r);
// The index of the last key at or before row r; -1 when every key is after r.
int keyIndexAtOrBefore(const SyncTrack& track, int r);
// basePath + "_" + name + ".track".
std::string trackFilePath(const std::string& basePath, const std::string& name);
// Reads the track's file into its keys: 0 on success, -1 when the file cannot
// be read or holds no usable keys.
int loadTrackFile(const SyncDevice& device, SyncTrack& track);
