// Whole conversions of generated performances of many shapes, with and without the XG parts and
// in both timing modes: each output is the one whose digest was taken before a change (without
// --xg-parts nothing may change; with it, only what the XG rules in xg_test require), and an
// independent MIDI parser, midicsv, reads it without a complaint. sha256sum and midicsv are
// Linux programs: the Windows build's outputs are compared with these by
// scripts/windows-identity.sh.

#include <gtest/gtest.h>

#include <tuple>

#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"

namespace koralux {
namespace {

// What `program` prints for `midi` (written to a file), expecting it to succeed without a word on
// standard error.
std::string readBy(const std::string& program, const test::Bytes& midi) {
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.mid"), midi);
  const test::ProcessResult result = test::runProcess({program, folder.file("song.mid")});
  EXPECT_EQ(result.status, 0) << program << " (Debian's package " << program << ")";
  EXPECT_EQ(result.err, "") << program;
  return result.out;
}

TEST(EndToEnd, OutputsAreTheDigestedOnesAndMidicsvReadsThem) {
  const GeneratorOptions demo{.seed = 2024, .seconds = 36, .tempo = 112};  // examples/demo.evt
  const GeneratorOptions backing{.seed = 3, .seconds = 20, .channels = 0xC077};  // 5, 6, 7, 16
  const GeneratorOptions loose{.seed = 7, .seconds = 15, .everyKind = true, .looseTiming = true};
  const GeneratorOptions mono{.seed = 11,
                              .seconds = 12,
                              .rhythmUnit = false,
                              .channels = 0x400F,
                              .pedalWithoutReleases = true};
  const GeneratorOptions pedal{.seed = 11, .pedalWithoutReleases = true};
  const GeneratorOptions plain{.seed = 11, .rhythmUnit = false, .alignMarker = false};
  // Channels 1 to 4 (so a second "Upper"), 7 (which never plays) and 15.
  const GeneratorOptions every{.seed = 12, .channels = 0x404F, .everyKind = true};
  const GeneratorOptions twentyMinutes{.seed = 13, .seconds = 20 * 60, .tempo = 138};
  // The organ's parts, a backing on 5, 6, 7 and 10, registrations; then every kind of event on
  // every channel.
  const GeneratorOptions song{.seed = 3, .seconds = 60, .channels = kXgChannels, .xg = true};
  const GeneratorOptions xgEvery{.seed = 5,
                                 .seconds = 60,
                                 .channels = 0xFFFF,
                                 .everyKind = true,
                                 .looseTiming = true,
                                 .xg = true};
  enum : int { kLegacy = 1, kNoRhythmUnit = 2, kXg = 4 };  // the settings of each shape
  const std::tuple<GeneratorOptions, int, const char*> shapes[] = {
      {demo, 0, "b1bea9386246892e273281eaa88e62564ad04186dc58afd9ec5bdaa58c073de0"},
      {backing, 0, "9ff697635f5cdfbc432aae5ce2fe23ed899a5decca5eb8009190d37c39059b79"},
      {loose, 0, "d32998d38ea95b78b7042f0f7a5b36ddaf4c1aaffaad99e8270840c1faf1fcfa"},
      {loose, kLegacy, "9753678fc5fe6e68b13e1f7fb299dc6146f2209075ac72586277f6ba028e3572"},
      {mono, 0, "0d1997e155dcb503e6d501d500889aa9b26ead6d8c4f6842880a13ee2c4d8b0a"},
      {mono, kNoRhythmUnit, "89ff5715306707b25da1c8657c67a341e4434bb710f8b173d9fa1c2836d10092"},
      {pedal, 0, "be1fbb655654e7338d9d684d29146f6796df8ed9b5ee20dc1f81979fccd75759"},
      {plain, kNoRhythmUnit, "c52db8e913dd5719734faba6dc292b341eebb90aad1d6c155e4167cc67d5c2b1"},
      {every, 0, "871267d1ae48c8289b68b57651fbc4baac5f9c1a23f778494a1be98c1432d0fa"},
      {twentyMinutes, 0, "34f82602067c5f6965e8110833cf952c567e4da3132fa21462b66e775dd34f9d"},
      {song, kXg, "b2d5b73691eb9983c0ab00d74402a6857fd89eb2f12aa86ecb4037e735897d1c"},
      {xgEvery, kXg, "29cd0c333a6f8d0be7d9f16839d85eaacca192f40b8065acb0131d2bb95c5cef"},
      {xgEvery, kXg | kLegacy, "162dda14b0ac6263971a3ee3529aac455b955f60b9c672e9f25c6670871d0f22"},
  };
  for (const auto& [options, flags, digest] : shapes) {
    SCOPED_TRACE(::testing::Message() << "seed " << options.seed << ", settings " << flags);
    ConversionSettings settings;
    settings.legacyTiming = flags & kLegacy;
    settings.rhythmUnitAbsent = flags & kNoRhythmUnit;
    settings.xgParts = flags & kXg;
    SilentObserver silent;
    const test::Bytes midi =
        convertPerformance(generatePerformance(options), settings, silent).midi;
    EXPECT_EQ(readBy("sha256sum", midi).substr(0, 64), digest);
    readBy("midicsv", midi);
  }
}

}  // namespace
}  // namespace koralux
