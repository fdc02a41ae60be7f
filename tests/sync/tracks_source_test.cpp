#include "sync/tracks_events.h"
#include "sync/tracks_source.h"
#include "sync/tracks_text.h"

#include "assets/camera.h"
#include "fx/swarm_field.h"
#include "sync/sync.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>

namespace {

namespace fs = std::filesystem;

const std::string productionSource = std::string(QUILLON_SOURCE_DIR) + "/sync/production.timeline";

// A scratch directory, removed with everything in it.
struct Scratch : ScratchDir {
    explicit Scratch(const std::string& tag) : ScratchDir("tracks_" + tag) {}

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
};

// Events shaped like the soundtrack's: 120 BPM from 0 s, kicks on every beat
// from 16 s to the hard stop, snares on beats 2 and 4, the impacts and the stop.
std::string productionLikeEvents()
{
    std::string text = "# beat grid\ntempo 0 120 4\nsection 0 intro\n";
    for (int half = 32; half * 0.5 < 179.3125; ++half) {
        text += "kick " + std::to_string(half * 0.5) + "\n";
        if (half % 2 == 1)
            text += "snare " + std::to_string(half * 0.5) + "\n";
    }
    text += "impact 79.0\nimpact 135.18\nstop 179.3125\n";
    return text;
}

std::vector<std::string> compileInto(const Scratch& scratch, const std::string& source,
                                     const std::string& events)
{
    std::vector<std::string> errors;
    compileTimeline(CompileOptions{source, events, scratch.path("sync")}, errors);
    return errors;
}

std::string fileBytes(const std::string& path)
{
    std::string bytes;
    readWholeFile(path, bytes);
    return bytes;
}

// The whole compiled set as one dumped source text, as `dump` writes it.
std::string dumpAll(const std::string& base)
{
    std::string text;
    for (int t = 0; t < trackCount; ++t) {
        std::vector<SyncKey> keys;
        std::string why;
        EXPECT_TRUE(decodeTrackFile(fileBytes(trackFilePath(base, std::to_string(t))), keys, why)) << why;
        text += formatTrackBlock(t, keys);
    }
    return text + "end\n";
}

// Compiled tracks as the engine reads them, with its own loader.
struct CompiledTracks {
    SyncDevice device;
    std::array<SyncTrack, trackCount> tracks;

    explicit CompiledTracks(const std::string& base)
    {
        device.basePath = base;
        for (int t = 0; t < trackCount; ++t) {
            tracks[t].name = std::to_string(t);
            loadTrackFile(device, tracks[t]);
        }
    }
    double at(int track, double seconds) const { return getSyncValue(&tracks[track], seconds * 16.0); }
    float atRow(int track, double row) const { return float(getSyncValue(&tracks[track], row)); }
};

std::vector<std::string> parseErrors(const std::string& text, const EventFile* events = nullptr)
{
    TimelineSource source;
    std::vector<std::string> errors;
    if (parseTimeline(text, "t.timeline", events, source, errors)) {
        TrackKeys keys;
        buildTrackKeys(source, events, keys, errors);
    }
    return errors;
}

// ---------------------------------------------------------------- round trips

TEST(TimelineRoundTrip, ProductionCompileDumpCompileIsByteIdentical)
{
    Scratch first("prod1"), second("prod2");
    const std::string events = first.write("events.txt", productionLikeEvents());
    ASSERT_EQ(compileInto(first, productionSource, events), std::vector<std::string>{});

    const std::string dumped = first.write("dumped.timeline", dumpAll(first.path("sync")));
    ASSERT_EQ(compileInto(second, dumped, ""), std::vector<std::string>{});
    for (int t = 0; t < trackCount; ++t) {
        const std::string name = "sync_" + std::to_string(t) + ".track";
        const std::string a = fileBytes(first.path(name));
        EXPECT_EQ(a.size() % 9, 4u) << name;
        EXPECT_EQ(a, fileBytes(second.path(name))) << name;
    }
    // The generated tracks made it into the files.
    EXPECT_GT(fileBytes(first.path("sync_9.track")).size(), 1000u);
}

TEST(TimelineRoundTrip, EdgeCasesSurviveDumpAndCompile)
{
    const std::string source =
        "track 50\n  3s 7.25\n"                                      // one key
        "track 51 free_51\n  0r 1 step\n  1r -2 linear\n  17r 0.1 smooth\n"
        "  18r -0 ramp\n  40r 1e-38 linear\n  41r -3.40282347e38\n"  // every interpolation
        "track 52\n  -1000000000r -5 linear\n  1000000000r 123456.789 smooth\n"  // far apart
        "track 53\n  -0.0625s 0.333333343 ramp\n  0.0625s 16777217\nend\n";
    Scratch first("edge1"), second("edge2");
    ASSERT_EQ(compileInto(first, first.write("edge.timeline", source), ""), std::vector<std::string>{});
    const std::string dumped = dumpAll(first.path("sync"));
    ASSERT_EQ(compileInto(second, second.write("dumped.timeline", dumped), ""), std::vector<std::string>{});
    for (int t = 0; t < trackCount; ++t) {
        const std::string name = "sync_" + std::to_string(t) + ".track";
        EXPECT_EQ(fileBytes(first.path(name)), fileBytes(second.path(name))) << name;
    }
    // Untouched tracks are files with no keys; the far-apart rows are exact.
    EXPECT_EQ(fileBytes(first.path("sync_0.track")), std::string(4, '\0'));
    std::vector<SyncKey> keys;
    std::string why;
    ASSERT_TRUE(decodeTrackFile(fileBytes(first.path("sync_52.track")), keys, why));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].row, -1000000000);
    EXPECT_EQ(keys[1].row, 1000000000);
    EXPECT_EQ(keys[1].value, 123456.789f);
    EXPECT_EQ(keys[0].type, Linear);
    EXPECT_EQ(dumpAll(second.path("sync")), dumped);
}

