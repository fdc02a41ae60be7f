#include "app/music.h"

#include "app/clocks.h"

#include <SDL2/SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int outputRate = 44100;
constexpr int outputChannels = 2;
constexpr int64_t bytesPerFrame = 2 * outputChannels;  // 16-bit stereo
constexpr int callbackFrames = 1024;

struct MusicState {
    SDL_AudioDeviceID device = 0;
    std::vector<int16_t> samples;  // the decoded tune, interleaved stereo
    std::atomic<float> volume{1.0f};
    std::atomic<bool> playing{false};
    int64_t submittedFrames = 0;   // tune frame the next buffer starts at
    int submittedPhase = 0;        // and how far past it, in 1/slowdown of a frame
    int slowdown = 1;              // the tune plays at 1/slowdown of its speed; guarded by the device lock
    int64_t bufferFrames = callbackFrames;
    AudioClock clock;              // guarded by the device lock
    double playStartTime = 0.0;    // silent clock origin, seconds
    bool silentClock = false;
    bool hasTune = false;          // playMusic was given a stream
    bool paused = false;           // main thread only
    int64_t pausedFrame = 0;       // the frame held while paused
};

MusicState music;

// A decode running on its own thread. Whether the file decodes at all is
// known from its first samples, long before the whole tune is in memory.
struct PendingDecode {
    std::string path;
    std::thread thread;
    std::mutex lock;
    std::condition_variable verdictReady;
    bool hasVerdict = false;       // guarded by lock
    bool decoded = false;          // the file gives samples; guarded by lock
    bool takenOver = false;        // openMusicStream accepted it; main thread only
    std::vector<int16_t> samples;  // the thread's own until it is joined

    ~PendingDecode()
    {
        if (thread.joinable())
            thread.join();
    }
};

PendingDecode pendingDecode;

void announceVerdict(PendingDecode* pending, bool decoded)
{
    if (!pending)
        return;
    {
        const std::lock_guard<std::mutex> guard(pending->lock);
        if (pending->hasVerdict)
            return;
        pending->hasVerdict = true;
        pending->decoded = decoded;
    }
    pending->verdictReady.notify_all();
}

void fillAudio(void*, Uint8* stream, int length)
{
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    const int64_t frames = length / bytesPerFrame;
    if (!music.playing.load()) {
        std::fill(out, out + frames * outputChannels, int16_t(0));
        return;
    }
    // The buffer requested now is heard after the one the device still
    // holds; the clock is told where the listener is at this moment.
    // Slowed down, a buffer holds fewer of the tune's frames than its own.
    const int slowdown = music.slowdown;
    noteAudioCallback(music.clock, music.submittedFrames, frames / slowdown, music.bufferFrames / slowdown,
                      steadyClockSeconds());

    const float volume = music.volume.load();
    const int64_t total = int64_t(music.samples.size()) / outputChannels;
    const auto sampleAt = [total](int64_t frame, int c) {
        return frame < total ? float(music.samples[size_t(frame * outputChannels + c)]) : 0.0f;
    };
    for (int64_t f = 0; f < frames; ++f) {
        // Between two of the tune's frames, the sound is interpolated on a line.
        const int64_t source = music.submittedFrames;
        const float along = float(music.submittedPhase) / float(slowdown);
        for (int c = 0; c < outputChannels; ++c) {
            const float a = sampleAt(source, c);
            const float s = music.submittedPhase == 0 ? a : a + (sampleAt(source + 1, c) - a) * along;
            out[f * outputChannels + c] = int16_t(std::clamp(s * volume, -32768.0f, 32767.0f));
        }
        // Past the end of the tune the device plays silence and the clock runs on.
        if (++music.submittedPhase == slowdown) {
            music.submittedPhase = 0;
            ++music.submittedFrames;
        }
    }
}

