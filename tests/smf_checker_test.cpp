// The strict MIDI file checker itself: it accepts sound files and refuses each broken one for its
// defect. (That it accepts what the converter writes, boundary_test shows on every output.)

#include "tests/smf_checker.hpp"

#include <gtest/gtest.h>

#include "smf/smf_writer.hpp"
#include "tests/test_support.hpp"

namespace koralux::test {
namespace {

// A track chunk around `events`, its length counted.
Bytes track(std::string_view events) {
  const Bytes body = hex(events);
  Bytes chunk = hex("'MTrk'");
  for (int shift = 24; shift >= 0; shift -= 8) {
    chunk.push_back(static_cast<std::uint8_t>(body.size() >> shift));
  }
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
constexpr const char* kPartEvents =
    "00 FF 03 05 'Upper'  00 C0 30  00 90 3C 2A  83 60 80 3C 54  00 FF 2F 00";

// A two-track file whose part track holds `events`.
Bytes withPart(std::string_view events) {
  return join({kHeader, kConductor, track(events)});
}

// A header of `fields` (format, track count, division) and the conductor track.
Bytes headed(std::string_view fields) {
  return join({hex("'MThd' 00 00 00 06"), hex(fields), kConductor});
}

TEST(SmfChecker, AcceptsSoundFiles) {
  EXPECT_EQ(smfDefect(withPart(kPartEvents)), "");
  // The writer's smallest file: one empty track.
  SmfWriter writer;
  writer.create();
  writer.beginTrack();
  writer.endTrack();
  EXPECT_EQ(smfDefect(writer.finish()), "");
  // The longest delta time, a system-exclusive event, an empty text, an escape, a long name.
  EXPECT_EQ(smfDefect(withPart("FF FF FF 7F C0 30  00 F0 03 7E 01 F7  00 FF 01 00  00 F7 01 F8"
                               "  00 FF 03 81 00 " +
                               std::string(256, '0') + "  00 FF 2F 00")),
            "");
}

TEST(SmfChecker, RefusesEachBrokenFileForItsDefect) {
  Bytes longer = withPart(kPartEvents);
  Bytes shorter = longer;
  ++longer[kHeader.size() + kConductor.size() + 7];  // the part chunk's length, low byte
  --shorter[kHeader.size() + kConductor.size() + 7];
  const std::pair<Bytes, const char*> broken[] = {
      // The header.
      {hex("'MThd' 00 00 00 06 00 01"), "too few for a MIDI header"},
      {join({hex("'MTHd'"), Bytes(kHeader.begin() + 4, kHeader.end()), kConductor}),
       "does not begin with \"MThd\""},
      {join({hex("'MThd' 00 00 00 07 00 01 00 01 01 E0 00"), kConductor}), "header's length is 7"},
      {headed("00 00 00 01 01 E0"), "format 0"},
      {headed("00 01 00 01 00 60"), "division is 96"},
      {hex("'MThd' 00 00 00 06 00 01 00 00 01 E0"), "declares no tracks"},
      {headed("00 01 00 03 01 E0"), "declares 3 tracks but the file holds 1"},
      {join({headed("00 01 00 01 01 E0"), track(kPartEvents)}),
       "declares 1 tracks but the file holds 2"},
      // Chunks.
      {longer, "past the end of the file"},
      {shorter, "cut off by the end of the track"},
      {join({withPart(kPartEvents), hex("00 00")}), "cut off before its length ends"},
      {join({withPart(kPartEvents), hex("'XFIH' 00 00 00 00")}), "is not a track"},
      {join({kHeader, kConductor, hex("'MTrk' 00 00 00 00")}), "is empty"},
      // Delta times.
      {withPart("81 80 80 80 00 C0 30  00 FF 2F 00"), "longer than 4 bytes"},
      {withPart("80 01 C0 30  00 FF 2F 00"), "padded"},
      {withPart("00 C0 30  83"), "delta time is cut off"},
      {withPart("00 C0 30  00"), "between a delta time and its event"},
      // Channel messages.
      {withPart("00 90 BC 2A  00 FF 2F 00"), "data byte 0xBC"},
      {withPart("00 90 3C 2A  10 3C 00  00 FF 2F 00"),
       "data byte 0x3C where an event should start"},
      {withPart("00 FF 03 01 'U'  00 90 3C"), "channel message is cut off"},
      {withPart("00 F2 00 00  00 FF 2F 00"), "status byte 0xF2"},
      {withPart("00 C0 30  00 F0 05 01 02 F7"), "run past the end of the track"},
      // Meta events.
      {withPart("00 C0 30  00 FF"), "meta event is cut off"},
      {withPart("00 FF 81 00  00 FF 2F 00"), "type 0x81"},
      {withPart("00 FF 03 20 'Upper'  00 FF 2F 00"), "run past the end of the track"},
      {withPart("00 C0 30  00 FF 2F 01 00"), "meta event 0x2F has length 1 instead of 0"},
      {withPart("00 FF 51 02 07 A1  00 FF 2F 00"), "0x51 has length 2 instead of 3"},
      {withPart("00 FF 51 03 00 00 00  00 FF 2F 00"), "tempo is 0"},
      {withPart("00 FF 59 02 08 00  00 FF 2F 00"), "8 sharps"},
      {withPart("00 FF 59 02 00 02  00 FF 2F 00"), "mode 2"},
      {withPart("00 FF 20 01 10  00 FF 2F 00"), "channel prefix 16"},
      // The end of track.
      {withPart("00 FF 03 05 'Upper'  00 C0 30"), "does not end with an end-of-track"},
      {withPart("00 C0 30  00 FF 2F 00  00 FF 2F 00"), "an event follows the end-of-track"},
      {join({kHeader, track("00 FF 51 03 07 A1 20"), track(kPartEvents)}),
       "track 1, event at byte 22: the track does not end with an end-of-track"},
  };
  for (const auto& [file, reason] : broken) {
    EXPECT_TRUE(contains(smfDefect(file), reason))
        << "expected \"" << reason << "\", got \"" << smfDefect(file) << '"';
  }
}

}  // namespace
}  // namespace koralux::test
