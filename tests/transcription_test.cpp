// The part transcription pass, seen through whole conversions of small performances: prologue,
// velocities, mono mode, expression, timing, and the two timing modes.

#include <gtest/gtest.h>

#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::performance;
using test::sameBytes;

std::vector<Bytes> convertTracks(const Bytes& input, bool rhythmUnitAbsent = false,
                                 bool legacyTiming = false) {
  ConversionSettings settings;
  settings.inputPath = "song.evt";
  settings.rhythmUnitAbsent = rhythmUnitAbsent;
  settings.legacyTiming = legacyTiming;
  SilentObserver observer;
  return test::trackBodies(convertPerformance(input, settings, observer).midi);
}

// A part track without its 7-event prologue, whose own bytes are checked on the way.
Bytes afterPrologue(const Bytes& track, const Bytes& prologue) {
  EXPECT_TRUE(sameBytes(prologue,
                        Bytes(track.begin(), track.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                 prologue.size(), track.size())))));
  return Bytes(track.begin() + static_cast<std::ptrdiff_t>(std::min(prologue.size(), track.size())),
               track.end());
}

// Channel 1's track (the second) after its prologue.
Bytes upperEvents(const Bytes& input, bool rhythmUnitAbsent = false, bool legacyTiming = false) {
  const auto tracks = convertTracks(input, rhythmUnitAbsent, legacyTiming);
  if (tracks.size() < 2) {
    ADD_FAILURE() << "no part track";
    return {};
  }
  return afterPrologue(tracks[1], hex("00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
                                      "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00"));
}

TEST(Transcription, VelocityMappings) {
  // Without clock or timing events every event lies at the song start, delta 0.
  // Note-offs: 64 -> 84, 0 stays 0, 255 -> 215 cut to 7 bits. Note-ons: 100 -> 42, 1 -> 40,
  // 255 -> 45, 0 stays 0.
  EXPECT_TRUE(sameBytes(hex("00 90 3C 2A  00 80 3C 54  00 80 3C 00  00 90 3C 00  00 90 3C 28"
                            "  00 80 3C 57  00 90 3C 2D  00 FF 2F 00"),
                        upperEvents(performance("90 3C 64  80 3C 40  80 3C 00  90 3C 00  90 3C 01"
                                                "  80 3C FF  90 3C FF"))));
}

TEST(Transcription, ControllersPressureAndExpression) {
  EXPECT_TRUE(sameBytes(
      hex("00 90 3C 2A  00 80 3C 54"
          "  00 B0 04 10  00 B0 40 7F  00 B0 7B 00  00 B0 01 22"  // the source's controllers
          "  00 B0 07 50  00 B0 07 51"                            // expression from any channel
          "  00 B0 0B 64  00 B0 0B 7F"                            // pressure 0 and 127
          "  00 FF 2F 00"),
      upperEvents(performance("90 3C 64  80 3C 40"
                              "  B0 04 10  B0 40 7F  B0 7B 00  B0 01 22  B1 01 22"
                              "  B0 0B 50  B5 0B 51"
                              "  D0 00  D0 7F  D3 40"
                              "  C0 05  E0 00 40  F0 01 F7  FE 7A  FE 7C  F1 00  F2  F6  FE 41"
                              "  A0 00  91 3C 64"))));
}

// Runs one pass straight over `events` with the given parameters; returns the track after its
// prologue.
Bytes pass(const TranscriptionParameters& parameters, const std::string& events,
           bool rhythmUnitAbsent = false) {
  const Bytes input = performance(events);
  PerformanceReader reader(input, "song.evt");
  SmfWriter writer;
  writer.create();
  AnalysisResults analysis;
  analysis.tempo = 120;
  analysis.songStartOffset = -1920;
  const auto count =
      runTranscriptionPass(reader, writer, parameters, analysis, {rhythmUnitAbsent, false});
  EXPECT_GE(count, 0);
  const Bytes track = test::trackBodies(writer.finish()).at(0);
  const std::size_t prologue = 28 + parameters.trackName.size();  // seven events, delta 0
  return Bytes(track.begin() + static_cast<std::ptrdiff_t>(prologue), track.end());
}

constexpr TranscriptionParameters kMonoPedal{"Pedal", 3, 3, true, 64, 43};

