// The soundtrack: the file the build rendered (format, loudness, structure,
// the event file against the audio), a fresh render against it, the lead's
// stem, and the synthesiser's oscillator, limiter, low end, score and encoder
// on their own.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

#include "program_run.h"

#include "encode.h"
#include "loudness.h"
#include "mix.h"
#include "score.h"
#include "synth.h"

namespace {

const std::string sourceDir = QUILLON_SOURCE_DIR;
const std::string mp3Path = sourceDir + "/data/drumveil.mp3";
const std::string eventsPath = sourceDir + "/sync/events.txt";
const std::string toolPath = std::string(QUILLON_BINARY_DIR) + "/tools/soundtrack/quillon-soundtrack";

constexpr double cutTime = 79.0, buildTime = 115.18, dropTime = 135.18, stopTime = 179.3125;  // seconds

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<float> mono;  // (left + right) / 2
    float peak = 0.0f;        // largest sample magnitude on either side
};

// Decodes with libmpg123's default flags, as the player does, to 32-bit float.
Decoded decodeMp3(const std::string& path) {
    Decoded d;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (!mh) return d;
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        int encoding = 0;
        mpg123_getformat(mh, &d.rate, &d.channels, &encoding);
        std::vector<float> chunk(16384);
        size_t done = 0;
        int rc;
        do {
            rc = mpg123_read(mh, reinterpret_cast<unsigned char*>(chunk.data()), chunk.size() * sizeof(float), &done);
            size_t count = done / sizeof(float);
            for (size_t i = 0; i + 1 < count; i += 2) {
                d.mono.push_back(0.5f * (chunk[i] + chunk[i + 1]));
                d.peak = std::max({d.peak, std::abs(chunk[i]), std::abs(chunk[i + 1])});
            }
        } while (rc == MPG123_OK);
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return d;
}

const Decoded& rendered() {
    static const Decoded d = decodeMp3(mp3Path);
    return d;
}

int64_t frameOf(double seconds) { return static_cast<int64_t>(std::llround(seconds * 44100.0)); }

double rmsOf(const std::vector<float>& x, double from, double to) {
    int64_t a = std::max<int64_t>(0, frameOf(from)), b = std::min<int64_t>(static_cast<int64_t>(x.size()), frameOf(to));
    double sum = 0.0;
    for (int64_t i = a; i < b; ++i) sum += static_cast<double>(x[i]) * x[i];
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

double decibels(double ratio) { return 20.0 * std::log10(std::max(ratio, 1e-12)); }

// The time in [from, to) where the energy of 10 ms windows rises most against
// the 40 ms before, and that rise in dB.
std::pair<double, double> strongestOnset(const std::vector<float>& x, double from, double to) {
    double best = -1e9, at = from;
    for (double t = from; t < to; t += 0.0025) {
        double before = rmsOf(x, t - 0.04, t), after = rmsOf(x, t, t + 0.01);
        double rise = decibels(after / std::max(before, 1e-9));
        if (rise > best) {
            best = rise;
            at = t;
        }
    }
    return {at, best};
}

struct Event {
    std::string kind;
    double time = 0.0;  // seconds
    std::vector<std::string> args;
};

std::vector<Event> parseEvents(const std::string& text) {
    std::vector<Event> events;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Event e;
        words >> e.kind >> e.time;
        std::string w;
        while (words >> w) e.args.push_back(w);
        events.push_back(e);
    }
    return events;
}

std::vector<double> timesOf(const std::vector<Event>& events, const std::string& kind) {
    std::vector<double> times;
    for (const Event& e : events)
        if (e.kind == kind) times.push_back(e.time);
    return times;
}

bool hasEventAt(const std::vector<Event>& events, const std::string& kind, double t) {
    return std::any_of(events.begin(), events.end(),
                       [&](const Event& e) { return e.kind == kind && std::abs(e.time - t) < 1e-6; });
}

