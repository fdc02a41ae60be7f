// The soundtrack's synthesiser: band-limited oscillators, filters, envelopes,
// the drum and tone voices, the stereo delay, the reverb and the master
// limiter. Voices render one hit or note into a buffer the caller owns; the
// wavetables are built once on first use and live for the process. Nothing
// here reads a clock or an unseeded generator, so every render is identical.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

constexpr double sampleRate = 44100.0;  // frames per second

struct StereoBuffer {
    std::vector<float> left;   // -1..1 at full scale
    std::vector<float> right;  // -1..1 at full scale
};

// Resizes both channels to `frames` and clears them.
void resetStereoBuffer(StereoBuffer& buffer, int64_t frames);
int64_t stereoFrames(const StereoBuffer& buffer);

// A piecewise-linear curve over time, held flat before the first and after
// the last point. Points must be sorted by time.
struct CurvePoint {
    double time;   // seconds
    double value;
};
using Curve = std::vector<CurvePoint>;
double curveValue(const Curve& curve, double time /* seconds */);

// Deterministic white noise (xorshift32).
struct Noise {
    uint32_t state = 0x9e3779b9u;
};
Noise makeNoise(uint32_t seed);
float nextNoise(Noise& noise);  // -1..1

// Wavetable oscillator. The table is picked per note from a set built with
// only the harmonics that stay below 20 kHz at that pitch, so nothing folds
// back over the Nyquist frequency.
enum class Wave { Saw, Square };
constexpr int waveTableSize = 4096;  // samples per cycle
struct Oscillator {
    const float* table = nullptr;
    double phase = 0.0;      // 0..1
    double increment = 0.0;  // cycles per frame
};
Oscillator makeOscillator(Wave wave, double frequency /* Hz */, double phase /* 0..1 */);
double midiFrequency(double midi);  // Hz, A4 = midi 69 = 440 Hz

// State-variable filter (trapezoidal integration, stable under modulation).
struct Svf {
    float ic1 = 0.0f, ic2 = 0.0f;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 2.0f;
};
struct SvfOutput {
    float low, band, high;
};
void setSvf(Svf& svf, double cutoff /* Hz */, double resonance /* 0..1 */);

// Called once per sample by every voice, hence inline.
inline float nextOscillator(Oscillator& osc) {
    double pos = osc.phase * waveTableSize;
    int i = static_cast<int>(pos);
    float frac = static_cast<float>(pos - i);
    float v = osc.table[i] + frac * (osc.table[i + 1] - osc.table[i]);
    osc.phase += osc.increment;
    if (osc.phase >= 1.0) osc.phase -= 1.0;
    return v;
}

inline SvfOutput processSvf(Svf& svf, float input) {
    float v3 = input - svf.ic2;
    float v1 = svf.a1 * svf.ic1 + svf.a2 * v3;
    float v2 = svf.ic2 + svf.a2 * svf.ic1 + svf.a3 * v3;
    svf.ic1 = 2.0f * v1 - svf.ic1;
    svf.ic2 = 2.0f * v2 - svf.ic2;
    return {v2, v1, input - svf.k * v1 - v2};
}

// Attack, decay to sustain, release after the gate closes.
struct Envelope {
    double attack;   // seconds
    double decay;    // seconds, time constant
    double sustain;  // 0..1
    double release;  // seconds, time constant
};
double envelopeLevel(const Envelope& env, double t /* seconds since note on */,
                     double gate /* seconds the note is held */);
// Seconds after note on until the envelope has fallen 60 dB below its level
// at release, where voices cut their tails.
double envelopeLength(const Envelope& env, double gate /* seconds */);

// Voices: each renders one event into `out`, resized to the event's length;
// frame 0 is the onset.
void renderKick(StereoBuffer& out, float velocity /* 0..1 */);
void renderClap(StereoBuffer& out, float velocity /* 0..1 */, uint32_t seed);
void renderSnare(StereoBuffer& out, float velocity /* 0..1 */, uint32_t seed);
void renderHat(StereoBuffer& out, float velocity /* 0..1 */, bool open, uint32_t seed);
void renderBass(StereoBuffer& out, int midi, double gate /* seconds */, float velocity /* 0..1 */);
// A chord of five detuned saws per note through one resonant low-pass per
// side whose cutoff follows `cutoff` (Hz over music time); `onset` places the
// chord on that curve.
void renderPad(StereoBuffer& out, std::span<const int> midi, double gate /* seconds */,
               float velocity /* 0..1 */, const Curve& cutoff, double onset /* seconds */,
               double resonance /* 0..1 */, uint32_t seed);
void renderArp(StereoBuffer& out, int midi, double gate /* seconds */, float velocity /* 0..1 */,
               double cutoff /* Hz */, float pan /* -1 left..1 right */);
// The lead: two detuned saws and a square through a low-pass that opens on
// each note, with a slow vibrato once the note has sounded for a while.
void renderLead(StereoBuffer& out, int midi, double gate /* seconds */, float velocity /* 0..1 */,
                double cutoff /* Hz */);
// Filtered noise sweeping up over `length`, cut off sharply at its end.
void renderRiser(StereoBuffer& out, double length /* seconds */, float level /* 0..1 */,
                 uint32_t seed);
// A reversed cymbal: bright noise swelling over `length` to its loudest at
// the very end, where it stops.
void renderSwell(StereoBuffer& out, double length /* seconds */, float level /* 0..1 */, uint32_t seed);
// A falling sub boom with a noise burst: the hit at a scene cut or a drop.
void renderImpact(StereoBuffer& out, float level /* 0..1 */, uint32_t seed);

// Effects: each reads frames [from, to) of `send` and adds its wet output to
// `out` over the same frames, starting from silent state.
struct DelaySettings {
    double time;      // seconds between repeats
    float feedback;   // 0..1
    float damping;    // 0..1, high frequencies lost per repeat
    float wet;        // gain of the repeats
};
void addPingPongDelay(const StereoBuffer& send, StereoBuffer& out, int64_t from, int64_t to,
                      const DelaySettings& settings);
struct ReverbSettings {
    float roomSize;  // 0..1, longer tail when larger
    float damping;   // 0..1
    float wet;       // gain of the tail
};
// One channel of a stereo reverb fed by the sum of both send channels; the
// two channels use different tunings, so they may run on separate threads.
void addReverbChannel(const StereoBuffer& send, std::vector<float>& out, int channel /* 0 left, 1 right */,
                      int64_t from, int64_t to, const ReverbSettings& settings);

// Master stage.
// Highest value a band-limited reconstruction of `samples` reaches between
// and on the samples, estimated by 4x oversampling.
float truePeak(const std::vector<float>& samples);
struct LimiterSettings {
    double ceiling;    // dBTP, the true peak never exceeds it
    double lookahead;  // seconds
    double release;    // seconds, time constant of the gain recovery
};
void applyLimiter(StereoBuffer& buffer, const LimiterSettings& settings);
// Over frames [from, to), starting from silent state: removes what lies under
// `lowCut` from both channels (a second-order Butterworth high-pass) and makes
// everything under `monoBelow` mono (the side signal through a fourth-order
// Butterworth high-pass).
void tidyLowEnd(StereoBuffer& buffer, int64_t from, int64_t to, double lowCut /* Hz */,
                double monoBelow /* Hz */);
