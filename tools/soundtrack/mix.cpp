#include "mix.h"

#include "loudness.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Long decays in the reverb and filters would otherwise sink into denormals
// and slow the render by orders of magnitude. Flush-to-zero only changes
// values far below anything audible.
void flushDenormals() {
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() | 0x8040);  // FTZ and DAZ
#endif
}

constexpr double stopFade = 0.0015;   // seconds: the mix reaches silence at the stop
constexpr double duckRecover = 0.26;  // seconds for the pump to come back up
constexpr double duckAttack = 0.004;  // seconds to reach full depth after a kick
constexpr float returnDuck = 0.5f;    // 0..1, ducking of the reverb and delay returns
constexpr double lowCut = 22.0;       // Hz: the master's high-pass
constexpr double monoBelow = 200.0;   // Hz: the side signal's high-pass

struct Buses {
    StereoBuffer dry, reverb, delay;
};

struct Placement {
    int64_t start;     // frame of the onset
    int64_t cut;       // frames from here on are dropped
    float gain;
    float reverbSend;  // 0..1
    float delaySend;   // 0..1
    float duckDepth;   // 0..1, how far the kick pushes this voice down
};

void resetBuses(Buses& b, int64_t frames) {
    resetStereoBuffer(b.dry, frames);
    resetStereoBuffer(b.reverb, frames);
    resetStereoBuffer(b.delay, frames);
}

void mixVoice(Buses& buses, const StereoBuffer& voice, const Placement& p, const std::vector<float>& duck) {
    const int64_t end = std::min({p.start + stereoFrames(voice), p.cut, stereoFrames(buses.dry)});
    for (int64_t n = std::max<int64_t>(p.start, 0); n < end; ++n) {
        const int64_t i = n - p.start;
        const float g = p.gain * (1.0f - p.duckDepth * duck[n]);
        const float l = voice.left[i] * g, r = voice.right[i] * g;
        buses.dry.left[n] += l;
        buses.dry.right[n] += r;
        if (p.reverbSend > 0.0f) {
            buses.reverb.left[n] += l * p.reverbSend;
            buses.reverb.right[n] += r * p.reverbSend;
        }
        if (p.delaySend > 0.0f) {
            buses.delay.left[n] += l * p.delaySend;
            buses.delay.right[n] += r * p.delaySend;
        }
    }
}

// 0 at rest, 1 right after a kick, back to 0 over duckRecover.
std::vector<float> duckCurve(const Score& score, int64_t frames) {
    std::vector<float> duck(static_cast<size_t>(frames), 0.0f);
    const int64_t attack = frameAt(duckAttack), recover = frameAt(duckRecover);
    for (const Hit& k : score.kicks) {
        const int64_t start = frameAt(k.time);
        for (int64_t m = 0; m < attack + recover && start + m < frames; ++m) {
            float v;
            if (m < attack) {
                v = static_cast<float>(m) / static_cast<float>(attack);
            } else {
                float x = 1.0f - static_cast<float>(m - attack) / static_cast<float>(recover);
                v = x * x;
            }
            v *= k.velocity;
            float& d = duck[static_cast<size_t>(start + m)];
            d = std::max(d, v);
        }
    }
    return duck;
}

// The frame from which a voice that starts at time t is dropped: the stop for
// everything that starts before it, the end of the mix for the rest.
auto voiceCut(const Score& score, int64_t frames) {
    const int64_t stopFrame = frameAt(score.stop);
    return [&score, stopFrame, frames](double t) {
        return score.stop > 0.0 && t < score.stop ? stopFrame : frames;
    };
}