// In-place radix-2 FFT; the size must be a power of two.
void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> w = std::polar(1.0, -2.0 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1.0;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Energy outside the harmonics of `f` relative to the energy on them, in dB:
// for a band-limited tone only window leakage remains.
double inharmonicDb(const std::vector<float>& x, double f) {
    const size_t n = x.size();
    std::vector<std::complex<double>> bins(n);
    for (size_t i = 0; i < n; ++i) {
        double u = static_cast<double>(i) / static_cast<double>(n - 1);  // Blackman-Harris window
        double w = 0.35875 - 0.48829 * std::cos(2 * M_PI * u) + 0.14128 * std::cos(4 * M_PI * u) -
                   0.01168 * std::cos(6 * M_PI * u);
        bins[i] = x[i] * w;
    }
    fft(bins);
    const double binHz = 44100.0 / static_cast<double>(n);
    double on = 0.0, off = 0.0;
    for (size_t b = 1; b < n / 2; ++b) {
        double hz = static_cast<double>(b) * binHz;
        double nearest = std::round(hz / f) * f;
        double p = std::norm(bins[b]);
        if (nearest > 0.0 && std::abs(hz - nearest) <= 6.0 * binHz) on += p;
        else off += p;
    }
    return 10.0 * std::log10(std::max(off, 1e-30) / on);
}

// Everything a stretch of the score plays, as (voice, milliseconds from the
// stretch's start, pitch), sorted.
std::vector<std::tuple<int, long, int>> contentOf(const Score& score, double from, double to) {
    std::vector<std::tuple<int, long, int>> content;
    auto add = [&](int voice, double time, int midi) {
        if (time >= from - 1e-9 && time < to - 1e-9) content.emplace_back(voice, std::lround((time - from) * 1000.0), midi);
    };
    int voice = 0;
    for (const auto* hits : {&score.kicks, &score.claps, &score.snares, &score.hats, &score.openHats}) {
        for (const Hit& h : *hits) add(voice, h.time, 0);
        ++voice;
    }
    for (const auto* notes : {&score.bass, &score.arp, &score.lead}) {
        for (const Note& n : *notes) add(voice, n.time, n.midi);
        ++voice;
    }
    for (const PadChord& p : score.pads) add(voice, p.time, p.midi[0]);
    std::sort(content.begin(), content.end());
    return content;
}

}  // namespace

TEST(SoundtrackFile, DecodesAsLongStereoAt44100WithoutClipping) {
    const Decoded& d = rendered();
    ASSERT_FALSE(d.mono.empty()) << "cannot decode " << mp3Path;
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    EXPECT_GE(static_cast<double>(d.mono.size()) / 44100.0, 210.0);
    EXPECT_LT(d.peak, 0.999f) << "clipped samples in the decoded file";
}

TEST(SoundtrackFile, LoudnessAndTruePeakMeetTheTargets) {
    const Ran ffmpeg = runProgram({"ffmpeg", {"-hide_banner", "-nostats", "-i", mp3Path, "-filter_complex",
                                              "ebur128=peak=true:framelog=verbose", "-f", "null", "-"}});
    const std::string log = ffmpeg.out + ffmpeg.err;
    // The summary comes last: "I: <x> LUFS" and "Peak: <x> dBFS".
    size_t summary = log.rfind("Summary:");
    ASSERT_NE(summary, std::string::npos) << "ffmpeg gave no loudness summary:\n" << log.substr(0, 2000);
    std::string tail = log.substr(summary);
    double integrated = 0.0, peak = 0.0;
    ASSERT_EQ(std::sscanf(tail.c_str() + tail.find("I:"), "I: %lf", &integrated), 1);
    ASSERT_EQ(std::sscanf(tail.c_str() + tail.find("Peak:"), "Peak: %lf", &peak), 1);
    // The tool normalises to -14 LUFS; MP3 encoding moves it by a few tenths at most.
    EXPECT_NEAR(integrated, -14.0, 0.5);
    EXPECT_LE(peak, -1.0) << "true peak in dBTP";
}