TEST(TimelineRoundTrip, FileLayoutIsCountThenNineBytesPerKey)
{
    const std::string bytes = encodeTrackFile({{1264, 1.0f, Ramp}, {-2, -0.5f, Step}});
    const unsigned char expected[] = {2, 0, 0, 0,                                // count
                                      0xf0, 0x04, 0, 0, 0, 0, 0x80, 0x3f, 3,     // 1264, 1.0f, ramp
                                      0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0xbf, 0}; // -2, -0.5f, step
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(TimelineRoundTrip, DecodingRejectsFilesTheSourceCouldNotExpress)
{
    std::vector<SyncKey> keys;
    std::string why;
    const std::string good = encodeTrackFile({{0, 1.0f, Linear}, {16, 2.0f, Step}});
    EXPECT_TRUE(decodeTrackFile(good, keys, why));
    EXPECT_FALSE(decodeTrackFile(good.substr(0, good.size() - 1), keys, why));  // short
    EXPECT_FALSE(decodeTrackFile(good + "x", keys, why));                        // trailing byte
    EXPECT_FALSE(decodeTrackFile("\x01\x00", keys, why));                        // no count
    EXPECT_FALSE(decodeTrackFile(encodeTrackFile({{0, 1.0f, 4}}), keys, why));   // type 4
    EXPECT_FALSE(decodeTrackFile(encodeTrackFile({{0, NAN, Step}}), keys, why));
    EXPECT_FALSE(decodeTrackFile(encodeTrackFile({{5, 1.0f, Step}, {5, 2.0f, Step}}), keys, why));
    EXPECT_NE(why.find("key 1"), std::string::npos);
}

// ---------------------------------------------------------------- evaluation

TEST(TimelineEvaluation, CompiledFilesGiveTheSourceValuesAndTheirInterpolation)
{
    const std::string source =
        "track fade\n  1s 2 linear\n  2s 4 smooth\n  3s 2 ramp\n  4s 6 step\n  5s -1\n"
        "track 13 logo   # comment after a header\n  10r 0.5\nend\n";
    Scratch scratch("eval");
    ASSERT_EQ(compileInto(scratch, scratch.write("e.timeline", source), ""), std::vector<std::string>{});
    const CompiledTracks compiled(scratch.path("sync"));

    // On every key, the key's value; before the first, the first.
    EXPECT_FLOAT_EQ(compiled.atRow(8, 16), 2.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, 32), 4.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, 48), 2.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, 64), 6.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, 80), -1.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, -40), 2.0f);
    EXPECT_FLOAT_EQ(compiled.atRow(8, 5000), -1.0f);
    // Between keys, each interpolation's shape.
    EXPECT_FLOAT_EQ(compiled.atRow(8, 24), 3.0f);        // linear halfway
    EXPECT_FLOAT_EQ(compiled.atRow(8, 36), 3.6875f);     // smooth at a quarter: 4 - 2 * 0.15625
    EXPECT_FLOAT_EQ(compiled.atRow(8, 56), 2.0f + 4.0f * 0.25f);  // ramp halfway: t^2
    EXPECT_FLOAT_EQ(compiled.atRow(8, 79.9), 6.0f);      // step holds to the next key
    EXPECT_FLOAT_EQ(compiled.atRow(13, 0), 0.5f);
    EXPECT_FLOAT_EQ(compiled.atRow(0, 100), 0.0f);       // no block: no keys
}

