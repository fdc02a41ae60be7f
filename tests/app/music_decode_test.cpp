// The tune decoded on its own thread from start-up gives the same verdict as
// the decode at open: a stream for a playable file, 0 for anything else, and
// a decode started for one file never stands in for another.
#include <gtest/gtest.h>

#include "app/music.h"

namespace {

constexpr const char* kTune = "data/drumveil.mp3";

TEST(MusicDecode, EarlyDecodeOpensThePlayableTuneOnly)
{
    beginMusicDecode(kTune);
    EXPECT_NE(openMusicStream(kTune), 0u);
    playMusic(1);  // waits for the rest of the decode

    beginMusicDecode("data/no-such-tune.mp3");
    EXPECT_EQ(openMusicStream("data/no-such-tune.mp3"), 0u);

    // A text file is no MP3: no samples, no stream.
    beginMusicDecode("README.md");
    EXPECT_EQ(openMusicStream("README.md"), 0u);
    closeMusicDevice();
}

TEST(MusicDecode, PendingDecodeOfAnotherFileIsNotTaken)
{
    beginMusicDecode(kTune);
    EXPECT_EQ(openMusicStream("data/no-such-tune.mp3"), 0u);
    beginMusicDecode("data/no-such-tune.mp3");
    EXPECT_NE(openMusicStream(kTune), 0u);
    closeMusicDevice();
}

} // namespace
