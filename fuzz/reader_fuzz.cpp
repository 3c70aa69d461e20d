// Fuzz target: the performance reader alone, over any bytes taken as a whole file (header
// included). Whatever the bytes, the reader hands out events until EndOfFile; each event is the
// one the file format's table gives for its first byte and takes the bytes that table calls for
// (fewer only where the file ends); the events together take the whole stream, byte for byte;
// EndOfFile repeats; a rewound reader reads the same events again; the reader knows which event,
// if any, the end cut short. Bytes too few for the header are refused, and otherwise only a
// stream that ends inside a system-exclusive message may fail, only with FatalStop naming the file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/fatal_stop.hpp"
#include "evt/performance_reader.hpp"
#include "fuzz/fuzz_check.hpp"

namespace koralux::fuzz {
namespace {

constexpr const char* kLabel = "fuzz.evt";

// The event that starts at `at`, worked out from the format's table independently of the
// reader, and the bytes it takes. `insideExclusive` when the file ends inside a
// system-exclusive message.
struct Modelled {
  PerformanceEvent event;
  std::size_t length = 0;
  bool insideExclusive = false;
  bool cutShort = false;  // the file ends before the bytes the event calls for
};

Modelled model(std::span<const std::uint8_t> bytes, std::size_t at) {
  const std::size_t left = bytes.size() - at;
  const auto data = [&](std::size_t i) -> std::int32_t {
    return at + i < bytes.size() ? bytes[at + i] : 0;
  };
  const auto taking = [&](EventKind kind, std::int32_t channel, std::int32_t data1,
                          std::int32_t data2, std::size_t length) {
    return Modelled{{kind, channel, data1, data2}, std::min(length, left), false, length > left};
  };
  const std::int32_t first = bytes[at];
  const std::int32_t channel = (first & 0x0F) + 1;
  if (first < 0x80) return taking(EventKind::Stray, channel, 0, 0, 1);
  switch (first >> 4) {
    case 0x8:
      return taking(EventKind::NoteOff, channel, data(1), data(2), 3);
    case 0x9:
      return taking(EventKind::NoteOn, channel, data(1), data(2), 3);
    case 0xA:
      return taking(EventKind::Stray, channel, 0, 0, 1);
    case 0xB: {
      const std::int32_t controller = data(1);
      const EventKind kind = controller == 4     ? EventKind::FootController
                             : controller == 11  ? EventKind::Expression
                             : controller == 64  ? EventKind::Sustain
                             : controller == 123 ? EventKind::AllNotesOff
                                                 : EventKind::Controller;
      return taking(kind, channel, controller, data(2), 3);
    }
    case 0xC:
      return taking(EventKind::ProgramChange, channel, data(1), 0, 2);
    case 0xD:
      return taking(EventKind::ChannelPressure, channel, data(1), 0, 2);
    case 0xE:
      return taking(EventKind::PitchBend, channel, data(1), data(2), 3);
    default:
      break;
  }
  switch (first) {
    case 0xF0: {
      // At most 512 bytes after F0, up to and including the first F7.
      for (std::size_t stored = 1; stored <= kSystemExclusiveLimit && stored < left; ++stored) {
        if (bytes[at + stored] == 0xF7) {
          return taking(EventKind::SystemExclusive, static_cast<std::int32_t>(stored % 256), 0, 0,
                        stored + 1);
        }
      }
      if (left - 1 >= kSystemExclusiveLimit) {
        return taking(EventKind::SystemExclusive, 0, 0, 0, kSystemExclusiveLimit + 1);
      }
      Modelled cut;
      cut.insideExclusive = true;
      return cut;
    }
    case 0xF1:
      return taking(EventKind::SystemF1, data(1), 0, 0, 2);
    case 0xF2:
      return taking(EventKind::SystemF2, 0, 0, 0, 1);
    case 0xF3:
      return taking(EventKind::Timing, data(1), 0, 0, 2);
    case 0xF4:
      return taking(EventKind::Timing, data(1) + 128 * data(2), 0, 0, 3);
    case 0xF6:
      return taking(EventKind::SystemF6, 0, 0, 0, 1);
    case 0xFE:
      switch (data(1)) {
        case 0x78:
          return taking(EventKind::ClockMarker, 0, 0, 0, 2);
        case 0x7A:
          return taking(EventKind::AlignMarker, 0, 0, 0, 2);
        case 0x7C:
          return taking(EventKind::PipeMarker, 0, 0, 0, 2);
        default:
          return taking(EventKind::OtherMarker, data(1), 0, 0, 2);
      }
    default:
      return taking(EventKind::Stray, first, 0, 0, 1);
  }
}

std::string describe(const PerformanceEvent& event) {
  return std::to_string(static_cast<int>(event.kind)) + " " + std::to_string(event.channel) + " " +
         std::to_string(event.data1) + " " + std::to_string(event.data2);
}

// Reads the stream once from its start, checking every event against the model.
void readAll(PerformanceReader& reader, std::span<const std::uint8_t> bytes) {
  std::size_t at = kPerformanceHeaderSize;
  std::size_t cutShortAt = PerformanceReader::kNotCutShort;
  while (at < bytes.size()) {
    require(reader.offset() == at, "the reader is where the events before took it");
    const Modelled expected = model(bytes, at);
    if (expected.insideExclusive) {
      try {
        reader.next();
      } catch (const FatalStop& error) {
        require(error.label() == kLabel, "the error names the file");
        require(error.description().starts_with(
                    "the file ends inside a system-exclusive message (it starts at byte " +
                    std::to_string(at) + " "),
                "the error says the file ends inside a system-exclusive message, and where");
        return;
      }
      broken("a stream that ends inside a system-exclusive message is refused");
    }
    const PerformanceEvent event = reader.next();
    if (event != expected.event) {
      broken("the event at byte " + std::to_string(at) + " is " + describe(event) + ", not " +
             describe(expected.event));
    }
    if (expected.cutShort) cutShortAt = at;
    at += expected.length;
  }
  require(reader.cutShortAt() == cutShortAt, "the event the end cut short, and only it, is known");
  // Every byte of the stream has been taken, by exactly one event.
  require(reader.offset() == bytes.size(), "the events take the whole stream");
  for (int again = 0; again < 2; ++again) {
    require(reader.next() == PerformanceEvent{}, "EndOfFile, with every field 0, repeats");
  }
}

}  // namespace
}  // namespace koralux::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace koralux;
  const std::span<const std::uint8_t> bytes(data, size);
  if (size < kPerformanceHeaderSize) {
    try {
      PerformanceReader refused(bytes, fuzz::kLabel);
    } catch (const FatalStop& error) {
      fuzz::require(error.label() == fuzz::kLabel &&
                        error.description().starts_with("not a performance file: it has " +
                                                        std::to_string(size) + " byte"),
                    "bytes too few for the header are refused, and the error says so");
      return 0;
    }
    fuzz::broken("bytes too few for the header are refused");
  }
  koralux::PerformanceReader reader(bytes, koralux::fuzz::kLabel);
  koralux::fuzz::readAll(reader, bytes);
  reader.rewind();
  koralux::fuzz::readAll(reader, bytes);
  return 0;
}