TEST(SoundtrackStructure, HitsLandOnTheCutTheBuildAndTheDrop) {
    const Decoded& d = rendered();
    ASSERT_FALSE(d.mono.empty());
    for (double t : {cutTime, buildTime, dropTime}) {
        auto [at, rise] = strongestOnset(d.mono, t - 0.25, t + 0.25);
        EXPECT_NEAR(at, t, 0.05) << "strongest onset near " << t;
        EXPECT_GE(rise, 6.0) << "onset near " << t << " rises by only " << rise << " dB";
    }
}

TEST(SoundtrackStructure, StopsHardAndEndsInSilence) {
    const Decoded& d = rendered();
    ASSERT_FALSE(d.mono.empty());
    double before = rmsOf(d.mono, stopTime - 0.25, stopTime);
    double after = rmsOf(d.mono, stopTime + 0.1, stopTime + 0.6);
    EXPECT_LE(decibels(after / before), -20.0);

    float tail = 0.0f;
    for (int64_t i = frameOf(207.0); i < frameOf(210.0) && i < static_cast<int64_t>(d.mono.size()); ++i)
        tail = std::max(tail, std::abs(d.mono[i]));
    EXPECT_LT(decibels(tail), -60.0);
}

TEST(SoundtrackEvents, FileIsSortedOnItsGridsAndCarriesTheFixedTimes) {
    const std::string text = readFile(eventsPath);
    ASSERT_FALSE(text.empty()) << "missing " << eventsPath;
    const std::vector<Event> events = parseEvents(text);
    ASSERT_FALSE(events.empty());
    ASSERT_EQ(events.front().kind, "tempo");
    EXPECT_EQ(events.front().time, 0.0);

    double last = -1.0, gridStart = 0.0, beat = 0.5;
    for (const Event& e : events) {
        EXPECT_GE(e.time, last) << e.kind << " " << e.time << " out of order";
        last = e.time;
        if (e.kind == "tempo") {
            ASSERT_EQ(e.args.size(), 2u);
            double bpm = std::stod(e.args[0]);
            EXPECT_GT(bpm, 110.0);
            EXPECT_LT(bpm, 130.0);
            EXPECT_GT(std::stoi(e.args[1]), 0);
            gridStart = e.time;
            beat = 60.0 / bpm;
        } else if (e.kind == "section") {
            ASSERT_EQ(e.args.size(), 1u);
        } else if (e.kind == "kick" || e.kind == "snare") {
            // Hits sit on sixteenths of the grid in force.
            double steps = (e.time - gridStart) / (beat / 4.0);
            EXPECT_NEAR(steps, std::round(steps), 1e-3) << e.kind << " " << e.time << " off the grid";
        } else {
            EXPECT_TRUE(e.kind == "impact" || e.kind == "stop") << "unknown event " << e.kind;
        }
    }
    EXPECT_TRUE(hasEventAt(events, "impact", cutTime));
    EXPECT_TRUE(hasEventAt(events, "stop", stopTime));
    for (double t : {0.0, cutTime, buildTime, dropTime, stopTime}) EXPECT_TRUE(hasEventAt(events, "section", t)) << t;
    for (double t : {cutTime, buildTime, dropTime}) EXPECT_TRUE(hasEventAt(events, "kick", t)) << t;
    for (double t : timesOf(events, "kick")) EXPECT_TRUE(t < stopTime) << "kick after the stop at " << t;
    EXPECT_GT(timesOf(events, "kick").size(), 200u);
}