// Decodes the whole file; a pending decode is told as soon as the first
// samples are there (or that there will be none).
bool decodeMp3(const char* path, std::vector<int16_t>& samples, PendingDecode* pending)
{
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle) {
        announceVerdict(pending, false);
        return false;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);  // failures are ours to report
    mpg123_format_none(handle);
    mpg123_format(handle, outputRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    bool ok = mpg123_open(handle, path) == MPG123_OK;
    if (ok) {
        unsigned char buffer[16384];
        for (;;) {
            size_t done = 0;
            const int result = mpg123_read(handle, buffer, sizeof buffer, &done);
            const int16_t* decoded = reinterpret_cast<const int16_t*>(buffer);
            samples.insert(samples.end(), decoded, decoded + done / 2);
            if (!samples.empty())
                announceVerdict(pending, true);
            if (result == MPG123_DONE)
                break;
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
                ok = !samples.empty();
                break;
            }
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    announceVerdict(pending, ok && !samples.empty());
    return ok && !samples.empty();
}

// Waits for the pending decode's thread; its samples become the tune when
// openMusicStream took it over, else they are dropped.
void finishPendingDecode()
{
    if (!pendingDecode.thread.joinable())
        return;
    pendingDecode.thread.join();
    if (pendingDecode.takenOver && pendingDecode.decoded) {
        if (music.device)
            SDL_LockAudioDevice(music.device);
        music.samples = std::move(pendingDecode.samples);
        if (music.device)
            SDL_UnlockAudioDevice(music.device);
    }
    pendingDecode.samples = std::vector<int16_t>();
    pendingDecode.takenOver = false;
}

// Playback goes on from frame: the device is handed the tune from there and
// the clock reports it until the next buffer is being heard.
void moveToFrame(int64_t frame)
{
    music.playStartTime = steadyClockSeconds() - double(frame) * music.slowdown / outputRate;
    if (!music.device)
        return;
    SDL_LockAudioDevice(music.device);
    music.submittedFrames = frame;
    music.submittedPhase = 0;
    music.clock = AudioClock{};
    music.clock.sampleRate = double(outputRate) / music.slowdown;
    music.clock.baseFrame = frame;
    music.clock.limitFrame = frame;
    music.clock.lastReported = frame;
    SDL_UnlockAudioDevice(music.device);
}

} // namespace

void noteAudioCallback(AudioClock& clock, int64_t submitted, int64_t frameCount,
                       int64_t queued, double now)
{
    clock.baseFrame = std::max<int64_t>(0, submitted - queued);
    clock.baseTime = now;
    clock.limitFrame = std::max<int64_t>(0, submitted + frameCount - queued);
    clock.running = true;
}

int64_t audioClockFrame(AudioClock& clock, double now)
{
    if (!clock.running)
        return clock.lastReported;
    const double elapsed = std::max(0.0, now - clock.baseTime);
    int64_t frame = clock.baseFrame + int64_t(elapsed * clock.sampleRate);
    frame = std::min(frame, clock.limitFrame);
    clock.lastReported = std::max(clock.lastReported, frame);
    return clock.lastReported;
}

bool decodeMusicFile(const char* path, std::vector<int16_t>& samples)
{
    samples.clear();
    return decodeMp3(path, samples, nullptr);
}

double musicFileSeconds(const char* path)
{
    mpg123_init();
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle)
        return -1.0;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    double seconds = -1.0;
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_open(handle, path) == MPG123_OK && mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK) {
        // From the info tag where there is one; else a guess from the
        // file's size, which a cut file shrinks with it.
        const off_t frames = mpg123_length(handle);
        if (frames > 0 && rate > 0)
            seconds = double(frames) / double(rate);
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return seconds;
}

bool initMusicDevice(int frequency)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want{};
    want.freq = frequency;
    want.format = AUDIO_S16SYS;
    want.channels = outputChannels;
    want.samples = callbackFrames;
    want.callback = fillAudio;
    SDL_AudioSpec have{};
    music.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (music.device == 0)
        return false;
    music.bufferFrames = have.samples;
    return true;
}

