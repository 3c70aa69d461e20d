#include "smf/smf_writer.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/fatal_stop.hpp"
#include "smf/variable_length_quantity.hpp"

namespace koralux {

namespace {
constexpr std::uint8_t kHeader[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 0, 0x01, 0xE0};
constexpr std::size_t kTrackCountPosition = 10;
constexpr std::uint32_t kLargestTempo = 0xFFFFFF;  // microseconds per quarter note, 24 bits

std::uint8_t dataByte(int value) {
  return static_cast<std::uint8_t>(value & 0x7F);
}

void putBigEndian(ByteBuffer& bytes, std::size_t position, std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    bytes[position++] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}
}  // namespace

SmfWriter::SmfWriter(std::string label) : label_(std::move(label)) {}

void SmfWriter::create() {
  pieces_.clear();
  bytes_.clear();
  bytes_.append(kHeader);
  trackCount_ = 0;
  resetClock();
}

void SmfWriter::beginTrack() {
  ++trackCount_;
  resetClock();
  constexpr std::uint8_t kTrackStart[] = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
  bytes_.append(kTrackStart);
  trackLengthPosition_ = bytes_.size() - 4;
}

void SmfWriter::endTrack() {
  meta(0x2F, {});
  const std::size_t length = bytes_.size() - trackLengthPosition_ - 4;
  if (length > 0xFFFFFFFFu) {
    throw FatalStop(label_, "the performance is too long for one track of a MIDI file");
  }
  putBigEndian(bytes_, trackLengthPosition_, static_cast<std::uint32_t>(length), 4);
}

void SmfWriter::appendTracks(SmfWriter&& tracks) {
  if (!bytes_.empty()) pieces_.push_back(std::move(bytes_));
  for (ByteBuffer& piece : tracks.pieces_) pieces_.push_back(std::move(piece));
  if (!tracks.bytes_.empty()) pieces_.push_back(std::move(tracks.bytes_));
  tracks.pieces_.clear();
  trackCount_ += std::exchange(tracks.trackCount_, 0);
  bytes_ = ByteBuffer();
}

std::vector<ByteBuffer> SmfWriter::finishInPieces() {
  putBigEndian(firstPiece(), kTrackCountPosition, static_cast<std::uint32_t>(trackCount_), 2);
  std::vector<ByteBuffer> pieces = std::exchange(pieces_, {});
  if (!bytes_.empty()) pieces.push_back(std::move(bytes_));
  bytes_ = ByteBuffer();
  return pieces;
}

std::vector<std::uint8_t> SmfWriter::finish() {
  return concatenate(finishInPieces());
}

void SmfWriter::pauseTooLong(Tick delta) const {
  throw FatalStop(label_, "the performance has a pause of " + std::to_string(delta) +
                              " ticks, longer than a MIDI file can hold (at most " +
                              std::to_string(kLargestVariableLengthQuantity) + ")");
}

void SmfWriter::channelMessage(int base, int channel, int first) {
  const auto status = static_cast<std::uint8_t>(base + ((channel - 1) & 0x0F));
  std::uint8_t* out = putDelta(bytes_.room(kLongestDelta + 2));
  out[0] = status;
  out[1] = dataByte(first);
  bytes_.keep(out + 2);
}

void SmfWriter::programChange(int channel, int program) {
  channelMessage(0xC0, channel, program);
}
void SmfWriter::channelPressure(int channel, int value) {
  channelMessage(0xD0, channel, value);
}

void SmfWriter::systemExclusive(std::span<const std::uint8_t> message) {
  std::uint8_t* out = putDelta(bytes_.room(kLongestDelta + 1 + kLongestDelta + message.size()));
  *out++ = 0xF0;
  out = putVariableLengthQuantity(out, static_cast<std::uint32_t>(message.size()));
  if (!message.empty()) std::memcpy(out, message.data(), message.size());
  bytes_.keep(out + message.size());
}

void SmfWriter::meta(std::uint8_t type, std::string_view data) {
  std::uint8_t* out = putDelta(bytes_.room(kLongestDelta + 3 + data.size()));
  out[0] = 0xFF;
  out[1] = type;
  out[2] = static_cast<std::uint8_t>(data.size());
  if (!data.empty()) std::memcpy(out + 3, data.data(), data.size());
  bytes_.keep(out + 3 + data.size());
}

void SmfWriter::text(std::string_view text) {
  meta(0x01, text);
}
void SmfWriter::trackName(std::string_view name) {
  meta(0x03, name);
}
void SmfWriter::marker(std::string_view text) {
  meta(0x06, text);
}

void SmfWriter::tempo(std::int64_t beatsPerMinute) {
  const std::int64_t microseconds = 60000000 / std::max<std::int64_t>(beatsPerMinute, 1);
  const auto value =
      static_cast<std::uint32_t>(std::min<std::int64_t>(microseconds, kLargestTempo));
  const char data[] = {static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                       static_cast<char>(value)};
  meta(0x51, {data, 3});
}

void SmfWriter::timeSignature(std::uint8_t numerator, std::uint8_t denominator) {
  const int beat = std::max<int>(denominator, 1);
  int power = 0;
  while ((1 << power) < beat) ++power;
  const char data[] = {static_cast<char>(numerator), static_cast<char>(power),
                       static_cast<char>(96 / beat), 8};
  meta(0x58, {data, 4});
}

void SmfWriter::keySignature(std::int8_t sharpsFlats, std::uint8_t minor) {
  const char data[] = {static_cast<char>(sharpsFlats), static_cast<char>(minor)};
  meta(0x59, {data, 2});
}

void SmfWriter::midiPort(std::uint8_t port) {
  const char data[] = {static_cast<char>(port)};
  meta(0x21, {data, 1});
}

void SmfWriter::channelPrefix(int channel) {
  const char data[] = {static_cast<char>((channel - 1) & 0x0F)};
  meta(0x20, {data, 1});
}

}  // namespace koralux
