#pragma once
// What the analysis pass learns of a performance's XG support: many performances carry, besides
// the organ's own parts, a backing arrangement for the organ's built-in XG tone generator on
// channels 5 to 14 with the tone generator's system-exclusive set-up, and program changes on
// channel 16 that switch the organ's registration memory.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/timebase.hpp"

namespace koralux {

class ChannelActivity;

inline constexpr int kFirstXgChannel = 5;
inline constexpr int kLastXgChannel = 14;
// Program changes on this channel switch the organ's registration memory.
inline constexpr int kRegistrationChannel = 16;

constexpr bool isBackingChannel(int channel) noexcept {
  return channel >= kFirstXgChannel && channel <= kLastXgChannel;
}

// Whether a system-exclusive message (the bytes after F0) is one for the tone generator: an XG
// message (43 1n 4C ...) or a universal one (7E ... or 7F ...), complete with its F7 and with
// 7-bit data. The organ's own messages, and messages cut off by the reader's limit, are not.
bool isSetupMessage(std::span<const std::uint8_t> message) noexcept;

// The registration memory a program change on the registration channel selects: program + 1
// (a MIDI program is 7 bits; the reader does not mask the data byte).
constexpr int registrationNumber(int program) noexcept {
  return (program & 0x7F) + 1;
}

struct RegistrationChange {
  std::int64_t milliseconds = 0;  // time in the performance: the sum of the timing events before
  int number = 1;                 // registration memory
};

struct XgActivity {
  std::array<std::int64_t, kLastChannel + 1> programChanges{};  // by channel 1 to 16
  std::vector<RegistrationChange> registrations;                // in order
  std::int64_t setupMessages = 0;

  void recordProgramChange(int channel, int program, std::int64_t milliseconds);
  // A backing channel played when it struck a note (velocity above 0) or changed its program.
  bool played(int channel, const ChannelActivity& activity) const noexcept;
};

}  // namespace koralux
