#include "tools/event_encoder.hpp"

#include <string_view>
#include <utility>

namespace koralux {

namespace {

constexpr std::size_t kHeaderSize = 256;
constexpr std::string_view kHeaderTag = "KORALUX PERFORMANCE";

// A timing event holds at most 127 + 128 × 127 milliseconds; F3 up to 255, F4 above.
constexpr std::int64_t kLongestTiming = 127 + 128 * 127;
constexpr std::int64_t kLongestShortTiming = 255;

}  // namespace

EventEncoder::EventEncoder(std::size_t expectedBytes, std::uint64_t payloadSeed)
    : payloadRandom_(payloadSeed) {
  out_.resize(kHeaderSize + expectedBytes + expectedBytes / 16 + 4096);
  std::uint8_t* header = room(kHeaderSize);
  std::fill_n(header, kHeaderSize, 0);
  std::copy(kHeaderTag.begin(), kHeaderTag.end(), header);
  done(header + kHeaderSize);
}

void EventEncoder::writeTiming(std::int64_t ms) {
  std::int64_t gap = ms - emittedMs_;
  emittedMs_ = ms;
  std::uint8_t* out = room(static_cast<std::size_t>(3 * (gap / kLongestTiming + 1)));
  while (gap > kLongestTiming) {
    *out++ = 0xF4;
    *out++ = 0x7F;
    *out++ = 0x7F;
    gap -= kLongestTiming;
  }
  if (gap > kLongestShortTiming) {
    *out++ = 0xF4;
    *out++ = static_cast<std::uint8_t>(gap & 0x7F);
    *out++ = static_cast<std::uint8_t>(gap >> 7);
  } else {
    *out++ = 0xF3;
    *out++ = static_cast<std::uint8_t>(gap);
  }
  done(out);
}

void EventEncoder::writeSystemExclusive(std::uint16_t payload) {
  std::uint8_t* out = room(payload + 2u);
  *out++ = kSystemExclusive;
  for (std::uint16_t i = 0; i < payload; ++i) {
    *out++ = static_cast<std::uint8_t>(payloadRandom_.next() & 0x7F);
  }
  *out++ = kEndOfExclusive;
  done(out);
}

std::vector<std::uint8_t> EventEncoder::take() {
  out_.resize(used_);
  return std::move(out_);
}

}  // namespace koralux
