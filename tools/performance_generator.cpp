#include "tools/performance_generator.hpp"

#include <algorithm>
#include <cmath>

#include "tools/beat_grid.hpp"
#include "tools/event_encoder.hpp"
#include "tools/event_schedule.hpp"
#include "tools/music_composer.hpp"
#include "tools/seeded_random.hpp"
#include "tools/xg_backing.hpp"

namespace koralux {

namespace {

constexpr int kLowestTempo = 20;
constexpr int kHighestTempo = 400;

// Bars in a row that may pass without a byte before a size-driven performance gives up
// (nothing is selected that could ever play).
constexpr int kIdleBarLimit = 64;

PerformanceLength lengthOf(const GeneratorOptions& options) {
  const double seconds = std::isfinite(options.seconds) ? options.seconds : 0.0;
  return {static_cast<std::int64_t>(std::llround(std::clamp(seconds, 0.0, 1e12) * 1000.0)),
          options.targetBytes};
}

// Bytes to keep room for: about 300 a second at 120 beats per minute with four parts playing;
// more parts or a faster tempo let the buffer grow as usual.
std::size_t expectedBytes(const PerformanceLength& length) {
  if (length.targetBytes != 0) return length.targetBytes;
  const double seconds = static_cast<double>(length.endMs) / 1000.0;
  return static_cast<std::size_t>(std::min(seconds * 400.0, 64.0 * 1024 * 1024));
}

}  // namespace

// Composes a bar at a time and writes what is due before the next bar, until the performance
// has its length; then the player stops: the rhythm unit falls silent, nothing new starts, and
// every key still held is let go.
std::vector<std::uint8_t> generatePerformance(const GeneratorOptions& options) {
  const PerformanceLength length = lengthOf(options);
  Random random(options.seed);
  // The recording starts a moment before the first beat, so that the performance opens with a
  // timing event, as the organ's recordings do.
  const BeatGrid grid(std::clamp(options.tempo, kLowestTempo, kHighestTempo),
                      random.between(2, 12));
  EventEncoder encoder(expectedBytes(length), options.seed ^ 0x5A17E0C0FFEEull);
  EventSchedule schedule(grid, options.rhythmUnit, options.looseTiming ? &random : nullptr,
                         encoder);
  MusicComposer composer(options, grid, random, schedule);
  XgBacking backing(options, grid, random, schedule);
  if (options.xg) backing.writeSetup(encoder);

  int idleBars = 0;
  for (std::int64_t bar = 0;; ++bar) {
    const std::size_t before = encoder.size();
    composer.composeBar(bar);
    if (options.xg) backing.composeBar(bar);
    const std::int64_t barEnd = grid.msAt((bar + 1) * kPositionsPerBar);
    if (schedule.writeBefore(barEnd, length)) break;
    if (length.targetBytes == 0 && barEnd >= length.endMs) break;
    idleBars = encoder.size() == before ? idleBars + 1 : 0;
    if (idleBars >= kIdleBarLimit) break;
  }
  schedule.finish();
  if (options.everyKind) {
    for (int channel = 1; channel <= 16; ++channel) {
      if ((options.channels & channelBit(channel)) != 0) {
        encoder.write(controlChange(channel, kAllNotesOff, 0));
      }
    }
  }
  return encoder.take();
}

}  // namespace koralux
