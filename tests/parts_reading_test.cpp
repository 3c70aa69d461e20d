// One reading of the input feeding several parts at once must write exactly the tracks that
// one pass per part writes, and fail exactly as the passes one after another would.

#include <gtest/gtest.h>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/part_schedule.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::performance;
using test::sameBytes;

AnalysisResults analyse(const Bytes& input) {
  PerformanceReader reader(input, "song.evt");
  SmfWriter conductor;
  conductor.create();
  return runAnalysisPass(reader, conductor, {}, {});
}

// Every row of the schedule, whatever the verdicts: rows 4 and 5 take the same channel, so
// the reading must feed one channel to two parts.
std::vector<TranscriptionParameters> everyRow() {
  std::vector<TranscriptionParameters> rows;
  for (const PartScheduleRow& row : PartSchedule) rows.push_back(row.parameters);
  return rows;
}

struct Tracks {
  std::vector<Bytes> bodies;
  std::vector<std::int64_t> counts;
};

// One pass per part, each reading the whole input.
Tracks onePassEach(const Bytes& input, const std::vector<TranscriptionParameters>& rows,
                   TranscriptionTiming timing) {
  const AnalysisResults analysis = analyse(input);
  PerformanceReader reader(input, "song.evt");
  Tracks tracks;
  for (const TranscriptionParameters& row : rows) {
    SmfWriter writer;
    writer.create();
    tracks.counts.push_back(runTranscriptionPass(reader, writer, row, analysis, timing));
    tracks.bodies.push_back(test::trackBodies(writer.finish()).at(0));
  }
  return tracks;
}

// Every part in one reading, each into a writer of its own, the tracks then appended to one
// file.
Tracks oneReading(const Bytes& input, const std::vector<TranscriptionParameters>& rows,
                  TranscriptionTiming timing) {
  const AnalysisResults analysis = analyse(input);
  PerformanceReader reader(input, "song.evt");
  std::vector<SmfWriter> writers(rows.size());
  std::vector<PartToTranscribe> parts;
  for (std::size_t i = 0; i < rows.size(); ++i) parts.push_back({rows[i], &writers[i]});
  Tracks tracks;
  for (const PartOutcome& outcome : runTranscriptionPasses(reader, parts, analysis, timing)) {
    EXPECT_FALSE(outcome.failure);
    tracks.counts.push_back(outcome.noteOnCount);
  }
  SmfWriter file;
  file.create();
  for (SmfWriter& writer : writers) file.appendTracks(std::move(writer));
  tracks.bodies = test::trackBodies(file.finish());
  return tracks;
}

TEST(PartsReading, WritesTheTracksOfOnePassPerPart) {
  std::vector<GeneratorOptions> shapes(5);
  shapes[0].seed = 21;
  shapes[1].seed = 22;
  shapes[1].pedalWithoutReleases = true;
  shapes[1].channels = static_cast<std::uint16_t>(shapes[1].channels | channelBit(4));
  shapes[2].seed = 23;
  shapes[2].everyKind = true;
  shapes[3].seed = 24;
  shapes[3].rhythmUnit = false;
  shapes[4].seed = 25;
  shapes[4].tempo = 240;
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    shapes[shape].seconds = 20;
    const Bytes input = generatePerformance(shapes[shape]);
    for (const TranscriptionTiming timing :
         {TranscriptionTiming{}, TranscriptionTiming{true, false}, TranscriptionTiming{false, true},
          TranscriptionTiming{true, true}}) {
      SCOPED_TRACE("shape " + std::to_string(shape) + ", rhythm unit absent " +
                   std::to_string(timing.rhythmUnitAbsent) + ", legacy timing " +
                   std::to_string(timing.legacyTiming));
      const Tracks expected = onePassEach(input, everyRow(), timing);
      const Tracks actual = oneReading(input, everyRow(), timing);
      EXPECT_EQ(expected.counts, actual.counts);
      ASSERT_EQ(expected.bodies.size(), actual.bodies.size());
      for (std::size_t i = 0; i < expected.bodies.size(); ++i) {
        EXPECT_TRUE(sameBytes(expected.bodies[i], actual.bodies[i])) << "part " << i;
      }
    }
  }
}

