// Loudness of a stereo master measured the EBU R 128 way through libebur128
// (integrated loudness with its gating, true peak with 4x oversampling), and
// the normalisation that brings a mix to a target loudness under a limiter.
// Works on caller-owned buffers; allocates only libebur128's own state.
#pragma once

#include "synth.h"

struct Loudness {
    double integrated = -70.0;  // LUFS; -70 for silence
    double truePeak = -200.0;   // dBTP, the larger of the two channels
};
Loudness measureLoudness(const StereoBuffer& buffer);

struct LoudnessTarget {
    double integrated = -14.0;  // LUFS
    LimiterSettings limiter;    // its ceiling bounds the true peak (dBTP)
};
// Scales `buffer` and limits it so its integrated loudness lands within 0.1 LU
// of the target: the gain starts from the measured loudness and is corrected
// for what the limiter takes away. Returns the final measurement.
Loudness normaliseLoudness(StereoBuffer& buffer, const LoudnessTarget& target);
