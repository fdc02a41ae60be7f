#include "synth.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double twoPi = 2.0 * pi;

// Wavetables: one table per half octave from 20 Hz. Each holds the harmonics
// that stay below highestPartial at the top pitch of its range.
constexpr int tableSize = waveTableSize;
constexpr int tableLevels = 22;
constexpr double lowestTablePitch = 20.0;  // Hz
constexpr double highestPartial = 19500.0; // Hz

// -60 dB: below this an envelope tail is cut; the step is far under the mix.
constexpr double tailLog = 6.907755;  // ln(1000)

// Interpolating filter for true-peak estimation: windowed sinc, 16 taps per
// phase, evaluated a quarter, half and three quarters between samples.
constexpr int peakTaps = 16;
constexpr int peakPhases = 3;

struct WaveBank {
    std::vector<float> tables[2];  // Saw, Square: tableLevels x (tableSize + 1)
};

int harmonicsForLevel(int level) {
    double top = lowestTablePitch * std::pow(2.0, (level + 1) * 0.5);
    int count = static_cast<int>(highestPartial / top);
    return std::clamp(count, 1, tableSize / 4);
}

WaveBank buildWaveBank() {
    WaveBank bank;
    std::vector<double> sine(tableSize);
    for (int j = 0; j < tableSize; ++j) sine[j] = std::sin(twoPi * j / tableSize);
    for (int w = 0; w < 2; ++w) {
        std::vector<float>& tables = bank.tables[w];
        tables.assign(static_cast<size_t>(tableLevels) * (tableSize + 1), 0.0f);
        std::vector<double> sum(tableSize, 0.0);
        int added = 0;
        // Levels with fewer harmonics first, so each table extends the last.
        for (int level = tableLevels - 1; level >= 0; --level) {
            int wanted = harmonicsForLevel(level);
            for (int k = added + 1; k <= wanted; ++k) {
                if (w == 1 && k % 2 == 0) continue;
                double amp = (w == 0 ? 2.0 / pi : 4.0 / pi) / k;
                for (int j = 0; j < tableSize; ++j)
                    sum[j] += amp * sine[(static_cast<int64_t>(k) * j) % tableSize];
            }
            added = std::max(added, wanted);
            float* table = &tables[static_cast<size_t>(level) * (tableSize + 1)];
            for (int j = 0; j < tableSize; ++j) table[j] = static_cast<float>(sum[j]);
            table[tableSize] = table[0];
        }
    }
    return bank;
}

const WaveBank& waveBank() {
    static const WaveBank bank = buildWaveBank();
    return bank;
}

float panLeft(float pan) { return static_cast<float>(std::cos((pan + 1.0) * pi * 0.25)); }
float panRight(float pan) { return static_cast<float>(std::sin((pan + 1.0) * pi * 0.25)); }

int64_t framesFor(double seconds) { return static_cast<int64_t>(std::ceil(seconds * sampleRate)); }

// Linear fade over the last `fade` seconds so a cut tail never clicks.
float endFade(double t, double length, double fade) {
    double left = length - t;
    return left >= fade ? 1.0f : static_cast<float>(std::max(0.0, left / fade));
}

struct PeakFilter {
    float taps[peakPhases][peakTaps];  // taps[p][j] weighs x[i - 7 + j]
};

PeakFilter buildPeakFilter() {
    PeakFilter f{};
    for (int p = 0; p < peakPhases; ++p) {
        double frac = (p + 1) * 0.25;
        double sum = 0.0;
        for (int j = 0; j < peakTaps; ++j) {
            double u = frac - (j - 7);
            double sinc = std::abs(u) < 1e-12 ? 1.0 : std::sin(pi * u) / (pi * u);
            double window = 0.5 * (1.0 + std::cos(pi * u / 8.5));
            f.taps[p][j] = static_cast<float>(sinc * window);
            sum += sinc * window;
        }
        for (int j = 0; j < peakTaps; ++j) f.taps[p][j] = static_cast<float>(f.taps[p][j] / sum);
    }
    return f;
}

