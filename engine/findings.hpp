#pragma once
// What a user must know about a performance before trusting its MIDI file: that it holds
// nothing, that it was cut short, that it does not look like an organ recording at all, or that
// part of it was never read off the disk. The analysis pass gathers them; they never change
// what is written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koralux {

class PerformanceReader;

enum class FindingCode {
  HeaderOnly,     // nothing after the header
  NoNotes,        // not one note-on anywhere
  NoTiming,       // no clock marker and no timing event: the MIDI file has no real timing
  CutShort,       // the file ends inside an event
  NotOrganBytes,  // a large share of the bytes are no organ events
  NoEarlyTiming,  // the first events hold no timing at all
  UnreadSector,   // a whole sector of one repeated filler byte
};

struct Finding {
  FindingCode code;
  std::string text;          // a sentence in plain words, without the file's name
  std::int64_t offset = -1;  // the byte offset in the file it concerns, or -1
};

// "header-only", "cut-short", ...: the short code scripts read.
std::string_view findingCodeName(FindingCode code) noexcept;

// What the analysis counted that the findings are drawn from.
struct FindingCounts {
  std::int64_t events = 0;        // every event after the header
  std::int64_t noteOns = 0;       // every channel
  std::int64_t timingEvents = 0;  // timing events and clock markers
  // Data bytes without a status byte, stray bytes, and channel messages with a data byte above
  // 127 (counted once each)
  std::int64_t strayBytes = 0;
  std::int64_t eventsBeforeTiming = 0;  // events before the first timing event or clock marker
};

// An organ's stream starts with its timing within a few hundred events; this many without any
// is no organ recording.
inline constexpr std::int64_t kEventsBeforeTimingLimit = 1000;
// The bytes a disk sector holds; unread sectors are filled whole.
inline constexpr std::size_t kSectorSize = 512;

// The findings about the performance `reader` has read to the end, in the order of the list
// above.
std::vector<Finding> gatherFindings(const PerformanceReader& reader, const FindingCounts& counts);

}  // namespace koralux
