#pragma once
// The XG side of a performance with GeneratorOptions::xg: the tone generator's set-up at the
// start (GM and XG System On, reverb and chorus, each backing part's voice, volume and pan), and
// during the song voice changes and part settings at phrase starts, pitch bends on the lead
// voices, and registration changes on channel 16. The backing's notes come from the composer.

#include <cstdint>
#include <vector>

#include "tools/beat_grid.hpp"
#include "tools/event_encoder.hpp"
#include "tools/event_schedule.hpp"
#include "tools/performance_generator.hpp"
#include "tools/seeded_random.hpp"

namespace koralux {

class XgBacking {
 public:
  XgBacking(const GeneratorOptions& options, const BeatGrid& grid, Random& random,
            EventSchedule& schedule);

  // Writes the set-up, before anything else of the performance.
  void writeSetup(EventEncoder& encoder);
  void composeBar(std::int64_t bar);

 private:
  struct Voice {
    int channel = 5;
    int bank = 0;  // bank select MSB; the LSB picks a variation
    int variation = 0;
    int program = 0;
  };
  Voice chooseVoice(int channel);
  void selectVoice(std::int64_t ms, const Voice& voice);
  void bend(int channel, std::int64_t position);

  const BeatGrid& grid_;
  Random& random_;
  EventSchedule& schedule_;
  std::vector<int> channels_;  // backing channels that play
  bool registrations_;         // channel 16 changes registrations
};

}  // namespace koralux
