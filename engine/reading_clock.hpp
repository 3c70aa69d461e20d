#pragma once
// The performance clock of one reading of the input, as the part tracks use it: it starts from
// the analysed tempo and moves once per timing event or clock marker. The time it gives is worked
// out only when someone asks, and then once for every track the reading feeds.

#include <algorithm>
#include <cstdint>

#include "engine/analysis_pass.hpp"
#include "engine/performance_clock.hpp"
#include "evt/performance_event.hpp"

namespace koralux {

class ReadingClock {
 public:
  // A quarter note's milliseconds at the analysed tempo (24 clock-marker intervals), refined at
  // every marker.
  explicit ReadingClock(std::int64_t tempo) noexcept
      : clock_(60000 / std::max<std::int64_t>(tempo, 1)) {}

  // Moves the clock for a timing event or a clock marker and hands `gave` every time it gives;
  // with the rhythm unit absent every timing event counts as a clock marker too. Returns
  // whether the event moved the clock.
  template <typename Gave>
  bool advance(const PerformanceEvent& event, bool rhythmUnitAbsent, Gave&& gave) noexcept {
    if (event.kind == EventKind::Timing) {
      stale_ = true;
      gave(clock_.onTiming(event.milliseconds()));
      if (rhythmUnitAbsent) gave(clock_.onClockMarker());
      return true;
    }
    if (event.kind == EventKind::ClockMarker) {
      stale_ = true;
      gave(clock_.onClockMarker());
      return true;
    }
    return false;
  }

  // The time the latest timing event or clock marker gave, or kNoClockYet before either.
  Tick now() noexcept {
    if (stale_) {
      now_ = clock_.now();
      stale_ = false;
    }
    return now_;
  }

 private:
  PerformanceClock clock_;
  Tick now_ = kNoClockYet;
  bool stale_ = false;
};

}  // namespace koralux
