// Runs the built quillon-capture from the repository root, as a user would.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <stb/stb_image.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "app/music.h"
#include "program_run.h"

namespace fs = std::filesystem;

namespace {

const char* const capturePath = QUILLON_BINARY_DIR "/tools/capture/quillon-capture";

// The tool with the arguments, its output sent to a log; without a display
// server when headless (DISPLAY and WAYLAND_DISPLAY unset).
Program capture(const std::vector<std::string>& args, const fs::path& log, bool headless)
{
    return {.path = capturePath, .arguments = args,
            .environment = headless ? std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY"}
                                    : std::vector<std::string>{},
            .output = log, .errors = log};
}

// What a video file holds, decoded through the FFmpeg libraries.
struct DecodedVideo {
    int width = 0;   // pixels
    int height = 0;  // pixels
    std::vector<std::vector<unsigned char>> frames;  // RGBA, top row first
    double firstFrameTime = -1.0;  // seconds
    double videoEnd = 0.0;         // seconds: the last frame's time plus its duration
    std::vector<float> audio;      // both channels averaged, -1..1
    double firstSampleTime = -1.0; // seconds
    int sampleRate = 0;
};

// Decodes every frame and sample of the file; false when it does not open
// as a video with sound.
bool decodeVideo(const fs::path& path, DecodedVideo& out)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
    bool ok = avformat_find_stream_info(format, nullptr) >= 0;
    const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ok = ok && videoIndex >= 0 && audioIndex >= 0;
    AVCodecContext* decoders[2] = {};
    const int indices[2] = {videoIndex, audioIndex};
    for (int d = 0; d < 2 && ok; ++d) {
        const AVCodecParameters* parameters = format->streams[indices[d]]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        decoders[d] = avcodec_alloc_context3(codec);
        ok = codec && avcodec_parameters_to_context(decoders[d], parameters) >= 0 &&
             avcodec_open2(decoders[d], codec, nullptr) >= 0;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;

    auto drain = [&](int d) {
        const AVRational base = format->streams[indices[d]]->time_base;
        while (avcodec_receive_frame(decoders[d], frame) >= 0) {
            const double time = double(frame->best_effort_timestamp) * av_q2d(base);
            if (d == 0) {
                out.width = frame->width;
                out.height = frame->height;
                if (out.firstFrameTime < 0.0) out.firstFrameTime = time;
                out.videoEnd = time + double(frame->pkt_duration) * av_q2d(base);
                // Back to RGB with the matrix and range the file is tagged with.
                scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                              AVPixelFormat(frame->format), frame->width,
                                              frame->height, AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr,
                                              nullptr, nullptr);
                const int* coefficients = sws_getCoefficients(frame->colorspace);
                sws_setColorspaceDetails(scaler, coefficients,
                                         frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                         coefficients, 1, 0, 1 << 16, 1 << 16);
                std::vector<unsigned char> rgba(size_t(frame->width) * frame->height * 4);
                uint8_t* planes[1] = {rgba.data()};
                const int strides[1] = {frame->width * 4};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
                out.frames.push_back(std::move(rgba));
            } else {
                if (out.firstSampleTime < 0.0) out.firstSampleTime = time;
                out.sampleRate = frame->sample_rate;
                const int channels = frame->ch_layout.nb_channels;
                for (int i = 0; i < frame->nb_samples; ++i) {
                    float sum = 0.0f;
                    for (int c = 0; c < channels; ++c)
                        sum += reinterpret_cast<const float*>(frame->extended_data[c])[i];
                    out.audio.push_back(sum / float(channels));
                }
            }
        }
    };
    while (ok && av_read_frame(format, packet) >= 0) {
        for (int d = 0; d < 2; ++d)
            if (packet->stream_index == indices[d] && avcodec_send_packet(decoders[d], packet) >= 0)
                drain(d);
        av_packet_unref(packet);
    }
    for (int d = 0; d < 2 && ok; ++d) {
        avcodec_send_packet(decoders[d], nullptr);
        drain(d);
    }
    ok = ok && decoders[1] && decoders[1]->sample_fmt == AV_SAMPLE_FMT_FLTP;
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    for (AVCodecContext*& decoder : decoders) avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return ok;
}

