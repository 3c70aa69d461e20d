#pragma once
// Writes the bytes of an organ performance file: a 256-byte header, then, whenever time has moved
// on before an event, a timing event saying by how much, and the event itself.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/seeded_random.hpp"

namespace koralux {

// Status bytes of the organ's stream, with the channel in the low four bits of the channel ones.
inline constexpr std::uint8_t kNoteOff = 0x80;
inline constexpr std::uint8_t kNoteOn = 0x90;
inline constexpr std::uint8_t kPolyPressure = 0xA0;
inline constexpr std::uint8_t kControlChange = 0xB0;
inline constexpr std::uint8_t kProgramChange = 0xC0;
inline constexpr std::uint8_t kChannelPressure = 0xD0;
inline constexpr std::uint8_t kPitchBend = 0xE0;
inline constexpr std::uint8_t kSystemExclusive = 0xF0;
inline constexpr std::uint8_t kEndOfExclusive = 0xF7;
inline constexpr std::uint8_t kMarker = 0xFE;  // followed by one of the markers below
inline constexpr std::uint8_t kClockMarker = 0x78;
inline constexpr std::uint8_t kAlignMarker = 0x7A;
inline constexpr std::uint8_t kPipeMarker = 0x7C;

// Controllers.
inline constexpr std::uint8_t kFootController = 4;
inline constexpr std::uint8_t kExpression = 11;
inline constexpr std::uint8_t kSustain = 64;
inline constexpr std::uint8_t kAllNotesOff = 123;

// The status byte of a channel message; `channel` 1 to 16.
inline std::uint8_t statusByte(std::uint8_t base, int channel) {
  return static_cast<std::uint8_t>(base | ((channel - 1) & 0x0F));
}
// A data byte: `value` held to 0 to 127.
inline std::uint8_t dataByte(int value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 127));
}

// One to three bytes of one event.
struct Message {
  Message() = default;
  Message(std::uint8_t first) : bytes{first, 0, 0}, size(1) {}
  Message(std::uint8_t first, std::uint8_t second) : bytes{first, second, 0}, size(2) {}
  Message(std::uint8_t first, std::uint8_t second, std::uint8_t third)
      : bytes{first, second, third}, size(3) {}

  std::array<std::uint8_t, 3> bytes{};
  std::uint8_t size = 0;
};

inline Message controlChange(int channel, int controller, int value) {
  return {statusByte(kControlChange, channel), dataByte(controller), dataByte(value)};
}

class EventEncoder {
 public:
  // Writes the header. `expectedBytes` is the room kept ahead for what follows it; the system-
  // exclusive contents are drawn from `payloadSeed` as they are written.
  EventEncoder(std::size_t expectedBytes, std::uint64_t payloadSeed);

  // Timing events for the milliseconds since the last one, if any have passed.
  void timeTo(std::int64_t ms) {
    if (ms > emittedMs_) writeTiming(ms);
  }
  void write(const Message& message) {
    std::uint8_t* out = room(message.bytes.size());
    std::copy_n(message.bytes.begin(), message.bytes.size(), out);
    done(out + message.size);
  }
  // F0, `payload` random data bytes, F7.
  void writeSystemExclusive(std::uint16_t payload);
  void writeBytes(std::span<const std::uint8_t> bytes) {
    std::uint8_t* out = room(bytes.size());
    std::copy(bytes.begin(), bytes.end(), out);
    done(out + bytes.size());
  }

  std::size_t size() const noexcept { return used_; }
  std::vector<std::uint8_t> take();

 private:
  void writeTiming(std::int64_t ms);

  // Room for `count` more bytes: where they go. Written through a local pointer and handed
  // back with done(), which keeps the byte stores from reloading the vector at each byte.
  std::uint8_t* room(std::size_t count) {
    if (out_.size() - used_ < count) out_.resize(std::max(2 * out_.size(), used_ + count));
    return out_.data() + used_;
  }
  void done(const std::uint8_t* end) noexcept {
    used_ = static_cast<std::size_t>(end - out_.data());
  }

  Random payloadRandom_;
  std::int64_t emittedMs_ = 0;
  std::vector<std::uint8_t> out_;  // sized ahead; the performance is its first used_ bytes
  std::size_t used_ = 0;
};

}  // namespace koralux
