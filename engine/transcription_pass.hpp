#pragma once
// One pass that writes one organ part's track: the events of one source channel, moved to a
// destination channel, placed in time by the performance clock and rewritten by fixed rules.

#include <cstdint>
#include <string_view>

#include "common/timebase.hpp"
#include "engine/performance_clock.hpp"

namespace koralux {

class PerformanceReader;
class SmfWriter;
struct AnalysisResults;
struct PerformanceEvent;

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

// Transcribes one part event by event, so that one reading of the input can feed several parts.
class PartTranscriber {
 public:
  PartTranscriber(SmfWriter& writer, const TranscriptionParameters& parameters,
                  const AnalysisResults& analysis, TranscriptionTiming timing);

  // Begins the track and writes its prologue at the song start.
  void begin();
  void handle(const PerformanceEvent& event);
  // Ends the track; returns the number of note-ons taken from the source channel.
  std::int64_t end();

 private:
  void setTime(Tick time);

  SmfWriter& writer_;
  TranscriptionParameters parameters_;
  Tick songStartOffset_;
  TranscriptionTiming timing_;
  PerformanceClock clock_;
  int heldNote_ = -1;
  std::int64_t noteOnCount_ = 0;
};

// Reads the whole stream from its start and writes one track; returns its note-on count.
std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing);

}  // namespace koralux