TEST(TimelineEvaluation, BarsAndBeatsFollowEveryTempoLine)
{
    EventFile events;
    std::vector<std::string> errors;
    // 120 BPM in 4/4 from 2 s; at 9 s (three and a half bars in) 90 BPM in 3/4.
    ASSERT_TRUE(parseEventText("tempo 2 120 4\ntempo 9 90 3\n", "ev.txt", events, errors));
    double seconds = 0.0;
    std::string why;
    ASSERT_TRUE(secondsAtBarBeat(events, 1, 1, seconds, why));
    EXPECT_DOUBLE_EQ(seconds, 2.0);
    ASSERT_TRUE(secondsAtBarBeat(events, 3, 2.5, seconds, why));
    EXPECT_DOUBLE_EQ(seconds, 2.0 + 8 * 0.5 + 1.5 * 0.5);
    // The partial fourth bar is cut short: bar 5 starts the new grid.
    ASSERT_TRUE(secondsAtBarBeat(events, 5, 1, seconds, why));
    EXPECT_DOUBLE_EQ(seconds, 9.0);
    ASSERT_TRUE(secondsAtBarBeat(events, 6, 3, seconds, why));
    EXPECT_DOUBLE_EQ(seconds, 9.0 + 5 * (60.0 / 90.0));
    EXPECT_FALSE(secondsAtBarBeat(events, 6, 4, seconds, why));  // 3/4 has no fourth beat
    EXPECT_FALSE(secondsAtBarBeat(events, 0, 1, seconds, why));

    TimelineSource source;
    ASSERT_TRUE(parseTimeline("track 8\n  3:2.5 1\n  5:1 2\n", "b.timeline", &events, source, errors));
    EXPECT_EQ(source.tracks[8].keys[0].key.row, 108);  // 6.75 s
    EXPECT_EQ(source.tracks[8].keys[1].key.row, 144);  // 9 s
}

TEST(TimelineEvaluation, TimesReadBackAsTheBarAndBeatThatGaveThem)
{
    EventFile events;
    std::vector<std::string> errors;
    ASSERT_TRUE(parseEventText("tempo 2 120 4\ntempo 11 90 3\n", "ev", events, errors));
    int bar = 0;
    double beat = 0.0;
    EXPECT_FALSE(barBeatAtSeconds(events, 1.0, bar, beat));
    for (const auto& [writtenBar, writtenBeat] : std::vector<std::pair<int, double>>{
             {1, 1.0}, {3, 2.5}, {5, 2.75}, {6, 1.0}, {7, 3.0}, {9, 2.0}}) {
        double seconds = 0.0;
        std::string why;
        ASSERT_TRUE(secondsAtBarBeat(events, writtenBar, writtenBeat, seconds, why)) << why;
        ASSERT_TRUE(barBeatAtSeconds(events, seconds, bar, beat));
        EXPECT_EQ(bar, writtenBar) << seconds;
        EXPECT_NEAR(beat, writtenBeat, 1e-6) << seconds;
    }
}

TEST(TimelineEvaluation, PulseIsOneOnEachKickAndZeroBeforeTheNext)
{
    EventFile events;
    std::vector<std::string> errors;
    ASSERT_TRUE(parseEventText("kick 1.0\nkick 1.5\nsnare 1.5\nkick 2.5\nkick 2.53125\nkick 3.0\n",
                               "ev.txt", events, errors));
    TimelineSource source;
    TrackKeys keys;
    ASSERT_TRUE(parseTimeline("track 9\n  pulse kick 1\ntrack 12\n  0s 0\n  pulse kick 0.5 from 2s until 3s\n",
                              "p.timeline", &events, source, errors));
    ASSERT_TRUE(buildTrackKeys(source, &events, keys, errors));
    SyncTrack pulse{"9", keys[9], int32_t(keys[9].size())};

    for (double kick : {1.0, 1.5, 3.0})
        EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, kick * 16)), 1.0f) << kick;
    EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, 1.5 * 16 - 1)), 0.0f);  // a row before the next kick
    EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, 2.5 * 16 - 1)), 0.0f);
    double previous = 1.0;
    for (double row = 24.25; row < 40; row += 0.5) {  // falling all the way from 1.5 s to 2.5 s
        const double v = getSyncValue(&pulse, row);
        EXPECT_LE(v, previous) << row;
        EXPECT_GE(v, 0.0) << row;
        previous = v;
    }
    EXPECT_EQ(previous, 0.0);
    // Kicks half a row apart peak on neighbouring rows; the last one still decays.
    EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, 40)), 1.0f);
    EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, 48 + 7)), 0.0f);
    EXPECT_LT(getSyncValue(&pulse, 48 + 2), 0.5);

    // A window of events, merged with a hand key.
    SyncTrack limited{"12", keys[12], int32_t(keys[12].size())};
    EXPECT_FLOAT_EQ(float(getSyncValue(&limited, 24)), 0.0f);   // the kick at 1.5 s is outside
    EXPECT_FLOAT_EQ(float(getSyncValue(&limited, 40)), 0.5f);   // 2.5 s is inside
    EXPECT_FLOAT_EQ(float(getSyncValue(&limited, 48)), 0.0f);   // 3 s is not: until is exclusive
}