// peaks[i] = the largest magnitude from sample i up to (not including) i + 1.
void addInterSamplePeaks(const std::vector<float>& x, std::vector<float>& peaks) {
    static const PeakFilter filter = buildPeakFilter();
    const int64_t n = static_cast<int64_t>(x.size());
    for (int64_t i = 0; i < n; ++i) {
        float peak = std::abs(x[i]);
        if (i >= 7 && i + 8 < n) {
            const float* base = &x[i - 7];
            for (int p = 0; p < peakPhases; ++p) {
                float v = 0.0f;
                for (int j = 0; j < peakTaps; ++j) v += filter.taps[p][j] * base[j];
                peak = std::max(peak, std::abs(v));
            }
        }
        peaks[i] = std::max(peaks[i], peak);
    }
}

// A biquad in direct form I on doubles, for the master's slow filters.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
};

Biquad highPass(double cutoff, double q) {
    const double w = twoPi * cutoff / sampleRate;
    const double alpha = std::sin(w) / (2.0 * q), c = std::cos(w), a0 = 1.0 + alpha;
    return {(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

double processBiquad(Biquad& f, double x) {
    double y = f.b0 * x + f.b1 * f.x1 + f.b2 * f.x2 - f.a1 * f.y1 - f.a2 * f.y2;
    f.x2 = f.x1;
    f.x1 = x;
    f.y2 = f.y1;
    f.y1 = y;
    return y;
}


}  // namespace

void resetStereoBuffer(StereoBuffer& buffer, int64_t frames) {
    buffer.left.assign(static_cast<size_t>(frames), 0.0f);
    buffer.right.assign(static_cast<size_t>(frames), 0.0f);
}

int64_t stereoFrames(const StereoBuffer& buffer) { return static_cast<int64_t>(buffer.left.size()); }

double curveValue(const Curve& curve, double time) {
    if (curve.empty()) return 0.0;
    if (time <= curve.front().time) return curve.front().value;
    if (time >= curve.back().time) return curve.back().value;
    auto next = std::upper_bound(curve.begin(), curve.end(), time,
                                 [](double t, const CurvePoint& p) { return t < p.time; });
    const CurvePoint& b = *next;
    const CurvePoint& a = *(next - 1);
    double span = b.time - a.time;
    if (span <= 0.0) return b.value;
    return a.value + (b.value - a.value) * (time - a.time) / span;
}

Noise makeNoise(uint32_t seed) {
    Noise noise;
    // Spread small seeds over the state; xorshift must never hold zero.
    noise.state = seed * 2654435761u ^ 0x6d2b79f5u;
    if (noise.state == 0) noise.state = 0x9e3779b9u;
    return noise;
}

float nextNoise(Noise& noise) {
    uint32_t x = noise.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    noise.state = x;
    return static_cast<float>(static_cast<int32_t>(x) * (1.0 / 2147483648.0));
}

Oscillator makeOscillator(Wave wave, double frequency, double phase) {
    const WaveBank& bank = waveBank();
    int level = frequency <= lowestTablePitch
                    ? 0
                    : static_cast<int>(std::floor(2.0 * std::log2(frequency / lowestTablePitch)));
    level = std::clamp(level, 0, tableLevels - 1);
    Oscillator osc;
    osc.table = &bank.tables[wave == Wave::Saw ? 0 : 1][static_cast<size_t>(level) * (tableSize + 1)];
    osc.phase = phase - std::floor(phase);
    osc.increment = frequency / sampleRate;
    return osc;
}

double midiFrequency(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

void setSvf(Svf& svf, double cutoff, double resonance) {
    cutoff = std::clamp(cutoff, 10.0, sampleRate * 0.45);
    double g = std::tan(pi * cutoff / sampleRate);
    double k = std::max(0.05, 2.0 - 2.0 * std::clamp(resonance, 0.0, 1.0));
    double a1 = 1.0 / (1.0 + g * (g + k));
    svf.k = static_cast<float>(k);
    svf.a1 = static_cast<float>(a1);
    svf.a2 = static_cast<float>(g * a1);
    svf.a3 = static_cast<float>(g * g * a1);
}

double envelopeLevel(const Envelope& env, double t, double gate) {
    auto held = [&](double u) {
        if (u < 0.0) return 0.0;
        if (u < env.attack) return u / env.attack;
        return env.sustain + (1.0 - env.sustain) * std::exp(-(u - env.attack) / env.decay);
    };
    if (t < gate) return held(t);
    return held(gate) * std::exp(-(t - gate) / env.release);
}

double envelopeLength(const Envelope& env, double gate) { return gate + env.release * tailLog; }

void renderKick(StereoBuffer& out, float velocity) {
    const double length = 0.4;
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise noise = makeNoise(0x4b1c);
    Svf click;
    setSvf(click, 4000.0, 0.1);
    double phase = 0.0;
    const float drive = 1.8f;
    const float norm = 1.0f / std::tanh(drive);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        // The pitch drops from a knock to A1 (55 Hz, a tone of every chord of
        // the home progression) within ~60 ms; the body is short, so the bass
        // line carries the low end between the kicks.
        double f = 55.0 + 110.0 * std::exp(-t / 0.032) + 320.0 * std::exp(-t / 0.0035);
        phase += f / sampleRate;
        double body = std::sin(twoPi * phase) * std::exp(-t / 0.085);
        double tick = processSvf(click, nextNoise(noise)).low * std::exp(-t / 0.0025) * 0.8;
        float x = std::tanh(drive * static_cast<float>(body + tick)) * norm;
        x *= velocity * 0.92f * endFade(t, length, 0.06);
        out.left[i] = x;
        out.right[i] = x;
    }
}

void renderClap(StereoBuffer& out, float velocity, uint32_t seed) {
    const double length = 0.45;
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise nl = makeNoise(seed), nr = makeNoise(seed ^ 0xa5a5a5a5u);
    Svf fl, fr;
    setSvf(fl, 1500.0, 0.45);
    setSvf(fr, 1350.0, 0.45);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        // Three hand hits 11 ms apart, then the room.
        double env = 0.0;
        for (int b = 0; b < 3; ++b) {
            double u = t - b * 0.011;
            if (u >= 0.0) env = std::max(env, std::exp(-u / 0.0055));
        }
        if (t >= 0.022) env = std::max(env, 0.5 * std::exp(-(t - 0.022) / 0.1));
        float g = static_cast<float>(env) * velocity * 1.5f * endFade(t, length, 0.05);
        out.left[i] = processSvf(fl, nextNoise(nl)).band * g;
        out.right[i] = processSvf(fr, nextNoise(nr)).band * g;
    }
}

void renderSnare(StereoBuffer& out, float velocity, uint32_t seed) {
    const double length = 0.35;
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise nl = makeNoise(seed), nr = makeNoise(seed ^ 0x5a5a5a5au);
    Svf hl, hr;
    setSvf(hl, 1800.0, 0.2);
    setSvf(hr, 2000.0, 0.2);
    double phase = 0.0;
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        phase += 185.0 * (1.0 + 0.35 * std::exp(-t / 0.012)) / sampleRate;
        float tone = static_cast<float>(std::sin(twoPi * phase) * std::exp(-t / 0.05) * 0.55);
        float hiss = static_cast<float>(std::exp(-t / 0.08) * 0.65);
        float g = velocity * endFade(t, length, 0.04);
        out.left[i] = (tone + processSvf(hl, nextNoise(nl)).high * hiss) * g;
        out.right[i] = (tone + processSvf(hr, nextNoise(nr)).high * hiss) * g;
    }
}

