// The Standard MIDI File writer: delta times, encodings, framing, and the limits it enforces.

#include <gtest/gtest.h>

#include <functional>

#include "common/fatal_stop.hpp"
#include "smf/smf_writer.hpp"
#include "smf/variable_length_quantity.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::sameBytes;

TEST(VariableLengthQuantity, GoldenBytesAtEveryBoundary) {
  const std::pair<std::uint32_t, const char*> cases[] = {{0, "00"},
                                                         {0x7F, "7F"},
                                                         {0x80, "81 00"},
                                                         {480, "83 60"},
                                                         {0x3FFF, "FF 7F"},
                                                         {0x4000, "81 80 00"},
                                                         {0x1FFFFF, "FF FF 7F"},
                                                         {0x200000, "81 80 80 00"},
                                                         {0x0FFFFFFF, "FF FF FF 7F"}};
  for (const auto& [value, expected] : cases) {
    Bytes out;
    appendVariableLengthQuantity(out, value);
    EXPECT_TRUE(sameBytes(hex(expected), out)) << "value " << value;
  }
}

// The bytes one track body holds after `events` ran on a fresh writer (without end of track).
Bytes trackBody(const std::function<void(SmfWriter&)>& events) {
  SmfWriter writer;
  writer.create();
  writer.beginTrack();
  const std::size_t start = writer.bytes().size();
  events(writer);
  return Bytes(writer.bytes().begin() + static_cast<std::ptrdiff_t>(start), writer.bytes().end());
}

TEST(SmfWriter, FileWithOneEmptyTrack) {
  SmfWriter writer;
  writer.create();
  writer.beginTrack();
  writer.endTrack();
  EXPECT_TRUE(sameBytes(hex("'MThd' 00 00 00 06  00 01  00 01  01 E0"
                            "'MTrk' 00 00 00 04  00 FF 2F 00"),
                        writer.finish()));
}

TEST(SmfWriter, EventEncodings) {
  const std::pair<std::function<void(SmfWriter&)>, const char*> cases[] = {
      {[](SmfWriter& w) { w.timeSignature(3, 4); }, "00 FF 58 04 03 02 18 08"},
      {[](SmfWriter& w) { w.timeSignature(6, 8); }, "00 FF 58 04 06 03 0C 08"},
      {[](SmfWriter& w) { w.timeSignature(4, 3); }, "00 FF 58 04 04 02 20 08"},
      {[](SmfWriter& w) { w.timeSignature(5, 7); }, "00 FF 58 04 05 03 0D 08"},
      {[](SmfWriter& w) { w.timeSignature(4, 1); }, "00 FF 58 04 04 00 60 08"},
      {[](SmfWriter& w) { w.timeSignature(255, 128); }, "00 FF 58 04 FF 07 00 08"},
      {[](SmfWriter& w) { w.tempo(120); }, "00 FF 51 03 07 A1 20"},
      {[](SmfWriter& w) { w.tempo(138); }, "00 FF 51 03 06 A2 5E"},
      {[](SmfWriter& w) { w.tempo(4); }, "00 FF 51 03 E4 E1 C0"},
      // 60000000 / 3 does not fit in 24 bits: the slowest tempo a file can say is written instead.
      {[](SmfWriter& w) { w.tempo(3); }, "00 FF 51 03 FF FF FF"},
      {[](SmfWriter& w) { w.tempo(1); }, "00 FF 51 03 FF FF FF"},
      {[](SmfWriter& w) { w.tempo(0); }, "00 FF 51 03 FF FF FF"},
      {[](SmfWriter& w) { w.keySignature(-3, 1); }, "00 FF 59 02 FD 01"},
      {[](SmfWriter& w) { w.channelPrefix(10); }, "00 FF 20 01 09"},
      {[](SmfWriter& w) { w.midiPort(0); }, "00 FF 21 01 00"},
      {[](SmfWriter& w) { w.trackName("Upper"); }, "00 FF 03 05 'Upper'"},
      {[](SmfWriter& w) { w.text("ab"); }, "00 FF 01 02 'ab'"},
      // Channels 1 to 16.
      {[](SmfWriter& w) { w.noteOn(10, 36, 100); }, "00 99 24 64"},
      {[](SmfWriter& w) { w.noteOff(1, 60, 84); }, "00 80 3C 54"},
      {[](SmfWriter& w) { w.controlChange(16, 7, 100); }, "00 BF 07 64"},
      {[](SmfWriter& w) { w.programChange(1, 48); }, "00 C0 30"},
      {[](SmfWriter& w) { w.channelPressure(3, 0); }, "00 D2 00"},
      // Note and controller numbers above 127 are cut to 7 bits like velocities and values, so
      // no input can put a status byte where a data byte belongs.
      {[](SmfWriter& w) { w.noteOn(1, 200, 215); }, "00 90 48 57"},
      {[](SmfWriter& w) { w.noteOff(1, 255, 128); }, "00 80 7F 00"},
      {[](SmfWriter& w) { w.controlChange(1, 128, 255); }, "00 B0 00 7F"},
  };
  for (const auto& [event, expected] : cases) {
    EXPECT_TRUE(sameBytes(hex(expected), trackBody(event))) << expected;
  }
}

TEST(SmfWriter, TimeMovingBackwardsLowersTheReference) {
  // 100, 90, 110 are written with deltas 100, 0, 20 and land at 100, 100, 120.
  EXPECT_TRUE(sameBytes(hex("64 C0 01  00 C0 02  14 C0 03"), trackBody([](SmfWriter& w) {
                          w.setTime(100);
                          w.programChange(1, 1);
                          w.setTime(90);
                          w.programChange(1, 2);
                          w.setTime(110);
                          w.programChange(1, 3);
                        })));
  // A negative start makes the next delta 0 and shifts everything after it.
  EXPECT_TRUE(sameBytes(hex("00 C0 01  8F 00 C0 02"), trackBody([](SmfWriter& w) {
                          w.setTime(-1920);
                          w.programChange(1, 1);
                          w.setTime(0);
                          w.programChange(1, 2);
                        })));
}

TEST(SmfWriter, DeltaBeyondFourBytesIsRefused) {
  EXPECT_TRUE(sameBytes(hex("FF FF FF 7F C0 00"), trackBody([](SmfWriter& w) {
                          w.setTime(0x0FFFFFFF);
                          w.programChange(1, 0);
                        })));
  SmfWriter writer("long.evt");
  writer.create();
  writer.beginTrack();
  writer.setTime(0x10000000);
  try {
    writer.programChange(1, 0);
    FAIL() << "no error";
  } catch (const FatalStop& e) {
    EXPECT_EQ(e.label(), "long.evt");
    EXPECT_NE(e.description().find("longer than a MIDI file can hold"), std::string::npos);
  }
}

}  // namespace
}  // namespace koralux
