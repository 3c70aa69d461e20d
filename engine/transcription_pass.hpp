#pragma once
// The passes that write the organ parts' tracks: the events of one source channel, moved to a
// destination channel, placed in time by the performance clock and rewritten by fixed rules.
// The parts are independent of one another once the analysis pass has run, so one reading of
// the input can feed every part, each writing its own track.

#include <cstdint>
#include <exception>
#include <span>
#include <string_view>
#include <vector>

namespace koralux {

class PerformanceReader;
class SmfWriter;
struct AnalysisResults;
class XgTranscription;

struct TranscriptionParameters {
  std::string_view trackName;
  int source = 1;       // channel 1 to 16 taken from the input
  int destination = 1;  // channel 1 to 16 written to
  bool mono = false;    // each new note releases the note held before
  int pan = 64;         // 0 to 127
  int program = 0;      // 0 to 127
};

struct TranscriptionTiming {
  bool rhythmUnitAbsent = false;  // every timing event counts as a clock marker too
  bool legacyTiming = false;      // let overshooting interpolated times displace later events
};

// One part to transcribe, and the writer that receives its track.
struct PartToTranscribe {
  TranscriptionParameters parameters;
  SmfWriter* writer = nullptr;
};

// What became of one part: its note-on count, or the error that ended its pass.
struct PartOutcome {
  std::int64_t noteOnCount = 0;
  std::exception_ptr failure;
};

// Reads the whole stream once from its start and writes every part's track into that part's
// writer: the same tracks as one runTranscriptionPass per part. Returns the parts' outcomes in
// order. A part whose writer fails (a pause too long for a MIDI file) stops there while the
// others go on; an error of the input itself ends every part still running. `xg`, when given,
// transcribes the backing and the registration changes in the same reading.
std::vector<PartOutcome> runTranscriptionPasses(PerformanceReader& reader,
                                                std::span<const PartToTranscribe> parts,
                                                const AnalysisResults& analysis,
                                                TranscriptionTiming timing,
                                                XgTranscription* xg = nullptr);

// The same pass with one part: writes its track and returns its note-on count, or throws the
// error that ended it.
std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing);

}  // namespace koralux