TEST(TimelineEvaluation, PeaksLandOnTheNearestRowAndHoldAtTheEventItself)
{
    // Off-row times on both sides of their nearest row, hits close together,
    // and the drop at 135.18 s (row 2162.88).
    EventFile events;
    std::vector<std::string> errors;
    const std::vector<double> kicks = {1.03, 2.02, 3.05, 3.17, 3.30, 4.0};
    ASSERT_TRUE(parseEventText("kick 1.03\nkick 2.02\nkick 3.05\nkick 3.17\nkick 3.30\nkick 4.0\n"
                               "impact 135.18\n",
                               "ev.txt", events, errors));
    TimelineSource source;
    TrackKeys keys;
    ASSERT_TRUE(parseTimeline("track 9\n  0s 0\n  pulse kick 1\ntrack 12\n  0s 0\n  flash impact 1 1.25s\n",
                              "p.timeline", &events, source, errors));
    ASSERT_TRUE(buildTrackKeys(source, &events, keys, errors));
    SyncTrack pulse{"9", keys[9], int32_t(keys[9].size())};
    SyncTrack flash{"12", keys[12], int32_t(keys[12].size())};

    auto check = [](const SyncTrack& track, double seconds) {
        const double nearest = std::floor(seconds * 16 + 0.5);
        const double peak = getSyncValue(&track, nearest);
        EXPECT_FLOAT_EQ(float(peak), 1.0f) << seconds;
        EXPECT_LT(getSyncValue(&track, nearest - 1), peak) << seconds;
        EXPECT_LT(getSyncValue(&track, nearest + 1), peak) << seconds;
        EXPECT_GE(getSyncValue(&track, seconds * 16), 0.8) << seconds;
    };
    for (double kick : kicks)
        check(pulse, kick);
    check(flash, 135.18);
    // Between two kicks the pulse still reaches zero a row before the next.
    EXPECT_FLOAT_EQ(float(getSyncValue(&pulse, 47)), 0.0f);
    EXPECT_FLOAT_EQ(float(getSyncValue(&flash, 2163 + 20)), 0.0f);  // 1.25 s after the peak
}

TEST(TimelineEvaluation, FlashDecaysWithinItsTime)
{
    EventFile events;
    std::vector<std::string> errors;
    ASSERT_TRUE(parseEventText("impact 79.0 # the cut\nsnare 80.0\n", "ev.txt", events, errors));
    TimelineSource source;
    TrackKeys keys;
    ASSERT_TRUE(parseTimeline("track flash\n  0s 0\n  77.5s 0 ramp\n  flash impact 1 0.5s\n",
                              "f.timeline", &events, source, errors));
    ASSERT_TRUE(buildTrackKeys(source, &events, keys, errors));
    SyncTrack flash{"12", keys[12], int32_t(keys[12].size())};
    EXPECT_FLOAT_EQ(float(getSyncValue(&flash, 1264)), 1.0f);
    EXPECT_FLOAT_EQ(float(getSyncValue(&flash, 1252)), 0.25f);  // the hand ramp into it, t = 0.5
    EXPECT_GT(getSyncValue(&flash, 1266), 0.0);
    EXPECT_FLOAT_EQ(float(getSyncValue(&flash, 1272)), 0.0f);   // 0.5 s later
    EXPECT_FLOAT_EQ(float(getSyncValue(&flash, 1400)), 0.0f);
}

// ---------------------------------------------------------------- errors

