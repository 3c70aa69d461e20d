// The strict MIDI file checker itself: it accepts sound files and refuses each
// broken one for its defect. (That it accepts what the converter writes,
// boundary_test shows on every output.)

#include "tests/checker/smf_checker.hpp"

#include <gtest/gtest.h>

#include "tests/test_support.hpp"

namespace koralux::test {
namespace {

// A track chunk around `events`, its length counted.
Bytes track(std::string_view events) {
  const Bytes body = hex(events);
  Bytes chunk = hex("'MTrk' 00 00");
  chunk.insert(chunk.end(), {static_cast<std::uint8_t>(body.size() >> 8),
                             static_cast<std::uint8_t>(body.size())});
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Bytes kHeader = hex("'MThd' 00 00 00 06  00 01  00 02  01 E0");
const Bytes kConductor = track("00 FF 51 03 07 A1 20  00 FF 2F 00");
constexpr const char* kPart =
    "00 FF 03 05 'Upper'  00 C0 30  00 90 3C 2A  83 60 80 3C 54  00 FF 2F 00";

// A two-track file whose part track holds `events`.
Bytes withPart(std::string_view events) {
  return join({kHeader, kConductor, track(events)});
}

TEST(SmfChecker, AcceptsASoundFileAndRefusesEachBrokenOneForItsDefect) {
  // The longest delta time, a system-exclusive event, an empty text, an escape, a long name.
  EXPECT_EQ(smfDefect(withPart("FF FF FF 7F C0 30  00 F0 03 7E 01 F7  00 FF 01 00  00 F7 01 F8"
                               "  00 FF 03 81 00 " +
                               std::string(256, '0') + "  00 FF 2F 00")),
            "");
  const std::pair<Bytes, const char*> broken[] = {
      {hex("'MThd' 00 00 00 06 00 01"), "too few for a MIDI header"},
      {join({hex("'MTHd' 00 00 00 06  00 01  00 01  01 E0"), kConductor}), "begin with \"MThd\""},
      {join({hex("'MThd' 00 00 00 06  00 00  00 01  01 E0"), kConductor}), "format is 0"},
      {join({hex("'MThd' 00 00 00 06  00 01  00 01  00 60"), kConductor}), "division is 96"},
      {join({kHeader, kConductor}), "declares 2 tracks but the file holds 1"},
      {join({withPart(kPart), hex("'XFIH' 00 00 00 00")}), "is not a track"},
      {join({kHeader, kConductor, hex("'MTrk' 00 00 00 00")}), "is empty"},
      {withPart("81 80 80 80 00 C0 30  00 FF 2F 00"), "longer than 4 bytes"},
      {withPart("80 01 C0 30  00 FF 2F 00"), "padded"},
      {withPart("00 90 BC 2A  00 FF 2F 00"), "data byte 0xBC of a channel message"},
      {withPart("00 90 3C 2A  10 3C 00  00 FF 2F 00"), "data byte 0x3C where an event"},
      {withPart("00 F2 00 00  00 FF 2F 00"), "status byte 0xF2"},
      {withPart("00 C0 30  00 F0 05 01 02 F7"), "run past the end of the track"},
      {withPart("00 FF 51 02 07 A1  00 FF 2F 00"), "0x51 has length 2 instead of 3"},
      {withPart("00 FF 51 03 00 00 00  00 FF 2F 00"), "tempo is 0"},
      {withPart("00 C0 30  00 FF 2F 00  00 FF 2F 00"), "an event follows the end-of-track"},
      {join({kHeader, track("00 FF 51 03 07 A1 20"), track(kPart)}),
       "track 1, byte 22: the track does not end with an end-of-track"},
  };
  for (const auto& [file, reason] : broken) {
    EXPECT_TRUE(contains(smfDefect(file), reason)) << reason << ": " << smfDefect(file);
  }
}

}  // namespace
}  // namespace koralux::test
