#include "engine/analysis_pass.hpp"

#include <algorithm>

#include "engine/xg_activity.hpp"

#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux {

namespace {
// 21 ms per clock marker, about 119 beats per minute: the estimate before any marker.
constexpr std::int64_t kStartingAverage = 2100;
}  // namespace

std::int64_t tempoFromAverage(std::int64_t average) noexcept {
  // 6000000 / (24 × average), rounded to the nearest integer. A very long gap before the last
  // clock marker drives it to 0, which counts as 1 so that nothing later divides by zero.
  const std::int64_t divisor = std::max<std::int64_t>(average, 1) * 24;
  return std::max<std::int64_t>((average * 12 + 6000000) / divisor, 1);
}

AnalysisResults runAnalysisPass(PerformanceReader& reader, SmfWriter& writer,
                                TimeSignature timeSignature, KeySignature keySignature,
                                ConductorTrack conductor) {
  reader.rewind();
  writer.beginTrack();
  writer.text(kGeneratorText);

  AnalysisResults results;
  Tick clockTicks = 0;
  std::int64_t elapsed = 0;
  std::int64_t average = kStartingAverage;
  std::int64_t eventsBeforeTiming = -1;  // until the first timing event or clock marker
  const auto firstTiming = [&] {
    if (eventsBeforeTiming >= 0) return;
    eventsBeforeTiming = -1;  // the event itself is counted already
    for (const std::int64_t count : results.eventCounts) eventsBeforeTiming += count;
  };

  // Channel messages with a data byte above 127, which no organ sends.
  std::int64_t wideDataBytes = 0;
  reader.forEachEvent([&](const PerformanceEvent& event) KORALUX_ALWAYS_INLINE {
    ++results.eventCounts[static_cast<std::size_t>(event.kind)];
    switch (event.kind) {
      case EventKind::Timing:
        firstTiming();
        elapsed += event.milliseconds();
        results.milliseconds += event.milliseconds();
        break;
      case EventKind::ClockMarker:
        firstTiming();
        average = (10 * average + 100 * elapsed + 5) / 11;
        clockTicks += kTicksPerClockMarker;
        elapsed = 0;
        break;
      case EventKind::AlignMarker:
        // The first marker that arrives after at least one clock marker decides.
        if (results.alignTick == 0) results.alignTick = clockTicks;
        break;
      case EventKind::NoteOn:
        wideDataBytes += (event.data1 | event.data2) >> 7;
        ++results.noteOnCount;
        if (event.channel >= kFirstChannel && event.channel <= kLastChannel) {
          ++results.noteOnsByChannel[static_cast<std::size_t>(event.channel)];
        }
        results.activity.record(event.channel, event.data2);
        break;
      case EventKind::NoteOff:
        wideDataBytes += (event.data1 | event.data2) >> 7;
        results.activity.record(event.channel, 0);
        break;
      case EventKind::ProgramChange:
        wideDataBytes += event.data1 >> 7;
        results.xg.recordProgramChange(event.channel, event.data1, results.milliseconds);
        break;
      case EventKind::FootController:
      case EventKind::Expression:
      case EventKind::Sustain:
      case EventKind::AllNotesOff:
      case EventKind::Controller:
      case EventKind::ChannelPressure:
      case EventKind::PitchBend:
        wideDataBytes += (event.data1 | event.data2) >> 7;
        break;
      case EventKind::SystemExclusive:
        if (isSetupMessage(reader.systemExclusive())) ++results.xg.setupMessages;
        break;
      default:
        break;
    }
  });

  FindingCounts counts;
  for (const std::int64_t count : results.eventCounts) counts.events += count;
  counts.noteOns = results.noteOnCount;
  counts.timingEvents = results.events(EventKind::Timing) + results.events(EventKind::ClockMarker);
  counts.strayBytes = results.events(EventKind::Stray) + wideDataBytes;
  counts.eventsBeforeTiming = eventsBeforeTiming < 0 ? counts.events : eventsBeforeTiming;
  results.findings = gatherFindings(reader, counts);

  writer.resetClock();
  results.songStartOffset = results.alignTick % kTicksPerBar - kTicksPerBar;
  writer.setTime(results.songStartOffset);
  results.tempo = tempoFromAverage(average);
  writer.tempo(results.tempo);
  writer.timeSignature(timeSignature.numerator, timeSignature.denominator);
  writer.keySignature(keySignature.sharpsFlats, keySignature.minor);
  if (conductor == ConductorTrack::End) writer.endTrack();
  return results;
}

}  // namespace koralux
