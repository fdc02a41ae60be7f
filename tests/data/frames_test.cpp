// Frames of the finished production, rendered by the built quillon-capture
// from the repository's generated data, timeline and shaders: the brief's
// moments show a picture, no two of them are the same picture, a moment
// renders identically every time, and the overlays and the logo appear
// where the timeline puts them.
#include "program_run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb/stb_image.h>

namespace fs = std::filesystem;

namespace {

const char* const capturePath = QUILLON_BINARY_DIR "/tools/capture/quillon-capture";
const fs::path sourceRoot = QUILLON_SOURCE_DIR;

struct Frame {
    int width = 0;   // pixels
    int height = 0;  // pixels
    std::vector<uint8_t> rgb;
};

Frame loadFrame(const fs::path& path)
{
    Frame frame;
    int channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &frame.width, &frame.height, &channels, 3);
    if (pixels) {
        frame.rgb.assign(pixels, pixels + size_t(frame.width) * frame.height * 3);
        stbi_image_free(pixels);
    }
    return frame;
}

// Standard deviation of the frame's grey levels (0..255).
double contrastOf(const Frame& frame)
{
    double sum = 0.0, squares = 0.0;
    const size_t n = frame.rgb.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        double grey = (frame.rgb[3 * i] + frame.rgb[3 * i + 1] + frame.rgb[3 * i + 2]) / 3.0;
        sum += grey;
        squares += grey * grey;
    }
    double mean = sum / double(n);
    return std::sqrt(std::max(squares / double(n) - mean * mean, 0.0));
}

// Share of pixels whose colour differs by more than 24 levels in a channel.
double changedShare(const Frame& a, const Frame& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 1.0;
    size_t changed = 0;
    const size_t n = a.rgb.size() / 3;
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c)
            if (std::abs(int(a.rgb[3 * i + c]) - int(b.rgb[3 * i + c])) > 24) {
                ++changed;
                break;
            }
    return double(changed) / double(n);
}

// Luma (0-255) of pixel i.
double lumaAt(const Frame& frame, size_t i)
{
    return 0.2126 * frame.rgb[3 * i] + 0.7152 * frame.rgb[3 * i + 1] + 0.0722 * frame.rgb[3 * i + 2];
}

// The luma below which the darkest share of the frame's pixels lie.
double darkestLuma(const Frame& frame, double share)
{
    std::vector<double> luma(frame.rgb.size() / 3);
    for (size_t i = 0; i < luma.size(); ++i)
        luma[i] = lumaAt(frame, i);
    const size_t k = size_t(share * double(luma.size()));
    std::nth_element(luma.begin(), luma.begin() + long(k), luma.end());
    return luma[k];
}

