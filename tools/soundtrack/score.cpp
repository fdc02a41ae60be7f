#include "score.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

constexpr double kLength = 212.0;       // seconds of audio, silence after the outro
constexpr double kFadeIn = 3.0;         // seconds: the pads swell up from silence
constexpr double kFadeStart = 195.0;    // seconds: the outro starts fading
constexpr double kFadeEnd = 205.5;      // seconds: silent from here on

// Pattern steps are sixteenth notes. 'X' accent, 'x' normal, 'o' ghost,
// '.' rest, '-' holds the previous bass or arp note one more step.
enum class Lane { Kick, Clap, Snare, Hat, OpenHat, Bass, Arp };

struct Pattern {
    Lane lane;
    std::string steps;  // cycled over the whole section
    float from = 1.0f;  // velocity scale at the section start
    float to = 1.0f;    // velocity scale at the section end
};

struct Chord {
    const char* name;
    int bass;      // midi note of the sub bass
    int tones[5];  // midi notes of the pad voicing, low to high
};

const Chord kChords[] = {
    {"Dm9", 38, {50, 57, 60, 64, 65}},
    {"Bbmaj9", 34, {50, 53, 57, 60, 65}},
    {"Gm9", 31, {50, 53, 57, 58, 62}},
    {"A7", 33, {52, 55, 57, 61, 64}},
    {"Ebmaj7", 39, {51, 55, 57, 58, 62}},
    {"A7b9", 33, {52, 55, 58, 61, 64}},
};

// Index into the chord's tones and the same tones an octave up (5..9).
const int kArpOrder[16] = {0, 2, 4, 5, 7, 9, 7, 5, 4, 2, 1, 3, 6, 8, 6, 3};

struct SectionPlan {
    const char* name;
    double start;  // seconds
    int bars;
    int beatsPerBar;
    const char* chords;  // chord names, one per barsPerChord bars, cycled
    int barsPerChord;
    float pads;                 // 0..1 level, 0 = none
    double padFrom, padTo;      // Hz, pad cutoff across the section
    double arpFrom, arpTo;      // Hz, arp cutoff across the section
    float riser;                // 0..1 level of a riser across the section
    float impact;               // 0..1 level of an impact at the section start
    bool cut;                   // the music stops dead at this section's start
    std::vector<Pattern> patterns;
    // Seconds per beat when the section keeps a tempo of its own; the time
    // its bars leave before the next section is held as a breath (tail).
    // 0: the bars fill the section exactly.
    double beat = 0.0;
};

std::string repeat(const char* bar, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += bar;
    return s;
}

// `bars` bars of `bar`, with `fill` instead on every `every`-th bar and on
// the last one, so phrases end with a turn.
std::string withFills(const char* bar, const char* fill, int bars, int every) {
    std::string s;
    for (int b = 0; b < bars; ++b) s += (b % every == every - 1 || b == bars - 1) ? fill : bar;
    return s;
}

