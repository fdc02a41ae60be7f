#include "loudness.h"

#include <algorithm>
#include <cmath>
#include <ebur128.h>
#include <vector>

namespace {

constexpr int passes = 4;                // gain corrections at most
constexpr double tolerance = 0.1;        // LU
constexpr int64_t chunkFrames = 1 << 16; // frames handed to libebur128 at once

double gainOf(double decibels) { return std::pow(10.0, decibels / 20.0); }

}  // namespace

Loudness measureLoudness(const StereoBuffer& buffer) {
    Loudness result;
    ebur128_state* state =
        ebur128_init(2, static_cast<unsigned long>(sampleRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!state) return result;
    const int64_t frames = stereoFrames(buffer);
    std::vector<float> interleaved(static_cast<size_t>(2 * chunkFrames));
    for (int64_t at = 0; at < frames; at += chunkFrames) {
        const int64_t count = std::min(chunkFrames, frames - at);
        for (int64_t i = 0; i < count; ++i) {
            interleaved[static_cast<size_t>(2 * i)] = buffer.left[static_cast<size_t>(at + i)];
            interleaved[static_cast<size_t>(2 * i + 1)] = buffer.right[static_cast<size_t>(at + i)];
        }
        ebur128_add_frames_float(state, interleaved.data(), static_cast<size_t>(count));
    }
    double integrated = 0.0;
    if (ebur128_loudness_global(state, &integrated) == EBUR128_SUCCESS && std::isfinite(integrated))
        result.integrated = integrated;
    double peak = 0.0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double p = 0.0;
        if (ebur128_true_peak(state, channel, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    if (peak > 0.0) result.truePeak = 20.0 * std::log10(peak);
    ebur128_destroy(&state);
    return result;
}

Loudness normaliseLoudness(StereoBuffer& buffer, const LoudnessTarget& target) {
    const Loudness before = measureLoudness(buffer);
    if (before.integrated <= -70.0) return before;  // silence: nothing to scale
    const StereoBuffer original = buffer;
    // Limiting only lowers the loudness, so each pass raises the gain by what
    // the last one fell short.
    double gain = target.integrated - before.integrated;  // dB
    Loudness now = before;
    for (int pass = 0; pass < passes; ++pass) {
        const float g = static_cast<float>(gainOf(gain));
        for (size_t i = 0; i < buffer.left.size(); ++i) {
            buffer.left[i] = original.left[i] * g;
            buffer.right[i] = original.right[i] * g;
        }
        applyLimiter(buffer, target.limiter);
        now = measureLoudness(buffer);
        if (std::fabs(now.integrated - target.integrated) <= tolerance) break;
        gain += target.integrated - now.integrated;
    }
    return now;
}