// Contrast ratio of lettering against what lies under it: the lettering is
// where the shown frame is brighter than the same frame rendered without
// overlays (by at least 20 levels of luma and half the largest change), its
// luminance the median there; the background is the 90th percentile of the
// bare frame's luminance under the letters, so a bright stretch counts.
double textContrast(const Frame& shown, const Frame& bare)
{
    auto luminance = [](const Frame& f, size_t i) {
        double rgb[3];
        for (int c = 0; c < 3; ++c) {
            const double v = f.rgb[3 * i + c] / 255.0;
            rgb[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        }
        return 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
    };
    const size_t n = shown.rgb.size() / 3;
    if (n == 0 || bare.rgb.size() != shown.rgb.size())
        return 0.0;
    double largest = 0.0;
    for (size_t i = 0; i < n; ++i)
        largest = std::max(largest, lumaAt(shown, i) - lumaAt(bare, i));
    std::vector<double> text, under;
    for (size_t i = 0; i < n; ++i)
        if (lumaAt(shown, i) - lumaAt(bare, i) >= std::max(20.0, 0.5 * largest)) {
            text.push_back(luminance(shown, i));
            under.push_back(luminance(bare, i));
        }
    if (text.empty())
        return 0.0;
    std::nth_element(text.begin(), text.begin() + long(text.size() / 2), text.end());
    std::nth_element(under.begin(), under.begin() + long(under.size() * 9 / 10), under.end());
    const double a = text[text.size() / 2], b = under[under.size() * 9 / 10];
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

class ProductionFrames : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("quillon_frames_" + std::to_string(getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(fs::exists(capturePath)) << "build quillon-capture first";
        ASSERT_TRUE(fs::exists(sourceRoot / "sync/sync_0.track")) << "build the timeline first";
        ASSERT_TRUE(fs::exists(sourceRoot / "data/seq1/noise.png")) << "build the images first";
    }

    void TearDown() override { fs::remove_all(dir); }

    // The frame at a music time, rendered from the given root at 640 x 360.
    Frame capture(double seconds, const std::string& tag, const fs::path& root = sourceRoot)
    {
        const fs::path png = dir / (tag + ".png");
        const fs::path log = dir / (tag + ".log");
        // quillon-capture reads data/ and sync/ from the folder it runs in.
        const Ran ran = runProgram({.path = capturePath,
                                    .arguments = {"--at", std::to_string(seconds), "--out", png, "--size", "640x360"},
                                    .workingDir = root, .output = log, .errors = log});
        EXPECT_EQ(ran.status, 0) << "capture at " << seconds << " s failed; see " << log;
        Frame frame = loadFrame(png);
        EXPECT_EQ(frame.width, 640) << tag;
        return frame;
    }

    fs::path dir;
};

} // namespace

TEST_F(ProductionFrames, BriefMomentsAreDistinctPicturesThatRenderTheSameEveryTime)
{
    const std::vector<double> moments = {30, 60, 100, 125, 160, 200};
    std::vector<Frame> frames;
    for (double t : moments)
        frames.push_back(capture(t, "at" + std::to_string(int(t))));

    for (size_t i = 0; i < frames.size(); ++i) {
        // A flat colour (or black) has no contrast at all.
        EXPECT_GT(contrastOf(frames[i]), 8.0) << "frame at " << moments[i] << " s looks blank";
        for (size_t j = i + 1; j < frames.size(); ++j)
            EXPECT_GT(changedShare(frames[i], frames[j]), 0.2)
                << moments[i] << " s and " << moments[j] << " s show the same picture";
    }

    // The strand's busiest moment, rendered again in a fresh process.
    Frame again = capture(160, "again160");
    EXPECT_EQ(again.rgb, frames[4].rgb) << "160 s renders differently from run to run";
}

TEST_F(ProductionFrames, ASnareBrightensTheFrameButLeavesItsBlacksBlack)
{
    // 60.5 s is a snare of the groove; 60.375 s the row before its flash.
    const Frame snare = capture(60.5, "snare");
    const Frame before = capture(60.375, "beforeSnare");
    EXPECT_LE(darkestLuma(snare, 0.01), 30.0) << "the snare greys the picture";
    EXPECT_LE(darkestLuma(snare, 0.01), darkestLuma(before, 0.01) + 8.0);
}

TEST_F(ProductionFrames, OverlaysAndLogoShowWhereTheTimelinePutsThem)
{
    // The same production with the overlay and logo tracks (11, 13, 14, 35)
    // emptied: a track without keys reads 0 everywhere.
    const fs::path bare = dir / "bare";
    fs::create_directories(bare / "sync");
    fs::create_directory_symlink(sourceRoot / "data", bare / "data");
    for (int track = 0; track < 64; ++track) {
        const std::string name = "sync_" + std::to_string(track) + ".track";
        if (track == 11 || track == 13 || track == 14 || track == 35) {
            std::ofstream empty(bare / "sync" / name, std::ios::binary);
            const int32_t noKeys = 0;
            empty.write(reinterpret_cast<const char*>(&noKeys), sizeof noKeys);
        } else {
            fs::copy_file(sourceRoot / "sync" / name, bare / "sync" / name);
        }
    }

    struct Moment {
        double seconds;
        const char* what;
    };
    const std::vector<Moment> moments = {
        {14, "title"},    {55, "credits"}, {85, "scene 2 title page"},
        {146, "greetings page"}, {175, "logo"}, {196, "closing page"},
    };
    for (const Moment& m : moments) {
        const std::string tag = "m" + std::to_string(int(m.seconds));
        Frame shown = capture(m.seconds, tag);
        Frame hidden = capture(m.seconds, tag + "_bare", bare);
        // Lettering covers a few percent of the frame at least, and reads.
        EXPECT_GT(changedShare(shown, hidden), 0.01) << m.what << " at " << m.seconds << " s";
        EXPECT_GE(textContrast(shown, hidden), 4.5) << m.what << " at " << m.seconds << " s";
    }
}
