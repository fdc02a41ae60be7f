// Pause and seek on the music clock, as the windowed build's transport keys
// use them: the position reads the new time at once, holds still while
// paused, and playback goes on from where it was held.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/music.h"

namespace {

using namespace std::chrono_literals;

double positionSeconds(MusicStream stream)
{
    return musicBytesToSeconds(stream, musicBytePosition(stream));
}

// Seeks, pauses across a wait, resumes, and checks the clock at each step.
void checkPauseAndSeek(MusicStream stream)
{
    seekMusic(stream, 100.0);
    EXPECT_NEAR(positionSeconds(stream), 100.0, 0.01);

    pauseMusic(stream, true);
    const double held = positionSeconds(stream);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(positionSeconds(stream), held);

    // A seek while paused moves the held time and stays paused.
    seekMusic(stream, 42.5);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(positionSeconds(stream), 42.5);

    pauseMusic(stream, false);
    EXPECT_NEAR(positionSeconds(stream), 42.5, 0.01);
    std::this_thread::sleep_for(300ms);
    const double later = positionSeconds(stream);
    EXPECT_GT(later, 42.55);
    EXPECT_LT(later, 44.0);

    seekMusic(stream, -3.0);
    EXPECT_LT(positionSeconds(stream), 0.05);
}

} // namespace

TEST(MusicTransport, SilentClockPausesAndSeeks)
{
    playMusic(0);
    checkPauseAndSeek(0);
}

TEST(MusicTransport, PlayingTuneStaysInStepWithTheClock)
{
    if (!initMusicDevice(44100))
        GTEST_SKIP() << "no audio device (set SDL_AUDIODRIVER=dummy)";
    const MusicStream stream = openMusicStream("data/drumveil.mp3");
    ASSERT_NE(stream, 0u);
    startMusicOutput();
    playMusic(stream);
    checkPauseAndSeek(stream);
    closeMusicDevice();
}
