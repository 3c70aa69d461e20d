// One reading of the input feeding several parts at once must write exactly the tracks that
// one pass per part writes, and fail exactly as the passes one after another would.

#include <gtest/gtest.h>

#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "engine/part_schedule.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

using test::analyse;
using test::Bytes;
using Rows = std::vector<TranscriptionParameters>;

// What became of each part (its note-on count or the error that ended it), and the file
// the finished parts' tracks make.
struct Parts {
  std::vector<std::string> outcomes;
  Bytes file;
};

// Every part transcribed into a writer of its own, in one reading of the input or in one
// pass per part, each reading the whole input.
Parts transcribe(bool inOneReading, const Bytes& input, const Rows& rows,
                 const AnalysisResults& analysis, TranscriptionTiming timing = {}) {
  PerformanceReader reader(input, "song.evt");
  std::vector<SmfWriter> writers;
  writers.reserve(rows.size());
  std::vector<PartToTranscribe> parts;
  for (const auto& row : rows) parts.push_back({row, &writers.emplace_back("song.evt")});
  const std::vector<PartOutcome> outcomes =
      inOneReading ? runTranscriptionPasses(reader, parts, analysis, timing)
                   : std::vector<PartOutcome>(rows.size());
  Parts result;
  SmfWriter file;
  file.create();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    try {
      if (outcomes[i].failure) std::rethrow_exception(outcomes[i].failure);
      const std::int64_t notes =
          inOneReading ? outcomes[i].noteOnCount
                       : runTranscriptionPass(reader, writers[i], rows[i], analysis, timing);
      result.outcomes.push_back(std::to_string(notes) + " notes");
      file.appendTracks(std::move(writers[i]));
    } catch (const FatalStop& e) {
      result.outcomes.push_back(e.what());
    }
  }
  result.file = file.finish();
  return result;
}

TEST(PartsReading, WritesTheTracksOfOnePassPerPart) {
  // Every row of the schedule, whatever the verdicts: rows 4 and 5 take the same channel, so
  // the reading must feed one channel to two parts. 0x400F: channels 1 to 4 and 15 play.
  Rows rows;
  for (const PartScheduleRow& row : PartSchedule) rows.push_back(row.parameters);
  for (const GeneratorOptions& shape : {
           GeneratorOptions{.seed = 21, .seconds = 20},
           GeneratorOptions{
               .seed = 22, .seconds = 20, .channels = 0x400F, .pedalWithoutReleases = true},
           GeneratorOptions{.seed = 23, .seconds = 20, .everyKind = true},
           GeneratorOptions{.seed = 24, .seconds = 20, .rhythmUnit = false},
           GeneratorOptions{.seed = 25, .seconds = 20, .tempo = 240},
       }) {
    const Bytes input = generatePerformance(shape);
    for (const bool rhythmUnitAbsent : {false, true}) {
      for (const bool legacyTiming : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "seed " << shape.seed << ", rhythm unit absent "
                                          << rhythmUnitAbsent << ", legacy " << legacyTiming);
        const TranscriptionTiming timing{rhythmUnitAbsent, legacyTiming};
        const Parts expected = transcribe(false, input, rows, analyse(input), timing);
        const Parts actual = transcribe(true, input, rows, analyse(input), timing);
        EXPECT_EQ(test::trackBodies(expected.file).size(), rows.size());  // none failed
        EXPECT_EQ(expected.outcomes, actual.outcomes);
        EXPECT_TRUE(test::sameBytes(expected.file, actual.file));
      }
    }
  }
}

// Markers without timing events halve the interval estimate to nothing (it then counts as 1);
// each timing event of 16383 ms after that moves the clock 327660 ticks, and about 820 of
// them pass the longest pause a MIDI file can hold. A note on channel 2 comes before one on
// channel 1, so in one reading the lower manual's track fails first, with a longer pause.
TEST(PartsReading, EachPartFailsAsItsOwnPassDoesAndTheFirstPartsErrorIsReported) {
  const Bytes input =
      test::performance("FE 78 90 3C 64 80 3C 40 " + test::repeat("FE 78", 11) +
                        test::repeat("F4 7F 7F", 830) + "91 3C 64 81 3C 40 90 3C 64 80 3C 40");
  const Rows rows = {PartSchedule[1].parameters, PartSchedule[2].parameters};
  const Parts own = transcribe(false, input, rows, analyse(input));
  EXPECT_EQ(own.outcomes, transcribe(true, input, rows, analyse(input)).outcomes);
  EXPECT_EQ(test::trackBodies(own.file).size(), 0u);  // both failed
  EXPECT_NE(own.outcomes.at(0), own.outcomes.at(1));

  // The whole conversion reports the first part's error, after that part's status, as the
  // passes one after another did.
  ConversionSettings settings;
  settings.inputPath = "song.evt";
  test::RecordingObserver observer;
  try {
    convertPerformance(input, settings, observer);
    ADD_FAILURE() << "no error";
  } catch (const FatalStop& e) {
    EXPECT_EQ(e.what(), own.outcomes[0]);
  }
  EXPECT_EQ(observer.calls,
            (std::vector<std::string>{"progressBegin 3",
                                      "status Status: Transcribing Lower Upper Notes"}));

  // Damage in the input ends every part (the analysis pass would stop at it itself).
  const Bytes damaged = test::performance("90 3C 64 91 3C 64 F0 01 02");
  AnalysisResults analysis;
  analysis.tempo = 120;
  analysis.songStartOffset = -1920;
  const Parts ended = transcribe(true, damaged, rows, analysis);
  EXPECT_EQ(ended.outcomes, transcribe(false, damaged, rows, analysis).outcomes);
  EXPECT_EQ(test::trackBodies(ended.file).size(), 0u);
}

}  // namespace
}  // namespace koralux