// Percussion, bass and effects.
void renderRhythm(const Score& score, Buses& buses, const std::vector<float>& duck) {
    flushDenormals();
    const auto cutFor = voiceCut(score, stereoFrames(buses.dry));
    StereoBuffer voice;
    uint32_t seed = 1;
    for (const Hit& h : score.kicks) {
        renderKick(voice, h.velocity);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 0.88f, 0.0f, 0.0f, 0.0f}, duck);
    }
    for (const Hit& h : score.claps) {
        renderClap(voice, h.velocity, ++seed);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 1.1f, 0.3f, 0.0f, 0.0f}, duck);
    }
    for (const Hit& h : score.snares) {
        renderSnare(voice, h.velocity, ++seed);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 0.7f, 0.3f, 0.0f, 0.0f}, duck);
    }
    for (const Hit& h : score.hats) {
        renderHat(voice, h.velocity, false, ++seed);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 0.7f, 0.12f, 0.0f, 0.0f}, duck);
    }
    for (const Hit& h : score.openHats) {
        renderHat(voice, h.velocity, true, ++seed);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 0.4f, 0.15f, 0.0f, 0.0f}, duck);
    }
    for (const Note& n : score.bass) {
        renderBass(voice, n.midi, n.length, n.velocity);
        mixVoice(buses, voice, {frameAt(n.time), cutFor(n.time), 0.72f, 0.0f, 0.0f, 0.75f}, duck);
    }
    for (const Sweep& s : score.risers) {
        renderRiser(voice, s.length, s.level, ++seed);
        mixVoice(buses, voice, {frameAt(s.time), cutFor(s.time), 0.6f, 0.5f, 0.0f, 0.0f}, duck);
    }
    for (const Hit& h : score.impacts) {
        renderImpact(voice, h.velocity, ++seed);
        mixVoice(buses, voice, {frameAt(h.time), cutFor(h.time), 0.9f, 0.7f, 0.0f, 0.0f}, duck);
    }
    for (const Sweep& s : score.swells) {
        renderSwell(voice, s.length, s.level, ++seed);
        mixVoice(buses, voice, {frameAt(s.time), cutFor(s.time), 0.5f, 0.2f, 0.0f, 0.0f}, duck);
    }
}

// Pads and arpeggio.
void renderHarmony(const Score& score, Buses& buses, const std::vector<float>& duck) {
    flushDenormals();
    const auto cutFor = voiceCut(score, stereoFrames(buses.dry));
    StereoBuffer voice;
    uint32_t seed = 1000;
    for (const PadChord& n : score.pads) {
        renderPad(voice, n.midi, n.length, n.velocity, score.padCutoff, n.time, 0.35, ++seed);
        mixVoice(buses, voice, {frameAt(n.time), cutFor(n.time), 0.8f, 0.45f, 0.0f, 0.55f}, duck);
    }
    int step = 0;
    for (const Note& n : score.arp) {
        // Alternate the notes a little left and right of centre.
        float pan = (step++ % 2 == 0) ? -0.25f : 0.25f;
        renderArp(voice, n.midi, n.length, n.velocity, curveValue(score.arpCutoff, n.time), pan);
        mixVoice(buses, voice, {frameAt(n.time), cutFor(n.time), 1.3f, 0.3f, 0.45f, 0.35f}, duck);
    }
    for (const Note& n : score.lead) {
        renderLead(voice, n.midi, n.length, n.velocity, curveValue(score.leadCutoff, n.time));
        mixVoice(buses, voice, {frameAt(n.time), cutFor(n.time), 1.0f, 0.35f, 0.3f, 0.2f}, duck);
    }
}

void addBuses(Buses& into, const Buses& from) {
    auto add = [](StereoBuffer& a, const StereoBuffer& b) {
        for (size_t i = 0; i < a.left.size(); ++i) {
            a.left[i] += b.left[i];
            a.right[i] += b.right[i];
        }
    };
    add(into.dry, from.dry);
    add(into.reverb, from.reverb);
    add(into.delay, from.delay);
}

}  // namespace

int64_t frameAt(double seconds) { return static_cast<int64_t>(std::llround(seconds * sampleRate)); }