void renderHat(StereoBuffer& out, float velocity, bool open, uint32_t seed) {
    const double decay = open ? 0.2 : 0.028;
    const double length = decay * tailLog * 0.8;
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise noise = makeNoise(seed);
    Svf high, air;
    setSvf(high, open ? 6500.0 : 7800.0, 0.3);
    setSvf(air, 11000.0, 0.5);
    const float pan = open ? -0.25f : 0.3f;
    const float gl = panLeft(pan), gr = panRight(pan);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        float n = nextNoise(noise);
        float x = processSvf(high, n).high * 0.7f + processSvf(air, n).band * 0.5f;
        x *= static_cast<float>(std::exp(-t / decay)) * velocity * endFade(t, length, 0.01);
        out.left[i] = x * gl;
        out.right[i] = x * gr;
    }
}

void renderBass(StereoBuffer& out, int midi, double gate, float velocity) {
    const Envelope env{0.004, 0.25, 0.75, 0.02};
    const double length = envelopeLength(env, gate);
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    const double step = midiFrequency(midi) / sampleRate;
    double phase = 0.0;
    const float norm = 1.0f / std::tanh(1.3f);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        double w = twoPi * phase;
        // A touch of second and third harmonic so the line reads on small speakers.
        float y = static_cast<float>(std::sin(w) + 0.22 * std::sin(2.0 * w) + 0.08 * std::sin(3.0 * w));
        y = std::tanh(1.3f * y) * norm;
        phase += step;
        if (phase >= 1.0) phase -= 1.0;
        float x = y * static_cast<float>(envelopeLevel(env, t, gate)) * velocity * 0.5f;
        out.left[i] = x;
        out.right[i] = x;
    }
}

