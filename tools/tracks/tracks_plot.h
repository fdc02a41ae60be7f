// The timeline as a picture: one strip per track over the whole production,
// named, scaled to the track's own range, with the scene cut and the fixed
// times of the production marked. Renders into a caller-owned RGB image.
#pragma once

#include "sync/sync.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct PlotImage {
    int width = 0;              // pixels
    int height = 0;             // pixels
    std::vector<uint8_t> rgb;   // width * height * 3, rows from the top
};

// Draws all 64 tracks from 0 to endSeconds, evaluated as the engine does.
PlotImage renderTimelinePlot(const std::array<SyncTrack, 64>& tracks, double endSeconds);
// Writes the image as PNG, whole or not at all; false with why (naming the
// file) when it cannot be written.
bool writePlotPng(const std::string& path, const PlotImage& image, std::string& why);
