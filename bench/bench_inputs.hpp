#pragma once
// The performances the benchmarks convert: generated once per run, always the same bytes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace koralux::bench {

enum class InputSize {
  Typical,  // a song of about 100 KB
  Long,     // 2 MB
  Giant,    // 64 MB, far beyond anything an organ records
};

const std::vector<std::uint8_t>& performanceOf(InputSize size);
// A song with an XG backing on channels 5, 6, 7 and 10 and registration changes, of the size.
const std::vector<std::uint8_t>& xgPerformanceOf(InputSize size);

// A folder that lives as long as the benchmark program and is removed at its end.
const std::string& scratchFolder();

// Counts the input bytes of every iteration, so that the report gives bytes per second of input.
void countInputBytes(benchmark::State& state, const std::vector<std::uint8_t>& input);

}  // namespace koralux::bench

// Registers a benchmark `function(state, InputSize)` for the three sizes.
#define KORALUX_BENCHMARK_SIZES(function)                                          \
  BENCHMARK_CAPTURE(function, typical_100KB, ::koralux::bench::InputSize::Typical) \
      ->Unit(benchmark::kMicrosecond);                                             \
  BENCHMARK_CAPTURE(function, long_2MB, ::koralux::bench::InputSize::Long)         \
      ->Unit(benchmark::kMillisecond);                                             \
  BENCHMARK_CAPTURE(function, giant_64MB, ::koralux::bench::InputSize::Giant)      \
      ->Unit(benchmark::kMillisecond)