void renderPad(StereoBuffer& out, std::span<const int> midi, double gate, float velocity,
               const Curve& cutoff, double onset, double resonance, uint32_t seed) {
    constexpr int voices = 5;
    constexpr int maxNotes = 8;
    const double detune[voices] = {-0.13, -0.055, 0.0, 0.06, 0.125};  // semitones
    const float pans[voices] = {-0.9f, -0.45f, 0.0f, 0.45f, 0.9f};
    const Envelope env{1.4, 1.0, 1.0, 0.75};
    const double length = envelopeLength(env, gate);
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise noise = makeNoise(seed);
    const int notes = std::min<int>(static_cast<int>(midi.size()), maxNotes);
    const int count = notes * voices;
    Oscillator osc[maxNotes * voices];
    float gl[maxNotes * voices], gr[maxNotes * voices];
    for (int n = 0; n < notes; ++n) {
        for (int v = 0; v < voices; ++v) {
            double phase = 0.5 * (1.0 + nextNoise(noise));
            // Neighbouring notes spread the other way round, so the chord is wide
            // but no note sits on one side only.
            // The root, at the bottom, stays near the middle: the lows stay mono.
            float pan = (n % 2 == 0) ? pans[v] : -pans[v];
            if (n == 0) pan *= 0.15f;
            osc[n * voices + v] = makeOscillator(Wave::Saw, midiFrequency(midi[n] + detune[v]), phase);
            gl[n * voices + v] = panLeft(pan);
            gr[n * voices + v] = panRight(pan);
        }
    }
    const double lfoPhase = 0.5 * (1.0 + nextNoise(noise));
    Svf fl, fr;
    // Filter coefficients and the envelope move slowly; they are computed once
    // per block and the envelope is interpolated within it.
    constexpr int controlBlock = 32;
    float level = 0.0f, levelStep = 0.0f;
    for (int64_t i = 0; i < frames; ++i) {
        if (i % controlBlock == 0) {
            double t = i / sampleRate;
            double wobble = 1.0 + 0.12 * std::sin(twoPi * (0.17 * t + lfoPhase));
            double fc = curveValue(cutoff, onset + t) * wobble;
            setSvf(fl, fc, resonance);
            setSvf(fr, fc * 1.03, resonance);
            level = static_cast<float>(envelopeLevel(env, t, gate));
            float next = static_cast<float>(envelopeLevel(env, t + controlBlock / sampleRate, gate));
            levelStep = (next - level) / controlBlock;
        }
        float l = 0.0f, r = 0.0f;
        for (int v = 0; v < count; ++v) {
            float s = nextOscillator(osc[v]);
            l += s * gl[v];
            r += s * gr[v];
        }
        float g = level * velocity * 0.09f;
        level += levelStep;
        out.left[i] = processSvf(fl, l).low * g;
        out.right[i] = processSvf(fr, r).low * g;
    }
}

