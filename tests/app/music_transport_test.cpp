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

TEST(MusicTransport, SlowedPlaybackMovesTheClockAtItsRate)
{
    playMusic(0);
    seekMusic(0, 50.0);
    setMusicSlowdown(0, 4);
    EXPECT_NEAR(positionSeconds(0), 50.0, 0.01);  // goes on from where it was
    std::this_thread::sleep_for(400ms);
    const double slowed = positionSeconds(0) - 50.0;
    EXPECT_GT(slowed, 0.08);
    EXPECT_LT(slowed, 0.2);  // about a quarter of the 0.4 s waited
    setMusicSlowdown(0, 1);
    const double resumed = positionSeconds(0);
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(positionSeconds(0) - resumed, 0.19);
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
    // Slowed, the device's clock follows the resampled tune at half rate.
    seekMusic(stream, 30.0);
    setMusicSlowdown(stream, 2);
    std::this_thread::sleep_for(600ms);
    const double slowed = positionSeconds(stream) - 30.0;
    EXPECT_GT(slowed, 0.15);
    EXPECT_LT(slowed, 0.45);
    setMusicSlowdown(stream, 1);
    closeMusicDevice();
}
