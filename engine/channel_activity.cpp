#include "engine/channel_activity.hpp"

namespace koralux {

PartVerdict ChannelActivity::verdict(int channel) const noexcept {
  if (!counted(channel)) return PartVerdict::Balanced;
  const std::int64_t s = sounding_[index(channel)];
  const std::int64_t r = released_[index(channel)];
  if (s + r >= 20) return s > r + r / 50 ? PartVerdict::OnHeavy : PartVerdict::Balanced;
  return s == 0 && r == 0 ? PartVerdict::Absent : PartVerdict::Balanced;
}

}  // namespace koralux
