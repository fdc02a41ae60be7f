#include "sync/sync.h"

#include "gl_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

SyncTrack makeTrack(std::initializer_list<SyncKey> keys)
{
    SyncTrack track;
    track.keys = keys;
    track.numKeys = int32_t(track.keys.size());
    return track;
}

SyncTrack twoKeys(KeyType type)
{
    return makeTrack({{0, 2.0f, type}, {16, 4.0f, Linear}});
}

// A scratch directory with track files written byte by byte.
struct TrackFiles {
    fs::path dir = fs::temp_directory_path() / ("quillon_sync_" + std::to_string(::getpid()));
    TrackFiles() { fs::create_directories(dir); }
    ~TrackFiles() { fs::remove_all(dir); }

    std::string base() const { return (dir / "sync").string(); }

    void write(const std::string& name, int32_t count, std::initializer_list<SyncKey> keys,
               size_t truncateTo = SIZE_MAX)
    {
        std::string bytes(reinterpret_cast<const char*>(&count), 4);
        for (const SyncKey& key : keys) {
            bytes.append(reinterpret_cast<const char*>(&key.row), 4);
            bytes.append(reinterpret_cast<const char*>(&key.value), 4);
            bytes.push_back(char(int8_t(key.type)));
        }
        bytes.resize(std::min(bytes.size(), truncateTo));
        std::ofstream(trackFilePath(base(), name), std::ios::binary) << bytes;
    }
};

} // namespace

TEST(SyncTrack, LinearInterpolatesWithTheFractionalRow)
{
    const SyncTrack track = twoKeys(Linear);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 8.0), 3.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 8.5), 3.0625);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 16.0), 4.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 1000.0), 4.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, -3.0), 2.0);  // the first key's value, not 0
}

TEST(SyncTrack, SmoothAndRampEase)
{
    const SyncTrack smooth = twoKeys(Smooth);
    EXPECT_DOUBLE_EQ(getSyncValue(&smooth, 8.0), 3.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&smooth, 4.0), 2.3125);
    const SyncTrack ramp = twoKeys(Ramp);
    EXPECT_DOUBLE_EQ(getSyncValue(&ramp, 8.0), 2.5);
}

TEST(SyncTrack, StepHoldsUntilTheNextKey)
{
    const SyncTrack track = twoKeys(Step);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 0.0), 2.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 15.99), 2.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 16.0), 4.0);
}

TEST(SyncTrack, OnAKeyYieldsItsValueWhateverTheType)
{
    for (int type = 0; type <= 3; ++type) {
        const SyncTrack track = makeTrack({{0, 1.0f, type}, {10, 5.0f, type}, {20, -7.0f, type}});
        EXPECT_DOUBLE_EQ(getSyncValue(&track, 10.0), 5.0) << type;
        EXPECT_DOUBLE_EQ(getSyncValue(&track, 20.0), -7.0) << type;
    }
}

TEST(SyncTrack, UnknownTypeYieldsZeroOnlyOverItsSpan)
{
    const SyncTrack track = makeTrack({{0, 1.0f, Linear}, {10, 5.0f, 9}, {20, 7.0f, Step}});
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 5.0), 3.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 15.0), 0.0);
    EXPECT_DOUBLE_EQ(getSyncValue(&track, 25.0), 7.0);
}

TEST(SyncTrack, EmptyOneKeyAndNullTracks)
{
    const SyncTrack empty;
    EXPECT_DOUBLE_EQ(getSyncValue(&empty, 5.0), 0.0);
    EXPECT_DOUBLE_EQ(getSyncValue(nullptr, 5.0), 0.0);
    const SyncTrack one = makeTrack({{32, 6.5f, Smooth}});
    EXPECT_DOUBLE_EQ(getSyncValue(&one, -100.0), 6.5);
    EXPECT_DOUBLE_EQ(getSyncValue(&one, 32.0), 6.5);
    EXPECT_DOUBLE_EQ(getSyncValue(&one, 1e6), 6.5);
}

