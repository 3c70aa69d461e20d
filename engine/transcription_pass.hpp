#pragma once
// The passes that write the organ parts' tracks: the events of one source channel, moved to a
// destination channel, placed in time by the performance clock and rewritten by fixed rules.
// The parts are independent of one another once the analysis pass has run, so one reading of
// the input can feed every part, each writing its own track.

#include <cstdint>
#include <exception>
#include <limits>
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

// A time before any timing event or clock marker has been read.
inline constexpr Tick kNoClockYet = std::numeric_limits<Tick>::min();

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
  // The time the latest timing event or clock marker gave, or kNoClockYet before either.
  Tick now() noexcept {
    if (stale_) {
      now_ = clock_.now();
      stale_ = false;
    }
    return now_;
  }

 private:
  void moved() noexcept { stale_ = true; }

  PerformanceClock clock_;
  Tick now_ = kNoClockYet;
  bool stale_ = false;
};

// Transcribes one part, event by event, into its own writer. The events come with `now`, the
// time of the latest timing event or clock marker (ReadingClock::now).
class PartTranscriber {
 public:
  PartTranscriber(SmfWriter& writer, const TranscriptionParameters& parameters,
                  const AnalysisResults& analysis, TranscriptionTiming timing);

  // Begins the track and writes its prologue at the song start.
  void begin();
  // With the legacy timing: the clock gave `time`. Every such time counts there, because one
  // below the last event's displaces the rest of the track. (Otherwise only the latest time
  // before an event counts, which the event brings along.)
  void followTime(Tick time) noexcept;
  // Any event but a timing event or a clock marker. Events of other channels than the source
  // are ignored, except expression, which drives every part's volume.
  void handle(const PerformanceEvent& event, Tick now);
  // The same by kind, for a caller that has already told the kind (and, but for expression,
  // checked that the event comes from the source channel).
  void noteOn(const PerformanceEvent& event, Tick now);
  void noteOff(const PerformanceEvent& event, Tick now);
  void controller(const PerformanceEvent& event, Tick now);
  void expression(const PerformanceEvent& event, Tick now);
  void pressure(const PerformanceEvent& event, Tick now);
  // Ends the track; returns the number of note-ons taken from the source channel.
  std::int64_t end(Tick now);

  int source() const noexcept { return parameters_.source; }

 private:
  // Brings the writer to `now` before an event is written.
  void catchUp(Tick now) noexcept;

  SmfWriter& writer_;
  TranscriptionParameters parameters_;
  Tick songStartOffset_;
  TranscriptionTiming timing_;
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
// others go on; an error of the input itself ends every part still running. `xg`, when given,
// transcribes the backing and the registration changes in the same reading.
std::vector<PartOutcome> runTranscriptionPasses(PerformanceReader& reader,
                                                std::span<const PartToTranscribe> parts,
                                                const AnalysisResults& analysis,
                                                TranscriptionTiming timing,
                                                XgTranscription* xg = nullptr);

// Reads the whole stream from its start and writes one track; returns its note-on count.
std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing);

}  // namespace koralux
