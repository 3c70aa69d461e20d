// Reading a performance and classifying its events, with nothing done with them but counting.

#include <algorithm>
#include <array>
#include <cstring>

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

// Not the engine's code: the least any reading of a performance must do, finding where each
// event starts and nothing else, without a branch but for system-exclusive messages. Every
// byte of the stream depends on the one before it (events are 1 to 3 bytes long), so this
// is the floor under the cost of one reading.
void BM_EventBoundaries(benchmark::State& state, InputSize size) {
  static constexpr auto kLength = [] {
    std::array<std::uint8_t, 256> length{};
    for (int status = 0; status < 256; ++status) {
      int bytes = 1;  // data bytes read as strays, An, F2, F5 to FD, FF
      switch (status >> 4) {
        case 0x8:
        case 0x9:
        case 0xB:
        case 0xE:
          bytes = 3;
          break;
        case 0xC:
        case 0xD:
          bytes = 2;
          break;
        case 0xF:
          if (status == 0xF1 || status == 0xF3 || status == 0xFE) bytes = 2;
          if (status == 0xF4) bytes = 3;
          break;
        default:
          break;
      }
      length[static_cast<std::size_t>(status)] = static_cast<std::uint8_t>(bytes);
    }
    return length;
  }();
  const auto& input = performanceOf(size);
  std::int64_t events = 0;
  for (auto _ : state) {
    const std::uint8_t* bytes = input.data();
    const std::size_t end = input.size();
    std::size_t at = kPerformanceHeaderSize;
    events = 0;
    while (end - at >= 3) {
      const std::uint8_t status = bytes[at];
      if (status == 0xF0) {  // up to and including the first F7, at most 512 bytes
        const std::size_t available = std::min(end - at - 1, kSystemExclusiveLimit);
        const void* last = std::memchr(bytes + at + 1, 0xF7, available);
        at = last != nullptr
                 ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(last) - bytes) + 1
                 : at + 1 + available;
      } else {
        at += kLength[status];
      }
      ++events;
    }
    benchmark::DoNotOptimize(events);
  }
  countInputBytes(state, input);
  state.counters["events"] = static_cast<double>(events);
}
KORALUX_BENCHMARK_SIZES(BM_EventBoundaries);

}  // namespace
}  // namespace koralux::bench