// An RGBA picture (top row first) through BT.709 limited-range yuv420p and back.
std::vector<unsigned char> throughYuv420(const unsigned char* rgba, int width, int height)
{
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = width;
    yuv->height = height;
    av_frame_get_buffer(yuv, 0);
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    SwsContext* to = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height,
                                    AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(to, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    const uint8_t* source[1] = {rgba};
    const int sourceStrides[1] = {width * 4};
    sws_scale(to, source, sourceStrides, 0, height, yuv->data, yuv->linesize);
    SwsContext* back = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                      AV_PIX_FMT_RGBA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    sws_setColorspaceDetails(back, coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    std::vector<unsigned char> out(size_t(width) * height * 4);
    uint8_t* planes[1] = {out.data()};
    const int strides[1] = {width * 4};
    sws_scale(back, yuv->data, yuv->linesize, 0, height, planes, strides);
    sws_freeContext(to);
    sws_freeContext(back);
    av_frame_free(&yuv);
    return out;
}

// Peak signal-to-noise ratio of two RGBA pictures of one size, colour only (dB).
double psnr(const std::vector<unsigned char>& a, const unsigned char* b)
{
    double squares = 0.0;
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(a[i]) - double(b[i]);
        squares += d * d;
        ++count;
    }
    if (squares == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / (squares / double(count)));
}

double meanBrightness(const std::vector<unsigned char>& rgba)
{
    double sum = 0.0;
    for (size_t i = 0; i < rgba.size(); i += 4) sum += (rgba[i] + rgba[i + 1] + rgba[i + 2]) / 3.0;
    return sum / double(rgba.size() / 4);
}

class Capture : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("quillon_capture_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        log = dir / "log.txt";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Fails the test with the tool's output when it did not exit as expected.
    void expectExit(int expected, const std::vector<std::string>& args, bool headless = false)
    {
        const int status = runProgram(capture(args, log, headless)).status;
        EXPECT_EQ(status, expected) << readFile(log);
    }

    fs::path dir;
    fs::path log;
};

} // namespace

TEST_F(Capture, SameTimeTwiceGivesIdenticalPngs)
{
    const fs::path a = dir / "a.png", b = dir / "b.png";
    expectExit(0, {"--at", "100.5", "--out", a.string(), "--size", "320x180"});
    expectExit(0, {"--at", "100.5", "--out", b.string(), "--size", "320x180"});
    const std::string first = readFile(a);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, readFile(b));

    int w = 0, h = 0, channels = 0;
    ASSERT_TRUE(stbi_info(a.c_str(), &w, &h, &channels));
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 180);
}

TEST_F(Capture, ARangeWritesNumberedFramesAndItsLastMatchesASingleCapture)
{
    // Frames at 60 per second end on the same moment a single capture shows:
    // drawn in sequence or on their own, they must agree. At 65 s the graph
    // nodes have respawned and the links are on, so the single capture must
    // rebuild both from the frames before it (smaller pictures hide the hubs).
    const fs::path frames = dir / "frames";
    expectExit(0, {"--from", "65", "--to", "65.05", "--fps", "60", "--out-dir", frames.string(),
                   "--size", "640x360"});
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(fs::exists(frames / ("frame_0000" + std::to_string(k) + ".png"))) << k;
    EXPECT_FALSE(fs::exists(frames / "frame_00004.png"));

    const fs::path single = dir / "single.png";
    expectExit(0, {"--at", "65.05", "--out", single.string(), "--size", "640x360"});
    EXPECT_EQ(readFile(single), readFile(frames / "frame_00003.png"));
}

TEST_F(Capture, BadArgumentsAreRefusedWithoutWritingAnything)
{
    const std::string out = (dir / "x.png").string();
    expectExit(2, {});
    expectExit(2, {"--at", "300", "--out", out});
    expectExit(2, {"--at", "-1", "--out", out});
    expectExit(2, {"--at", "ten", "--out", out});
    expectExit(2, {"--at", "10"});
    expectExit(2, {"--at", "10", "--out", out, "--size", "0x90"});
    expectExit(2, {"--at", "10", "--out", out, "--size", "160by90"});
    expectExit(2, {"--at", "10", "--out", out, "--fps", "30"});
    expectExit(2, {"--from", "20", "--to", "10", "--fps", "30", "--out-dir", out});
    expectExit(2, {"--from", "10", "--to", "20", "--fps", "0", "--out-dir", out});
    expectExit(2, {"--at", "10", "--out", out, "--colour", "red"});
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(readFile(log).find("usage: quillon-capture"), std::string::npos);
}