// Sections run from their start to the next one's, so the fixed times of the
// production are the section starts and each section's tempo follows from
// its length and bar count. The last entry only marks where the outro ends.
std::vector<SectionPlan> piecePlan() {
    const char* home = "Dm9 Bbmaj9 Gm9 A7";
    return {
        {"intro", 0.0, 8, 4, home, 2, 0.8f, 350, 1500, 0, 0, 0, 0, false, {}},
        {"hats", 16.0, 4, 4, home, 1, 0.8f, 1500, 1900, 0, 0, 0, 0, false,
         {{Lane::Hat, "x.o.x.o.x.o.x.oo", 0.5f, 0.8f},
          {Lane::Bass, "X-------X-----x-", 0.8f, 0.9f}}},
        {"pulse", 24.0, 8, 4, home, 2, 0.8f, 1600, 2200, 0, 0, 0, 0, false,
         {{Lane::Kick, "X...X...X...X...", 0.75f, 0.9f},
          {Lane::Hat, "o.x.o.x.o.x.o.xo", 0.6f, 0.8f},
          {Lane::Bass, "..x-..x-..x-..x-", 0.85f, 0.9f}}},
        {"groove", 40.0, 18, 4, home, 2, 0.9f, 2000, 3200, 1800, 3200, 0, 0, false,
         {{Lane::Kick, "X...X...X...X..."},
          {Lane::Clap, "....X.......X..."},
          {Lane::Snare, withFills("................", "...........o.oxx", 18, 8), 0.6f, 0.8f},
          {Lane::Hat, "xo.oxo.oxo.oxo.o", 0.7f, 0.8f},
          {Lane::OpenHat, "..x...x...x...x.", 0.5f, 0.7f},
          {Lane::Bass, "..X-..X-..X-.xX-"},
          {Lane::Arp, "x.xxx.xxx.xxx.x.", 0.55f, 0.75f}}},
        // Two-beat bars leading into the cut: the drums thin out under a riser.
        {"riser", 76.0, 3, 2, "A7", 3, 0.7f, 2500, 4500, 0, 0, 0.9f, 0, false,
         {{Lane::Kick, "X...X...X...X..........."},
          {Lane::Snare, "........x.x.x.x.xxxxxxx.", 0.35f, 1.0f},
          {Lane::Hat, "x.x.x.x.x.x.x.x........."},
          {Lane::Bass, "X-------X-------........"}}},
        // Half time at a strict 120 BPM from the impact, so the half seconds
        // 80.5, 81.5 ... s, where the camera hops from node to node, fall on
        // beats two and four: kicks there round the half-time snare on three,
        // a soft clap on them and the arp resting just before them so they
        // land clean. The 0.18 s the 18 bars leave before the build are a breath.
        {"halftime", 79.0, 18, 4, "Dm9 Ebmaj7 Gm9 A7b9", 2, 0.9f, 500, 950, 700, 1500, 0, 1.0f,
         false,
         {{Lane::Kick, "X...X.......X...", 0.9f, 0.95f},
          {Lane::Clap, "....x.......x...", 0.55f, 0.7f},
          {Lane::Snare, withFills("........X.......", "........X...o.o.", 18, 4), 0.8f, 0.9f},
          {Lane::Hat, "o...o...o...o.o.", 0.6f, 0.8f},
          {Lane::Bass, "X-----------x---"},
          {Lane::Arp, "x.x...x.x.x...x.", 0.5f, 0.7f}},
         0.5},
        // Twenty seconds of build: the roll doubles up, the filters open,
        // the kick drops out for the last two bars and the last beat is bare.
        {"build", 115.18, 10, 4, "Dm9 Bbmaj9 Gm9 A7 A7", 2, 0.8f, 600, 5000, 600, 6000, 1.0f, 0,
         false,
         {{Lane::Kick, repeat("X...", 32) + repeat("....", 8), 0.85f, 1.0f},
          {Lane::Snare,
           repeat("x...", 16) + repeat("x.", 16) + repeat("x", 48) + "xxxxxxxxxxxx....", 0.3f,
           1.0f},
          {Lane::Hat, repeat("..x.", 32) + repeat("....", 8), 0.6f, 0.9f},
          {Lane::Bass, repeat("..x-", 32) + "X---------------X-----------....", 0.85f, 1.0f},
          {Lane::Arp, repeat("x", 156) + "....", 0.4f, 0.9f}}},
        {"drop", 135.18, 22, 4, home, 2, 1.0f, 2400, 3400, 2600, 3800, 0, 0.85f, false,
         {{Lane::Kick, "X...X...X...X..."},
          {Lane::Clap, "....X.......X..."},
          {Lane::Snare, withFills("................", "..........o.xoxx", 22, 8), 0.7f, 0.9f},
          {Lane::Hat, "xo.oxo.oxo.oxo.o", 0.8f, 0.9f},
          {Lane::OpenHat, "..x...x...x...x.", 0.7f, 0.8f},
          {Lane::Bass, "..X-.xX-..X-.xX-"},
          {Lane::Arp, "xxxxxxxxxxxxxxxx", 0.75f, 0.85f}}},
        {"stop", 179.3125, 1, 4, "Dm9", 1, 0, 0, 0, 0, 0, 0, 0, true, {}},
        // The pads return alone; a last few arp notes echo away under them.
        {"outro", 181.3125, 13, 4, "Dm9 Bbmaj9 Gm9 Dm9", 4, 0.95f, 1400, 300, 1400, 500, 0, 0, false,
         {{Lane::Arp, repeat("x.......x.......", 6) + repeat("................", 7), 0.7f, 0.1f}}},
        {"end", 207.3125, 0, 4, "", 1, 0, 0, 0, 0, 0, 0, 0, false, {}},
    };
}