// Markers without timing events halve the interval estimate to nothing (it then counts as 1);
// each timing event of 16383 ms after that moves the clock 327660 ticks, and about 820 of
// them pass the longest pause a MIDI file can hold. A note on channel 2 comes before one on
// channel 1, so in one reading the lower manual's track fails first, with a longer pause.
std::string pauseTooLong() {
  std::string events = "FE 78 90 3C 64 80 3C 40 ";  // the upper manual writes early on
  for (int i = 0; i < 11; ++i) events += "FE 78 ";
  for (int i = 0; i < 830; ++i) events += "F4 7F 7F ";
  return events + "91 3C 64 81 3C 40 90 3C 64 80 3C 40";
}

TEST(PartsReading, EachPartFailsOnItsOwnAndTheFirstPartsErrorIsReported) {
  const Bytes input = performance(pauseTooLong());
  const std::vector<TranscriptionParameters> rows = {PartSchedule[1].parameters,
                                                     PartSchedule[2].parameters};
  // The error each part's own pass raises.
  std::vector<std::string> ownErrors;
  const AnalysisResults analysis = analyse(input);
  for (const TranscriptionParameters& row : rows) {
    PerformanceReader reader(input, "song.evt");
    SmfWriter writer("song.evt");
    writer.create();
    try {
      runTranscriptionPass(reader, writer, row, analysis, {});
      ADD_FAILURE() << "no error for " << row.trackName;
    } catch (const FatalStop& e) {
      ownErrors.push_back(e.what());
    }
  }
  ASSERT_EQ(ownErrors.size(), 2u);
  ASSERT_NE(ownErrors[0], ownErrors[1]);

  PerformanceReader reader(input, "song.evt");
  std::vector<SmfWriter> writers;
  writers.emplace_back("song.evt");
  writers.emplace_back("song.evt");
  const std::vector<PartToTranscribe> parts = {{rows[0], &writers[0]}, {rows[1], &writers[1]}};
  const std::vector<PartOutcome> outcomes = runTranscriptionPasses(reader, parts, analysis, {});
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    ASSERT_TRUE(outcomes[i].failure);
    try {
      std::rethrow_exception(outcomes[i].failure);
    } catch (const FatalStop& e) {
      EXPECT_EQ(e.what(), ownErrors[i]);
    }
  }

  // The whole conversion reports the first part's error, after that part's status, as the
  // passes one after another did.
  ConversionSettings settings;
  settings.inputPath = "song.evt";
  test::RecordingObserver observer;
  try {
    convertPerformance(input, settings, observer);
    ADD_FAILURE() << "no error";
  } catch (const FatalStop& e) {
    EXPECT_EQ(e.what(), ownErrors[0]);
  }
  EXPECT_EQ(observer.calls,
            (std::vector<std::string>{"progressBegin 3",
                                      "status Status: Transcribing Lower Upper Notes"}));
}

TEST(PartsReading, ADamagedInputEndsEveryPart) {
  const Bytes input = performance("90 3C 64 91 3C 64 F0 01 02");
  PerformanceReader reader(input, "song.evt");
  std::vector<SmfWriter> writers(2);
  const std::vector<PartToTranscribe> parts = {{PartSchedule[1].parameters, &writers[0]},
                                               {PartSchedule[2].parameters, &writers[1]}};
  AnalysisResults analysis;  // the analysis pass would stop at the damage itself
  analysis.tempo = 120;
  analysis.songStartOffset = -1920;
  for (const PartOutcome& outcome : runTranscriptionPasses(reader, parts, analysis, {})) {
    ASSERT_TRUE(outcome.failure);
    EXPECT_THROW(std::rethrow_exception(outcome.failure), FatalStop);
  }
}

}  // namespace
}  // namespace koralux
