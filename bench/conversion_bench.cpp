// Whole conversions: in memory (bytes in, bytes out), and from a file to a file as koralux-cli
// makes them.

#include "bench/bench_inputs.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_run.hpp"

namespace koralux::bench {
namespace {

// Converts `input` in memory as often as the benchmark asks, counting its bytes.
void convertInMemory(benchmark::State& state, const std::vector<std::uint8_t>& input,
                     bool xgParts) {
  ConversionSettings settings;
  settings.inputPath = "bench.evt";
  settings.xgParts = xgParts;
  SilentObserver observer;
  std::size_t outputBytes = 0;
  for (auto _ : state) {
    const ConversionResult result = convertPerformance(input, settings, observer);
    outputBytes = result.midi.size();
  }
  countInputBytes(state, input);
  state.counters["output_bytes"] = static_cast<double>(outputBytes);
}

void BM_ConvertInMemory(benchmark::State& state, InputSize size) {
  convertInMemory(state, performanceOf(size), false);
}
KORALUX_BENCHMARK_SIZES(BM_ConvertInMemory);

void BM_ConvertFileToFile(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  ConversionSettings settings;
  settings.inputPath = scratchFolder() + "/input.evt";
  settings.outputPath = scratchFolder() + "/output.mid";
  writeFileAtomically(settings.inputPath, input);
  SilentObserver observer;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ConversionRun(settings, observer));
  }
  countInputBytes(state, input);
}
KORALUX_BENCHMARK_SIZES(BM_ConvertFileToFile);

// A song with an XG backing, converted without and with the XG parts, in the same run.
void BM_ConvertXgSong(benchmark::State& state, InputSize size, bool xgParts) {
  convertInMemory(state, xgPerformanceOf(size), xgParts);
}
BENCHMARK_CAPTURE(BM_ConvertXgSong, long_2MB_off, InputSize::Long, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertXgSong, long_2MB_xg_parts, InputSize::Long, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertXgSong, giant_64MB_off, InputSize::Giant, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertXgSong, giant_64MB_xg_parts, InputSize::Giant, true)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace koralux::bench