TEST(Transcription, MonoModeReleasesTheHeldNote) {
  EXPECT_TRUE(sameBytes(hex("00 92 28 2A  00 82 28 00  00 92 2B 2A  00 82 2B 54  00 FF 2F 00"),
                        pass(kMonoPedal, "92 28 64  92 2B 64  82 2B 40")));
  // A release of the earlier note releases the held one; 40 was already released.
  EXPECT_TRUE(sameBytes(hex("00 92 28 2A  00 82 28 00  00 92 2B 2A  00 82 2B 54  00 FF 2F 00"),
                        pass(kMonoPedal, "92 28 64  92 2B 64  82 28 40")));
  // With nothing held a release uses its own note; a note-on of velocity 0 is held too.
  EXPECT_TRUE(sameBytes(hex("00 82 30 54  00 92 28 00  00 82 28 00  00 92 2B 2A  00 FF 2F 00"),
                        pass(kMonoPedal, "82 30 40  92 28 00  92 2B 64")));
}

TEST(Transcription, PrologueAndChannelMove) {
  const Bytes input = performance("9E 24 64 8E 24 40");
  PerformanceReader reader(input, "song.evt");
  SmfWriter writer;
  writer.create();
  AnalysisResults analysis;
  analysis.tempo = 120;
  analysis.songStartOffset = -1920;
  EXPECT_EQ(
      runTranscriptionPass(reader, writer, {"Percussion", 15, 10, false, 64, 0}, analysis, {}), 1);
  EXPECT_TRUE(sameBytes(hex("00 FF 03 0A 'Percussion'  00 FF 21 01 00  00 FF 20 01 09"
                            "  00 B9 07 64  00 B9 0A 40  00 C9 00  00 D9 00"
                            "  00 99 24 2A  00 89 24 54  00 FF 2F 00"),
                        test::trackBodies(writer.finish()).at(0)));
}

TEST(Transcription, OtherChannelsGiveOnlyTheirTiming) {
  // Tempo 120: the interval estimate starts at 500 ms. Channel 2's note is not written, but the
  // clock markers around it still move the track on: 20 ticks each.
  EXPECT_TRUE(sameBytes(
      hex("8F 14 90 3C 2A  28 80 3C 54  00 FF 2F 00"),
      pass({"Upper", 1, 1, false, 104, 48}, "FE 78 90 3C 64 FE 78 91 30 64 FE 78 80 3C 40")));
}

TEST(Transcription, WithoutTheRhythmUnitEveryTimingEventIsAClockMarker) {
  // Whatever their milliseconds, timing events advance the track by 20 ticks each.
  EXPECT_TRUE(sameBytes(
      hex("8F 14 90 3C 2A  28 80 3C 54  14 FF 2F 00"),
      pass({"Upper", 1, 1, false, 104, 48}, "F3 00 90 3C 64 F3 05 F4 7F 7F 80 3C 40 F3 FF", true)));
}

TEST(Transcription, ClockMarkersWithoutTimingDoNotDivideByZero) {
  // Markers with no timing event between them halve the interval down to 0.
  std::string events;
  for (int i = 0; i < 12; ++i) events += "FE 78 ";
  events += "F3 01 90 3C 64";
  // 240 ticks of markers, then 1 ms at an interval counted as 1: 20 ticks more.
  EXPECT_TRUE(
      sameBytes(hex("91 04 90 3C 2A  00 FF 2F 00"), pass({"Upper", 1, 1, false, 104, 48}, events)));
}

// An interpolated time that runs past the next clock marker: 2000 ms at an estimated 500 ms
// per marker put the note-on at tick 80; the markers that follow say 20, 40 and 60.
constexpr const char* kOvershoot = "F4 50 0F 90 3C 64  FE 78  FE 78  80 3C 40  FE 78";

TEST(Transcription, OvershootDoesNotDisplaceLaterEvents) {
  // The note-off (at marker time 40) and the end are held at the note-on's time 80.
  EXPECT_TRUE(sameBytes(hex("8F 50 90 3C 2A  00 80 3C 54  00 FF 2F 00"),
                        pass({"Upper", 1, 1, false, 104, 48}, kOvershoot)));
}

TEST(Transcription, LegacyTimingDisplacesLaterEventsByTheOvershoot) {
  const Bytes input = performance(kOvershoot);
  const auto track = [&](bool legacy) {
    PerformanceReader reader(input, "song.evt");
    SmfWriter writer;
    writer.create();
    AnalysisResults analysis;
    analysis.tempo = 120;
    analysis.songStartOffset = -1920;
    runTranscriptionPass(reader, writer, {"Upper", 1, 1, false, 104, 48}, analysis,
                         {false, legacy});
    const Bytes body = test::trackBodies(writer.finish()).at(0);
    return Bytes(body.end() - 8, body.end());  // the note-off and the end of track
  };
  // The marker at 20 pulls the reference back from 80: the note-off at 40 lands at 100, and the
  // end at 120.
  EXPECT_TRUE(sameBytes(hex("14 80 3C 54  14 FF 2F 00"), track(true)));
  EXPECT_TRUE(sameBytes(hex("00 80 3C 54  00 FF 2F 00"), track(false)));
}

}  // namespace
}  // namespace koralux
