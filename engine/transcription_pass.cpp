#include "engine/transcription_pass.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "common/always_inline.hpp"
#include "common/fatal_stop.hpp"
#include "common/timebase.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/performance_clock.hpp"
#include "engine/xg_parts.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {
constexpr int kVolumeController = 7;
constexpr int kPanController = 10;
constexpr int kExpressionController = 11;

// Note-offs: 1 to 127 onto 40 to 127. Note-ons: 1 to 127 onto 40 to 42 (the organ's note-on
// velocities are kept nearly flat).
int noteOffVelocity(int velocity) {
  return velocity == 0 ? 0 : 40 + (velocity * 88) / 128;
}
int noteOnVelocity(int velocity) {
  return velocity == 0 ? 0 : 40 + (velocity * 3) / 128;
}
// No pressure gives expression 100, full pressure 127.
int expressionFromPressure(int pressure) {
  return 100 + ((128 - 100) * pressure) / 128;
}

// The performance clock of one reading of the input, shared by every part the reading feeds:
// moved once per timing event or clock marker. The time it gives is worked out only when a
// part is about to write, and then once for all parts.
class ReadingClock {
 public:
  explicit ReadingClock(std::int64_t startInterval) noexcept : clock_(startInterval) {}

  Tick onTiming(std::int64_t milliseconds) noexcept {
    stale_ = true;
    return clock_.onTiming(milliseconds);
  }
  Tick onClockMarker() noexcept {
    stale_ = true;
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
  PerformanceClock clock_;
  Tick now_ = kNoClockYet;
  bool stale_ = false;
};

// Transcribes one part into its own writer, event by event, each event told by kind (and, but
// for expression, from the part's source channel). `now` is the time of the latest timing
// event or clock marker (ReadingClock::now).
class PartTranscriber {
 public:
  PartTranscriber(SmfWriter& writer, const TranscriptionParameters& parameters,
                  const AnalysisResults& analysis, TranscriptionTiming timing)
      : writer_(writer),
        parameters_(parameters),
        songStartOffset_(analysis.songStartOffset),
        timing_(timing) {}

  // Begins the track and writes its prologue at the song start.
  void begin() {
    writer_.beginTrack();
    writer_.resetClock();
    // The negative offset makes the prologue's deltas 0 and moves every later event one
    // song-start shift later, so the first alignment marker lands on a bar line.
    writer_.setTime(songStartOffset_);
    const int destination = parameters_.destination;
    writer_.trackName(parameters_.trackName);
    writer_.midiPort(0);
    writer_.channelPrefix(destination);
    writer_.controlChange(destination, kVolumeController, 100);
    writer_.controlChange(destination, kPanController, parameters_.pan);
    writer_.programChange(destination, parameters_.program);
    writer_.channelPressure(destination, 0);
  }

  // With the legacy timing: the clock gave `time`. Every such time counts there, because one
  // below the last event's displaces the rest of the track. (Otherwise only the latest time
  // before an event counts, which the event brings along.)
  void followTime(Tick time) noexcept { writer_.setTime(time); }

  void noteOn(const PerformanceEvent& event, Tick now) {
    ++noteOnCount_;
    catchUp(now);
    const int destination = parameters_.destination;
    if (parameters_.mono) {
      if (heldNote_ != -1) writer_.noteOff(destination, heldNote_, 0);
      heldNote_ = event.data1;
    }
    writer_.noteOn(destination, event.data1, noteOnVelocity(event.data2));
  }

  void noteOff(const PerformanceEvent& event, Tick now) {
    int note = event.data1;
    if (parameters_.mono && heldNote_ != -1) {
      note = heldNote_;
      heldNote_ = -1;
    }
    catchUp(now);
    writer_.noteOff(parameters_.destination, note, noteOffVelocity(event.data2));
  }

  void controller(const PerformanceEvent& event, Tick now) {
    catchUp(now);
    writer_.controlChange(parameters_.destination, event.data1, event.data2);
  }

  // The expression pedal drives the volume of every part, whatever its channel.
  void expression(const PerformanceEvent& event, Tick now) {
    catchUp(now);
    writer_.controlChange(parameters_.destination, kVolumeController, event.data2);
  }

  void pressure(const PerformanceEvent& event, Tick now) {
    catchUp(now);
    writer_.controlChange(parameters_.destination, kExpressionController,
                          expressionFromPressure(event.data1));
  }

  // Ends the track; returns the number of note-ons taken from the source channel.
  std::int64_t end(Tick now) {
    // The end of the track follows the last time set, so timing events and clock markers
    // after the last note still lengthen the track.
    catchUp(now);
    writer_.endTrack();
    return noteOnCount_;
  }

 private:
  // Brings the writer to `now` before an event is written.
  void catchUp(Tick now) noexcept {
    // An interpolated time can run past the next clock marker. Left alone, the marker's
    // earlier time would pull the writer's reference back and displace every later event of
    // this track; instead such a time is held at the last written event's time. Held that way
    // no time set lowers the reference, so of the times set between two events only the
    // latest matters.
    if (!timing_.legacyTiming && now != kNoClockYet) {
      writer_.setTime(std::max(now, writer_.lastTime()));
    }
  }

