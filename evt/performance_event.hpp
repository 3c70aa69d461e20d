#pragma once
// One classified event of a performance file: four small integers.

#include <cstdint>

#include "evt/event_kind.hpp"

namespace koralux {

struct PerformanceEvent {
  EventKind kind = EventKind::EndOfFile;
  // Channel messages: the channel 1 to 16. Timing: milliseconds. SystemExclusive: bytes after
  // F0, modulo 256. SystemF1: its data byte. OtherMarker: the byte after FE. Stray: see reader.
  std::int32_t channel = 0;
  std::int32_t data1 = 0;  // note, controller, program or pressure; 0 to 255, not masked
  std::int32_t data2 = 0;  // velocity or controller value; 0 to 255, not masked

  // The meanings of `channel` in events that are not channel messages.
  std::int32_t milliseconds() const noexcept { return channel; }           // Timing
  std::int32_t systemExclusiveLength() const noexcept { return channel; }  // SystemExclusive
  std::int32_t markerByte() const noexcept { return channel; }             // OtherMarker, SystemF1

  friend bool operator==(const PerformanceEvent&, const PerformanceEvent&) = default;
};

}  // namespace koralux
