#pragma once
// Note counters per channel, gathered by the analysis pass.

#include <array>
#include <cstdint>

#include "engine/part_verdict.hpp"

namespace koralux {

// The channels whose notes are counted: 1 to 15 (channel 16 never is).
inline constexpr int kLastCountedChannel = 15;

class ChannelActivity {
 public:
  // Counts a note-on (velocity above 0) as sounding, and a note-off or a note-on with
  // velocity 0 as a release. Channels outside 0 to 15 are not counted (so channel 16 never is).
  void record(int channel, int velocity) noexcept {
    if (!counted(channel)) return;
    ++(velocity != 0 ? sounding_ : released_)[index(channel)];
  }
  PartVerdict verdict(int channel) const noexcept;
  void clear() noexcept { *this = {}; }

  std::int64_t sounding(int channel) const noexcept {
    return counted(channel) ? sounding_[index(channel)] : 0;
  }
  std::int64_t released(int channel) const noexcept {
    return counted(channel) ? released_[index(channel)] : 0;
  }

 private:
  static bool counted(int channel) noexcept { return channel >= 0 && channel < 16; }
  static std::size_t index(int channel) noexcept { return static_cast<std::size_t>(channel); }

  std::array<std::int64_t, 16> sounding_{};
  std::array<std::int64_t, 16> released_{};
};

}  // namespace koralux
