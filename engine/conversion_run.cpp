#include "engine/conversion_run.hpp"

#include "common/byte_buffer.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/part_schedule.hpp"
#include "engine/xg_parts.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {

void checkRanges(const ConversionSettings& settings) {
  if (!isTimeNumeratorInRange(settings.timeNumerator)) {
    throw FatalStop({}, "the time signature's numerator must be 1 to 255");
  }
  if (!isTimeDenominatorInRange(settings.timeDenominator)) {
    throw FatalStop({}, "the time signature's denominator must be 1 to 128");
  }
  if (settings.keySharpsFlats < -7 || settings.keySharpsFlats > 7) {
    throw FatalStop({}, "the key signature must have at most 7 sharps or flats");
  }
  if (settings.keyMinor > 1) throw FatalStop({}, "the key must be major (0) or minor (1)");
}

// The finished file in the pieces it was written in, and what it holds.
struct TranscribedFile {
  std::vector<ByteBuffer> pieces;
  ConversionSummary summary;
};

// Everything but the final status, which the caller gives once the result is in place.
TranscribedFile transcribe(std::span<const std::uint8_t> performance,
                           const ConversionSettings& settings, ConversionObserver& observer) {
  checkRanges(settings);
  PerformanceReader reader(performance, settings.inputPath);
  SmfWriter writer(settings.inputPath);
  writer.create();

  const AnalysisResults analysis =
      runAnalysisPass(reader, writer, {settings.timeNumerator, settings.timeDenominator},
                      {settings.keySharpsFlats, settings.keyMinor},
                      settings.xgParts ? ConductorTrack::LeaveOpen : ConductorTrack::End);
  observer.progressBegin(analysis.noteOnCount);

  // Every part that played, each written by its own writer in the same reading of the input.
  std::vector<const PartScheduleRow*> rows;
  for (const PartScheduleRow& row : PartSchedule) {
    if (row.runsFor(analysis.activity.verdict(row.verdictChannel))) rows.push_back(&row);
  }
  std::vector<SmfWriter> trackWriters;
  std::vector<PartToTranscribe> parts;
  const std::vector<XgTrack> xgTracks =
      settings.xgParts ? plannedXgTracks(analysis.xg, analysis.activity) : std::vector<XgTrack>{};
  trackWriters.reserve(rows.size() + xgTracks.size());
  for (const PartScheduleRow* row : rows) {
    trackWriters.emplace_back(settings.inputPath);
    // Room enough for the part's notes (note-offs added in mono mode) at the longest
    // encoding, so that a track hardly ever has to move while it grows. Room that is not
    // written to costs no memory.
    const int source = row->parameters.source;
    const auto notes = static_cast<std::size_t>(analysis.activity.sounding(source) +
                                                analysis.activity.released(source));
    trackWriters.back().reserve((row->parameters.mono ? 2 : 1) * notes * kLongestChannelEvent);
    parts.push_back({row->parameters, &trackWriters.back()});
  }
  std::vector<SmfWriter*> xgWriters;
  for (std::size_t i = 0; i < xgTracks.size(); ++i) {
    xgWriters.push_back(&trackWriters.emplace_back(settings.inputPath));
  }
  XgTranscription xg(writer, xgTracks, xgWriters, analysis.songStartOffset, settings.legacyTiming);

  TranscribedFile file;
  file.summary.notesTotal = analysis.noteOnCount;
  if (!rows.empty() || settings.xgParts) {
    std::vector<std::string_view> statusTexts;
    for (const PartScheduleRow* row : rows) statusTexts.push_back(row->statusText);
    for (const XgTrack& track : xgTracks) statusTexts.push_back(track.statusText);
    if (!statusTexts.empty()) observer.status(statusTexts.front());
    const std::vector<PartOutcome> outcomes = runTranscriptionPasses(
        reader, parts, analysis, {settings.rhythmUnitAbsent, settings.legacyTiming},
        settings.xgParts ? &xg : nullptr);
    // Reported part by part, as if each part had had a reading of its own: the first part that
    // failed ends the conversion with its error. The registration markers belong to the
    // conductor track, written before every part.
    if (xg.conductorFailure()) std::rethrow_exception(xg.conductorFailure());
    for (std::size_t i = 0; i < statusTexts.size(); ++i) {
      if (i > 0) observer.status(statusTexts[i]);
      const bool organ = i < rows.size();
      const std::size_t x = i - (organ ? 0 : rows.size());
      const std::exception_ptr& failure = organ ? outcomes[i].failure : xg.failure(x);
      if (failure) std::rethrow_exception(failure);
      const std::int64_t count = organ ? outcomes[i].noteOnCount : xg.noteOnCount(x);
      file.summary.notesTranscribed += count;
      observer.partDone(count);
      writer.appendTracks(std::move(trackWriters[i]));
    }
  }
  file.summary.tracks = writer.trackCount();
  file.pieces = writer.finishInPieces();
  return file;
}

}  // namespace

ConversionResult convertPerformance(std::span<const std::uint8_t> performance,
                                    const ConversionSettings& settings,
                                    ConversionObserver& observer) {
  TranscribedFile file = transcribe(performance, settings, observer);
  ConversionResult result{concatenate(std::move(file.pieces)), file.summary};
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
  TranscribedFile file = transcribe(performance, settings, observer);
  std::vector<std::span<const std::uint8_t>> pieces;
  for (const ByteBuffer& piece : file.pieces) pieces.push_back(piece.view());
  writeFileAtomically(settings.outputPath, pieces);
  observer.status(kFinishedStatus);
  return file.summary;
}

}  // namespace koralux
