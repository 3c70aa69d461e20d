// XG parts and registration changes: a small performance byte for byte, the rules that keep the
// backing's channels its own, and which system-exclusive messages are the tone generator's set-up.
// (Whole outputs of generated performances with the option on are end_to_end_test's digests.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/conversion_run.hpp"
#include "engine/xg_activity.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::performance;
using test::sameBytes;

TEST(XgOn, SmallPerformanceByteForByteInBothTimingModes) {
  // Worked out by hand from the rules: the organ's track is the worked example's. The set-up
  // messages come first, so that a player meets them before the organ parts' own set-up at tick 0.
  Bytes expected =
      hex("'MThd' 00 00 00 06 00 01 00 04 01 E0"
          "'MTrk' 00 00 00 97  00 FF 01 54");
  expected.insert(expected.end(), kGeneratorText.begin(), kGeneratorText.end());
  const Bytes rest =
      hex("00 FF 51 03 06 A2 5E  00 FF 58 04 04 02 18 08  00 FF 59 02 00 00"
          "  00 FF 06 0E 'Registration 3'  8F 00 FF 06 0F 'Registration 16'  00 FF 2F 00"
          "\n 'MTrk' 00 00 00 29  00 FF 03 08 'XG Setup'  00 FF 21 01 00"
          "  00 F0 05 7E 7F 09 01 F7  00 F0 08 43 10 4C 00 00 7E 00 F7  8F 14 FF 2F 00"
          "\n 'MTrk' 00 00 00 2E  00 FF 03 05 'Upper'  00 FF 21 01 00  00 FF 20 01 00"
          "  00 B0 07 64  00 B0 0A 68  00 C0 30  00 D0 00  00 90 3C 2A  8F 00 80 3C 54  14 FF 2F 00"
          "\n 'MTrk' 00 00 00 36  00 FF 03 09 'XG Part 5'  00 FF 21 01 00  00 FF 20 01 04"
          "  00 B4 00 00  00 B4 20 00  00 C4 05  00 94 40 70  8F 00 E4 00 50  00 D4 30  00 84 40 20"
          "  14 FF 2F 00");
  expected.insert(expected.end(), rest.begin(), rest.end());
  const std::vector<std::string> calls = {
      "progressBegin 2", "status Status: Transcribing XG Setup",
      "partDone 0",      "status Status: Transcribing Lower Upper Notes",
      "partDone 1",      "status Status: Transcribing XG Part 5",
      "partDone 1",      "status Status: Finished"};
  for (const bool legacy : {false, true}) {
    SCOPED_TRACE(legacy ? "legacy" : "in step");
    ConversionSettings settings;
    settings.xgParts = true;
    settings.legacyTiming = legacy;
    test::RecordingObserver observer;
    const ConversionResult result =
        convertPerformance(performance(test::kSmallXgPerformance), settings, observer);
    EXPECT_TRUE(sameBytes(expected, result.midi));
    EXPECT_EQ(observer.calls, calls);
  }
}

// The organ's percussion, moved onto channel 10, shares it with the backing's drums: with the
// backing on, the organ's track leaves the channel's program, volume and pan to the drum kit the
// arrangement set. Expression on a backing channel drives that part only, not the organ's volume.
TEST(XgOn, DrumsAndBackingExpressionBelongToTheBacking) {
  const Bytes input = performance(
      "F0 43 10 4C 00 00 7E 00 F7  90 3C 64  9E 24 64  99 24 64  B9 07 50  C9 19"
      "  B0 0B 40  B4 0B 51  94 40 70  F3 0A  FE 78  80 3C 40  8E 24 40  89 24 40  84 40 40");
  // The track named `name` (its first event), as hex.
  const auto track = [](const Bytes& midi, const std::string& name) {
    for (const Bytes& body : test::trackBodies(midi)) {
      if (std::string(body.begin() + 4, body.begin() + 4 + body[3]) == name)
        return test::toHex(body);
    }
    return std::string("none");
  };
  struct Case {
    bool xgParts;
    const char* name;
    const char* present;
    const char* absent;  // "-" for nothing
  };
  const Case cases[] = {
      {false, "Percussion", "00 C9", "-"},
      {false, "Upper", "00 B0 07 51", "-"},
      {true, "Percussion", "00 99 24", "00 C9"},
      {true, "Percussion", "00 99 24", "00 B9 07"},
      {true, "Percussion", "00 99 24", "00 B9 0A"},
      {true, "Upper", "00 B0 07 40", "00 B0 07 51"},
      {true, "XG Part 5", "00 B4 0B 51", "-"},
      {true, "XG Part 10", "00 B9 07 50 00 C9 19", "-"},
  };
  for (const Case& c : cases) {
    ConversionSettings settings;
    settings.xgParts = c.xgParts;
    SilentObserver silent;
    const std::string text = track(convertPerformance(input, settings, silent).midi, c.name);
    EXPECT_TRUE(test::contains(text, c.present)) << c.name << " " << c.xgParts << ": " << text;
    EXPECT_FALSE(test::contains(text, c.absent)) << c.name << ": " << text;
  }
}

TEST(XgOn, SetupMessagesAreTheToneGeneratorsOnly) {
  const std::pair<const char*, bool> cases[] = {
      // the bytes after F0, and whether set-up
      {"43 10 4C 00 00 7E 00 F7", true},     // XG System On
      {"43 13 4C 02 01 00 01 10 F7", true},  // XG parameter change, device 3
      {"7E 7F 09 01 F7", true},              // GM System On
      {"43 73 01 F7", false},                // the organ's own
      {"43 10 49 00 F7", false},             // another model
      {"43 10 4C 00 00 7E", false},          // cut off: no F7
      {"43 10 4C 80 F7", false},             // a status byte inside
      {"F7", false},
  };
  for (const auto& [message, setup] : cases)
    EXPECT_EQ(isSetupMessage(hex(message)), setup) << message;
}

}  // namespace
}  // namespace koralux
