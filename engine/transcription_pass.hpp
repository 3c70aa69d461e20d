#pragma once
// The reading that writes the tracks after the conductor: each planned track takes its events
// from the performance (the organ's parts by the part schedule's rules, the backing as played,
// the tone generator's set-up), placed in time by the performance clock. The tracks are
// independent of one another once the analysis pass has run, so one reading of the input feeds
// them all, each writing into its own writer.

#include <cstdint>
#include <exception>
#include <span>
#include <string_view>
#include <vector>

namespace koralux {

class PerformanceReader;
class SmfWriter;
struct AnalysisResults;
struct PlannedTrack;

// The parameters of one organ part, as the part schedule gives them.
struct TranscriptionParameters {
  std::string_view trackName;
  int source = 1;       // channel 1 to 16 taken from the input
  int destination = 1;  // channel 1 to 16 written to
  bool mono = false;    // each new note releases the note held before
  int pan = 64;         // 0 to 127
  int program = 0;      // 0 to 127
};

struct TranscriptionOptions {
  bool rhythmUnitAbsent = false;  // every timing event counts as a clock marker too
  bool legacyTiming = false;      // let overshooting interpolated times displace later events
  // The backing is kept: its expression controller drives its own part only, and program
  // changes on the registration channel become markers in the conductor track.
  bool xgParts = false;
};

// One track to write, and the writer that receives it.
struct TrackToWrite {
  const PlannedTrack* track = nullptr;
  SmfWriter* writer = nullptr;
};

// What became of one track: its note-on count, or the error that ended it.
struct PartOutcome {
  std::int64_t noteOnCount = 0;
  std::exception_ptr failure;
};

struct TranscriptionOutcomes {
  std::vector<PartOutcome> tracks;  // in the order given
  std::exception_ptr conductor;     // the error that ended the conductor track's markers
};

// Reads the whole stream once from its start and writes every track into its writer. A track
// whose writer fails (a pause too long for a MIDI file) stops there while the others go on; an
// error of the input itself ends every track still running. With options.xgParts, `conductor`
// is the conductor track that the analysis pass left open: it receives a "Registration N" marker
// for each registration change and is ended.
TranscriptionOutcomes runTranscriptionPasses(PerformanceReader& reader,
                                             std::span<const TrackToWrite> tracks,
                                             const AnalysisResults& analysis,
                                             TranscriptionOptions options,
                                             SmfWriter* conductor = nullptr);

// The same reading with one track: writes it and returns its note-on count, or throws the error
// that ended it.
std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const PlannedTrack& track, const AnalysisResults& analysis,
                                  TranscriptionOptions options);

}  // namespace koralux
