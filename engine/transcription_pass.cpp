#include "engine/transcription_pass.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "common/always_inline.hpp"
#include "common/fatal_stop.hpp"
#include "common/timebase.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/reading_clock.hpp"
#include "engine/xg_activity.hpp"
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

// What a track does with the events it is given; the rules that differ between tracks.
enum class Rules : std::uint8_t {
  Organ,          // an organ part: velocities scaled, pressure as expression, mono on request
  Backing,        // a backing part: every channel message as played
  Setup,          // the tone generator's set-up messages
  Registrations,  // the conductor track: a marker per registration change
};

Rules rulesOf(TrackRole role) {
  switch (role) {
    case TrackRole::OrganPart:
      return Rules::Organ;
    case TrackRole::XgPart:
      return Rules::Backing;
    case TrackRole::XgSetup:
      return Rules::Setup;
  }
  return Rules::Organ;
}

// Writes one track, event by event. `now` is the time of the latest timing event or clock
// marker (ReadingClock::now).
class TrackTranscriber {
 public:
  TrackTranscriber(SmfWriter& writer, const PlannedTrack& track, Rules rules, Tick songStartOffset,
                   bool legacyTiming)
      : writer_(writer),
        track_(track),
        rules_(rules),
        songStartOffset_(songStartOffset),
        legacyTiming_(legacyTiming) {}

  // Begins the track and writes its prologue at the song start.
  void begin() {
    if (rules_ == Rules::Registrations) return;  // the analysis pass began the conductor
    writer_.beginTrack();
    writer_.resetClock();
    // The negative offset makes the prologue's deltas 0 and moves every later event one
    // song-start shift later, so the first alignment marker lands on a bar line.
    writer_.setTime(songStartOffset_);
    writer_.trackName(track_.name);
    writer_.midiPort(0);
    if (rules_ == Rules::Setup) return;
    const int destination = track_.destination;
    writer_.channelPrefix(destination);
    if (rules_ != Rules::Organ || !track_.setsChannel) return;
    writer_.controlChange(destination, kVolumeController, 100);
    writer_.controlChange(destination, kPanController, track_.pan);
    writer_.programChange(destination, track_.program);
    writer_.channelPressure(destination, 0);
  }

  // With the legacy timing: the clock gave `time`. Every such time counts there, because one
  // below the last event's displaces the rest of the track. (Otherwise only the latest time
  // before an event counts, which the event brings along.)
  void followTime(Tick time) noexcept { writer_.setTime(time); }

  // An event of the track's source channel.
  void channelEvent(const PerformanceEvent& event, Tick now) {
    if (rules_ == Rules::Registrations) {
      if (event.kind != EventKind::ProgramChange) return;
      catchUp(now);
      return writer_.marker("Registration " + std::to_string(registrationNumber(event.data1)));
    }
    const int destination = track_.destination;
    switch (event.kind) {
      case EventKind::NoteOn:
        if (rules_ == Rules::Organ) return noteOn(event, now);
        ++noteOnCount_;
        catchUp(now);
        return writer_.noteOn(destination, event.data1, event.data2);
      case EventKind::NoteOff:
        if (rules_ == Rules::Organ) return noteOff(event, now);
        catchUp(now);
        return writer_.noteOff(destination, event.data1, event.data2);
      case EventKind::FootController:
      case EventKind::Sustain:
      case EventKind::AllNotesOff:
      case EventKind::Controller:
      case EventKind::Expression:  // reaches an organ part only through expression()
        catchUp(now);
        return writer_.controlChange(destination, event.data1, event.data2);
      case EventKind::ChannelPressure:
        if (rules_ == Rules::Organ) {
          if (!track_.setsChannel) return;
          catchUp(now);
          return writer_.controlChange(destination, kExpressionController,
                                       expressionFromPressure(event.data1));
        }
        catchUp(now);
        return writer_.channelPressure(destination, event.data1);
      case EventKind::ProgramChange:
        if (rules_ != Rules::Backing) return;
        catchUp(now);
        return writer_.programChange(destination, event.data1);
      case EventKind::PitchBend:
        if (rules_ != Rules::Backing) return;
        catchUp(now);
        return writer_.pitchBend(destination, event.data1, event.data2);
      default:
        return;
    }
  }

