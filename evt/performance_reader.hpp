#pragma once
// Reads a performance file's event stream from memory, one classified event per call.
// The stream starts after the 256-byte header and ends where the bytes end.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/always_inline.hpp"
#include "evt/performance_event.hpp"

namespace koralux {

inline constexpr std::size_t kPerformanceHeaderSize = 256;
// The longest system-exclusive message, counted after its F0.
inline constexpr std::size_t kSystemExclusiveLimit = 512;

class PerformanceReader {
 public:
  // `bytes` must outlive the reader. `label` names the file in error messages. Throws FatalStop
  // when the bytes are too few to hold the header: they are not a performance then.
  PerformanceReader(std::span<const std::uint8_t> bytes, std::string label);

  // Back to the first event, after the header.
  void rewind() noexcept { offset_ = start_; }

  // The next event, or EndOfFile (again and again) once the bytes are used up.
  // A data byte missing at the very end reads as 0 (see cutShortAt). Throws FatalStop when the
  // file ends inside a system-exclusive message.
  PerformanceEvent next();

  // Hands every event from the current position to the end, in order, to
  // `handler(const PerformanceEvent&)`; the same events as calling next() until EndOfFile,
  // without the EndOfFile. The passes read whole files this way: one dispatch per event, and
  // no bounds check on data bytes but in the last few bytes. Mark the handler
  // KORALUX_ALWAYS_INLINE, so that it is compiled into each branch that recognises a kind.
  template <typename Handler>
  void forEachEvent(Handler&& handler);

  // The bytes after F0 of the latest system-exclusive event handed out (its closing F7
  // included, when it has one within the limit), read in place; empty before the first.
  std::span<const std::uint8_t> systemExclusive() const noexcept {
    return bytes_.subspan(systemExclusiveBegin_, systemExclusiveSize_);
  }

  // Byte offset in the file of the next event to be read.
  std::size_t offset() const noexcept { return offset_; }
  std::size_t size() const noexcept { return bytes_.size(); }
  std::span<const std::uint8_t> bytes() const noexcept { return bytes_; }
  // Where the event starts that the end of the file cut short (its data bytes then read as 0),
  // once it has been read; kNotCutShort while no event has been.
  static constexpr std::size_t kNotCutShort = static_cast<std::size_t>(-1);
  std::size_t cutShortAt() const noexcept { return cutShortAt_; }
  const std::string& label() const noexcept { return label_; }

 private:
  // Classifies the event at `at` (which lies before the end), hands it to `handler` and returns
  // the offset after it. Without `kNearEnd` the caller guarantees that at least three bytes
  // remain, so that no data byte of a channel message needs a bounds check.
  template <bool kNearEnd, typename Handler>
  KORALUX_ALWAYS_INLINE std::size_t decode(const std::uint8_t* bytes, std::size_t size,
                                           std::size_t at, Handler& handler);
  // The offset after the system-exclusive message whose bytes after F0 start at `at`.
  std::size_t systemExclusiveEnd(std::size_t at);
  [[noreturn]] void endsInsideSystemExclusive(std::size_t begin);

