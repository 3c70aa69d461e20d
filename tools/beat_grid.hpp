#pragma once
// The musical grid is the organ's clock: 24 positions per quarter note, four beats to the bar,
// laid over the performance's milliseconds at the rhythm unit's tempo.

#include <cstdint>

namespace koralux {

inline constexpr std::int64_t kPositionsPerBeat = 24;
inline constexpr std::int64_t kPositionsPerBar = 4 * kPositionsPerBeat;

class BeatGrid {
 public:
  // `tempo` in beats per minute; the first beat falls `leadIn` milliseconds into the recording.
  BeatGrid(int tempo, std::int64_t leadIn) noexcept
      : perMinute_(kPositionsPerBeat * tempo), leadIn_(leadIn) {}

  // The millisecond of a grid position. Rounded from the exact value each time, so the clock
  // markers keep the tempo on average while each interval is a whole number of milliseconds.
  std::int64_t msAt(std::int64_t position) const noexcept {
    return leadIn_ + (position * 60000 + perMinute_ / 2) / perMinute_;
  }
  // The milliseconds that `positions` grid positions last.
  std::int64_t msFor(std::int64_t positions) const noexcept { return msAt(positions) - msAt(0); }
  // Grid positions per minute: the divisor in msAt.
  std::int64_t perMinute() const noexcept { return perMinute_; }

 private:
  std::int64_t perMinute_;
  std::int64_t leadIn_;
};

}  // namespace koralux