const Chord& findChord(const std::string& name) {
    for (const Chord& c : kChords)
        if (name == c.name) return c;
    std::fprintf(stderr, "quillon-soundtrack: unknown chord %s, using %s\n", name.c_str(), kChords[0].name);
    return kChords[0];
}

std::vector<const Chord*> parseChords(const char* list) {
    std::vector<const Chord*> chords;
    std::istringstream in(list);
    std::string name;
    while (in >> name) chords.push_back(&findChord(name));
    if (chords.empty()) chords.push_back(&kChords[0]);
    return chords;
}

float stepVelocity(char c) {
    switch (c) {
        case 'X': return 1.0f;
        case 'x': return 0.8f;
        case 'o': return 0.5f;
        default: return 0.0f;
    }
}

void expandSection(Score& score, const SectionPlan& plan, const Section& section) {
    const double step = section.beat / 4.0;  // seconds per sixteenth
    const int stepsPerBar = section.beatsPerBar * 4;
    const int total = section.bars * stepsPerBar;
    const double end = sectionEnd(section);
    const std::vector<const Chord*> chords = parseChords(plan.chords);
    auto chordAtBar = [&](int bar) -> const Chord& {
        return *chords[static_cast<size_t>(bar / plan.barsPerChord) % chords.size()];
    };

    if (plan.pads > 0.0f) {
        const Chord* held = nullptr;
        const size_t first = score.pads.size();
        for (int bar = 0; bar < section.bars; bar += plan.barsPerChord) {
            const Chord& chord = chordAtBar(bar);
            const double span = std::min(plan.barsPerChord, section.bars - bar) * stepsPerBar * step;
            // A chord that repeats is held on rather than struck again.
            if (&chord == held) {
                score.pads.back().length += span;
                continue;
            }
            PadChord pad{section.start + bar * stepsPerBar * step, span, {}, plan.pads};
            std::copy(std::begin(chord.tones), std::end(chord.tones), pad.midi);
            score.pads.push_back(pad);
            held = &chord;
        }
        // The last chord rings on through the breath after the last bar.
        if (score.pads.size() > first) score.pads.back().length += section.tail;
        score.padCutoff.push_back({section.start, plan.padFrom});
        score.padCutoff.push_back({end, plan.padTo});
    }
    if (plan.arpFrom > 0.0) {
        score.arpCutoff.push_back({section.start, plan.arpFrom});
        score.arpCutoff.push_back({end, plan.arpTo});
    }
    // The riser breaks off one step early so the hit after it lands in a gap.
    if (plan.riser > 0.0f) score.risers.push_back({section.start, end - section.start - step, plan.riser});
    if (plan.impact > 0.0f) score.impacts.push_back({section.start, plan.impact});

    for (const Pattern& p : plan.patterns) {
        const int len = static_cast<int>(p.steps.size());
        if (len == 0) continue;
        for (int k = 0; k < total; ++k) {
            float v = stepVelocity(p.steps[k % len]);
            if (v == 0.0f) continue;
            v *= p.from + (p.to - p.from) * static_cast<float>(k) / static_cast<float>(total);
            const double t = section.start + k * step;
            int held = 1;
            while (k + held < total && p.steps[(k + held) % len] == '-') ++held;
            const Chord& chord = chordAtBar(k / stepsPerBar);
            switch (p.lane) {
                case Lane::Kick: score.kicks.push_back({t, v}); break;
                case Lane::Clap: score.claps.push_back({t, v}); break;
                case Lane::Snare: score.snares.push_back({t, v}); break;
                case Lane::Hat: score.hats.push_back({t, v}); break;
                case Lane::OpenHat: score.openHats.push_back({t, v}); break;
                case Lane::Bass: score.bass.push_back({t, held * step - 0.01, chord.bass, v}); break;
                case Lane::Arp: {
                    int index = kArpOrder[k % 16];
                    int midi = chord.tones[index % 5] + 12 * (index / 5) + 12;
                    score.arp.push_back({t, held * step * 0.8, midi, v});
                    break;
                }
            }
        }
    }
}

