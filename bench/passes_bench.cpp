// The passes of a conversion one by one: the analysis pass, then the transcription of every
// scheduled part.

#include "bench/bench_inputs.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/part_schedule.hpp"
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
  std::size_t outputBytes = 0;
  for (auto _ : state) {
    SmfWriter writer;
    writer.create();
    for (const PartScheduleRow& row : PartSchedule) {
      if (!row.runsFor(analysis.activity.verdict(row.verdictChannel))) continue;
      benchmark::DoNotOptimize(runTranscriptionPass(reader, writer, row.parameters, analysis, {}));
    }
    outputBytes = writer.finish().size();
  }
  countInputBytes(state, input);
  state.counters["output_bytes"] = static_cast<double>(outputBytes);
}
KORALUX_BENCHMARK_SIZES(BM_TranscriptionPasses);

}  // namespace
}  // namespace koralux::bench
