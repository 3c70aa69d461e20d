#pragma once
// Musical time and channel numbering shared by every part of the converter.
// Times are absolute ticks; only the MIDI writer turns them into delta times.

#include <cstdint>

namespace koralux {

// Absolute time in ticks at 480 per quarter note. 64 bits, so no length of performance
// can overflow the arithmetic that produces it.
using Tick = std::int64_t;

inline constexpr Tick kTicksPerQuarter = 480;
// The organ's clock markers arrive 24 times per quarter note.
inline constexpr Tick kClockMarkersPerQuarter = 24;
inline constexpr Tick kTicksPerClockMarker = kTicksPerQuarter / kClockMarkersPerQuarter;  // 20
// One 4/4 bar: the song start is moved onto a multiple of this.
inline constexpr Tick kTicksPerBar = 4 * kTicksPerQuarter;  // 1920

// Channels are numbered 1 to 16 at every interface; a status byte carries channel - 1.
inline constexpr int kFirstChannel = 1;
inline constexpr int kLastChannel = 16;

}  // namespace koralux