TEST(TimelineErrors, EveryErrorNamesItsFileAndLine)
{
    struct Case {
        std::string text;
        std::string expected;  // file:line and a word of the message
    };
    const Case cases[] = {
        {"track 8\n  0s 1\ntrack 64\n", "t.timeline:3: unknown track '64'"},
        {"track 8\n\ntrack glow\n", "t.timeline:3: unknown track 'glow'"},
        {"track 8 logo\n", "t.timeline:1: track 8 is named 'fade'"},
        {"track 8\n  1s 0\n  2s 1\n  2s 3\n", "t.timeline:4: time does not increase"},
        {"track 8\n  1s 0\n  16r 1\n", "t.timeline:3: time does not increase"},
        {"track 8\n  1.01s 0\n  1.02s 1\n", "t.timeline:3: time does not increase"},  // same row
        {"track 8\n  1s 0 cubic\n", "t.timeline:2: bad interpolation 'cubic'"},
        {"track 8\n  1s one\n", "t.timeline:2: value 'one' is not a number"},
        {"track 8\n  1s nan\n", "t.timeline:2: value 'nan' is not a number"},
        {"track 8\n  1s 1e39\n", "t.timeline:2: value '1e39' is not a number"},
        {"track 8\n  1s 2x\n", "t.timeline:2: value '2x' is not a number"},
        {"track 8\n  soon 1\n", "t.timeline:2: bad time 'soon'"},
        {"track 8\n  1.5r 1\n", "t.timeline:2: bad time '1.5r'"},
        {"track 8\n  99999999999r 1\n", "t.timeline:2: time '99999999999r' is out of range"},
        {"track 8\n  4:1 1\n", "t.timeline:2: bar:beat time '4:1' needs the event file"},
        {"  1s 0\ntrack 8\n", "t.timeline:1: key outside a track block"},
        {"track 8\n  1s 0 linear extra\n", "t.timeline:2: expected '<time> <value>"},
        {"track 8\ntrack fade\n", "t.timeline:2: track 8 already has a block on line 1"},
        {"track 9\n  pulse kick\n", "t.timeline:2: expected 'pulse <event> <peak>"},
        {"track 9\n  flash impact 1 0s\n", "t.timeline:2: bad duration '0s'"},
        {"track 9\n  pulse kick 1 after 3s\n", "t.timeline:2: expected 'pulse"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> errors = parseErrors(c.text);
        ASSERT_EQ(errors.size(), 1u) << c.text;
        EXPECT_EQ(errors[0].rfind(c.expected, 0), 0u) << errors[0];
    }

    // Generated keys are checked against hand keys, naming both lines.
    EventFile events;
    std::vector<std::string> eventErrors;
    ASSERT_TRUE(parseEventText("tempo 0 120 4\nkick 1\n", "ev.txt", events, eventErrors));
    const std::vector<std::string> clash = parseErrors("track 9\n  pulse kick 1\n  1s 0.5\n", &events);
    ASSERT_EQ(clash.size(), 1u);
    EXPECT_EQ(clash[0], "t.timeline:3: key at row 16 meets a key generated by line 2");
    const std::vector<std::string> late = parseErrors("track 8\n  2:5 1\n", &events);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].rfind("t.timeline:2: bad bar:beat '2:5'", 0), 0u) << late[0];
}

TEST(TimelineSections, StandOutsideTheBlocksInIncreasingOrder)
{
    EventFile events;
    std::vector<std::string> errors;
    ASSERT_TRUE(parseEventText("tempo 0 120 4\n", "ev", events, errors));
    TimelineSource source;
    ASSERT_TRUE(parseTimeline("section 0s intro\ntrack 8\n  0s 1\nsection 3:1 the drop\n  4s 2\n",
                              "t.timeline", &events, source, errors))
        << errors[0];
    ASSERT_EQ(source.sections.size(), 2u);
    EXPECT_EQ(source.sections[1].row, 64);  // bar 3 at 120 BPM: 4 s
    EXPECT_EQ(source.sections[1].name, "the drop");
    EXPECT_EQ(source.tracks[8].keys.size(), 2u);  // the block goes on past the marker

    errors = parseErrors("section 5s b\nsection 5s c\nsection\nsection x\n");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].rfind("t.timeline:2: section does not come after", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("t.timeline:3:", 0), 0u);
    EXPECT_EQ(errors[2].rfind("t.timeline:4: bad time", 0), 0u);
}

TEST(TimelineErrors, AllErrorsAreReportedAtOnce)
{
    const std::vector<std::string> errors = parseErrors("track 8\n  1s x\n  2s 1 spline\ntrack 99\n  3s 1\n");
    ASSERT_EQ(errors.size(), 3u);  // the key under the broken header adds nothing
    EXPECT_EQ(errors[0].rfind("t.timeline:2:", 0), 0u);
    EXPECT_EQ(errors[1].rfind("t.timeline:3:", 0), 0u);
    EXPECT_EQ(errors[2].rfind("t.timeline:4:", 0), 0u);
}

TEST(TimelineErrors, EventFileErrorsNameTheirLine)
{
    EventFile events;
    std::vector<std::string> errors;
    EXPECT_FALSE(parseEventText("tempo 0 120 4\nkick\ntempo 3 -1 4\nsnare 2.x\n", "ev.txt", events, errors));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].rfind("ev.txt:2:", 0), 0u);
    EXPECT_EQ(errors[1].rfind("ev.txt:3:", 0), 0u);
    EXPECT_EQ(errors[2].rfind("ev.txt:4:", 0), 0u);
}