TEST(SyncTrack, KeysAtTheEndsOfTheRowRangeInterpolate)
{
    const SyncTrack track = makeTrack({{INT32_MIN + 1, 0.0f, Linear}, {INT32_MAX, 2.0f, Linear}});
    EXPECT_NEAR(getSyncValue(&track, 0.0), 1.0, 1e-6);
}

TEST(SyncTrack, KeySearchEncodesTheInsertionPoint)
{
    const SyncTrack track = makeTrack({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}});
    EXPECT_EQ(findKeyIndex(track, 10), 1);
    EXPECT_EQ(findKeyIndex(track, 15), -3);
    EXPECT_EQ(keyIndexAtOrBefore(track, 15), 1);
    EXPECT_EQ(keyIndexAtOrBefore(track, -1), -1);
    EXPECT_EQ(keyIndexAtOrBefore(track, 99), 2);
}

TEST(SyncDevice, ReadsTrackFilesOnceByName)
{
    TrackFiles files;
    files.write("7", 2, {{0, 2.0f, Linear}, {16, 4.0f, Step}});
    SyncDevice* device = nullptr;
    EXPECT_EQ(captureConsole([&] { device = createSyncDevice(files.base().c_str()); }), "whowo");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(trackFilePath("sync/sync", "7"), "sync/sync_7.track");

    SyncTrack* track = getSyncTrack(device, "7");
    ASSERT_EQ(track->numKeys, 2);
    EXPECT_DOUBLE_EQ(getSyncValue(track, 8.0), 3.0);

    // The second request must not read the file again: change it on disk.
    files.write("7", 1, {{0, 99.0f, Step}});
    EXPECT_EQ(getSyncTrack(device, "7"), track);
    EXPECT_DOUBLE_EQ(getSyncValue(track, 8.0), 3.0);
    EXPECT_EQ(device->tracks.size(), 1u);

    EXPECT_EQ(getSyncTrack(device, "missing")->numKeys, 0);
    EXPECT_EQ(getSyncTrack(nullptr, "7"), nullptr);
    releaseSyncDevice(device);
}

TEST(SyncDevice, MalformedFilesNeverReadPastTheirData)
{
    TrackFiles files;
    std::ofstream(trackFilePath(files.base(), "empty"), std::ios::binary);
    files.write("short", 3, {{0, 1.0f, Linear}, {8, 2.0f, Linear}, {16, 3.0f, Linear}}, 4 + 9 + 9 + 5);
    files.write("negative", -5, {{0, 1.0f, Linear}});
    files.write("absurd", 0x7fffffff, {{0, 1.0f, Linear}});
    files.write("unsorted", 3, {{0, 1.0f, Linear}, {16, 2.0f, Linear}, {8, 3.0f, Linear}});
    files.write("repeated", 2, {{4, 1.0f, Linear}, {4, 2.0f, Linear}});

    SyncDevice* device = nullptr;
    captureConsole([&] { device = createSyncDevice(files.base().c_str()); });
    EXPECT_EQ(getSyncTrack(device, "empty")->numKeys, 0);
    SyncTrack* shortTrack = getSyncTrack(device, "short");
    EXPECT_EQ(shortTrack->numKeys, 2);  // the third key was cut short
    EXPECT_DOUBLE_EQ(getSyncValue(shortTrack, 4.0), 1.5);
    EXPECT_EQ(getSyncTrack(device, "negative")->numKeys, 0);
    EXPECT_EQ(getSyncTrack(device, "absurd")->numKeys, 1);

    std::string printed = captureConsole([&] {
        EXPECT_EQ(getSyncTrack(device, "unsorted")->numKeys, 0);
        EXPECT_EQ(getSyncTrack(device, "repeated")->numKeys, 0);
    });
    EXPECT_NE(printed.find("sync track unsorted: rows do not increase at key 2, track ignored\n"),
              std::string::npos);
    EXPECT_NE(printed.find("sync track repeated"), std::string::npos);
    releaseSyncDevice(device);
}
