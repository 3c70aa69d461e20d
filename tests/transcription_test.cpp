// The part transcription pass over small performances: prologue, velocities, mono mode,
// controllers and expression, timing, and the two timing modes.

#include <gtest/gtest.h>

#include "engine/analysis_pass.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::sameBytes;

// Runs one pass over `events` at tempo 120 with a song start of -1920; returns its track, the
// seven-event prologue left out unless `withPrologue`.
Bytes pass(const TranscriptionParameters& parameters, const std::string& events,
           TranscriptionTiming timing = {}, bool withPrologue = false) {
  const Bytes input = test::performance(events);
  PerformanceReader reader(input, "song.evt");
  SmfWriter writer;
  writer.create();
  AnalysisResults analysis;
  analysis.tempo = 120;
  analysis.songStartOffset = -1920;
  EXPECT_GE(runTranscriptionPass(reader, writer, parameters, analysis, timing), 0);
  const Bytes track = test::trackBodies(writer.finish()).at(0);
  const std::size_t prologue = withPrologue ? 0 : 28 + parameters.trackName.size();
  return Bytes(track.begin() + static_cast<std::ptrdiff_t>(prologue), track.end());
}

constexpr TranscriptionParameters kUpper{"Upper", 1, 1, false, 104, 48};
constexpr TranscriptionParameters kMonoPedal{"Pedal", 3, 3, true, 64, 43};

TEST(Transcription, PrologueAndChannelMove) {
  EXPECT_TRUE(sameBytes(hex("00 FF 03 0A 'Percussion'  00 FF 21 01 00  00 FF 20 01 09"
                            "  00 B9 07 64  00 B9 0A 40  00 C9 00  00 D9 00"
                            "  00 99 24 2A  00 89 24 54  00 FF 2F 00"),
                        pass({"Percussion", 15, 10, false, 64, 0}, "9E 24 64 8E 24 40", {}, true)));
}

// An interpolated time that runs past the next clock marker: 2000 ms at an estimated 500 ms
// per marker put the note-on at tick 80; the markers that follow say 20, 40 and 60.
constexpr const char* kOvershoot = "F4 50 0F 90 3C 64  FE 78  FE 78  80 3C 40  FE 78";

TEST(Transcription, WorkedCases) {
  struct Case {
    const char* what;
    TranscriptionParameters parameters;
    std::string events;
    const char* expected;  // the track after its prologue
    TranscriptionTiming timing = {};
  };
  std::string zeroInterval = test::repeat("FE 78", 12) + "F3 01 90 3C 64";
  const Case cases[] = {
      // Without clock or timing events every event lies at the song start, delta 0.
      {"note-offs: 64 -> 84, 0 stays 0, 255 -> 215 cut to 7 bits; note-ons: 100 -> 42, 1 -> 40, "
       "255 -> 45, 0 stays 0",
       kUpper, "90 3C 64  80 3C 40  80 3C 00  90 3C 00  90 3C 01  80 3C FF  90 3C FF",
       "00 90 3C 2A  00 80 3C 54  00 80 3C 00  00 90 3C 00  00 90 3C 28  00 80 3C 57  00 90 3C 2D"
       "  00 FF 2F 00"},
      {"the source's controllers, expression from any channel to 7, pressure to 11, nothing else",
       kUpper,
       "90 3C 64  80 3C 40  B0 04 10  B0 40 7F  B0 7B 00  B0 01 22  B1 01 22  B0 0B 50  B5 0B 51"
       "  D0 00  D0 7F  D3 40  C0 05  E0 00 40  F0 01 F7  FE 7A  FE 7C  F1 00  F2  F6  FE 41"
       "  A0 00  91 3C 64",
       "00 90 3C 2A  00 80 3C 54  00 B0 04 10  00 B0 40 7F  00 B0 7B 00  00 B0 01 22"
       "  00 B0 07 50  00 B0 07 51  00 B0 0B 64  00 B0 0B 7F  00 FF 2F 00"},
      {"mono: a new note releases the held one", kMonoPedal, "92 28 64  92 2B 64  82 2B 40",
       "00 92 28 2A  00 82 28 00  00 92 2B 2A  00 82 2B 54  00 FF 2F 00"},
      {"mono: a release of an earlier note releases the held one", kMonoPedal,
       "92 28 64  92 2B 64  82 28 40",
       "00 92 28 2A  00 82 28 00  00 92 2B 2A  00 82 2B 54  00 FF 2F 00"},
      {"mono: with nothing held a release is its own; a note-on of velocity 0 is held too",
       kMonoPedal, "82 30 40  92 28 00  92 2B 64",
       "00 82 30 54  00 92 28 00  00 82 28 00  00 92 2B 2A  00 FF 2F 00"},
      {"other channels' notes are left out, but their clock markers move the track on", kUpper,
       "FE 78 90 3C 64 FE 78 91 30 64 FE 78 80 3C 40", "8F 14 90 3C 2A  28 80 3C 54  00 FF 2F 00"},
      {"without the rhythm unit every timing event is a clock marker, whatever its length",
       kUpper,
       "F3 00 90 3C 64 F3 05 F4 7F 7F 80 3C 40 F3 FF",
       "8F 14 90 3C 2A  28 80 3C 54  14 FF 2F 00",
       {true, false}},
      {"markers without timing halve the interval to 0, then counted as 1: 1 ms is 20 ticks",
       kUpper, zeroInterval, "91 04 90 3C 2A  00 FF 2F 00"},
      {"an overshoot holds the note-off (marker time 40) and the end at the note-on's 80", kUpper,
       kOvershoot, "8F 50 90 3C 2A  00 80 3C 54  00 FF 2F 00"},
      {"legacy: the marker at 20 pulls the reference back from 80, so the note-off at 40 lands "
       "at 100 and the end at 120",
       kUpper,
       kOvershoot,
       "8F 50 90 3C 2A  14 80 3C 54  14 FF 2F 00",
       {false, true}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(sameBytes(hex(c.expected), pass(c.parameters, c.events, c.timing))) << c.what;
  }
}

}  // namespace
}  // namespace koralux