struct EventLine {
    double time;
    int order;  // keeps lines at the same time in a fixed order
    std::string text;
};

// Times and tempos are written with six decimals.
std::string sixDecimals(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", value);
    return buf;
}

}  // namespace

double sectionEnd(const Section& section) {
    return section.start + section.beat * section.beatsPerBar * section.bars + section.tail;
}

double sectionBpm(const Section& section) { return 60.0 / section.beat; }

Score buildScore() {
    Score score;
    const std::vector<SectionPlan> plan = piecePlan();
    for (size_t i = 0; i + 1 < plan.size(); ++i) {
        const SectionPlan& p = plan[i];
        const double length = plan[i + 1].start - p.start;  // seconds
        Section s{p.name, p.start, length / (p.bars * p.beatsPerBar), p.beatsPerBar, p.bars};
        if (p.beat > 0.0 && p.beat * p.bars * p.beatsPerBar <= length) {
            s.beat = p.beat;
            s.tail = length - p.beat * p.bars * p.beatsPerBar;
        }
        score.sections.push_back(s);
        expandSection(score, p, s);
        if (p.cut) score.stop = p.start;
    }
    auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
    for (auto* hits : {&score.kicks, &score.claps, &score.snares, &score.hats, &score.openHats,
                       &score.impacts})
        std::stable_sort(hits->begin(), hits->end(), byTime);
    for (auto* notes : {&score.bass, &score.arp})
        std::stable_sort(notes->begin(), notes->end(), byTime);
    std::stable_sort(score.pads.begin(), score.pads.end(), byTime);

    // Equal-power fades: in from silence at the start, out to silence in the outro.
    const int steps = 42;
    for (int i = 0; i <= steps / 4; ++i) {
        double x = static_cast<double>(i) / (steps / 4);
        score.master.push_back({x * kFadeIn, std::sin(x * 1.5707963267948966)});
    }
    for (int i = 0; i <= steps; ++i) {
        double x = static_cast<double>(i) / steps;
        score.master.push_back({kFadeStart + x * (kFadeEnd - kFadeStart), std::cos(x * 1.5707963267948966)});
    }
    score.master.back().value = 0.0;
    score.length = kLength;
    return score;
}

std::string formatEvents(const Score& score, const std::vector<std::string>& comments) {
    std::vector<EventLine> lines;
    const Section* previous = nullptr;
    for (const Section& s : score.sections) {
        // A new grid line only where the beat or the bar length changes; the
        // sections tile, so an unchanged grid simply carries on.
        // After a breath the grid starts afresh on the new downbeat.
        if (!previous || std::abs(previous->beat - s.beat) > 1e-9 || previous->beatsPerBar != s.beatsPerBar ||
            previous->tail > 0.0) {
            lines.push_back({s.start, 0, "tempo " + sixDecimals(s.start) + " " + sixDecimals(sectionBpm(s)) +
                                             " " + std::to_string(s.beatsPerBar)});
        }
        lines.push_back({s.start, 1, "section " + sixDecimals(s.start) + " " + s.name});
        previous = &s;
    }
    for (const Hit& h : score.impacts) lines.push_back({h.time, 2, "impact " + sixDecimals(h.time)});
    for (const Hit& h : score.kicks) lines.push_back({h.time, 3, "kick " + sixDecimals(h.time)});
    for (const auto* hits : {&score.claps, &score.snares})
        for (const Hit& h : *hits) lines.push_back({h.time, 4, "snare " + sixDecimals(h.time)});
    if (score.stop > 0.0) lines.push_back({score.stop, 5, "stop " + sixDecimals(score.stop)});
    std::stable_sort(lines.begin(), lines.end(), [](const EventLine& a, const EventLine& b) {
        return a.time != b.time ? a.time < b.time : a.order < b.order;
    });
    std::string text;
    for (const std::string& c : comments) text += "# " + c + "\n";
    for (const EventLine& l : lines) text += l.text + "\n";
    return text;
}
