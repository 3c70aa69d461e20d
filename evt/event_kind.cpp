#include "evt/event_kind.hpp"

#include <array>

namespace koralux {

std::string_view eventKindName(EventKind kind) {
  static constexpr std::array<std::string_view, kEventKindCount> kNames = {
      "Timing",     "ClockMarker",     "SystemExclusive", "SystemF1",       "AlignMarker",
      "PipeMarker", "SystemF2",        "SystemF6",        "FootController", "Expression",
      "Sustain",    "AllNotesOff",     "Controller",      "ProgramChange",  "NoteOff",
      "NoteOn",     "ChannelPressure", "OtherMarker",     "PitchBend",      "Stray"};
  const auto index = static_cast<std::int32_t>(kind);
  if (index < 0 || index >= kEventKindCount) return "EndOfFile";
  return kNames[static_cast<std::size_t>(index)];
}

}  // namespace koralux
