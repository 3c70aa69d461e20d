#include "engine/setting_ranges.hpp"

#include <string>

#include "common/fatal_stop.hpp"

namespace koralux {

const SettingRange* findSetting(std::string_view name) noexcept {
  for (const SettingRange& range : kSettingRanges) {
    if (range.name == name) return &range;
  }
  return nullptr;
}

void checkSettingRanges(const ConversionSettings& settings) {
  for (const SettingRange& range : kSettingRanges) {
    if (!range.contains(range.read(settings))) throw FatalStop({}, std::string(range.refusal));
  }
}

}  // namespace koralux