  // The expression pedal drives the volume of every organ part, whatever its channel.
  void expression(const PerformanceEvent& event, Tick now) {
    if (!track_.setsChannel) return;
    catchUp(now);
    writer_.controlChange(track_.destination, kVolumeController, event.data2);
  }

  // A set-up message for the tone generator (the bytes after F0).
  void setupMessage(std::span<const std::uint8_t> message, Tick now) {
    catchUp(now);
    writer_.systemExclusive(message);
  }

  // Ends the track; returns the number of note-ons taken from the source channel.
  std::int64_t end(Tick now) {
    if (rules_ == Rules::Registrations) {
      // The conductor track ends with its last marker (or where the analysis pass left it).
      writer_.setTime(writer_.lastTime());
    } else {
      // The end of the track follows the last time set, so timing events and clock markers
      // after the last note still lengthen the track.
      catchUp(now);
    }
    writer_.endTrack();
    return noteOnCount_;
  }

  Rules rules() const noexcept { return rules_; }

 private:
  void noteOn(const PerformanceEvent& event, Tick now) {
    ++noteOnCount_;
    catchUp(now);
    const int destination = track_.destination;
    if (track_.mono) {
      if (heldNote_ != -1) writer_.noteOff(destination, heldNote_, 0);
      heldNote_ = event.data1;
    }
    writer_.noteOn(destination, event.data1, noteOnVelocity(event.data2));
  }

  void noteOff(const PerformanceEvent& event, Tick now) {
    int note = event.data1;
    if (track_.mono && heldNote_ != -1) {
      note = heldNote_;
      heldNote_ = -1;
    }
    catchUp(now);
    writer_.noteOff(track_.destination, note, noteOffVelocity(event.data2));
  }

  // Brings the writer to `now` before an event is written.
  void catchUp(Tick now) noexcept {
    // An interpolated time can run past the next clock marker. Left alone, the marker's
    // earlier time would pull the writer's reference back and displace every later event of
    // this track; instead such a time is held at the last written event's time. Held that way
    // no time set lowers the reference, so of the times set between two events only the
    // latest matters.
    if (!legacyTiming_ && now != kNoClockYet) {
      writer_.setTime(std::max(now, writer_.lastTime()));
    }
  }

  SmfWriter& writer_;
  const PlannedTrack& track_;
  Rules rules_;
  Tick songStartOffset_;
  bool legacyTiming_;
  int heldNote_ = -1;
  std::int64_t noteOnCount_ = 0;
};

// The tracks that take each source channel's events, found without a search per event: the
// first track of each channel, and after each track the next one with the same source.
class TracksBySource {
 public:
  TracksBySource(const std::vector<TrackTranscriber>& transcribers,
                 std::span<const PlannedTrack* const> tracks)
      : next_(tracks.size(), kNone) {
    first_.fill(kNone);
    for (std::size_t i = tracks.size(); i-- > 0;) {
      const int source = tracks[i]->source;
      if (source < kFirstChannel || source > kLastChannel) continue;
      if (transcribers[i].rules() == Rules::Setup) continue;
      next_[i] = first_[static_cast<std::size_t>(source)];
      first_[static_cast<std::size_t>(source)] = i;
    }
  }

  // Runs `step(i)` for every track i whose source is `channel` (1 to 16), in the tracks' order.
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

// The conductor track's markers, handled as a track that takes the registration channel.
const PlannedTrack kRegistrationMarkers = [] {
  PlannedTrack track;
  track.source = kRegistrationChannel;
  return track;
}();

}  // namespace

