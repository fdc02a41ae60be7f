// The capture tool's video file: H.264 (yuv420p) and AAC in MP4, written
// through the FFmpeg libraries. The writer owns its codec, scaler, resampler
// and file contexts from openVideoFile until finishVideoFile (or
// discardVideoFile) releases them. Video frames arrive in order as RGBA read
// back from GL; the soundtrack stretch is handed over whole at open, and the
// audio is written alongside so that the sample heard with frame n is
// sample round((from + n / fps) x 44100) of the tune. A video rendered by
// several processes is joined from video-only files of the same settings,
// each a contiguous run of frames, appended in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVFrame;
struct AVPacket;
struct SwsContext;
struct SwrContext;

constexpr int videoAudioRate = 44100;  // samples per second, as the player decodes
constexpr int defaultCrf = 18;         // x264 constant rate factor: near transparent

struct VideoSettings {
    int width = 1280;           // pixels, even
    int height = 720;           // pixels, even
    double fps = 60.0;          // frames per second
    double from = 0.0;          // seconds: music time of frame 0
    int crf = defaultCrf;      // 0 (lossless) to 51
    bool run = false;           // a run of frames for appendVideoFile: video only
};

struct VideoFile {
    VideoSettings settings;
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVFrame* picture = nullptr;      // yuv420p frame handed to the encoder
    AVFrame* sound = nullptr;        // planar float frame handed to the encoder
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;    // RGBA -> yuv420p
    SwrContext* resampler = nullptr; // 16-bit interleaved -> planar float, same rate
    const int16_t* tune = nullptr;   // interleaved stereo of the whole soundtrack (not owned)
    int64_t tuneFrames = 0;          // sample frames in tune
    int64_t firstSample = 0;         // sample frame of the tune at music time `from`
    int64_t audioWritten = 0;        // sample frames encoded so far
    long framesWritten = 0;
    int64_t lastDts = INT64_MIN;     // of the last appended video packet, in the stream's time base
    bool headerWritten = false;
};

// Opens path for writing and sets up both encoders; tune (interleaved 16-bit
// stereo at 44100 Hz) must outlive the file. Writes the container header, so
// an unwritable path or an unusable setting fails here, before any
// rendering. False with a message in error and nothing left open.
bool openVideoFile(VideoFile& file, const std::string& path, const VideoSettings& settings,
                   const std::vector<int16_t>& tune, std::string& error);
// Encodes the next frame from RGBA rows read back from GL (bottom row
// first), then the audio that plays until the next frame. False on an
// encoder or write failure, with a message in error.
bool writeVideoFrame(VideoFile& file, const unsigned char* rgbaBottomUp, std::string& error);
// Writes the audio up to the end of the last written frame, drains both
// encoders and the index, and closes the file: what was written plays.
// Releases everything. False on failure, with a message in error.
bool finishVideoFile(VideoFile& file, std::string& error);
// Appends the frames of the run at path (written with the same settings and
// `run` set) after the frames written so far: its packets are copied as they
// are, moved to follow on, and the audio that plays with them is encoded
// alongside. The number of frames appended, or -1 with a message in error.
long appendVideoFile(VideoFile& file, const std::string& path, std::string& error);
// Releases everything without finishing the file.
void discardVideoFile(VideoFile& file);

// Sample frame of the tune at a music time: round(seconds x 44100).
int64_t audioSampleAt(double seconds);
