#include "engine/performance_clock.hpp"

#include <algorithm>

namespace koralux {

Tick PerformanceClock::onTiming(std::int64_t milliseconds) noexcept {
  elapsed_ += milliseconds;
  // Clock markers with no timing event between them can halve the interval down to 0;
  // it then counts as 1 so that the division stays defined.
  const std::int64_t divisor = std::max<std::int64_t>(interval_, 1) * kClockMarkersPerQuarter;
  return clockTicks_ + (elapsed_ * kTicksPerQuarter) / divisor;
}

Tick PerformanceClock::onClockMarker() noexcept {
  clockTicks_ += kTicksPerClockMarker;
  interval_ = (interval_ + elapsed_) / 2;
  elapsed_ = 0;
  return clockTicks_;
}

}  // namespace koralux
