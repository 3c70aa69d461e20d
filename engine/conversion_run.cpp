#include "engine/conversion_run.hpp"

#include "common/byte_buffer.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/setting_ranges.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {

// The finished file in the pieces it was written in, and what it holds.
struct TranscribedFile {
  std::vector<ByteBuffer> pieces;
  ConversionSummary summary;
};

// Everything but the final status, which the caller gives once the result is in place.
TranscribedFile transcribe(std::span<const std::uint8_t> performance,
                           const ConversionSettings& settings, ConversionObserver& observer) {
  checkSettingRanges(settings);
  PerformanceReader reader(performance, settings.inputPath);
  SmfWriter writer(settings.inputPath);
  writer.create();

  const AnalysisResults analysis =
      runAnalysisPass(reader, writer, {settings.timeNumerator, settings.timeDenominator},
                      {settings.keySharpsFlats, settings.keyMinor},
                      settings.xgParts ? ConductorTrack::LeaveOpen : ConductorTrack::End);
  if (settings.strict && !analysis.findings.empty()) {
    std::string reasons;
    for (const Finding& finding : analysis.findings) {
      reasons += (reasons.empty() ? "" : "; ") + finding.text;
    }
    throw FatalStop(settings.inputPath, "not converted, because " + reasons);
  }
  observer.progressBegin(analysis.noteOnCount);

  // Every planned track, each written by its own writer in the same reading of the input.
  const std::vector<PlannedTrack> planned = plannedTracks(analysis, settings.xgParts);
  std::vector<SmfWriter> trackWriters;
  std::vector<TrackToWrite> tracks;
  trackWriters.reserve(planned.size());
  for (const PlannedTrack& track : planned) {
    trackWriters.emplace_back(settings.inputPath);
    // Room enough for the part's notes (note-offs added in mono mode) at the longest
    // encoding, so that a track hardly ever has to move while it grows. Room that is not
    // written to costs no memory.
    const auto notes = static_cast<std::size_t>(analysis.activity.sounding(track.source) +
                                                analysis.activity.released(track.source));
    trackWriters.back().reserve((track.mono ? 2 : 1) * notes * kLongestChannelEvent);
    tracks.push_back({&track, &trackWriters.back()});
  }

  TranscribedFile file;
  file.summary.notesTotal = analysis.noteOnCount;
  file.summary.findings = analysis.findings;
  if (!planned.empty() || settings.xgParts) {
    if (!planned.empty()) observer.status(planned.front().statusText);
    const TranscriptionOutcomes outcomes = runTranscriptionPasses(
        reader, tracks, analysis,
        {settings.rhythmUnitAbsent, settings.legacyTiming, settings.xgParts}, &writer);
    // Reported track by track, as if each had had a reading of its own: the first track that
    // failed ends the conversion with its error. The registration markers belong to the
    // conductor track, written before every other.
    if (outcomes.conductor) std::rethrow_exception(outcomes.conductor);
    for (std::size_t i = 0; i < planned.size(); ++i) {
      if (i > 0) observer.status(planned[i].statusText);
      if (outcomes.tracks[i].failure) std::rethrow_exception(outcomes.tracks[i].failure);
      file.summary.notesTranscribed += outcomes.tracks[i].noteOnCount;
      observer.partDone(outcomes.tracks[i].noteOnCount);
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
