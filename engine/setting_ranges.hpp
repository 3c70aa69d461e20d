#pragma once
// The values each conversion setting accepts, in one table that the run, the command line and
// the web page read. A new setting is one more row.

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/conversion_settings.hpp"

namespace koralux {

enum class Setting {
  KeySharpsFlats,
  KeyMinor,
  TimeNumerator,
  TimeDenominator,
  RhythmUnitAbsent,
  LegacyTiming,
  XgParts,
  Strict
};

struct SettingRange {
  Setting setting;
  std::string_view name;  // the name scripts and the web page give it
  int low;
  int high;
  std::string_view refusal;  // why a conversion refuses a value outside the range
  int (*read)(const ConversionSettings&);
  void (*assign)(ConversionSettings&, int);

  constexpr bool contains(int value) const noexcept { return value >= low && value <= high; }
};

inline constexpr std::array<SettingRange, 8> kSettingRanges = {{
    {Setting::KeySharpsFlats, "keySharpsFlats", -7, 7,
     "the key signature must have at most 7 sharps or flats",
     [](const ConversionSettings& s) -> int { return s.keySharpsFlats; },
     [](ConversionSettings& s, int v) { s.keySharpsFlats = static_cast<std::int8_t>(v); }},
    {Setting::KeyMinor, "keyMinor", 0, 1, "the key must be major (0) or minor (1)",
     [](const ConversionSettings& s) -> int { return s.keyMinor; },
     [](ConversionSettings& s, int v) { s.keyMinor = static_cast<std::uint8_t>(v); }},
    {Setting::TimeNumerator, "timeNumerator", 1, 255,
     "the time signature's numerator must be 1 to 255",
     [](const ConversionSettings& s) -> int { return s.timeNumerator; },
     [](ConversionSettings& s, int v) { s.timeNumerator = static_cast<std::uint8_t>(v); }},
    {Setting::TimeDenominator, "timeDenominator", 1, 128,
     "the time signature's denominator must be 1 to 128",
     [](const ConversionSettings& s) -> int { return s.timeDenominator; },
     [](ConversionSettings& s, int v) { s.timeDenominator = static_cast<std::uint8_t>(v); }},
    {Setting::RhythmUnitAbsent, "rhythmUnitAbsent", 0, 1, "the rhythm unit flag must be 0 or 1",
     [](const ConversionSettings& s) -> int { return s.rhythmUnitAbsent; },
     [](ConversionSettings& s, int v) { s.rhythmUnitAbsent = v != 0; }},
    {Setting::LegacyTiming, "legacyTiming", 0, 1, "the legacy timing flag must be 0 or 1",
     [](const ConversionSettings& s) -> int { return s.legacyTiming; },
     [](ConversionSettings& s, int v) { s.legacyTiming = v != 0; }},
    {Setting::XgParts, "xgParts", 0, 1, "the XG parts flag must be 0 or 1",
     [](const ConversionSettings& s) -> int { return s.xgParts; },
     [](ConversionSettings& s, int v) { s.xgParts = v != 0; }},
    {Setting::Strict, "strict", 0, 1, "the strict flag must be 0 or 1",
     [](const ConversionSettings& s) -> int { return s.strict; },
     [](ConversionSettings& s, int v) { s.strict = v != 0; }},
}};

constexpr const SettingRange& rangeOf(Setting setting) noexcept {
  return kSettingRanges[static_cast<std::size_t>(setting)];
}

// The row named `name`, or null.
const SettingRange* findSetting(std::string_view name) noexcept;

// Throws FatalStop with the row's refusal for the first setting out of its range.
void checkSettingRanges(const ConversionSettings& settings);

}  // namespace koralux