StereoBuffer renderScore(const Score& score, const MixSettings& settings) {
    flushDenormals();
    const int64_t frames = frameAt(score.length);
    const std::vector<float> duck = duckCurve(score, frames);

    Buses rhythm, harmony;
    resetBuses(rhythm, frames);
    resetBuses(harmony, frames);
    // Each thread writes only its own buses; the sum below is in a fixed
    // order, so the result does not depend on scheduling.
    std::thread worker([&] { renderHarmony(score, harmony, duck); });
    renderRhythm(score, rhythm, duck);
    worker.join();
    addBuses(rhythm, harmony);
    // The harmony's dry bus is free now; it collects the effect returns.
    StereoBuffer& wet = harmony.dry;
    resetStereoBuffer(wet, frames);
    harmony.reverb = StereoBuffer{};
    harmony.delay = StereoBuffer{};

    // Effects restart from silence at the stop, so no tail crosses it.
    const int64_t stopFrame = score.stop > 0.0 ? std::min(frameAt(score.stop), frames) : frames;
    const ReverbSettings reverb{0.86f, 0.35f, 2.4f};
    const DelaySettings delay{0.375, 0.42f, 0.35f, 0.6f};
    std::thread right([&] {
        flushDenormals();
        addReverbChannel(rhythm.reverb, wet.right, 1, 0, stopFrame, reverb);
        addReverbChannel(rhythm.reverb, wet.right, 1, stopFrame, frames, reverb);
    });
    addReverbChannel(rhythm.reverb, wet.left, 0, 0, stopFrame, reverb);
    addReverbChannel(rhythm.reverb, wet.left, 0, stopFrame, frames, reverb);
    right.join();
    addPingPongDelay(rhythm.delay, wet, 0, stopFrame, delay);
    addPingPongDelay(rhythm.delay, wet, stopFrame, frames, delay);

    // The returns pump with the kick too; a steady tail under ducked pads
    // would fill the gaps the ducking opens.
    StereoBuffer& out = rhythm.dry;
    for (int64_t n = 0; n < frames; ++n) {
        const float g = 1.0f - returnDuck * duck[n];
        out.left[n] += wet.left[n] * g;
        out.right[n] += wet.right[n] * g;
    }

    // No rumble under the kick's fundamental, and lows that are the same on
    // both sides; the filters too start afresh at the stop.
    tidyLowEnd(out, 0, stopFrame, lowCut, monoBelow);
    tidyLowEnd(out, stopFrame, frames, lowCut, monoBelow);
    // The hard stop: a ramp of a millisecond and a half down to silence.
    const int64_t fade = frameAt(stopFade);
    for (int64_t n = std::max<int64_t>(0, stopFrame - fade); n < stopFrame; ++n) {
        float g = static_cast<float>(stopFrame - n) / static_cast<float>(fade);
        out.left[n] *= g;
        out.right[n] *= g;
    }
    const double gain = settings.loudness != 0.0 ? 1.0 : settings.gain;
    for (int64_t n = 0; n < frames; ++n) {
        const double t = n / sampleRate;
        const double ride = score.ride.empty() ? 1.0 : curveValue(score.ride, t);  // no ride: every section at 1
        float g = static_cast<float>(gain * curveValue(score.master, t) * ride);
        out.left[n] *= g;
        out.right[n] *= g;
    }
    if (settings.loudness != 0.0)
        normaliseLoudness(out, LoudnessTarget{settings.loudness, settings.limiter});
    else
        applyLimiter(out, settings.limiter);
    return std::move(out);
}

StereoBuffer renderLeadStem(const Score& score) {
    flushDenormals();
    const int64_t frames = frameAt(score.length);
    Buses buses;
    resetBuses(buses, frames);
    const std::vector<float> noDuck(static_cast<size_t>(frames), 0.0f);
    const auto cutFor = voiceCut(score, frames);
    StereoBuffer voice;
    for (const Note& n : score.lead) {
        renderLead(voice, n.midi, n.length, n.velocity, curveValue(score.leadCutoff, n.time));
        mixVoice(buses, voice, {frameAt(n.time), cutFor(n.time), 1.0f, 0.0f, 0.0f, 0.0f}, noDuck);
    }
    return std::move(buses.dry);
}

MixSettings masterMixSettings() {
    MixSettings settings;
    settings.loudness = -14.0;
    return settings;
}

uint64_t hashPcm(const StereoBuffer& buffer) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](float v) {
        unsigned char bytes[sizeof(float)];
        std::memcpy(bytes, &v, sizeof v);
        for (unsigned char b : bytes) {
            h ^= b;
            h *= 1099511628211ull;
        }
    };
    for (size_t i = 0; i < buffer.left.size(); ++i) {
        mix(buffer.left[i]);
        mix(buffer.right[i]);
    }
    return h;
}
