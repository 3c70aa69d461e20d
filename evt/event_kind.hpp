#pragma once
// The kinds of event in an organ performance file's byte stream.

#include <cstdint>
#include <string_view>

namespace koralux {

enum class EventKind : std::int32_t {
  EndOfFile = -1,
  Timing = 0,            // F3 t, or F4 a b: milliseconds since the previous timing event
  ClockMarker = 1,       // FE 78: 24 per quarter note while the rhythm unit runs
  SystemExclusive = 2,   // F0 ... F7, at most 512 bytes after F0
  SystemF1 = 3,          // F1 v
  AlignMarker = 4,       // FE 7A: the first one after a clock marker goes onto a bar line
  PipeMarker = 5,        // FE 7C
  SystemF2 = 6,          // F2
  SystemF6 = 7,          // F6
  FootController = 8,    // Bn 04 v
  Expression = 9,        // Bn 0B v
  Sustain = 10,          // Bn 40 v
  AllNotesOff = 11,      // Bn 7B v
  Controller = 12,       // Bn c v, any other controller
  ProgramChange = 13,    // Cn p
  NoteOff = 14,          // 8n k v
  NoteOn = 15,           // 9n k v
  ChannelPressure = 16,  // Dn p
  OtherMarker = 17,      // FE m, any other m
  PitchBend = 18,        // En a b
  Stray = 19,            // a byte where no event can start
};

inline constexpr int kEventKindCount = 20;  // not counting EndOfFile

// The kind's name as written above ("NoteOn"), for listings and messages.
std::string_view eventKindName(EventKind kind);

}  // namespace koralux
