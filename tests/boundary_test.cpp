// Inputs at the edges of what the converter meets: files too short to hold an event, one byte of
// every kind at the very end, system-exclusive messages around their 512-byte limit, clock
// markers that drive the interval estimate to 0, a gap that drives the tempo estimate to 0, an
// hour of timing without a clock marker, tens of megabytes, and files of other kinds renamed.
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
using test::hex;
using test::isStrictMidiFile;
using test::performance;

constexpr const char* kLabel = "edge.evt";

struct Outcome {
  std::optional<ConversionResult> result;  // when it converted
  std::string error;                       // when it failed
};

Outcome convert(const Bytes& input, ConversionSettings settings = {}) {
  settings.inputPath = kLabel;
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
  ConversionSettings plain;
  ConversionSettings noRhythm;
  noRhythm.rhythmUnitAbsent = true;
  ConversionSettings legacy;
  legacy.legacyTiming = true;
  return {plain, noRhythm, legacy};
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

bool contains(const Bytes& bytes, const Bytes& part) {
  return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

const std::string kCutExclusive =
    std::string(kLabel) + ": the file ends inside a system-exclusive message (it starts at byte ";

TEST(Boundaries, FilesWithoutEventsGiveTheConductorTrackAlone) {
  for (const std::size_t size : {0u, 1u, 255u, 256u}) {
    SCOPED_TRACE(size);
    for (const ConversionResult& result : convertsSoundly(Bytes(size, 0x90))) {
      EXPECT_EQ(result.summary.tracks, 1);
      EXPECT_EQ(result.summary.notesTotal, 0);
    }
  }
  // The same through files: an empty performance gives a one-track MIDI file.
  test::TemporaryFolder folder;
  test::writeFile(folder.file("empty.evt"), {});
  ConversionSettings settings;
  settings.inputPath = folder.file("empty.evt");
  settings.outputPath = folder.file("empty.mid");
  SilentObserver observer;
  EXPECT_EQ(ConversionRun(settings, observer).tracks, 1);
  EXPECT_TRUE(isStrictMidiFile(test::readFile(folder.file("empty.mid"))));
}

TEST(Boundaries, EveryByteAsTheVeryLastByte) {
  GeneratorOptions options;
  options.seconds = 4;
  options.everyKind = true;
  const Bytes song = generatePerformance(options);
  for (int last = 0; last < 256; ++last) {
    SCOPED_TRACE(last);
    const auto byte = static_cast<std::uint8_t>(last);
    // Alone after the header: 257 bytes.
    Bytes alone(256, 0);
    alone.push_back(byte);
    // At the end of a performance.
    Bytes ending = song;
    ending.push_back(byte);
    if (byte == 0xF0) {
      for (const Bytes& input : {alone, ending}) {
        EXPECT_EQ(convert(input).error.rfind(kCutExclusive, 0), 0u) << convert(input).error;
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

TEST(Boundaries, SystemExclusiveAroundItsLimit) {
  // 600 bytes without F7: 512 are taken, the other 88 read as events. Filled with note-ons,
  // they start two bytes into one (512 = 3 × 170 + 2): a stray velocity, then 29 whole notes.
  std::string notes;
  for (int i = 0; i < 200; ++i) notes += "90 3C 64 ";
  for (const std::string& after : {std::string(), std::string("F3 0A FE 78 80 3C 40")}) {
    for (const ConversionResult& result : convertsSoundly(performance("F0 " + notes + after))) {
      EXPECT_EQ(result.summary.notesTotal, 29);
    }
  }
  // 510 bytes and the F7: one message of 511 bytes, nothing left over.
  const std::string fill = [] {
    std::string text;
    for (int i = 0; i < 510; ++i) text += "90 ";
    return text;
  }();
  for (const ConversionResult& result :
       convertsSoundly(performance("F0 " + fill + "F7 90 3C 64"))) {
    EXPECT_EQ(result.summary.notesTotal, 1);
  }
  // Cut off before its F7 and before 512 bytes: the file is damaged.
  EXPECT_EQ(convert(performance("90 3C 64 F0 " + fill)).error,
            kCutExclusive + "259 and has no end byte F7)");
}

TEST(Boundaries, ClockMarkersWithoutTimingDriveTheIntervalToZero) {
  std::string events;
  for (int i = 0; i < 64; ++i) events += "FE 78 ";
  events += "F3 01 90 3C 64 F3 7F 80 3C 40 F4 7F 7F 90 3E 64 FE 78 80 3E 40";
  convertsSoundly(performance(events));
  // Without the rhythm unit, zero-millisecond timing events halve it just the same.
  std::string zeros;
  for (int i = 0; i < 40; ++i) zeros += "F3 00 ";
  zeros += "90 3C 64 F3 00 F3 05 80 3C 40";
  convertsSoundly(performance(zeros));
}

TEST(Boundaries, GapThatDrivesTheTempoEstimateToZero) {
  // 65.5 seconds before the only clock marker: the estimate falls to 0 and counts as 1 beat per
  // minute, whose tempo event is the largest a MIDI file can hold.
  const Bytes input =
      performance("90 3C 64 F4 7F 7F F4 7F 7F F4 7F 7F F4 7F 7F FE 78 80 3C 40 F3 05 FE 78");
  for (const ConversionResult& result : convertsSoundly(input)) {
    EXPECT_TRUE(contains(test::trackBodies(result.midi).at(0), hex("FF 51 03 FF FF FF")));
  }
}

TEST(Boundaries, AnHourOfTimingWithoutAClockMarker) {
  std::string events = "90 3C 64 ";
  for (int i = 0; i < 220; ++i) events += "F4 7F 7F ";  // 60 minutes
  events += "80 3C 40 F3 01";
  convertsSoundly(performance(events));
}

TEST(Boundaries, PauseBeyondWhatAMidiFileHolds) {
  // After markers without timing the interval counts as 1: each longest timing event is then
  // 327660 ticks. 800 of them fit in one delta time; 830 do not.
  const auto pause = [](int count) {
    std::string events = "90 3C 64 ";
    for (int i = 0; i < 12; ++i) events += "FE 78 ";
    for (int i = 0; i < count; ++i) events += "F4 7F 7F ";
    return performance(events + "80 3C 40");
  };
  EXPECT_TRUE(isStrictMidiFile(convert(pause(800)).result.value().midi));
  const std::string error = convert(pause(830)).error;
  EXPECT_EQ(error.rfind(std::string(kLabel) + ": the performance has a pause of ", 0), 0u) << error;
}

TEST(Boundaries, TensOfMegabytes) {
  GeneratorOptions options;
  options.targetBytes = 24u << 20;
  options.everyKind = true;
  options.channels = 0x400F;  // 1 to 4 and 15
  const Bytes input = generatePerformance(options);
  const Outcome outcome = convert(input);
  ASSERT_TRUE(outcome.result) << outcome.error;
  EXPECT_TRUE(isStrictMidiFile(outcome.result->midi));
  EXPECT_EQ(outcome.result->summary.tracks, 6);
  EXPECT_EQ(outcome.result->summary.notesTranscribed, outcome.result->summary.notesTotal);
}

TEST(Boundaries, FilesOfOtherKindsRenamed) {
  // Text, an image, a MIDI file, and this very program: each converts into a sound file, or
  // fails with the converter's message naming it.
  SilentObserver observer;
  const Bytes midi =
      convertPerformance(test::readFile(KORALUX_SOURCE_DIR "/examples/demo.evt"), {}, observer)
          .midi;
  const Bytes files[] = {test::readFile(KORALUX_SOURCE_DIR "/README.md"),
                         test::readFile(KORALUX_SOURCE_DIR "/ui/resources/icons/koralux-256.png"),
                         midi, test::readFile("/proc/self/exe")};
  for (const Bytes& file : files) {
    ASSERT_GT(file.size(), 256u);
    for (const ConversionSettings& settings : timings()) {
      const Outcome outcome = convert(file, settings);
      if (outcome.result) {
        EXPECT_TRUE(isStrictMidiFile(outcome.result->midi));
      } else {
        EXPECT_EQ(outcome.error.rfind(std::string(kLabel) + ": ", 0), 0u) << outcome.error;
      }
    }
  }
}

}  // namespace
}  // namespace koralux
