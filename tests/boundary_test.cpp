// Inputs at the edges of what the converter meets: files too short to hold an event, one byte of
// every kind at the very end, a system-exclusive message beyond its 512-byte limit, clock
// markers that drive the interval estimate to 0, a gap that drives the tempo estimate to 0, an
// hour of timing without a clock marker, a pause too long for a MIDI file, tens of megabytes.
// Each converts or fails as the converter promises, and every output passes the strict checker.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::isStrictMidiFile;
using test::performance;
using test::repeat;

struct Outcome {
  std::optional<ConversionResult> result;  // when it converted
  std::string error;                       // when it failed
};

Outcome convert(const Bytes& input, ConversionSettings settings = {}) {
  settings.inputPath = "edge.evt";
  SilentObserver observer;
  Outcome outcome;
  try {
    outcome.result = convertPerformance(input, settings, observer);
  } catch (const FatalStop& error) {
    outcome.error = error.what();
  }
  return outcome;
}

// The three ways a track can be timed: as recorded with the rhythm unit, without it, and with
// the old displacement rule.
std::vector<ConversionSettings> timings() {
  std::vector<ConversionSettings> all(3);
  all[1].rhythmUnitAbsent = true;
  all[2].legacyTiming = true;
  return all;
}

// Converts under every timing; expects success and a sound file each time.
std::vector<ConversionResult> convertsSoundly(const Bytes& input) {
  std::vector<ConversionResult> results;
  for (const ConversionSettings& settings : timings()) {
    Outcome outcome = convert(input, settings);
    if (!outcome.result) {
      ADD_FAILURE() << "failed: " << outcome.error;
      continue;
    }
    EXPECT_TRUE(isStrictMidiFile(outcome.result->midi));
    results.push_back(*outcome.result);
  }
  return results;
}

TEST(Boundaries, FilesWithoutEventsGiveTheConductorTrackAlone) {
  for (const std::size_t size : {0u, 1u, 255u, 256u}) {
    SCOPED_TRACE(size);
    for (const ConversionResult& result : convertsSoundly(Bytes(size, 0x90))) {
      EXPECT_EQ(result.summary.tracks, 1);
      EXPECT_EQ(result.summary.notesTotal, 0);
    }
  }
}

TEST(Boundaries, EveryByteAsTheVeryLastByte) {
  GeneratorOptions options;
  options.seconds = 4;
  options.everyKind = true;
  const Bytes song = generatePerformance(options);
  for (int last = 0; last < 256; ++last) {
    SCOPED_TRACE(last);
    Bytes alone(256, 0);  // 257 bytes in all
    alone.push_back(static_cast<std::uint8_t>(last));
    Bytes ending = song;
    ending.push_back(static_cast<std::uint8_t>(last));
    if (last == 0xF0) {
      for (const Bytes& input : {alone, ending}) {
        EXPECT_TRUE(convert(input).error.starts_with(
            "edge.evt: the file ends inside a system-exclusive message"));
      }
      continue;
    }
    // A lone note byte reads as a release (velocity 0) on its channel, and so a part that
    // played: channels 1 to 4 and 15 are the organ's parts.
    const int channel = (last & 0x0F) + 1;
    const bool note = (last >> 4) == 0x8 || (last >> 4) == 0x9;
    const bool part = note && (channel <= 4 || channel == 15);
    for (const ConversionResult& result : convertsSoundly(alone)) {
      EXPECT_EQ(result.summary.tracks, part ? 2 : 1);
    }
    convertsSoundly(ending);
  }
}

TEST(Boundaries, SystemExclusiveBeyondItsLimit) {
  // 600 bytes without F7: 512 are taken, the other 88 read as events. Filled with note-ons,
  // they start two bytes into one (512 = 3 × 170 + 2): a stray velocity, then 29 whole notes.
  for (const char* after : {"", "F3 0A FE 78 80 3C 40"}) {
    for (const ConversionResult& result :
         convertsSoundly(performance("F0 " + repeat("90 3C 64", 200) + after))) {
      EXPECT_EQ(result.summary.notesTotal, 29);
    }
  }
}

TEST(Boundaries, ClockMarkersWithoutTimingDriveTheIntervalToZero) {
  convertsSoundly(performance(repeat("FE 78", 64) +
                              "F3 01 90 3C 64 F3 7F 80 3C 40 F4 7F 7F 90 3E 64 FE 78 80 3E 40"));
  // Without the rhythm unit, zero-millisecond timing events halve it just the same.
  convertsSoundly(performance(repeat("F3 00", 40) + "90 3C 64 F3 00 F3 05 80 3C 40"));
}

TEST(Boundaries, GapThatDrivesTheTempoEstimateToZero) {
  // 65.5 seconds before the only clock marker: the estimate falls to 0 and counts as 1 beat per
  // minute, whose tempo event is the largest a MIDI file can hold.
  const Bytes input =
      performance("90 3C 64 " + repeat("F4 7F 7F", 4) + "FE 78 80 3C 40 F3 05 FE 78");
  for (const ConversionResult& result : convertsSoundly(input)) {
    EXPECT_TRUE(
        test::contains(test::toHex(test::trackBodies(result.midi).at(0)), "FF 51 03 FF FF FF"));
  }
}

TEST(Boundaries, AnHourOfTimingWithoutAClockMarker) {
  convertsSoundly(performance("90 3C 64 " + repeat("F4 7F 7F", 220) + "80 3C 40 F3 01"));
}

TEST(Boundaries, PauseBeyondWhatAMidiFileHolds) {
  // After markers without timing the interval counts as 1: each longest timing event is then
  // 327660 ticks. 800 of them fit in one delta time; 830 do not.
  const auto pause = [](int count) {
    return performance("90 3C 64 " + repeat("FE 78", 12) + repeat("F4 7F 7F", count) + "80 3C 40");
  };
  EXPECT_TRUE(isStrictMidiFile(convert(pause(800)).result.value().midi));
  const std::string error = convert(pause(830)).error;
  EXPECT_TRUE(error.starts_with("edge.evt: the performance has a pause of ")) << error;
  EXPECT_TRUE(test::contains(error, "longer than a MIDI file can hold")) << error;
}

TEST(Boundaries, TensOfMegabytes) {
  GeneratorOptions options;
  options.targetBytes = 24u << 20;
  options.everyKind = true;
  options.channels = 0x400F;  // 1 to 4 and 15
  const Outcome outcome = convert(generatePerformance(options));
  ASSERT_TRUE(outcome.result) << outcome.error;
  EXPECT_TRUE(isStrictMidiFile(outcome.result->midi));
  EXPECT_EQ(outcome.result->summary.tracks, 6);
  EXPECT_EQ(outcome.result->summary.notesTranscribed, outcome.result->summary.notesTotal);
}

}  // namespace
}  // namespace koralux
