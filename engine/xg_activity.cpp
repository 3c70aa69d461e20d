#include "engine/xg_activity.hpp"

#include <algorithm>

#include "engine/channel_activity.hpp"

namespace koralux {

namespace {
constexpr std::uint8_t kYamaha = 0x43;
constexpr std::uint8_t kXgModel = 0x4C;
constexpr std::uint8_t kUniversalNonRealTime = 0x7E;
constexpr std::uint8_t kUniversalRealTime = 0x7F;
constexpr std::uint8_t kEndOfExclusive = 0xF7;
}  // namespace

bool isSetupMessage(std::span<const std::uint8_t> message) noexcept {
  if (message.size() < 2 || message.back() != kEndOfExclusive) return false;
  const std::span<const std::uint8_t> data = message.first(message.size() - 1);
  if (std::any_of(data.begin(), data.end(), [](std::uint8_t byte) { return byte >= 0x80; })) {
    return false;
  }
  const bool universal = data[0] == kUniversalNonRealTime || data[0] == kUniversalRealTime;
  // 43 1n 4C: Yamaha, device number n, the XG model.
  const bool xg =
      data.size() >= 3 && data[0] == kYamaha && (data[1] & 0xF0) == 0x10 && data[2] == kXgModel;
  return universal || xg;
}

void XgActivity::recordProgramChange(int channel, int program, std::int64_t milliseconds) {
  if (channel < kFirstChannel || channel > kLastChannel) return;
  ++programChanges[static_cast<std::size_t>(channel)];
  if (channel == kRegistrationChannel) {
    registrations.push_back({milliseconds, registrationNumber(program)});
  }
}

bool XgActivity::played(int channel, const ChannelActivity& activity) const noexcept {
  return isBackingChannel(channel) &&
         (activity.sounding(channel) > 0 || programChanges[static_cast<std::size_t>(channel)] > 0);
}

}  // namespace koralux
