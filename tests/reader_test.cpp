// The performance file reader: every kind of event, and what happens at the end of the bytes.

#include <gtest/gtest.h>

#include "common/fatal_stop.hpp"
#include "evt/performance_reader.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::performance;

std::vector<PerformanceEvent> readAll(const Bytes& bytes) {
  PerformanceReader reader(bytes, "song.evt");
  std::vector<PerformanceEvent> events;
  for (PerformanceEvent e = reader.next(); e.kind != EventKind::EndOfFile; e = reader.next()) {
    events.push_back(e);
  }
  return events;
}

using E = PerformanceEvent;
using K = EventKind;

TEST(PerformanceReader, ClassifiesEveryKind) {
  const auto events = readAll(performance(R"(
    F3 0A          # timing 10 ms
    F4 10 02       # timing 16 + 128 x 2
    FE 78  FE 7A  FE 7C  FE 41
    F0 01 02 F7    # system exclusive, 3 bytes after F0
    F1 33  F2  F6
    B0 04 10  B1 0B 20  B2 40 7F  B3 7B 00  B4 07 64
    C5 30  86 3C 40  97 3C 64  D8 11  E9 00 40
    F5 F7 FF)"));
  const std::vector<E> expected = {{K::Timing, 10, 0, 0},
                                   {K::Timing, 272, 0, 0},
                                   {K::ClockMarker, 0, 0, 0},
                                   {K::AlignMarker, 0, 0, 0},
                                   {K::PipeMarker, 0, 0, 0},
                                   {K::OtherMarker, 65, 0, 0},
                                   {K::SystemExclusive, 3, 0, 0},
                                   {K::SystemF1, 0x33, 0, 0},
                                   {K::SystemF2, 0, 0, 0},
                                   {K::SystemF6, 0, 0, 0},
                                   {K::FootController, 1, 4, 16},
                                   {K::Expression, 2, 11, 32},
                                   {K::Sustain, 3, 64, 127},
                                   {K::AllNotesOff, 4, 123, 0},
                                   {K::Controller, 5, 7, 100},
                                   {K::ProgramChange, 6, 0x30, 0},
                                   {K::NoteOff, 7, 60, 64},
                                   {K::NoteOn, 8, 60, 100},
                                   {K::ChannelPressure, 9, 0x11, 0},
                                   {K::PitchBend, 10, 0, 64},
                                   {K::Stray, 0xF5, 0, 0},
                                   {K::Stray, 0xF7, 0, 0},
                                   {K::Stray, 0xFF, 0, 0}};
  EXPECT_EQ(events, expected);
}

TEST(PerformanceReader, PolyphonicPressureAndDataBytesAreStrays) {
  // No running status: each data byte where an event should start is a stray of its own.
  const std::vector<E> expected = {{K::Stray, 2, 0, 0}, {K::Stray, 13, 0, 0}, {K::Stray, 1, 0, 0}};
  EXPECT_EQ(readAll(performance("A1 3C 40")), expected);
}

TEST(PerformanceReader, DataBytesAreNotMasked) {
  const std::vector<E> expected = {{K::NoteOn, 1, 0xC8, 0xFF}};
  EXPECT_EQ(readAll(performance("90 C8 FF")), expected);
}

TEST(PerformanceReader, MissingDataBytesAtTheEndReadAsZero) {
  EXPECT_EQ(readAll(performance("93 3C")), (std::vector<E>{{K::NoteOn, 4, 60, 0}}));
  EXPECT_EQ(readAll(performance("FE")), (std::vector<E>{{K::OtherMarker, 0, 0, 0}}));
  EXPECT_EQ(readAll(performance("F4 05")), (std::vector<E>{{K::Timing, 5, 0, 0}}));
  EXPECT_EQ(readAll(performance("B0")), (std::vector<E>{{K::Controller, 1, 0, 0}}));
}

TEST(PerformanceReader, EndOfFileRepeatsUntilRewound) {
  const Bytes bytes = performance("F2");
  PerformanceReader reader(bytes, "song.evt");
  EXPECT_EQ(reader.next().kind, K::SystemF2);
  EXPECT_EQ(reader.next().kind, K::EndOfFile);
  EXPECT_EQ(reader.next().kind, K::EndOfFile);
  reader.rewind();
  EXPECT_EQ(reader.offset(), 256u);
  EXPECT_EQ(reader.next().kind, K::SystemF2);
}

TEST(PerformanceReader, SystemExclusiveStopsAfter512Bytes) {
  // 600 bytes without F7: 512 are taken (512 modulo 256 is 0), the other 88 are read as events.
  Bytes bytes = performance("F0");
  bytes.insert(bytes.end(), 600, 0x01);
  const auto events = readAll(bytes);
  ASSERT_EQ(events.size(), 1u + 88u);
  EXPECT_EQ(events[0], (E{K::SystemExclusive, 0, 0, 0}));
  EXPECT_EQ(events[1], (E{K::Stray, 2, 0, 0}));

  Bytes exact = performance("F0");
  exact.insert(exact.end(), 511, 0x01);
  exact.push_back(0xF7);
  EXPECT_EQ(readAll(exact), (std::vector<E>{{K::SystemExclusive, 0, 0, 0}}));
}

TEST(PerformanceReader, EndsInsideSystemExclusive) {
  for (const char* events : {"F0", "F0 01 02 03", "F2 F0 7F"}) {
    try {
      readAll(performance(events));
      ADD_FAILURE() << "no error for " << events;
    } catch (const FatalStop& e) {
      EXPECT_EQ(e.label(), "song.evt");
      EXPECT_NE(std::string(e.what()).find("song.evt: the file ends inside a system-exclusive"),
                std::string::npos)
          << e.what();
    }
  }
}

TEST(PerformanceReader, OffsetsCoverEveryByteOnce) {
  const Bytes bytes = performance("F3 0A 90 3C 64 F0 01 F7 FE 78 A0 12 B0 0B");
  PerformanceReader reader(bytes, "");
  std::vector<std::size_t> starts;
  for (std::size_t at = reader.offset(); reader.next().kind != K::EndOfFile; at = reader.offset()) {
    starts.push_back(at);
  }
  EXPECT_EQ(starts, (std::vector<std::size_t>{256, 258, 261, 264, 266, 267, 268}));
  EXPECT_EQ(reader.offset(), bytes.size());
}

}  // namespace
}  // namespace koralux