  std::span<const std::uint8_t> bytes_;
  std::string label_;
  std::size_t start_;
  std::size_t offset_;
  std::size_t systemExclusiveBegin_ = 0;
  std::size_t systemExclusiveSize_ = 0;
  std::size_t cutShortAt_ = kNotCutShort;
};

template <typename Handler>
void PerformanceReader::forEachEvent(Handler&& handler) {
  // Locals rather than members: writing output bytes cannot then force them to be re-read.
  const std::uint8_t* const bytes = bytes_.data();
  const std::size_t size = bytes_.size();
  std::size_t at = offset_;
  // Every event but a system-exclusive message (which checks its own bounds) takes at most
  // three bytes.
  while (size - at >= 3) at = decode<false>(bytes, size, at, handler);
  while (at < size) at = decode<true>(bytes, size, at, handler);
  offset_ = at;
}

template <bool kNearEnd, typename Handler>
inline std::size_t PerformanceReader::decode(const std::uint8_t* bytes, std::size_t size,
                                             std::size_t at, Handler& handler) {
  // A data byte missing at the very end reads as 0; the offset still moves past the end of
  // the bytes only as far as they go.
  const auto data = [&](std::size_t position) -> std::int32_t {
    if constexpr (kNearEnd) return position < size ? bytes[position] : 0;
    return bytes[position];
  };
  const auto after = [&](std::size_t consumed) {
    if constexpr (kNearEnd) {
      if (at + consumed <= size) return at + consumed;
      cutShortAt_ = at;
      return size;
    }
    return at + consumed;
  };

  // The commonest events first: timing, clock markers and note-ons. The switches below leave
  // them out.
  const std::int32_t status = bytes[at];
  if (status == 0xF3) {
    handler(PerformanceEvent{EventKind::Timing, data(at + 1), 0, 0});
    return after(2);
  }
  if (status == 0xFE && data(at + 1) == 0x78) {
    handler(PerformanceEvent{EventKind::ClockMarker, 0, 0, 0});
    return after(2);
  }
  const std::int32_t channel = (status & 0x0F) + 1;
  if ((status & 0xF0) == 0x90) {
    handler(PerformanceEvent{EventKind::NoteOn, channel, data(at + 1), data(at + 2)});
    return after(3);
  }
  switch (status >> 4) {
    case 0x8:  // (9, the note-on, is taken above)
      handler(PerformanceEvent{EventKind::NoteOff, channel, data(at + 1), data(at + 2)});
      return after(3);
    case 0xA:  // polyphonic pressure: the organ never sends it; its data bytes read as strays
      handler(PerformanceEvent{EventKind::Stray, channel, 0, 0});
      return at + 1;
    case 0xB: {
      const std::int32_t controller = data(at + 1);
      const std::int32_t value = data(at + 2);
      switch (controller) {
        case 4:
          handler(PerformanceEvent{EventKind::FootController, channel, controller, value});
          break;
        case 11:
          handler(PerformanceEvent{EventKind::Expression, channel, controller, value});
          break;
        case 64:
          handler(PerformanceEvent{EventKind::Sustain, channel, controller, value});
          break;
        case 123:
          handler(PerformanceEvent{EventKind::AllNotesOff, channel, controller, value});
          break;
        default:
          handler(PerformanceEvent{EventKind::Controller, channel, controller, value});
          break;
      }
      return after(3);
    }
    case 0xC:
      handler(PerformanceEvent{EventKind::ProgramChange, channel, data(at + 1), 0});
      return after(2);
    case 0xD:
      handler(PerformanceEvent{EventKind::ChannelPressure, channel, data(at + 1), 0});
      return after(2);
    case 0xE:
      handler(PerformanceEvent{EventKind::PitchBend, channel, data(at + 1), data(at + 2)});
      return after(3);
    case 0xF:
      break;
    default:  // 0 to 7: a data byte where an event should start; there is no running status
      handler(PerformanceEvent{EventKind::Stray, channel, 0, 0});
      return at + 1;
  }

  switch (status) {
    case 0xF0: {
      const std::size_t end = systemExclusiveEnd(at + 1);
      systemExclusiveBegin_ = at + 1;
      systemExclusiveSize_ = end - at - 1;
      handler(PerformanceEvent{EventKind::SystemExclusive,
                               static_cast<std::int32_t>((end - at - 1) % 256), 0, 0});
      return end;
    }
    case 0xF1:
      handler(PerformanceEvent{EventKind::SystemF1, data(at + 1), 0, 0});
      return after(2);
    case 0xF2:
      handler(PerformanceEvent{EventKind::SystemF2, 0, 0, 0});
      return at + 1;
    case 0xF4:
      handler(PerformanceEvent{EventKind::Timing, data(at + 1) + 128 * data(at + 2), 0, 0});
      return after(3);
    case 0xF6:
      handler(PerformanceEvent{EventKind::SystemF6, 0, 0, 0});
      return at + 1;
    case 0xFE: {
      const std::int32_t marker = data(at + 1);
      switch (marker) {
        case 0x7A:
          handler(PerformanceEvent{EventKind::AlignMarker, 0, 0, 0});
          break;
        case 0x7C:
          handler(PerformanceEvent{EventKind::PipeMarker, 0, 0, 0});
          break;
        default:  // any other byte (78, the clock marker, is taken above)
          handler(PerformanceEvent{EventKind::OtherMarker, marker, 0, 0});
          break;
      }
      return after(2);
    }
    default:  // F5, F7 to FD, FF (F3 is taken above)
      handler(PerformanceEvent{EventKind::Stray, status, 0, 0});
      return at + 1;
  }
}

}  // namespace koralux
