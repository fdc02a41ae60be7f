// The piece: its sections on their beat grids and the patterns and chords they
// play, expanded into the hits, notes and automation the mix renders. The
// event file for the picture is written from the same score, so the picture
// follows exactly the times the audio has.
#pragma once

#include <string>
#include <vector>

#include "synth.h"

struct Section {
    std::string name;
    double start;     // seconds
    double beat;      // seconds per beat
    int beatsPerBar;
    int bars;
    double tail = 0.0;  // seconds held after the last bar before the next section starts
};
double sectionEnd(const Section& section);  // seconds
double sectionBpm(const Section& section);  // beats per minute

struct Hit {
    double time;     // seconds
    float velocity;  // 0..1
};
struct Note {
    double time;     // seconds
    double length;   // seconds the note is held
    int midi;
    float velocity;  // 0..1
};
struct PadChord {
    double time;      // seconds
    double length;    // seconds the chord is held
    int midi[5];
    float velocity;   // 0..1
};
struct Sweep {
    double time;    // seconds
    double length;  // seconds
    float level;    // 0..1
};

struct Score {
    std::vector<Section> sections;
    std::vector<Hit> kicks, claps, snares, hats, openHats, impacts;
    std::vector<Note> bass, arp, lead;
    std::vector<PadChord> pads;
    std::vector<Sweep> risers, swells;  // swells: reversed cymbals, loudest at their end
    Curve padCutoff;  // Hz over music time
    Curve arpCutoff;  // Hz over music time
    Curve leadCutoff; // Hz over music time
    Curve ride;       // 0..1 gain over music time: each section's level in the mix
    Curve master;     // 0..1 gain over music time: the fades in and out
    double stop = 0.0;    // seconds: everything sounding is cut here
    double length = 0.0;  // seconds of audio
};

Score buildScore();

// Claps and snares at or above this velocity are accents the picture follows;
// quieter ones are ghost notes under the groove and stay out of the event file.
constexpr float accentVelocity = 0.45f;  // 0..1

// The event file: optional comment lines from `comments` (each prefixed with
// "# "), then tempo, section, kick, snare (accents only), impact and stop
// lines sorted by time.
std::string formatEvents(const Score& score, const std::vector<std::string>& comments);
