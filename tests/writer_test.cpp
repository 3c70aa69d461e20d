// The Standard MIDI File writer: delta times, encodings, and the limits it enforces. (The file
// and track framing are pinned by conversion_test's worked example.)

#include <gtest/gtest.h>

#include <functional>

#include "smf/smf_writer.hpp"
#include "smf/variable_length_quantity.hpp"
#include "tests/test_support.hpp"

namespace koralux {
namespace {

using test::Bytes;
using test::hex;
using test::sameBytes;
using Events = std::function<void(SmfWriter&)>;

TEST(VariableLengthQuantity, GoldenBytesAtEveryBoundary) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x7F, "7F"},         {0x80, "81 00"},           {0x3FFF, "FF 7F"},
      {0x4000, "81 80 00"}, {0x200000, "81 80 80 00"}, {0x0FFFFFFF, "FF FF FF 7F"}};
  for (const auto& [value, expected] : cases) {
    Bytes out;
    appendVariableLengthQuantity(out, value);
    EXPECT_TRUE(sameBytes(hex(expected), out)) << "value " << value;
  }
}

// The bytes one track body holds after `events` ran on a fresh writer (without end of track).
Bytes trackBody(const Events& events, const std::string& label = {}) {
  SmfWriter writer(label);
  writer.create();
  writer.beginTrack();
  const std::size_t start = writer.bytes().size();
  events(writer);
  return Bytes(writer.bytes().begin() + static_cast<std::ptrdiff_t>(start), writer.bytes().end());
}

TEST(SmfWriter, EventEncodings) {
  const std::pair<Events, const char*> cases[] = {
      {[](SmfWriter& w) { w.timeSignature(3, 1); }, "00 FF 58 04 03 00 60 08"},
      {[](SmfWriter& w) { w.timeSignature(3, 4); }, "00 FF 58 04 03 02 18 08"},
      {[](SmfWriter& w) { w.timeSignature(5, 7); }, "00 FF 58 04 05 03 0D 08"},
      {[](SmfWriter& w) { w.timeSignature(255, 128); }, "00 FF 58 04 FF 07 00 08"},
      {[](SmfWriter& w) { w.tempo(4); }, "00 FF 51 03 E4 E1 C0"},
      // 60000000 / 3 does not fit in 24 bits: the slowest tempo a file can say is written instead.
      {[](SmfWriter& w) { w.tempo(3); }, "00 FF 51 03 FF FF FF"},
      {[](SmfWriter& w) { w.tempo(0); }, "00 FF 51 03 FF FF FF"},
      {[](SmfWriter& w) { w.keySignature(-3, 1); }, "00 FF 59 02 FD 01"},
      {[](SmfWriter& w) { w.controlChange(16, 7, 100); }, "00 BF 07 64"},
      // Note and controller numbers above 127 are cut to 7 bits like velocities and values, so
      // no input can put a status byte where a data byte belongs.
      {[](SmfWriter& w) { w.noteOn(1, 200, 215); }, "00 90 48 57"},
      {[](SmfWriter& w) { w.noteOff(1, 255, 128); }, "00 80 7F 00"},
      {[](SmfWriter& w) { w.programChange(1, 200); }, "00 C0 48"},
      {[](SmfWriter& w) { w.controlChange(1, 128, 255); }, "00 B0 00 7F"},
  };
  for (const auto& [events, expected] : cases) {
    EXPECT_TRUE(sameBytes(hex(expected), trackBody(events))) << expected;
  }
}

// A program change at each of `times`.
Bytes timed(std::initializer_list<Tick> times, const std::string& label = {}) {
  return trackBody(
      [&](SmfWriter& w) {
        for (const Tick time : times) {
          w.setTime(time);
          w.programChange(1, 1);
        }
      },
      label);
}

TEST(SmfWriter, DeltaTimes) {
  // Time moving backwards lowers the reference: 100, 90, 110 land at 100, 100, 120.
  EXPECT_TRUE(sameBytes(hex("64 C0 01  00 C0 01  14 C0 01"), timed({100, 90, 110})));
  // A negative start makes the next delta 0 and shifts everything after it.
  EXPECT_TRUE(sameBytes(hex("00 C0 01  8F 00 C0 01"), timed({-1920, 0})));
  EXPECT_TRUE(sameBytes(hex("FF FF FF 7F C0 01"), timed({0x0FFFFFFF})));
  EXPECT_FATAL_STOP(timed({0x10000000}, "long.evt"), "long.evt: the performance has a pause of ");
}

}  // namespace
}  // namespace koralux
