// Turns a score into the finished stereo master: every voice rendered into dry
// and effect-send buses on two threads, ducked under the kick, the delay and
// the reverb, the lows high-passed and made mono, the hard stop, each
// section's level, the master fade and the limiter. The returned buffers
// belong to the caller.
#pragma once

#include <cstdint>

#include "score.h"
#include "synth.h"

struct MixSettings {
    double gain = 1.0;  // linear gain into the limiter when no loudness is asked for
    // The ceiling leaves room for the overshoot MP3 encoding adds to peaks
    // (about 0.7 dB here), so the decoded file stays under -1 dBTP.
    LimiterSettings limiter{-2.3, 0.0025, 0.12};
    // Integrated loudness (LUFS) the master is normalised to, measured after
    // the limiter; 0 applies `gain` as it is.
    double loudness = 0.0;
};
// The release master: -14 LUFS integrated, true peak under the ceiling.
MixSettings masterMixSettings();

int64_t frameAt(double seconds);  // nearest frame
StereoBuffer renderScore(const Score& score, const MixSettings& settings);
// The lead alone, dry, at the score's own levels: what a pitch tracker of the
// melody listens to.
StereoBuffer renderLeadStem(const Score& score);
// FNV-1a 64 over the samples as they are handed to the encoder.
uint64_t hashPcm(const StereoBuffer& buffer);