TEST(SoundtrackEvents, KicksMatchTheOnsetsInTheAudio) {
    const Decoded& d = rendered();
    ASSERT_FALSE(d.mono.empty());
    const std::vector<double> kicks = timesOf(parseEvents(readFile(eventsPath)), "kick");
    ASSERT_FALSE(kicks.empty());
    // The kick's first 60 ms are a fast downward chirp; correlating the mix
    // against it finds where each kick really starts, whatever plays beside it.
    StereoBuffer kick;
    renderKick(kick, 1.0f);
    const std::vector<float> shape(kick.left.begin(), kick.left.begin() + frameOf(0.06));
    double shapeEnergy = 0.0;
    for (float v : shape) shapeEnergy += static_cast<double>(v) * v;
    const int64_t search = frameOf(0.02);
    int misses = 0;
    double weakest = 1.0;
    for (double k : kicks) {
        const int64_t expected = frameOf(k);
        double best = -1.0;
        int64_t bestLag = 0;
        for (int64_t lag = -search; lag <= search; ++lag) {
            const int64_t at = expected + lag;
            if (at < 0 || at + static_cast<int64_t>(shape.size()) > static_cast<int64_t>(d.mono.size())) continue;
            double dot = 0.0, energy = 0.0;
            for (size_t i = 0; i < shape.size(); ++i) {
                dot += static_cast<double>(d.mono[at + i]) * shape[i];
                energy += static_cast<double>(d.mono[at + i]) * d.mono[at + i];
            }
            double r = dot / std::sqrt(std::max(energy * shapeEnergy, 1e-30));
            if (r > best) {
                best = r;
                bestLag = lag;
            }
        }
        weakest = std::min(weakest, best);
        bool ok = best > 0.5 && std::abs(static_cast<double>(bestLag)) <= 0.005 * 44100.0;
        if (!ok && ++misses <= 5)
            ADD_FAILURE() << "kick " << k << ": found " << bestLag / 44100.0 * 1000.0 << " ms away, correlation " << best;
    }
    EXPECT_EQ(misses, 0) << "of " << kicks.size() << " kicks";
    RecordProperty("weakest_correlation", std::to_string(weakest));
}

TEST(SoundtrackDeterminism, FreshRenderMatchesTheBuildByteForByte) {
    const ScratchDir scratch("soundtrack");
    const std::string mp3 = scratch.dir / "drumveil.mp3", events = scratch.dir / "events.txt";
    const Ran ran = runProgram({toolPath, {mp3, events}});
    const std::string freshMp3 = readFile(mp3), freshEvents = readFile(events);
    ASSERT_FALSE(freshMp3.empty()) << ran.out << ran.err;
    // The event file carries the hash of the samples handed to the encoder.
    EXPECT_NE(freshEvents.find("# pcm fnv1a64 "), std::string::npos);
    EXPECT_EQ(freshEvents, readFile(eventsPath));
    EXPECT_TRUE(freshMp3 == readFile(mp3Path)) << "MP3 bytes differ between runs";
}

TEST(SoundtrackTool, RefusesBadArgumentsAndUnwritablePaths) {
    EXPECT_NE(runProgram({toolPath}).status, 0);
    const Ran ran = runProgram({toolPath, {"/proc/quillon/x.mp3", "/proc/quillon/events.txt"}});
    EXPECT_NE((ran.out + ran.err).find("cannot"), std::string::npos) << ran.out << ran.err;
    EXPECT_NE(ran.status, 0) << ran.out << ran.err;
}

TEST(SoundtrackTool, WritesTheLeadAloneAsAStem) {
    const ScratchDir scratch("stem");
    const std::string wav = scratch.dir / "lead.wav";
    const Ran lead = runProgram({toolPath, {"--stem", "lead", wav}});
    const std::string bytes = readFile(wav);
    const Ran refused = runProgram({toolPath, {"--stem", "drums", scratch.dir / "d.wav"}});
    EXPECT_NE(refused.status, 0) << refused.out << refused.err;
    ASSERT_GT(bytes.size(), 44u) << lead.out << lead.err;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    const size_t frames = (bytes.size() - 44) / 8;
    EXPECT_EQ(frames, static_cast<size_t>(frameOf(buildScore().length)));
    // Left channel of the float frames: nothing before the groove, the hook from its first bar.
    std::vector<float> left(frames);
    for (size_t i = 0; i < frames; ++i) std::memcpy(&left[i], bytes.data() + 44 + 8 * i, sizeof(float));
    EXPECT_EQ(rmsOf(left, 0.0, 39.9), 0.0);
    EXPECT_GT(rmsOf(left, 40.0, 42.0), 0.01);
}