TEST(TimelineErrors, NothingIsWrittenWhenTheSourceHasAnError)
{
    Scratch scratch("noerr");
    const std::string previous = encodeTrackFile({{0, 42.0f, Step}});
    scratch.write("sync_8.track", previous);
    const std::string source = scratch.write("bad.timeline", "track 8\n  0s 1\ntrack 13\n  1s ?\n");
    const std::vector<std::string> errors = compileInto(scratch, source, "");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(source + ":4:", 0), 0u);
    EXPECT_EQ(fileBytes(scratch.path("sync_8.track")), previous);
    for (int t = 0; t < trackCount; ++t) {
        if (t != 8) {
            EXPECT_FALSE(fs::exists(scratch.path("sync_" + std::to_string(t) + ".track"))) << t;
        }
    }

    // An event kind the file never names warns but compiles.
    std::vector<std::string> errors2, warnings;
    const std::string kik = scratch.write("kik.timeline", "track 9\n  pulse kik 1\nend\n");
    EXPECT_TRUE(compileTimeline(CompileOptions{kik, scratch.write("k.txt", "kick 1\n"), scratch.path("w/sync")},
                                errors2, &warnings));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind(kik + ":2: warning:", 0), 0u) << warnings[0];

    // A broken or missing event file stops the compile as well.
    const std::string good = scratch.write("good.timeline", "track 8\n  0s 1\nend\n");
    EXPECT_FALSE(compileInto(scratch, good, scratch.write("ev.txt", "kick x\n")).empty());
    EXPECT_FALSE(compileInto(scratch, good, scratch.path("absent.txt")).empty());
    EXPECT_EQ(fileBytes(scratch.path("sync_8.track")), previous);
    EXPECT_FALSE(fs::exists(scratch.path("sync_0.track")));
}

TEST(TimelineErrors, AFileThatCannotBeWrittenLeavesTheOldSetWhole)
{
    // A file system that fills up part way through the set: a small tmpfs
    // (root only), with room left for about 40 of the 64 new files.
    Scratch scratch("allornothing");
    const fs::path disk = scratch.dir / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::string base = (disk / "sync").string();
    const std::string first = scratch.write("a.timeline", "track 8\n  0s 1\ntrack 40\n  0s 2\nend\n");
    std::vector<std::string> errors;
    ASSERT_TRUE(compileTimeline(CompileOptions{first, "", base}, errors));
    const std::string before = dumpAll(base);
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {}
    }
    fs::resize_file(disk / "filler", fs::file_size(disk / "filler") - 40 * 4096);
    const std::string second = scratch.write("b.timeline", "track 8\n  0s 5\ntrack 40\n  0s 6\nend\n");
    int replaced = -1;
    errors.clear();
    EXPECT_FALSE(compileTimeline(CompileOptions{second, "", base}, errors, nullptr, &replaced));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left"), std::string::npos) << errors[0];
    EXPECT_EQ(replaced, 0);
    EXPECT_EQ(dumpAll(base), before);
    for (const fs::directory_entry& entry : fs::directory_iterator(disk))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

    fs::remove(disk / "filler");
    errors.clear();
    EXPECT_TRUE(compileTimeline(CompileOptions{second, "", base}, errors, nullptr, &replaced));
    EXPECT_EQ(replaced, trackCount);
    EXPECT_EQ(CompiledTracks(base).at(40, 1.0), 6.0);
    ::umount(disk.c_str());
}

// ---------------------------------------------------------------- the production

struct Production : ::testing::Test {
    static inline Scratch* scratch = nullptr;
    static inline CompiledTracks* compiled = nullptr;

    static void SetUpTestSuite()
    {
        scratch = new Scratch("production");
        const std::vector<std::string> errors =
            compileInto(*scratch, productionSource, scratch->write("events.txt", productionLikeEvents()));
        for (const std::string& e : errors)
            ADD_FAILURE() << e;
        compiled = new CompiledTracks(scratch->path("sync"));
    }
    static void TearDownTestSuite()
    {
        delete compiled;
        delete scratch;
    }
    // Every row of a span of seconds, half-row steps included.
    template <typename Check>
    static void forRows(double from, double to, Check check)
    {
        for (double row = from * 16.0; row < to * 16.0; row += 0.5)
            check(row);
    }
};

TEST_F(Production, StrandCameraModesOnlyInTheSecondScene)
{
    const SyncTrack& mode = compiled->tracks[0];
    for (const SyncKey& key : mode.keys) {
        EXPECT_EQ(key.type, Step) << key.row;  // interpolated modes would pass through others
        EXPECT_EQ(key.value, std::floor(key.value)) << key.row;
    }
    forRows(0.0, 79.0, [&](double row) {
        const float m = compiled->atRow(0, row);
        EXPECT_TRUE(m == 0.0f || m == 1.0f) << row / 16;
    });
    EXPECT_EQ(compiled->at(0, 100.0), 3.0);
    EXPECT_EQ(compiled->at(0, 125.0), 2.0);  // exactly 2: the strand camera acts only then
    EXPECT_EQ(compiled->at(0, 170.0), 2.0);
    EXPECT_EQ(compiled->at(0, 190.0), 1.0);
}

