#include "smf/smf_writer.hpp"

#include <algorithm>
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
}  // namespace

SmfWriter::SmfWriter(std::string label) : label_(std::move(label)) {}

void SmfWriter::create() {
  bytes_.assign(std::begin(kHeader), std::end(kHeader));
  trackCount_ = 0;
  resetClock();
}

void SmfWriter::beginTrack() {
  ++trackCount_;
  resetClock();
  bytes_.insert(bytes_.end(), {'M', 'T', 'r', 'k'});
  trackLengthPosition_ = bytes_.size();
  bytes_.insert(bytes_.end(), {0, 0, 0, 0});
}

void SmfWriter::endTrack() {
  meta(0x2F, {});
  const std::size_t length = bytes_.size() - trackLengthPosition_ - 4;
  if (length > 0xFFFFFFFFu) {
    throw FatalStop(label_, "the performance is too long for one track of a MIDI file");
  }
  putBigEndian(trackLengthPosition_, static_cast<std::uint32_t>(length), 4);
}

std::vector<std::uint8_t> SmfWriter::finish() {
  putBigEndian(kTrackCountPosition, static_cast<std::uint32_t>(trackCount_), 2);
  return std::exchange(bytes_, {});
}

void SmfWriter::delta() {
  const Tick delta = current_ - last_;
  if (delta > static_cast<Tick>(kLargestVariableLengthQuantity)) {
    throw FatalStop(label_, "the performance has a pause of " + std::to_string(delta) +
                                " ticks, longer than a MIDI file can hold (at most " +
                                std::to_string(kLargestVariableLengthQuantity) + ")");
  }
  appendVariableLengthQuantity(bytes_, static_cast<std::uint32_t>(delta));
  last_ = current_;
}

void SmfWriter::channelMessage(int base, int channel, int first, int second) {
  delta();
  put(static_cast<std::uint8_t>(base + ((channel - 1) & 0x0F)));
  put(dataByte(first));
  put(dataByte(second));
}

void SmfWriter::channelMessage(int base, int channel, int first) {
  delta();
  put(static_cast<std::uint8_t>(base + ((channel - 1) & 0x0F)));
  put(dataByte(first));
}

void SmfWriter::noteOn(int channel, int note, int velocity) {
  channelMessage(0x90, channel, note, velocity);
}
void SmfWriter::noteOff(int channel, int note, int velocity) {
  channelMessage(0x80, channel, note, velocity);
}
void SmfWriter::controlChange(int channel, int controller, int value) {
  channelMessage(0xB0, channel, controller, value);
}
void SmfWriter::programChange(int channel, int program) {
  channelMessage(0xC0, channel, program);
}
void SmfWriter::channelPressure(int channel, int value) {
  channelMessage(0xD0, channel, value);
}

void SmfWriter::meta(std::uint8_t type, std::string_view data) {
  delta();
  put(0xFF);
  put(type);
  put(static_cast<std::uint8_t>(data.size()));
  bytes_.insert(bytes_.end(), data.begin(), data.end());
}

void SmfWriter::text(std::string_view text) {
  meta(0x01, text);
}
void SmfWriter::trackName(std::string_view name) {
  meta(0x03, name);
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

void SmfWriter::putBigEndian(std::size_t position, std::uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    bytes_[position++] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace koralux
