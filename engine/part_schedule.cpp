#include "engine/part_schedule.hpp"

namespace koralux {

bool PartScheduleRow::runsFor(PartVerdict verdict) const noexcept {
  switch (condition) {
    case RunsWhen::Balanced:
      return verdict == PartVerdict::Balanced;
    case RunsWhen::NotAbsent:
      return verdict != PartVerdict::Absent;
    case RunsWhen::OnHeavy:
      return verdict == PartVerdict::OnHeavy;
  }
  return false;
}

// The status texts are the ones users have always seen, spelling included.
const std::array<PartScheduleRow, 6> PartSchedule = {{
    {4,
     RunsWhen::Balanced,
     "Status: Transcribing Upper Manual Notes",
     {"Upper", 4, 4, false, 104, 48}},
    {1,
     RunsWhen::NotAbsent,
     "Status: Transcribing Lower Upper Notes",
     {"Upper", 1, 1, false, 104, 48}},
    {2,
     RunsWhen::NotAbsent,
     "Status: Transcribing Lower Manual Notes",
     {"Lower", 2, 2, false, 104, 48}},
    {3, RunsWhen::OnHeavy, "Status: Transcribing Pedal Notes", {"Pedal", 3, 3, true, 64, 43}},
    {3, RunsWhen::Balanced, "Status: Transcibing Pedal Notes", {"Pedal", 3, 3, false, 64, 43}},
    {15,
     RunsWhen::NotAbsent,
     "Status: Transcribing Percussion",
     {"Percussion", 15, 10, false, 64, 0}},
}};

}  // namespace koralux