TEST(Synth, SawStaysBandLimitedWhereANaiveSawAliases) {
    for (double f : {440.0, 1000.5, 3001.0, 7040.0}) {
        Oscillator osc = makeOscillator(Wave::Saw, f, 0.0);
        std::vector<float> band(16384), naive(16384);
        double phase = 0.0;
        for (size_t i = 0; i < band.size(); ++i) {
            band[i] = nextOscillator(osc);
            naive[i] = static_cast<float>(2.0 * phase - 1.0);
            phase += f / 44100.0;
            phase -= std::floor(phase);
        }
        EXPECT_LT(inharmonicDb(band, f), -70.0) << f << " Hz";
        EXPECT_GT(inharmonicDb(naive, f), -50.0) << f << " Hz";
    }
}

TEST(Synth, TruePeakSeesBetweenTheSamples) {
    // A quarter-rate sine sampled at 45 degrees never shows its crest.
    std::vector<float> x(4096);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(std::sin(M_PI / 2.0 * i + M_PI / 4.0));
    EXPECT_NEAR(*std::max_element(x.begin(), x.end()), 0.7071f, 1e-3f);
    EXPECT_NEAR(truePeak(x), 1.0f, 0.02f);
}

TEST(Synth, LimiterHoldsTheCeilingAndRecoversAfterABurst) {
    StereoBuffer b;
    resetStereoBuffer(b, 44100 * 2);
    for (int64_t i = 0; i < stereoFrames(b); ++i) {
        double t = i / 44100.0;
        double amp = (t >= 0.5 && t < 0.6) ? 3.0 : 0.1;  // a burst 30 dB over the rest
        b.left[i] = static_cast<float>(amp * std::sin(2 * M_PI * 997.0 * t));
        b.right[i] = static_cast<float>(amp * std::sin(2 * M_PI * 1409.0 * t));
    }
    const StereoBuffer original = b;
    applyLimiter(b, LimiterSettings{-1.0, 0.0025, 0.05});
    const float ceiling = static_cast<float>(std::pow(10.0, -1.0 / 20.0));
    EXPECT_LE(truePeak(b.left), ceiling * 1.003f);
    EXPECT_LE(truePeak(b.right), ceiling * 1.003f);
    // Untouched before the burst, back to unity well after it.
    for (double t : {0.2, 1.5}) {
        int64_t i = frameOf(t);
        EXPECT_NEAR(b.left[i], original.left[i], 1e-4f) << t;
    }
}

TEST(Synth, TidyLowEndMakesTheLowsMonoAndTakesOutTheOffset) {
    // What is left of a signal on one side only (the side signal) and of an offset on both.
    auto kept = [](double hz, double offset) {
        StereoBuffer b;
        resetStereoBuffer(b, 44100);
        for (int64_t i = 0; i < stereoFrames(b); ++i) {
            const float v = static_cast<float>(0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 44100.0));
            b.left[i] = static_cast<float>(offset) + v;
            b.right[i] = static_cast<float>(offset) - v;
        }
        tidyLowEnd(b, 0, stereoFrames(b), 22.0, 200.0);
        std::vector<float> side(b.left.size()), mid(b.left.size());
        for (size_t i = 0; i < side.size(); ++i) {
            side[i] = 0.5f * (b.left[i] - b.right[i]);
            mid[i] = 0.5f * (b.left[i] + b.right[i]);
        }
        return std::pair{decibels(rmsOf(side, 0.5, 1.0) / (0.5 / std::sqrt(2.0))), rmsOf(mid, 0.5, 1.0)};
    };
    EXPECT_LT(kept(60.0, 0.0).first, -20.0);
    EXPECT_LT(kept(120.0, 0.0).first, -10.0);
    EXPECT_NEAR(kept(1000.0, 0.0).first, 0.0, 0.5);
    EXPECT_LT(kept(1000.0, 0.25).second, 1e-4) << "the offset stays";
}

