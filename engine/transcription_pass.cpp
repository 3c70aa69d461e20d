#include "engine/transcription_pass.hpp"

#include <algorithm>

#include "engine/analysis_pass.hpp"
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
      timing_(timing),
      // A quarter note's milliseconds: 24 clock-marker intervals, refined at every marker.
      clock_(60000 / std::max<std::int64_t>(analysis.tempo, 1)) {}

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

void PartTranscriber::setTime(Tick time) {
  // An interpolated time can run past the next clock marker. Left alone, the marker's earlier
  // time would pull the writer's reference back and displace every later event of this track;
  // instead such a time is held at the last written event's time.
  writer_.setTime(timing_.legacyTiming ? time : std::max(time, writer_.lastTime()));
}

void PartTranscriber::handle(const PerformanceEvent& event) {
  const int destination = parameters_.destination;
  const bool fromSource = event.channel == parameters_.source;
  switch (event.kind) {
    case EventKind::Timing:
      setTime(clock_.onTiming(event.channel));
      if (timing_.rhythmUnitAbsent) setTime(clock_.onClockMarker());
      break;
    case EventKind::ClockMarker:
      setTime(clock_.onClockMarker());
      break;
    case EventKind::FootController:
    case EventKind::Sustain:
    case EventKind::AllNotesOff:
    case EventKind::Controller:
      if (fromSource) writer_.controlChange(destination, event.data1, event.data2);
      break;
    case EventKind::Expression:
      // The expression pedal drives the volume of every part, whatever its channel.
      writer_.controlChange(destination, kVolumeController, event.data2);
      break;
    case EventKind::NoteOff:
      if (fromSource) {
        int note = event.data1;
        if (parameters_.mono && heldNote_ != -1) {
          note = heldNote_;
          heldNote_ = -1;
        }
        writer_.noteOff(destination, note, noteOffVelocity(event.data2));
      }
      break;
    case EventKind::NoteOn:
      if (fromSource) {
        ++noteOnCount_;
        if (parameters_.mono) {
          if (heldNote_ != -1) writer_.noteOff(destination, heldNote_, 0);
          heldNote_ = event.data1;
        }
        writer_.noteOn(destination, event.data1, noteOnVelocity(event.data2));
      }
      break;
    case EventKind::ChannelPressure:
      if (fromSource) {
        writer_.controlChange(destination, kExpressionController,
                              expressionFromPressure(event.data1));
      }
      break;
    default:
      break;
  }
}

std::int64_t PartTranscriber::end() {
  writer_.endTrack();
  return noteOnCount_;
}

std::int64_t runTranscriptionPass(PerformanceReader& reader, SmfWriter& writer,
                                  const TranscriptionParameters& parameters,
                                  const AnalysisResults& analysis, TranscriptionTiming timing) {
  reader.rewind();
  PartTranscriber part(writer, parameters, analysis, timing);
  part.begin();
  for (PerformanceEvent event = reader.next(); event.kind != EventKind::EndOfFile;
       event = reader.next()) {
    part.handle(event);
  }
  return part.end();
}

}  // namespace koralux
