#include "engine/conversion_run.hpp"

#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/part_schedule.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {

void checkRanges(const ConversionSettings& settings) {
  if (settings.timeNumerator < 1) {
    throw FatalStop({}, "the time signature's numerator must be 1 to 255");
  }
  if (settings.timeDenominator < 1 || settings.timeDenominator > 128) {
    throw FatalStop({}, "the time signature's denominator must be 1 to 128");
  }
  if (settings.keySharpsFlats < -7 || settings.keySharpsFlats > 7) {
    throw FatalStop({}, "the key signature must have at most 7 sharps or flats");
  }
  if (settings.keyMinor > 1) throw FatalStop({}, "the key must be major (0) or minor (1)");
}

// Everything but the final status, which the caller gives once the result is in place.
ConversionResult transcribe(std::span<const std::uint8_t> performance,
                            const ConversionSettings& settings, ConversionObserver& observer) {
  checkRanges(settings);
  PerformanceReader reader(performance, settings.inputPath);
  SmfWriter writer(settings.inputPath);
  writer.create();

  const AnalysisResults analysis =
      runAnalysisPass(reader, writer, {settings.timeNumerator, settings.timeDenominator},
                      {settings.keySharpsFlats, settings.keyMinor});
  observer.progressBegin(analysis.noteOnCount);

  ConversionResult result;
  result.summary.notesTotal = analysis.noteOnCount;
  const TranscriptionTiming timing{settings.rhythmUnitAbsent, settings.legacyTiming};
  for (const PartScheduleRow& row : PartSchedule) {
    if (!row.runsFor(analysis.activity.verdict(row.verdictChannel))) continue;
    observer.status(row.statusText);
    const std::int64_t count =
        runTranscriptionPass(reader, writer, row.parameters, analysis, timing);
    result.summary.notesTranscribed += count;
    observer.partDone(count);
  }
  result.summary.tracks = writer.trackCount();
  result.midi = writer.finish();
  return result;
}

}  // namespace

ConversionResult convertPerformance(std::span<const std::uint8_t> performance,
                                    const ConversionSettings& settings,
                                    ConversionObserver& observer) {
  ConversionResult result = transcribe(performance, settings, observer);
  observer.status(kFinishedStatus);
  return result;
}

ConversionSummary ConversionRun(const ConversionSettings& settings, ConversionObserver& observer) {
  if (settings.inputPath.empty()) throw FatalStop({}, "no input file was given");
  if (settings.outputPath.empty()) throw FatalStop({}, "no output file was given");
  const std::vector<std::uint8_t> performance = readWholeFile(settings.inputPath);
  // Checked before anything is opened for writing: replacing the input would lose it.
  if (namesSameFile(settings.inputPath, settings.outputPath)) {
    throw FatalStop(settings.outputPath,
                    "the output file is the input file; choose another name for the output");
  }
  ConversionResult result = transcribe(performance, settings, observer);
  writeFileAtomically(settings.outputPath, result.midi);
  observer.status(kFinishedStatus);
  return result.summary;
}

}  // namespace koralux