TEST(Score, SectionsTileAtTheFixedTimesAndNothingSoundsAfterTheStop) {
    const Score score = buildScore();
    ASSERT_FALSE(score.sections.empty());
    EXPECT_EQ(score.sections.front().start, 0.0);
    for (size_t i = 0; i + 1 < score.sections.size(); ++i)
        EXPECT_NEAR(sectionEnd(score.sections[i]), score.sections[i + 1].start, 1e-9) << score.sections[i].name;
    EXPECT_DOUBLE_EQ(score.stop, stopTime);
    EXPECT_GE(score.length, 210.0);
    // Between the stop and the outro nothing starts; drums never return.
    double outro = 0.0;
    for (const Section& s : score.sections)
        if (s.start > stopTime) outro = outro == 0.0 ? s.start : outro;
    ASSERT_GT(outro, stopTime);
    for (const auto* hits : {&score.kicks, &score.claps, &score.snares, &score.hats, &score.openHats})
        for (const Hit& h : *hits) EXPECT_LT(h.time, stopTime);
    for (const PadChord& p : score.pads) EXPECT_TRUE(p.time < stopTime || p.time >= outro) << p.time;
    for (const Note& n : score.bass) EXPECT_LE(n.time + n.length, stopTime + 1e-9) << n.time;
}

TEST(Score, EveryNodeHopOfTheHalfTimeFallsOnAKick) {
    // The second scene's camera hops from node to node at 80.5 + k seconds.
    const Score score = buildScore();
    for (double hop = 80.5; hop < buildTime; hop += 1.0) {
        bool onKick = std::any_of(score.kicks.begin(), score.kicks.end(),
                                  [&](const Hit& h) { return std::abs(h.time - hop) < 1e-9; });
        EXPECT_TRUE(onKick) << "no kick at " << hop << " s";
    }
}

TEST(Score, NoEightBarPhraseRepeatsUnchangedAndTheHookComesBack) {
    const Score score = buildScore();
    for (const Section& s : score.sections) {
        const double bar = s.beat * s.beatsPerBar;
        for (int b = 0; b + 16 <= s.bars; b += 8)
            EXPECT_NE(contentOf(score, s.start + b * bar, s.start + (b + 8) * bar),
                      contentOf(score, s.start + (b + 8) * bar, s.start + (b + 16) * bar))
                << s.name << ": bars " << b + 8 << "-" << b + 15 << " repeat the eight before";
    }
    // The lead keeps to D minor (with the leading tone C#), and its hook
    // A D F E, in any octave, sounds in at least three sections.
    const std::set<int> key = {2, 4, 5, 7, 9, 10, 0, 1};
    std::set<std::string> withHook;
    ASSERT_GE(score.lead.size(), 4u);
    for (size_t i = 0; i < score.lead.size(); ++i) {
        EXPECT_TRUE(key.count(score.lead[i].midi % 12)) << "lead note " << score.lead[i].midi << " at " << score.lead[i].time;
        if (i + 3 < score.lead.size() && score.lead[i].midi % 12 == 9 && score.lead[i + 1].midi % 12 == 2 &&
            score.lead[i + 2].midi % 12 == 5 && score.lead[i + 3].midi % 12 == 4)
            for (const Section& s : score.sections)
                if (score.lead[i].time >= s.start && score.lead[i].time < sectionEnd(s)) withHook.insert(s.name);
    }
    EXPECT_GE(withHook.size(), 3u);
}

