// The passes of a conversion one by one: the analysis pass, then the transcription of every
// scheduled part (in one reading of the input).

#include "bench/bench_inputs.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/transcription_pass.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

namespace koralux::bench {
namespace {

void BM_AnalysisPass(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  for (auto _ : state) {
    PerformanceReader reader(input, "bench");
    SmfWriter writer;
    writer.create();
    const AnalysisResults results = runAnalysisPass(reader, writer, {}, {});
    benchmark::DoNotOptimize(results);
  }
  countInputBytes(state, input);
}
KORALUX_BENCHMARK_SIZES(BM_AnalysisPass);

void BM_TranscriptionPasses(benchmark::State& state, InputSize size) {
  const auto& input = performanceOf(size);
  PerformanceReader reader(input, "bench");
  AnalysisResults analysis;
  {
    SmfWriter conductor;
    conductor.create();
    analysis = runAnalysisPass(reader, conductor, {}, {});
  }
  const std::vector<PlannedTrack> scheduled = plannedTracks(analysis, false);
  std::size_t outputBytes = 0;
  for (auto _ : state) {
    std::vector<SmfWriter> writers(scheduled.size());
    std::vector<TrackToWrite> parts;
    for (std::size_t i = 0; i < scheduled.size(); ++i)
      parts.push_back({&scheduled[i], &writers[i]});
    benchmark::DoNotOptimize(runTranscriptionPasses(reader, parts, analysis, {}));
    outputBytes = 0;
    for (const SmfWriter& writer : writers) outputBytes += writer.bytes().size();
  }
  countInputBytes(state, input);
  state.counters["output_bytes"] = static_cast<double>(outputBytes);
}
KORALUX_BENCHMARK_SIZES(BM_TranscriptionPasses);

}  // namespace
}  // namespace koralux::bench
