// Reading a performance and classifying its events, with nothing done with them but counting.

#include <array>

#include "bench/bench_inputs.hpp"
#include "evt/performance_reader.hpp"

namespace koralux::bench {
namespace {

void BM_ReadEvents(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  std::int64_t events = 0;
  for (auto _ : state) {
    std::array<std::int64_t, kEventKindCount> perKind{};
    PerformanceReader reader(input, "bench");
    for (PerformanceEvent event = reader.next(); event.kind != EventKind::EndOfFile;
         event = reader.next()) {
      ++perKind[static_cast<std::size_t>(event.kind)];
    }
    benchmark::DoNotOptimize(perKind);
    events = 0;
    for (const std::int64_t count : perKind) events += count;
  }
  countInputBytes(state, input);
  state.counters["events"] = static_cast<double>(events);
}
KORALUX_BENCHMARK_SIZES(BM_ReadEvents);

// The same through forEachEvent, as the passes read.
void BM_ForEachEvent(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  std::int64_t events = 0;
  for (auto _ : state) {
    std::array<std::int64_t, kEventKindCount> perKind{};
    PerformanceReader reader(input, "bench");
    reader.forEachEvent([&perKind](const PerformanceEvent& event) {
      ++perKind[static_cast<std::size_t>(event.kind)];
    });
    benchmark::DoNotOptimize(perKind);
    events = 0;
    for (const std::int64_t count : perKind) events += count;
  }
  countInputBytes(state, input);
  state.counters["events"] = static_cast<double>(events);
}
KORALUX_BENCHMARK_SIZES(BM_ForEachEvent);

}  // namespace
}  // namespace koralux::bench
