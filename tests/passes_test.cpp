// The passes over the input: the analysis (tempo, song start, channel verdicts) and the clock
// rule; the part transcription (velocities, mono mode, controllers and expression, the two
// timing modes); and a part that fails in a reading that feeds several.

#include <gtest/gtest.h>

#include "engine/analysis_pass.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/conversion_run.hpp"
#include "engine/performance_clock.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::repeat;
using test::sameBytes;

TEST(AnalysisPass, TempoAndSongStart) {
  struct Case {
    std::string events;
    std::int64_t tempo;
    Tick songStartOffset;
  };
  // Clock markers, each after a timing event of 21 (0x15) milliseconds.
  const auto markers = [](int count) { return repeat("F3 15 FE 78", count); };
  const Case cases[] = {
      // Without markers the starting estimate of 21 ms per marker stands: 119 beats per minute.
      {"", 119, -1920},
      // 25 ms apart: the average climbs to 2495, where the truncating division holds it.
      {repeat("F3 19 FE 78", 300), 100, -1920},
      // The first alignment marker after a clock marker is moved onto a bar line; one before
      // any clock marker leaves the align tick at 0, and later ones change nothing.
      {markers(1) + "FE 7A", 119, -1900},
      {markers(100) + "FE 7A", 119, -1840},
      {markers(96) + "FE 7A", 119, -1920},
      {"FE 7A " + markers(3) + "FE 7A " + markers(5) + "FE 7A", 119, 60 - 1920},
      // 65.5 seconds before the only clock marker drive the estimate to 0; it counts as 1.
      {"90 3C 64 " + repeat("F4 7F 7F", 4) + "FE 78 80 3C 40 F3 05 FE 78", 1, -1920},
  };
  for (const Case& c : cases) {
    const AnalysisResults results = test::analyse(test::performance(c.events));
    EXPECT_EQ(results.tempo, c.tempo) << c.events.substr(0, 30);
    EXPECT_EQ(results.songStartOffset, c.songStartOffset) << c.events.substr(0, 30);
  }
}

TEST(ChannelActivity, Verdicts) {
  // Note-ons and releases on channel 3, and the verdict; fewer than 20 are too few to judge.
  const std::tuple<int, int, PartVerdict> cases[] = {
      {0, 0, PartVerdict::Absent},     {2, 0, PartVerdict::Balanced},
      {10, 9, PartVerdict::Balanced},  {30, 0, PartVerdict::OnHeavy},
      {100, 98, PartVerdict::OnHeavy}, {100, 99, PartVerdict::Balanced}};
  for (const auto& [on, off, verdict] : cases) {
    ChannelActivity activity;
    for (int i = 0; i < on + off; ++i) activity.record(3, i < on ? 100 : 0);
    activity.record(16, 100);  // outside the counted channels
    activity.record(-1, 100);
    EXPECT_EQ(activity.verdict(3), verdict) << on << " on, " << off << " off";
    EXPECT_EQ(activity.sounding(16), 0);
  }
}

TEST(PerformanceClock, IntervalSettlesAndInterpolates) {
  PerformanceClock clock(60000 / 120);
  std::vector<std::int64_t> intervals;
  for (int i = 0; i < 10; ++i) {
    clock.onTiming(20);
    clock.onClockMarker();
    intervals.push_back(clock.interval());
  }
  EXPECT_EQ(intervals, (std::vector<std::int64_t>{260, 140, 80, 50, 35, 27, 23, 21, 20, 20}));
  EXPECT_EQ(clock.onTiming(10), 200 + 10);
  // Markers without timing halve the interval to 0; it then counts as 1, so 10 ms give 200
  // ticks, not a crash.
  for (int i = 0; i < 20; ++i) clock.onClockMarker();
  EXPECT_EQ(clock.interval(), 0);
  EXPECT_EQ(clock.onTiming(10), 600 + 200);
  // Beyond 149 minutes without a clock marker, elapsed × 480 no longer fits in 32 bits.
  PerformanceClock slow(500);
  EXPECT_EQ(slow.onTiming(3 * 60 * 60 * 1000), std::int64_t{3 * 60 * 60 * 1000} * 480 / (500 * 24));
}

const AnalysisResults kPlainAnalysis{.tempo = 120, .songStartOffset = -1920, .activity = {}};

// One pass over `events`; returns its track after the seven-event prologue (which conversion_test
// pins).
Bytes pass(const TranscriptionParameters& parameters, const std::string& events,
           TranscriptionOptions timing) {
  const Bytes input = test::performance(events);
  PerformanceReader reader(input, "song.evt");
  SmfWriter writer;
  writer.create();
  runTranscriptionPass(reader, writer, organPart(parameters), kPlainAnalysis, timing);
  const Bytes track = test::trackBodies(writer.finish()).at(0);
  const auto prologue = static_cast<std::ptrdiff_t>(28 + parameters.trackName.size());
  return Bytes(track.begin() + prologue, track.end());
}

constexpr TranscriptionParameters kUpper{"Upper", 1, 1, false, 104, 48};
constexpr TranscriptionParameters kMonoPedal{"Pedal", 3, 3, true, 64, 43};