TEST_F(Production, TheGatherIsSeenWholeFrom11518)
{
    // The cut to the strand orbit is on the row nearest the build's first kick.
    EXPECT_EQ(compiled->at(0, 115.1875), 2.0);
    EXPECT_EQ(compiled->at(0, 115.1), 3.0);
    // Pulling back until 130 s, then pushing in with the roll, with every
    // strand node inside the shell by the end.
    double radius = 0.0;
    forRows(115.1875, 135.125, [&](double row) {
        EXPECT_EQ(compiled->atRow(0, row), 2.0f);
        const double r = compiled->atRow(1, row);
        if (row <= 130.0 * 16.0)
            EXPECT_GT(r, radius) << row / 16;
        else
            EXPECT_LT(r, radius) << row / 16;
        radius = r;
        EXPECT_EQ(compiled->atRow(8, row), 1.0f);
        EXPECT_GT(compiled->atRow(23, row), 0.5f);
    });
    EXPECT_GE(compiled->at(31, 135.18) * 100.0, 2500.0);
    EXPECT_LE(compiled->at(7, 125.0), 70.0);
}

TEST_F(Production, FadesInAndIsBlackBy207)
{
    EXPECT_EQ(compiled->at(8, 0.0), 0.0);
    forRows(6.0, 200.0, [&](double row) { EXPECT_EQ(compiled->atRow(8, row), 1.0f) << row / 16; });
    EXPECT_EQ(compiled->at(8, 207.0), 0.0);
    EXPECT_EQ(compiled->at(8, 207.6), 0.0);
    EXPECT_GT(compiled->at(8, 203.0), 0.1);
}

TEST_F(Production, FixedMomentsLandOnTheirRows)
{
    EXPECT_FLOAT_EQ(compiled->atRow(12, 1264), 1.0f);   // the white flash at the cut
    EXPECT_LT(compiled->atRow(12, 1240), 0.05f);
    EXPECT_LT(compiled->atRow(12, 1264 + 48), 0.05f);
    EXPECT_EQ(compiled->at(16, 6.0), 0.0);              // the dust ramps in 6 - 24 s
    EXPECT_GT(compiled->at(16, 15.0), 2000.0);
    EXPECT_EQ(compiled->at(16, 30.0), 8000.0);
    EXPECT_EQ(compiled->at(27, 39.9), 0.0);             // links from 40 s
    EXPECT_NE(compiled->at(27, 40.0), 0.0);
    EXPECT_GT(compiled->at(14, 14.0), 0.9);             // title 10 - 18, credits around 50 - 60
    EXPECT_GT(compiled->at(14, 55.0), 2.9);
    EXPECT_GT(compiled->at(9, 30.0), 0.99);             // a kick at 30 s
    EXPECT_LT(compiled->at(9, 30.45), 0.05);
    EXPECT_NE(compiled->at(36, 160.0), 0.0);            // explosion, logo, closing overlay
    EXPECT_GT(compiled->at(13, 170.0), 0.9);
    EXPECT_GT(compiled->at(35, 195.0), 0.9);
    EXPECT_GT(compiled->at(42, 150.0), 0.25);           // a small bulge on the beat, still after the stop
    EXPECT_EQ(compiled->at(42, 185.0), 0.0);
}

TEST_F(Production, NoPassIsDrivenIntoADegenerateValue)
{
    forRows(0.0, 207.6, [&](double row) {
        const double s = row / 16;
        const float mode = compiled->atRow(0, row);
        const float fov = compiled->atRow(7, row);
        EXPECT_TRUE(fov >= 30.0f && fov <= 90.0f) << s;
        if (compiled->atRow(36, row) != 0.0f) {
            EXPECT_GE(compiled->atRow(34, row), 50.0f) << s;  // 0 would divide by zero
        }
        if (mode == 2.0f) {
            EXPECT_GE(compiled->atRow(1, row), 1000.0f) << s;  // outside the strand's reach
        }
        if (mode == 3.0f) {
            EXPECT_GE(std::hypot(compiled->atRow(1, row), compiled->atRow(3, row)), 300.0f) << s;
        }
        if (mode == 1.0f) {
            EXPECT_GE(compiled->atRow(1, row), 1000.0f) << s;  // orbits stay outside the cloud
        }
        if (row >= 1264) {
            EXPECT_GT(compiled->atRow(23, row), 0.5f) << s;     // rungs keep their width
            EXPECT_GT(compiled->atRow(25, row), 0.0f) << s;
        } else {
            EXPECT_GE(compiled->atRow(15, row), 2.0f) << s;     // links need a cloud wider than 150
        }
        // Free mode: the eye never sits on the point it looks at.
        if (mode == 0.0f) {
            const double dx = compiled->atRow(1, row) - compiled->atRow(4, row);
            const double dy = compiled->atRow(2, row) - compiled->atRow(5, row);
            const double dz = compiled->atRow(3, row) - compiled->atRow(6, row);
            EXPECT_GT(std::sqrt(dx * dx + dy * dy + dz * dz), 100.0) << s;
        }
    });
}

