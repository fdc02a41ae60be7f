// The soundtrack: the whole MP3 decoded into memory (libmpg123), on a thread of
// its own when beginMusicDecode starts it early, and played by an SDL audio
// callback at 44100 Hz stereo. Process-wide, like the audio device:
// opened once at start-up, never closed (it ends with the process).
// The playback position is what is being heard, smoothed between callbacks;
// without a device or without a tune it runs on a silent wall clock from the
// moment of play, so the timeline always reaches its end.
#pragma once

#include <cstdint>
#include <vector>

using MusicStream = uint32_t;  // 0 when no tune could be opened

// The playback clock, kept apart from SDL so it can be tested with a fake sink.
// Positions are in sample frames; times in seconds of a monotonic clock.
struct AudioClock {
    double sampleRate = 44100.0;  // frames per second
    int64_t baseFrame = 0;        // frame heard at baseTime
    double baseTime = 0.0;        // seconds, time of the last callback
    int64_t limitFrame = 0;       // the clock never runs past what was handed out
    int64_t lastReported = 0;     // positions never go backwards
    bool running = false;
};

// The callback is about to hand out frameCount frames starting at frame
// `submitted`; `queued` frames are still ahead of the listener in the device.
void noteAudioCallback(AudioClock& clock, int64_t submitted, int64_t frameCount,
                       int64_t queued, double now);
// The frame being heard at `now`: interpolated, monotonic, never past the
// end of what the device has been given.
int64_t audioClockFrame(AudioClock& clock, double now);

// Decodes the whole file as the player does (44100 Hz, interleaved 16-bit
// stereo) into samples, for programs that need the tune without playing it;
// false when it cannot be opened or decoded.
bool decodeMusicFile(const char* path, std::vector<int16_t>& samples);
// Seconds of sound the file says it holds: its encoder's info tag, which a
// file cut short keeps (without one, a guess from its size); -1 when it
// cannot be opened.
double musicFileSeconds(const char* path);
// Opens the default output device at the given rate; false when there is none.
bool initMusicDevice(int frequency);
// Starts decoding the file on a thread of its own, so that the decode runs
// beside the rest of start-up; a later openMusicStream of the same path takes
// it over. At most one decode is pending; its thread is joined by playMusic,
// by closeMusicDevice or at process exit.
void beginMusicDecode(const char* path);
// Decodes the file into memory; 0 when it cannot be opened or decoded. When
// beginMusicDecode started this path, waits only until the first samples are
// decoded (or the decode failed); playMusic waits for the rest.
MusicStream openMusicStream(const char* path);
void startMusicOutput();
// Starts playback from the beginning (or the silent clock for stream 0),
// first waiting for a decode still running on its thread.
void playMusic(MusicStream stream);
// 0.0 silent to 1.0 full.
void setMusicVolume(MusicStream stream, float volume);
// Pauses (silence, the position held) or resumes from the held position.
void pauseMusic(MusicStream stream, bool paused);
// Moves playback to a time (seconds, below 0 taken as 0): the position reads
// it at once, the music plays on from there (or stays held there if paused).
void seekMusic(MusicStream stream, double seconds);
// Plays on from the current position at 1/slowdown of the tune's speed (1,
// 2 or 4; slowed, the sound is resampled, an octave lower at 2); the
// position then moves at that rate too.
void setMusicSlowdown(MusicStream stream, int slowdown);
// Bytes of 16-bit stereo played so far.
int64_t musicBytePosition(MusicStream stream);
// Seconds for a byte position of the stream.
double musicBytesToSeconds(MusicStream stream, int64_t bytes);
// Stops the device's audio thread; called once at shutdown, so the thread
// never reads the tune while the process tears it down.
void closeMusicDevice();
