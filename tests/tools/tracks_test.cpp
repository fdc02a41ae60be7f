// The tool's own part of quillon-tracks: the timeline plot. The compiler it
// runs lives in the library and is tested in tests/sync.
#include "tracks_plot.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(TimelinePlot, OnlyTheKeyedStripChangesAndItFollowsTheValue)
{
    std::array<SyncTrack, 64> empty;
    std::array<SyncTrack, 64> keyed;
    keyed[5].keys = {{0, 0.0f, Step}, {1600, 10.0f, Step}};  // 0, then 10 from 100 s
    keyed[5].numKeys = 2;
    const PlotImage a = renderTimelinePlot(keyed, 207.6);
    const PlotImage b = renderTimelinePlot(empty, 207.6);
    ASSERT_EQ(a.rgb.size(), size_t(a.width) * a.height * 3);
    ASSERT_EQ(a.rgb.size(), b.rgb.size());

    auto pixel = [](const PlotImage& image, int x, int y) {
        return std::string(reinterpret_cast<const char*>(&image.rgb[(size_t(y) * image.width + x) * 3]), 3);
    };
    int first = a.height, last = -1;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (pixel(a, x, y) != pixel(b, x, y)) {
                first = std::min(first, y);
                last = std::max(last, y);
            }
    // One strip's band, in the upper part of the picture where track 5 sits.
    ASSERT_GE(last, first);
    EXPECT_LT(last - first, a.height / 64);
    EXPECT_LT(last, a.height / 8);

    // Before and after the step (both in the second scene's part), the keyed
    // strip differs and the empty one does not.
    const int before = a.width * 55 / 100, after = a.width * 85 / 100;
    bool keyedDiffers = false, emptyDiffers = false;
    for (int y = first; y <= last; ++y) {
        keyedDiffers = keyedDiffers || pixel(a, before, y) != pixel(a, after, y);
        emptyDiffers = emptyDiffers || pixel(b, before, y) != pixel(b, after, y);
    }
    EXPECT_TRUE(keyedDiffers);
    EXPECT_FALSE(emptyDiffers);
}

} // namespace