TEST(SoundtrackEvents, GhostNotesStayOutOfTheEventFile) {
    Score score;
    score.snares = {{1.0, 0.3f}, {2.0, 0.9f}};
    score.claps = {{3.0, accentVelocity}};
    const std::string events = formatEvents(score, {});
    EXPECT_EQ(events.find("snare 1.000000"), std::string::npos) << events;
    EXPECT_NE(events.find("snare 2.000000"), std::string::npos) << events;
    EXPECT_NE(events.find("snare 3.000000"), std::string::npos) << events;
}

TEST(Loudness, NormalisingReachesTheTargetWithPeaksUnderTheCeiling) {
    // A quiet tone with one burst 25 dB louder: the gain that sets the
    // loudness would push the burst far over the ceiling without the limiter.
    StereoBuffer tone;
    resetStereoBuffer(tone, frameOf(6.0));
    for (int64_t i = 0; i < stereoFrames(tone); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double amp = (t >= 2.0 && t < 2.2) ? 0.9 : 0.05;
        tone.left[i] = tone.right[i] = static_cast<float>(amp * std::sin(2.0 * 3.14159265358979 * 440.0 * t));
    }
    StereoBuffer normalised = tone;
    const Loudness result = normaliseLoudness(normalised, LoudnessTarget{-16.0, LimiterSettings{-3.0, 0.0025, 0.1}});
    EXPECT_NEAR(result.integrated, -16.0, 0.1);
    EXPECT_NEAR(measureLoudness(normalised).integrated, -16.0, 0.1);
    EXPECT_LE(result.truePeak, -3.0 + 0.1);

    StereoBuffer silence;
    resetStereoBuffer(silence, frameOf(1.0));
    normaliseLoudness(silence, LoudnessTarget{});
    EXPECT_EQ(*std::max_element(silence.left.begin(), silence.left.end()), 0.0f);
}

TEST(Mix, KickPushesThePadsDown) {
    Score withKicks;
    withKicks.length = 3.0;
    withKicks.padCutoff = {{0.0, 2000.0}};
    withKicks.master = {{0.0, 1.0}};
    withKicks.pads.push_back({0.0, 3.0, {50, 57, 60, 64, 65}, 1.0f});
    withKicks.kicks = {{1.5, 1.0f}, {2.5, 1.0f}};
    Score kicksOnly = withKicks;
    kicksOnly.pads.clear();
    const MixSettings open{1.0, LimiterSettings{60.0, 0.0025, 0.1}};  // limiter out of the way
    const StereoBuffer both = renderScore(withKicks, open), kicks = renderScore(kicksOnly, open);
    // What the pads contribute, with the kicks taken out again.
    std::vector<float> pads(both.left.size());
    for (size_t i = 0; i < pads.size(); ++i) pads[i] = both.left[i] - kicks.left[i];
    const double ducked = rmsOf(pads, 1.505, 1.53), recovered = rmsOf(pads, 2.3, 2.45);
    EXPECT_LE(decibels(ducked / recovered), -4.0);
    EXPECT_GT(recovered, 0.0);
}

TEST(Mp3Encoder, GaplessDecodeKeepsLengthAndTiming) {
    StereoBuffer b;
    resetStereoBuffer(b, 44100);
    const int64_t click = 22050;
    b.left[click] = b.right[click] = 0.8f;
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(encodeMp3(b, bytes));
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quillon-click-" + std::to_string(::getpid()) + ".mp3")).string();
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())); }
    const Decoded d = decodeMp3(path);
    std::filesystem::remove(path);
    ASSERT_EQ(static_cast<int64_t>(d.mono.size()), stereoFrames(b));
    auto loudest = std::max_element(d.mono.begin(), d.mono.end(), [](float a, float c) { return std::abs(a) < std::abs(c); });
    EXPECT_NEAR(static_cast<double>(loudest - d.mono.begin()), static_cast<double>(click), 2.0);
}