  SmfWriter& writer_;
  TranscriptionParameters parameters_;
  Tick songStartOffset_;
  TranscriptionTiming timing_;
  int heldNote_ = -1;
  std::int64_t noteOnCount_ = 0;
};

// The parts that take each source channel's events, found without a search per event: the
// first part of each channel, and after each part the next one with the same source.
class PartsBySource {
 public:
  explicit PartsBySource(std::span<const PartToTranscribe> parts) : next_(parts.size(), kNone) {
    first_.fill(kNone);
    for (std::size_t i = parts.size(); i-- > 0;) {
      const int source = parts[i].parameters.source;
      if (source < kFirstChannel || source > kLastChannel) continue;
      next_[i] = first_[static_cast<std::size_t>(source)];
      first_[static_cast<std::size_t>(source)] = i;
    }
  }

  // Runs `step(i)` for every part i whose source is `channel` (1 to 16), in the parts' order.
  template <typename Step>
  void forEach(std::int32_t channel, Step&& step) const {
    for (std::size_t i = first_[static_cast<std::size_t>(channel)]; i != kNone; i = next_[i]) {
      step(i);
    }
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::array<std::size_t, kLastChannel + 1> first_;
  std::vector<std::size_t> next_;
};

}  // namespace

std::vector<PartOutcome> runTranscriptionPasses(PerformanceReader& reader,
                                                std::span<const PartToTranscribe> parts,
                                                const AnalysisResults& analysis,
                                                TranscriptionTiming timing, XgTranscription* xg) {
  // A quarter note's milliseconds: 24 clock-marker intervals, refined at every marker.
  ReadingClock clock(60000 / std::max<std::int64_t>(analysis.tempo, 1));
  std::vector<PartTranscriber> transcribers;
  transcribers.reserve(parts.size());
  for (const PartToTranscribe& part : parts) {
    transcribers.emplace_back(*part.writer, part.parameters, analysis, timing);
  }
  const PartsBySource bySource(parts);
  std::vector<PartOutcome> outcomes(parts.size());

  // Runs `step` for part i unless it has failed; a failure of its writer ends that part alone.
  const auto forPart = [&](std::size_t i, auto&& step) {
    if (outcomes[i].failure) return;
    try {
      step(transcribers[i]);
    } catch (const FatalStop&) {
      outcomes[i].failure = std::current_exception();
    }
  };
  const auto forEveryPart = [&](auto&& step) {
    for (std::size_t i = 0; i < parts.size(); ++i) forPart(i, step);
  };
  // Runs `step` for every part whose source channel is the event's.
  const auto forSource = [&](const PerformanceEvent& event, auto&& step) {
    bySource.forEach(event.channel, [&](std::size_t i) { forPart(i, step); });
  };

  forEveryPart([](PartTranscriber& part) { part.begin(); });
  if (xg != nullptr) xg->begin();
  const bool legacy = timing.legacyTiming;
  const bool rhythmUnitAbsent = timing.rhythmUnitAbsent;
  // The clock gave `time`: with the legacy timing every part follows it at once.
  const auto clockGave = [&](Tick time) {
    if (legacy) {
      for (PartTranscriber& part : transcribers) part.followTime(time);
      if (xg != nullptr) xg->followTime(time);
    }
  };

  reader.rewind();
  try {
    reader.forEachEvent([&](const PerformanceEvent& event) KORALUX_ALWAYS_INLINE {
      if (xg != nullptr && XgTranscription::takes(event)) {
        xg->handle(event, clock.now(), reader.systemExclusive());
      }
      switch (event.kind) {
        case EventKind::Timing:
          clockGave(clock.onTiming(event.milliseconds()));
          if (rhythmUnitAbsent) clockGave(clock.onClockMarker());
          break;
        case EventKind::ClockMarker:
          clockGave(clock.onClockMarker());
          break;
        case EventKind::Expression:
          forEveryPart([&](PartTranscriber& part) { part.expression(event, clock.now()); });
          break;
        case EventKind::FootController:
        case EventKind::Sustain:
        case EventKind::AllNotesOff:
        case EventKind::Controller:
          forSource(event, [&](PartTranscriber& part) { part.controller(event, clock.now()); });
          break;
        case EventKind::NoteOff:
          forSource(event, [&](PartTranscriber& part) { part.noteOff(event, clock.now()); });
          break;
        case EventKind::NoteOn:
          forSource(event, [&](PartTranscriber& part) { part.noteOn(event, clock.now()); });
          break;
        case EventKind::ChannelPressure:
          forSource(event, [&](PartTranscriber& part) { part.pressure(event, clock.now()); });
          break;
        default:
          break;
      }
    });
  } catch (const FatalStop&) {
    // The input is damaged: every part's own pass would have stopped here, unless it had
    // already failed.
    for (PartOutcome& outcome : outcomes) {
      if (!outcome.failure) outcome.failure = std::current_exception();
    }
    if (xg != nullptr) xg->failAll(std::current_exception());
    return outcomes;
  }

  for (std::size_t i = 0; i < parts.size(); ++i) {
    forPart(i, [&](PartTranscriber& part) { outcomes[i].noteOnCount = part.end(clock.now()); });
  }
  if (xg != nullptr) xg->end(clock.now());
  return outcomes;
}

std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing) {
  const PartToTranscribe part{parameters, &writer};
  const std::vector<PartOutcome> outcomes =
      runTranscriptionPasses(reader, {&part, 1}, analysis, timing);
  if (outcomes.front().failure) std::rethrow_exception(outcomes.front().failure);
  return outcomes.front().noteOnCount;
}

}  // namespace koralux