void beginMusicDecode(const char* path)
{
    finishPendingDecode();
    pendingDecode.path = path;
    pendingDecode.hasVerdict = false;
    pendingDecode.decoded = false;
    pendingDecode.thread = std::thread([] {
        decodeMp3(pendingDecode.path.c_str(), pendingDecode.samples, &pendingDecode);
    });
}

MusicStream openMusicStream(const char* path)
{
    if (pendingDecode.thread.joinable() && pendingDecode.path == path) {
        std::unique_lock<std::mutex> guard(pendingDecode.lock);
        pendingDecode.verdictReady.wait(guard, [] { return pendingDecode.hasVerdict; });
        pendingDecode.takenOver = pendingDecode.decoded;
        return pendingDecode.decoded ? 1 : 0;
    }
    finishPendingDecode();
    std::vector<int16_t> samples;
    if (!decodeMp3(path, samples, nullptr))
        return 0;
    if (music.device)
        SDL_LockAudioDevice(music.device);
    music.samples = std::move(samples);
    if (music.device)
        SDL_UnlockAudioDevice(music.device);
    return 1;
}

void startMusicOutput()
{
    if (music.device)
        SDL_PauseAudioDevice(music.device, 0);
}

void playMusic(MusicStream stream)
{
    finishPendingDecode();
    music.playStartTime = steadyClockSeconds();
    music.silentClock = stream == 0 || music.device == 0;
    music.hasTune = stream != 0;
    music.paused = false;
    if (music.device) {
        SDL_LockAudioDevice(music.device);
        music.submittedFrames = 0;
        music.submittedPhase = 0;
        music.clock = AudioClock{};
        music.clock.sampleRate = double(outputRate) / music.slowdown;
        music.playing = stream != 0;
        SDL_UnlockAudioDevice(music.device);
    }
}

void setMusicVolume(MusicStream, float volume)
{
    music.volume = volume;
}

void pauseMusic(MusicStream stream, bool paused)
{
    if (paused == music.paused)
        return;
    if (paused) {
        music.pausedFrame = musicBytePosition(stream) / bytesPerFrame;
        music.paused = true;
        if (music.device) {
            SDL_LockAudioDevice(music.device);
            music.playing = false;
            SDL_UnlockAudioDevice(music.device);
        }
        return;
    }
    music.paused = false;
    moveToFrame(music.pausedFrame);
    if (music.device) {
        SDL_LockAudioDevice(music.device);
        music.playing = music.hasTune;
        SDL_UnlockAudioDevice(music.device);
    }
}

void seekMusic(MusicStream, double seconds)
{
    const int64_t frame = seconds > 0.0 ? int64_t(std::llround(seconds * outputRate)) : 0;
    if (music.paused)
        music.pausedFrame = frame;
    else
        moveToFrame(frame);
}

int64_t musicBytePosition(MusicStream)
{
    if (music.paused)
        return music.pausedFrame * bytesPerFrame;
    const double now = steadyClockSeconds();
    if (music.silentClock || music.device == 0)
        return int64_t((now - music.playStartTime) * outputRate / music.slowdown) * bytesPerFrame;
    SDL_LockAudioDevice(music.device);
    const int64_t frame = audioClockFrame(music.clock, now);
    SDL_UnlockAudioDevice(music.device);
    return frame * bytesPerFrame;
}

void setMusicSlowdown(MusicStream stream, int slowdown)
{
    if (slowdown < 1 || slowdown == music.slowdown)
        return;
    // The position goes on from where it is, at the new rate.
    const int64_t frame = musicBytePosition(stream) / bytesPerFrame;
    if (music.device)
        SDL_LockAudioDevice(music.device);
    music.slowdown = slowdown;
    if (music.device)
        SDL_UnlockAudioDevice(music.device);
    if (!music.paused)
        moveToFrame(frame);
}

double musicBytesToSeconds(MusicStream, int64_t bytes)
{
    return double(bytes) / double(bytesPerFrame * outputRate);
}

void closeMusicDevice()
{
    finishPendingDecode();
    if (music.device)
        SDL_CloseAudioDevice(music.device);
    music.device = 0;
    music.silentClock = true;
}
