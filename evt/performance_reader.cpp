#include "evt/performance_reader.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/fatal_stop.hpp"

namespace koralux {

PerformanceReader::PerformanceReader(std::span<const std::uint8_t> bytes, std::string label)
    : bytes_(bytes),
      label_(std::move(label)),
      start_(std::min(kPerformanceHeaderSize, bytes.size())),
      offset_(start_) {}

PerformanceEvent PerformanceReader::next() {
  if (offset_ >= bytes_.size()) return {};
  const std::int32_t status = bytes_[offset_++];
  const std::int32_t channel = (status & 0x0F) + 1;

  switch (status >> 4) {
    case 0x8: {
      const std::int32_t note = takeByte();
      return {EventKind::NoteOff, channel, note, takeByte()};
    }
    case 0x9: {
      const std::int32_t note = takeByte();
      return {EventKind::NoteOn, channel, note, takeByte()};
    }
    case 0xA:  // polyphonic pressure: the organ never sends it; its data bytes read as strays
      return {EventKind::Stray, channel, 0, 0};
    case 0xB: {
      const std::int32_t controller = takeByte();
      const std::int32_t value = takeByte();
      EventKind kind = EventKind::Controller;
      switch (controller) {
        case 4:
          kind = EventKind::FootController;
          break;
        case 11:
          kind = EventKind::Expression;
          break;
        case 64:
          kind = EventKind::Sustain;
          break;
        case 123:
          kind = EventKind::AllNotesOff;
          break;
        default:
          break;
      }
      return {kind, channel, controller, value};
    }
    case 0xC:
      return {EventKind::ProgramChange, channel, takeByte(), 0};
    case 0xD:
      return {EventKind::ChannelPressure, channel, takeByte(), 0};
    case 0xE: {
      const std::int32_t first = takeByte();
      return {EventKind::PitchBend, channel, first, takeByte()};
    }
    case 0xF:
      break;
    default:  // a data byte where an event should start; there is no running status
      return {EventKind::Stray, channel, 0, 0};
  }

  switch (status) {
    case 0xF0:
      return readSystemExclusive();
    case 0xF1:
      return {EventKind::SystemF1, takeByte(), 0, 0};
    case 0xF2:
      return {EventKind::SystemF2, 0, 0, 0};
    case 0xF3:
      return {EventKind::Timing, takeByte(), 0, 0};
    case 0xF4: {
      const std::int32_t low = takeByte();
      return {EventKind::Timing, low + 128 * takeByte(), 0, 0};
    }
    case 0xF6:
      return {EventKind::SystemF6, 0, 0, 0};
    case 0xFE: {
      const std::int32_t marker = takeByte();
      switch (marker) {
        case 0x78:
          return {EventKind::ClockMarker, 0, 0, 0};
        case 0x7A:
          return {EventKind::AlignMarker, 0, 0, 0};
        case 0x7C:
          return {EventKind::PipeMarker, 0, 0, 0};
        default:
          return {EventKind::OtherMarker, marker, 0, 0};
      }
    }
    default:  // F5, F7 to FD, FF
      return {EventKind::Stray, status, 0, 0};
  }
}

PerformanceEvent PerformanceReader::readSystemExclusive() {
  const std::size_t begin = offset_ - 1;
  const std::size_t available = std::min(bytes_.size() - offset_, kSystemExclusiveLimit);
  const std::uint8_t* first = bytes_.data() + offset_;
  const void* end = std::memchr(first, 0xF7, available);
  std::size_t stored = 0;
  if (end != nullptr) {
    stored = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - first) + 1;
  } else if (available == kSystemExclusiveLimit) {
    stored = kSystemExclusiveLimit;
  } else {
    offset_ = bytes_.size();
    throw FatalStop(label_, "the file ends inside a system-exclusive message (it starts at byte " +
                                std::to_string(begin) + " and has no end byte F7)");
  }
  offset_ += stored;
  return {EventKind::SystemExclusive, static_cast<std::int32_t>(stored % 256), 0, 0};
}

}  // namespace koralux