TEST_F(Production, TheCameraNeverStops)
{
    // The eye's tracks change between any two frames a tenth of a second apart.
    forRows(0.0, 207.5, [&](double row) {
        bool moved = false;
        for (int t = 1; t <= 3; ++t)
            moved = moved || compiled->atRow(t, row) != compiled->atRow(t, row + 1.6);
        EXPECT_TRUE(moved) << row / 16;
    });
}

TEST_F(Production, TheEyeStaysOutsideTheSpheresAndTheLoneSphere)
{
    // The second scene's nodes, moved by the engine's own strand code and seen
    // through its own camera modes, one check every half row.
    SwarmField field;
    generate(field, 1500.0f, 100.0f);
    Camera camera;
    initCamera(camera);
    std::array<float, trackCount> values{};
    float closest = 1e30f;
    double closestAt = 0.0;
    for (double row = 1264; row < 207.6 * 16; row += 0.5) {
        const double seconds = row / 16;
        for (int t = 0; t < trackCount; ++t)
            values[t] = compiled->atRow(t, row);
        setCameraFromTracks(camera, values);
        if (int(values[0]) == 2)
            strandCamera(camera, values.data(), float(seconds));
        if (int(values[0]) == 3)
            clusterCamera(camera, values.data(), field, followedCluster(field, seconds));
        bendStrand(field, float(seconds), values.data());
        gatherClusters(field, float(seconds));
        if (seconds < 114.12)
            field.clusterCentres[0] = Vec4{0.0f, 0.0f, 0.0f, 50.0f};
        for (const Vec4& node : field.clusterCentres) {
            // A sphere is at most max(10, w / 5) units across its radius,
            // whatever the size mix; keep twice that between it and the eye.
            const float reach = 2.0f * std::max(10.0f, node.w * 0.2f);
            const float d = std::hypot(std::hypot(node.x - camera.eye.x, node.y - camera.eye.y),
                                       node.z - camera.eye.z) / reach;
            if (d < closest) {
                closest = d;
                closestAt = seconds;
            }
        }
    }
    EXPECT_GT(closest, 1.0f) << "the eye comes close to a node at " << closestAt << " s";

    // The first scene's lone sphere sits at the origin, 12 units across.
    forRows(0.0, 79.0, [&](double row) {
        for (int t = 0; t < trackCount; ++t)
            values[t] = compiled->atRow(t, row);
        setCameraFromTracks(camera, values);
        EXPECT_GT(glm::length(camera.eye), 40.0f) << row / 16;
    });
}

TEST(ProductionWithItsSoundtrack, CompilesWithTheGeneratedEventFileAndHitsItsEvents)
{
    const std::string eventsPath = std::string(QUILLON_SOURCE_DIR) + "/sync/events.txt";
    if (!fs::exists(eventsPath))
        GTEST_SKIP() << "the soundtrack's event file has not been generated";
    EventFile events;
    std::vector<std::string> errors;
    ASSERT_TRUE(loadEventFile(eventsPath, events, errors)) << errors.front();
    Scratch scratch("soundtrack");
    ASSERT_EQ(compileInto(scratch, productionSource, eventsPath), std::vector<std::string>{});
    const CompiledTracks compiled(scratch.path("sync"));

    const std::vector<double> kicks = eventTimes(events, "kick");
    ASSERT_FALSE(kicks.empty());
    // Each peak on the row nearest its hit, and most of it there at the hit itself.
    for (double kick : kicks) {
        EXPECT_FLOAT_EQ(compiled.atRow(9, std::floor(kick * 16 + 0.5)), 1.0f) << kick;
        EXPECT_GE(compiled.atRow(9, kick * 16), 0.8f) << kick;
    }
    for (double impact : eventTimes(events, "impact")) {
        const double nearest = std::floor(impact * 16 + 0.5);
        EXPECT_FLOAT_EQ(compiled.atRow(12, nearest), 1.0f) << impact;
        if (nearest <= impact * 16) {
            EXPECT_GE(compiled.atRow(12, impact * 16), 0.8f) << impact;
        } else {
            // A hit late in its row (the drop) washes white with the cut on
            // its nearest row; the frames before the cut are not greyed.
            EXPECT_LT(compiled.atRow(12, nearest - 0.25), 0.35f) << impact;
        }
    }
    EXPECT_FLOAT_EQ(compiled.atRow(12, 1264), 1.0f);  // the cut
}

} // namespace
