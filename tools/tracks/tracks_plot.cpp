#include "tracks_plot.h"

#include "assets/directory.h"

#include "app/timeline.h"
#include "sync/tracks_source.h"

#include <stb/stb_easy_font.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int imageWidth = 1400;   // pixels
constexpr int labelWidth = 250;    // pixels, names and value ranges
constexpr int rightMargin = 10;    // pixels
constexpr int headerHeight = 30;   // pixels, time ticks and marker names
constexpr int stripHeight = 18;    // pixels
constexpr int stripGap = 1;        // pixels

struct Colour {
    uint8_t r, g, b;
};

constexpr Colour background{14, 16, 24};
constexpr Colour stripScene1{24, 28, 42};
constexpr Colour stripScene2{34, 26, 42};
constexpr Colour fillColour{36, 104, 124};
constexpr Colour lineColour{130, 230, 240};
constexpr Colour zeroColour{70, 76, 96};
constexpr Colour cutColour{235, 90, 80};
constexpr Colour markColour{120, 120, 150};
constexpr Colour textColour{215, 220, 230};
constexpr Colour dimText{120, 126, 146};

struct Marker {
    double seconds;
    const char* label;  // null: marked but not named
};

// The moments the production is built around; the cut and the end come
// from the engine's own timeline constants.
const Marker markers[] = {
    {firstRowOfSecondScene / rowsPerSecond, "79 cut"},
    {80.5, nullptr},
    {114.12, nullptr},
    {115.18, "115.18"},
    {135.18, "135.18"},
    {179.3125, "179.31"},
    {207.0, nullptr},
    {endOfProduction, nullptr},
};

struct Canvas {
    PlotImage& image;

    void fill(int x0, int y0, int x1, int y1, Colour c)
    {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, image.width);
        y1 = std::min(y1, image.height);
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = &image.rgb[(size_t(y) * image.width + x0) * 3];
            for (int x = x0; x < x1; ++x, p += 3) {
                p[0] = c.r;
                p[1] = c.g;
                p[2] = c.b;
            }
        }
    }

    void text(int x, int y, const std::string& s, Colour c)
    {
        // stb_easy_font emits axis-aligned quads, 4 vertices of 16 bytes each.
        static char vertices[16 * 4 * 1200];
        std::string copy = s;
        const int quads = stb_easy_font_print(float(x), float(y), copy.data(), nullptr, vertices,
                                              int(sizeof vertices));
        for (int q = 0; q < quads; ++q) {
            const float* v0 = reinterpret_cast<const float*>(vertices + q * 64);
            const float* v2 = reinterpret_cast<const float*>(vertices + q * 64 + 32);
            fill(int(v0[0]), int(v0[1]), int(v2[0]), int(v2[1]), c);
        }
    }

    int textWidth(const std::string& s)
    {
        std::string copy = s;
        return stb_easy_font_width(copy.data());
    }
};

std::string formatValue(double v)
{
    char text[32];
    snprintf(text, sizeof text, "%g", v);
    return text;
}

} // namespace

PlotImage renderTimelinePlot(const std::array<SyncTrack, 64>& tracks, double endSeconds)
{
    PlotImage image;
    image.width = imageWidth;
    image.height = headerHeight + 64 * (stripHeight + stripGap) + 4;
    image.rgb.assign(size_t(image.width) * image.height * 3, 0);
    Canvas canvas{image};
    canvas.fill(0, 0, image.width, image.height, background);

    const int plotWidth = imageWidth - labelWidth - rightMargin;
    const double secondsPerPixel = endSeconds / plotWidth;
    auto xAt = [&](double seconds) { return labelWidth + int(std::lround(seconds / secondsPerPixel)); };

    for (int s = 0; s <= int(endSeconds); s += 10) {
        canvas.fill(xAt(s), headerHeight - 6, xAt(s) + 1, headerHeight, dimText);
        canvas.text(xAt(s) + 2, 3, std::to_string(s), dimText);
    }
    canvas.text(4, 3, "seconds", dimText);
    for (const Marker& marker : markers)
        if (marker.label)
            canvas.text(xAt(marker.seconds) + 2, 14, marker.label,
                        marker.seconds == markers[0].seconds ? cutColour : textColour);

    const int cutX = xAt(markers[0].seconds);
    std::vector<double> low(plotWidth), high(plotWidth);
    for (int t = 0; t < 64; ++t) {
        const SyncTrack& track = tracks[t];
        const int top = headerHeight + t * (stripHeight + stripGap);
        const int bottom = top + stripHeight;
        canvas.fill(labelWidth, top, cutX, bottom, stripScene1);
        canvas.fill(cutX, top, labelWidth + plotWidth, bottom, stripScene2);
        const std::string label = std::to_string(t) + " " + trackName(t);

        if (track.numKeys == 0) {
            canvas.text(4, top + 5, label, dimText);
            canvas.text(labelWidth + 4, top + 5, "no keys", dimText);
            continue;
        }
        canvas.text(4, top + 5, label, textColour);

        // Each column shows the range the track sweeps within it, sampled at
        // every row it covers, so a pulse shorter than a pixel still shows.
        double lo = 0.0, hi = 0.0;
        for (int x = 0; x < plotWidth; ++x) {
            const double r0 = x * secondsPerPixel * rowsPerSecond;
            const double r1 = (x + 1) * secondsPerPixel * rowsPerSecond;
            double a = getSyncValue(&track, r0), b = a;
            for (double r = std::floor(r0) + 1.0; r < r1; r += 1.0) {
                const double v = getSyncValue(&track, r);
                a = std::min(a, v);
                b = std::max(b, v);
            }
            low[x] = a;
            high[x] = b;
            lo = std::min(lo, a);
            hi = std::max(hi, b);
        }
        const double span = hi > lo ? hi - lo : 1.0;
        auto yAt = [&](double v) {
            return bottom - 2 - int(std::lround((v - lo) / span * (stripHeight - 4)));
        };
        const int zeroY = yAt(0.0);
        canvas.fill(labelWidth, zeroY, labelWidth + plotWidth, zeroY + 1, zeroColour);
        for (int x = 0; x < plotWidth; ++x) {
            const int yLow = yAt(low[x]);
            const int yHigh = yAt(high[x]);
            const int px = labelWidth + x;
            canvas.fill(px, std::min(yHigh, zeroY), px + 1, std::max(yLow, zeroY) + 1, fillColour);
            canvas.fill(px, yHigh, px + 1, yLow + 1, lineColour);
        }
        const std::string range = formatValue(lo) + " .. " + formatValue(hi);
        canvas.text(labelWidth - canvas.textWidth(range) - 6, top + 5, range, dimText);
    }

    const int stripsBottom = headerHeight + 64 * (stripHeight + stripGap);
    for (const Marker& marker : markers) {
        const int x = xAt(marker.seconds);
        const Colour c = marker.seconds == markers[0].seconds ? cutColour : markColour;
        for (int y = headerHeight; y < stripsBottom; y += 3)  // dotted, so curves stay readable
            canvas.fill(x, y, x + 1, y + 2, c);
    }
    return image;
}

bool writePlotPng(const std::string& path, const PlotImage& image, std::string& why)
{
    std::vector<unsigned char> png;
    if (!stbi_write_png_to_func(appendEncodedBytes, &png, image.width, image.height, 3, image.rgb.data(), image.width * 3)) {
        why = path + ": cannot encode the plot";
        return false;
    }
    return writeFileReplacing(path, png.data(), png.size(), why);
}
