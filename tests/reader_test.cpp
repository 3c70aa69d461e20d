// The performance file reader: every kind of event, and what happens at the end of the bytes.

#include <gtest/gtest.h>

#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::performance;

// Every event up to the end of `bytes`, each as "Kind channel data1 data2".
std::string readAll(const Bytes& bytes) {
  PerformanceReader reader(bytes, "song.evt");
  std::string events;
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    events += (events.empty() ? "" : ", ") + std::string(eventKindName(e.kind)) + " " +
              std::to_string(e.channel) + " " + std::to_string(e.data1) + " " +
              std::to_string(e.data2);
  }
  return events;
}

TEST(PerformanceReader, ClassifiesEveryKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"F3 0A  F4 10 02", "Timing 10 0 0, Timing 272 0 0"},  // 16 + 128 × 2 ms
      {"FE 78  FE 7A  FE 7C  FE 41",
       "ClockMarker 0 0 0, AlignMarker 0 0 0, PipeMarker 0 0 0, OtherMarker 65 0 0"},
      // The system exclusive has 3 bytes after its F0.
      {"F0 01 02 F7  F1 33  F2  F6",
       "SystemExclusive 3 0 0, SystemF1 51 0 0, SystemF2 0 0 0, "
       "SystemF6 0 0 0"},
      {"B0 04 10  B1 0B 20  B2 40 7F  B3 7B 00  B4 07 64",
       "FootController 1 4 16, Expression 2 11 32, Sustain 3 64 127, AllNotesOff 4 123 0, "
       "Controller 5 7 100"},
      {"C5 30  86 3C 40  97 3C 64  D8 11  E9 00 40",
       "ProgramChange 6 48 0, NoteOff 7 60 64, NoteOn 8 60 100, ChannelPressure 9 17 0, "
       "PitchBend 10 0 64"},
      {"90 C8 FF", "NoteOn 1 200 255"},  // data bytes are not masked
      // No running status: polyphonic pressure and each data byte after it are strays (with
      // their channel), and so are status bytes without a meaning (with themselves).
      {"A1 3C 40  F5 F7 FF",
       "Stray 2 0 0, Stray 13 0 0, Stray 1 0 0, Stray 245 0 0, "
       "Stray 247 0 0, Stray 255 0 0"},
      // A data byte missing at the very end reads as 0.
      {"93 3C", "NoteOn 4 60 0"},
      {"FE", "OtherMarker 0 0 0"},
      {"F4 05", "Timing 5 0 0"},
      {"B0", "Controller 1 0 0"},
      // At most 512 bytes after F0 (512 modulo 256 is 0), with or without an F7 at the end.
      {"F0 12 F7", "SystemExclusive 2 0 0"},
  };
  for (const auto& [events, expected] : cases) {
    EXPECT_EQ(readAll(performance(events)), expected) << events;
  }
  EXPECT_EQ(readAll(performance("F0 " + test::repeat("01", 511) + " F7  F2")),
            "SystemExclusive 0 0 0, SystemF2 0 0 0");
  EXPECT_EQ(readAll(performance("F0 " + test::repeat("01", 512) + " 00 F2")),
            "SystemExclusive 0 0 0, Stray 1 0 0, SystemF2 0 0 0");
}

// (That the offsets cover every byte once is the reader fuzz target's model's.)
TEST(PerformanceReader, EndOfFileRepeatsUntilRewound) {
  const Bytes bytes = performance("F3 0A");
  PerformanceReader reader(bytes, "song.evt");
  EXPECT_EQ(reader.next().milliseconds(), 10);
  EXPECT_EQ(reader.next().kind, EventKind::EndOfFile);
  EXPECT_EQ(reader.next().kind, EventKind::EndOfFile);
  reader.rewind();
  EXPECT_EQ(reader.next().milliseconds(), 10);
}

TEST(PerformanceReader, EndsInsideSystemExclusive) {
  for (const char* events : {"F0", "F0 01 02 03", "F2 F0 7F"}) {
    EXPECT_FATAL_STOP(readAll(performance(events)),
                      "song.evt: the file ends inside a system-exclusive message");
  }
}

}  // namespace
}  // namespace koralux
