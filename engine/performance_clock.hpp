#pragma once
// Turns the organ's clock markers and millisecond timing events into ticks. Each clock marker
// is 20 ticks (24 per quarter note); between markers an event is placed in proportion to the
// milliseconds elapsed against the estimated marker interval. The interpolation does not stop
// at the next marker, so an interpolated time can run past the time that marker then gives.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/timebase.hpp"

namespace koralux {

// A time before any timing event or clock marker has been read.
inline constexpr Tick kNoClockYet = std::numeric_limits<Tick>::min();

class PerformanceClock {
 public:
  explicit PerformanceClock(std::int64_t startInterval = 0) noexcept : interval_(startInterval) {}

  // Adds `milliseconds` and returns the interpolated time.
  Tick onTiming(std::int64_t milliseconds) noexcept {
    elapsed_ += milliseconds;
    return now();
  }
  // Advances 20 ticks, halves the interval estimate's distance to the measured interval, and
  // returns the marker's time.
  Tick onClockMarker() noexcept {
    clockTicks_ += kTicksPerClockMarker;
    interval_ = (interval_ + elapsed_) / 2;
    elapsed_ = 0;
    return clockTicks_;
  }
  // The time the latest onTiming or onClockMarker returned (0 before either): the marker's
  // time plus the milliseconds since it, scaled by the interval estimate.
  Tick now() const noexcept {
    // Clock markers with no timing event between them can halve the interval down to 0;
    // it then counts as 1 so that the division stays defined.
    const std::int64_t divisor = std::max<std::int64_t>(interval_, 1) * kClockMarkersPerQuarter;
    const std::int64_t scaled = elapsed_ * kTicksPerQuarter;
    // Both are almost always below 2^32, where dividing is several times quicker than in 64
    // bits (a negative value, were there one, takes the 64-bit way).
    if (static_cast<std::uint64_t>(scaled | divisor) <= 0xFFFFFFFFu) {
      return clockTicks_ + static_cast<std::uint32_t>(scaled) / static_cast<std::uint32_t>(divisor);
    }
    return clockTicks_ + scaled / divisor;
  }

  std::int64_t interval() const noexcept { return interval_; }

 private:
  Tick clockTicks_ = 0;       // ticks at the most recent clock marker
  std::int64_t elapsed_ = 0;  // milliseconds since the most recent clock marker
  std::int64_t interval_;     // estimated milliseconds between two clock markers
};

}  // namespace koralux
