#pragma once
// The organ parts a conversion may transcribe, tried in this order. Each row runs when the
// verdict of its channel meets its condition.

#include <array>
#include <string_view>

#include "engine/part_verdict.hpp"
#include "engine/transcription_pass.hpp"

namespace koralux {

enum class RunsWhen { Balanced, NotAbsent, OnHeavy };

struct PartScheduleRow {
  int verdictChannel;
  RunsWhen condition;
  std::string_view statusText;
  TranscriptionParameters parameters;

  bool runsFor(PartVerdict verdict) const noexcept;
};

// Upper manual (channel 4, then channel 1), lower manual, pedal (mono when its note-ons clearly
// outnumber its releases), percussion (channel 15 moved onto channel 10).
extern const std::array<PartScheduleRow, 6> PartSchedule;

}  // namespace koralux
