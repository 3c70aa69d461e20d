#pragma once
// Everything else the organ's stream can hold besides notes and the expression pedal, for a
// performance of every kind (GeneratorOptions::everyKind): system messages and markers, stray
// bytes, controllers, program changes, pressure and pitch bends.

#include <cstdint>
#include <vector>

#include "tools/beat_grid.hpp"
#include "tools/event_schedule.hpp"
#include "tools/seeded_random.hpp"

namespace koralux {

enum class OtherEvent {
  SystemExclusive,
  SystemF1,
  PipeMarker,
  SystemF2,
  SystemF6,
  OtherMarker,
  Stray,
  FootController,
  Sustain,
  Controller,
  ProgramChange,
  ChannelPressure,
  PitchBend,
  AllNotesOff,
};
inline constexpr int kOtherEventCount = static_cast<int>(OtherEvent::AllNotesOff) + 1;

class OtherEvents {
 public:
  // Channel events go to one of `channels` (those that play); `jitter` is the most milliseconds
  // an event comes after its grid position.
  OtherEvents(Random& random, const BeatGrid& grid, EventSchedule& schedule,
              std::vector<int> channels, int jitter);

  // One event of `kind` at grid `position`. Sustain, pressure and pitch bend are put back to
  // rest a little later; sustain at position 0 is only set to rest.
  void add(OtherEvent kind, std::int64_t position);

 private:
  Random& random_;
  const BeatGrid& grid_;
  EventSchedule& schedule_;
  std::vector<int> channels_;
  int jitter_;
};

}  // namespace koralux