void renderArp(StereoBuffer& out, int midi, double gate, float velocity, double cutoff, float pan) {
    const Envelope env{0.002, 0.12, 0.35, 0.07};
    const double length = envelopeLength(env, gate);
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    const double f = midiFrequency(midi);
    Oscillator a = makeOscillator(Wave::Saw, f * 1.0035, 0.0);
    Oscillator b = makeOscillator(Wave::Square, f * 0.9965, 0.3);
    Svf filter;
    const float gl = panLeft(pan), gr = panRight(pan);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        if (i % 16 == 0) setSvf(filter, cutoff * (1.0 + 5.0 * std::exp(-t / 0.05)), 0.5);
        float s = 0.6f * nextOscillator(a) + 0.4f * nextOscillator(b);
        float x = processSvf(filter, s).low * static_cast<float>(envelopeLevel(env, t, gate)) *
                  velocity * 0.22f;
        out.left[i] = x * gl;
        out.right[i] = x * gr;
    }
}

void renderLead(StereoBuffer& out, int midi, double gate, float velocity, double cutoff) {
    const Envelope env{0.008, 0.35, 0.7, 0.09};
    const double length = envelopeLength(env, gate);
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    const double f = midiFrequency(midi);
    Oscillator a = makeOscillator(Wave::Saw, f * 1.004, 0.0);
    Oscillator b = makeOscillator(Wave::Saw, f * 0.996, 0.37);
    Oscillator c = makeOscillator(Wave::Square, f, 0.11);
    const double ia = a.increment, ib = b.increment, ic = c.increment;
    Svf filter;
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        if (i % 16 == 0) {
            setSvf(filter, cutoff * (1.0 + 2.0 * std::exp(-t / 0.08)), 0.25);
            // A fifth of a semitone of vibrato at 5.2 Hz, faded in after 0.2 s.
            double depth = 0.2 * std::clamp((t - 0.2) / 0.3, 0.0, 1.0);
            double bend = std::pow(2.0, depth * std::sin(twoPi * 5.2 * t) / 12.0);
            a.increment = ia * bend;
            b.increment = ib * bend;
            c.increment = ic * bend;
        }
        float s = 0.4f * nextOscillator(a) + 0.4f * nextOscillator(b) + 0.25f * nextOscillator(c);
        float x = processSvf(filter, s).low * static_cast<float>(envelopeLevel(env, t, gate)) * velocity * 0.3f;
        out.left[i] = x;
        out.right[i] = x;
    }
}

void renderRiser(StereoBuffer& out, double length, float level, uint32_t seed) {
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise nl = makeNoise(seed), nr = makeNoise(seed ^ 0x3c3c3c3cu);
    Svf fl, fr;
    // Tables chosen for the top of the climb, so no partial folds over at the end.
    Oscillator up1 = makeOscillator(Wave::Saw, midiFrequency(74.2), 0.0);
    Oscillator up2 = makeOscillator(Wave::Saw, midiFrequency(74.2), 0.5);
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        double x = t / length;  // 0..1 through the rise
        if (i % 32 == 0) {
            double fc = 220.0 * std::pow(40.0, x);
            setSvf(fl, fc, 0.45 + 0.3 * x);
            setSvf(fr, fc * 1.07, 0.45 + 0.3 * x);
            // The tone climbs two octaves under the noise.
            double pitch = midiFrequency(50.0 + 24.0 * x);
            up1.increment = pitch / sampleRate;
            up2.increment = pitch * 1.006 / sampleRate;
        }
        float amp = static_cast<float>(x * x) * level * endFade(t, length, 0.02);
        float tone = 0.12f * (nextOscillator(up1) + nextOscillator(up2));
        out.left[i] = (processSvf(fl, nextNoise(nl)).band + tone) * amp;
        out.right[i] = (processSvf(fr, nextNoise(nr)).band + tone) * amp;
    }
}

