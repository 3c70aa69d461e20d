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

// The performance clock of one reading of the input, shared by every part the reading feeds:
// moved once per timing event or clock marker. The time it gives is worked out only when a
// part is about to write, and then once for all parts.
class ReadingClock {
 public:
  explicit ReadingClock(std::int64_t startInterval) noexcept : clock_(startInterval) {}

  Tick onTiming(std::int64_t milliseconds) noexcept {
    moved();
    return clock_.onTiming(milliseconds);
  }
  Tick onClockMarker() noexcept {
    moved();
    return clock_.onClockMarker();
  }
  // Whether a timing event or a clock marker has been read yet.
  bool started() const noexcept { return started_; }
  // The time the latest timing event or clock marker gave.
  Tick now() noexcept {
    if (stale_) {
      now_ = clock_.now();
      stale_ = false;
    }
    return now_;
  }

 private:
  void moved() noexcept {
    started_ = true;
    stale_ = true;
  }

  PerformanceClock clock_;
  Tick now_ = 0;
  bool started_ = false;
  bool stale_ = false;
};

// Transcribes one part, event by event, into its own writer.
class PartTranscriber {
 public:
  PartTranscriber(SmfWriter& writer, const TranscriptionParameters& parameters,
                  const AnalysisResults& analysis, TranscriptionTiming timing, ReadingClock& clock);

  // Begins the track and writes its prologue at the song start.
  void begin();
  // With the legacy timing: the clock gave `time`. Every such time counts there, because one
  // below the last event's displaces the rest of the track. (Otherwise only the latest time
  // before an event counts, and the part takes it from the clock when it writes.)
  void followTime(Tick time) noexcept;
  // Any event but a timing event or a clock marker. Events of other channels than the source
  // are ignored, except expression, which drives every part's volume.
  void handle(const PerformanceEvent& event);
  // The same by kind, for a caller that has already told the kind (and, but for expression,
  // checked that the event comes from the source channel).
  void noteOn(const PerformanceEvent& event);
  void noteOff(const PerformanceEvent& event);
  void controller(const PerformanceEvent& event);
  void expression(const PerformanceEvent& event);
  void pressure(const PerformanceEvent& event);
  // Ends the track; returns the number of note-ons taken from the source channel.
  std::int64_t end();

  int source() const noexcept { return parameters_.source; }

 private:
  // Brings the writer to the time of the latest timing event or clock marker before an event
  // is written.
  void catchUp() noexcept;

  SmfWriter& writer_;
  TranscriptionParameters parameters_;
  Tick songStartOffset_;
  TranscriptionTiming timing_;
  ReadingClock& clock_;
  int heldNote_ = -1;
  std::int64_t noteOnCount_ = 0;
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
// others go on; an error of the input itself ends every part still running.
std::vector<PartOutcome> runTranscriptionPasses(PerformanceReader& reader,
                                                std::span<const PartToTranscribe> parts,
                                                const AnalysisResults& analysis,
                                                TranscriptionTiming timing);

// Reads the whole stream from its start and writes one track; returns its note-on count.
std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing);

}  // namespace koralux
