// Frames of the windowed build's editing tool, drawn off screen at a small
// size: a jump lands on the frame a fresh capture draws at that time, and the
// readout leaves no trace in any frame while it is off.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "app/offscreen.h"
#include "app/overlay.h"
#include "assets/shader.h"
#include "gl_context.h"

namespace {

constexpr int width = 160;   // pixels
constexpr int height = 90;   // pixels

OffscreenProduction production;

bool loaded()
{
    static int state = 0;  // 0 not tried, 1 loaded, -1 failed
    if (state == 0) {
        bool ok = false;
        captureConsole([&] { ok = loadOffscreenProduction("editing", width, height, production); });
        state = ok ? 1 : -1;
    }
    return state == 1;
}

std::vector<unsigned char> readFrame()
{
    std::vector<unsigned char> pixels(size_t(width) * height * 4);
    glFinish();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Catches up to the time, as after a jump, and draws the frame there.
std::vector<unsigned char> jumpAndDraw(double seconds)
{
    catchUpProduction(production, seconds);
    drawProductionFrame(production, seconds);
    return readFrame();
}

// Whether any pixel differs inside / outside the top-left box (pixels, from the top).
struct Difference {
    bool inside = false;
    bool outside = false;
};
Difference compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b,
                   int boxWidth, int boxHeight)
{
    Difference d;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = (size_t(y) * width + x) * 4;
            const bool differs = a[at] != b[at] || a[at + 1] != b[at + 1] || a[at + 2] != b[at + 2];
            const bool inBox = x < boxWidth && height - 1 - y < boxHeight;
            (inBox ? d.inside : d.outside) |= differs;
        }
    return d;
}

} // namespace

TEST(EditingFrames, JumpDrawsWhatAFreshCaptureDraws)
{
    if (!loaded())
        GTEST_SKIP() << "no GL context or production data";
    // Node hops: the camera follows a cluster centre the previous frame moved.
    const double target = 100.0;
    const std::vector<unsigned char> fresh = jumpAndDraw(target);

    // Frames elsewhere in both scenes, as playback before the jump.
    jumpAndDraw(60.0);
    drawProductionFrame(production, 150.0);
    drawProductionFrame(production, 150.0 + 1.0 / 60.0);
    // Without the catch-up the old state shows.
    drawProductionFrame(production, target);
    EXPECT_NE(readFrame(), fresh);

    const auto start = std::chrono::steady_clock::now();
    catchUpProduction(production, target);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    drawProductionFrame(production, target);
    EXPECT_EQ(readFrame(), fresh);

    const auto late = std::chrono::steady_clock::now();
    catchUpProduction(production, 200.0);
    const double lateSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - late).count();
    fprintf(stderr, "catch-up: %.1f ms to 100 s, %.1f ms to 200 s\n", seconds * 1e3, lateSeconds * 1e3);
}

TEST(EditingFrames, ReadoutIsAbsentWhileOffAndLeavesNoStateBehind)
{
    if (!loaded())
        GTEST_SKIP() << "no GL context or production data";
    const double moment = 30.0;
    const std::vector<unsigned char> plain = jumpAndDraw(moment);

    // Off (H never pressed): nothing drawn, no GL object made.
    Overlay overlay;
    formatOverlayText(OverlayReadout{}, {}, shaderRegistry, overlay.text, sizeof overlay.text);
    drawOverlay(overlay, width, height);
    EXPECT_EQ(readFrame(), plain);
    EXPECT_EQ(overlay.vertexBuffer, 0u);

    // On: the corner changes, nothing else; small text fits in the box.
    overlay.visible = true;
    std::snprintf(overlay.text, sizeof overlay.text, "12.0 s");
    drawOverlay(overlay, width, height);
    const Difference on = compare(readFrame(), plain, 110, 50);
    EXPECT_TRUE(on.inside);
    EXPECT_FALSE(on.outside);

    // Off again: the next frame is today's frame.
    overlay.visible = false;
    EXPECT_EQ(jumpAndDraw(moment), plain);
}