TEST_F(Capture, AnUnwritablePathFails)
{
    expectExit(1, {"--at", "10", "--out", (dir / "missing" / "x.png").string(), "--size", "64x36"});
}

TEST_F(Capture, HelpPrintsUsageAndBadVideoArgumentsWriteNothing)
{
    expectExit(0, {"--help"});
    EXPECT_NE(readFile(log).find("usage: quillon-capture"), std::string::npos);
    expectExit(0, {"-h"});

    const std::string video = (dir / "v.mp4").string();
    expectExit(2, {"--video"});
    expectExit(2, {"--video", video, "--size", "321x180"});  // yuv420p needs even sides
    expectExit(2, {"--video", video, "--crf", "52"});
    expectExit(2, {"--video", video, "--at", "10"});
    expectExit(2, {"--video", video, "--from", "10", "--to", "208"});
    expectExit(2, {"--at", "10", "--out", video, "--crf", "20"});
    expectExit(2, {"--video", video, "--jobs", "0"});
    expectExit(2, {"--from", "10", "--to", "11", "--fps", "30", "--out-dir", video, "--jobs", "2"});
    EXPECT_NE(readFile(log).find("usage: quillon-capture"), std::string::npos);

    // An unwritable video fails before the production is even loaded.
    const fs::path missing = dir / "missing" / "v.mp4";
    expectExit(1, {"--video", missing.string(), "--from", "10", "--to", "11"}, true);
    EXPECT_NE(readFile(log).find("cannot write"), std::string::npos) << readFile(log);
    EXPECT_EQ(readFile(log).find("done loading!"), std::string::npos);

    fs::remove(log);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(Capture, WithoutADisplayTheFrameIsTheSameByteForByte)
{
    const char* display = getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs a display to compare with";
    const fs::path shown = dir / "shown.png", headless = dir / "headless.png";
    expectExit(0, {"--at", "150", "--out", shown.string(), "--size", "320x180"});
    expectExit(0, {"--at", "150", "--out", headless.string(), "--size", "320x180"}, true);
    const std::string first = readFile(shown);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, readFile(headless));
}

TEST_F(Capture, ASingleFrameMatchesARangeThatStartedEarlierInBothScenes)
{
    // At 110 s camera mode 3 follows a cluster of the strand as the frame
    // before left it; at 160 s the dust explosion keeps the node sizes of the
    // first scene's last frame. Two frames of a 60 fps range lead up to each.
    for (const double t : {60.0, 110.0, 160.0}) {
        char from[32], at[32];
        snprintf(from, sizeof from, "%.17g", t - 2.0 / 60.0);
        snprintf(at, sizeof at, "%g", t);
        const fs::path frames = dir / ("frames_" + std::string(at));
        expectExit(0, {"--from", from, "--to", at, "--fps", "60", "--out-dir", frames.string(),
                       "--size", "320x180"}, true);
        const fs::path single = dir / ("single_" + std::string(at) + ".png");
        expectExit(0, {"--at", at, "--out", single.string(), "--size", "320x180"}, true);
        const std::string last = readFile(frames / "frame_00002.png");
        ASSERT_FALSE(last.empty()) << t;
        EXPECT_EQ(readFile(single), last) << "at " << t << " s";
    }
}