void renderSwell(StereoBuffer& out, double length, float level, uint32_t seed) {
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise nl = makeNoise(seed), nr = makeNoise(seed ^ 0x0f0f0f0fu);
    Svf fl, fr;
    setSvf(fl, 5200.0, 0.3);
    setSvf(fr, 5600.0, 0.3);
    for (int64_t i = 0; i < frames; ++i) {
        double x = static_cast<double>(i) / static_cast<double>(frames);  // 0..1 through the swell
        // A decaying cymbal played backwards: an exponential rise to the end.
        float amp = static_cast<float>(std::exp(-(1.0 - x) * length / 0.35)) * level * 0.5f;
        out.left[i] = processSvf(fl, nextNoise(nl)).high * amp;
        out.right[i] = processSvf(fr, nextNoise(nr)).high * amp;
    }
}

void renderImpact(StereoBuffer& out, float level, uint32_t seed) {
    const double length = 4.5;
    const int64_t frames = framesFor(length);
    resetStereoBuffer(out, frames);
    Noise nl = makeNoise(seed), nr = makeNoise(seed ^ 0x77777777u);
    Svf fl, fr;
    double phase = 0.0;
    for (int64_t i = 0; i < frames; ++i) {
        double t = i / sampleRate;
        if (i % 16 == 0) {
            double fc = 180.0 + 9000.0 * std::exp(-t / 0.22);
            setSvf(fl, fc, 0.2);
            setSvf(fr, fc * 0.93, 0.2);
        }
        phase += (30.0 + 75.0 * std::exp(-t / 0.11)) / sampleRate;
        float boom = static_cast<float>(std::tanh(1.4 * std::sin(twoPi * phase)) * std::exp(-t / 0.45));
        float wash = static_cast<float>(std::exp(-t / 0.45)) * 0.55f;
        float g = level * endFade(t, length, 0.3);
        out.left[i] = (boom + processSvf(fl, nextNoise(nl)).low * wash) * g;
        out.right[i] = (boom + processSvf(fr, nextNoise(nr)).low * wash) * g;
    }
}

void addPingPongDelay(const StereoBuffer& send, StereoBuffer& out, int64_t from, int64_t to,
                      const DelaySettings& settings) {
    const int64_t d = std::max<int64_t>(1, static_cast<int64_t>(std::llround(settings.time * sampleRate)));
    std::vector<float> lineL(static_cast<size_t>(d), 0.0f), lineR(static_cast<size_t>(d), 0.0f);
    float lowL = 0.0f, lowR = 0.0f;
    const float keep = settings.damping, pass = 1.0f - settings.damping;
    int64_t idx = 0;
    for (int64_t n = from; n < to; ++n) {
        float yl = lineL[idx], yr = lineR[idx];
        lowL = pass * yl + keep * lowL;
        lowR = pass * yr + keep * lowR;
        // The send enters on the left and each repeat crosses to the other side.
        lineL[idx] = 0.5f * (send.left[n] + send.right[n]) + settings.feedback * lowR;
        lineR[idx] = settings.feedback * lowL;
        out.left[n] += settings.wet * yl;
        out.right[n] += settings.wet * yr;
        if (++idx == d) idx = 0;
    }
}

void addReverbChannel(const StereoBuffer& send, std::vector<float>& out, int channel, int64_t from,
                      int64_t to, const ReverbSettings& settings) {
    static const int combs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static const int allpasses[4] = {556, 441, 341, 225};
    const int spread = channel == 0 ? 0 : 23;  // decorrelates the two sides
    std::vector<float> comb[8], allpass[4];
    int combIdx[8] = {}, allIdx[4] = {};
    float combLow[8] = {};
    for (int c = 0; c < 8; ++c) comb[c].assign(static_cast<size_t>(combs[c] + spread), 0.0f);
    for (int a = 0; a < 4; ++a) allpass[a].assign(static_cast<size_t>(allpasses[a] + spread), 0.0f);
    const float feedback = settings.roomSize * 0.28f + 0.7f;
    const float damp = settings.damping * 0.4f;
    for (int64_t n = from; n < to; ++n) {
        float input = (send.left[n] + send.right[n]) * 0.015f;
        float sum = 0.0f;
        for (int c = 0; c < 8; ++c) {
            float y = comb[c][combIdx[c]];
            combLow[c] = y * (1.0f - damp) + combLow[c] * damp;
            comb[c][combIdx[c]] = input + combLow[c] * feedback;
            if (++combIdx[c] == static_cast<int>(comb[c].size())) combIdx[c] = 0;
            sum += y;
        }
        for (int a = 0; a < 4; ++a) {
            float b = allpass[a][allIdx[a]];
            allpass[a][allIdx[a]] = sum + b * 0.5f;
            sum = b - sum;
            if (++allIdx[a] == static_cast<int>(allpass[a].size())) allIdx[a] = 0;
        }
        out[n] += settings.wet * sum;
    }
}

