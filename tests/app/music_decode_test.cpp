// The tune decoded on its own thread from start-up gives the same verdict as
// the decode at open: a stream for a playable file, 0 for anything else, and
// a decode started for one file never stands in for another. A file cut
// short decodes to less than it says it holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/music.h"

namespace {

constexpr const char* tunePath = "data/drumveil.mp3";

TEST(MusicDecode, EarlyDecodeOpensThePlayableTuneOnly)
{
    beginMusicDecode(tunePath);
    EXPECT_NE(openMusicStream(tunePath), 0u);
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
    beginMusicDecode(tunePath);
    EXPECT_EQ(openMusicStream("data/no-such-tune.mp3"), 0u);
    beginMusicDecode("data/no-such-tune.mp3");
    EXPECT_NE(openMusicStream(tunePath), 0u);
    closeMusicDevice();
}

} // namespace

TEST(MusicDecode, AFileCutShortDecodesLessThanItSaysItHolds)
{
    std::vector<int16_t> whole, cut;
    ASSERT_TRUE(decodeMusicFile(tunePath, whole));
    const double wholeSeconds = double(whole.size()) / 2.0 / 44100.0;
    EXPECT_NEAR(musicFileSeconds(tunePath), wholeSeconds, 0.01);

    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillon-cut-" + std::to_string(::getpid()) + ".mp3")).string();
    {
        std::ifstream in(tunePath, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    ASSERT_TRUE(decodeMusicFile(path.c_str(), cut));
    EXPECT_LT(double(cut.size()) / 2.0 / 44100.0, wholeSeconds * 0.6);
    EXPECT_NEAR(musicFileSeconds(path.c_str()), wholeSeconds, 0.01) << "the info tag keeps the whole length";
    EXPECT_EQ(musicFileSeconds("data/no-such-tune.mp3"), -1.0);
    std::filesystem::remove(path);
}