TranscriptionOutcomes runTranscriptionPasses(PerformanceReader& reader,
                                             std::span<const TrackToWrite> tracks,
                                             const AnalysisResults& analysis,
                                             TranscriptionOptions options, SmfWriter* conductor) {
  // Every track the reading writes: the given ones, then the conductor's markers.
  std::vector<TrackTranscriber> transcribers;
  std::vector<const PlannedTrack*> planned;
  transcribers.reserve(tracks.size() + 1);
  for (const TrackToWrite& track : tracks) {
    transcribers.emplace_back(*track.writer, *track.track, rulesOf(track.track->role),
                              analysis.songStartOffset, options.legacyTiming);
    planned.push_back(track.track);
  }
  if (options.xgParts && conductor != nullptr) {
    transcribers.emplace_back(*conductor, kRegistrationMarkers, Rules::Registrations,
                              analysis.songStartOffset, options.legacyTiming);
    planned.push_back(&kRegistrationMarkers);
  }
  const TracksBySource bySource(transcribers, planned);
  std::vector<std::size_t> organParts;
  std::size_t setup = transcribers.size();
  for (std::size_t i = 0; i < transcribers.size(); ++i) {
    if (transcribers[i].rules() == Rules::Organ) organParts.push_back(i);
    if (transcribers[i].rules() == Rules::Setup) setup = i;
  }
  std::vector<PartOutcome> outcomes(transcribers.size());

  // Runs `step` for track i unless it has failed; a failure of its writer ends that track alone.
  const auto forTrack = [&](std::size_t i, auto&& step) {
    if (outcomes[i].failure) return;
    try {
      step(transcribers[i]);
    } catch (const FatalStop&) {
      outcomes[i].failure = std::current_exception();
    }
  };

  for (std::size_t i = 0; i < transcribers.size(); ++i) {
    forTrack(i, [](TrackTranscriber& track) { track.begin(); });
  }
  ReadingClock clock(analysis.tempo);
  const bool legacy = options.legacyTiming;
  const bool rhythmUnitAbsent = options.rhythmUnitAbsent;
  const bool backingKeepsExpression = options.xgParts;
  // The clock gave `time`: with the legacy timing every track follows it at once.
  const auto clockGave = [&](Tick time) KORALUX_ALWAYS_INLINE {
    if (legacy) {
      for (TrackTranscriber& track : transcribers) track.followTime(time);
    }
  };
  const auto fromSource = [&](const PerformanceEvent& event) KORALUX_ALWAYS_INLINE {
    bySource.forEach(event.channel, [&](std::size_t i) {
      forTrack(i, [&](TrackTranscriber& track) { track.channelEvent(event, clock.now()); });
    });
  };

  reader.rewind();
  try {
    reader.forEachEvent([&](const PerformanceEvent& event) KORALUX_ALWAYS_INLINE {
      if (clock.advance(event, rhythmUnitAbsent, clockGave)) return;
      switch (event.kind) {
        case EventKind::Expression:
          if (backingKeepsExpression && isBackingChannel(event.channel)) {
            fromSource(event);
          } else {
            for (const std::size_t i : organParts) {
              forTrack(i, [&](TrackTranscriber& track) { track.expression(event, clock.now()); });
            }
          }
          break;
        case EventKind::FootController:
        case EventKind::Sustain:
        case EventKind::AllNotesOff:
        case EventKind::Controller:
        case EventKind::NoteOff:
        case EventKind::NoteOn:
        case EventKind::ChannelPressure:
        case EventKind::ProgramChange:
        case EventKind::PitchBend:
          fromSource(event);
          break;
        case EventKind::SystemExclusive:
          if (setup < transcribers.size() && isSetupMessage(reader.systemExclusive())) {
            forTrack(setup, [&](TrackTranscriber& track) {
              track.setupMessage(reader.systemExclusive(), clock.now());
            });
          }
          break;
        default:
          break;
      }
    });
  } catch (const FatalStop&) {
    // The input is damaged: every track's own reading would have stopped here, unless it had
    // already failed.
    for (PartOutcome& outcome : outcomes) {
      if (!outcome.failure) outcome.failure = std::current_exception();
    }
  }

  for (std::size_t i = 0; i < transcribers.size(); ++i) {
    forTrack(i, [&](TrackTranscriber& track) { outcomes[i].noteOnCount = track.end(clock.now()); });
  }
  TranscriptionOutcomes result;
  if (transcribers.size() > tracks.size()) {
    result.conductor = outcomes.back().failure;
    outcomes.pop_back();
  }
  result.tracks = std::move(outcomes);
  return result;
}

std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const PlannedTrack& track, const AnalysisResults& analysis,
                                  TranscriptionOptions options) {
  const TrackToWrite one{&track, &writer};
  const TranscriptionOutcomes outcomes =
      runTranscriptionPasses(reader, {&one, 1}, analysis, options);
  const PartOutcome& outcome = outcomes.tracks.front();
  if (outcome.failure) std::rethrow_exception(outcome.failure);
  return outcome.noteOnCount;
}

}  // namespace koralux