// An interpolated time that runs past the next clock marker: 2000 ms at an estimated 500 ms
// per marker put the note-on at tick 80; the markers that follow say 20, 40 and 60.
constexpr const char* kOvershoot = "F4 50 0F 90 3C 64  FE 78  FE 78  80 3C 40  FE 78";

TEST(Transcription, WorkedCases) {
  struct Case {
    TranscriptionParameters parameters;
    const char* events;
    const char* expected;  // the track after its prologue
    TranscriptionOptions timing = {};
  };
  const Case cases[] = {
      // Without clock or timing events every event lies at the song start, delta 0.
      // Velocities: note-offs 64 -> 84, 0 -> 0, 255 -> 87; note-ons 100, 1, 255, 0 -> 42, 40,
      // 45, 0.
      {kUpper, "90 3C 64  80 3C 40  80 3C 00  90 3C 00  90 3C 01  80 3C FF  90 3C FF",
       "00 90 3C 2A  00 80 3C 54  00 80 3C 00  00 90 3C 00  00 90 3C 28  00 80 3C 57  00 90 3C 2D"
       "  00 FF 2F 00"},
      // The source's controllers; any channel's expression to 7; pressure to 11; nothing else.
      {kUpper,
       "B0 04 10  B0 40 7F  B0 7B 00  B0 01 22  B1 01 22  B0 0B 50  B5 0B 51  D0 00  D0 7F  D3 40"
       "  C0 05  E0 00 40  F0 01 F7  FE 7A  FE 7C  F1 00  F2  F6  FE 41  A0 00  91 3C 64",
       "00 B0 04 10  00 B0 40 7F  00 B0 7B 00  00 B0 01 22  00 B0 07 50  00 B0 07 51  00 B0 0B 64"
       "  00 B0 0B 7F  00 FF 2F 00"},
      // Mono: a new note, or a release of any note, releases the held one; with nothing held a
      // release is its own, and a note-on of velocity 0 is held too.
      {kMonoPedal, "92 28 64  92 2B 64  82 28 40",
       "00 92 28 2A  00 82 28 00  00 92 2B 2A  00 82 2B 54  00 FF 2F 00"},
      {kMonoPedal, "82 30 40  92 28 00  92 2B 64",
       "00 82 30 54  00 92 28 00  00 82 28 00  00 92 2B 2A  00 FF 2F 00"},
      // Percussion: channel 15 moved onto 10.
      {{"Percussion", 15, 10, false, 64, 0},
       "9E 24 64 8E 24 40",
       "00 99 24 2A 00 89 24 54 00 FF 2F 00"},
      // Other channels' notes are left out, but their clock markers move the track on.
      {kUpper, "FE 78 90 3C 64 FE 78 91 30 64 FE 78 80 3C 40",
       "8F 14 90 3C 2A 28 80 3C 54 00 FF 2F 00"},
      // Without the rhythm unit every timing event is a clock marker too, whatever its length.
      {kUpper,
       "F3 00 90 3C 64 F3 05 F4 7F 7F 80 3C 40 F3 FF",
       "8F 14 90 3C 2A 28 80 3C 54 14 FF 2F 00",
       {true, false}},
      // The overshoot is held: the note-off (marker time 40) and the end stay at the note-on's 80.
      {kUpper, kOvershoot, "8F 50 90 3C 2A  00 80 3C 54  00 FF 2F 00"},
      // Legacy: the marker at 20 pulls the reference back from 80, so the note-off at 40 lands
      // at 100 and the end at 120.
      {kUpper, kOvershoot, "8F 50 90 3C 2A  14 80 3C 54  14 FF 2F 00", {false, true}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(sameBytes(hex(c.expected), pass(c.parameters, c.events, c.timing))) << c.events;
  }
}

// Markers without timing events halve the interval estimate to nothing (it then counts as 1);
// each timing event of 16383 ms after that moves the clock 327660 ticks, and about 820 of
// them pass the longest pause a MIDI file can hold. A note on channel 2 comes before one on
// channel 1, so the lower manual's track fails first, with a longer pause; each track fails on
// its own, and the conversion reports the first part's error, after that part's status.
TEST(PartsReading, EachPartFailsOnItsOwnAndTheFirstPartsErrorIsReported) {
  const Bytes input =
      test::performance("FE 78 90 3C 64 80 3C 40 " + repeat("FE 78", 11) + repeat("F4 7F 7F", 830) +
                        "91 3C 64 81 3C 40 90 3C 64 80 3C 40");
  ConversionSettings settings;
  settings.inputPath = "song.evt";
  test::RecordingObserver observer;
  EXPECT_FATAL_STOP(convertPerformance(input, settings, observer),
                    "song.evt: the performance has a pause of 271958020 ticks");
  EXPECT_EQ(observer.calls,
            (std::vector<std::string>{"progressBegin 3",
                                      "status Status: Transcribing Lower Upper Notes"}));
}

}  // namespace
}  // namespace koralux
