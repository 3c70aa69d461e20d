#include "engine/transcription_pass.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "common/fatal_stop.hpp"
#include "engine/analysis_pass.hpp"
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
}  // namespace

PartTranscriber::PartTranscriber(SmfWriter& writer, const TranscriptionParameters& parameters,
                                 const AnalysisResults& analysis, TranscriptionTiming timing)
    : writer_(writer),
      parameters_(parameters),
      songStartOffset_(analysis.songStartOffset),
      timing_(timing) {}

void PartTranscriber::begin() {
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

void PartTranscriber::followTime(Tick time) noexcept {
  if (timing_.legacyTiming) writer_.setTime(time);
}

void PartTranscriber::catchUp(Tick now) noexcept {
  // An interpolated time can run past the next clock marker. Left alone, the marker's earlier
  // time would pull the writer's reference back and displace every later event of this track;
  // instead such a time is held at the last written event's time. Held that way no time set
  // lowers the reference, so of the times set between two events only the latest matters.
  if (!timing_.legacyTiming && now != kNoClockYet) {
    writer_.setTime(std::max(now, writer_.lastTime()));
  }
}

void PartTranscriber::handle(const PerformanceEvent& event, Tick now) {
  const bool fromSource = event.channel == parameters_.source;
  switch (event.kind) {
    case EventKind::FootController:
    case EventKind::Sustain:
    case EventKind::AllNotesOff:
    case EventKind::Controller:
      if (fromSource) controller(event, now);
      break;
    case EventKind::Expression:
      expression(event, now);
      break;
    case EventKind::NoteOff:
      if (fromSource) noteOff(event, now);
      break;
    case EventKind::NoteOn:
      if (fromSource) noteOn(event, now);
      break;
    case EventKind::ChannelPressure:
      if (fromSource) pressure(event, now);
      break;
    default:
      break;
  }
}

void PartTranscriber::noteOn(const PerformanceEvent& event, Tick now) {
  ++noteOnCount_;
  catchUp(now);
  const int destination = parameters_.destination;
  if (parameters_.mono) {
    if (heldNote_ != -1) writer_.noteOff(destination, heldNote_, 0);
    heldNote_ = event.data1;
  }
  writer_.noteOn(destination, event.data1, noteOnVelocity(event.data2));
}

void PartTranscriber::noteOff(const PerformanceEvent& event, Tick now) {
  int note = event.data1;
  if (parameters_.mono && heldNote_ != -1) {
    note = heldNote_;
    heldNote_ = -1;
  }
  catchUp(now);
  writer_.noteOff(parameters_.destination, note, noteOffVelocity(event.data2));
}

void PartTranscriber::controller(const PerformanceEvent& event, Tick now) {
  catchUp(now);
  writer_.controlChange(parameters_.destination, event.data1, event.data2);
}

void PartTranscriber::expression(const PerformanceEvent& event, Tick now) {
  // The expression pedal drives the volume of every part, whatever its channel.
  catchUp(now);
  writer_.controlChange(parameters_.destination, kVolumeController, event.data2);
}

void PartTranscriber::pressure(const PerformanceEvent& event, Tick now) {
  catchUp(now);
  writer_.controlChange(parameters_.destination, kExpressionController,
                        expressionFromPressure(event.data1));
}

std::int64_t PartTranscriber::end(Tick now) {
  // The end of the track follows the last time set, so timing events and clock markers after
  // the last note still lengthen the track.
  catchUp(now);
  writer_.endTrack();
  return noteOnCount_;
}

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
  std::vector<PartOutcome> outcomes(parts.size());

  // Which parts take a channel's events: the first by channel, then the next with the same
  // source.
  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::array<std::size_t, kLastChannel + 1> firstBySource;
  firstBySource.fill(kNone);
  std::vector<std::size_t> nextBySource(parts.size(), kNone);
  for (std::size_t i = parts.size(); i-- > 0;) {
    const int source = transcribers[i].source();
    if (source < 0 || source > kLastChannel) continue;
    nextBySource[i] = firstBySource[static_cast<std::size_t>(source)];
    firstBySource[static_cast<std::size_t>(source)] = i;
  }

  // Runs `step` for part i unless it has failed; a failure of its writer ends that part alone.
  const auto forPart = [&](std::size_t i, auto&& step) {
    if (outcomes[i].failure) return;
    try {
      step(transcribers[i]);
    } catch (const FatalStop&) {
      outcomes[i].failure = std::current_exception();
    }
  };

  // Runs `step` for every part whose source channel is the event's.
  const auto forSource = [&](const PerformanceEvent& event, auto&& step) {
    for (std::size_t i = firstBySource[static_cast<std::size_t>(event.channel)]; i != kNone;
         i = nextBySource[i]) {
      forPart(i, step);
    }
  };

  for (std::size_t i = 0; i < parts.size(); ++i) {
    forPart(i, [](PartTranscriber& part) { part.begin(); });
  }
  if (xg != nullptr) xg->begin();
  const bool legacy = timing.legacyTiming;
  const bool rhythmUnitAbsent = timing.rhythmUnitAbsent;
  const auto followTime = [&](Tick time) {
    for (PartTranscriber& part : transcribers) part.followTime(time);
    if (xg != nullptr) xg->followTime(time);
  };

  reader.rewind();
  try {
    reader.forEachEvent([&](const PerformanceEvent& event) KORALUX_ALWAYS_INLINE {
      if (xg != nullptr && XgTranscription::takes(event)) {
        xg->handle(event, clock.now(), reader.systemExclusive());
      }
      switch (event.kind) {
        case EventKind::Timing:
          if (legacy) {
            followTime(clock.onTiming(event.channel));
            if (rhythmUnitAbsent) followTime(clock.onClockMarker());
          } else {
            clock.onTiming(event.channel);
            if (rhythmUnitAbsent) clock.onClockMarker();
          }
          break;
        case EventKind::ClockMarker:
          if (legacy) {
            followTime(clock.onClockMarker());
          } else {
            clock.onClockMarker();
          }
          break;
        case EventKind::Expression:
          for (std::size_t i = 0; i < transcribers.size(); ++i) {
            forPart(i, [&](PartTranscriber& part) { part.expression(event, clock.now()); });
          }
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