float truePeak(const std::vector<float>& samples) {
    std::vector<float> peaks(samples.size(), 0.0f);
    addInterSamplePeaks(samples, peaks);
    float peak = 0.0f;
    for (float p : peaks) peak = std::max(peak, p);
    return peak;
}

void applyLimiter(StereoBuffer& buffer, const LimiterSettings& settings) {
    const int64_t n = stereoFrames(buffer);
    if (n == 0) return;
    std::vector<float> peaks(static_cast<size_t>(n), 0.0f);
    addInterSamplePeaks(buffer.left, peaks);
    addInterSamplePeaks(buffer.right, peaks);
    const float ceiling = static_cast<float>(std::pow(10.0, settings.ceiling / 20.0));
    const int64_t w = std::max<int64_t>(1, static_cast<int64_t>(settings.lookahead * sampleRate));
    // The gain each frame may have so that no peak within the next w frames
    // passes the ceiling (sliding minimum over the look-ahead window).
    std::vector<float> gain(static_cast<size_t>(n));
    std::deque<int64_t> window;
    auto required = [&](int64_t i) { return peaks[i] > ceiling ? ceiling / peaks[i] : 1.0f; };
    for (int64_t i = n - 1; i >= 0; --i) {
        float r = required(i);
        while (!window.empty() && required(window.back()) >= r) window.pop_back();
        window.push_back(i);
        while (window.front() > i + w - 1) window.pop_front();
        gain[i] = required(window.front());
    }
    // Recover slowly after a reduction, never above what the window allows.
    const double recover = 1.0 - std::exp(-1.0 / (settings.release * sampleRate));
    double g = 1.0;
    for (int64_t i = 0; i < n; ++i) {
        g = std::min<double>(gain[i], g + (1.0 - g) * recover);
        gain[i] = static_cast<float>(g);
    }
    // A moving average over the window turns each step into a ramp that is
    // complete by the time the peak arrives: every value averaged at frame i
    // already allows for the peak at i.
    // Frames before the start count as unity gain.
    double sum = static_cast<double>(w);
    std::vector<float> smooth(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        sum += gain[i] - (i >= w ? gain[i - w] : 1.0);
        smooth[i] = static_cast<float>(sum / static_cast<double>(w));
    }
    for (int64_t i = 0; i < n; ++i) {
        buffer.left[i] = std::clamp(buffer.left[i] * smooth[i], -ceiling, ceiling);
        buffer.right[i] = std::clamp(buffer.right[i] * smooth[i], -ceiling, ceiling);
    }
}

void tidyLowEnd(StereoBuffer& buffer, int64_t from, int64_t to, double lowCut, double monoBelow) {
    Biquad left = highPass(lowCut, 0.7071), right = highPass(lowCut, 0.7071);
    // Fourth-order Butterworth: two sections with Q 0.541 and 1.307.
    Biquad side1 = highPass(monoBelow, 0.5412), side2 = highPass(monoBelow, 1.3066);
    for (int64_t i = from; i < to; ++i) {
        double l = processBiquad(left, buffer.left[i]), r = processBiquad(right, buffer.right[i]);
        double mid = 0.5 * (l + r);
        double side = processBiquad(side2, processBiquad(side1, 0.5 * (l - r)));
        buffer.left[i] = static_cast<float>(mid + side);
        buffer.right[i] = static_cast<float>(mid - side);
    }
}