TEST_F(Capture, AVideoHoldsTheRangesFramesInStepWithItsSound)
{
    // 78.8 to 79.3 s at 30 fps: the impact at 79.0 s flashes the picture
    // white and starts a loud hit in the soundtrack.
    const fs::path video = dir / "v.mp4", frames = dir / "frames";
    const std::vector<std::string> range = {"--from", "78.8", "--to", "79.3", "--fps", "30",
                                            "--size", "320x180"};
    std::vector<std::string> args = range;
    // Lossless, so that what is left to compare is the YUV round trip alone.
    args.insert(args.end(), {"--video", video.string(), "--crf", "0"});
    expectExit(0, args, true);
    EXPECT_FALSE(fs::exists(video.string() + ".part"));
    args = range;
    args.insert(args.end(), {"--out-dir", frames.string()});
    expectExit(0, args, true);

    DecodedVideo decoded;
    ASSERT_TRUE(decodeVideo(video, decoded));
    constexpr int frameCount = 16;
    ASSERT_EQ(decoded.frames.size(), size_t(frameCount));
    EXPECT_EQ(decoded.width, 320);
    EXPECT_EQ(decoded.height, 180);
    EXPECT_NEAR(decoded.firstFrameTime, 0.0, 1e-6);
    EXPECT_NEAR(decoded.videoEnd, frameCount / 30.0, 1e-3);

    // The frames are the PNG frames of the same range, in order, through
    // YUV 4:2:0 with the colours the file is tagged with.
    int flashFrame = -1;
    for (int k = 0; k < frameCount; ++k) {
        char name[32];
        snprintf(name, sizeof name, "frame_%05d.png", k);
        int w = 0, h = 0, channels = 0;
        unsigned char* png = stbi_load((frames / name).c_str(), &w, &h, &channels, 4);
        ASSERT_NE(png, nullptr) << name;
        EXPECT_GT(psnr(decoded.frames[size_t(k)], throughYuv420(png, w, h).data()), 50.0) << name;
        stbi_image_free(png);
    }
    // The flash frame: the first one as bright as the brightest.
    double brightest = 0.0;
    for (const std::vector<unsigned char>& frame : decoded.frames)
        brightest = std::max(brightest, meanBrightness(frame));
    for (int k = 0; k < frameCount && flashFrame < 0; ++k)
        if (meanBrightness(decoded.frames[size_t(k)]) > brightest - 2.0) flashFrame = k;

    // The sound starts at the first frame and is the tune's stretch from
    // sample round(78.8 x 44100) on: the best match with the decoded tune is
    // at no offset at all. Both are compared as sample-to-sample differences,
    // whose high frequencies make the match sharp to the sample.
    ASSERT_EQ(decoded.sampleRate, 44100);
    EXPECT_NEAR(decoded.firstSampleTime, 0.0, 1e-6);
    const size_t expected = size_t(std::llround(79.8 * 44100.0 - 78.8 * 44100.0) * 16 / 30);
    ASSERT_GE(decoded.audio.size(), expected - 1);
    std::vector<int16_t> tune;
    ASSERT_TRUE(decodeMusicFile(QUILLON_SOURCE_DIR "/data/drumveil.mp3", tune));
    const long first = std::lround(78.8 * 44100.0);
    const int lags = 1500;  // samples either way
    const size_t n = expected - 2 * lags;
    int bestLag = 0;
    double best = -1e300;
    for (int lag = -lags; lag <= lags; ++lag) {
        double sum = 0.0;
        for (size_t i = lags; i < lags + n; ++i) {
            const size_t at = size_t(first + long(i) + lag);
            const double played = double(decoded.audio[i]) - double(decoded.audio[i - 1]);
            const double source = double(tune[2 * at]) + double(tune[2 * at + 1]) -
                                  double(tune[2 * at - 2]) - double(tune[2 * at - 1]);
            sum += played * source;
        }
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    EXPECT_EQ(bestLag, 0);

    // And the hit is heard with the flash: the 10 ms window that rises most
    // above the 100 ms before it starts within a frame of the white frame.
    ASSERT_GE(flashFrame, 0);
    const size_t window = 441;
    std::vector<float> peaks;
    for (size_t i = 0; i + window <= decoded.audio.size(); i += window) {
        float peak = 0.0f;
        for (size_t j = i; j < i + window; ++j) peak = std::max(peak, std::fabs(decoded.audio[j]));
        peaks.push_back(peak);
    }
    size_t onset = 0;
    double rise = 0.0;
    for (size_t i = 10; i < peaks.size(); ++i) {
        float before = 1e-6f;
        for (size_t j = i - 10; j < i; ++j) before = std::max(before, peaks[j]);
        if (peaks[i] / before > rise) {
            rise = peaks[i] / before;
            onset = i;
        }
    }
    const double onsetTime = double(onset * window) / 44100.0;
    EXPECT_LE(std::fabs(onsetTime - flashFrame / 30.0), 1.0 / 30.0 + 1e-9);
    EXPECT_NEAR(onsetTime, 0.2, 1.0 / 30.0);
}

TEST_F(Capture, AVideoRenderedBySeveralProcessesHoldsTheFramesAndSoundOfOne)
{
    // At 60 fps only the first frame of each process's run catches up, so a
    // run that starts mid-range must reach the state that drawing every frame
    // before it left: in the first scene, and while the camera hops from node
    // to node in the second. Lossless, so that equal pictures decode equal.
    for (const char* from : {"40", "104"}) {
        const std::string to = std::to_string(std::atof(from) + 0.11);
        DecodedVideo decoded[2];
        const char* jobs[2] = {"1", "3"};
        for (int j = 0; j < 2; ++j) {
            const fs::path video = dir / (std::string("v") + jobs[j] + ".mp4");
            expectExit(0, {"--video", video.string(), "--from", from, "--to", to, "--fps", "60", "--size",
                           "160x90", "--crf", "0", "--jobs", jobs[j]},
                       true);
            ASSERT_TRUE(decodeVideo(video, decoded[j]));
        }
        ASSERT_EQ(decoded[0].frames.size(), 7u);
        EXPECT_TRUE(decoded[1].frames == decoded[0].frames) << "from " << from << " s";
        EXPECT_TRUE(decoded[1].audio == decoded[0].audio) << "from " << from << " s";
        EXPECT_EQ(decoded[1].videoEnd, decoded[0].videoEnd);
    }
    // Nothing of the runs is left beside the videos.
    fs::remove(log);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(Capture, AnInterruptedVideoIsFinishedAndPlays)
{
    // By one process, and by two: then the video holds the frames from the
    // start that were all drawn, those of the first process.
    for (const char* jobs : {"1", "2"}) {
        const fs::path video = dir / (std::string("v") + jobs + ".mp4");
        fs::remove(log);
        Running run = startProgram(capture({"--video", video.string(), "--from", "40", "--to", "44", "--fps",
                                            "30", "--size", "320x180", "--jobs", jobs},
                                           log, true));
        ASSERT_GT(run.pid, 0);
        // Interrupt once a few frames are done (the plain progress line comes
        // every 5 % of the 121 frames).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        while (readFile(log).find("frame 7/121") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            ASSERT_FALSE(hasEnded(run)) << "ended before it was interrupted:\n" << readFile(log);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(run.pid, SIGINT);
        EXPECT_EQ(waitForExit(run), 128 + SIGINT) << readFile(log);
        EXPECT_NE(readFile(log).find("interrupted"), std::string::npos) << readFile(log);

        DecodedVideo decoded;
        ASSERT_TRUE(decodeVideo(video, decoded));
        EXPECT_GE(decoded.frames.size(), jobs[0] == '1' ? 7u : 1u);
        EXPECT_LT(decoded.frames.size(), jobs[0] == '1' ? 121u : 61u);
        EXPECT_NEAR(decoded.videoEnd, decoded.frames.size() / 30.0, 1e-3);
        EXPECT_GE(decoded.audio.size() + 1, size_t(decoded.frames.size() * 44100 / 30));
    }
    fs::remove(log);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(Capture, OutputsAreWholeOrLeftAsTheyWere)
{
    // A folder or a pipe of the output's name is refused before anything is drawn.
    fs::create_directory(dir / "folder.mp4");
    expectExit(1, {"--video", (dir / "folder.mp4").string(), "--from", "10", "--to", "11"}, true);
    EXPECT_NE(readFile(log).find("is a folder"), std::string::npos) << readFile(log);
    EXPECT_EQ(readFile(log).find("done loading!"), std::string::npos);
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0644), 0);
    expectExit(1, {"--at", "10", "--out", (dir / "pipe.png").string(), "--size", "64x36"}, true);
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.png"));

    // A name that reads like a protocol URL is a local file all the same.
    expectExit(0, {"--video", (dir / "file:v.mp4").string(), "--from", "10", "--to", "10.05", "--size", "64x36"},
               true);
    EXPECT_GT(fs::file_size(dir / "file:v.mp4"), 0u);

    // A full disk (a small tmpfs, where this runs as root) fails the write
    // and keeps the frame that was there.
    const fs::path disk = dir / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    std::ofstream(disk / "F.png", std::ios::binary) << "the frame that was here";
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {}
    }
    expectExit(1, {"--at", "10", "--out", (disk / "F.png").string(), "--size", "320x180"}, true);
    EXPECT_NE(readFile(log).find("No space left"), std::string::npos) << readFile(log);
    EXPECT_EQ(readFile(disk / "F.png"), "the frame that was here");
    for (const fs::directory_entry& entry : fs::directory_iterator(disk))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
    ::umount(disk.c_str());
}
