#include "score.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

constexpr double tuneLength = 212.0;       // seconds of audio, silence after the outro
constexpr double fadeIn = 3.0;         // seconds: the pads swell up from silence
constexpr double fadeStart = 195.0;    // seconds: the outro starts fading
constexpr double fadeEnd = 205.5;      // seconds: silent from here on

// Pattern steps are sixteenth notes. 'X' accent, 'x' normal, 'o' ghost,
// '.' rest, '-' holds the previous bass or arp note one more step. Bass
// steps may also name a degree of the chord: '5' its fifth, '8' its octave,
// 'p' a passing note, the scale step under the root of the chord that comes
// next.
enum class Lane { Kick, Clap, Snare, Hat, OpenHat, Bass, Arp };

// Arpeggio orders: indices into the chord's five tones and the same tones an
// octave up (5..9), one per sixteenth.
const int arpWave[16] = {0, 2, 4, 5, 7, 9, 7, 5, 4, 2, 1, 3, 6, 8, 6, 3};   // up and down
const int arpLeap[16] = {0, 5, 2, 7, 1, 6, 3, 8, 2, 7, 4, 9, 3, 8, 1, 6};   // octave leaps
const int arpClimb[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 5, 6, 7, 8, 9, 9};  // rising
const int arpHigh[16] = {9, 7, 8, 6, 7, 5, 6, 4, 9, 8, 7, 6, 5, 6, 7, 8};   // falling from the top

constexpr int allBars = 1 << 20;
constexpr double swellGap = 0.04;  // seconds between a swell's end and the next section
// Seconds a bass note stops short of the next step, so its release is gone
// before a kick there.
constexpr double bassGap = 0.03;

struct Pattern {
    Lane lane;
    std::string steps;  // cycled from the pattern's first bar
    float from = 1.0f;  // velocity scale at the section start
    float to = 1.0f;    // velocity scale at the section end
    int fromBar = 0;    // bars of the section the pattern plays: [fromBar, toBar)
    int toBar = allBars;
    const int* order = arpWave;  // arp lanes: the order of the chord's tones
};

// A line of the lead: "NOTE/BEATS ..." where NOTE is a name with its octave
// (A4, C#5, Bb4) or r for a rest, starting on `bar` of the section.
struct Phrase {
    int bar;
    const char* notes;
    float velocity;  // 0..1
};

struct Chord {
    const char* name;
    int bass;      // midi note of the sub bass
    int tones[5];  // midi notes of the pad voicing, low to high; the lowest is the root
};

// Voicings move by step from one chord to the next; each keeps its root at
// the bottom, so the pads say which chord it is even without the bass.
const Chord chordTable[] = {
    {"Dm9", 38, {50, 57, 60, 64, 65}},     // D  A  C  E  F
    {"Bbmaj9", 34, {46, 57, 60, 62, 65}},  // Bb A  C  D  F
    {"Gm9", 31, {43, 57, 58, 62, 65}},     // G  A  Bb D  F
    {"A7", 33, {45, 55, 61, 64, 65}},      // A  G  C# E  F (the flat thirteenth)
    {"A7b9", 33, {45, 55, 58, 61, 64}},    // A  G  Bb C# E
    {"Ebmaj7", 39, {51, 55, 58, 62, 67}},  // Eb G  Bb D  G
    {"C9", 36, {48, 55, 58, 62, 64}},      // C  G  Bb D  E
    {"Am7", 33, {45, 55, 60, 64, 67}},     // A  G  C  E  G
};

// D natural minor, as pitch classes.
const bool inKey[12] = {true, false, true, false, true, true, false, true, false, true, true, false};

