// The MIDI writer alone: the channel messages of a performance, written into one track at the
// times a simple millisecond clock gives them.

#include "bench/bench_inputs.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux::bench {
namespace {

void BM_Writer(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  std::vector<PerformanceEvent> events;
  PerformanceReader reader(input, "bench");
  for (PerformanceEvent event = reader.next(); event.kind != EventKind::EndOfFile;
       event = reader.next()) {
    events.push_back(event);
  }

  std::size_t outputBytes = 0;
  for (auto _ : state) {
    SmfWriter writer;
    writer.create();
    writer.beginTrack();
    Tick now = 0;
    for (const PerformanceEvent& event : events) {
      switch (event.kind) {
        case EventKind::Timing:
          now += event.milliseconds();
          writer.setTime(now);
          break;
        case EventKind::NoteOn:
          writer.noteOn(event.channel, event.data1, event.data2);
          break;
        case EventKind::NoteOff:
          writer.noteOff(event.channel, event.data1, event.data2);
          break;
        case EventKind::FootController:
        case EventKind::Expression:
        case EventKind::Sustain:
        case EventKind::AllNotesOff:
        case EventKind::Controller:
          writer.controlChange(event.channel, event.data1, event.data2);
          break;
        case EventKind::ProgramChange:
          writer.programChange(event.channel, event.data1);
          break;
        case EventKind::ChannelPressure:
          writer.channelPressure(event.channel, event.data1);
          break;
        default:
          break;
      }
    }
    writer.endTrack();
    outputBytes = writer.finish().size();
  }
  countInputBytes(state, input);
  state.counters["output_bytes"] = static_cast<double>(outputBytes);
}
KORALUX_BENCHMARK_SIZES(BM_Writer);

}  // namespace
}  // namespace koralux::bench