struct SectionPlan {
    const char* name;
    double start = 0.0;  // seconds
    int bars = 0;
    int beatsPerBar = 4;
    const char* chords = "Dm9";  // chord names, one per barsPerChord bars, cycled
    int barsPerChord = 2;
    float pads = 0.0f;              // 0..1 level, 0 = none
    double padFrom = 0.0, padTo = 0.0;    // Hz, pad cutoff across the section
    double arpFrom = 0.0, arpTo = 0.0;    // Hz, arp cutoff across the section
    double leadFrom = 0.0, leadTo = 0.0;  // Hz, lead cutoff across the section
    float rideFrom = 1.0f, rideTo = 1.0f; // 0..1, the section's level in the mix
    float riser = 0.0f;             // 0..1 level of a riser across the section
    float impact = 0.0f;            // 0..1 level of an impact at the section start
    double swell = 0.0;             // seconds of reversed cymbal ending on the next section's start
    bool cut = false;               // the music stops dead at this section's start
    std::vector<Pattern> patterns = {};
    std::vector<Phrase> lead = {};
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

// The hook: a rising minor sixth and a fall back through the ninth and the
// seventh (A D F E D C A), stated and answered in the groove, hinted slowly
// in the half time, syncopated after the drop and sung once more in the outro.
// Each line is two bars of four beats.
// Sections run from their start to the next one's, so the fixed times of the
// production are the section starts and each section's tempo follows from
// its length and bar count. The last entry only marks where the outro ends.
std::vector<SectionPlan> piecePlan() {
    const char* home = "Dm9 Bbmaj9 Gm9 A7";
    return {
        // Pads alone, dark and quiet, opening up.
        {.name = "intro", .start = 0.0, .bars = 8, .chords = home, .pads = 0.7f, .padFrom = 300,
         .padTo = 1300, .rideFrom = 0.8f, .rideTo = 0.8f},
        // The hats tick in and the bass walks under them.
        {.name = "hats", .start = 16.0, .bars = 4, .chords = home, .barsPerChord = 1, .pads = 0.75f,
         .padFrom = 1300, .padTo = 1700, .rideFrom = 0.85f, .rideTo = 0.85f,
         .patterns = {{Lane::Hat, "x.o.x.o.x.o.x.oo", 0.45f, 0.7f},
                      {Lane::Bass, "X-------X-----5-", 0.75f, 0.85f}}},
        // The kick; from the fifth bar a soft arp, and a pickup into the groove.
        {.name = "pulse", .start = 24.0, .bars = 8, .chords = home, .pads = 0.75f, .padFrom = 1500,
         .padTo = 2100, .arpFrom = 700, .arpTo = 1400, .rideFrom = 0.9f, .rideTo = 0.95f,
         .patterns = {{Lane::Kick, "X...X...X...X...", 0.75f, 0.9f},
                      {Lane::Hat, "o.x.o.x.o.x.o.xo", 0.55f, 0.75f},
                      {Lane::Bass, "..x-..x-..x-.58-", 0.8f, 0.9f},
                      {Lane::Arp, "x..x..x.x..x..x.", 0.35f, 0.5f, 4, allBars, arpWave},
                      {Lane::Snare, "..........o.x.xx", 0.6f, 0.7f, 7}}},
        // The groove: the hook over the home chords, then a second progression
        // with the hook sequenced up, the open hats and the arp leaping; a
        // turnaround on D minor into the riser.
        {.name = "groove", .start = 40.0, .bars = 18, .chords = "Dm9 Bbmaj9 Gm9 A7 Gm9 Bbmaj9 C9 A7b9 Dm9",
         .pads = 0.8f, .padFrom = 2000, .padTo = 3000, .arpFrom = 1600, .arpTo = 2800, .leadFrom = 2600,
         .leadTo = 3600, .rideFrom = 0.9f, .rideTo = 0.9f,
         .patterns = {{Lane::Kick, "X...X...X...X..."},
                      {Lane::Clap, "....X.......X..."},
                      {Lane::Snare, withFills("................", "...........o.oxx", 18, 8), 0.6f, 0.8f},
                      {Lane::Hat, "xo.oxo.oxo.oxo.o", 0.65f, 0.8f},
                      {Lane::OpenHat, "..x...x...x...x.", 0.5f, 0.7f, 8},
                      {Lane::Bass, "..X-..8-..X-.5p-", 1.0f, 1.0f, 0, 8},
                      {Lane::Bass, ".xX-.58-.xX-..8p", 1.0f, 1.0f, 8},
                      {Lane::Arp, "x.xx.xx.x.xx.xx.", 0.5f, 0.6f, 0, 8, arpWave},
                      {Lane::Arp, "x.x.x.xxx.x.x.xx", 0.55f, 0.7f, 8, allBars, arpLeap}},
         .lead = {{0, "A4/.5 D5/1 F5/.5 E5/1 D5/.5 C5/1.5 A4/2 r/1", 0.8f},
                  {2, "A4/.5 D5/1 F5/.5 G5/1 F5/.5 D5/1.5 r/3", 0.75f},
                  {4, "A4/.5 D5/1 F5/.5 E5/1 D5/.5 Bb4/1.5 G4/2 r/1", 0.8f},
                  {6, "A4/.5 C#5/1 E5/.5 G5/1 F5/.5 E5/1.5 r/3", 0.75f},
                  {8, "D5/.5 G5/1 Bb5/.5 A5/1 G5/.5 F5/1.5 D5/2 r/1", 0.8f},
                  {10, "D5/.5 F5/1 A5/.5 G5/1 F5/.5 D5/1.5 C5/2 r/1", 0.75f},
                  {12, "E5/.5 G5/1 Bb5/.5 A5/1 G5/.5 E5/1.5 D5/2 r/1", 0.8f},
                  {14, "C#5/1 E5/1 G5/1 Bb5/1 A5/4", 0.8f},
                  {16, "A4/.5 D5/1 F5/.5 E5/6", 0.75f}}},
        // Two-beat bars leading into the cut: the drums thin out under a riser.
        {.name = "riser", .start = 76.0, .bars = 3, .beatsPerBar = 2, .chords = "A7", .barsPerChord = 3,
         .pads = 0.7f, .padFrom = 2500, .padTo = 4500, .riser = 0.9f,
         .patterns = {{Lane::Kick, "X...X...X...X..........."},
                      {Lane::Snare, "........x.x.x.x.xxxxxxx.", 0.5f, 1.0f},
                      {Lane::Hat, "x.x.x.x.x.x.x.x........."},
                      {Lane::Bass, "X-------X-------........"}}},
        // Half time at a strict 120 BPM from the impact, so the half seconds
        // 80.5, 81.5 ... s, where the camera hops from node to node, fall on
        // beats two and four: kicks there round the half-time snare on three,
        // a soft clap on them and the arp resting just before them so they
        // land clean. Darker and lower than the groove: closed filters, no
        // hats at first, the hook only hinted, slow and low, from the ninth
        // bar. The last bar fills and the 0.18 s the 18 bars leave before the
        // build are a breath under a reversed cymbal.
        {.name = "halftime", .start = 79.0, .bars = 18, .chords = "Dm9 Ebmaj7 Gm9 A7b9", .pads = 0.85f,
         .padFrom = 450, .padTo = 900, .arpFrom = 600, .arpTo = 1200, .leadFrom = 900, .leadTo = 1300,
         .rideFrom = 0.62f, .rideTo = 0.68f, .impact = 1.0f, .swell = 1.18,
         .patterns = {{Lane::Kick, "X...X.......X...", 0.85f, 0.9f},
                      {Lane::Clap, "....x.......x...", 0.55f, 0.65f},
                      {Lane::Snare, withFills("........X.......", "........X...o.o.", 17, 4), 0.75f, 0.85f, 0, 17},
                      {Lane::Snare, "........X...xxXX", 0.7f, 0.9f, 17},
                      {Lane::Hat, "o...o...o...o.o.", 0.5f, 0.7f, 8},
                      {Lane::Bass, "X-----------x---", 1.0f, 1.0f, 0, 8},
                      {Lane::Bass, "X-------5-----p-", 1.0f, 1.0f, 8},
                      {Lane::Arp, "x.x...x.x.x...x.", 0.4f, 0.6f, 8, allBars, arpHigh}},
         .lead = {{8, "A3/1 D4/2 F4/1 E4/4", 0.55f}, {12, "A3/1 D4/2 F4/1 E4/2 D4/2", 0.55f}},
         .beat = 0.5},
        // Twenty seconds of build: the roll doubles up, the filters open, the
        // arp climbs, the hook's head rises in sequence; the kick drops out
        // for the last two bars and the last beat is bare.
        {.name = "build", .start = 115.18, .bars = 10, .chords = "Dm9 Bbmaj9 Gm9 A7 A7", .pads = 0.75f,
         .padFrom = 600, .padTo = 5000, .arpFrom = 600, .arpTo = 5000, .leadFrom = 1500, .leadTo = 4000,
         .rideFrom = 0.7f, .rideTo = 0.75f, .riser = 0.55f,
         .patterns = {{Lane::Kick, repeat("X...", 32) + repeat("....", 8), 0.85f, 1.0f},
                      {Lane::Snare,
                       repeat("x...", 16) + repeat("x.", 16) + repeat("xoxx", 12) + "xxxxxxxxxxxx....", 0.45f,
                       0.9f},
                      {Lane::Hat, repeat("..x.", 32) + repeat("....", 8), 0.6f, 0.9f},
                      {Lane::Bass, repeat("..x-", 16) + repeat(".x8x", 16) + "X---------------X-----------....",
                       0.85f, 1.0f},
                      {Lane::Arp, repeat("xxx.", 39) + "....", 0.35f, 0.7f, 0, allBars, arpClimb}},
         .lead = {{4, "A4/.5 D5/1 F5/2.5", 0.6f},
                  {5, "C5/.5 F5/1 A5/2.5", 0.65f},
                  {6, "E5/.5 A5/1 C#6/2.5", 0.7f},
                  {7, "E5/.5 A5/.5 C#6/.5 E6/2.5", 0.75f}}},
        // The drop: the hook syncopated over the home chords with a rolling
        // octave bass, then a progression the groove never had (Bb C Am Dm)
        // under a new soaring line, then the hook a fourth up and home on A7.
        {.name = "drop", .start = 135.18, .bars = 22,
         .chords = "Dm9 Bbmaj9 Gm9 A7 Bbmaj9 C9 Am7 Dm9 Gm9 Bbmaj9 A7", .pads = 1.0f, .padFrom = 2600,
         .padTo = 3600, .arpFrom = 2800, .arpTo = 4000, .leadFrom = 3600, .leadTo = 4800, .impact = 0.85f,
         .patterns = {{Lane::Kick, "X...X...X...X..."},
                      {Lane::Clap, "....X.......X..."},
                      {Lane::Snare, withFills("................", "..........o.xo.X", 22, 8), 0.7f, 0.9f},
                      {Lane::Hat, "xxoxxxoxxxoxxxox", 0.7f, 0.85f},
                      {Lane::OpenHat, "..x...x...x...x.", 0.7f, 0.8f},
                      {Lane::Bass, ".8x..8x..8x..8p.", 0.95f, 1.0f, 0, 8},
                      {Lane::Bass, "..X..xX...X..5p.", 1.0f, 1.0f, 8, 16},
                      {Lane::Bass, ".8X..8X..5X..8p.", 1.0f, 1.0f, 16},
                      {Lane::Arp, "xxx.xxx.xxx.xxx.", 0.55f, 0.65f, 0, 8, arpLeap},
                      {Lane::Arp, "x.xxx.xxx.xxx.xx", 0.55f, 0.65f, 8, 16, arpHigh},
                      {Lane::Arp, "xxx.xxx.xxx.xxx.", 0.6f, 0.7f, 16, allBars, arpWave}},
         .lead = {{0, "A4/.5 D5/.75 F5/.75 E5/1 D5/.5 C5/1.5 A4/3", 0.85f},
                  {2, "A4/.5 D5/.75 F5/.75 A5/1 G5/.5 F5/1.5 D5/3", 0.8f},
                  {4, "A4/.5 D5/.75 F5/.75 E5/1 D5/.5 Bb4/1.5 G4/3", 0.85f},
                  {6, "C#5/.5 E5/.75 A5/.75 G5/1 F5/.5 E5/1.5 C#5/3", 0.8f},
                  {8, "F5/1.5 D5/.5 F5/1 G5/1 A5/4", 0.85f},
                  {10, "G5/1.5 E5/.5 G5/1 Bb5/1 A5/2 G5/2", 0.85f},
                  {12, "E5/1.5 C5/.5 E5/1 G5/1 A5/3 G5/1", 0.85f},
                  {14, "F5/1 E5/1 D5/1 C5/1 D5/4", 0.8f},
                  {16, "D5/.5 G5/.75 Bb5/.75 A5/1 G5/.5 F5/1.5 D5/3", 0.9f},
                  {18, "A4/.5 D5/.75 F5/.75 E5/1 D5/.5 C5/1.5 D5/3", 0.9f},
                  {20, "C#5/1 E5/1 G5/1 A5/5", 0.9f}}},
        {.name = "stop", .start = 179.3125, .bars = 1, .cut = true},
        // The pads return alone; the hook once more, slow, and a last few arp
        // notes echo away under them.
        {.name = "outro", .start = 181.3125, .bars = 13, .chords = "Dm9 Bbmaj9 Gm9 Dm9", .barsPerChord = 4,
         .pads = 0.9f, .padFrom = 1400, .padTo = 300, .arpFrom = 1400, .arpTo = 500, .leadFrom = 1800,
         .leadTo = 700, .rideFrom = 0.85f, .rideTo = 0.85f,
         .patterns = {{Lane::Arp, repeat("x.......x.......", 6) + repeat("................", 7), 0.6f, 0.1f}},
         .lead = {{2, "A4/1 D5/2 F5/1 E5/4 D5/2 C5/2 A4/4", 0.6f}, {8, "A4/1 D5/2 F5/1 E5/4 D5/8", 0.45f}}},
        {.name = "end", .start = 207.3125},
    };
}

const Chord& findChord(const std::string& name) {
    for (const Chord& c : chordTable)
        if (name == c.name) return c;
    std::fprintf(stderr, "quillon-soundtrack: unknown chord %s, using %s\n", name.c_str(), chordTable[0].name);
    return chordTable[0];
}

std::vector<const Chord*> parseChords(const char* list) {
    std::vector<const Chord*> chords;
    std::istringstream in(list);
    std::string name;
    while (in >> name) chords.push_back(&findChord(name));
    if (chords.empty()) chords.push_back(&chordTable[0]);
    return chords;
}

float stepVelocity(char c) {
    switch (c) {
        case 'X': return 1.0f;
        case 'x': case '5': case '8': case 'p': return 0.8f;
        case 'o': return 0.5f;
        default: return 0.0f;
    }
}

// The bass note a step plays: the root, its fifth or octave, or the scale
// step under the next chord's root.
int bassNote(char step, const Chord& chord, const Chord& next) {
    switch (step) {
        case '5': return chord.bass + 7;
        case '8': return chord.bass + 12;
        case 'p': {
            int note = next.bass - 1;
            while (!inKey[note % 12]) --note;
            return note;
        }
        default: return chord.bass;
    }
}

// "C#5" -> 73; -1 for a rest or a name it cannot read.
int noteNumber(const std::string& name) {
    static const int letters[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.empty() || name[0] < 'A' || name[0] > 'G') return -1;
    int pitch = letters[name[0] - 'A'];
    size_t at = 1;
    if (at < name.size() && name[at] == '#') ++pitch, ++at;
    else if (at < name.size() && name[at] == 'b') --pitch, ++at;
    if (at >= name.size() || name[at] < '0' || name[at] > '9') return -1;
    return 12 * (std::atoi(name.c_str() + at) + 1) + pitch;
}

// A phrase's notes from `start`, each held 90 % of its written length so
// repeated pitches are struck again.
void addPhrase(std::vector<Note>& lead, const Phrase& phrase, double start, double beat) {
    std::istringstream in(phrase.notes);
    std::string token;
    double at = start;
    while (in >> token) {
        const size_t slash = token.find('/');
        const double beats = slash == std::string::npos ? 1.0 : std::atof(token.c_str() + slash + 1);
        const int midi = noteNumber(token.substr(0, slash));
        if (midi >= 0) lead.push_back({at, beats * beat * 0.9, midi, phrase.velocity});
        at += beats * beat;
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
    if (plan.leadFrom > 0.0) {
        score.leadCutoff.push_back({section.start, plan.leadFrom});
        score.leadCutoff.push_back({end, plan.leadTo});
    }
    // The level moves within 20 ms before the section's first beat, so the
    // step lands under the downbeat.
    score.ride.push_back({section.start - 0.02, score.ride.empty() ? plan.rideFrom : score.ride.back().value});
    score.ride.push_back({section.start, plan.rideFrom});
    score.ride.push_back({end - 0.02, plan.rideTo});
    // The riser breaks off one step early so the hit after it lands in a gap.
    if (plan.riser > 0.0f) score.risers.push_back({section.start, end - section.start - step, plan.riser});
    if (plan.impact > 0.0f) score.impacts.push_back({section.start, plan.impact});
    // The swell stops just short of the next downbeat, so the hit there
    // lands in a moment's silence.
    if (plan.swell > 0.0) score.swells.push_back({end - plan.swell, plan.swell - swellGap, 1.0f});
    for (const Phrase& phrase : plan.lead)
        addPhrase(score.lead, phrase, section.start + phrase.bar * stepsPerBar * step, section.beat);

    for (const Pattern& p : plan.patterns) {
        const int len = static_cast<int>(p.steps.size());
        if (len == 0) continue;
        const int first = std::min(p.fromBar, section.bars) * stepsPerBar;
        const int last = std::min(p.toBar, section.bars) * stepsPerBar;
        for (int k = first; k < last; ++k) {
            const int i = k - first;  // step within the pattern
            float v = stepVelocity(p.steps[i % len]);
            if (v == 0.0f) continue;
            v *= p.from + (p.to - p.from) * static_cast<float>(k) / static_cast<float>(total);
            const double t = section.start + k * step;
            int held = 1;
            while (k + held < last && p.steps[(i + held) % len] == '-') ++held;
            const int bar = k / stepsPerBar;
            const Chord& chord = chordAtBar(bar);
            switch (p.lane) {
                case Lane::Kick: score.kicks.push_back({t, v}); break;
                case Lane::Clap: score.claps.push_back({t, v}); break;
                case Lane::Snare: score.snares.push_back({t, v}); break;
                case Lane::Hat: score.hats.push_back({t, v}); break;
                case Lane::OpenHat: score.openHats.push_back({t, v}); break;
                case Lane::Bass: {
                    const int midi = bassNote(p.steps[i % len], chord, chordAtBar(bar + 1));
                    score.bass.push_back({t, held * step - bassGap, midi, v});
                    break;
                }
                case Lane::Arp: {
                    int index = p.order[k % 16];
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
    for (auto* notes : {&score.bass, &score.arp, &score.lead})
        std::stable_sort(notes->begin(), notes->end(), byTime);
    std::stable_sort(score.pads.begin(), score.pads.end(), byTime);

    // Equal-power fades: in from silence at the start, out to silence in the outro.
    const int steps = 42;
    for (int i = 0; i <= steps / 4; ++i) {
        double x = static_cast<double>(i) / (steps / 4);
        score.master.push_back({x * fadeIn, std::sin(x * 1.5707963267948966)});
    }
    for (int i = 0; i <= steps; ++i) {
        double x = static_cast<double>(i) / steps;
        score.master.push_back({fadeStart + x * (fadeEnd - fadeStart), std::cos(x * 1.5707963267948966)});
    }
    score.master.back().value = 0.0;
    score.length = tuneLength;
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
        for (const Hit& h : *hits)
            if (h.velocity >= accentVelocity) lines.push_back({h.time, 4, "snare " + sixDecimals(h.time)});
    if (score.stop > 0.0) lines.push_back({score.stop, 5, "stop " + sixDecimals(score.stop)});
    std::stable_sort(lines.begin(), lines.end(), [](const EventLine& a, const EventLine& b) {
        return a.time != b.time ? a.time < b.time : a.order < b.order;
    });
    std::string text;
    for (const std::string& c : comments) text += "# " + c + "\n";
    for (const EventLine& l : lines) text += l.text + "\n";
    return text;
}
